#include "entry_harness.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "platform/stand_in/stand_in_control.h"

extern "C" int endsession_main(int argc, WCHAR** argv);

extern "C" [[noreturn]] void __real_exit(int status);

namespace {
jmp_buf* exit_target = nullptr;
int exit_status = 0;
}  // namespace

extern "C" [[noreturn]] void __wrap_exit(int status) {
  if (exit_target != nullptr) {
    exit_status = status;
    longjmp(*exit_target, 1);
  }
  __real_exit(status);
}

entry_result run_entry(int argc, char** argv) {
  // The arguments in UTF-16, as the Windows runtime hands them to wmain;
  // a NULL stays NULL.
  std::vector<std::u16string> wide(static_cast<size_t>(argc));
  std::vector<WCHAR*> wide_argv;
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) {
      wide_argv.push_back(nullptr);
      continue;
    }
    wide[i] = stand_in::utf16_from_utf8(argv[i]);
    wide_argv.push_back(wide[i].data());
  }
  wide_argv.push_back(nullptr);

  char* data = nullptr;
  size_t size = 0;
  FILE* capture = open_memstream(&data, &size);
  FILE* saved = stdout;
  stdout = capture;

  jmp_buf target;
  exit_target = &target;
  int status;
  if (setjmp(target) == 0) {
    status = endsession_main(argc, wide_argv.data());
  } else {
    status = exit_status;
  }
  exit_target = nullptr;

  stdout = saved;
  fclose(capture);
  entry_result result{status, std::string(data, size)};
  free(data);
  return result;
}

entry_result run_entry(const std::vector<const char*>& arguments) {
  std::vector<char*> argv;
  for (const char* argument : arguments) argv.push_back(const_cast<char*>(argument));
  argv.push_back(nullptr);
  return run_entry(static_cast<int>(arguments.size()), argv.data());
}

entry_result run_entry(std::initializer_list<const char*> arguments) {
  return run_entry(std::vector<const char*>(arguments));
}
