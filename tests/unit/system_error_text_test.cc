// The system's text for an error code: the exact lookup made, and what comes
// back for texts with inserts, texts too long for the buffer, unknown codes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "platform/stand_in/stand_in_control.h"
#include "session/system_error_text.h"

namespace {

using stand_in::call_kind;

class SystemErrorText : public ::testing::Test {
 protected:
  void SetUp() override { stand_in::reset(); }
};

TEST_F(SystemErrorText, AsksTheSystemForItsTextInTheUsersLanguageWithoutInserts) {
  EXPECT_STREQ(system_error_text(ERROR_ACCESS_DENIED), "Access is denied.\r\n");
  const stand_in::call* lookup = stand_in::first_of(call_kind::format_message);
  ASSERT_NE(lookup, nullptr);
  EXPECT_EQ(lookup->format_flags, 0x1200u);
  EXPECT_TRUE(lookup->source_is_null);
  EXPECT_EQ(lookup->message_id, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(lookup->language_id, 0x400u);
  EXPECT_EQ(lookup->size, 256u);
  EXPECT_TRUE(lookup->arguments_is_null);
}

TEST_F(SystemErrorText, TextWithInsertsComesBackAsTheSystemWroteIt) {
  const char* text = "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1.\r\n";
  stand_in::set_message(34, text);
  EXPECT_STREQ(system_error_text(34), text);
}

TEST_F(SystemErrorText, TextLongerThanTheBufferGivesTheEmptyString) {
  std::string long_text(298, 'x');
  long_text += "\r\n";
  stand_in::set_message(4000, long_text.c_str());
  const char* text = system_error_text(4000);
  EXPECT_STREQ(text, "");
}

TEST_F(SystemErrorText, TextThatJustFitsIsKeptWhole) {
  std::string text(253, 'y');
  text += "\r\n";  // 255 bytes and the NUL
  stand_in::set_message(4001, text.c_str());
  EXPECT_EQ(std::string(system_error_text(4001)), text);
}

TEST_F(SystemErrorText, UnknownCodeGivesTheEmptyString) {
  EXPECT_STREQ(system_error_text(0xDEADu), "");
}

TEST_F(SystemErrorText, EachCallReusesTheBufferAndReplacesTheText) {
  const char* first = system_error_text(ERROR_NOT_ALL_ASSIGNED);
  std::string first_text = first;
  const char* second = system_error_text(ERROR_ACCESS_DENIED);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(second, "Access is denied.\r\n");
  EXPECT_NE(first_text, second);
  // A shorter text leaves nothing of the longer one behind, nor does a miss.
  EXPECT_EQ(memchr(second, 'N', 256), nullptr);
  EXPECT_STREQ(system_error_text(0xDEADu), "");
}

// The text reaches the console in the code page it decodes output in: the
// console's own, or the system's OEM one (850 here, not the ANSI 1252) when
// the process has none. What the code page lacks becomes its best fit
// (U+0100 as 'A') or '?'.
TEST_F(SystemErrorText, TextIsWrittenInTheConsolesCodePage) {
  const struct {
    UINT console;
    UINT oem;  // 0: the system cannot say
    const char* expected;
  } cases[] = {
      {stand_in::oem_850_code_page, stand_in::oem_850_code_page, "Acc\x8as refus\x82 \x85 A ?.\r\n"},
      {stand_in::latin1_code_page, stand_in::oem_850_code_page, "Acc\xe8s refus\xe9 \xe0 ? ?.\r\n"},
      {CP_UTF8, stand_in::oem_850_code_page, "Acc\xc3\xa8s refus\xc3\xa9 \xc3\xa0 \xc4\x80 \xe6\x97\xa5.\r\n"},
      {0, stand_in::oem_850_code_page, "Acc\x8as refus\x82 \x85 A ?.\r\n"},  // no console: OEM 850
      {0, 0, "Acc\xe8s refus\xe9 \xe0 A ?.\r\n"},  // nor an OEM code page: ANSI 1252
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    stand_in::reset();
    stand_in::current_script().console_output_code_page = c.console;
    stand_in::current_script().oem_code_page = c.oem;
    // U+0100 and U+65E5 last.
    stand_in::set_message(5, "Acc\xc3\xa8s refus\xc3\xa9 \xc3\xa0 \xc4\x80 \xe6\x97\xa5.\r\n");
    EXPECT_STREQ(system_error_text(5), c.expected);
  }
}

// 85 three-byte characters and the NUL fill the 256 bytes; one more does
// not fit, and no half of it is kept.
TEST_F(SystemErrorText, ConvertedTextThatDoesNotFitGivesTheEmptyString) {
  stand_in::current_script().console_output_code_page = CP_UTF8;
  std::string fits;
  for (int i = 0; i < 85; ++i) fits += "\xe6\x97\xa5";
  stand_in::set_message(4002, fits.c_str());
  EXPECT_EQ(std::string(system_error_text(4002)), fits);
  stand_in::set_message(4003, (fits + "\xe6\x97\xa5").c_str());
  EXPECT_STREQ(system_error_text(4003), "");
}

}  // namespace
