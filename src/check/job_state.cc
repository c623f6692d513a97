#include "job_state.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Whether a child created with `flags` lands outside every job.
bool child_leaves_job(DWORD flags) {
  static wchar_t self[MAX_PATH + 1];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH + 1) == 0) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED | flags, nullptr, nullptr, &startup,
                      &process))
    return false;
  BOOL in_job = TRUE;
  bool left = IsProcessInJob(process.hProcess, nullptr, &in_job) && !in_job;
  TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return left;
}

#ifdef ENDSESSION_CHECK_FAULTS
// Test builds only: ENDSESSION_CHECK_FAULT=skip-trial leaves the breakaway
// to the created child's own check.
bool trial_skipped() {
  const char* chosen = getenv("ENDSESSION_CHECK_FAULT");
  return chosen != nullptr && strcmp(chosen, "skip-trial") == 0;
}
#else
bool trial_skipped() { return false; }
#endif

}  // namespace

job_state read_job_state() {
  job_state state;
  BOOL in_job = FALSE;
  if (!IsProcessInJob(GetCurrentProcess(), nullptr, &in_job) || !in_job) return state;
  // NULL: the calling process's job.
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  bool silent = QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits,
                                          nullptr) &&
                (limits.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK) != 0;
  state.kind = silent ? job_kind::silent_breakaway : job_kind::breakaway_allowed;
  if (!trial_skipped() && !child_leaves_job(breakaway_flag(state))) state.kind = job_kind::no_breakaway;
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
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  if (!QueryInformationJobObject(job, JobObjectBasicUIRestrictions, &ui, sizeof ui, nullptr))
    return barrier_reading::unreadable;
  bool kill_on_close =
      QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr) &&
      (limits.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE) != 0;
  return (ui.UIRestrictionsClass & JOB_OBJECT_UILIMIT_EXITWINDOWS) != 0 && kill_on_close ? barrier_reading::holds
                                                                                         : barrier_reading::missing;
}
