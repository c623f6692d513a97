// Whole-token option matching. Only the ASCII letters A-Z fold to a-z; every
// other byte must match exactly, and so must the length. Deliberately not
// locale- or Unicode-aware: no fold may turn a foreign character (U+017F, say)
// into an option letter.
#pragma once

// True when `text` equals `lower_option` (written in lower case) after folding
// the ASCII capitals of `text`.
bool ascii_case_equal(const char* text, const char* lower_option);
