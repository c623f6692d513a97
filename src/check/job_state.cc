#include "job_state.h"

#include "test_faults.h"

namespace {

// Whether the trial child created with `flags` is outside every job; it is
// ended before it runs.
bool trial_leaves(HANDLE (*start_trial)(DWORD), DWORD flags) {
  HANDLE child = start_trial(flags);
  if (child == nullptr) return false;
  bool left = outside_every_job(child);
  TerminateProcess(child, 1);
  CloseHandle(child);
  return left;
}

// Test builds only (test_faults.h): skip-trial leaves the breakaway to the
// created child's own check.
bool trial_skipped() { return test_fault("skip-trial"); }

// The limits of `job` (NULL: the caller's), each false where unreadable.
bool limit_flag_set(HANDLE job, DWORD flag) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  return QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr) &&
         (limits.BasicLimitInformation.LimitFlags & flag) != 0;
}

}  // namespace

bool in_a_job(HANDLE process) {
  BOOL in_job = FALSE;
  return IsProcessInJob(process, nullptr, &in_job) && in_job;
}

bool outside_every_job(HANDLE process) {
  BOOL in_job = TRUE;
  return IsProcessInJob(process, nullptr, &in_job) && !in_job;
}

job_state read_job_state(HANDLE (*start_trial)(DWORD flags)) {
  job_state state;
  // Unanswered: taken for a job, whose trial then decides.
  BOOL in_job = TRUE;
  if (IsProcessInJob(GetCurrentProcess(), nullptr, &in_job) && !in_job) return state;
  // NULL: the calling process's job.
  bool silent = limit_flag_set(nullptr, JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK);
  state.kind = silent ? job_kind::silent_breakaway : job_kind::breakaway_allowed;
  if (!trial_skipped() && !trial_leaves(start_trial, breakaway_flag(state))) state.kind = job_kind::no_breakaway;
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui{};
  state.forbids_exit_windows =
      QueryInformationJobObject(nullptr, JobObjectBasicUIRestrictions, &ui, sizeof ui, nullptr) &&
      (ui.UIRestrictionsClass & JOB_OBJECT_UILIMIT_EXITWINDOWS) != 0;
  return state;
}

DWORD breakaway_flag(const job_state& state) {
  // Asked for where the breakaway is silent, it fails: that job need not
  // allow it otherwise.
  return state.kind == job_kind::breakaway_allowed ? CREATE_BREAKAWAY_FROM_JOB : 0;
}

const char* job_state_text(const job_state& state) {
  switch (state.kind) {
    case job_kind::none: return "none";
    case job_kind::silent_breakaway: return "silent breakaway";
    case job_kind::breakaway_allowed: return "breakaway allowed";
    case job_kind::no_breakaway: break;
  }
  return state.forbids_exit_windows ? "no breakaway, ExitWindowsEx forbidden by it: log-off checked inside it"
                                    : "no breakaway: log-off not checkable here";
}

HANDLE barrier_job() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui{JOB_OBJECT_UILIMIT_EXITWINDOWS};
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectBasicUIRestrictions, &ui, sizeof ui) ||
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    DWORD error = GetLastError();
    CloseHandle(job);
    SetLastError(error);
    return nullptr;
  }
  return job;
}

barrier_reading read_barrier_job(HANDLE job) {
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui{};
  if (!QueryInformationJobObject(job, JobObjectBasicUIRestrictions, &ui, sizeof ui, nullptr))
    return barrier_reading::unreadable;
  return (ui.UIRestrictionsClass & JOB_OBJECT_UILIMIT_EXITWINDOWS) != 0 &&
                 limit_flag_set(job, JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE)
             ? barrier_reading::holds
             : barrier_reading::missing;
}
