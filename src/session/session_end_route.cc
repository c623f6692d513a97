#include "session/session_end_route.h"

namespace {

bool on_visible_window_station(HWINSTA station) {
  USEROBJECTFLAGS flags;
  DWORD needed;
  return GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

// Room for a TOKEN_USER or a one-group TOKEN_GROUPS and the SID behind it;
// aligned for the pointers inside.
union token_sid_buffer {
  TOKEN_USER user;
  TOKEN_GROUPS groups;
  BYTE bytes[sizeof(TOKEN_GROUPS) + SECURITY_MAX_SID_SIZE];
};

// Account and domain names: 256 units hold any the system gives (a longer
// one fails the lookup, which only ever leads to a refusal).
constexpr DWORD name_size = 256;

// As Windows compares account names: ordinal, ignoring case.
bool same_name(LPCWSTR a, LPCWSTR b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

// Whether the session's user `name` in `domain` is the account `user`: by
// the names LookupAccountSidW gives for it, else by the SID the system finds
// for "domain\name" (not alone: that lookup is reported to fail for some
// kinds of account, such as AzureAD\name).
bool account_named(PSID user, LPCWSTR name, LPCWSTR domain) {
  WCHAR account[name_size], account_domain[name_size];
  DWORD account_length = name_size, domain_length = name_size;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, user, account, &account_length, account_domain, &domain_length, &use) &&
      same_name(account, name) && same_name(account_domain, domain))
    return true;
  WCHAR qualified[2 * name_size + 2];
  DWORD length = 0;
  for (; *domain != 0 && length < name_size; ++domain) qualified[length++] = *domain;
  qualified[length++] = '\\';
  for (; *name != 0 && length < 2 * name_size + 1; ++name) qualified[length++] = *name;
  if (*domain != 0 || *name != 0) return false;  // cut short: another name
  qualified[length] = 0;
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sid_length = sizeof sid;
  domain_length = name_size;
  return LookupAccountNameW(nullptr, qualified, sid, &sid_length, account_domain, &domain_length, &use) &&
         EqualSid(sid, user);
}

// Whether the terminal session's user is the account `user`. Asking for
// one's own session needs no permission; a session without a user
// (session 0) or a service that does not answer: no.
bool session_is_account(PSID user) {
  LPWSTR name = nullptr, domain = nullptr;
  DWORD bytes;
  bool same = WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &name, &bytes) &&
              WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &domain, &bytes) &&
              name[0] != 0 && account_named(user, name, domain);
  if (name != nullptr) WTSFreeMemory(name);
  if (domain != nullptr) WTSFreeMemory(domain);
  return same;
}

// The logon session (TokenStatistics.AuthenticationId, "An LUID assigned to
// the session this token represents") of `token`; false when unreadable.
bool logon_session_of(HANDLE token, LUID* session) {
  TOKEN_STATISTICS statistics;
  DWORD needed;
  if (!GetTokenInformation(token, TokenStatistics, &statistics, sizeof statistics, &needed)) return false;
  *session = statistics.AuthenticationId;
  return true;
}

bool same_logon_session(HANDLE token, LUID desk) {
  LUID session;
  return logon_session_of(token, &session) && session.LowPart == desk.LowPart && session.HighPart == desk.HighPart;
}

// Whether `token` is in the logon session of the desktop's shell (`shell`,
// its window): its own, or that of its linked token -- the logged-on
// administrator's elevated prompt has a logon session of its own, linked to
// the desk's. A shell whose process or token cannot be read (another
// account's runas child, usually): no.
bool in_shell_logon_session(HANDLE token, HWND shell) {
  DWORD id = 0;
  if (GetWindowThreadProcessId(shell, &id) == 0) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  // The handles stay open, as the process's own token does: the process
  // ends right after the one request it makes.
  HANDLE shell_token;
  LUID desk;
  if (process == nullptr || !OpenProcessToken(process, TOKEN_QUERY, &shell_token) ||
      !logon_session_of(shell_token, &desk))
    return false;
  if (same_logon_session(token, desk)) return true;
  TOKEN_LINKED_TOKEN linked;
  DWORD needed;
  return GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &needed) &&
         same_logon_session(linked.LinkedToken, desk);
}

}  // namespace

bool is_interactive_user(HANDLE token) {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr || !on_visible_window_station(station)) return false;

  BYTE station_user[SECURITY_MAX_SID_SIZE];
  DWORD station_user_length = 0;
  bool station_user_known = GetUserObjectInformationW(station, UOI_USER_SID, station_user,
                                                      sizeof station_user, &station_user_length) != 0;
  // Asked whatever the station answered, so that a trace shows them all.
  token_sid_buffer logon, user;
  DWORD needed;
  bool has_logon_sid = GetTokenInformation(token, TokenLogonSid, &logon, sizeof logon, &needed) &&
                       logon.groups.GroupCount > 0;
  if (!GetTokenInformation(token, TokenUser, &user, sizeof user, &needed)) return false;
  PSID account = user.user.User.Sid;
  if (station_user_known) {  // else the visible station stands for this step
    if (station_user_length == 0) return false;  // nobody is logged on
    if (!(has_logon_sid && EqualSid(station_user, logon.groups.Groups[0].Sid)) &&
        !EqualSid(station_user, account))
      return false;
  }
  // ExitWindowsEx ends the caller's logon session: where the desk has a
  // shell, its logon session is the desk's, and only it decides (the same
  // account in another logon session -- runas as oneself, runas /netonly --
  // is not the interactive user). Without a shell nothing documented names
  // the desk's logon session: the session's account stands in for it.
  HWND shell = GetShellWindow();
  if (shell != nullptr) return in_shell_logon_session(token, shell);
  return session_is_account(account);
}

DWORD initiate_shutdown_flags(UINT exit_flags) {
  DWORD force = (exit_flags & EWX_FORCE) != 0 ? SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF : 0;
  if ((exit_flags & EWX_POWEROFF) != 0) return SHUTDOWN_POWEROFF | force;
  if ((exit_flags & EWX_REBOOT) != 0) return SHUTDOWN_RESTART | force;
  if ((exit_flags & EWX_SHUTDOWN) != 0) return SHUTDOWN_NOREBOOT | force;
  return 0;
}
