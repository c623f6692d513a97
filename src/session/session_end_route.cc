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

enum class session_user { same, other, none };

// The terminal session's user against the account `user`. Asking for one's
// own session needs no permission; where the service does not answer, the
// answer is `other`.
session_user session_account(PSID user) {
  LPWSTR name = nullptr, domain = nullptr;
  DWORD bytes;
  session_user answer = session_user::other;
  if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &name, &bytes) &&
      WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &domain, &bytes))
    answer = name[0] == 0 ? session_user::none : account_named(user, name, domain) ? session_user::same : answer;
  if (name != nullptr) WTSFreeMemory(name);
  if (domain != nullptr) WTSFreeMemory(domain);
  return answer;
}

// Whether the desktop's shell runs as `user`. No shell window (Server Core,
// a kiosk shell) or no access to its process or token: no.
bool shell_runs_as(PSID user) {
  DWORD id = 0;
  HWND shell = GetShellWindow();
  if (shell == nullptr || GetWindowThreadProcessId(shell, &id) == 0) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr) return false;
  // Both handles stay open, as the process's own token does: the process
  // ends right after the one request it makes.
  HANDLE token;
  token_sid_buffer shell_user;
  DWORD needed;
  return OpenProcessToken(process, TOKEN_QUERY, &token) &&
         GetTokenInformation(token, TokenUser, &shell_user, sizeof shell_user, &needed) &&
         EqualSid(shell_user.user.User.Sid, user);
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
  switch (session_account(account)) {
    case session_user::same: return true;
    case session_user::none: return false;  // session 0: services only
    case session_user::other: break;        // or names in another form
  }
  return shell_runs_as(account);
}

DWORD initiate_shutdown_flags(UINT exit_flags) {
  DWORD force = (exit_flags & EWX_FORCE) != 0 ? SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF : 0;
  if ((exit_flags & EWX_POWEROFF) != 0) return SHUTDOWN_POWEROFF | force;
  if ((exit_flags & EWX_REBOOT) != 0) return SHUTDOWN_RESTART | force;
  if ((exit_flags & EWX_SHUTDOWN) != 0) return SHUTDOWN_NOREBOOT | force;
  return 0;
}
