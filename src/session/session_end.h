// The session end: opens the process's own token, enables SeShutdownPrivilege
// on it for a shutdown, reboot or power-off (a log-off needs none), then asks
// the system to end the session with `exit_flags` (EWX_* values) by the call
// that fits who and where the process is (session_end_route.h). Returns 0
// when the system accepted, 1 after printing which step was refused together
// with the system's text for the error code.
#pragma once

#include "platform/win32.h"

int request_session_end(UINT exit_flags);
