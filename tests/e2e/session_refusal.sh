# A session end the system refuses (a prefix without wineboot.exe): the
# system's text framed by "Can not reboot: " and one more line end, status 1.
# A system DLL that cannot be loaded, or lacks the function, is a refusal
# too: the step's message with the loader's error, status 1, no crash.
# Off the interactive window station (a service, a task, SSH, WinRM; here a
# window station of the launcher's), the session end goes to
# InitiateShutdownW -- in Wine a stub that answers 120, so its success cannot
# be shown here -- and a log-off is refused; a token without the shutdown
# privilege stops a shutdown, reboot or power-off before any of it, while a
# log-off, which needs no such privilege, goes ahead.
. "$(dirname "$0")/wine_case.sh"

case_refused_session_end_is_reported() {
  run_tool "$E2E_PREFIX_NO_WINEBOOT" -all /r
  wait_for_server "$E2E_PREFIX_NO_WINEBOOT"
  expect_status 1
  expect_stderr_empty
  # The system's text keeps its own CRLF, which text mode writes as CR CR LF;
  # only the framing is the tool's.
  local output
  output=$(od -An -c "$out_file" | tr -s ' \n' ' ')
  head -c 16 "$out_file" | cmp -s - <(printf 'Can not reboot: ') || fail "no 'Can not reboot: ' prefix: $output"
  tail -c 2 "$out_file" | cmp -s - <(printf '\r\n') || fail "no CRLF at the end: $output"
  [ "$(wc -c <"$out_file")" -gt 18 ] || fail "no system text: $output"
}

# unavailable DLL-OVERRIDES MESSAGE-PREFIX CODE SUFFIX ARGS...: run with
# WINEDLLOVERRIDES=DLL-OVERRIDES, the tool prints MESSAGE-PREFIX, the
# system's text for CODE and SUFFIX. Wine's own helper processes complain on
# stderr when a DLL is disabled: stderr is theirs.
unavailable() {
  local overrides=$1 message=$2 code=$3 suffix=$4
  shift 4
  run_env=(WINEDLLOVERRIDES="$overrides")
  run_tool "$E2E_PREFIX" -all "$@"
  run_env=()
  wait_for_server "$E2E_PREFIX"
  expect_status 1
  expect_message "$message" "$code" "$suffix"
}

case_missing_advapi32_is_reported() { unavailable advapi32=d 'OpenProcessToken: ' 126 '' /l; }
# Without USER32 (Nano Server) the window station is not known: not interactive.
case_missing_user32_takes_initiate_shutdown() { unavailable user32=d 'Can not reboot: ' 120 $'\r\n' /s /f; }
case_missing_user32_refuses_a_logoff() { unavailable user32=d 'Can not reboot: ' 1459 $'\r\n' /l; }
case_missing_function_is_reported() {
  exe=$ENDSESSION_WITHOUT_SESSION_CALLS_EXE
  unavailable '' 'Can not reboot: ' 127 $'\r\n' /l
}
case_missing_function_off_the_interactive_station_is_reported() {
  exe=$ENDSESSION_WITHOUT_SESSION_CALLS_EXE
  launch=(station:e2e -)
  unavailable '' 'Can not reboot: ' 127 $'\r\n' /r
}

# launched MODE MESSAGE-PREFIX CODE SUFFIX CALLS ARGS...: a traced run through
# the launcher in MODE prints MESSAGE-PREFIX, the system's text for CODE and
# SUFFIX, status 1, after exactly the traced CALLS.
launched() {
  local mode=$1 message=$2 code=$3 suffix=$4 calls=$5
  shift 5
  launch=("$mode" -)
  run_traced "$@"
  launch=()
  expect_status 1
  expect_message "$message" "$code" "$suffix"
  expect_stderr_only_trace
  expect_calls "$calls"
}

# off_station FLAGS-HEX ARGS...: InitiateShutdownW with FLAGS-HEX and a
# planned reason (other, other: 0x80000000).
off_station() {
  local flags=$1
  shift
  launched station:e2e 'Can not reboot: ' 120 $'\r\n' \
    "$privilege_and_station_calls"$'\n'"advapi32.InitiateShutdownW(00000000,00000000,00000000,$flags,80000000)" "$@"
}
case_shutdown_off_the_interactive_station() { off_station 00000010 /s; }
case_forced_shutdown_off_the_interactive_station() { off_station 00000013 /s /f; }
case_reboot_off_the_interactive_station() { off_station 00000004 /R; }
case_forced_reboot_off_the_interactive_station() { off_station 00000007 /f /r; }
case_poweroff_off_the_interactive_station() { off_station 00000008 /p; }
case_forced_poweroff_off_the_interactive_station() { off_station 0000000b /P /F; }
logoff_off_station() { launched station:e2e 'Can not reboot: ' 1459 $'\r\n' "$token_call"$'\n'"$station_calls" "$@"; }
case_logoff_off_the_interactive_station_is_refused() { logoff_off_station /l; }
case_forced_logoff_off_the_interactive_station_is_refused() { logoff_off_station /f /l; }

case_forced_shutdown_without_the_shutdown_privilege() {
  launched restricted 'AdjustTokenPrivileges: ' 1300 '' "$token_call"$'\n'"$privilege_calls" /s /f
}
# The restricted token's log-off: no privilege asked for, ExitWindowsEx made
# (and the Wine session ended).
restricted_logoff() {
  launch=(restricted -)
  accepted "$@"
  launch=()
}
case_logoff_without_the_shutdown_privilege() { restricted_logoff 00000000 /l; }
case_forced_logoff_without_the_shutdown_privilege() { restricted_logoff 00000004 /f /l; }

run_cases "$@"
