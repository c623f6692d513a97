# Non-ASCII look-alikes of the options. The manifest makes the process code
# page UTF-8, so the system cannot best-fit "／ｓ" (fullwidth) into "/s": each
# is refused, and the trace shows no privilege or session call.
. "$(dirname "$0")/wine_case.sh"

refused_look_alike() {
  warm_server "$E2E_PREFIX"
  run_tool "$E2E_PREFIX" -all,+relay "$1"
  local run_status=$status
  wait_for_server "$E2E_PREFIX"  # in case the system was asked after all
  status=$run_status
  expect_status 1
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"
  expect_stderr_only_trace
  local calls
  calls=$(traced_calls)
  [ -z "$calls" ] || fail "a refused line made system calls: $calls"
}

case_fullwidth_solidus_and_s() { refused_look_alike $'\uff0f\uff53'; }
case_fullwidth_s() { refused_look_alike $'/\uff53'; }
case_fullwidth_solidus_and_capital_r() { refused_look_alike $'\uff0f\uff32'; }
case_long_s() { refused_look_alike $'/\u017f'; }

run_cases "$@"
