#include "session/system_error_text.h"

#include <string.h>

#include "console/console_text.h"

namespace {
constexpr DWORD text_limit = 256;
char error_text_buffer[text_limit];
}  // namespace

const char* system_error_text(DWORD code) {
  memset(error_text_buffer, 0, sizeof error_text_buffer);
  WCHAR text[text_limit];
  // IGNORE_INSERTS: no arguments are passed, so a text with %1 must be copied
  // as it is rather than have its inserts read from nowhere. A failed lookup
  // (a text longer than the buffer, say) may leave a partial, unterminated
  // text behind: nothing of it is used.
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, text_limit,
                                nullptr);
  if (length != 0 && length < text_limit) {
    text[length] = 0;
    to_console_text(text, error_text_buffer, sizeof error_text_buffer);
  }
  return error_text_buffer;
}
