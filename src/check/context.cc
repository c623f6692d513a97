#include "context.h"

#include <sddl.h>
#include <stdio.h>
#include <wtsapi32.h>
#include <string.h>

#include "child_process.h"
#include "job_state.h"
#include "session_calls.h"

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

// "DOMAIN\name" in the console's code page.
void qualified_name(const wchar_t* domain, const wchar_t* name, char* out, size_t size) {
  wchar_t text[520];
  swprintf(text, 520, L"%ls\\%ls", domain, name);
  console_text(text, out, static_cast<int>(size));
}

bool same_name(const wchar_t* a, const wchar_t* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

// The session's account against the token's, as endsession's README
// describes it for a desktop without a shell: names ignoring case, else the
// SID the session's name resolves to. Fills the session fields on the way.
const char* account_match(check_context* c, PSID user, const wchar_t* name, const wchar_t* domain) {
  LPWSTR session_name = nullptr, session_domain = nullptr;
  DWORD bytes;
  const char* match = nullptr;
  bool no_user = false;
  if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &session_name, &bytes) &&
      WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &session_domain, &bytes)) {
    c->session_user_known = true;
    no_user = session_name[0] == 0;
    if (!no_user) qualified_name(session_domain, session_name, c->session_user, sizeof c->session_user);
    if (!no_user && name != nullptr && same_name(name, session_name) && same_name(domain, session_domain))
      match = "yes, by name";
    wchar_t qualified[520];
    swprintf(qualified, 520, L"%ls\\%ls", session_domain, session_name);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    wchar_t found_domain[256];
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
  snprintf(out, size, "0x%lx:0x%08lx", static_cast<unsigned long>(session.HighPart),
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

void console_text(const wchar_t* text, char* out, int size) {
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
  wchar_t name[256] = L"", domain[256] = L"";
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
  if (station != nullptr && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
    c->station_known = true;
    c->station_visible = (flags.dwFlags & WSF_VISIBLE) != 0;
    wchar_t name[128];
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

void print_context(const check_context& c) {
  printf("token user: %s\n", c.user_sid[0] ? c.user_sid : "unknown");
  if (c.logon_sid[0]) printf("logon SID: %s\n", c.logon_sid);
  else printf("logon SID: none (error %lu)\n", c.logon_error);
  printf("SeShutdownPrivilege: %s\n", !c.privilege_held ? "not held" : c.privilege_enabled ? "held, enabled" : "held, disabled");
  if (!c.station_known) printf("window station: unknown\n");
  else printf("window station: %s, %s\n", c.station_name, c.station_visible ? "visible" : "not visible");
  if (c.station_user_known) printf("window station user: %s\n", c.station_user[0] ? c.station_user : "none (nobody logged on)");
  else printf("window station user: unknown (error %lu)\n", c.station_user_error);
  printf("terminal session: %lu\n", c.session_id);
  if (c.token_account[0]) printf("token account: %s\n", c.token_account);
  else printf("token account: unknown (error %lu)\n", c.token_account_error);
  printf("logon session: %s\n", c.logon_session[0] ? c.logon_session : "unknown");
  if (!c.session_user_known) printf("session user: unknown (error %lu)\n", c.session_user_error);
  else printf("session user: %s\n", c.session_user[0] ? c.session_user : "none (a session without a user)");
  if (c.linked_session[0]) printf("linked token's logon session: %s\n", c.linked_session);
  else printf("linked token's logon session: none (error %lu)\n", c.linked_error);
  if (!c.shell_window) printf("desktop shell's logon session: no shell window\n");
  else if (c.shell_known) printf("desktop shell's logon session: %s\n", c.shell_session);
  else printf("desktop shell's logon session: shell not readable (error %lu)\n", c.shell_error);
  printf("account is the session's: %s\n", c.account_match != nullptr ? c.account_match : "no");
  printf("decided by: %s\n", c.shell_window ? "the shell's logon session" : "the session's account");
  printf("interactive user: %s\n", c.interactive_user ? "yes" : "no");
  printf("job: %s\n", job_state_text(read_job_state(start_suspended_copy)));
  // The barrier endsession runs in, made and read back as the kit makes it.
  HANDLE job = barrier_job();
  DWORD error = GetLastError();
  barrier_reading reading = job != nullptr ? read_barrier_job(job) : barrier_reading::missing;
  if (job == nullptr) printf("barrier job: cannot be made here (error %lu)\n", error);
  else if (reading == barrier_reading::holds)
    printf("barrier job: read back: ExitWindowsEx forbidden (JOB_OBJECT_UILIMIT_EXITWINDOWS), killed on close\n");
  else if (reading == barrier_reading::unreadable)
    printf("barrier job: made; this system does not read its UI limits back\n");
  else
    printf("barrier job: read back without its limits\n");
  if (job != nullptr) CloseHandle(job);
  // CreateProcessAsUserW "typically" wants SeIncreaseQuotaPrivilege; where
  // it refuses, the kit gives up SeShutdownPrivilege itself.
  printf("token barrier: %s\n",
         token_holds_privilege(L"SeIncreaseQuotaPrivilege")
             ? "a copy of the caller's token without SeShutdownPrivilege (CreateProcessAsUserW)"
             : "no SeIncreaseQuotaPrivilege: a copy without SeShutdownPrivilege (CreateProcessAsUserW), or, where "
               "that is refused (1314), the kit's own token without it (CreateProcessW)");
  static const struct { const char* options; UINT flags; } operations[] = {
      {"/l", 0}, {"/l /f", 4}, {"/s", 1}, {"/s /f", 5}, {"/r", 2}, {"/r /f", 6}, {"/p", 8}, {"/p /f", 12}};
  for (const auto& operation : operations) {
    session_call call = documented_call(operation.flags, c.interactive_user);
    char text[128];
    if (call.function == session_function::none) snprintf(text, sizeof text, "refused with 1459 (no session-end call)");
    else format_call(call, text, sizeof text);
    printf("endsession %-6s %s\n", operation.options, text);
  }
}
