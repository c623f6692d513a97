// The system's own message text for an error code, as the system writes it
// (its line ending included), in the console's code page (console/). Always
// NUL-terminated; empty when the system has no text for the code or the text
// does not fit. The text lives in one static 256-byte buffer: every call
// returns the same pointer and overwrites the previous text.
#pragma once

#include "platform/win32.h"

const char* system_error_text(DWORD code);
