#include "session/system_error_text.h"

#include <string.h>

namespace {
char error_text_buffer[256];
}

const char* system_error_text(DWORD code) {
  memset(error_text_buffer, 0, sizeof error_text_buffer);
  // IGNORE_INSERTS: no arguments are passed, so a text with %1 must be copied
  // as it is rather than have its inserts read from nowhere.
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), error_text_buffer,
                                sizeof error_text_buffer, nullptr);
  // A failed lookup (a text longer than the buffer, say) may leave a partial,
  // unterminated text behind: report nothing rather than that.
  if (length == 0) error_text_buffer[0] = '\0';
  error_text_buffer[sizeof error_text_buffer - 1] = '\0';
  return error_text_buffer;
}
