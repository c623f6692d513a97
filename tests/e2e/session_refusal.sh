# A session end the system refuses (a prefix without wineboot.exe): the
# system's text framed by "Can not reboot: " and one more line end, status 1.
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

run_cases "$@"
