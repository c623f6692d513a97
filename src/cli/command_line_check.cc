#include "cli/command_line_check.h"

bool arguments_are_ascii(const WCHAR* command_line) {
  const WCHAR* p = command_line;
  if (*p == '"') {
    do ++p;
    while (*p != 0 && *p != '"');
    if (*p == '"') ++p;
  } else {
    while (*p != 0 && *p != ' ' && *p != '\t') ++p;
  }
  for (; *p != 0; ++p)
    if (*p > 0x7F) return false;
  return true;
}
