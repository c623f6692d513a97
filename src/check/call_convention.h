// What stopping a call at a function's first instruction rests on, for the
// machine the kit is built for -- the only part of the interception that
// differs between x64 and ARM64:
//   the breakpoint instruction written there, and its alignment;
//   where the exception leaves the program counter;
//   where a function finds its first five arguments at its entry;
//   how it returns a value to its caller;
//   where a thread's last error lives in its TEB.
// Both are 64-bit Windows: the TEB's layout is the same on both.
#pragma once

#include <windows.h>

struct call_convention {
  WORD machine;          // IMAGE_FILE_MACHINE_* of the kit, the tool and the system DLLs
  const char* name;      // as the kit names the machine in its messages
  BYTE breakpoint[4];    // the first `breakpoint_size` bytes are written
  int breakpoint_size;
  int alignment;         // a function entry is aligned to it
  DWORD64 teb_last_error;  // LastErrorValue, after ProcessEnvironmentBlock at 0x60
};

#if defined(__aarch64__)
// ARM64: BRK #0xF000 (0xD43E0000), the debugger's breakpoint, stored little
// endian; instructions are four bytes, four-byte aligned. The exception
// leaves Pc at the BRK itself.
constexpr call_convention native_convention = {IMAGE_FILE_MACHINE_ARM64, "ARM64", {0x00, 0x00, 0x3E, 0xD4}, 4, 4, 0x68};

// The first five arguments: X0-X4 (X0-X7 hold the first eight).
template <class Read>
bool entry_arguments(const CONTEXT& context, DWORD64 (&argument)[5], Read) {
  for (int i = 0; i < 5; ++i) argument[i] = context.X[i];
  return true;
}

// Returns from the function at whose entry the thread is held: X0 = `value`,
// Pc = Lr; a function's entry has not touched the stack.
template <class Read>
bool return_from_entry(CONTEXT& context, DWORD64 value, Read) {
  context.X0 = value;
  context.Pc = context.Lr;
  return true;
}

// A breakpoint not the kit's own (the loader's BRK in DbgBreakPoint): run on
// after it. Pc is left at the BRK, which would stop the thread again.
inline void step_past_breakpoint(CONTEXT& context, DWORD64 address) {
  if (context.Pc == address) context.Pc += 4;
}
inline DWORD64 program_counter(const CONTEXT& context) { return context.Pc; }
#else
// x64: int3 (0xCC), one byte, anywhere. The exception reports the int3's
// address.
constexpr call_convention native_convention = {IMAGE_FILE_MACHINE_AMD64, "x64", {0xCC}, 1, 1, 0x68};

// The first four arguments in RCX, RDX, R8, R9; the fifth on the stack above
// the return address and the callee's 32-byte home space: [RSP+0x28].
template <class Read>
bool entry_arguments(const CONTEXT& context, DWORD64 (&argument)[5], Read read) {
  argument[0] = context.Rcx;
  argument[1] = context.Rdx;
  argument[2] = context.R8;
  argument[3] = context.R9;
  return read(context.Rsp + 0x28, &argument[4], sizeof argument[4]);
}

// Returns from the function at whose entry the thread is held: RAX =
// `value`, RIP = the return address at [RSP], which is popped.
template <class Read>
bool return_from_entry(CONTEXT& context, DWORD64 value, Read read) {
  DWORD64 return_address;
  if (!read(context.Rsp, &return_address, sizeof return_address)) return false;
  context.Rax = value;
  context.Rip = return_address;
  context.Rsp += 8;
  return true;
}

// The loader's int3 in DbgBreakPoint runs on as it is continued.
inline void step_past_breakpoint(CONTEXT&, DWORD64) {}
inline DWORD64 program_counter(const CONTEXT& context) { return context.Rip; }
#endif
