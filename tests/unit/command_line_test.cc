// The argument grammar, driven through the real entry against the stand-in:
// which lines are accepted with which flags, and which are refused with which
// message, without any privilege or session call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/ascii_case.h"
#include "entry_harness.h"
#include "expected_texts.h"
#include "platform/stand_in/stand_in_control.h"

namespace {

using stand_in::call_kind;

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override { fresh_system(); }

  // Each check starts from a system that accepts, with an empty call record.
  static void fresh_system() {
    stand_in::reset();
    stand_in::current_script().exit_windows_ex = {TRUE, ERROR_SUCCESS};
  }

  // Runs the entry with `arguments` after the program name "endsession".
  static entry_result run(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "endsession");
    return run_entry(arguments);
  }

  static void expect_accepted(std::vector<const char*> arguments, UINT flags) {
    fresh_system();
    entry_result result = run(arguments);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    ASSERT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 1u);
    EXPECT_EQ(stand_in::first_of(call_kind::exit_windows_ex)->exit_flags, flags);
  }

  static void expect_refused(std::vector<const char*> arguments, const std::string& message) {
    fresh_system();
    entry_result result = run(arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, message + usage_text("endsession"));
    EXPECT_EQ(stand_in::call_count(), 0u) << "a refused line must make no system call";
  }
};

TEST_F(CommandLine, EachOperationGivesItsFlag) {
  const struct {
    const char* option;
    UINT flags;
  } cases[] = {{"/l", 0}, {"/s", 1}, {"/r", 2}, {"/p", 8}, {"/L", 0}, {"/S", 1}, {"/R", 2}, {"/P", 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    expect_accepted({c.option}, c.flags);
  }
}

TEST_F(CommandLine, ForceAddsFourWhereverAndHoweverOftenItStands) {
  expect_accepted({"/r", "/f"}, 6);
  expect_accepted({"/f", "/r"}, 6);
  expect_accepted({"/f", "/f", "/l"}, 4);
  expect_accepted({"/F", "/p", "/f", "/F"}, 12);
  expect_accepted({"/s", "/F"}, 5);
}

TEST_F(CommandLine, NoArgumentAsksForOne) { expect_refused({}, missing_argument_message); }

TEST_F(CommandLine, ForceAloneNeedsAnOperation) {
  expect_refused({"/f"}, need_operation_message);
  expect_refused({"/f", "/F"}, need_operation_message);
}

TEST_F(CommandLine, NearMissesAreInvalid) {
  for (const char* argument : {"-s", "/shutdown", "s", "/s:", "", "/s ", " /s", "/", "/x", "//s",
                               "/\xc5\xbf" /* U+017F long s */, "/\xef\xbd\x93" /* fullwidth s */,
                               "/S\xc5\xbf",
                               // Units whose low byte is an option's: U+0173, U+0153, U+012F.
                               "/\xc5\xb3", "/\xc5\x93", "\xc4\xafs"}) {
    SCOPED_TRACE(testing::Message() << '"' << argument << '"');
    expect_refused({argument}, invalid_argument_message);
  }
}

TEST_F(CommandLine, SecondOperationIsInvalidEvenIfTheSame) {
  expect_refused({"/s", "/s"}, invalid_argument_message);
  expect_refused({"/s", "/r"}, invalid_argument_message);
  expect_refused({"/l", "/f", "/L"}, invalid_argument_message);
}

TEST_F(CommandLine, FirstUnknownArgumentStopsThePassWhereverItStands) {
  expect_refused({"/x", "/s"}, invalid_argument_message);
  expect_refused({"/s", "/x"}, invalid_argument_message);
  // An unknown argument before a second operation: still one message, once.
  expect_refused({"/s", "/x", "/s"}, invalid_argument_message);
}

TEST_F(CommandLine, UsageNamesTheProgramAsTheStartUpGaveIt) {
  const char* argv[] = {"Z:\\tools\\end session.exe", "/q", nullptr};
  entry_result result = run_entry(2, const_cast<char**>(argv));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, invalid_argument_message + usage_text("Z:\\tools\\end session.exe"));
}

TEST_F(CommandLine, MissingProgramNameShowsAnEmptyOne) {
  char* no_arguments[] = {nullptr};
  entry_result result = run_entry(0, no_arguments);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, missing_argument_message + usage_text(""));

  char* null_name[] = {nullptr, const_cast<char*>("/x"), nullptr};
  result = run_entry(2, null_name);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, invalid_argument_message + usage_text(""));
  EXPECT_EQ(stand_in::call_count(), 0u);
}

TEST_F(CommandLine, ProgramNameIsPrintedVerbatimEvenWithPercentSigns) {
  entry_result result = run_entry({"%s%n%x.exe"});
  EXPECT_EQ(result.output, missing_argument_message + usage_text("%s%n%x.exe"));
}

TEST_F(CommandLine, LongLinesAreAnsweredLikeShortOnes) {
  std::string long_argument = "/" + std::string(30000, 's');
  expect_refused({long_argument.c_str()}, invalid_argument_message);

  std::vector<const char*> forces(10000, "/f");
  forces.push_back("/P");
  expect_accepted(forces, 12);

  std::vector<const char*> only_forces(10000, "/F");
  expect_refused(only_forces, need_operation_message);
}

TEST_F(CommandLine, NonAsciiBytesAroundAnOptionAreInvalid) {
  for (const char* argument : {"/s\xff", "\xff/s", "/\x80", "/r\xc2\xa0", "\xef\xbc\x8fs"}) {
    expect_refused({argument}, invalid_argument_message);
  }
}

// The program name is the system's text, not the tool's: it reaches the
// console in the console's code page (without one, the OEM code page, 850
// here, not the ANSI 1252), converted straight from UTF-16, whole however
// long: a name of 32,000 U+30C6 (near the command line's 32,767 units) is
// 96,000 bytes of UTF-8, more than twice as many bytes as units.
TEST_F(CommandLine, UsageWritesTheProgramNameInTheConsolesCodePage) {
  std::string longest;
  for (int i = 0; i < 32000; ++i) longest += "\xe3\x83\x86";
  const struct {
    UINT console;
    std::string name;      // argv[0], here in UTF-8
    std::string expected;  // in the console's code page
  } cases[] = {
      {stand_in::latin1_code_page, "C:\\\xc3\xa9t\xc3\xa9\\es.exe", "C:\\\xe9t\xe9\\es.exe"},
      {0, "C:\\\xc3\xa9t\xc3\xa9\\es.exe", "C:\\\x82t\x82\\es.exe"},
      {CP_UTF8, "\xc3\xa9t\xc3\xa9.exe", "\xc3\xa9t\xc3\xa9.exe"},
      {stand_in::oem_850_code_page, "\xe3\x83\x86\xc4\x80.exe", "?A.exe"},  // U+30C6 has no best fit
      {CP_UTF8, longest, longest},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected.substr(0, 40));
    fresh_system();
    stand_in::current_script().console_output_code_page = c.console;
    entry_result result = run_entry({c.name.c_str(), "/x"});
    EXPECT_EQ(result.output, invalid_argument_message + usage_text(c.expected));
  }
}

TEST(AsciiCaseEqual, FoldsOnlyAsciiCapitalsAndComparesWholeUnits) {
  EXPECT_TRUE(ascii_case_equal(u"/S", "/s"));
  EXPECT_TRUE(ascii_case_equal(u"/s", "/s"));
  EXPECT_FALSE(ascii_case_equal(u"/s", "/S")) << "the option side is lower case by contract";
  EXPECT_FALSE(ascii_case_equal(u"/", "/s"));
  EXPECT_FALSE(ascii_case_equal(u"/ss", "/s"));
  EXPECT_FALSE(ascii_case_equal(u"", "/s"));
  // Units that fold to letters under other rules: '[' - 'A' + 'a' is '{',
  // Latin-1 capitals, and units whose low byte is a letter.
  EXPECT_FALSE(ascii_case_equal(u"/\u00d3", "/s"));
  EXPECT_FALSE(ascii_case_equal(u"/\u00f3", "/s"));
  EXPECT_FALSE(ascii_case_equal(u"/\x13", "/s"));
  EXPECT_FALSE(ascii_case_equal(u"/@", "/`"));
  EXPECT_FALSE(ascii_case_equal(u"/\u0173", "/s"));
  EXPECT_FALSE(ascii_case_equal(u"\uff0f\uff53", "/s"));
  EXPECT_TRUE(ascii_case_equal(u"", ""));
}

}  // namespace
