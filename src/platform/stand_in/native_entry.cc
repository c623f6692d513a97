// The native process's start-up, for the whole program over the stand-in:
// wmain gets its arguments in UTF-16, converted from the UTF-8 argv, as the
// Windows runtime hands them over from the UTF-16 command line.
#include <string>
#include <vector>

#include "platform/win32.h"

extern "C" int wmain(int argc, WCHAR** argv);

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 0; i < argc; ++i) {
    std::u16string wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, nullptr, 0)), 0);
    MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, wide.data(), static_cast<int>(wide.size()));
    arguments.push_back(wide);
  }
  std::vector<WCHAR*> wide_argv;
  for (std::u16string& argument : arguments) wide_argv.push_back(argument.data());
  wide_argv.push_back(nullptr);
  return wmain(argc, wide_argv.data());
}
