// Starting endsession.exe the way a context other than a console would, for
// endsession-check and the end-to-end test launcher alike: on a window
// station of its own (as a service, a task or SSH runs), with a copy of the
// caller's token that lacks SeShutdownPrivilege, sharing the caller's
// standard handles. Each function returns false with the cause in the last
// error.
#pragma once

#include <windows.h>

// A copy of this process's primary token without SeShutdownPrivilege
// (CreateRestrictedToken), usable with CreateProcessAsUserW.
bool token_without_shutdown_privilege(HANDLE* token);

// Creates window station `name` with a desktop "Default" on it and writes
// "name\Default" into `desktop` (`size` characters): the lpDesktop that
// starts a child there. The station is not the visible WinSta0. It lives
// while this process holds its handle.
bool own_window_station(const wchar_t* name, wchar_t* desktop, size_t size);

struct child_start {
  const wchar_t* application = nullptr;  // lpApplicationName, or NULL
  wchar_t* command_line = nullptr;       // the child's whole command line
  const wchar_t* desktop = nullptr;      // lpDesktop, or NULL: the caller's
  HANDLE token = nullptr;                // CreateProcessAsUserW's, or NULL
  DWORD flags = 0;                       // creation flags
  HANDLE output = nullptr;               // the child's stdout, or NULL: the caller's
};

// Starts the child with the caller's stdin and stderr (and stdout, unless
// `output` is given) inherited.
bool start_child(const child_start& start, PROCESS_INFORMATION* process);

// A suspended copy of this program, created with `flags` added and never
// resumed: its process handle (its thread's closed), or NULL. The caller
// ends it.
HANDLE start_suspended_copy(DWORD flags);
