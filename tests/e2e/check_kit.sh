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
# and selftest; stdout, stderr and status kept.
run_kit() {
  local debug=$1 command=$2
  shift 2
  [ "$debug" = -all ] || warm_server "$E2E_PREFIX"
  local tool=(--tool "$(program_name)")
  [ "$command" != context ] || tool=()
  env "${run_env[@]}" WINEPREFIX="$E2E_PREFIX" WINEDEBUG="$debug" "$WINE" "$kit" "$command" \
    "${tool[@]}" "$@" >"$out_file" 2>"$err_file"
  status=$?
  wait_for_server "$E2E_PREFIX"
}

expect_nothing_ended() {
  if grep -q 'wineboot\.exe --end-session' "$err_file"; then fail "the session was ended"; fi
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
  if grep -q "Ret  [a-z0-9]*\.$function(" "$err_file"; then fail "$function returned"; fi
  expect_nothing_ended
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
  local expected
  expected=$(mktemp)
  { printf 'Can not reboot: '; system_text "$E2E_PREFIX" CP437 1459; printf '\r\nno session-end call; endsession exited 1\r\n'; } >"$expected"
  expect_stdout_file "$expected"
  rm -f "$expected"
}

selftest_passes() {
  run_kit -all selftest "$@"
  expect_status 0
  [ "$(tail -1 "$out_file")" = $'11 passed, 0 failed\r' ] || fail "selftest: $(cat "$out_file")"
  expect_nothing_ended
}
case_selftest_passes() { selftest_passes; }
case_selftest_passes_on_a_station_of_its_own() { selftest_passes --station; }

case_context_shows_the_interactive_user() {
  run_kit -all context
  expect_status 0
  # Wine does not answer UOI_USER_SID: the visible station decides.
  # Nor has it a shell window: the session's user decides, by name.
  for line in 'window station: WinSta0, visible' 'window station user: unknown (error 87)' 'interactive user: yes' \
    "account is the session's: yes, by name" 'desktop shell user: none (no shell window)' \
    'endsession /s /f  ExitWindowsEx(0x00000005, 0x00000000)'; do
    grep -qxF "$line"$'\r' "$out_file" || fail "context lacks '$line': $(cat "$out_file")"
  done
  # The token's account and the session's user, both DOMAIN\name, the same;
  # the logon session as two hex halves.
  local account session
  account=$(sed -n 's/^token account: \(.*\\.*\)\r$/\1/p' "$out_file")
  session=$(sed -n 's/^session user: \(.*\)\r$/\1/p' "$out_file")
  [ -n "$account" ] && [ "$account" = "$session" ] || fail "token account '$account', session user '$session'"
  grep -qE '^logon session: 0x[0-9a-f]+:0x[0-9a-f]{8}'$'\r''$' "$out_file" || fail "no logon session: $(cat "$out_file")"
}

# A kit without the tool says so, and starts nothing.
case_missing_tool_is_named() {
  exe=$E2E_SCRATCH/no-such-folder/endsession.exe
  run_kit -all run /l
  expect_status 2
  expect_stdout $'endsession-check: no endsession.exe there (error 3): put it beside the kit or name it with --tool\r\n'
}

# The fail-safe: a breakpoint not planted, clobbered after planting, or a
# module the kit has no room to record kills the child before anything
# ends (never status 0).
planted_miss() {
  kit=$ENDSESSION_CHECK_WITH_FAULTS_EXE
  run_env=(ENDSESSION_CHECK_FAULT="$1")
  run_kit -all,+relay run /l
  [ "$status" -eq "$2" ] || fail "fault $1: status $status, expected $2: $(cat "$out_file")"
  if grep -q 'Call user32\.ExitWindowsEx(' "$err_file"; then fail "ExitWindowsEx was reached"; fi
  expect_nothing_ended
}
case_unplanted_breakpoint_stops_the_tool() { planted_miss skip-plant 4; }
case_clobbered_breakpoint_stops_the_tool() { planted_miss clobber 3; }
case_full_module_table_stops_the_tool() { planted_miss few-modules 4; }

# A tool whose /s asks for a reboot: its selftest cases /s and /s /f fail.
case_tool_with_a_wrong_flag_fails_the_selftest() {
  mkdir -p "$E2E_SCRATCH"
  exe=$E2E_SCRATCH/endsession-wrong-flag.exe
  perl -0777 -pe 's{/s\0(.)\x01\0\0\0}{/s\0$1\x02\0\0\0}s or die "no /s entry"' "$ENDSESSION_EXE" >"$exe" ||
    fail "the wrong flag could not be planted"
  run_kit -all selftest
  expect_status 1
  grep -q '^FAIL  /s  .*ExitWindowsEx(0x00000002, 0x00000000).*expected ExitWindowsEx(0x00000001, 0x00000000)' "$out_file" ||
    fail "selftest did not fail /s: $(cat "$out_file")"
  grep -qF $'9 passed, 2 failed\r' "$out_file" || fail "selftest count: $(tail -1 "$out_file")"
}

run_cases "$@"
