#include "token_privilege.h"

#include "test_faults.h"

namespace {

// Whether this process's token holds privilege `name` now.
bool read_privilege(const char* name, bool* enabled) {
  HANDLE own;
  LUID privilege;
  static union {
    TOKEN_PRIVILEGES privileges;
    BYTE bytes[4096];
  } buffer;
  DWORD needed;
  bool held = false;
  *enabled = false;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return false;
  if (LookupPrivilegeValueA(nullptr, name, &privilege) &&
      GetTokenInformation(own, TokenPrivileges, &buffer, sizeof buffer, &needed))
    for (DWORD i = 0; i < buffer.privileges.PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& entry = buffer.privileges.Privileges[i];
      if (entry.Luid.LowPart != privilege.LowPart || entry.Luid.HighPart != privilege.HighPart) continue;
      held = true;
      *enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  CloseHandle(own);
  return held;
}

}  // namespace

bool token_holds_privilege(const char* name) {
  bool enabled;
  return read_privilege(name, &enabled);
}

bool token_holds_shutdown_privilege(bool* enabled) {
  // Read once: the kit may later remove the privilege from its own token,
  // and what it answers for stays the caller's token.
  static bool read = false, held = false, held_enabled = false;
  if (!read) held = read_privilege("SeShutdownPrivilege", &held_enabled);
  read = true;
  if (enabled != nullptr) *enabled = held_enabled;
  return held;
}

bool remove_shutdown_privilege() {
  token_holds_shutdown_privilege();  // the caller's reading, before it changes
  HANDLE own;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &own)) return false;
  TOKEN_PRIVILEGES removal{};
  removal.PrivilegeCount = 1;
  // Test builds only: keep-privilege asks for no change, a removal that
  // does not take, as Wine never shows one.
  removal.Privileges[0].Attributes = test_fault("keep-privilege") ? 0 : SE_PRIVILEGE_REMOVED;
  bool asked = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &removal.Privileges[0].Luid) &&
               AdjustTokenPrivileges(own, FALSE, &removal, 0, nullptr, nullptr);
  DWORD error = GetLastError();  // ERROR_NOT_ALL_ASSIGNED: it was not there
  CloseHandle(own);
  if (!asked || token_holds_privilege("SeShutdownPrivilege")) {
    SetLastError(asked ? ERROR_PRIVILEGE_NOT_HELD : error);
    return false;
  }
  return true;
}
