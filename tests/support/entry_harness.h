// Runs the program's entry in-process, the way the start-up would: arguments
// in, the bytes it printed and its exit status out. The entry is built with
// `main` renamed to `endsession_main`, and the test executable is linked with
// --wrap=exit so that a refusal's exit(1) comes back here instead of ending
// the test process. Output is captured by pointing stdout at a memory stream.
#pragma once

#include <initializer_list>
#include <string>

struct entry_result {
  int status;
  std::string output;
};

// argv[0] is the program name; argc may be 0 and argv may hold a NULL name.
entry_result run_entry(int argc, char** argv);
entry_result run_entry(std::initializer_list<const char*> arguments);
