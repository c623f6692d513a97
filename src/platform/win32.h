// The one platform seam. Product code calls the Win32 names directly; this
// header decides where they come from: the real <windows.h> in the Windows
// build, the project's stand-in (same names, scriptable) in the native build.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>
#include <wtsapi32.h>
#else
#include "platform/stand_in/win32_stand_in.h"
#endif
