// endsession-check: shows, on the machine and in the context where
// endsession will run, which session-end call it would make there -- stopped
// before the call runs, so nothing ends.
//   endsession-check context
//   endsession-check run [--station] [--tool PATH] [--] ARG...
//   endsession-check selftest [--station] [--require-logoff] [--tool PATH]
// Exit status: 0 as expected / call intercepted; 1 a case differed / the
// tool refused by itself; 2 bad usage or no endsession.exe; 3 a session-end
// call was not intercepted (a fault of the kit); 4 the kit cannot run here
// (or cannot check a log-off here).
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "child_process.h"
#include "context.h"
#include "format_text.h"
#include "intercept.h"
#include "selftest.h"

namespace {

int usage() {
  printf(
      "usage: endsession-check context\n"
      "       endsession-check run [--station] [--tool PATH] [--] ARG...\n"
      "       endsession-check selftest [--station] [--require-logoff] [--tool PATH]\n");
  return 2;
}

// endsession.exe beside this program.
void tool_beside_kit(wchar_t* out, size_t size) {
  DWORD length = GetModuleFileNameW(nullptr, out, static_cast<DWORD>(size));
  if (length == 0 || length >= size) {
    out[0] = 0;
    return;
  }
  wchar_t* slash = wcsrchr(out, L'\\');
  size_t folder = slash != nullptr ? static_cast<size_t>(slash - out + 1) : 0;
  format_wide(out + folder, size - folder, L"endsession.exe");
}

int report(const run_result& result) {
  char text[128];
  if (result.privilege_requested)
    printf("endsession asked to enable SeShutdownPrivilege: answered by the kit (the caller's token holds it: %s)\n",
           result.privilege_granted ? "yes" : "no");
  if (result.privilege_removed)
    printf("CreateProcessAsUserW wants a privilege the caller lacks (1314): endsession was started with a copy of "
           "the kit's own token, SeShutdownPrivilege removed from it\n");
  if (result.in_callers_job && result.outcome != run_outcome::cannot_run && result.outcome != run_outcome::not_checkable)
    printf("endsession ran inside the caller's job, which allows no breakaway: behind the interception and a token "
           "without SeShutdownPrivilege\n");
  switch (result.outcome) {
    case run_outcome::intercepted:
      format_call(result.call, text, sizeof text);
      printf("endsession would call %s\n", text);
      printf("stopped before the call: nothing was ended\n");
      return 0;
    case run_outcome::exited:
      printf("no session-end call; endsession exited %lu\n", result.exit_code);
      return 1;
    case run_outcome::not_intercepted:
      printf("endsession-check: %s; endsession was stopped\n", result.reason);
      return 3;
    case run_outcome::cannot_run:
    case run_outcome::not_checkable: break;
  }
  printf("endsession-check: cannot check here: %s\n", result.reason);
  return 4;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return usage();
  const wchar_t* command = argv[1];
  static wchar_t tool[MAX_PATH + 1];
  tool_beside_kit(tool, MAX_PATH + 1);
  bool station = false, require_logoff = false;
  bool run = wcscmp(command, L"run") == 0;
  int i = 2;
  for (; i < argc; ++i) {
    if (wcscmp(argv[i], L"--station") == 0) {
      station = true;
    } else if (!run && wcscmp(argv[i], L"--require-logoff") == 0) {
      require_logoff = true;
    } else if (wcscmp(argv[i], L"--tool") == 0 && i + 1 < argc) {
      wcsncpy(tool, argv[++i], MAX_PATH);
    } else {
      if (wcscmp(argv[i], L"--") == 0) ++i;
      break;
    }
  }

  if (wcscmp(command, L"context") == 0) {
    if (argc != 2) return usage();
    check_context context;
    read_context(&context);
    print_context(context);
    return 0;
  }

  if (run ? i == argc : wcscmp(command, L"selftest") != 0 || i != argc) return usage();

  // Said plainly rather than as a debugger failure: the usual mistake is a
  // kit copied without the tool, or a --tool path with a typo.
  if (GetFileAttributesW(tool) == INVALID_FILE_ATTRIBUTES) {
    printf("endsession-check: no endsession.exe there (error %lu): put it beside the kit or name it with --tool\n",
           GetLastError());
    return 2;
  }

  // A window station of the kit's own, as a service, a task or SSH has.
  static wchar_t desktop[256];
  if (station) {
    wchar_t name[64];
    format_wide(name, 64, L"endsession-check-%lu", GetCurrentProcessId());
    if (!own_window_station(name, desktop, 256)) {
      printf("endsession-check: cannot check here: no window station of its own (error %lu)\n", GetLastError());
      return 4;
    }
  }
  const wchar_t* where = station ? desktop : nullptr;

  if (!run) return selftest(tool, where, require_logoff);
  static wchar_t command_line[32768];
  tool_command_line(tool, argv + i, argc - i, command_line, 32768);
  return report(run_intercepted({tool, command_line, where, nullptr, asks_for_logoff(argv + i, argc - i)}));
}
