// endsession-check's reading of its own token's privileges, built over the
// platform seam: what the kit answers endsession's AdjustTokenPrivileges
// with is the caller's reading, kept from before the kit changes its token.
#pragma once

#include "platform/win32.h"

// Whether this process's token holds privilege `name` (e.g.
// "SeIncreaseQuotaPrivilege"), enabled or not, now.
bool token_holds_privilege(const char* name);

// Whether this process's token held SeShutdownPrivilege, enabled or not,
// when first asked: what AdjustTokenPrivileges would grant the caller.
// `enabled`, when given, says whether it was enabled then.
bool token_holds_shutdown_privilege(bool* enabled = nullptr);

// Removes SeShutdownPrivilege from this process's own token for good
// (SE_PRIVILEGE_REMOVED), after token_holds_shutdown_privilege has kept the
// caller's reading: children started with CreateProcessW get a copy of the
// token without it. True when the token, read again, lacks it; else false
// with the cause in the last error (ERROR_PRIVILEGE_NOT_HELD: it is still
// there).
bool remove_shutdown_privilege();
