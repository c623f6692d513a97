// Test helper: starts a command line the way a context other than a console
// would, shares its standard handles with the child and returns the child's
// exit status (99 when it cannot start it, with the reason on stderr).
//   launcher as-is      APPLICATION COMMAND-LINE
//   launcher station:N  APPLICATION COMMAND-LINE   on window station N of its
//                       own, not the interactive WinSta0
//   launcher restricted APPLICATION COMMAND-LINE   with a copy of this
//                       process's token that lacks SeShutdownPrivilege
//   launcher job:KIND   APPLICATION COMMAND-LINE   inside a job of its own, as
//                       OpenSSH, CI runners and the Task Scheduler start
//                       processes: KIND breakaway (JOB_OBJECT_LIMIT_BREAKAWAY_OK),
//                       closed (no breakaway) or closed-exitwindows (no
//                       breakaway, JOB_OBJECT_UILIMIT_EXITWINDOWS); job:nested
//                       is a breakaway job inside one that allows none
//   launcher shell      APPLICATION COMMAND-LINE   on this desktop, with a
//                       window of its own registered as the desktop's shell
//                       (SetShellWindow: it needs a display), which it keeps
//                       serving messages until the child ends
// APPLICATION is passed as lpApplicationName ("-" for NULL); COMMAND-LINE is
// the child's whole command line, verbatim. The starting itself is
// endsession-check's (src/check/child_process.h).
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "child_process.h"

extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND window);

namespace {

int failed(const char* what) {
  fprintf(stderr, "launcher: %s failed: %lu\n", what, GetLastError());
  return 99;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: launcher as-is|station:NAME|restricted|job:KIND|shell APPLICATION COMMAND-LINE\n");
    return 99;
  }
  const wchar_t* mode = argv[1];
  static wchar_t command_line[32768];
  wcsncpy(command_line, argv[3], 32767);
  child_start start;
  start.application = wcscmp(argv[2], L"-") == 0 ? nullptr : argv[2];
  start.command_line = command_line;

  static wchar_t desktop[256];
  if (wcsncmp(mode, L"station:", 8) == 0) {
    if (!own_window_station(mode + 8, desktop, 256)) return failed("own_window_station");
    start.desktop = desktop;
  }
  if (wcscmp(mode, L"restricted") == 0 && !token_without_shutdown_privilege(&start.token))
    return failed("token_without_shutdown_privilege");
  if (wcscmp(mode, L"shell") == 0) {
    HWND shell = CreateWindowExW(0, L"STATIC", L"test shell", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    if (shell == nullptr || !SetShellWindow(shell)) return failed("SetShellWindow");
    if (GetShellWindow() != shell) return failed("GetShellWindow");
  }
  HANDLE job = nullptr, outer = nullptr;
  // job:nested: a job allowing breakaway inside one that allows none.
  if (wcscmp(mode, L"job:nested") == 0) {
    outer = CreateJobObjectW(nullptr, nullptr);
    mode = L"job:breakaway";
  }
  if (wcsncmp(mode, L"job:", 4) == 0) {
    job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (wcscmp(mode + 4, L"breakaway") == 0 ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{JOB_OBJECT_UILIMIT_EXITWINDOWS};
    if (job == nullptr || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        (wcscmp(mode + 4, L"closed-exitwindows") == 0 &&
         !SetInformationJobObject(job, JobObjectBasicUIRestrictions, &ui, sizeof ui)))
      return failed("the job");
    start.flags = CREATE_SUSPENDED;
  }

  PROCESS_INFORMATION process{};
  if (!start_child(start, &process)) return failed("CreateProcess");
  if (outer != nullptr && !AssignProcessToJobObject(outer, process.hProcess)) return failed("AssignProcessToJobObject");
  if (job != nullptr) {
    if (!AssignProcessToJobObject(job, process.hProcess)) return failed("AssignProcessToJobObject");
    ResumeThread(process.hThread);
  }
  DWORD status = 99;
  // Serves its window's messages meanwhile: a session end asks every window.
  while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  GetExitCodeProcess(process.hProcess, &status);
  return static_cast<int>(status);
}
