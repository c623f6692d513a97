#include "context.h"

#include <stdio.h>
#include <string.h>

#include "format_text.h"
#include "token_privilege.h"

namespace {

void sid_text(PSID sid, char* out, size_t size) {
  out[0] = '\0';
  LPWSTR text;
  if (!ConvertSidToStringSidW(sid, &text)) return;
  size_t i = 0;
  for (; text[i] != 0 && i + 1 < size; ++i) out[i] = static_cast<char>(text[i]);  // a SID is ASCII
  out[i] = '\0';
  LocalFree(text);
}

union token_buffer {
  TOKEN_USER user;
  TOKEN_GROUPS groups;
  BYTE bytes[4096];
};

bool same_text(const char* a, const char* b) { return a[0] != '\0' && strcmp(a, b) == 0; }

// "DOMAIN\name" into `out` (`size` units), cut short where longer: then
// it names no account, and a lookup of it finds none.
void join_account(const WCHAR* domain, const WCHAR* name, WCHAR* out, size_t size) {
  size_t length = 0;
  for (; *domain != 0 && length + 1 < size; ++domain) out[length++] = *domain;
  if (length + 1 < size) out[length++] = '\\';
  for (; *name != 0 && length + 1 < size; ++name) out[length++] = *name;
  out[length] = 0;
}

// "DOMAIN\name" in the console's code page.
void qualified_name(const WCHAR* domain, const WCHAR* name, char* out, size_t size) {
  WCHAR text[520];
  join_account(domain, name, text, 520);
  console_text(text, out, static_cast<int>(size));
}

bool same_name(const WCHAR* a, const WCHAR* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

// The session's account against the token's, as endsession's README
// describes it for a desktop without a shell: names ignoring case, else the
// SID the session's name resolves to. Fills the session fields on the way.
const char* account_match(check_context* c, PSID user, const WCHAR* name, const WCHAR* domain) {
  LPWSTR session_name = nullptr, session_domain = nullptr;
  DWORD bytes;
  const char* match = nullptr;
  bool no_user = false;
  if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &session_name, &bytes) &&
      WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &session_domain, &bytes)) {
    c->session_user_known = true;
    no_user = session_name[0] == 0;
    WCHAR qualified[520];
    join_account(session_domain, session_name, qualified, 520);
    if (!no_user) console_text(qualified, c->session_user, sizeof c->session_user);
    if (!no_user && name != nullptr && same_name(name, session_name) && same_name(domain, session_domain))
      match = "yes, by name";
    BYTE sid[SECURITY_MAX_SID_SIZE];
    WCHAR found_domain[256];
    DWORD sid_size = sizeof sid, domain_size = 256;
    SID_NAME_USE use;
    if (!no_user && match == nullptr && user != nullptr &&
        LookupAccountNameW(nullptr, qualified, sid, &sid_size, found_domain, &domain_size, &use) && EqualSid(sid, user))
      match = "yes, by the SID of the session's name";
  } else {
    c->session_user_error = GetLastError();
  }
  if (session_name != nullptr) WTSFreeMemory(session_name);
  if (session_domain != nullptr) WTSFreeMemory(session_domain);

  return match;
}

bool logon_session_of(HANDLE token, LUID* session) {
  TOKEN_STATISTICS statistics;
  DWORD needed;
  if (!GetTokenInformation(token, TokenStatistics, &statistics, sizeof statistics, &needed)) return false;
  *session = statistics.AuthenticationId;
  return true;
}

void session_text(LUID session, char* out, size_t size) {
  format_text(out, size, "0x%lx:0x%08lx", static_cast<unsigned long>(session.HighPart),
           static_cast<unsigned long>(session.LowPart));
}

bool same_session(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

// The desktop shell's logon session, read as endsession reads it: its
// window, its process, its token. Fills the shell fields.
void read_shell(check_context* c, LUID* session) {
  DWORD id = 0;
  HWND shell = GetShellWindow();
  c->shell_window = shell != nullptr;
  if (shell == nullptr) return;
  HANDLE process = nullptr, token = nullptr;
  if (GetWindowThreadProcessId(shell, &id) != 0 &&
      (process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)) != nullptr &&
      OpenProcessToken(process, TOKEN_QUERY, &token) && logon_session_of(token, session)) {
    c->shell_known = true;
    session_text(*session, c->shell_session, sizeof c->shell_session);
  } else {
    c->shell_error = GetLastError();
  }
  if (token != nullptr) CloseHandle(token);
  if (process != nullptr) CloseHandle(process);
}

}  // namespace

void console_text(const WCHAR* text, char* out, int size) {
  UINT code_page = GetConsoleOutputCP();
  if (code_page == 0) {
    DWORD oem = CP_ACP;
    GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTCODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&oem), sizeof oem / sizeof(WCHAR));
    code_page = oem;
  }
  if (WideCharToMultiByte(code_page, 0, text, -1, out, size, nullptr, nullptr) == 0) out[0] = '\0';
}

void read_context(check_context* c) {
  memset(c, 0, sizeof *c);
  HANDLE token;
  static token_buffer buffer;
  DWORD needed;
  static BYTE user[SECURITY_MAX_SID_SIZE];
  bool user_known = false;
  WCHAR name[256] = {0}, domain[256] = {0};
  bool name_known = false;
  LUID token_session{}, linked_session{}, shell_session{};
  bool token_session_known = false, linked_session_known = false;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    if (GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &needed) &&
        CopySid(sizeof user, user, buffer.user.User.Sid)) {
      user_known = true;
      sid_text(user, c->user_sid, sizeof c->user_sid);
      DWORD name_size = 256, domain_size = 256;
      SID_NAME_USE use;
      name_known = LookupAccountSidW(nullptr, user, name, &name_size, domain, &domain_size, &use);
      if (name_known) qualified_name(domain, name, c->token_account, sizeof c->token_account);
      else c->token_account_error = GetLastError();
    }
    token_session_known = logon_session_of(token, &token_session);
    if (token_session_known) session_text(token_session, c->logon_session, sizeof c->logon_session);
    TOKEN_LINKED_TOKEN linked;
    if (GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &needed)) {
      linked_session_known = logon_session_of(linked.LinkedToken, &linked_session);
      if (linked_session_known) session_text(linked_session, c->linked_session, sizeof c->linked_session);
      else c->linked_error = GetLastError();
      CloseHandle(linked.LinkedToken);
    } else {
      c->linked_error = GetLastError();
    }
    if (!GetTokenInformation(token, TokenLogonSid, &buffer, sizeof buffer, &needed))
      c->logon_error = GetLastError();
    else if (buffer.groups.GroupCount > 0)
      sid_text(buffer.groups.Groups[0].Sid, c->logon_sid, sizeof c->logon_sid);
    CloseHandle(token);
  }

  c->privilege_held = token_holds_shutdown_privilege(&c->privilege_enabled);

  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags;
  if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
    c->station_error = GetLastError();
  } else {
    c->station_known = true;
    c->station_visible = (flags.dwFlags & WSF_VISIBLE) != 0;
    WCHAR name[128];
    if (GetUserObjectInformationW(station, UOI_NAME, name, sizeof name, &needed))
      console_text(name, c->station_name, sizeof c->station_name);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    if (GetUserObjectInformationW(station, UOI_USER_SID, sid, sizeof sid, &needed)) {
      c->station_user_known = true;
      if (needed != 0) sid_text(sid, c->station_user, sizeof c->station_user);
    } else {
      c->station_user_error = GetLastError();
    }
  }
  ProcessIdToSessionId(GetCurrentProcessId(), &c->session_id);

  // The README's rule: the visible station; its user this logon (or this
  // account; where its user cannot be read, the visible station stands for
  // it); with a shell window, the shell's logon session is this token's or
  // its linked token's; without one, this account is the terminal
  // session's. The names are read either way, so that context shows them.
  c->account_match = account_match(c, user_known ? user : nullptr, name_known ? name : nullptr, domain);
  read_shell(c, &shell_session);
  bool in_shell_session = c->shell_known && ((token_session_known && same_session(token_session, shell_session)) ||
                                             (linked_session_known && same_session(linked_session, shell_session)));
  bool desk_session = c->shell_window ? in_shell_session : c->account_match != nullptr;
  c->interactive_user = c->station_visible &&
                        (!c->station_user_known || same_text(c->station_user, c->logon_sid) ||
                         same_text(c->station_user, c->user_sid)) &&
                        desk_session;
}
