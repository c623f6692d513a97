// The session end against the stand-in: the exact calls and arguments on the
// way to ExitWindowsEx, and every refused step with its exact message.
#include <gtest/gtest.h>

#include <string>

#include "entry_harness.h"
#include "interactive_contexts.h"
#include "platform/stand_in/stand_in_control.h"

namespace {

using stand_in::call_kind;

struct printed {
  int status;
  std::string output;
};

// Reaches request_session_end through the entry, with the options that make
// `flags`, so that its output is captured like the whole program's.
printed run_session_end(UINT flags) {
  const char* operation = (flags & EWX_POWEROFF)   ? "/p"
                          : (flags & EWX_REBOOT)   ? "/r"
                          : (flags & EWX_SHUTDOWN) ? "/s"
                                                   : "/l";
  entry_result result = (flags & EWX_FORCE) ? run_entry({"endsession", operation, "/f"})
                                            : run_entry({"endsession", operation});
  return {result.status, result.output};
}

class SessionEnd : public ::testing::Test {
 protected:
  void SetUp() override { stand_in::reset(); }
  stand_in::script& script() { return stand_in::current_script(); }
};

TEST_F(SessionEnd, AcceptedRequestMakesTheFourCallsWithExactArguments) {
  script().exit_windows_ex = {TRUE, ERROR_SUCCESS};
  printed result = run_session_end(EWX_REBOOT | EWX_FORCE);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");

  const stand_in::call* open = stand_in::first_of(call_kind::open_process_token);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->handle, reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)));
  EXPECT_EQ(open->access, 0x28u);

  const stand_in::call* lookup = stand_in::first_of(call_kind::lookup_privilege_value);
  ASSERT_NE(lookup, nullptr);
  EXPECT_TRUE(lookup->system_name_is_null);
  EXPECT_STREQ(lookup->privilege_name, "SeShutdownPrivilege");

  const stand_in::call* adjust = stand_in::first_of(call_kind::adjust_token_privileges);
  ASSERT_NE(adjust, nullptr);
  EXPECT_EQ(adjust->handle, reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x58)));
  EXPECT_EQ(adjust->disable_all, FALSE);
  EXPECT_EQ(adjust->new_state.PrivilegeCount, 1u);
  EXPECT_EQ(adjust->new_state.Privileges[0].Luid.LowPart, stand_in::shutdown_luid.LowPart);
  EXPECT_EQ(adjust->new_state.Privileges[0].Attributes, 2u);
  EXPECT_EQ(adjust->buffer_length, 0u);
  EXPECT_TRUE(adjust->previous_state_is_null);
  EXPECT_TRUE(adjust->return_length_is_null);

  const stand_in::call* exit_call = stand_in::first_of(call_kind::exit_windows_ex);
  ASSERT_NE(exit_call, nullptr);
  EXPECT_EQ(exit_call->exit_flags, 6u);
  EXPECT_EQ(exit_call->reason, 0u);

  // In this order, and nothing looked up as text.
  std::string order;
  for (size_t i = 0; i < stand_in::call_count(); ++i) {
    call_kind kind = stand_in::call_at(i).kind;
    if (kind != call_kind::get_last_error) order += static_cast<char>('0' + static_cast<int>(kind));
  }
  // After the privilege: the window station (flags, then its user), the
  // token's logon SID and user, the shell's window, process and token, the
  // shell's and the token's logon sessions; the session's names never.
  EXPECT_EQ(order, "0123788::>?1::5");
  const stand_in::call* logon = stand_in::first_of(call_kind::get_token_information);
  ASSERT_NE(logon, nullptr);
  EXPECT_EQ(logon->handle, adjust->handle);
  EXPECT_EQ(logon->index, TokenLogonSid);
  ASSERT_EQ(stand_in::enabled_privilege_count(), 1u);
  EXPECT_EQ(stand_in::enabled_privilege_at(0).LowPart, stand_in::shutdown_luid.LowPart);
}

TEST_F(SessionEnd, EveryFlagValueReachesTheSystemUnchanged) {
  for (UINT flags : {0u, 1u, 2u, 8u, 4u, 5u, 6u, 12u}) {
    SCOPED_TRACE(flags);
    stand_in::reset();
    script().exit_windows_ex = {TRUE, ERROR_SUCCESS};
    printed result = run_session_end(flags);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    ASSERT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 1u);
    EXPECT_EQ(stand_in::first_of(call_kind::exit_windows_ex)->exit_flags, flags);
  }
}

TEST_F(SessionEnd, TokenThatCannotBeOpenedStopsEverything) {
  script().open_process_token = {FALSE, ERROR_ACCESS_DENIED};
  printed result = run_session_end(EWX_SHUTDOWN);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "OpenProcessToken: Access is denied.\r\n");
  EXPECT_EQ(stand_in::count_of(call_kind::lookup_privilege_value), 0u);
  EXPECT_EQ(stand_in::count_of(call_kind::adjust_token_privileges), 0u);
  EXPECT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 0u);
}

TEST_F(SessionEnd, PrivilegeNotHeldIsReportedEvenThoughAdjustReturnedTrue) {
  script().adjust_is_scripted = true;
  script().adjust_token_privileges = {TRUE, ERROR_NOT_ALL_ASSIGNED};
  printed result = run_session_end(EWX_SHUTDOWN);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output,
            "AdjustTokenPrivileges: Not all privileges or groups referenced are assigned to the "
            "caller.\r\n");
  EXPECT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 0u);
  EXPECT_EQ(stand_in::count_of(call_kind::get_process_window_station), 0u);
  EXPECT_EQ(stand_in::count_of(call_kind::initiate_shutdown), 0u);
}

// ExitWindowsEx wants SeShutdownPrivilege for shutdown, reboot and power-off
// only: an account without it logs itself off.
TEST_F(SessionEnd, LogoffNeedsNoShutdownPrivilege) {
  for (UINT flags : {0u, 4u}) {
    SCOPED_TRACE(flags);
    stand_in::reset();
    script().adjust_is_scripted = true;
    script().adjust_token_privileges = {TRUE, ERROR_NOT_ALL_ASSIGNED};
    script().exit_windows_ex = {TRUE, ERROR_SUCCESS};
    printed result = run_session_end(flags);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(stand_in::count_of(call_kind::open_process_token), 2u);  // its own, then the shell's
    EXPECT_EQ(stand_in::count_of(call_kind::lookup_privilege_value), 0u);
    EXPECT_EQ(stand_in::count_of(call_kind::adjust_token_privileges), 0u);
    ASSERT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 1u);
    EXPECT_EQ(stand_in::first_of(call_kind::exit_windows_ex)->exit_flags, flags);
  }
}

TEST_F(SessionEnd, AdjustThatFailsOutrightIsReported) {
  script().adjust_is_scripted = true;
  script().adjust_token_privileges = {FALSE, ERROR_INVALID_HANDLE};
  printed result = run_session_end(EWX_POWEROFF);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "AdjustTokenPrivileges: The handle is invalid.\r\n");
  EXPECT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 0u);
}

// Plants the LUID of a privilege the token holds (other_held_luid) all over
// the stack where the next call's locals will lie. A LUID is two 32-bit
// halves at a 4-byte alignment, so the pattern is planted at both phases.
__attribute__((noinline)) void plant_held_luid_on_the_stack(int phase) {
  volatile DWORD junk[1024];
  for (int i = 0; i < 1024; ++i)
    junk[i] = (i + phase) % 2 == 0 ? stand_in::other_held_luid.LowPart
                                   : static_cast<DWORD>(stand_in::other_held_luid.HighPart);
  junk[0] = junk[1023];
}

TEST_F(SessionEnd, FailedLookupEnablesNothingAndTheAdjustIsReported) {
  for (int phase : {0, 1}) {
    SCOPED_TRACE(phase);
    stand_in::reset();
    script().lookup_privilege_value = {FALSE, ERROR_NO_SUCH_PRIVILEGE};
    plant_held_luid_on_the_stack(phase);
    printed result = run_session_end(EWX_SHUTDOWN);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output,
              "AdjustTokenPrivileges: Not all privileges or groups referenced are assigned to the "
              "caller.\r\n");
    const stand_in::call* adjust = stand_in::first_of(call_kind::adjust_token_privileges);
    ASSERT_NE(adjust, nullptr);
    EXPECT_EQ(adjust->new_state.Privileges[0].Luid.LowPart, 0u);
    EXPECT_EQ(adjust->new_state.Privileges[0].Luid.HighPart, 0);
    EXPECT_EQ(stand_in::enabled_privilege_count(), 0u) << "no privilege may be enabled by accident";
    EXPECT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 0u);
  }
}

TEST_F(SessionEnd, RefusedSessionEndSaysCanNotRebootForEveryOperation) {
  for (UINT flags : {0u, 1u, 2u, 8u, 12u}) {
    SCOPED_TRACE(flags);
    stand_in::reset();
    script().exit_windows_ex = {FALSE, ERROR_PRIVILEGE_NOT_HELD};
    printed result = run_session_end(flags);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Can not reboot: A required privilege is not held by the client.\r\n\n");
  }
}

TEST_F(SessionEnd, NativeDefaultNeverEndsTheSession) {
  printed result = run_session_end(EWX_SHUTDOWN);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Can not reboot: This function is not supported on this system.\r\n\n");
}

// Every row of the context table: the interactive user ends the session
// with ExitWindowsEx; anyone else goes to InitiateShutdownW with its own
// flags and a planned reason, and a log-off is refused.
TEST_F(SessionEnd, TheInteractiveUserDecidesTheCall) {
  const struct {
    UINT exit_flags;
    DWORD shutdown_flags;  // 0: a log-off
  } operations[] = {{0, 0}, {4, 0}, {1, 0x10}, {5, 0x13}, {2, 0x4}, {6, 0x7}, {8, 0x8}, {12, 0xb}};
  const std::string not_supported = "Can not reboot: This function is not supported on this system.\r\n\n";
  for (const contexts::interactive_context& where : contexts::interactive_contexts) {
    for (const auto& operation : operations) {
      SCOPED_TRACE(testing::Message() << where.name << ", flags " << operation.exit_flags);
      stand_in::reset();
      where.set(script());
      printed result = run_session_end(operation.exit_flags);
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(stand_in::session_buffers_outstanding(), 0u) << "WTSFreeMemory for every answer";
      const stand_in::call* exit_call = stand_in::first_of(call_kind::exit_windows_ex);
      const stand_in::call* initiate = stand_in::first_of(call_kind::initiate_shutdown);
      if (where.interactive) {
        if (exit_call == nullptr) { ADD_FAILURE() << "no ExitWindowsEx call"; continue; }
        EXPECT_EQ(exit_call->exit_flags, operation.exit_flags);
        EXPECT_EQ(exit_call->reason, 0u);
        EXPECT_EQ(initiate, nullptr);
        EXPECT_EQ(result.output, not_supported);
        const stand_in::call* query = stand_in::first_of(call_kind::get_user_object_information);
        if (query == nullptr) { ADD_FAILURE() << "no station query"; continue; }
        EXPECT_EQ(query->index, UOI_FLAGS);
        EXPECT_EQ(query->length, sizeof(USEROBJECTFLAGS));
        continue;
      }
      EXPECT_EQ(exit_call, nullptr);
      if (operation.shutdown_flags == 0) {
        EXPECT_EQ(initiate, nullptr);
        EXPECT_EQ(result.output, "Can not reboot: This operation requires an interactive window station.\r\n\n");
        continue;
      }
      if (initiate == nullptr) { ADD_FAILURE() << "no InitiateShutdownW call"; continue; }
      EXPECT_EQ(stand_in::count_of(call_kind::initiate_shutdown), 1u);
      EXPECT_EQ(initiate->shutdown_flags, operation.shutdown_flags);
      EXPECT_TRUE(initiate->machine_is_null);
      EXPECT_TRUE(initiate->message_is_null);
      EXPECT_EQ(initiate->grace_period, 0u);
      EXPECT_EQ(initiate->reason, 0x80000000u);  // other, other, planned
      EXPECT_EQ(result.output, not_supported);
    }
  }
}

// The sources, asked as documented: with a shell, its process for its token
// only and both logon sessions, never the session's names; without one, the
// process's own terminal session on this server and the local system's
// lookups -- and off the visible station none of them.
TEST_F(SessionEnd, TheSourcesAreAskedOnTheVisibleStationOnly) {
  script().logon_session = {0x9c01f, 0};
  script().has_linked_token = true;
  run_session_end(EWX_LOGOFF);
  const stand_in::call* shell = stand_in::first_of(call_kind::open_process);
  ASSERT_NE(shell, nullptr);
  EXPECT_EQ(shell->access, 0x1000u);  // PROCESS_QUERY_LIMITED_INFORMATION
  EXPECT_EQ(shell->session_id, 4242u);  // the shell window's process
  std::string asked;
  for (size_t i = 0; i < stand_in::call_count(); ++i) {
    const stand_in::call& query = stand_in::call_at(i);
    if (query.kind == call_kind::open_process_token)
      asked += "open " + std::to_string(query.access) + " ";
    if (query.kind == call_kind::get_token_information)
      asked += std::to_string(reinterpret_cast<intptr_t>(query.handle)) + ":" + std::to_string(query.index) + " ";
  }
  // The process's token (0x58): logon SID, user; the shell's (0x5c, opened
  // for TOKEN_QUERY): statistics; the token's statistics, its linked token,
  // and the linked token's (0x6c) statistics.
  EXPECT_EQ(asked, "open 40 88:28 88:1 open 8 92:10 88:10 88:19 108:10 ");
  EXPECT_EQ(stand_in::count_of(call_kind::query_session_information), 0u);
  EXPECT_EQ(stand_in::count_of(call_kind::lookup_account_sid), 0u);
  ASSERT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 1u);

  stand_in::reset();
  script().shell_window = false;
  script().session_domain = "desktop-7q2.contoso.com";
  script().name_lookup = {FALSE, ERROR_NONE_MAPPED};
  run_session_end(EWX_LOGOFF);
  std::string classes;
  for (size_t i = 0; i < stand_in::call_count(); ++i) {
    const stand_in::call& query = stand_in::call_at(i);
    if (query.kind != call_kind::query_session_information) continue;
    EXPECT_EQ(query.handle, nullptr);
    EXPECT_EQ(query.session_id, 0xFFFFFFFFu);
    classes += std::to_string(query.index) + " ";
  }
  EXPECT_EQ(classes, "5 7 ");  // WTSUserName, WTSDomainName
  const stand_in::call* by_sid = stand_in::first_of(call_kind::lookup_account_sid);
  ASSERT_NE(by_sid, nullptr);
  EXPECT_TRUE(by_sid->system_name_is_null);
  const stand_in::call* by_name = stand_in::first_of(call_kind::lookup_account_name);
  ASSERT_NE(by_name, nullptr);
  EXPECT_TRUE(by_name->system_name_is_null);
  EXPECT_STREQ(by_name->account, "desktop-7q2.contoso.com\\alice");
  EXPECT_EQ(stand_in::count_of(call_kind::open_process), 0u);
  EXPECT_EQ(stand_in::count_of(call_kind::exit_windows_ex), 0u);  // names that find no account

  for (bool user32 : {true, false}) {
    SCOPED_TRACE(user32);
    stand_in::reset();
    script().window_station_flags = 0;  // not visible
    if (!user32) script().no_window_station = 126;
    run_session_end(EWX_SHUTDOWN);
    EXPECT_EQ(stand_in::count_of(call_kind::get_token_information), 0u);
    EXPECT_EQ(stand_in::count_of(call_kind::query_session_information), 0u);
    EXPECT_EQ(stand_in::count_of(call_kind::lookup_account_sid), 0u);
    EXPECT_EQ(stand_in::count_of(call_kind::get_shell_window), 0u);
    EXPECT_EQ(stand_in::count_of(call_kind::initiate_shutdown), 1u);
  }
}

TEST_F(SessionEnd, InitiateShutdownAnswersWithItsErrorCode) {
  script().window_station_flags = 0;
  script().initiate_shutdown = ERROR_SUCCESS;
  printed result = run_session_end(EWX_REBOOT);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");

  stand_in::reset();
  script().window_station_flags = 0;
  script().initiate_shutdown = 1191;  // ERROR_SHUTDOWN_USERS_LOGGED_ON
  stand_in::set_message(1191, "The system shutdown cannot be initiated because there are other users logged on to the computer.\r\n");
  result = run_session_end(EWX_SHUTDOWN);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Can not reboot: The system shutdown cannot be initiated because there are other "
                           "users logged on to the computer.\r\n\n");
}

TEST_F(SessionEnd, ErrorWithoutSystemTextLeavesNothingAfterTheColon) {
  script().open_process_token = {FALSE, 0xDEAD};
  EXPECT_EQ(run_session_end(EWX_SHUTDOWN).output, "OpenProcessToken: ");
  stand_in::reset();
  script().adjust_is_scripted = true;
  script().adjust_token_privileges = {TRUE, 0xDEAD};
  EXPECT_EQ(run_session_end(EWX_SHUTDOWN).output, "AdjustTokenPrivileges: ");
  stand_in::reset();
  script().exit_windows_ex = {FALSE, 0xDEAD};
  EXPECT_EQ(run_session_end(EWX_SHUTDOWN).output, "Can not reboot: \n");
}

}  // namespace
