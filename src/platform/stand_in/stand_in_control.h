// Test-side control of the native Win32 stand-in: script each call's outcome
// and last error, give FormatMessageA texts, and read back the record of the
// calls made with their arguments. reset() restores the honest defaults:
// every call succeeds except ExitWindowsEx (ERROR_CALL_NOT_IMPLEMENTED), the
// token holds SeShutdownPrivilege, and only the built-in texts are known.
#pragma once

#include <stddef.h>

#include "platform/stand_in/win32_stand_in.h"

namespace stand_in {

enum class call_kind {
  get_current_process,
  open_process_token,
  lookup_privilege_value,
  adjust_token_privileges,
  get_last_error,
  exit_windows_ex,
  format_message,
};

// One call as it was made. Only the fields of its kind are meaningful.
struct call {
  call_kind kind;
  HANDLE handle;              // OpenProcessToken's process, AdjustTokenPrivileges' token
  DWORD access;               // OpenProcessToken
  bool system_name_is_null;   // LookupPrivilegeValueA
  char privilege_name[64];    // LookupPrivilegeValueA
  BOOL disable_all;           // AdjustTokenPrivileges
  TOKEN_PRIVILEGES new_state; // AdjustTokenPrivileges, copied at the call
  DWORD buffer_length;        // AdjustTokenPrivileges
  bool previous_state_is_null, return_length_is_null;
  UINT exit_flags;            // ExitWindowsEx
  DWORD reason;               // ExitWindowsEx
  DWORD format_flags, message_id, language_id, size;  // FormatMessageA
  bool source_is_null, arguments_is_null;
  DWORD last_error_returned;  // GetLastError
};

// What a scripted call returns and leaves as the last error.
struct outcome {
  BOOL result;
  DWORD last_error;
};

struct script {
  outcome open_process_token{TRUE, ERROR_SUCCESS};
  outcome lookup_privilege_value{TRUE, ERROR_SUCCESS};
  // When set, AdjustTokenPrivileges returns this; otherwise it behaves like a
  // token that holds only the shutdown privilege (TRUE, and 0 or 1300).
  bool adjust_is_scripted = false;
  outcome adjust_token_privileges{TRUE, ERROR_SUCCESS};
  outcome exit_windows_ex{FALSE, ERROR_CALL_NOT_IMPLEMENTED};
};

// The LUID the stand-in system gives SeShutdownPrivilege.
constexpr LUID shutdown_luid{19, 0};
// A privilege the token holds too, but disabled: enabling it would be a fault.
constexpr LUID other_held_luid{20, 0};

void reset();
script& current_script();
void set_last_error(DWORD code);
// Adds or replaces the system text for `code` (copied; at most 1023 bytes).
void set_message(DWORD code, const char* text);

size_t call_count();
const call& call_at(size_t index);
// Number of calls of one kind, and the first such call (nullptr if none).
size_t count_of(call_kind kind);
const call* first_of(call_kind kind);
// Privileges the token has had enabled by AdjustTokenPrivileges since reset().
size_t enabled_privilege_count();
LUID enabled_privilege_at(size_t index);

}  // namespace stand_in
