// Runs the program's entry in-process, the way the start-up would: arguments
// in (UTF-8, handed over as UTF-16; malformed bytes become U+FFFD), the bytes
// it printed and its exit status out. The entry is built with `wmain`
// renamed to `endsession_main`, and the test executable is linked with
// --wrap=exit so that a refusal's exit(1) comes back here instead of ending
// the test process. Output is captured by pointing stdout at a memory stream.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

struct entry_result {
  int status;
  std::string output;
};

// argv[0] is the program name; argc may be 0 and argv may hold a NULL name.
entry_result run_entry(int argc, char** argv);
// The vector's first element is the program name; argc is its size.
entry_result run_entry(const std::vector<const char*>& arguments);
entry_result run_entry(std::initializer_list<const char*> arguments);
