// Text the tool did not write itself -- the system's message texts and the
// program name -- goes to standard output in the code page the console
// decodes it in: the console's output code page, or the system's OEM code
// page when the process has no console (cmd, PowerShell and findstr read a
// pipe that way too). The tool's own texts are ASCII and need no conversion.
// Conversion goes through UTF-16; a character the code page lacks becomes its
// best fit or '?', and a character is never cut in half.
#pragma once

#include "platform/win32.h"

// Converts the NUL-terminated `text` into `out` (`size` bytes, NUL
// included). When it does not fit, `out` is left empty and false returned.
bool to_console_text(const WCHAR* text, char* out, int size);

// `text` (at most a command line long) converted for the console in a static
// buffer, valid until the next call; empty when it cannot be converted.
const char* console_text(const WCHAR* text);
