// The job endsession-check runs in, and the barrier job it puts endsession
// in. A process already in a job "cannot" be assigned to one "with UI limits
// set" (AssignProcessToJobObject); a child inherits its parent's job unless
// it breaks away, which the job must allow (JOB_OBJECT_LIMIT_BREAKAWAY_OK,
// or SILENT_BREAKAWAY_OK for every child). OpenSSH sessions, CI runner
// steps, scheduled tasks and Start-Process -Wait run their processes in
// jobs. Read with queries only, before any child starts.
#pragma once

#include <windows.h>

enum class job_kind {
  none,               // in no job
  silent_breakaway,   // every child leaves it
  breakaway_allowed,  // a child created with CREATE_BREAKAWAY_FROM_JOB leaves it
  no_breakaway,       // children stay in it: no barrier job of the kit's own
};

struct job_state {
  job_kind kind = job_kind::none;
  bool forbids_exit_windows = false;  // it carries JOB_OBJECT_UILIMIT_EXITWINDOWS
};

// From the job's limits (silent breakaway, the UI limit), and a trial: a
// suspended copy of the kit, created as endsession would be (with
// CREATE_BREAKAWAY_FROM_JOB unless the breakaway is silent), asked whether it
// is in a job, and ended before it runs. The trial answers for every job up
// the chain, where the limits read are the immediate job's only.
job_state read_job_state();

// The creation flag that takes a child out of the caller's job in `state`.
DWORD breakaway_flag(const job_state& state);

// "none", "breakaway allowed", "silent breakaway", or the no-breakaway case,
// with what it means for a log-off check.
const char* job_state_text(const job_state& state);

// A new job with JOB_OBJECT_UILIMIT_EXITWINDOWS and
// JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE (the child ends with the kit), or NULL
// with the cause in the last error.
HANDLE barrier_job();

// Whether `job` carries both limits, read back from the system; `unreadable`
// where the system cannot read UI limits back (Wine), which leaves the
// limits as set.
enum class barrier_reading { holds, missing, unreadable };
barrier_reading read_barrier_job(HANDLE job);
