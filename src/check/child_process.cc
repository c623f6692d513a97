#include "child_process.h"

#include <wchar.h>

namespace {

// Whether this process's token holds privilege `name` now.
bool read_privilege(const wchar_t* name, bool* enabled) {
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
  if (LookupPrivilegeValueW(nullptr, name, &privilege) &&
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

bool token_holds_privilege(const wchar_t* name) {
  bool enabled;
  return read_privilege(name, &enabled);
}

bool token_holds_shutdown_privilege(bool* enabled) {
  // Read once: the kit may later remove the privilege from its own token,
  // and what it answers for stays the caller's token.
  static bool read = false, held = false, held_enabled = false;
  if (!read) held = read_privilege(L"SeShutdownPrivilege", &held_enabled);
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
  removal.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
  bool asked = LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &removal.Privileges[0].Luid) &&
               AdjustTokenPrivileges(own, FALSE, &removal, 0, nullptr, nullptr);
  DWORD error = GetLastError();  // ERROR_NOT_ALL_ASSIGNED: it was not there
  CloseHandle(own);
  if (!asked || token_holds_privilege(L"SeShutdownPrivilege")) {
    SetLastError(asked ? ERROR_PRIVILEGE_NOT_HELD : error);
    return false;
  }
  return true;
}

bool token_without_shutdown_privilege(HANDLE* token) {
  HANDLE own;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY, &own))
    return false;
  LUID_AND_ATTRIBUTES shutdown{};
  bool made = LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdown.Luid) &&
              CreateRestrictedToken(own, 0, 0, nullptr, 1, &shutdown, 0, nullptr, token);
  DWORD error = GetLastError();
  CloseHandle(own);
  SetLastError(error);
  return made;
}

bool own_window_station(const wchar_t* name, wchar_t* desktop, size_t size) {
  HWINSTA station = CreateWindowStationW(name, 0, WINSTA_ALL_ACCESS, nullptr);
  if (station == nullptr) return false;
  // A desktop is created on the process's own station: switch there and back.
  HWINSTA own = GetProcessWindowStation();
  if (!SetProcessWindowStation(station)) return false;
  HDESK created = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  DWORD error = GetLastError();
  SetProcessWindowStation(own);
  SetLastError(error);
  if (created == nullptr) return false;
  swprintf(desktop, size, L"%ls\\Default", name);
  return true;
}

bool start_child(const child_start& start, PROCESS_INFORMATION* process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = start.output != nullptr ? start.output : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE handles[] = {startup.hStdInput, startup.hStdOutput, startup.hStdError};
  for (HANDLE handle : handles) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  startup.lpDesktop = const_cast<wchar_t*>(start.desktop);
  // Wine now and then fails a child's start-up (ERROR_INTERNAL_ERROR, once
  // in some 150 runs) before the child has run any code of its own: it is
  // started again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    BOOL started = start.token != nullptr
                       ? CreateProcessAsUserW(start.token, start.application, start.command_line, nullptr,
                                              nullptr, TRUE, start.flags, nullptr, nullptr, &startup, process)
                       : CreateProcessW(start.application, start.command_line, nullptr, nullptr, TRUE,
                                        start.flags, nullptr, nullptr, &startup, process);
    if (started) return true;
  }
  return false;
}

HANDLE start_suspended_copy(DWORD flags) {
  static wchar_t self[MAX_PATH + 1];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH + 1) == 0) return nullptr;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED | flags, nullptr, nullptr, &startup,
                      &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}
