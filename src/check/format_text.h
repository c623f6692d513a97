// Text into a char array, always terminated, through msvcrt's _snprintf
// called directly. Not snprintf: mingw's snprintf hands msvcrt a va_list,
// which Debian's arm64 Wine 8.0 msvcrt misreads from clang-built code (it
// crashes there); a direct variadic call is read right everywhere. Macros,
// since a function of the kit's own would have to pass a va_list on.
// _snprintf leaves the text unterminated when it does not fit: the last
// element is set here.
#pragma once

#include <stdio.h>
#include <string.h>

#include "platform/win32.h"

#define format_text(buffer, size, ...) \
  (_snprintf((buffer), (size) - 1, __VA_ARGS__), static_cast<void>((buffer)[(size) - 1] = '\0'))
#define format_wide(buffer, size, ...) \
  (_snwprintf((buffer), (size) - 1, __VA_ARGS__), static_cast<void>((buffer)[(size) - 1] = L'\0'))

inline void copy_text(char* out, size_t size, const char* text) {
  strncpy(out, text, size - 1);
  out[size - 1] = '\0';
}
