// The native process's start-up, for the whole program over the stand-in:
// wmain gets its arguments in UTF-16, converted from the UTF-8 argv, as the
// Windows runtime hands them over from the UTF-16 command line.
#include <string>
#include <vector>

#include "platform/stand_in/stand_in_control.h"

extern "C" int wmain(int argc, WCHAR** argv);

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(stand_in::utf16_from_utf8(argv[i]));
  std::vector<WCHAR*> wide_argv;
  for (std::u16string& argument : arguments) wide_argv.push_back(argument.data());
  wide_argv.push_back(nullptr);
  return wmain(argc, wide_argv.data());
}
