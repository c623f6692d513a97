#include "session/session_end.h"

#include <stdio.h>
#include <string.h>

#include "session/session_end_route.h"
#include "session/system_error_text.h"

int request_session_end(UINT exit_flags) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    printf("OpenProcessToken: %s", system_error_text(GetLastError()));
    return 1;
  }

  // Zero-filled first: the lookup's result is not tested, and a failed lookup
  // must leave a LUID that names no privilege, never stack contents that
  // might name one the token holds.
  TOKEN_PRIVILEGES new_state;
  memset(&new_state, 0, sizeof new_state);
  LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &new_state.Privileges[0].Luid);
  new_state.PrivilegeCount = 1;
  new_state.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;

  // Its BOOL says nothing about whether the privilege was granted; the last
  // error does (ERROR_NOT_ALL_ASSIGNED comes with a TRUE result).
  AdjustTokenPrivileges(token, FALSE, &new_state, 0, nullptr, nullptr);
  if (GetLastError() != ERROR_SUCCESS) {
    printf("AdjustTokenPrivileges: %s", system_error_text(GetLastError()));
    return 1;
  }

  DWORD error;
  if (on_interactive_window_station()) {
    if (ExitWindowsEx(exit_flags, 0)) return 0;
    error = GetLastError();
  } else {
    DWORD flags = initiate_shutdown_flags(exit_flags);
    // Its answer is the error code itself; grace period 0: at once, as
    // ExitWindowsEx does.
    error = flags == 0 ? ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION
                       : InitiateShutdownW(nullptr, nullptr, 0, flags, 0);
    if (error == ERROR_SUCCESS) return 0;
  }
  printf("Can not reboot: %s\n", system_error_text(error));
  return 1;
}
