# A standard output that is closed or full must not change the outcome: no
# crash, the exit status the command line calls for, nothing on stderr.
# Usage: output_failures.sh PROGRAM [RUNNER...]   (RUNNER: e.g. wine)
# With a runner (Wine), an accepted line really ends that session.
set -u
program=$1
shift
runner=("$@")
failures=0
err=$(mktemp)
trap 'rm -f "$err"' EXIT

expect() {  # expect STATUS REDIRECTION ARGS...
  local expected=$1 redirection=$2
  shift 2
  local status
  case $redirection in
    closed) "${runner[@]}" "$program" "$@" >&- 2>"$err"; status=$? ;;
    full) "${runner[@]}" "$program" "$@" >/dev/full 2>"$err"; status=$? ;;
  esac
  [ -n "${WINESERVER:-}" ] && "$WINESERVER" -w
  if [ "$status" -ne "$expected" ] || [ -s "$err" ]; then
    echo "FAIL: stdout $redirection, arguments '$*': status $status (expected $expected), stderr: $(head -c 300 "$err")" >&2
    failures=$((failures + 1))
  else
    echo "ok: stdout $redirection, arguments '$*': status $status"
  fi
}

for redirection in closed full; do
  expect 1 "$redirection"
  expect 1 "$redirection" /x
  expect 1 "$redirection" /f
done
if [ ${#runner[@]} -eq 0 ]; then
  # Natively the stand-in system refuses the session end: a message, status 1.
  expect 1 closed /l
  expect 1 full /r /f
else
  expect 0 closed /l
  expect 0 full /l /f  # nothing to print: the full device is never written
fi
[ "$failures" -eq 0 ]
