// endsession-check's own reading of where it runs, against the stand-in:
// `context` decides whether endsession would run as the interactive user,
// and selftest takes that decision as what endsession must do. The kit
// links none of the tool's code, so both decisions are held to the same
// table, row by row.
#include <gtest/gtest.h>

#include <string>

#include "context.h"
#include "entry_harness.h"
#include "interactive_contexts.h"
#include "platform/stand_in/stand_in_control.h"

namespace {

using stand_in::call_kind;

// Whether endsession, run with /l in the scripted context, calls
// ExitWindowsEx: its decision.
bool tool_decides_interactive() {
  run_entry({"endsession", "/l"});
  return stand_in::count_of(call_kind::exit_windows_ex) == 1;
}

TEST(KitContext, DecidesAsTheToolDoesInEveryContext) {
  for (const contexts::interactive_context& where : contexts::interactive_contexts) {
    SCOPED_TRACE(where.name);
    stand_in::reset();
    where.set(stand_in::current_script());
    check_context context;
    read_context(&context);
    EXPECT_EQ(context.interactive_user, where.interactive);
    EXPECT_EQ(stand_in::session_buffers_outstanding(), 0u) << "WTSFreeMemory for every answer";

    stand_in::reset();
    where.set(stand_in::current_script());
    EXPECT_EQ(tool_decides_interactive(), context.interactive_user) << "the kit and the tool disagree";
  }
}

// What context prints beside the decision: the sessions as two hex halves,
// which source decided, and what could not be read.
TEST(KitContext, ReportsTheSessionsItCompared) {
  stand_in::reset();
  stand_in::current_script().has_linked_token = true;
  stand_in::current_script().logon_session = {0x9c01f, 0};
  stand_in::current_script().shell_logon_session = {0x3e7a1, 2};
  check_context context;
  read_context(&context);
  EXPECT_STREQ(context.logon_session, "0x0:0x0009c01f");
  EXPECT_STREQ(context.linked_session, "0x0:0x0003e7a1");
  EXPECT_STREQ(context.shell_session, "0x2:0x0003e7a1");
  EXPECT_TRUE(context.shell_window);
  EXPECT_FALSE(context.interactive_user);
  EXPECT_STREQ(context.user_sid, stand_in::interactive_user_sid);
  EXPECT_STREQ(context.logon_sid, stand_in::interactive_logon_sid);
  EXPECT_STREQ(context.token_account, "DESKTOP-7Q2\\alice");
  EXPECT_STREQ(context.session_user, "DESKTOP-7Q2\\alice");
  EXPECT_STREQ(context.account_match, "yes, by name");

  stand_in::reset();
  stand_in::current_script().shell_window = false;
  stand_in::current_script().session_domain = "desktop-7q2.contoso.com";
  read_context(&context);
  EXPECT_FALSE(context.shell_window);
  EXPECT_STREQ(context.account_match, "yes, by the SID of the session's name");
  EXPECT_TRUE(context.interactive_user);

  stand_in::reset();
  stand_in::current_script().shell_token_refusal = ERROR_ACCESS_DENIED;
  read_context(&context);
  EXPECT_FALSE(context.shell_known);
  EXPECT_EQ(context.shell_error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(context.interactive_user);

  stand_in::reset();
  stand_in::current_script().no_window_station = 126;  // no USER32
  read_context(&context);
  EXPECT_FALSE(context.station_known);
  EXPECT_EQ(context.station_error, 126u);
  EXPECT_FALSE(context.interactive_user);
}

}  // namespace
