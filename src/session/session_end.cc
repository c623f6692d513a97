#include "session/session_end.h"

#include <stdio.h>
#include <string.h>

#include "session/session_end_route.h"
#include "session/system_error_text.h"

namespace {

// Enables SeShutdownPrivilege on `token`; false leaves the reason in the
// last error.
bool enable_shutdown_privilege(HANDLE token) {
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
  return GetLastError() == ERROR_SUCCESS;
}

}  // namespace

int request_session_end(UINT exit_flags) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    printf("OpenProcessToken: %s", system_error_text(GetLastError()));
    return 1;
  }

  // A log-off needs no shutdown privilege (ExitWindowsEx asks for it for
  // shutdown, reboot and power-off only): an account without it may still
  // log itself off.
  bool logoff = (exit_flags & ~EWX_FORCE) == EWX_LOGOFF;
  if (!logoff && !enable_shutdown_privilege(token)) {
    printf("AdjustTokenPrivileges: %s", system_error_text(GetLastError()));
    return 1;
  }

  DWORD error;
  if (is_interactive_user(token)) {
    if (ExitWindowsEx(exit_flags, 0)) return 0;
    error = GetLastError();
  } else {
    DWORD flags = initiate_shutdown_flags(exit_flags);
    // Its answer is the error code itself; grace period 0: at once, as
    // ExitWindowsEx does. A planned reason: reason 0 would be logged as an
    // unplanned shutdown, which may have the system save its state first.
    error = flags == 0 ? ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION
                       : InitiateShutdownW(nullptr, nullptr, 0, flags,
                                           SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER |
                                               SHTDN_REASON_FLAG_PLANNED);
    if (error == ERROR_SUCCESS) return 0;
  }
  printf("Can not reboot: %s\n", system_error_text(error));
  return 1;
}
