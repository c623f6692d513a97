// Windows build only. The C runtime's default math-error handler prints a
// report on stderr; the tool does no floating-point math and must never
// write to stderr, and that handler's texts alone cost the executable a
// whole 512-byte file block. Ours keeps the default outcome (0: the error is
// reported through errno) without the report.
#include <math.h>

extern "C" int __cdecl _matherr(struct _exception*) { return 0; }
