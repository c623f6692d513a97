// Where Windows ignores the manifest's UTF-8 code page (before Windows 10
// 1903, Server 2016/2019), it best-fits the command line into the ANSI code
// page before argv exists, so a look-alike such as fullwidth "／ｓ" would
// reach the option pass as "/s". The check reads the line as the system
// holds it, in UTF-16, and refuses any non-ASCII character after the program
// name, which is what the UTF-8 code page gives on every later version.
#pragma once

#include "platform/win32.h"

// True when nothing after the program name in `command_line` is outside
// ASCII. The name is skipped the way the C runtime does: a leading double
// quote runs to the next one; otherwise the name ends at the first space or
// tab. Never more, so that no argument escapes the check.
bool arguments_are_ascii(const WCHAR* command_line);
