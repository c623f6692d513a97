// The tool's fixed texts, written out here independently of the product code
// so that a changed byte in either place fails a test. Native stdout has no
// text mode: "\n" stays "\n" here (under Wine it arrives as CRLF).
#pragma once

#include <string>

inline std::string usage_text(const std::string& program_name) {
  return "Usage " + program_name +
         ": [/f] [ /r | /s | /p | /l ]\n\t/r reboot\n\t/s shutdown\n\t/p poweroff\n\t/l logoff\n"
         "\t/f force one of the above operations\n";
}

inline const char* const missing_argument_message = "must supply an arguement\n";
inline const char* const invalid_argument_message = "invalid arguement\n";
inline const char* const need_operation_message = "need operation\n";
