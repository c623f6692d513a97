// The table a Windows CI job and a cautious administrator run: each of
// endsession's operations with and without /f, and three lines it must
// refuse, each run through the interception, compared with what the
// context (check_context) derives by the README and with the bytes of the
// refusals computed on this machine -- for a caller without
// SeShutdownPrivilege, endsession's own refusal of /s /r /p. A log-off the
// kit cannot check here (inside a job without breakaway) is skipped, with
// the reason; with `require_logoff` a skipped case fails the run, so that a
// lane that must check the log-off cannot pass without it. One line per
// case, then the counts passed, failed, skipped. Returns the kit's exit
// status: 0 nothing failed, 1 a case differed (or was skipped where the
// log-off is required), 3 a call not intercepted, 4 the kit cannot run here.
#pragma once

#include <windows.h>

// `desktop`: run each case there ("station\Default", not visible), or NULL.
int selftest(const wchar_t* tool, const wchar_t* desktop, bool require_logoff);

// endsession's command line for `tool` and the arguments: the program name
// quoted, each argument quoted where it must be (as the C runtime splits).
void tool_command_line(const wchar_t* tool, const wchar_t* const* arguments, int count, wchar_t* out, size_t size);
