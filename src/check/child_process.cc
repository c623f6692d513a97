#include "child_process.h"

#include <wchar.h>

#include "format_text.h"

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
  format_wide(desktop, size, L"%ls\\Default", name);
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
