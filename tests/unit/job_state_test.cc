// endsession-check's job decisions against the stand-in's scripted job
// answers: the caller's job (in one or not, its silent breakaway, its UI
// limit, a trial child that may stay in a job further up), the breakaway
// flag, and the barrier job -- made with both limits, and held to have them
// only when both read back.
#include <gtest/gtest.h>

#include <string>

#include "job_state.h"
#include "platform/stand_in/stand_in_control.h"

namespace {

using stand_in::call_kind;

// The trial: a child handle the stand-in answers IsProcessInJob for, or none.
bool trial_starts;
DWORD trial_flags;
int trial_count;
HANDLE start_trial(DWORD flags) {
  ++trial_count;
  trial_flags = flags;
  return trial_starts ? reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x2b0)) : nullptr;
}

class JobState : public ::testing::Test {
 protected:
  void SetUp() override {
    stand_in::reset();
    trial_starts = true;
    trial_flags = 0xFFFFFFFF;
    trial_count = 0;
  }
  stand_in::script& script() { return stand_in::current_script(); }
};

TEST_F(JobState, TheCallersJobIsReadFromItsAnswers) {
  const struct row {
    const char* name;
    void (*set)(stand_in::script&);
    bool trial_runs;  // false: no trial child started at all
    DWORD trial_flags;
    bool trial_starts;
    job_kind kind;
    bool forbids_exit_windows;
    const char* text;
  } rows[] = {
      {"in no job", [](stand_in::script&) {}, false, 0, true, job_kind::none, false, "none"},
      {"a job that allows breakaway (OpenSSH's)", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.caller_limit_flags = JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::breakaway_allowed, false, "breakaway allowed"},
      {"silent breakaway", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.caller_limit_flags = JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
       }, true, 0, true, job_kind::silent_breakaway, false, "silent breakaway"},
      {"no breakaway (a CI runner step's)", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.child_in_job = true;
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::no_breakaway, false,
       "no breakaway: log-off not checkable here"},
      {"breakaway allowed inside a job that allows none", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.caller_limit_flags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
         s.child_in_job = true;
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::no_breakaway, false,
       "no breakaway: log-off not checkable here"},
      {"no breakaway, ExitWindowsEx forbidden", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.child_in_job = true;
         s.caller_ui_restrictions = JOB_OBJECT_UILIMIT_EXITWINDOWS | 0x1;  // and HANDLES
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::no_breakaway, true,
       "no breakaway, ExitWindowsEx forbidden by it: log-off checked inside it"},
      {"no breakaway, other UI limits only", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.child_in_job = true;
         s.caller_ui_restrictions = 0x7f & ~JOB_OBJECT_UILIMIT_EXITWINDOWS;
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::no_breakaway, false,
       "no breakaway: log-off not checkable here"},
      {"no breakaway, UI limits unreadable", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.child_in_job = true;
         s.caller_ui_restrictions = JOB_OBJECT_UILIMIT_EXITWINDOWS;
         s.caller_ui_query = {FALSE, ERROR_ACCESS_DENIED};
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::no_breakaway, false,
       "no breakaway: log-off not checkable here"},
      {"limits unreadable: not silent", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.caller_limit_flags = JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
         s.caller_limits_query = {FALSE, ERROR_ACCESS_DENIED};
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::breakaway_allowed, false, "breakaway allowed"},
      {"the trial child's job unanswered", [](stand_in::script& s) {
         s.caller_in_job = true;
         s.child_job_query = {FALSE, ERROR_ACCESS_DENIED};
       }, true, CREATE_BREAKAWAY_FROM_JOB, true, job_kind::no_breakaway, false,
       "no breakaway: log-off not checkable here"},
      {"the trial child cannot start (the breakaway refused)",
       [](stand_in::script& s) { s.caller_in_job = true; }, true, CREATE_BREAKAWAY_FROM_JOB, false,
       job_kind::no_breakaway, false, "no breakaway: log-off not checkable here"},
      {"whether the caller is in a job unanswered: the trial decides",
       [](stand_in::script& s) { s.caller_job_query = {FALSE, ERROR_ACCESS_DENIED}; }, true,
       CREATE_BREAKAWAY_FROM_JOB, true, job_kind::breakaway_allowed, false, "breakaway allowed"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    SetUp();
    r.set(script());
    trial_starts = r.trial_starts;
    job_state state = read_job_state(start_trial);
    EXPECT_EQ(state.kind, r.kind);
    EXPECT_EQ(state.forbids_exit_windows, r.forbids_exit_windows);
    EXPECT_STREQ(job_state_text(state), r.text);
    EXPECT_EQ(trial_count, r.trial_runs ? 1 : 0);
    if (r.trial_runs) {
      EXPECT_EQ(trial_flags, r.trial_flags);
    }
    // The child made for endsession leaves the job as the trial did.
    EXPECT_EQ(breakaway_flag(state), state.kind == job_kind::breakaway_allowed ? CREATE_BREAKAWAY_FROM_JOB : 0u);
  }
}

TEST_F(JobState, AProcessIsInAJobOnlyWhenTheSystemSaysSo) {
  HANDLE child = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x2b0));
  const struct {
    stand_in::outcome query;
    bool in_job, inside, outside;
  } rows[] = {
      {{TRUE, ERROR_SUCCESS}, true, true, false},
      {{TRUE, ERROR_SUCCESS}, false, false, true},
      {{FALSE, ERROR_ACCESS_DENIED}, true, false, false},
      {{FALSE, ERROR_ACCESS_DENIED}, false, false, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "answered " << r.query.result << ", in a job " << r.in_job);
    SetUp();
    script().child_job_query = r.query;
    script().child_in_job = r.in_job;
    EXPECT_EQ(in_a_job(child), r.inside);
    EXPECT_EQ(outside_every_job(child), r.outside);
    const stand_in::call* asked = stand_in::first_of(call_kind::is_process_in_job);
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked->handle, child);
    EXPECT_EQ(asked->object, nullptr);  // any job, not one in particular
  }
}

// The barrier: both limits set, and held only when both read back.
TEST_F(JobState, TheBarrierJobHasBothLimits) {
  HANDLE job = barrier_job();
  ASSERT_NE(job, nullptr);
  std::string set;
  for (size_t i = 0; i < stand_in::call_count(); ++i) {
    const stand_in::call& c = stand_in::call_at(i);
    if (c.kind == call_kind::set_job_information) set += std::to_string(c.index) + ":" + std::to_string(c.job_value) + " ";
  }
  EXPECT_EQ(set, "4:128 9:8192 ");  // UILIMIT_EXITWINDOWS; LIMIT_KILL_ON_JOB_CLOSE
  EXPECT_EQ(read_barrier_job(job), barrier_reading::holds);

  SetUp();
  script().made_job_ui_readable = false;  // Wine
  EXPECT_EQ(read_barrier_job(barrier_job()), barrier_reading::unreadable);

  for (stand_in::outcome stand_in::script::*step : {&stand_in::script::job_creation, &stand_in::script::job_setting}) {
    SetUp();
    script().*step = {FALSE, ERROR_ACCESS_DENIED};
    EXPECT_EQ(barrier_job(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }

  const struct {
    DWORD ui, limits;
    barrier_reading reading;
  } readings[] = {
      {JOB_OBJECT_UILIMIT_EXITWINDOWS, JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, barrier_reading::holds},
      {JOB_OBJECT_UILIMIT_EXITWINDOWS | 0x1, JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK,
       barrier_reading::holds},
      {JOB_OBJECT_UILIMIT_EXITWINDOWS, 0, barrier_reading::missing},
      {JOB_OBJECT_UILIMIT_EXITWINDOWS, JOB_OBJECT_LIMIT_BREAKAWAY_OK, barrier_reading::missing},
      {0, JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, barrier_reading::missing},
      {0x7f & ~JOB_OBJECT_UILIMIT_EXITWINDOWS, JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, barrier_reading::missing},
      {0, 0, barrier_reading::missing},
  };
  for (const auto& r : readings) {
    SCOPED_TRACE(testing::Message() << "UI limits " << r.ui << ", limits " << r.limits);
    SetUp();
    HANDLE made = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{r.ui};
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = r.limits;
    ASSERT_TRUE(SetInformationJobObject(made, JobObjectBasicUIRestrictions, &ui, sizeof ui));
    ASSERT_TRUE(SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits));
    EXPECT_EQ(read_barrier_job(made), r.reading);
  }
}

}  // namespace
