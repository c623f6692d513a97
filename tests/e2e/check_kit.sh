# endsession-check under Wine, in the prefix where ExitWindowsEx really ends
# the session, so that a miss would show: the kit prints the exact call the
# tool makes and stops it -- the relay trace has the call and never its
# return, and no `wineboot --end-session` runs; refused lines pass through
# byte for byte; selftest passes on WinSta0 and on a station of its own;
# with the test-only fault switch (no int3 planted, or the int3 clobbered)
# the child is killed and nothing ends; a tool with a wrong flag fails its
# selftest case. Wine enforces neither the job's nor the token's barrier:
# here the interception alone stops the call.
. "$(dirname "$0")/wine_case.sh"

kit=${ENDSESSION_CHECK_EXE:-}

# run_kit WINEDEBUG-VALUE COMMAND ARGS...: the kit with --tool $exe for run
# and selftest; stdout, stderr and status kept. With kit_mode set, the kit
# is started by the launcher in that mode (a job, a restricted token).
kit_mode=''
run_kit() {
  local debug=$1 command=$2
  shift 2
  [ "$debug" = -all ] || warm_server "$E2E_PREFIX"
  local tool=(--tool "$(program_name)")
  [ "$command" != context ] || tool=()
  local start=("$kit" "$command" "${tool[@]}" "$@")
  if [ -n "$kit_mode" ]; then
    local IFS=' ' quoted=()
    [ ${#tool[@]} -eq 0 ] || quoted=(--tool "\"$(program_name)\"")
    start=("$LAUNCHER_EXE" "$kit_mode" - "\"Z:${kit//\//\\}\" $command ${quoted[*]} $*")
  fi
  wine_run "$debug" env "${run_env[@]}" WINEPREFIX="$E2E_PREFIX" WINEDEBUG="$debug" "$WINE" "${start[@]}"
  wait_for_server "$E2E_PREFIX"
}

# No session end: no `wineboot --end-session` started (a +relay trace shows
# its command line, a +loaddll trace the loading of wineboot.exe), in a trace
# that shows the kit's own run.
expect_nothing_ended() {
  grep -q -E 'Call |trace:loaddll:' "$err_file" || fail "no trace to look for a session end in"
  if grep -q -E 'wineboot\.exe --end-session|loaddll:.*Loaded L".*wineboot\.exe"' "$err_file"; then
    fail "the session was ended"
  fi
}

# intercepted FUNCTION CALL KIT-ARGS...: a traced run stops endsession at
# FUNCTION, called as CALL, and prints so.
intercepted() {
  local function=$1 call=$2 privilege=''
  shift 2
  run_kit -all,+relay run "$@"
  [ "$function" = ExitWindowsEx ] && [[ $call == *'(0x0000000'[04]','* ]] ||
    privilege=$'endsession asked to enable SeShutdownPrivilege: answered by the kit (the caller\'s token holds it: yes)\r\n'
  expect_status 0
  expect_stdout "${privilege}endsession would call $call"$'\r\nstopped before the call: nothing was ended\r\n'
  grep -q "Call [a-z0-9]*\.$function(" "$err_file" || fail "no traced call of $function"
  expect_refused_answer "$function"
  expect_nothing_ended
}

# The stopped call, if it returned to the relay at all before the kill, came
# back refused: ExitWindowsEx FALSE, InitiateShutdownW ERROR_ACCESS_DENIED.
expect_refused_answer() {
  local refused=00000000
  [ "$1" = ExitWindowsEx ] || refused=00000005
  local returns
  returns=$(grep "Ret  [a-z0-9]*\.$1(" "$err_file" | grep -v "retval=$refused ")
  [ -z "$returns" ] || fail "$1 returned other than refused: $returns"
}
case_logoff_is_intercepted() { intercepted ExitWindowsEx 'ExitWindowsEx(0x00000000, 0x00000000)' /l; }
case_shutdown_is_intercepted() { intercepted ExitWindowsEx 'ExitWindowsEx(0x00000001, 0x00000000)' /s; }
case_forced_reboot_is_intercepted() { intercepted ExitWindowsEx 'ExitWindowsEx(0x00000006, 0x00000000)' /r /f; }
case_forced_poweroff_is_intercepted() { intercepted ExitWindowsEx 'ExitWindowsEx(0x0000000c, 0x00000000)' /p /f; }
case_forced_shutdown_on_a_station_of_its_own() {
  intercepted InitiateShutdownW 'InitiateShutdownW(NULL, NULL, 0, 0x00000013, 0x80000000)' --station /s /f
}
case_reboot_on_a_station_of_its_own() {
  intercepted InitiateShutdownW 'InitiateShutdownW(NULL, NULL, 0, 0x00000004, 0x80000000)' --station /r
}
case_poweroff_on_a_station_of_its_own() {
  intercepted InitiateShutdownW 'InitiateShutdownW(NULL, NULL, 0, 0x00000008, 0x80000000)' --station /p
}

# The tool's own refusals reach stdout unchanged, with its exit status.
case_refused_line_passes_through() {
  run_kit -all run /s /x
  expect_status 1
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"$'no session-end call; endsession exited 1\r\n'
}
case_logoff_on_a_station_of_its_own_is_refused_by_the_tool() {
  run_kit -all run --station /l
  expect_status 1
  expect_message 'Can not reboot: ' 1459 $'\r\nno session-end call; endsession exited 1\r\n'
}

selftest_passes() {
  run_kit -all,+loaddll selftest --require-logoff "$@"
  expect_status 0
  [ "$(tail -1 "$out_file")" = $'11 passed, 0 failed, 0 skipped\r' ] || fail "selftest: $(cat "$out_file")"
  expect_nothing_ended
}
case_selftest_passes() { selftest_passes; }
case_selftest_passes_on_a_station_of_its_own() { selftest_passes --station; }

case_context_shows_the_interactive_user() {
  run_kit -all context
  expect_status 0
  # Wine does not answer UOI_USER_SID: the visible station decides.
  # Nor has it a shell window: the session's user decides, by name.
  expect_context_lines 'window station: WinSta0, visible' 'window station user: unknown (error 87)' \
    'interactive user: yes' "account is the session's: yes, by name" \
    "desktop shell's logon session: no shell window" "decided by: the session's account" \
    'endsession /s /f  ExitWindowsEx(0x00000005, 0x00000000)'
  grep -qE "^linked token's logon session: (none \(error [0-9]+\)|0x[0-9a-f]+:0x[0-9a-f]{8})"$'\r''$' "$out_file" ||
    fail "no linked token line: $(cat "$out_file")"
  # The token's account and the session's user, both DOMAIN\name, the same;
  # the logon session as two hex halves.
  local account session
  account=$(sed -n 's/^token account: \(.*\\.*\)\r$/\1/p' "$out_file")
  session=$(sed -n 's/^session user: \(.*\)\r$/\1/p' "$out_file")
  [ -n "$account" ] && [ "$account" = "$session" ] || fail "token account '$account', session user '$session'"
  grep -qE '^logon session: 0x[0-9a-f]+:0x[0-9a-f]{8}'$'\r''$' "$out_file" || fail "no logon session: $(cat "$out_file")"
}

expect_context_lines() {
  local line
  for line in "$@"; do
    grep -qxF "$line"$'\r' "$out_file" || fail "context lacks '$line': $(cat "$out_file")"
  done
}

# Under a desktop shell (the launcher's test window, on a display of the
# case's own; Wine gives every token the logon session 0:0): the shell's
# logon session decides, and selftest finds endsession deciding alike.
case_context_decides_by_the_shells_logon_session() {
  start_display || return
  kit_mode=shell
  run_kit -all context
  expect_status 0
  expect_context_lines "desktop shell's logon session: 0x0:0x00000000" "decided by: the shell's logon session" \
    'logon session: 0x0:0x00000000' 'interactive user: yes' 'endsession /r /f  ExitWindowsEx(0x00000006, 0x00000000)'
  run_kit -all,+loaddll selftest
  expect_status 0
  grep -qxF $'expecting ExitWindowsEx: the interactive user\r' "$out_file" || fail "selftest: $(cat "$out_file")"
  [ "$(tail -1 "$out_file")" = $'11 passed, 0 failed, 0 skipped\r' ] || fail "selftest: $(cat "$out_file")"
  expect_nothing_ended
}

# Where USER32 and WTSAPI32 are absent (Nano Server; here disabled), the
# kit still loads: context says why the station is unknown and derives the
# calls for someone not the interactive user, and selftest finds endsession
# -- which lacks them too -- deciding alike.
case_kit_runs_without_user32_and_wtsapi32() {
  # A cold server first starts wineboot, which needs USER32: warmed without
  # the overrides, so that only the kit and its children run without them.
  warm_server "$E2E_PREFIX"
  run_env=(WINEDLLOVERRIDES='user32=d;wtsapi32=d')
  run_kit -all context
  expect_status 0
  expect_context_lines 'window station: unknown (error 126): no USER32 here' 'session user: unknown (error 126)' \
    'interactive user: no' 'endsession /l     refused with 1459 (no session-end call)' \
    'endsession /r /f  InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000)'
  run_kit -all,+loaddll selftest
  expect_status 0
  [ "$(tail -1 "$out_file")" = $'11 passed, 0 failed, 0 skipped\r' ] || fail "selftest: $(cat "$out_file")"
  if grep -q -E 'Loaded L".*(user32|wtsapi32)\.dll"' "$err_file"; then fail "a disabled DLL was loaded"; fi
  expect_nothing_ended
}

# A kit without the tool says so, and starts nothing.
case_missing_tool_is_named() {
  exe=$E2E_SCRATCH/no-such-folder/endsession.exe
  run_kit -all run /l
  expect_status 2
  expect_stdout $'endsession-check: no endsession.exe there (error 3): put it beside the kit or name it with --tool\r\n'
}

# The fail-safe: a breakpoint not planted, clobbered after planting, or a
# module the kit has no room to record stops the child before anything
# ends (never status 0): its threads held before the kill, the kill before
# the event is let go.
planted_miss() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT="$1")
  run_kit -all,+relay run /l
  [ "$status" -eq "$2" ] || fail "fault $1: status $status, expected $2: $(cat "$out_file")"
  if grep -q 'Call user32\.ExitWindowsEx(' "$err_file"; then fail "ExitWindowsEx was reached"; fi
  expect_nothing_ended
  expect_held_before_the_kill
}
case_unplanted_breakpoint_stops_the_tool() { planted_miss skip-plant 4; }
case_clobbered_breakpoint_stops_the_tool() { planted_miss clobber 3; }
case_full_module_table_stops_the_tool() { planted_miss few-modules 4; }

# changed_tool NAME PERL-EDIT: $exe becomes a copy of endsession.exe with
# that edit of its bytes.
changed_tool() {
  mkdir -p "$E2E_SCRATCH"
  exe=$E2E_SCRATCH/$1
  perl -0777 -pe "$2"' or die "not found"' "$ENDSESSION_EXE" >"$exe" || fail "$1 could not be made"
}

# A tool whose /s asks for a reboot: its selftest cases /s and /s /f fail.
case_tool_with_a_wrong_flag_fails_the_selftest() {
  changed_tool endsession-wrong-flag.exe 's{/s\0(.)\x01\0\0\0}{/s\0$1\x02\0\0\0}s'
  run_kit -all selftest
  expect_status 1
  grep -q '^FAIL  /s  .*ExitWindowsEx(0x00000002, 0x00000000).*expected ExitWindowsEx(0x00000001, 0x00000000)' "$out_file" ||
    fail "selftest did not fail /s: $(cat "$out_file")"
  grep -qF $'9 passed, 2 failed, 0 skipped\r' "$out_file" || fail "selftest count: $(tail -1 "$out_file")"
}

# Inside a job that allows breakaway (OpenSSH's): the child leaves it
# (CREATE_BREAKAWAY_FROM_JOB with DEBUG_PROCESS and CREATE_SUSPENDED) and
# is put in the kit's own job; the log-off is intercepted.
case_job_with_breakaway_intercepts_the_logoff() {
  kit_mode=job:breakaway
  intercepted ExitWindowsEx 'ExitWindowsEx(0x00000000, 0x00000000)' /l
  grep -q -E 'Call KERNEL32\.CreateProcessAsUserW\(.*,01000005,' "$err_file" ||
    fail "the child was not created to leave the job: $(grep -m1 'CreateProcessAsUserW(' "$err_file")"
  grep -q -E 'Ret  KERNEL32\.AssignProcessToJobObject\(.* retval=00000001' "$err_file" ||
    fail "the child was not put in the kit's job"
}

# Inside a job that allows none (a CI runner step's): /s /r /p run behind the
# interception and the token, in that job; a log-off is not run at all.
case_job_without_breakaway_checks_all_but_the_logoff() {
  kit_mode=job:closed
  run_kit -all,+relay run /r /f
  expect_status 0
  expect_stdout $'endsession asked to enable SeShutdownPrivilege: answered by the kit (the caller\'s token holds it: yes)\r\nendsession ran inside the caller\'s job, which allows no breakaway: behind the interception and a token without SeShutdownPrivilege\r\nendsession would call ExitWindowsEx(0x00000006, 0x00000000)\r\nstopped before the call: nothing was ended\r\n'
  expect_nothing_ended
  run_kit -all,+relay run /L
  expect_status 4
  expect_stdout $'endsession-check: cannot check here: the kit runs inside a job that allows no breakaway, and a log-off is checked only inside a job that forbids ExitWindowsEx: run the kit outside it, from a scheduled task (see the README)\r\n'
  if grep -q 'Call KERNEL32\.CreateProcessAsUserW(' "$err_file"; then fail "a log-off was started"; fi
  run_kit -all,+loaddll selftest
  expect_status 0
  [ "$(grep -c '^skip  /l' "$out_file")" -eq 2 ] || fail "selftest did not skip the log-offs: $(cat "$out_file")"
  [ "$(tail -1 "$out_file")" = $'9 passed, 0 failed, 2 skipped\r' ] || fail "selftest: $(cat "$out_file")"
  expect_nothing_ended
  # A lane that must check the log-off fails here.
  run_kit -all selftest --require-logoff
  expect_status 1
  [ "$(tail -1 "$out_file")" = $'9 passed, 0 failed, 2 skipped: the log-off was required (--require-logoff) and not checked\r' ] ||
    fail "selftest --require-logoff: $(cat "$out_file")"
}

# A job that allows breakaway inside one that allows none (Nested Jobs: a
# child breaks away "until it reaches a job that does not permit
# breakaway"): the log-off is not run. Without the kit's trial child (a
# test-only fault), the created child's own check finds the outer job.
nested_job_keeps_the_logoff_unchecked() {
  kit_mode=job:nested
  run_kit -all,+relay run /l
  expect_status 4
  grep -qF 'a job that allows no breakaway' "$out_file" || fail "no word of the job: $(cat "$out_file")"
  if grep -q 'Call user32\.ExitWindowsEx(' "$err_file"; then fail "ExitWindowsEx was reached"; fi
  run_kit -all,+relay run /r /f
  expect_status 0
  grep -qF "endsession ran inside the caller's job" "$out_file" || fail "not in the caller's job: $(cat "$out_file")"
  expect_nothing_ended
}
case_nested_job_keeps_the_logoff_unchecked() { nested_job_keeps_the_logoff_unchecked; }
case_nested_job_is_found_by_the_created_child() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=skip-trial)
  nested_job_keeps_the_logoff_unchecked
}

case_context_names_the_job() {
  local modes=('' job:breakaway job:closed job:nested)
  local states=(none 'breakaway allowed' 'no breakaway: log-off not checkable here'
    'no breakaway: log-off not checkable here')
  for i in 0 1 2 3; do
    kit_mode=${modes[$i]}
    run_kit -all context
    grep -qxF "job: ${states[$i]}"$'\r' "$out_file" ||
      fail "${modes[$i]:-no job}: context lacks 'job: ${states[$i]}': $(grep '^job' "$out_file")"
  done
}

# A caller without SeShutdownPrivilege gets endsession's own refusal of /s,
# byte for byte; selftest expects it; a log-off needs no privilege.
case_caller_without_the_privilege_gets_the_refusal() {
  kit_mode=restricted
  run_kit -all run /s
  expect_status 1
  expect_message 'AdjustTokenPrivileges: ' 1300 \
    $'endsession asked to enable SeShutdownPrivilege: answered by the kit (the caller\'s token holds it: no)\r\nno session-end call; endsession exited 1\r\n'
  run_kit -all,+loaddll selftest
  expect_status 0
  [ "$(tail -1 "$out_file")" = $'11 passed, 0 failed, 0 skipped\r' ] || fail "selftest: $(cat "$out_file")"
  expect_nothing_ended
  intercepted ExitWindowsEx 'ExitWindowsEx(0x00000000, 0x00000000)' /l
}

# With the kill left out (a test-only fault), the answered child runs on by
# itself: it prints the refusal the kit answered with and ends nothing.
case_answered_call_ends_nothing_without_the_kill() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=skip-kill)
  run_kit -all,+relay run /l
  expect_status 0
  expect_message 'Can not reboot: ' 5 \
    $'\r\nendsession would call ExitWindowsEx(0x00000000, 0x00000000)\r\nstopped before the call: nothing was ended\r\n'
  grep -q 'Ret  user32\.ExitWindowsEx() retval=00000000 ' "$err_file" || fail "ExitWindowsEx was not answered FALSE"
  expect_refused_answer ExitWindowsEx
  expect_nothing_ended
}

# The kit's own calls, in order, from its first suspension: every thread of
# the child suspended (each answering a previous count, not -1), then the
# kill, and only then the event let go.
expect_held_before_the_kill() {
  local kit_thread order
  kit_thread=$(grep -m1 'Call KERNEL32\.WaitForDebugEvent(' "$err_file" | cut -d: -f1)
  order=$(grep -E "^$kit_thread:(Call|Ret ) KERNEL32\.(SuspendThread|TerminateProcess|ContinueDebugEvent)\(" "$err_file" |
    sed -E 's/^[0-9a-f]+:(Call|Ret ) KERNEL32\.([A-Za-z]+)\(.*retval=([0-9a-f]+).*/\2=\3/; s/^[0-9a-f]+:Call KERNEL32\.([A-Za-z]+)\(.*/\1/' |
    awk '/^SuspendThread/ { seen = 1 } seen' | awk '/^ContinueDebugEvent/ { print; exit } { print }' | tr '\n' ' ')
  [[ $order =~ ^(SuspendThread\ SuspendThread=0000000[0-9]\ )+TerminateProcess\ TerminateProcess=00000001\ ContinueDebugEvent\ $ ]] ||
    fail "not suspended before the kill and the continue: ${order:-no suspension}"
}

# A stopped call whose answer cannot be written (a test-only fault): every
# thread of the child is suspended before the kit lets the event go and
# kills it; status 3, nothing ended -- for a session-end call and for the
# privilege request alike.
unanswered_call_is_held() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=unanswered)
  local function=$1
  shift
  run_kit -all,+relay run "$@"
  expect_status 3
  expect_stdout "endsession-check: the stopped call could not be answered ($function); endsession was stopped"$'\r\n'
  expect_nothing_ended
  expect_held_before_the_kill
}
case_unanswered_session_end_call_is_held() { unanswered_call_is_held ExitWindowsEx /l; }
case_unanswered_privilege_request_is_held() { unanswered_call_is_held AdjustTokenPrivileges /r /f; }

# A caller for whom CreateProcessAsUserW wants a privilege it lacks (a
# test-only fault refuses it with 1314): the kit removes SeShutdownPrivilege
# from its own token and starts the child with a copy of it -- the child's
# token lacks it -- while the kit still answers for the caller's token.
case_caller_without_the_quota_privilege_gets_the_kits_token() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=quota)
  local fallback=$'CreateProcessAsUserW wants a privilege the caller lacks (1314): endsession was started with a copy of the kit\'s own token, SeShutdownPrivilege removed from it\r\n'
  exe=$KIT_TARGETS_EXE
  run_kit -all run privilege
  expect_status 1
  expect_stdout "$fallback"$'no session-end call; endsession exited 11\r\n'
  exe=$ENDSESSION_EXE
  run_kit -all,+relay run /r /f
  expect_status 0
  expect_stdout $'endsession asked to enable SeShutdownPrivilege: answered by the kit (the caller\'s token holds it: yes)\r\n'"$fallback"$'endsession would call ExitWindowsEx(0x00000006, 0x00000000)\r\nstopped before the call: nothing was ended\r\n'
  local kit_thread
  kit_thread=$(grep -m1 'Call KERNEL32\.WaitForDebugEvent(' "$err_file" | cut -d: -f1)
  grep -q -E "^$kit_thread:Call advapi32\.AdjustTokenPrivileges\(" "$err_file" || fail "the kit removed no privilege"
  expect_nothing_ended
}

# selftest's many runs under that fallback: the kit's token lacks the
# privilege after the first, and each answer is still the caller's reading.
case_selftest_under_the_quota_fallback_answers_for_the_caller() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=quota)
  run_kit -all,+loaddll selftest
  expect_status 0
  [ "$(tail -1 "$out_file")" = $'11 passed, 0 failed, 0 skipped\r' ] || fail "selftest: $(cat "$out_file")"
  expect_nothing_ended
}

# A removal that does not take (a test-only fault asks for no change, as
# Wine never refuses one) leaves no token barrier: the kit refuses to run.
case_privilege_still_held_after_the_removal_is_refused() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=quota,keep-privilege)
  run_kit -all,+relay run /r /f
  expect_status 4
  expect_stdout $'endsession-check: cannot check here: a barrier could not be set up: the token (error 1314)\r\n'
  if grep -q 'Call KERNEL32\.CreateProcessW(.*endsession\.exe' "$err_file"; then fail "endsession was started"; fi
  expect_nothing_ended
}

# The caller's job is to hold endsession where no breakaway is allowed: a
# kit that wrongly takes itself for one in such a job (a test-only fault)
# finds the child in no job before it runs, ends it and says so.
case_child_outside_the_callers_job_is_ended() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=phantom-job)
  run_kit -all,+relay run /r /f
  expect_status 4
  expect_stdout $'endsession-check: cannot check here: endsession is in no job, though the caller\'s job was to hold it\r\n'
  if grep -q 'Call advapi32\.AdjustTokenPrivileges(' "$err_file"; then fail "endsession ran"; fi
  expect_nothing_ended
}

# The kit's own faults, shown with tools that are not endsession.
target_run() {  # target_run EXPECTED-STATUS EXPECTED-TEXT TOOL ARGS...
  local want=$1 text=$2
  exe=$3
  shift 3
  run_kit -all,+loaddll run "$@"
  [ "$status" -eq "$want" ] || fail "$(basename "$exe") $*: status $status, expected $want: $(cat "$out_file")"
  grep -qF "$text" "$out_file" || fail "$(basename "$exe") $*: no '$text': $(cat "$out_file")"
  expect_nothing_ended
}
# The AdjustTokenPrivileges answer: TRUE in RAX and 0 in the TEB's last error.
case_privilege_answer_is_true_with_last_error_zero() {
  target_run 0 'endsession would call ExitWindowsEx(0x00000000, 0x00000000)' "$KIT_TARGETS_EXE" probe-adjust
}
case_tool_exiting_0_without_a_call_is_a_miss() {
  target_run 3 'endsession exited 0: a session-end call was not intercepted' "$EMPTY_PROGRAM_EXE" /s
}
case_tool_with_its_own_breakpoint_is_stopped() {
  target_run 3 'a breakpoint the kit did not plant' "$KIT_TARGETS_EXE" break
}
case_tool_that_hangs_times_out() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=short-timeout)
  target_run 3 'timed out' "$KIT_TARGETS_EXE" hang
}

# selftest fails a tool whose refusal differs by one byte, and reports a
# planted miss as the kit's fault (3), not as a difference (1).
case_selftest_fails_a_different_refusal() {
  changed_tool endsession-other-text.exe 's/invalid arguement/invalid arguemenT/'
  run_kit -all selftest
  expect_status 1
  [ "$(grep -c '^FAIL  .*different output' "$out_file")" -eq 3 ] || fail "selftest: $(cat "$out_file")"
}
case_selftest_reports_a_planted_miss_as_the_kits_fault() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT=clobber)
  run_kit -all,+relay selftest
  expect_status 3
  expect_nothing_ended
  expect_held_before_the_kill
}

# The kit's system texts in the console's code page: French (OEM 850).
case_selftest_in_french_on_a_station_of_its_own() {
  run_env=(LC_ALL= LANG=fr_FR.UTF-8 LOCPATH="$E2E_LOCALES")
  run_kit -all,+loaddll selftest --station
  expect_status 0
  [ "$(tail -1 "$out_file")" = $'11 passed, 0 failed, 0 skipped\r' ] || fail "selftest: $(cat "$out_file")"
  expect_nothing_ended
}

# The README's scheduled-task recipe: the Task Scheduler starts -Execute
# with -Argument as its command line, without a shell -- so here too, split
# at the spaces -- with the kit and the tool in C:\tools; its redirection
# must still write the file.
case_readme_task_recipe_writes_its_file() {
  local recipe tools=$E2E_PREFIX/drive_c/tools
  recipe=$(sed -n "s/^\$action = New-ScheduledTaskAction -Execute \([^ ]*\) -Argument '\([^']*\)'\$/\1 \2/p" \
    "$ENDSESSION_SOURCE_DIR/README.md")
  [ -n "$recipe" ] || { fail "no New-ScheduledTaskAction -Execute ... -Argument '...' recipe in the README"; return; }
  grep -q '^Register-ScheduledTask .*-Action \$action' "$ENDSESSION_SOURCE_DIR/README.md" &&
    grep -q '^Start-ScheduledTask ' "$ENDSESSION_SOURCE_DIR/README.md" || fail "the recipe does not register and start it"
  if grep -q '^schtasks ' "$ENDSESSION_SOURCE_DIR/README.md"; then fail "the README still runs schtasks"; fi
  mkdir -p "$tools" && rm -f "$tools/check.txt"
  cp "$kit" "$tools/endsession-check.exe" && cp "$ENDSESSION_EXE" "$tools/endsession.exe"
  local words
  read -r -a words <<<"$recipe"
  WINEPREFIX="$E2E_PREFIX" WINEDEBUG=-all "$WINE" "${words[@]}" >"$out_file" 2>"$err_file"
  wait_for_server "$E2E_PREFIX"
  [ -s "$tools/check.txt" ] || fail "the recipe wrote no C:\\tools\\check.txt: $(cat "$out_file")"
  [ "$(tail -1 "$tools/check.txt")" = $'11 passed, 0 failed, 0 skipped\r' ] || fail "check.txt: $(cat "$tools/check.txt")"
  rm -rf "$tools"
}

run_cases "$@"
