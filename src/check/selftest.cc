#include "selftest.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "child_process.h"
#include "context.h"
#include "format_text.h"
#include "intercept.h"
#include "token_privilege.h"

namespace {

struct check_case {
  const char* shown;            // ASCII
  const wchar_t* arguments[2];  // up to two
  int count;
  UINT exit_flags;              // for an accepted line
  bool refused;                 // an argument error: "invalid arguement" + usage
};

const check_case cases[] = {
    {"/l", {L"/l"}, 1, 0, false},
    {"/l /f", {L"/l", L"/f"}, 2, 4, false},
    {"/s", {L"/s"}, 1, 1, false},
    {"/s /f", {L"/s", L"/f"}, 2, 5, false},
    {"/r", {L"/r"}, 1, 2, false},
    {"/r /f", {L"/r", L"/f"}, 2, 6, false},
    {"/p", {L"/p"}, 1, 8, false},
    {"/p /f", {L"/p", L"/f"}, 2, 12, false},
    {"/x", {L"/x"}, 1, 0, true},
    {"/s /r", {L"/s", L"/r"}, 2, 0, true},
    {"U+FF0F U+FF53 (fullwidth /s)", {L"\uFF0F\uFF53"}, 1, 0, true},
};

// A system text as endsession writes it: in the console's code page, empty
// when it does not fit its 256 bytes, each LF as CR LF (text mode).
void system_text(DWORD code, char* out, size_t size) {
  wchar_t wide[256];
  char text[256];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), wide, 256, nullptr);
  text[0] = '\0';
  if (length != 0 && length < 256) {
    wide[length] = 0;
    console_text(wide, text, sizeof text);
  }
  size_t used = 0;
  for (const char* p = text; *p != '\0' && used + 2 < size; ++p) {
    if (*p == '\n') out[used++] = '\r';
    out[used++] = *p;
  }
  out[used] = '\0';
}

// What endsession prints for `c` when it prints anything, in `expected`.
void expected_output(const check_case& c, const wchar_t* tool, bool interactive_user, char* expected, size_t size) {
  expected[0] = '\0';
  if (c.refused) {
    char name[1024];
    console_text(tool, name, sizeof name);
    format_text(expected, size,
             "invalid arguement\r\nUsage %s: [/f] [ /r | /s | /p | /l ]\r\n\t/r reboot\r\n\t/s shutdown\r\n"
             "\t/p poweroff\r\n\t/l logoff\r\n\t/f force one of the above operations\r\n",
             name);
  } else if (!interactive_user && (c.exit_flags & ~EWX_FORCE) == EWX_LOGOFF) {
    char text[600];
    system_text(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION, text, sizeof text);
    format_text(expected, size, "Can not reboot: %s\r\n", text);
  }
}

// Reads what the child wrote into the pipe (closed for writing).
size_t read_all(HANDLE pipe, char* out, size_t size) {
  size_t used = 0;
  DWORD got;
  while (used + 1 < size && ReadFile(pipe, out + used, static_cast<DWORD>(size - 1 - used), &got, nullptr) && got != 0)
    used += got;
  out[used] = '\0';
  return used;
}

}  // namespace

void tool_command_line(const wchar_t* tool, const wchar_t* const* arguments, int count, wchar_t* out, size_t size) {
  size_t at = 0;
  auto put = [&](wchar_t c) {
    if (at + 1 < size) out[at++] = c;
  };
  auto put_backslashes = [&](size_t n) {
    for (; n > 0; --n) put(L'\\');
  };
  put(L'"');
  for (const wchar_t* p = tool; *p != 0; ++p) put(*p);
  put(L'"');
  for (int i = 0; i < count; ++i) {
    const wchar_t* argument = arguments[i];
    bool quote = argument[0] == 0 || wcspbrk(argument, L" \t\"") != nullptr;
    put(L' ');
    if (quote) put(L'"');
    size_t backslashes = 0;
    for (const wchar_t* p = argument; *p != 0; ++p) {
      if (*p == L'\\') {
        ++backslashes;
        continue;
      }
      // Backslashes before a quote are doubled and the quote escaped; others
      // stand as they are.
      put_backslashes(*p == L'"' ? backslashes * 2 + 1 : backslashes);
      backslashes = 0;
      put(*p);
    }
    put_backslashes(quote ? backslashes * 2 : backslashes);
    if (quote) put(L'"');
  }
  out[at] = 0;
}

int selftest(const wchar_t* tool, const wchar_t* desktop, bool require_logoff) {
  check_context context;
  read_context(&context);
  // On a station of its own the child is nobody's interactive user.
  bool interactive_user = desktop == nullptr && context.interactive_user;
  printf("expecting %s: %s\n", interactive_user ? "ExitWindowsEx" : "InitiateShutdownW",
         interactive_user ? "the interactive user" : "not the interactive user");
  bool privilege_held = token_holds_shutdown_privilege();
  if (!privilege_held) printf("the caller's token lacks SeShutdownPrivilege: expecting endsession to refuse /s /r /p\n");
  int passed = 0, failed = 0, skipped = 0, status = 0;
  for (const check_case& c : cases) {
    static wchar_t command_line[4096];
    tool_command_line(tool, c.arguments, c.count, command_line, 4096);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end, write_end;
    if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 16)) {
      printf("cannot check here: no pipe (error %lu)\n", GetLastError());
      return 4;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    bool logoff = !c.refused && (c.exit_flags & ~EWX_FORCE) == EWX_LOGOFF;
    run_result result = run_intercepted({tool, command_line, desktop, write_end, logoff});
    CloseHandle(write_end);
    static char output[8192], expected[2048];
    read_all(read_end, output, sizeof output);
    CloseHandle(read_end);
    if (result.outcome == run_outcome::cannot_run) {
      printf("cannot check here: %s\n", result.reason);
      return 4;
    }
    if (result.outcome == run_outcome::not_checkable) {
      ++skipped;
      printf("skip  %-30s %s\n", c.shown, result.reason);
      continue;
    }

    // Without the privilege endsession stops at it for all but a log-off.
    bool refused_privilege = !c.refused && !logoff && !privilege_held;
    session_call want = c.refused || refused_privilege ? session_call{} : documented_call(c.exit_flags, interactive_user);
    expected_output(c, tool, interactive_user, expected, sizeof expected);
    if (refused_privilege) {
      char text[600];
      system_text(ERROR_NOT_ALL_ASSIGNED, text, sizeof text);
      format_text(expected, sizeof expected, "AdjustTokenPrivileges: %s", text);
    }
    char got_text[128], want_text[128];
    format_call(result.call, got_text, sizeof got_text);
    format_call(want, want_text, sizeof want_text);
    const char* problem = nullptr;
    if (result.outcome == run_outcome::not_intercepted) problem = result.reason;
    else if (!same_call(result.call, want)) problem = "a different call";
    else if (strcmp(output, expected) != 0) problem = "different output";
    else if (want.function == session_function::none && result.exit_code != 1) problem = "a different exit status";
    if (problem == nullptr) {
      ++passed;
      if (want.function == session_function::none)
        printf("pass  %-30s refused, exit %lu\n", c.shown, result.exit_code);
      else
        printf("pass  %-30s %s\n", c.shown, want_text);
      continue;
    }
    ++failed;
    if (status == 0) status = 1;
    if (result.outcome == run_outcome::not_intercepted) status = 3;
    printf("FAIL  %-30s %s: %s, exit %lu; expected %s\n", c.shown, problem, got_text, result.exit_code, want_text);
  }
  if (require_logoff && skipped != 0) {
    printf("%d passed, %d failed, %d skipped: the log-off was required (--require-logoff) and not checked\n", passed,
           failed, skipped);
    return status == 0 ? 1 : status;
  }
  printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
  return status;
}
