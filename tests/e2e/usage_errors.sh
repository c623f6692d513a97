# Refused command lines: the message, the usage text, exit status 1, nothing on
# stderr, and (traced) no privilege or session call at all.
. "$(dirname "$0")/wine_case.sh"

refused() {  # refused MESSAGE ARGS...
  local message=$1
  shift
  run_tool "$E2E_PREFIX" -all "$@"
  expect_status 1
  expect_stdout "$message$usage_crlf"
  expect_stderr_empty
}

invalid=$'invalid arguement\r\n'

case_no_arguments() { refused $'must supply an arguement\r\n'; }
case_force_alone() { refused $'need operation\r\n' /f; }
case_force_twice() { refused $'need operation\r\n' /F /f; }
case_dash_option() { refused "$invalid" -s; }
case_long_option() { refused "$invalid" /shutdown; }
case_bare_letter() { refused "$invalid" s; }
case_option_with_colon() { refused "$invalid" /s:; }
case_empty_argument() { refused "$invalid" ""; }
case_trailing_space() { refused "$invalid" "/s "; }
case_same_operation_twice() { refused "$invalid" /s /s; }
case_second_operation() { refused "$invalid" /s /r; }
case_unknown_before_operation() { refused "$invalid" /x /s; }
case_unknown_after_operation() { refused "$invalid" /s /x; }
# Globbing would turn "/?" into "/l" where the current folder holds a file
# "l": a request for help would log the user off.
case_question_mark_is_not_expanded_into_an_option() {
  touch "$E2E_PREFIX/drive_c/l"
  (cd "$E2E_PREFIX/drive_c" && run_traced '/?' && declare -p status >"$out_file.status")
  . "$out_file.status"
  rm -f "$E2E_PREFIX/drive_c/l" "$out_file.status"
  expect_status 1
  expect_stdout "$invalid$usage_crlf"
  expect_stderr_only_trace
  expect_no_system_calls
}

case_refused_line_makes_no_system_call() {
  run_traced /s /x
  expect_status 1
  expect_stdout "$invalid$usage_crlf"
  grep -q -E 'Call msvcrt\.(printf|exit)' "$err_file" || fail "trace does not show the tool's own run"
  expect_stderr_only_trace
  expect_no_system_calls
}

# ADVAPI32, USER32 and WTSAPI32 are delay-loaded: a refused line loads none
# of them (the loader's trace of the tool's process), a session end all three.
loaded_dlls() {
  local process
  process=$(grep -m1 'loaddll:.*Loaded L".*endsession\.exe"' "$err_file" | cut -d: -f1)
  grep "^$process:trace:loaddll:" "$err_file" | sed -n 's/.*system32\\\\\([A-Za-z0-9]*\)\.dll".*/\1/p' |
    tr 'a-z' 'A-Z' | grep -E '^(ADVAPI32|USER32|WTSAPI32)$' | sort | tr '\n' ' '
}
case_refused_line_loads_no_delay_loaded_dll() {
  warm_server "$E2E_PREFIX_NO_WINEBOOT"
  run_tool "$E2E_PREFIX_NO_WINEBOOT" -all,+loaddll /s /x
  expect_status 1
  [ -z "$(loaded_dlls)" ] || fail "a refused line loaded $(loaded_dlls)"
  run_tool "$E2E_PREFIX_NO_WINEBOOT" -all,+loaddll /s /f
  wait_for_server "$E2E_PREFIX_NO_WINEBOOT"
  expect_status 1
  [ "$(loaded_dlls)" = "ADVAPI32 USER32 WTSAPI32 " ] || fail "a session end loaded '$(loaded_dlls)'"
}

run_cases "$@"
