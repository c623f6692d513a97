#include "cli/ascii_case.h"

bool ascii_case_equal(const WCHAR* text, const char* lower_option) {
  for (;; ++text, ++lower_option) {
    unsigned int c = *text;  // the whole unit: never narrowed to its low byte
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    if (c != static_cast<unsigned char>(*lower_option)) return false;
    if (c == 0) return true;
  }
}
