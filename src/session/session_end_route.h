// Which call asks the system to end the session, decided once the privilege
// is enabled. ExitWindowsEx stops the processes of the caller's logon
// session: run from a service, a task that runs whether the user is logged
// on or not, SSH or WinRM it can succeed while nothing ends, and it logs off
// interactive sessions only. So:
// - on the interactive window station (WSF_VISIBLE: a console, Remote
//   Desktop), ExitWindowsEx(exit_flags, 0), as ever;
// - anywhere else, or where the station cannot be asked (no USER32, as on
//   Nano Server), shut down, reboot and power off go to InitiateShutdownW,
//   which the system honours from any session, and a log-off is refused
//   with ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION.
#pragma once

#include "platform/win32.h"

// True only when the process's window station is known to be the
// interactive one.
bool on_interactive_window_station();

// InitiateShutdownW's flags for `exit_flags` (EWX_* values): NOREBOOT,
// RESTART or POWEROFF, with FORCE_OTHERS | FORCE_SELF for EWX_FORCE; 0 for a
// log-off, which it cannot do.
DWORD initiate_shutdown_flags(UINT exit_flags);
