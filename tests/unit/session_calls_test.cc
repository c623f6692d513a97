// endsession-check's comparison of a stopped call with the documented one:
// every argument the tool passes counts, ExitWindowsEx's reason included;
// of a DWORD only its low 32 bits (the rest of the register is not its).
// Its text always ends within the buffer.
#include <gtest/gtest.h>
#include <string.h>

#include "session_calls.h"

namespace {

session_call exit_windows_ex(DWORD64 flags, DWORD64 reason) {
  session_call call;
  call.function = session_function::exit_windows_ex;
  call.argument[0] = flags;
  call.argument[1] = reason;
  return call;
}

TEST(SessionCalls, EveryArgumentOfTheCallCounts) {
  session_call logoff = documented_call(EWX_LOGOFF, true);
  EXPECT_TRUE(same_call(exit_windows_ex(0, 0), logoff));
  EXPECT_FALSE(same_call(exit_windows_ex(0, 1), logoff)) << "the reason";
  EXPECT_FALSE(same_call(exit_windows_ex(4, 0), logoff)) << "the flags";
  EXPECT_TRUE(same_call(exit_windows_ex(0xFFFFFFFF00000000ull, 0x1234567800000000ull), logoff))
      << "a register's upper half is not the DWORD's";

  session_call reboot = documented_call(EWX_REBOOT | EWX_FORCE, false);
  char text[128];
  format_call(reboot, text, sizeof text);
  EXPECT_STREQ(text, "InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000)");
  // Through msvcrt's _snprintf, which leaves a text that does not fit (or
  // just fits) unterminated: cut and terminated within the buffer.
  char near[sizeof "InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000)" + 2];
  for (size_t size : {sizeof near - 2, sizeof near - 3, size_t{18}}) {
    SCOPED_TRACE(size);
    memset(near, 'x', sizeof near);
    format_call(reboot, near, size);
    EXPECT_EQ(strlen(near), size - 1);
    EXPECT_EQ(strncmp(near, text, size - 1), 0);
    EXPECT_EQ(near[size], 'x') << "written past the buffer";
  }
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    session_call other = reboot;
    other.argument[i] ^= 1;
    EXPECT_FALSE(same_call(other, reboot));
  }
  session_call pointer = reboot;
  pointer.argument[0] = 0x100000000ull;  // a machine name's pointer: all 64 bits count
  EXPECT_FALSE(same_call(pointer, reboot));
  EXPECT_EQ(documented_call(EWX_LOGOFF, false).function, session_function::none);
}

}  // namespace
