#!/usr/bin/env bash
# The end-to-end harness's wine_run (tests/e2e/wine_case.sh), given stand-in
# starts instead of Wine:
# - a traced start that left no stdout and no trace line is run again, at
#   most three times in all;
# - a start that left a trace line, or stdout, or was not traced, counts as
#   it stands;
# - the first failed check of a run shows its stderr once, trace left out.
# The same checks are then shown copies of wine_case.sh, each one step off;
# each must be caught by its own message. No Wine needed.
# Usage: wine_run_retries.sh WINE-CASE-SCRIPT WORK-DIR
set -u
under_test=$1 work=$2
. "$(dirname "$0")/script_plantings.sh"
trap 'rm -rf "$work"' EXIT
rm -rf "$work" && mkdir -p "$work"

# Prints what HARNESS gets wrong, a line each; nothing when it is right.
# Runs in a subshell: the harness's own fail() and traps stay there.
faults_of() {
  . "$1" 2>/dev/null
  local count=$work/starts
  # start DEAD TRACE OUT: fails silently (status 1, "wine: no start" on
  # stderr) for its first DEAD starts, then writes TRACE to stderr and OUT
  # to stdout, status 1.
  start() {
    echo $(($(cat "$count") + 1)) >"$count"
    if [ "$(cat "$count")" -le "$1" ]; then
      echo "wine: no start" >&2
      return 1
    fi
    [ -z "$2" ] || echo "$2" >&2
    printf '%s' "$3"
    return 1
  }
  starts() {  # DEBUG DEAD TRACE OUT EXPECTED-STARTS WHAT
    echo 0 >"$count"
    wine_run "$1" start "$2" "$3" "$4" 2>/dev/null
    [ "$(cat "$count")" -eq "$5" ] || echo "$6 was started $(cat "$count") times, not $5"
  }
  local trace='0024:trace:loaddll:build_module Loaded L"kernel32.dll"'
  starts -all,+loaddll 1 "$trace" ok 2 'a traced start that left nothing'
  [ "$(cat "$out_file")" = ok ] || echo "the run again left '$(cat "$out_file")', not ok"
  starts -all,+loaddll 0 "$trace" '' 1 'a traced run with a trace line'
  starts -all,+loaddll 0 '' ok 1 'a traced run with stdout'
  starts -all 9 '' '' 1 'an untraced run'
  starts -all,+relay 9 '' '' 3 'a start that never ran'
  [ "${status:-none}" = 1 ] || echo "the status of a start that never ran is ${status:-none}, not 1"
  echo "$trace" >>"$err_file"
  local shown
  shown=$({ fail one; fail two; } 2>&1 | grep -c '^  stderr: ')
  [ "$shown" -eq 1 ] || echo "a failed run's stderr was shown in $shown lines, not 1"
}

faults=$(faults_of "$under_test")
[ -z "$faults" ] || fail "$faults"
planted trace_ignored "/grep -q -E '^\[0-9a-f\]+:(trace|Call|Ret )' \"\$err_file\" && return 0/d" \
  'a traced run with a trace line was started 3 times'
planted stdout_ignored 's/ && \[ ! -s "\$out_file" \] || return 0/ || return 0/' \
  'a traced run with stdout was started 3 times'
planted untraced_retried 's/\[ "\$debug" != "\${debug#\*+}" \]/[ -n "$debug" ]/' 'an untraced run was started 3 times'
planted two_attempts 's/for attempt in 1 2 3; do$/for attempt in 1 2; do/' 'never ran was started 2 times, not 3'
planted trace_shown "s/grep -v -E '^\[0-9a-f\]+:(trace|/grep -v -E '^[0-9a-f]+:(tracing|/" 'shown in 2 lines, not 1'
[ $failures -eq 0 ] && echo "wine_run: a start that never ran run again, up to 3 times, others kept; 5 plantings caught"
exit $((failures > 0))
