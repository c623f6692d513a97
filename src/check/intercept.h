// Runs endsession as a debugged child and stops it at the entry of
// ExitWindowsEx or InitiateShutdownW, before the function runs: breakpoints
// (x64's int3, ARM64's BRK: call_convention.h) at the addresses the child's
// own export tables give (forwarders followed), planted when USER32 and
// ADVAPI32 load into it. The stopped call
// is answered with a refusal (ExitWindowsEx: FALSE, last error
// ERROR_ACCESS_DENIED; InitiateShutdownW: ERROR_ACCESS_DENIED), then the child
// is stopped and its end awaited: were it ever to run on, it would print a
// refusal and end nothing. Every stop -- the answered call, an unanswered
// one, anything the kit did not plan for -- suspends every thread of the
// child before the kill and before the event is let go, so that nothing of
// it runs again. Fail-safe: the child is stopped at once on anything the kit
// did not plan for, and it runs behind
// two more barriers (a job with
// JOB_OBJECT_UILIMIT_EXITWINDOWS -- the kit's own, or the caller's when it
// carries that limit and allows no breakaway -- and a token without
// SeShutdownPrivilege: a restricted copy of the caller's, or -- where
// CreateProcessAsUserW wants a privilege the caller lacks -- the kit's own,
// the privilege removed). Where no such job can hold the child, /s /r /p still
// run, but a log-off, whose only other barrier is the job, does not
// (not_checkable). The kit answers the child's AdjustTokenPrivileges as the
// system would answer the caller: TRUE, and last error 0 when the caller's
// token holds the privilege, ERROR_NOT_ALL_ASSIGNED when it does not.
#pragma once

#include <windows.h>

#include "session_calls.h"

enum class run_outcome {
  intercepted,      // stopped at a session-end call; `call` holds it
  exited,           // the child ended by itself with `exit_code`
  not_intercepted,  // something unplanned happened; the child was killed
  cannot_run,       // the kit cannot run here; the child never ran
  not_checkable,    // a log-off inside a job without breakaway; never run
};

struct run_result {
  run_outcome outcome = run_outcome::cannot_run;
  session_call call;
  DWORD exit_code = 0;
  bool privilege_requested = false;  // the child asked for SeShutdownPrivilege
  bool privilege_granted = false;    // and was answered as the caller would be
  bool in_callers_job = false;       // held by the caller's job, not the kit's
  bool privilege_removed = false;    // the token barrier is the kit's own token, without the privilege
  char reason[300] = "";             // for not_intercepted, cannot_run, not_checkable
};

struct run_request {
  const wchar_t* tool;       // endsession.exe
  wchar_t* command_line;     // its whole command line
  const wchar_t* desktop;    // "station\Default", or NULL: the kit's own
  HANDLE output;             // the child's stdout, or NULL: the kit's
  bool logoff;               // the line may ask for a log-off
};

// Whether endsession would read `arguments` as asking for a log-off: any of
// them "/l" in any case of its letter.
bool asks_for_logoff(const wchar_t* const* arguments, int count);

// The x64 kit refuses (cannot_run) where its code is emulated, as on ARM64
// Windows, naming the ARM64 kit; each kit checks a tool of its own machine.
run_result run_intercepted(const run_request& request);
