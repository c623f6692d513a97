// Test helper, independent of the product's text handling: writes the
// system's message text as raw UTF-16LE on stdout, for the end-to-end cases
// to convert with iconv into the bytes the tool must print.
//   system_text CODE   the text for the error code CODE
//   system_text        the text for the error a refused ExitWindowsEx(EWX_REBOOT) leaves
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  DWORD code;
  if (argc > 1) {
    code = strtoul(argv[1], nullptr, 0);
  } else {
    if (ExitWindowsEx(EWX_REBOOT, 0)) return 2;  // only for a prefix that refuses
    code = GetLastError();
  }
  WCHAR text[1024];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 1024, nullptr);
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length * sizeof(WCHAR), &written, nullptr);
  return length == 0;
}
