// Whole-token option matching on the UTF-16 arguments. Only the ASCII letters
// A-Z fold to a-z; every other unit must match exactly, and so must the
// length. Deliberately not locale- or Unicode-aware: no fold may turn a
// foreign character (U+017F, fullwidth forms) into an option letter, and a
// unit above 0x7F never equals one, whatever its low byte.
#pragma once

#include "platform/win32.h"

// True when `text` equals `lower_option` (ASCII, written in lower case) after
// folding the ASCII capitals of `text`.
bool ascii_case_equal(const WCHAR* text, const char* lower_option);
