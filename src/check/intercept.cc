#include "intercept.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "call_convention.h"
#include "child_process.h"
#include "format_text.h"
#include "job_state.h"
#include "test_faults.h"
#include "token_privilege.h"

namespace {

constexpr DWORD run_timeout_ms = 30000;
constexpr DWORD short_timeout_ms = 3000;  // the test-only fault "short-timeout"
constexpr const call_convention& native = native_convention;
// The system DLLs of Windows 11 on ARM64 are ARM64X: native ARM64 code, read
// as ARM64, with code for x64 emulation beside it.
constexpr WORD machine_arm64x = 0xA64E;

enum class target { exit_windows_ex, initiate_shutdown, adjust_token_privileges };
struct watched_function {
  const char* module;  // the DLL whose arrival plants it
  const char* name;
  target kind;
};
const watched_function watched[] = {
    {"user32.dll", "ExitWindowsEx", target::exit_windows_ex},
    {"advapi32.dll", "InitiateShutdownW", target::initiate_shutdown},
    {"advapi32.dll", "AdjustTokenPrivileges", target::adjust_token_privileges},
};
constexpr int watched_count = sizeof watched / sizeof watched[0];

struct module_entry {
  DWORD64 base;
  char name[64];  // from its export directory, e.g. "USER32.dll"
};
struct thread_entry {
  DWORD id;
  HANDLE handle;
  DWORD64 teb;
  bool suspended;  // by the stop: it never runs again
};
struct breakpoint {
  DWORD64 address;  // 0: not planted
  DWORD64 module_base;
  BYTE original[4];
};

struct debuggee {
  HANDLE process = nullptr;
  DWORD process_id = 0;
  module_entry modules[128];
  int module_count = 0;
  thread_entry threads[64];
  int thread_count = 0;
  breakpoint breakpoints[watched_count] = {};
  bool loader_breakpoint_seen = false;
  bool caller_holds_privilege = false;
  bool failed = false;  // killed (or never run) for `result.reason`
  run_result result;
};

// Test builds only (test_faults.h): skip-plant writes no int3, clobber puts
// the original byte back after planting, few-modules makes room for two
// modules only, skip-kill lets the answered child run on, short-timeout
// gives it 3 s instead of 30, unanswered fails every answer without writing
// it, quota refuses every start with a token as a caller without
// SeIncreaseQuotaPrivilege is refused (1314), phantom-job takes the caller
// for one in a job without breakaway.
bool fault(const char* name) { return test_fault(name); }

bool read(const debuggee& d, DWORD64 address, void* out, size_t size) {
  SIZE_T got = 0;
  return ReadProcessMemory(d.process, reinterpret_cast<void*>(address), out, size, &got) && got == size;
}

// Writes an instruction's bytes (the breakpoint's, or the original ones
// back) whole, then flushes them from the child's instruction cache.
bool write_code(const debuggee& d, DWORD64 address, const BYTE* bytes) {
  DWORD old;
  SIZE_T size = native.breakpoint_size;
  void* at = reinterpret_cast<void*>(address);
  if (!VirtualProtectEx(d.process, at, size, PAGE_EXECUTE_READWRITE, &old)) return false;
  SIZE_T written = 0;
  bool ok = WriteProcessMemory(d.process, at, bytes, size, &written) && written == size;
  VirtualProtectEx(d.process, at, size, old, &old);
  FlushInstructionCache(d.process, at, size);
  return ok;
}

// Whether the kit's breakpoint is whole at `address`.
bool breakpoint_at(const debuggee& d, DWORD64 address) {
  BYTE bytes[4] = {};
  return read(d, address, bytes, native.breakpoint_size) && memcmp(bytes, native.breakpoint, native.breakpoint_size) == 0;
}

bool machine_accepted(WORD machine) {
  return machine == native.machine || (native.machine == IMAGE_FILE_MACHINE_ARM64 && machine == machine_arm64x);
}

// The first failure counts; an interception already made stands.
void fail(debuggee& d, run_outcome outcome, const char* reason) {
  if (d.failed || d.result.outcome == run_outcome::intercepted) return;
  d.failed = true;
  d.result.outcome = outcome;
  copy_text(d.result.reason, sizeof d.result.reason, reason);
}

// A module's name without ".dll": a forwarder names "KERNELBASE", the
// export directory "KERNELBASE.dll".
size_t stem_length(const char* name) {
  const char* dot = strrchr(name, '.');
  return dot != nullptr && _stricmp(dot, ".dll") == 0 ? static_cast<size_t>(dot - name) : strlen(name);
}

bool same_module_name(const char* a, const char* b) {
  size_t length = stem_length(a);
  return length == stem_length(b) && _strnicmp(a, b, length) == 0;
}

const module_entry* module_named(const debuggee& d, const char* name) {
  for (int i = 0; i < d.module_count; ++i)
    if (same_module_name(name, d.modules[i].name)) return &d.modules[i];
  return nullptr;
}

struct export_directory {
  DWORD rva, size;
  IMAGE_EXPORT_DIRECTORY table;
};

bool read_exports(const debuggee& d, DWORD64 base, export_directory* out) {
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS64 nt;
  if (!read(d, base, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      !read(d, base + dos.e_lfanew, &nt, sizeof nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
      !machine_accepted(nt.FileHeader.Machine))
    return false;
  const IMAGE_DATA_DIRECTORY& directory = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  out->rva = directory.VirtualAddress;
  out->size = directory.Size;
  return directory.Size != 0 && read(d, base + directory.VirtualAddress, &out->table, sizeof out->table);
}

bool read_string(const debuggee& d, DWORD64 address, char* out, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (!read(d, address + i, &out[i], 1)) return false;
    if (out[i] == '\0') return true;
  }
  out[size - 1] = '\0';
  return false;
}

// The address of `name` in the child's module at `base`, by its export table
// (binary search of the sorted names), following forwarders into modules
// the child has loaded; 0 when it cannot be found.
DWORD64 resolve(const debuggee& d, DWORD64 base, const char* name, int depth) {
  export_directory exports;
  if (depth > 4 || !read_exports(d, base, &exports)) return 0;
  const IMAGE_EXPORT_DIRECTORY& table = exports.table;
  DWORD low = 0, high = table.NumberOfNames;
  while (low < high) {
    DWORD middle = low + (high - low) / 2;
    DWORD name_rva;
    char candidate[128];
    if (!read(d, base + table.AddressOfNames + 4ull * middle, &name_rva, 4) ||
        !read_string(d, base + name_rva, candidate, sizeof candidate))
      return 0;
    int order = strcmp(name, candidate);
    if (order == 0) {
      WORD ordinal;
      DWORD function_rva;
      if (!read(d, base + table.AddressOfNameOrdinals + 2ull * middle, &ordinal, 2) ||
          !read(d, base + table.AddressOfFunctions + 4ull * ordinal, &function_rva, 4))
        return 0;
      if (function_rva < exports.rva || function_rva >= exports.rva + exports.size) return base + function_rva;
      // A forwarder: "MODULE.Function".
      char forwarder[160];
      if (!read_string(d, base + function_rva, forwarder, sizeof forwarder)) return 0;
      char* dot = strrchr(forwarder, '.');
      if (dot == nullptr || dot[1] == '#') return 0;
      *dot = '\0';
      const module_entry* next = module_named(d, forwarder);
      if (next != nullptr) return resolve(d, next->base, dot + 1, depth + 1);
      return 0;  // an API set or a module not loaded: the caller may fall back
    }
    if (order < 0) high = middle;
    else low = middle + 1;
  }
  return 0;
}

// The kit's own GetProcAddress, trusted only when the kit and the child have
// both modules -- the exporting one and the one the address lies in -- at the
// same bases (system DLLs share their base across processes of one boot).
DWORD64 own_get_proc_address(const debuggee& d, const char* module, const char* name) {
  const module_entry* child_module = module_named(d, module);
  wchar_t wide[64];
  MultiByteToWideChar(CP_ACP, 0, module, -1, wide, 64);
  HMODULE own = GetModuleHandleW(wide);
  if (child_module == nullptr || own == nullptr || reinterpret_cast<DWORD64>(own) != child_module->base) return 0;
  FARPROC function = GetProcAddress(own, name);
  HMODULE holder;
  if (function == nullptr ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(function), &holder))
    return 0;
  for (int i = 0; i < d.module_count; ++i)
    if (d.modules[i].base == reinterpret_cast<DWORD64>(holder)) return reinterpret_cast<DWORD64>(function);
  return 0;
}

void plant(debuggee& d, const module_entry& module) {
  for (int i = 0; i < watched_count; ++i) {
    if (!same_module_name(watched[i].module, module.name) || d.breakpoints[i].address != 0) continue;
    DWORD64 address = resolve(d, module.base, watched[i].name, 0);
    if (address == 0) address = own_get_proc_address(d, module.name, watched[i].name);
    char reason[160];
    if (address == 0) {
      format_text(reason, sizeof reason, "%s could not be resolved in %s", watched[i].name, module.name);
      return fail(d, run_outcome::cannot_run, reason);
    }
    breakpoint& bp = d.breakpoints[i];
    if (address % native.alignment != 0 || !read(d, address, bp.original, native.breakpoint_size) ||
        (!fault("skip-plant") && !write_code(d, address, native.breakpoint)) || !breakpoint_at(d, address)) {
      format_text(reason, sizeof reason, "the breakpoint on %s did not hold", watched[i].name);
      return fail(d, run_outcome::cannot_run, reason);
    }
    bp.address = address;
    for (int m = 0; m < d.module_count; ++m)  // the module it lies in: the nearest base below
      if (d.modules[m].base <= address && d.modules[m].base > bp.module_base) bp.module_base = d.modules[m].base;
    if (fault("clobber")) write_code(d, address, bp.original);
  }
}

// Every planted breakpoint still whole: checked before the child runs on.
bool breakpoints_intact(debuggee& d) {
  for (const breakpoint& bp : d.breakpoints)
    if (bp.address != 0 && !breakpoint_at(d, bp.address)) return false;
  return true;
}

thread_entry* thread_of(debuggee& d, DWORD id) {
  for (int i = 0; i < d.thread_count; ++i)
    if (d.threads[i].id == id) return &d.threads[i];
  return nullptr;
}

// Returns from the function whose first instruction the thread is held at
// with `value`, the thread's last error `*error` when given.
bool answer(debuggee& d, const thread_entry& thread, CONTEXT& context, DWORD64 value, const DWORD* error) {
  if (fault("unanswered")) return false;
  SIZE_T written = 0;
  auto reader = [&d](DWORD64 address, void* out, size_t size) { return read(d, address, out, size); };
  if (!return_from_entry(context, value, reader) ||
      (error != nullptr &&
       !WriteProcessMemory(d.process, reinterpret_cast<void*>(thread.teb + native.teb_last_error), error,
                           sizeof *error, &written)))
    return false;
  return SetThreadContext(thread.handle, &context) != 0;
}

// A stopped call that could not be answered: its thread would run on inside
// the call. The stop below holds it; the reason replaces any recorded.
void unanswered(debuggee& d, const char* function) {
  d.failed = true;  // whatever was recorded before
  d.result.outcome = run_outcome::not_intercepted;
  format_text(d.result.reason, sizeof d.result.reason, "the stopped call could not be answered (%s)", function);
}

// The one way the child is stopped, on every path: every thread the kit
// holds is suspended, then the kill is asked, and only then is the pending
// event continued. While an event is pending the system holds the child's
// threads, but TerminateProcess "is asynchronous; it initiates termination
// and returns immediately": continued before the kill lands, a thread could
// run on -- where a breakpoint is gone, into the session-end call. Called
// again before each later event is continued, it holds a thread reported
// after it too. The end is confirmed as it comes: the kill taken (or the
// process already ended), then the exit event, then the process handle
// (run_intercepted).
void stop(debuggee& d) {
  for (int i = 0; i < d.thread_count; ++i)
    if (!d.threads[i].suspended) d.threads[i].suspended = SuspendThread(d.threads[i].handle) != static_cast<DWORD>(-1);
  if (!TerminateProcess(d.process, 1) && WaitForSingleObject(d.process, 0) != WAIT_OBJECT_0) {
    d.failed = true;
    d.result.outcome = run_outcome::not_intercepted;
    format_text(d.result.reason, sizeof d.result.reason, "endsession could not be ended (error %lu)", GetLastError());
  }
}

// The stopped thread, its registers (`flags`) read into `context`; the
// child is stopped where either cannot be had.
thread_entry* stopped_thread(debuggee& d, DWORD thread_id, DWORD flags, CONTEXT& context) {
  thread_entry* thread = thread_of(d, thread_id);
  context.ContextFlags = flags;
  if (thread == nullptr || !GetThreadContext(thread->handle, &context)) {
    fail(d, run_outcome::not_intercepted, "the stopped thread could not be read");
    return nullptr;
  }
  return thread;
}

// At the entry of a watched function, where the calling convention places
// the arguments (call_convention.h).
void hit(debuggee& d, int index, DWORD thread_id) {
  CONTEXT context{};
  thread_entry* thread = stopped_thread(d, thread_id, CONTEXT_FULL, context);
  if (thread == nullptr) return;
  if (watched[index].kind == target::adjust_token_privileges) {
    // Answered here, never run, as the system would answer the caller:
    // TRUE, and last error 0 or ERROR_NOT_ALL_ASSIGNED.
    DWORD error = d.caller_holds_privilege ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
    if (!answer(d, *thread, context, TRUE, &error)) return unanswered(d, "AdjustTokenPrivileges");
    d.result.privilege_requested = true;
    d.result.privilege_granted = d.caller_holds_privilege;
    return;
  }
  session_call& call = d.result.call;
  call.function = watched[index].kind == target::exit_windows_ex ? session_function::exit_windows_ex
                                                                  : session_function::initiate_shutdown;
  auto reader = [&d](DWORD64 address, void* out, size_t size) { return read(d, address, out, size); };
  if (!entry_arguments(context, call.argument, reader))
    return fail(d, run_outcome::not_intercepted, "the stack could not be read");
  // Refused before the kill, which is asynchronous: should the child ever
  // run on, the call has failed and nothing ends. The codes are the kit's.
  DWORD denied = ERROR_ACCESS_DENIED;
  bool answered = call.function == session_function::exit_windows_ex
                      ? answer(d, *thread, context, FALSE, &denied)
                      : answer(d, *thread, context, ERROR_ACCESS_DENIED, nullptr);
  if (!answered) return unanswered(d, watched[index].name);
  d.result.outcome = run_outcome::intercepted;
}

// Where the breakpoint leaves the program counter at itself, moves it past.
void run_on_after(debuggee& d, DWORD thread_id, DWORD64 address) {
  CONTEXT context{};
  thread_entry* thread = stopped_thread(d, thread_id, CONTEXT_CONTROL, context);
  if (thread == nullptr || program_counter(context) != address) return;
  step_past_breakpoint(context, address);
  if (program_counter(context) != address && !SetThreadContext(thread->handle, &context))
    fail(d, run_outcome::not_intercepted, "the stopped thread could not be moved on");
}

void on_exception(debuggee& d, const DEBUG_EVENT& event) {
  const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
  if (!event.u.Exception.dwFirstChance) return fail(d, run_outcome::not_intercepted, "a second-chance exception");
  if (record.ExceptionCode == EXCEPTION_BREAKPOINT) {
    DWORD64 address = reinterpret_cast<DWORD64>(record.ExceptionAddress);
    for (int i = 0; i < watched_count; ++i)
      if (d.breakpoints[i].address == address) return hit(d, i, event.dwThreadId);
    // The loader's own breakpoint, once, at start-up.
    if (!d.loader_breakpoint_seen) {
      d.loader_breakpoint_seen = true;
      return run_on_after(d, event.dwThreadId, address);
    }
    return fail(d, run_outcome::not_intercepted, "a breakpoint the kit did not plant");
  }
  if (record.ExceptionCode == EXCEPTION_SINGLE_STEP || record.ExceptionCode == 0x4000001F /* WOW64 */)
    return fail(d, run_outcome::not_intercepted, "a single step or breakpoint the kit did not plant");
}

void add_module(debuggee& d, DWORD64 base) {
  // A module not recorded could be the one a watched function lives in:
  // never let the child run on without it.
  int room = fault("few-modules") ? 2 : static_cast<int>(sizeof d.modules / sizeof d.modules[0]);
  if (d.module_count == room) return fail(d, run_outcome::cannot_run, "too many modules in endsession");
  module_entry& module = d.modules[d.module_count];
  export_directory exports;
  module.base = base;
  module.name[0] = '\0';
  if (read_exports(d, base, &exports)) read_string(d, base + exports.table.Name, module.name, sizeof module.name);
  ++d.module_count;
  plant(d, module);
}

// Handles one event; the child has been killed when the result says so.
// Returns the status ContinueDebugEvent passes on.
DWORD on_event(debuggee& d, const DEBUG_EVENT& event) {
  switch (event.dwDebugEventCode) {
    case CREATE_PROCESS_DEBUG_EVENT: {
      const CREATE_PROCESS_DEBUG_INFO& info = event.u.CreateProcessInfo;
      if (info.hFile != nullptr) CloseHandle(info.hFile);
      if (event.dwProcessId != d.process_id) {
        SuspendThread(info.hThread);  // held, as the child's own threads are
        TerminateProcess(info.hProcess, 1);
        fail(d, run_outcome::not_intercepted, "endsession started a process of its own");
        break;
      }
      DebugSetProcessKillOnExit(TRUE);  // should the kit die, so does the child
      d.threads[d.thread_count++] = {event.dwThreadId, info.hThread, reinterpret_cast<DWORD64>(info.lpThreadLocalBase),
                                     false};
      IMAGE_DOS_HEADER dos;
      IMAGE_NT_HEADERS64 nt;
      DWORD64 image = reinterpret_cast<DWORD64>(info.lpBaseOfImage);
      if (!read(d, image, &dos, sizeof dos) || !read(d, image + dos.e_lfanew, &nt, sizeof nt) ||
          nt.FileHeader.Machine != native.machine) {
        char reason[64];
        format_text(reason, sizeof reason, "the tool is not an %s program", native.name);
        fail(d, run_outcome::cannot_run, reason);
      }
      break;
    }
    case CREATE_THREAD_DEBUG_EVENT:
      if (d.thread_count == 64) {
        SuspendThread(event.u.CreateThread.hThread);  // one the stop could not hold: held here
        fail(d, run_outcome::not_intercepted, "too many threads");
        break;
      }
      d.threads[d.thread_count++] = {event.dwThreadId, event.u.CreateThread.hThread,
                                     reinterpret_cast<DWORD64>(event.u.CreateThread.lpThreadLocalBase), false};
      break;
    case EXIT_THREAD_DEBUG_EVENT:
      for (int i = 0; i < d.thread_count; ++i)
        if (d.threads[i].id == event.dwThreadId) d.threads[i] = d.threads[--d.thread_count];
      break;
    case LOAD_DLL_DEBUG_EVENT:
      if (event.u.LoadDll.hFile != nullptr) CloseHandle(event.u.LoadDll.hFile);
      add_module(d, reinterpret_cast<DWORD64>(event.u.LoadDll.lpBaseOfDll));
      break;
    case UNLOAD_DLL_DEBUG_EVENT: {
      DWORD64 base = reinterpret_cast<DWORD64>(event.u.UnloadDll.lpBaseOfDll);
      for (int i = 0; i < watched_count; ++i) {
        const module_entry* module = module_named(d, watched[i].module);
        if ((module != nullptr && module->base == base) || (d.breakpoints[i].address != 0 && d.breakpoints[i].module_base == base))
          fail(d, run_outcome::not_intercepted, "a watched DLL was unloaded");
      }
      break;
    }
    case EXCEPTION_DEBUG_EVENT: {
      on_exception(d, event);
      DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
      if (code != EXCEPTION_BREAKPOINT) return DBG_EXCEPTION_NOT_HANDLED;
      break;
    }
    case EXIT_PROCESS_DEBUG_EVENT:
      if (event.dwProcessId == d.process_id) {
        d.result.exit_code = event.u.ExitProcess.dwExitCode;
        if (!d.failed && d.result.outcome != run_outcome::intercepted) d.result.outcome = run_outcome::exited;
      }
      break;
    default: break;
  }
  return DBG_CONTINUE;
}

// Whether the kit is x64 code emulated on an ARM64 machine, where an int3 in
// emulated system code is no x64 breakpoint: the ARM64 kit checks there.
bool is_emulated_x64() {
  if (native.machine != IMAGE_FILE_MACHINE_AMD64) return false;
  // IsWow64Process2 (Windows 10 1709 and later) names the machine's own
  // architecture; earlier systems run x64 natively.
  typedef BOOL(WINAPI * is_wow64_process2)(HANDLE, USHORT*, USHORT*);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto query = reinterpret_cast<is_wow64_process2>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
  USHORT process_machine, native_machine;
  return query != nullptr && query(GetCurrentProcess(), &process_machine, &native_machine) &&
         native_machine == IMAGE_FILE_MACHINE_ARM64;
}

// A child created and never resumed, ended and its debug events taken off
// the queue, so that the next child is the only one the loop sees.
void discard(const PROCESS_INFORMATION& process) {
  TerminateProcess(process.hProcess, 1);
  DEBUG_EVENT event;
  while (WaitForDebugEvent(&event, 5000)) {
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile != nullptr)
      CloseHandle(event.u.CreateProcessInfo.hFile);
    if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile != nullptr)
      CloseHandle(event.u.LoadDll.hFile);
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && event.dwProcessId == process.dwProcessId) break;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace

bool asks_for_logoff(const wchar_t* const* arguments, int count) {
  for (int i = 0; i < count; ++i)
    if (arguments[i][0] == L'/' && (arguments[i][1] == L'l' || arguments[i][1] == L'L') && arguments[i][2] == 0)
      return true;
  return false;
}

run_result run_intercepted(const run_request& request) {
  debuggee d;
  char reason[160];
  if (is_emulated_x64()) {
    fail(d, run_outcome::cannot_run,
         "x64 code is emulated on this ARM64 machine: an int3 is no x64 breakpoint there; the ARM64 kit, "
         "endsession-" ENDSESSION_VERSION "-check-arm64.zip, checks here");
    return d.result;
  }
  child_start start;
  start.application = request.tool;
  start.command_line = request.command_line;
  start.desktop = request.desktop;
  start.output = request.output;
  d.caller_holds_privilege = token_holds_shutdown_privilege();
  job_state jobs = read_job_state(start_suspended_copy);
  if (fault("phantom-job")) jobs.kind = job_kind::no_breakaway;
  HANDLE job = barrier_job();
  if (job == nullptr || read_barrier_job(job) == barrier_reading::missing ||
      !token_without_shutdown_privilege(&start.token)) {
    format_text(reason, sizeof reason, "a barrier could not be set up (error %lu)", GetLastError());
    fail(d, run_outcome::cannot_run, reason);
    if (job != nullptr) CloseHandle(job);
    return d.result;
  }
  fflush(stdout);
  // The kit's own job where the child can leave the caller's; else the
  // caller's job, which must then forbid ExitWindowsEx itself for a log-off.
  bool own_job = jobs.kind != job_kind::no_breakaway;
  PROCESS_INFORMATION process;
  for (;;) {
    if (!own_job && request.logoff && !jobs.forbids_exit_windows) {
      fail(d, run_outcome::not_checkable,
           "the kit runs inside a job that allows no breakaway, and a log-off is checked only inside a job that "
           "forbids ExitWindowsEx: run the kit outside it, from a scheduled task (see the README)");
      CloseHandle(job);
      CloseHandle(start.token);
      return d.result;
    }
    bool breakaway = own_job && breakaway_flag(jobs) != 0;
    start.flags = DEBUG_PROCESS | CREATE_SUSPENDED | (own_job ? breakaway_flag(jobs) : 0);
    bool quota_refused = start.token != nullptr && fault("quota");
    if (quota_refused) SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    if (quota_refused || !start_child(start, &process)) {
      // CreateProcessAsUserW "typically" wants SeIncreaseQuotaPrivilege, which
      // a standard user lacks: the same barrier is the kit's own token without
      // SeShutdownPrivilege, which CreateProcessW hands the child a copy of.
      if (start.token != nullptr && GetLastError() == ERROR_PRIVILEGE_NOT_HELD) {
        if (!remove_shutdown_privilege()) {
          format_text(reason, sizeof reason, "a barrier could not be set up: the token (error %lu)", GetLastError());
          fail(d, run_outcome::cannot_run, reason);
          CloseHandle(job);
          CloseHandle(start.token);
          return d.result;
        }
        CloseHandle(start.token);
        start.token = nullptr;
        d.result.privilege_removed = true;
        continue;
      }
      if (breakaway) {  // the breakaway refused
        own_job = false;
        continue;
      }
      format_text(reason, sizeof reason, "endsession could not be started under the debugger (error %lu)", GetLastError());
      fail(d, run_outcome::cannot_run, reason);
      CloseHandle(job);
      CloseHandle(start.token);
      return d.result;
    }
    // A job further up may allow no breakaway: the child is in it still.
    if (own_job && !outside_every_job(process.hProcess)) {
      discard(process);
      own_job = false;
      continue;
    }
    break;
  }
  if (start.token != nullptr) CloseHandle(start.token);
  d.result.in_callers_job = !own_job;
  if (own_job && !AssignProcessToJobObject(job, process.hProcess)) {
    format_text(reason, sizeof reason, "a barrier could not be set up: the job (error %lu)", GetLastError());
    TerminateProcess(process.hProcess, 1);
    fail(d, run_outcome::cannot_run, reason);
  } else if (!own_job && !in_a_job(process.hProcess)) {
    // The caller's job was to hold it: without one, a log-off would run
    // unguarded, and the kit's picture of its jobs is wrong.
    TerminateProcess(process.hProcess, 1);
    fail(d, run_outcome::cannot_run, "endsession is in no job, though the caller's job was to hold it");
  } else {
    ResumeThread(process.hThread);
  }
  d.process = process.hProcess;
  d.process_id = process.dwProcessId;

  ULONGLONG deadline = GetTickCount64() + (fault("short-timeout") ? short_timeout_ms : run_timeout_ms);
  for (;;) {
    ULONGLONG now = GetTickCount64();
    DEBUG_EVENT event;
    if (now >= deadline || !WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) {
      fail(d, run_outcome::not_intercepted, "timed out");
      stop(d);
      break;  // nothing more comes: give up on the debug connection
    }
    DWORD status = on_event(d, event);
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && event.dwProcessId == d.process_id) {
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
      break;
    }
    bool stopping = d.result.outcome == run_outcome::intercepted || d.failed;
    if (!stopping && !breakpoints_intact(d)) {
      fail(d, run_outcome::not_intercepted, "a breakpoint was gone before the child ran on");
      stopping = true;
    }
    // Again on each later event until the exit comes: harmless.
    if (stopping && !(fault("skip-kill") && d.result.outcome == run_outcome::intercepted)) stop(d);
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  // endsession succeeds only when a session-end call was accepted: one that
  // ran unseen.
  if (d.result.outcome == run_outcome::exited && d.result.exit_code == 0)
    fail(d, run_outcome::not_intercepted, "endsession exited 0: a session-end call was not intercepted");
  if (WaitForSingleObject(d.process, 10000) != WAIT_OBJECT_0) {
    d.result.outcome = run_outcome::not_intercepted;
    copy_text(d.result.reason, sizeof d.result.reason, "endsession did not end after it was stopped");
  }
  CloseHandle(process.hThread);
  CloseHandle(d.process);
  CloseHandle(job);
  return d.result;
}
