// Runs endsession as a debugged child and stops it at the entry of
// ExitWindowsEx or InitiateShutdownW, before the function runs: int3
// breakpoints at the addresses the child's own export tables give (forwarders
// followed), planted when USER32 and ADVAPI32 load into it. Fail-safe: the
// child is killed at once on anything the kit did not plan for, and it runs
// behind two more barriers (a job with JOB_OBJECT_UILIMIT_EXITWINDOWS, a
// token without SeShutdownPrivilege); the kit itself answers the child's
// AdjustTokenPrivileges so that it still reaches its session call.
#pragma once

#include <windows.h>

#include "session_calls.h"

enum class run_outcome {
  intercepted,      // stopped at a session-end call; `call` holds it
  exited,           // the child ended by itself with `exit_code`
  not_intercepted,  // something unplanned happened; the child was killed
  cannot_run,       // the kit cannot run here; the child never ran
};

struct run_result {
  run_outcome outcome = run_outcome::cannot_run;
  session_call call;
  DWORD exit_code = 0;
  bool privilege_requested = false;  // the child asked for SeShutdownPrivilege
  char reason[200] = "";             // for not_intercepted and cannot_run
};

struct run_request {
  const wchar_t* tool;       // endsession.exe
  wchar_t* command_line;     // its whole command line
  const wchar_t* desktop;    // "station\Default", or NULL: the kit's own
  HANDLE output;             // the child's stdout, or NULL: the kit's
};

// Refuses (cannot_run) where x64 code is emulated, as on ARM64 Windows.
run_result run_intercepted(const run_request& request);
