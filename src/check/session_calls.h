// The two calls that end a session, as endsession-check shows and compares
// them: the function and its first five arguments, as the machine's calling
// convention passes them -- x64: RCX, RDX, R8, R9, then the stack at
// [RSP+0x28]; ARM64: X0-X4 (call_convention.h).
#pragma once

// Plain data: the native unit tests build it over the Win32 stand-in.
#include "platform/win32.h"

enum class session_function { none, exit_windows_ex, initiate_shutdown };

struct session_call {
  session_function function = session_function::none;
  DWORD64 argument[5] = {};
};

// What endsession's README says it calls for EWX_* `exit_flags`: the
// interactive user gets ExitWindowsEx(flags, 0); anyone else gets
// InitiateShutdownW(NULL, NULL, 0, SHUTDOWN_*, 0x80000000), and a log-off
// none at all (refused with 1459).
session_call documented_call(UINT exit_flags, bool interactive_user);

// "ExitWindowsEx(0x00000006, 0x00000000)" or
// "InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000)": pointers as
// NULL or an address, the grace period in decimal, the rest in hex.
void format_call(const session_call& call, char* out, size_t size);
bool same_call(const session_call& a, const session_call& b);
