#include "context.h"

#include <sddl.h>
#include <stdio.h>
#include <string.h>

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
  TOKEN_PRIVILEGES privileges;
  BYTE bytes[4096];
};

bool same_text(const char* a, const char* b) { return a[0] != '\0' && strcmp(a, b) == 0; }

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
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    if (GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &needed))
      sid_text(buffer.user.User.Sid, c->user_sid, sizeof c->user_sid);
    if (!GetTokenInformation(token, TokenLogonSid, &buffer, sizeof buffer, &needed))
      c->logon_error = GetLastError();
    else if (buffer.groups.GroupCount > 0)
      sid_text(buffer.groups.Groups[0].Sid, c->logon_sid, sizeof c->logon_sid);
    LUID shutdown;
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdown) &&
        GetTokenInformation(token, TokenPrivileges, &buffer, sizeof buffer, &needed)) {
      for (DWORD i = 0; i < buffer.privileges.PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = buffer.privileges.Privileges[i];
        if (entry.Luid.LowPart == shutdown.LowPart && entry.Luid.HighPart == shutdown.HighPart) {
          c->privilege_held = true;
          c->privilege_enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
      }
    }
    CloseHandle(token);
  }

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

  // The README's rule: the visible station, and its user this logon (or this
  // account); where its user cannot be read, the visible station alone.
  c->interactive_user = c->station_visible &&
                        (!c->station_user_known || same_text(c->station_user, c->logon_sid) ||
                         same_text(c->station_user, c->user_sid));
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
  printf("interactive user: %s\n", c.interactive_user ? "yes" : "no");
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
