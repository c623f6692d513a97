// The job endsession-check runs in, and the barrier job it puts endsession
// in. A process already in a job "cannot" be assigned to one "with UI limits
// set" (AssignProcessToJobObject); a child inherits its parent's job unless
// it breaks away, which the job must allow (JOB_OBJECT_LIMIT_BREAKAWAY_OK,
// or SILENT_BREAKAWAY_OK for every child). Which contexts run in jobs
// (OpenSSH sessions, CI runner steps, Start-Process -Wait) is observed, not
// documented: `context` prints what it finds. Every decision here is a
// function of what the job queries answered, built over the platform seam
// so that the native tests script those answers; an answer that cannot be
// read leads to the decision that checks less, never to one that checks a
// log-off outside a barrier.
#pragma once

#include "platform/win32.h"

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

// IsProcessInJob(process, NULL): whether it answered that `process` is in a
// job, and whether it answered that it is in none. Unanswered: false both.
bool in_a_job(HANDLE process);
bool outside_every_job(HANDLE process);

// From the caller's job's limits (silent breakaway, the UI limit), and a
// trial: `start_trial(flags)` starts a suspended copy of the kit, created as
// endsession would be (with CREATE_BREAKAWAY_FROM_JOB unless the breakaway
// is silent), and returns its process handle (NULL: it could not), which is
// asked whether it is outside every job -- that answers for every job up the
// chain, where the limits read are the immediate job's only -- then ended.
job_state read_job_state(HANDLE (*start_trial)(DWORD flags));

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
