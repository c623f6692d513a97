// Which call asks the system to end the session. ExitWindowsEx belongs to
// the caller's logon session, not to its window station: "if you are not the
// interactive user, the function can succeed without actually shutting down
// the computer", and a log-off "can be used only by processes running in an
// interactive user's logon session". A process can sit on the visible
// WinSta0 without being that user (runas, a remote tool running a command as
// SYSTEM inside the user's session, an interactive service). So:
// - the interactive user (below), ExitWindowsEx(exit_flags, 0), as ever;
// - anyone else, or where the station cannot be asked (no USER32, as on Nano
//   Server), shut down, reboot and power off go to InitiateShutdownW, which
//   the system honours from any session, and a log-off is refused with
//   ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION.
#pragma once

#include "platform/win32.h"

// True when the process is the interactive user. All of:
// - its window station is the visible one (WSF_VISIBLE);
// - the station's user SID (UOI_USER_SID, the logon SID of the logon that
//   owns WinSta0) is the logon SID of `token` (TokenLogonSid) or its user
//   (TokenUser), should a Windows version report the account there. A
//   station with no user is not; where it cannot be read, this step passes;
// - where the desktop has a shell window: `token`'s logon session
//   (TokenStatistics.AuthenticationId), or its linked token's (the elevated
//   prompt's), is the shell's. A shell whose process or token cannot be
//   read is not. runas children share the desktop's logon SID
//   (CreateProcessWithLogonW "uses the logon SID in the caller token") and
//   may share its account (runas as oneself, /netonly): only the logon
//   session tells them apart;
// - where there is no shell window: the token's account is the terminal
//   session's user (WTSUserName and WTSDomainName against
//   LookupAccountSidW's names, ignoring case, or the SID LookupAccountNameW
//   finds for them). A session without a user, or no match, is not.
// Off the visible station nothing past the station's flags is asked; with a
// shell, the session's names are not asked (WTSAPI32 is not loaded).
// `token` needs TOKEN_QUERY.
bool is_interactive_user(HANDLE token);

// InitiateShutdownW's flags for `exit_flags` (EWX_* values): NOREBOOT,
// RESTART or POWEROFF, with FORCE_OTHERS | FORCE_SELF for EWX_FORCE; 0 for a
// log-off, which it cannot do.
DWORD initiate_shutdown_flags(UINT exit_flags);
