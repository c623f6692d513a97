# Command lines near Windows' 32,767-character limit are answered exactly as
# short ones are.
. "$(dirname "$0")/wine_case.sh"

case_one_argument_of_30000_characters() {
  local argument
  argument=$(head -c 30000 /dev/zero | tr '\0' 's')
  run_tool "$E2E_PREFIX" -all "/$argument"
  expect_status 1
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"
  expect_stderr_empty
}

case_ten_thousand_forces_then_an_operation() {
  local arguments=()
  for ((i = 0; i < 10000; i++)); do arguments+=(/f); done
  run_traced "${arguments[@]}" /L
  expect_status 0
  expect_stdout ""
  traced_calls | grep -qx 'user32.ExitWindowsEx(00000004,00000000)' ||
    fail "no forced log-off in the trace: $(traced_calls | tail -1)"
}

case_ten_thousand_forces_alone() {
  local arguments=()
  for ((i = 0; i < 10000; i++)); do arguments+=(/F); done
  run_tool "$E2E_PREFIX" -all "${arguments[@]}"
  expect_status 1
  expect_stdout $'need operation\r\n'"$usage_crlf"
  expect_stderr_empty
}

run_cases "$@"
