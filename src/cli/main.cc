// The program's entry: one pass over the arguments builds the session-end
// flags; any argument it does not know, a second operation, or no operation
// at all prints a message and the usage text and ends the process with 1.
//
// The entry is wmain: the runtime splits the UTF-16 command line itself, on
// every Windows version. A narrow main would get argv split from the
// best-fitted ANSI line where the manifest's UTF-8 code page is ignored
// (before Windows 10 1903, Server 2016/2019): fullwidth "／ｓ" would arrive
// as "/s", and a look-alike of a quote or space would move the boundaries.
#include <stdio.h>
#include <stdlib.h>

#include "cli/ascii_case.h"
#include "console/console_text.h"
#include "platform/win32.h"
#include "session/session_end.h"

namespace {

struct operation_option {
  char name[3];
  UINT flag;
};

// In the order the arguments are tested against them.
const operation_option operation_options[] = {
    {"/s", EWX_SHUTDOWN},
    {"/r", EWX_REBOOT},
    {"/p", EWX_POWEROFF},
    {"/l", EWX_LOGOFF},  // 0: the choice itself is what counts
};

// exit() rather than a return, so the caller needs no error path; exit()
// flushes the buffered output first. The name is the system's text, not the
// tool's: it is written in the console's code page.
[[noreturn]] void show_usage_and_exit(const WCHAR* program_name) {
  printf(
      "Usage %s: [/f] [ /r | /s | /p | /l ]\n"
      "\t/r reboot\n"
      "\t/s shutdown\n"
      "\t/p poweroff\n"
      "\t/l logoff\n"
      "\t/f force one of the above operations\n",
      console_text(program_name));
  exit(1);
}

}  // namespace

extern "C" int wmain(int argc, WCHAR** argv) {
  // A start-up may pass no program name at all; "%s" must never see NULL.
  static const WCHAR no_name[] = {0};
  const WCHAR* program_name = (argc > 0 && argv[0] != nullptr) ? argv[0] : no_name;
  UINT exit_flags = 0;
  bool operation_chosen = false;

  if (argc < 2) {
    printf("must supply an arguement\n");
    show_usage_and_exit(program_name);
  }
  for (int i = 1; i < argc; ++i) {
    const WCHAR* argument = argv[i];
    if (ascii_case_equal(argument, "/f")) {
      exit_flags |= EWX_FORCE;  // any number of times, before or after the operation
      continue;
    }
    const operation_option* chosen = nullptr;
    if (!operation_chosen) {
      for (const operation_option& option : operation_options) {
        if (ascii_case_equal(argument, option.name)) {
          chosen = &option;
          break;
        }
      }
    }
    if (chosen == nullptr) {  // unknown, or a second operation
      printf("invalid arguement\n");
      show_usage_and_exit(program_name);
    }
    exit_flags |= chosen->flag;
    operation_chosen = true;
  }
  if (!operation_chosen) {
    printf("need operation\n");
    show_usage_and_exit(program_name);
  }
  return request_session_end(exit_flags);
}
