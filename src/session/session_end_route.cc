#include "session/session_end_route.h"

bool on_interactive_window_station() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags;
  DWORD needed;
  return station != nullptr &&
         GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

DWORD initiate_shutdown_flags(UINT exit_flags) {
  DWORD force = (exit_flags & EWX_FORCE) != 0 ? SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF : 0;
  if ((exit_flags & EWX_POWEROFF) != 0) return SHUTDOWN_POWEROFF | force;
  if ((exit_flags & EWX_REBOOT) != 0) return SHUTDOWN_RESTART | force;
  if ((exit_flags & EWX_SHUTDOWN) != 0) return SHUTDOWN_NOREBOOT | force;
  return 0;
}
