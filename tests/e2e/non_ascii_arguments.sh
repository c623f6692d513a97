# Non-ASCII look-alikes of the options. The manifest makes the process code
# page UTF-8, so the system cannot best-fit "／ｓ" (fullwidth) into "/s": each
# is refused, and the trace shows no privilege or session call.
. "$(dirname "$0")/wine_case.sh"

refused_look_alike() {
  run_traced "$1"  # waits, in case the system was asked after all
  expect_status 1
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"
  expect_stderr_only_trace
  expect_no_system_calls
}

case_fullwidth_solidus_and_s() { refused_look_alike $'\uff0f\uff53'; }
case_fullwidth_s() { refused_look_alike $'/\uff53'; }
case_fullwidth_solidus_and_capital_r() { refused_look_alike $'\uff0f\uff32'; }
case_long_s() { refused_look_alike $'/\u017f'; }

run_cases "$@"
