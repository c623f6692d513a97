// Test tool for endsession-check: stands in for endsession where the real
// one cannot show a fault of the kit.
//   kit_targets probe-adjust  sets a last error, asks AdjustTokenPrivileges
//                             for SeShutdownPrivilege and calls
//                             ExitWindowsEx(EWX_LOGOFF, 0) only if it
//                             answered TRUE with last error 0 (else exit 7)
//   kit_targets break         hits a breakpoint of its own (DebugBreak)
//   kit_targets hang          never ends
//   kit_targets privilege     exits 10 when its token holds
//                             SeShutdownPrivilege, 11 when it does not
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "probe-adjust") == 0) {
    HANDLE token;
    TOKEN_PRIVILEGES state{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) ||
        !LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &state.Privileges[0].Luid))
      return 6;
    SetLastError(1234);
    BOOL answered = AdjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr);
    if (answered != TRUE || GetLastError() != ERROR_SUCCESS) return 7;
    return ExitWindowsEx(EWX_LOGOFF, 0) ? 0 : 8;
  }
  if (strcmp(mode, "privilege") == 0) {
    HANDLE token;
    LUID shutdown;
    static union {
      TOKEN_PRIVILEGES privileges;
      BYTE bytes[4096];
    } held;
    DWORD needed;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
        !LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown) ||
        !GetTokenInformation(token, TokenPrivileges, &held, sizeof held, &needed))
      return 6;
    for (DWORD i = 0; i < held.privileges.PrivilegeCount; ++i)
      if (held.privileges.Privileges[i].Luid.LowPart == shutdown.LowPart &&
          held.privileges.Privileges[i].Luid.HighPart == shutdown.HighPart)
        return 10;
    return 11;
  }
  if (strcmp(mode, "break") == 0) DebugBreak();
  if (strcmp(mode, "hang") == 0) Sleep(INFINITE);
  return 9;
}
