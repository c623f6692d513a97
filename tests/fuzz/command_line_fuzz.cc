// libFuzzer target: the whole program, entry to session end, against the
// Win32 stand-in. The input is an argument vector (split at NUL bytes; the
// first element is the program name; an empty input is argc 0), handed to
// the wide entry as UTF-16 (malformed UTF-8 becomes U+FFFD). Its length
// picks how the stand-in system answers, so every outcome gets fuzzed.
//
// Checked on every input, against a model written separately here: the
// exact output (one message, plus the usage text for a refusal, or nothing);
// no system call at all for a refused line; exactly one ExitWindowsEx with
// the flag value the tokens call for when the system gets that far; and the
// exit status that goes with the output.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "entry_harness.h"
#include "expected_texts.h"
#include "platform/stand_in/stand_in_control.h"

namespace {

using stand_in::call_kind;

void check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
  }
}

std::string folded(const std::string& token) {
  std::string result = token;
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return result;
}

struct expectation {
  bool accepted;
  std::string refusal;  // message before the usage text
  UINT flags;
};

expectation model(const std::vector<std::string>& tokens) {
  if (tokens.size() < 2) return {false, missing_argument_message, 0};
  UINT flags = 0;
  bool chosen = false;
  for (size_t i = 1; i < tokens.size(); ++i) {
    std::string token = folded(tokens[i]);
    if (token == "/f") {
      flags |= 4;
    } else if (!chosen && (token == "/s" || token == "/r" || token == "/p" || token == "/l")) {
      chosen = true;
      flags |= token == "/s" ? 1 : token == "/r" ? 2 : token == "/p" ? 8 : 0;
    } else {
      return {false, invalid_argument_message, 0};
    }
  }
  if (!chosen) return {false, need_operation_message, 0};
  return {true, "", flags};
}

// The program name as a UTF-8 console shows it: the platform's own round
// trip, UTF-8 to UTF-16 and back.
std::string shown_name(const std::string& name) {
  std::u16string wide = stand_in::utf16_from_utf8(name.c_str());
  std::string shown(3 * wide.size() + 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, shown.data(), static_cast<int>(shown.size()), nullptr, nullptr);
  return shown.c_str();
}

enum class system_answer { accepts, refuses_session_end, withholds_privilege, denies_token };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> tokens;
  if (size > 0) {
    const char* text = reinterpret_cast<const char*>(data);
    const char* end = text + size;
    for (const char* start = text;; ) {
      const char* nul = static_cast<const char*>(memchr(start, '\0', static_cast<size_t>(end - start)));
      const char* stop = nul ? nul : end;
      tokens.emplace_back(start, stop);
      if (!nul) break;
      start = nul + 1;
    }
  }
  std::vector<const char*> arguments;
  for (const std::string& token : tokens) arguments.push_back(token.c_str());

  system_answer answer = static_cast<system_answer>(size % 4);
  stand_in::reset();
  stand_in::script& script = stand_in::current_script();
  script.console_output_code_page = CP_UTF8;
  switch (answer) {
    case system_answer::accepts: script.exit_windows_ex = {TRUE, ERROR_SUCCESS}; break;
    case system_answer::refuses_session_end: script.exit_windows_ex = {FALSE, ERROR_ACCESS_DENIED}; break;
    case system_answer::withholds_privilege:
      script.adjust_is_scripted = true;
      script.adjust_token_privileges = {TRUE, ERROR_NOT_ALL_ASSIGNED};
      script.exit_windows_ex = {TRUE, ERROR_SUCCESS};  // a log-off needs no privilege
      break;
    case system_answer::denies_token: script.open_process_token = {FALSE, ERROR_ACCESS_DENIED}; break;
  }

  entry_result result = run_entry(arguments);
  expectation expected = model(tokens);
  size_t session_ends = stand_in::count_of(call_kind::exit_windows_ex);

  if (!expected.accepted) {
    std::string name = tokens.empty() ? "" : shown_name(tokens[0]);
    check(result.output == expected.refusal + usage_text(name), "refusal output");
    check(result.status == 1, "refusal status");
    check(stand_in::call_count() == 0, "a refused line made a system call");
    return 0;
  }
  switch (answer) {
    case system_answer::accepts:
      check(result.output.empty() && result.status == 0, "accepted output and status");
      break;
    case system_answer::refuses_session_end:
      check(result.output == "Can not reboot: Access is denied.\r\n\n" && result.status == 1,
            "refused session end output and status");
      break;
    case system_answer::withholds_privilege:
      if ((expected.flags & ~EWX_FORCE) == EWX_LOGOFF) {
        check(result.output.empty() && result.status == 0, "log-off without the privilege");
        check(stand_in::count_of(call_kind::adjust_token_privileges) == 0, "a log-off asked for the privilege");
        break;
      }
      check(result.output ==
                    "AdjustTokenPrivileges: Not all privileges or groups referenced are assigned "
                    "to the caller.\r\n" &&
                result.status == 1,
            "withheld privilege output and status");
      check(session_ends == 0, "session end without the privilege");
      return 0;
    case system_answer::denies_token:
      check(result.output == "OpenProcessToken: Access is denied.\r\n" && result.status == 1,
            "denied token output and status");
      check(stand_in::count_of(call_kind::lookup_privilege_value) == 0 &&
                stand_in::count_of(call_kind::adjust_token_privileges) == 0 && session_ends == 0,
            "calls after a denied token");
      return 0;
  }
  check(session_ends == 1, "exactly one session end");
  UINT flags = stand_in::first_of(call_kind::exit_windows_ex)->exit_flags;
  check(flags == expected.flags, "flags match the tokens");
  check(flags == 0 || flags == 1 || flags == 2 || flags == 8 || flags == 4 || flags == 5 ||
            flags == 6 || flags == 12,
        "flags in the documented set");
  return 0;
}
