// Windows build only. USER32 and WTSAPI32 are delay-loaded, so that the kit
// loads where they are absent (Nano Server has neither). Where one cannot be
// loaded or lacks a function, the helper would raise an exception and the
// kit die; instead the call fails the way the function itself fails -- 0
// (FALSE, NULL, no thread id) with the loader's error as the last error
// (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND) -- and `context` prints that
// error where it reads the station, the session's user and the shell.
#include <windows.h>
#include <delayimp.h>

namespace {

DWORD unavailable_error;
extern "C" IMAGE_DOS_HEADER __ImageBase;  // the kit's own module handle

// Takes the place of every function that could not be had: each of them
// returns a BOOL, a handle or a thread id (WTSFreeMemory nothing), and the
// x64 caller cleans up its own arguments.
INT_PTR WINAPI unavailable_import() {
  SetLastError(unavailable_error);
  return 0;
}

FARPROC WINAPI delay_load_failed(unsigned notification, PDelayLoadInfo info) {
  // The kit exports nothing: handed over for a DLL that could not be loaded,
  // it makes the lookup of each function fail next, here.
  HMODULE no_exports = reinterpret_cast<HMODULE>(&__ImageBase);
  switch (notification) {
    case dliFailLoadLib:
      unavailable_error = info->dwLastError;
      return reinterpret_cast<FARPROC>(no_exports);
    case dliFailGetProc:
      if (info->hmodCur != no_exports) unavailable_error = info->dwLastError;
      return reinterpret_cast<FARPROC>(unavailable_import);
  }
  return nullptr;
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliFailureHook2 = delay_load_failed;
}
