// The session end: enables SeShutdownPrivilege on the process's own token,
// then asks the system to end the session with `exit_flags` (EWX_* values)
// and reason 0, by the call that fits where the process runs
// (session_end_route.h). Returns 0 when the system accepted, 1 after
// printing which step was refused together with the system's text for the
// error code.
#pragma once

#include "platform/win32.h"

int request_session_end(UINT exit_flags);
