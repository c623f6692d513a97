# A session end the system refuses (a prefix without wineboot.exe): the
# system's text framed by "Can not reboot: " and one more line end, status 1.
# A system DLL that cannot be loaded, or lacks the function, is a refusal
# too: the step's message with the loader's error, status 1, no crash.
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
  local expected
  expected=$(mktemp)
  { printf '%s' "$message"; system_text "$E2E_PREFIX" CP437 "$code"; printf '%s' "$suffix"; } >"$expected"
  run_env=(WINEDLLOVERRIDES="$overrides")
  run_tool "$E2E_PREFIX" -all "$@"
  run_env=()
  wait_for_server "$E2E_PREFIX"
  expect_status 1
  expect_stdout_file "$expected"
  rm -f "$expected"
}

case_missing_advapi32_is_reported() { unavailable advapi32=d 'OpenProcessToken: ' 126 '' /l; }
case_missing_user32_is_reported() { unavailable user32=d 'Can not reboot: ' 126 $'\r\n' /s /f; }
case_missing_function_is_reported() {
  exe=$ENDSESSION_WITHOUT_EXIT_WINDOWS_EXE
  unavailable '' 'Can not reboot: ' 127 $'\r\n' /l
}

run_cases "$@"
