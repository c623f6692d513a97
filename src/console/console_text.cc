#include "console/console_text.h"

namespace {

// The command line, and so argv[0], is at most 32,767 UTF-16 units; a UTF-16
// unit becomes at most 3 bytes in any code page (UTF-8 the widest).
constexpr int max_command_line = 32768;
char converted[3 * max_command_line];

UINT console_code_page() {
  UINT code_page = GetConsoleOutputCP();
  if (code_page != 0) return code_page;
  // No console: the system's OEM code page, a console's default. Not
  // GetOEMCP(): under the manifest's UTF-8 code page it answers 65001 too.
  DWORD oem_code_page = CP_ACP;  // if the system cannot say
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTCODEPAGE | LOCALE_RETURN_NUMBER,
                 reinterpret_cast<LPWSTR>(&oem_code_page), sizeof oem_code_page / sizeof(WCHAR));
  return oem_code_page;
}

}  // namespace

bool to_console_text(const WCHAR* text, char* out, int size) {
  // Flags 0: best fit where the code page has one, '?' otherwise. A text
  // that does not fit fails as a whole and may leave a partial one behind.
  if (WideCharToMultiByte(console_code_page(), 0, text, -1, out, size, nullptr, nullptr) != 0)
    return true;
  out[0] = '\0';
  return false;
}

const char* console_text(const WCHAR* text) {
  to_console_text(text, converted, sizeof converted);
  return converted;
}
