#include "cli/ascii_case.h"

bool ascii_case_equal(const char* text, const char* lower_option) {
  for (;; ++text, ++lower_option) {
    unsigned char c = static_cast<unsigned char>(*text);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (c != static_cast<unsigned char>(*lower_option)) return false;
    if (c == 0) return true;
  }
}
