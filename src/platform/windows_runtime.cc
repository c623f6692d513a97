// Windows build only: what the C runtime and the delay-load helper would
// otherwise decide for the tool.
#include <windows.h>
#include <delayimp.h>
#include <math.h>

// Arguments are never expanded as wildcards, whatever the mingw-w64 runtime
// was configured with: "/?" run in a folder holding a file "l" must not
// become "/l" and log the user off.
extern "C" {
int _dowildcard = 0;
}

// The runtime's default math-error handler prints a report on stderr; the
// tool does no floating-point math and must never write to stderr, and that
// handler's texts alone cost the executable a whole 512-byte file block. Ours
// keeps the default outcome (0: the error is reported through errno) without
// the report.
extern "C" int __cdecl _matherr(struct _exception*) { return 0; }

// ADVAPI32 and USER32 are delay-loaded. Where one cannot be loaded (minimal
// images such as Nano Server have no USER32) or lacks a function, the helper
// would raise an exception and the process die. Instead the call fails the
// way the function itself fails -- FALSE or NULL with the loader's error as
// the last error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND), or, for
// InitiateShutdownW, that error as its answer -- and the tool reports the
// step as it reports any refusal.
namespace {

DWORD unavailable_import_error;
extern "C" IMAGE_DOS_HEADER __ImageBase;  // the executable's own module handle

// Takes the place of every function that could not be had. Each of them
// returns a BOOL or a handle (0 is FALSE or NULL), and the x64 caller cleans
// up its own arguments.
INT_PTR WINAPI unavailable_import() {
  SetLastError(unavailable_import_error);
  return FALSE;
}

// InitiateShutdownW answers with an error code (a DWORD: the low half of
// the result), where 0 would be a success.
INT_PTR WINAPI unavailable_error_code() { return unavailable_import_error; }

// Known by its import slot, whatever name the DLL was asked for.
extern "C" FARPROC __imp_InitiateShutdownW;
bool answers_with_error_code(const DelayLoadInfo& info) { return info.ppfn == &__imp_InitiateShutdownW; }

FARPROC WINAPI delay_load_failed(unsigned notification, PDelayLoadInfo info) {
  // The executable itself exports nothing: handed over for a DLL that could
  // not be loaded, it makes the lookup of each function fail next, here.
  HMODULE no_exports = reinterpret_cast<HMODULE>(&__ImageBase);
  switch (notification) {
    case dliFailLoadLib:
      unavailable_import_error = info->dwLastError;
      return reinterpret_cast<FARPROC>(no_exports);
    case dliFailGetProc:
      if (info->hmodCur != no_exports) unavailable_import_error = info->dwLastError;
      return answers_with_error_code(*info) ? unavailable_error_code : unavailable_import;
  }
  return nullptr;
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliFailureHook2 = delay_load_failed;
}
