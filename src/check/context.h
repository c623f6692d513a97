// Who and where endsession-check runs, read with queries only: the token's
// user and logon SIDs, account, logon session and shutdown privilege, the
// window station, its visibility and user, the terminal session and its
// user, the logon sessions of the token, its linked token and the desktop
// shell. From those, by endsession's README,
// whether endsession would run here as the interactive user. The reading
// and the decision are built over the platform seam, so that the native
// tests drive them through the same table as endsession's own decision;
// the report (context_report.cc) is the kit's alone.
#pragma once

#include "platform/win32.h"

struct check_context {
  char user_sid[192];        // "" when unreadable
  char logon_sid[192];       // "" when the token has none
  DWORD logon_error;         // why not, when the query failed (0: no group)
  bool privilege_held, privilege_enabled;
  char station_name[256];    // in the console's code page
  bool station_known;        // the station and its flags could be read
  DWORD station_error;       // why not (ERROR_MOD_NOT_FOUND: no USER32, as on Nano Server)
  bool station_visible;
  bool station_user_known;   // UOI_USER_SID answered
  DWORD station_user_error;  // why not
  char station_user[192];    // "" when nobody is logged on
  DWORD session_id;
  char token_account[520];   // DOMAIN\name, "" when the lookup failed
  DWORD token_account_error;
  char logon_session[32];    // TokenStatistics.AuthenticationId, 0xHIGH:0xLOW
  bool session_user_known;   // WTSUserName and WTSDomainName answered
  DWORD session_user_error;
  char session_user[520];    // DOMAIN\name, "" for a session without a user
  char linked_session[32];   // the linked token's logon session, "" when none
  DWORD linked_error;        // why not
  bool shell_window;         // GetShellWindow answered a window
  bool shell_known;          // the shell's process token answered
  DWORD shell_error;         // why not
  char shell_session[32];    // the shell's logon session
  // How the token's account was found to be the session's: by name, by the
  // SID of the session's name; nullptr: it was not. Decides only where
  // there is no shell window.
  const char* account_match;
  bool interactive_user;     // the README's rule
};

void read_context(check_context* context);

// Prints the context and, for each operation, the call endsession would make.
void print_context(const check_context& context);

// `text` in the console's code page (its output code page, else the system's
// OEM one), as endsession writes system texts: best fit, '?' otherwise.
// Written here rather than taken from endsession: selftest compares the
// tool's bytes with these.
void console_text(const WCHAR* text, char* out, int size);
