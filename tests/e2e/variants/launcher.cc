// Test helper: starts a command line the way a context other than a console
// would, shares its standard handles with the child and returns the child's
// exit status (99 when it cannot start it, with the reason on stderr).
//   launcher as-is      APPLICATION COMMAND-LINE
//   launcher station:N  APPLICATION COMMAND-LINE   on window station N of its
//                       own (Wine creates it), not the interactive WinSta0
//   launcher restricted APPLICATION COMMAND-LINE   with a copy of this
//                       process's token that lacks SeShutdownPrivilege
// APPLICATION is passed as lpApplicationName ("-" for NULL); COMMAND-LINE is
// the child's whole command line, verbatim.
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

namespace {

int failed(const char* what) {
  fprintf(stderr, "launcher: %s failed: %lu\n", what, GetLastError());
  return 99;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: launcher as-is|station:NAME|restricted APPLICATION COMMAND-LINE\n");
    return 99;
  }
  const wchar_t* mode = argv[1];
  const wchar_t* application = wcscmp(argv[2], L"-") == 0 ? nullptr : argv[2];
  static wchar_t command_line[32768];
  wcsncpy(command_line, argv[3], 32767);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  HANDLE handles[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                      GetStdHandle(STD_ERROR_HANDLE)};
  for (HANDLE handle : handles) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  startup.hStdInput = handles[0];
  startup.hStdOutput = handles[1];
  startup.hStdError = handles[2];
  static wchar_t desktop[256];
  if (wcsncmp(mode, L"station:", 8) == 0) {
    swprintf(desktop, 256, L"%ls\\Default", mode + 8);
    startup.lpDesktop = desktop;
  }

  PROCESS_INFORMATION process{};
  HANDLE restricted = nullptr;
  if (wcscmp(mode, L"restricted") == 0) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY, &token))
      return failed("OpenProcessToken");
    LUID_AND_ATTRIBUTES shutdown{};
    if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdown.Luid))
      return failed("LookupPrivilegeValueW");
    if (!CreateRestrictedToken(token, 0, 0, nullptr, 1, &shutdown, 0, nullptr, &restricted))
      return failed("CreateRestrictedToken");
  }
  // Wine now and then fails a child's start-up (ERROR_INTERNAL_ERROR, once
  // in some 150 runs here) before the child has run any code of its own:
  // it is started again.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    started = restricted != nullptr
                  ? CreateProcessAsUserW(restricted, application, command_line, nullptr, nullptr, TRUE, 0,
                                         nullptr, nullptr, &startup, &process)
                  : CreateProcessW(application, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &startup, &process);
  }
  if (!started) return failed("CreateProcess");
  DWORD status = 99;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &status);
  return static_cast<int>(status);
}
