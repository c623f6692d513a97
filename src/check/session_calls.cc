#include "session_calls.h"

#include <stdio.h>

#include "format_text.h"

session_call documented_call(UINT exit_flags, bool interactive_user) {
  session_call call;
  if (interactive_user) {
    call.function = session_function::exit_windows_ex;
    call.argument[0] = exit_flags;
    return call;
  }
  DWORD flags = (exit_flags & EWX_POWEROFF) ? SHUTDOWN_POWEROFF
                : (exit_flags & EWX_REBOOT) ? SHUTDOWN_RESTART
                : (exit_flags & EWX_SHUTDOWN) ? SHUTDOWN_NOREBOOT
                                               : 0;
  if (flags == 0) return call;  // a log-off: refused
  if (exit_flags & EWX_FORCE) flags |= SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;
  call.function = session_function::initiate_shutdown;
  call.argument[3] = flags;
  call.argument[4] = 0x80000000;  // other, other, planned
  return call;
}

namespace {
void pointer(DWORD64 value, char* out, size_t size) {
  if (value == 0) format_text(out, size, "NULL");
  else format_text(out, size, "0x%llx", static_cast<unsigned long long>(value));
}
}  // namespace

void format_call(const session_call& call, char* out, size_t size) {
  // Only the low 32 bits of a DWORD argument are its value.
  auto dword = [&](int i) { return static_cast<unsigned>(call.argument[i] & 0xFFFFFFFF); };
  switch (call.function) {
    case session_function::exit_windows_ex:
      format_text(out, size, "ExitWindowsEx(0x%08x, 0x%08x)", dword(0), dword(1));
      break;
    case session_function::initiate_shutdown: {
      char machine[24], message[24];
      pointer(call.argument[0], machine, sizeof machine);
      pointer(call.argument[1], message, sizeof message);
      format_text(out, size, "InitiateShutdownW(%s, %s, %u, 0x%08x, 0x%08x)", machine, message, dword(2), dword(3),
               dword(4));
      break;
    }
    case session_function::none: format_text(out, size, "no session-end call"); break;
  }
}

bool same_call(const session_call& a, const session_call& b) {
  if (a.function != b.function) return false;
  int dwords = a.function == session_function::exit_windows_ex ? 2 : 5;
  for (int i = 0; i < dwords; ++i) {
    bool is_pointer = a.function == session_function::initiate_shutdown && i < 2;
    DWORD64 mask = is_pointer ? ~0ull : 0xFFFFFFFFull;
    if ((a.argument[i] & mask) != (b.argument[i] & mask)) return false;
  }
  return true;
}
