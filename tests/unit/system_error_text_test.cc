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

}  // namespace
