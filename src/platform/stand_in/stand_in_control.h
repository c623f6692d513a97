// Test-side control of the native Win32 stand-in: script each call's outcome
// and last error, give the system's message texts, the window station and
// the account sources, and the code pages, and read back the record of the
// privilege, window-station, token, account, session and message calls made
// with their arguments (the text plumbing -- code pages, conversions, name
// comparisons -- is scripted, not recorded). reset() restores the honest
// defaults: every call succeeds except the session-end calls (ExitWindowsEx
// and InitiateShutdownW: ERROR_CALL_NOT_IMPLEMENTED), the token holds
// SeShutdownPrivilege, the process is the interactive user on the
// interactive window station, with the terminal session's own account, in
// the logon session of the desktop shell, without a linked token, only the built-in texts are known, and the
// code pages are a Western European system's: ANSI 1252, OEM and console 850.
#pragma once

#include <stddef.h>

#include <string>

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
  get_process_window_station,
  get_user_object_information,
  initiate_shutdown,
  get_token_information,
  lookup_account_sid,
  lookup_account_name,
  query_session_information,
  get_shell_window,
  open_process,
  is_process_in_job,
  create_job,
  set_job_information,
  query_job_information,
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
  DWORD format_flags, message_id, language_id, size;  // FormatMessageW
  bool source_is_null, arguments_is_null;
  DWORD last_error_returned;  // GetLastError
  HANDLE object;              // GetUserObjectInformationW
  int index;                  // GetUserObjectInformationW; GetTokenInformation's class
  DWORD length;               // GetUserObjectInformationW, GetTokenInformation
  bool machine_is_null, message_is_null;  // InitiateShutdownW
  DWORD grace_period, shutdown_flags;     // InitiateShutdownW; its reason in `reason`
  DWORD session_id;           // WTSQuerySessionInformationW (its class in `index`); OpenProcess's id
  char account[128];          // LookupAccountNameW's name, in UTF-8
  DWORD job_value;            // SetInformationJobObject's flags (its class in `index`, its job in `handle`)
};

// What a scripted call returns and leaves as the last error.
struct outcome {
  BOOL result;
  DWORD last_error;
};

constexpr UINT latin1_code_page = 28591;
constexpr UINT ansi_1252_code_page = 1252;
constexpr UINT oem_850_code_page = 850;
constexpr const char* interactive_logon_sid = "S-1-5-5-0-197451";
constexpr const char* interactive_user_sid = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr const char* interactive_account = "alice";
constexpr const char* interactive_domain = "DESKTOP-7Q2";
// The desk's logon session, where its shell runs.
constexpr LUID interactive_logon_session{0x3e7a1, 0};

struct script {
  outcome open_process_token{TRUE, ERROR_SUCCESS};
  outcome lookup_privilege_value{TRUE, ERROR_SUCCESS};
  // When set, AdjustTokenPrivileges returns this; otherwise it behaves like a
  // token that holds only the shutdown privilege (TRUE, and 0 or 1300).
  bool adjust_is_scripted = false;
  outcome adjust_token_privileges{TRUE, ERROR_SUCCESS};
  outcome exit_windows_ex{FALSE, ERROR_CALL_NOT_IMPLEMENTED};
  // The window station: GetProcessWindowStation gives NULL with this last
  // error when set (USER32 missing); GetUserObjectInformationW answers
  // `user_object_information` and, on success, `window_station_flags`.
  DWORD no_window_station = ERROR_SUCCESS;
  outcome user_object_information{TRUE, ERROR_SUCCESS};
  DWORD window_station_flags = WSF_VISIBLE;
  // Who owns the station and who the token is, as SID strings: the station's
  // user (UOI_USER_SID; nullptr: nobody logged on, a 0-length answer), the
  // token's logon SID (TokenLogonSid; nullptr: no group, as for SYSTEM) and
  // its user (TokenUser). By default the process is the interactive user.
  outcome station_user_query{TRUE, ERROR_SUCCESS};
  const char* station_user = interactive_logon_sid;
  outcome logon_sid_query{TRUE, ERROR_SUCCESS};
  const char* logon_sid = interactive_logon_sid;
  const char* token_user = interactive_user_sid;
  // The account behind it, in UTF-8: the terminal session's user
  // (WTSUserName, "" for a session without one, and WTSDomainName), the
  // names LookupAccountSidW gives for the token's user (any other SID is
  // not mapped) and the SID LookupAccountNameW finds for any name.
  outcome session_query{TRUE, ERROR_SUCCESS};
  const char* session_user = interactive_account;
  const char* session_domain = interactive_domain;
  outcome account_lookup{TRUE, ERROR_SUCCESS};
  const char* account_name = interactive_account;
  const char* account_domain = interactive_domain;
  outcome name_lookup{TRUE, ERROR_SUCCESS};
  const char* named_sid = interactive_user_sid;
  // The logon sessions (TokenStatistics.AuthenticationId): the token's, its
  // linked token's (TokenLinkedToken; without one the query fails with
  // ERROR_NO_SUCH_LOGON_SESSION) and the desktop shell's. The shell: its
  // window (GetShellWindow NULL when false), its process (OpenProcess
  // refuses with `shell_process_refusal` when set) and its token
  // (OpenProcessToken refuses with `shell_token_refusal` when set).
  LUID logon_session = interactive_logon_session;
  bool has_linked_token = false;
  LUID linked_logon_session = interactive_logon_session;
  bool shell_window = true;
  LUID shell_logon_session = interactive_logon_session;
  DWORD shell_process_refusal = ERROR_SUCCESS;
  DWORD shell_token_refusal = ERROR_SUCCESS;
  DWORD initiate_shutdown = ERROR_CALL_NOT_IMPLEMENTED;  // its answer
  // Jobs. The caller's (IsProcessInJob of the current process; the limits
  // QueryInformationJobObject reads for the NULL job): in none by default.
  // Any other process (a child the kit started): `child_in_job`. A job the
  // kit makes: CreateJobObjectW and SetInformationJobObject answer as
  // scripted; QueryInformationJobObject reads back what was set, its UI
  // limits only where `made_job_ui_readable` (not under Wine).
  outcome caller_job_query{TRUE, ERROR_SUCCESS};
  bool caller_in_job = false;
  outcome caller_limits_query{TRUE, ERROR_SUCCESS};
  DWORD caller_limit_flags = 0;
  outcome caller_ui_query{TRUE, ERROR_SUCCESS};
  DWORD caller_ui_restrictions = 0;
  outcome child_job_query{TRUE, ERROR_SUCCESS};
  bool child_in_job = false;
  outcome job_creation{TRUE, ERROR_SUCCESS};
  outcome job_setting{TRUE, ERROR_SUCCESS};
  bool made_job_ui_readable = true;
  // The code pages: CP_ACP's, the console's output one (0: no console) and
  // the system locale's OEM one, as on a Western European Windows. The
  // stand-in converts 1252 and 850 (a few letters each, one best fit, '?'
  // for the rest), 28591 (Latin-1) and 65001 (UTF-8) only.
  UINT ansi_code_page = ansi_1252_code_page;
  UINT console_output_code_page = oem_850_code_page;
  UINT oem_code_page = oem_850_code_page;
};

// The LUID the stand-in system gives SeShutdownPrivilege.
constexpr LUID shutdown_luid{19, 0};
// A privilege the token holds too, but disabled: enabling it would be a fault.
constexpr LUID other_held_luid{20, 0};

void reset();
script& current_script();
void set_last_error(DWORD code);
// Adds or replaces the system text for `code`, given in UTF-8 (copied; at
// most 1023 bytes).
void set_message(DWORD code, const char* text);

size_t call_count();
const call& call_at(size_t index);
// Number of calls of one kind, and the first such call (nullptr if none).
size_t count_of(call_kind kind);
const call* first_of(call_kind kind);
// `text` (UTF-8; malformed bytes become U+FFFD) in UTF-16, as the Windows
// runtime hands arguments to wmain. Neither scripted nor recorded.
std::u16string utf16_from_utf8(const char* text);
// WTSQuerySessionInformationW buffers not yet given to WTSFreeMemory.
size_t session_buffers_outstanding();
// Privileges the token has had enabled by AdjustTokenPrivileges since reset().
size_t enabled_privilege_count();
LUID enabled_privilege_at(size_t index);

}  // namespace stand_in
