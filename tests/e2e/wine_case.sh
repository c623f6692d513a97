# Shared by the end-to-end case files: runs the real endsession.exe under Wine
# and checks its stdout byte for byte, its stderr and its exit status.
#
# A case file defines functions named case_<name> and ends with
# `run_cases "$@"`: `--list` prints the case names (CTest registers one test
# per name), a name runs that case. Set by CTest: ENDSESSION_EXE, WINE,
# WINESERVER, E2E_PREFIX (a ready prefix) and E2E_PREFIX_NO_WINEBOOT (the
# same prefix without system32/wineboot.exe, where ExitWindowsEx fails).

set -u

failures=0
out_file=$(mktemp) err_file=$(mktemp)
display_pid=''
trap 'stop_display; rm -f "$out_file" "$err_file"' EXIT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
  # Once per run: what Wine itself said, the trace left out.
  if [ -z "$err_shown" ]; then
    err_shown=yes
    grep -v -E '^[0-9a-f]+:(trace|Call|Ret |warn|fixme|err):' "$err_file" | head -10 | sed 's/^/  stderr: /' >&2
  fi
}
err_shown=''

# wine_run DEBUG COMMAND...: runs COMMAND (a Wine start, stdout and stderr to
# the case's files), sets $status. A traced run in which no Windows code ran
# at all -- nothing on stdout, not one trace line -- was Wine failing to
# start the process, which tells nothing of the program: seen once in a
# loaded CI run. It is said, and run again, at most three times in all.
wine_run() {
  local debug=$1 attempt
  shift
  for attempt in 1 2 3; do
    "$@" >"$out_file" 2>"$err_file"
    status=$?
    err_shown=''
    [ "$debug" != "${debug#*+}" ] && [ ! -s "$out_file" ] || return 0
    grep -q -E '^[0-9a-f]+:(trace|Call|Ret )' "$err_file" && return 0
    echo "Wine started nothing (status $status) on attempt $attempt: $(head -c 300 "$err_file")" >&2
  done
}

# The executable a case runs (a test-only variant, or one copied elsewhere),
# extra environment for Wine (a locale, DLL overrides), and how to start it:
# directly, or through the launcher (variants/launcher.cc) with its mode and
# application name, e.g. launch=(station:e2e -).
exe=${ENDSESSION_EXE:-}
run_env=()
launch=()

# The program name as Wine hands it to the program: the DOS path on drive Z:.
program_name() {
  echo "Z:${exe//\//\\}"
}

# The usage text as msvcrt's text mode writes it: each \n as CRLF, for the
# program name $1. (Kept in a variable: command substitution would drop the
# final line end.)
usage_for() {
  printf -v usage_crlf 'Usage %s: [/f] [ /r | /s | /p | /l ]\r\n\t/r reboot\r\n\t/s shutdown\r\n\t/p poweroff\r\n\t/l logoff\r\n\t/f force one of the above operations\r\n' "$1"
}
usage_for "$(program_name)"

# run_tool PREFIX WINEDEBUG-VALUE ARGS...: runs $exe; stdout, stderr, status
# kept. Through the launcher, the command line is the quoted program name and
# ARGS, joined by spaces ($command_line, when set, replaces it).
run_tool() {
  local prefix=$1 debug=$2
  shift 2
  local start=("$exe" "$@")
  if [ ${#launch[@]} -gt 0 ]; then
    local IFS=' '
    start=("$LAUNCHER_EXE" "${launch[@]}" "${command_line:-\"$(program_name)\" $*}")
  fi
  wine_run "$debug" env "${run_env[@]}" WINEPREFIX="$prefix" WINEDEBUG="$debug" "$WINE" "${start[@]}"
}

# system_text PREFIX CODE-PAGE [CODE]: the system's text (for CODE, or for a
# refused ExitWindowsEx) in CODE-PAGE as text mode writes it (each LF as
# CRLF), computed without the tool: Wine's UTF-16 text, converted by iconv.
# Now and then (twice in some 200 runs here) the helper's run under Wine
# writes nothing at all: it is tried again before a case compares with it.
system_text() {
  local prefix=$1 code_page=$2 text attempt
  shift 2
  text=$(mktemp)
  for attempt in 1 2 3; do
    env "${run_env[@]}" WINEPREFIX="$prefix" WINEDEBUG=-all "$WINE" "$SYSTEM_TEXT_EXE" "$@" >"$text" 2>/dev/null
    [ -s "$text" ] && break
  done
  iconv -f UTF-16LE -t "$code_page" <"$text" | perl -0777 -pe 's/\n/\r\n/g'
  rm -f "$text"
}

# skip REASON: the case cannot run here; CTest reports it skipped (77).
skip() {
  echo "skipped: $*"
  exit 77
}

# start_display: an Xvfb display of the case's own for $E2E_PREFIX, whose
# server is restarted on it: the desktop takes the display of the server's
# first process, and the launcher's test shell (SetShellWindow) needs one.
# Skips the case where Xvfb is missing (scripts/install-deps installs it).
start_display() {
  command -v Xvfb >/dev/null || skip "no Xvfb for a desktop shell window"
  WINEPREFIX=$E2E_PREFIX "$WINESERVER" -k 2>/dev/null
  wait_for_server "$E2E_PREFIX"
  local number
  number=$(mktemp)
  Xvfb -displayfd 3 -nolisten tcp -screen 0 640x480x16 3>"$number" >/dev/null 2>&1 &
  display_pid=$!
  for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$number")
  rm -f "$number"
  [ "$DISPLAY" != : ] || { fail "Xvfb gave no display"; return 1; }
}

# Ends the prefix's server on the display, then the display, so that the
# next case starts the server without one.
stop_display() {
  [ -n "$display_pid" ] || return 0
  WINEPREFIX=$E2E_PREFIX "$WINESERVER" -k 2>/dev/null
  wait_for_server "$E2E_PREFIX"
  kill "$display_pid" 2>/dev/null
  wait "$display_pid" 2>/dev/null
  display_pid=''
  unset DISPLAY
}

# Waits until the prefix's server and everything it runs has ended.
wait_for_server() {
  WINEPREFIX=$1 "$WINESERVER" -w
}

# Starts the prefix's services untraced, so that a traced run that follows
# records only the tool itself (and what it starts).
# Neither may hold the case's stdout or stderr open: CTest waits for every
# process holding them before it ends the case.
warm_server() {
  WINEPREFIX=$1 WINEDEBUG=-all "$WINESERVER" -p3 >/dev/null 2>&1
  WINEPREFIX=$1 WINEDEBUG=-all "$WINE" cmd /c rem >/dev/null 2>&1
}

# run_traced ARGS...: runs $exe in $E2E_PREFIX with a +relay trace on
# stderr. When the trace shows a session-end request, it waits for the
# server: the session end goes on after the tool has returned, and the next
# case must not run into it. Otherwise the warm server serves the next case.
run_traced() {
  warm_server "$E2E_PREFIX"
  run_tool "$E2E_PREFIX" -all,+relay "$@"
  if grep -q 'Call user32\.ExitWindowsEx(' "$err_file"; then
    wait_for_server "$E2E_PREFIX"
  fi
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

expect_stdout() {
  local expected=$1
  if ! cmp -s "$out_file" <(printf '%s' "$expected"); then
    fail "stdout differs"
    echo "--- expected" >&2; printf '%s' "$expected" | od -c | head -20 >&2
    echo "--- actual" >&2; od -c "$out_file" | head -20 >&2
  fi
}

# expect_stdout_file FILE: stdout is FILE's bytes.
expect_stdout_file() {
  if ! cmp -s "$out_file" "$1"; then
    fail "stdout differs"
    echo "--- expected" >&2; od -c "$1" | head -20 >&2
    echo "--- actual" >&2; od -c "$out_file" | head -20 >&2
  fi
}

# expect_message MESSAGE-PREFIX CODE SUFFIX: stdout is MESSAGE-PREFIX, the
# system's text for CODE (in $E2E_PREFIX, code page 437) and SUFFIX.
expect_message() {
  local expected
  expected=$(mktemp)
  { printf '%s' "$1"; system_text "$E2E_PREFIX" CP437 "$2"; printf '%s' "$3"; } >"$expected"
  expect_stdout_file "$expected"
  rm -f "$expected"
}

expect_stderr_empty() {
  [ -s "$err_file" ] && { fail "stderr not empty:"; head -5 "$err_file" >&2; }
  return 0
}

# The tool's main thread in a +relay trace: the last one where the mingw-w64
# start-up asks msvcrt for the arguments (Wine's own programs start through
# ucrtbase or their own code; the launcher, if any, asks first).
tool_thread() {
  grep '^[0-9a-f]*:Call msvcrt\.__wgetmainargs(' "$err_file" | tail -1 | cut -d: -f1
}

# The tool's own calls of interest from a +relay trace, without the pointer
# arguments and return addresses that vary: only the tool's main thread is
# looked at.
traced_calls() {
  local thread
  thread=$(tool_thread)
  [ -n "$thread" ] || { echo "no trace of the tool's main thread" >&2; return; }
  grep -E "^$thread:Call (advapi32|user32|wtsapi32|KERNEL32)\.(OpenProcessToken|LookupPrivilegeValueA|AdjustTokenPrivileges|GetProcessWindowStation|GetUserObjectInformationW|GetTokenInformation|EqualSid|LookupAccountSidW|LookupAccountNameW|WTSQuerySessionInformationW|WTSFreeMemory|CompareStringOrdinal|GetShellWindow|GetWindowThreadProcessId|OpenProcess|ExitWindowsEx|InitiateShutdownW)\(" "$err_file" |
    sed -E 's/^[0-9a-f]+:Call //; s/ ret=[0-9a-f]+$//'
}

# The calls that open the token, enable the privilege, ask for the window
# station's flags, and -- on the visible station -- for its user, the
# token's logon SID (TokenLogonSid, 0x1c) and user (TokenUser, 1), and for
# the desktop's shell window. Without one (Wine's own desktop has none): the
# terminal session's user and domain (WTSUserName 5, WTSDomainName 7, of
# this server's and process's own session), the token's account names,
# compared ignoring case. With one (the launcher's test shell): the shell's
# process and its token (for TOKEN_QUERY), both logon sessions
# (TokenStatistics, 0xa), no session names. Their varying pointers, handles
# and ids as '*', from traced_calls, and a comparison of two equal names as
# 'same'. A log-off makes no privilege calls.
token_call='advapi32.OpenProcessToken(ffffffffffffffff,00000028,*)'
privilege_calls=$(printf '%s\n' \
  'advapi32.LookupPrivilegeValueA(00000000,* "SeShutdownPrivilege",*)' \
  'advapi32.AdjustTokenPrivileges(*,00000000,*,00000000,00000000,00000000)')
station_calls=$(printf '%s\n' \
  'user32.GetProcessWindowStation()' \
  'user32.GetUserObjectInformationW(*,00000001,*,0000000c,*)')
station_user_calls=$(printf '%s\n' \
  'user32.GetUserObjectInformationW(*,00000004,*,00000044,*)' \
  'advapi32.GetTokenInformation(*,0000001c,*,00000060,*)' \
  'advapi32.GetTokenInformation(*,00000001,*,00000060,*)' \
  'user32.GetShellWindow()')
user_calls=$station_user_calls$'\n'$(printf '%s\n' \
  'wtsapi32.WTSQuerySessionInformationW(00000000,ffffffff,00000005,*,*)' \
  'wtsapi32.WTSQuerySessionInformationW(00000000,ffffffff,00000007,*,*)' \
  'advapi32.LookupAccountSidW(00000000,*,*,*,*,*,*)' \
  'KERNEL32.CompareStringOrdinal(* same,ffffffff,* same,ffffffff,00000001)' \
  'KERNEL32.CompareStringOrdinal(* same,ffffffff,* same,ffffffff,00000001)' \
  'wtsapi32.WTSFreeMemory(*)' \
  'wtsapi32.WTSFreeMemory(*)')
shell_calls=$station_user_calls$'\n'$(printf '%s\n' \
  'user32.GetWindowThreadProcessId(*,*)' \
  'KERNEL32.OpenProcess(00001000,00000000,*)' \
  'advapi32.OpenProcessToken(*,00000008,*)' \
  'advapi32.GetTokenInformation(*,0000000a,*,00000038,*)' \
  'advapi32.GetTokenInformation(*,0000000a,*,00000038,*)')
privilege_and_station_calls=$token_call$'\n'$privilege_calls$'\n'$station_calls
masked_calls() {
  traced_calls | sed -E 's/^(advapi32\.OpenProcessToken\(ffffffffffffffff,00000028,)[0-9a-f]+\)/\1*)/;
    s/^(advapi32\.LookupPrivilegeValueA\(00000000,)[0-9a-f]+ ("SeShutdownPrivilege",)[0-9a-f]+\)/\1* \2*)/;
    s/^(advapi32\.AdjustTokenPrivileges\()[0-9a-f]+,00000000,[0-9a-f]+,/\1*,00000000,*,/;
    s/^(user32\.GetUserObjectInformationW\()[0-9a-f]+,(0000000[14]),[0-9a-f]+,(000000[0-9a-f]{2}),[0-9a-f]+\)/\1*,\2,*,\3,*)/;
    s/^(advapi32\.GetTokenInformation\()[0-9a-f]+,(000000[0-9a-f]{2}),[0-9a-f]+,(000000[0-9a-f]{2}),[0-9a-f]+\)/\1*,\2,*,\3,*)/;
    s/^(wtsapi32\.WTSQuerySessionInformationW\(00000000,ffffffff,0000000[57]),[0-9a-f]+,[0-9a-f]+\)/\1,*,*)/;
    s/^(advapi32\.LookupAccountSidW\(00000000)(,[0-9a-f]+){6}\)/\1,*,*,*,*,*,*)/;
    s/^(KERNEL32\.CompareStringOrdinal\()[0-9a-f]+ (L"[^"]*"),ffffffff,[0-9a-f]+ \2,/\1* same,ffffffff,* same,/;
    s/^(wtsapi32\.WTSFreeMemory\()[0-9a-f]+\)/\1*)/;
    s/^(user32\.GetWindowThreadProcessId\()[0-9a-f]+,[0-9a-f]+\)/\1*,*)/;
    s/^(KERNEL32\.OpenProcess\(00001000,00000000,)[0-9a-f]+\)/\1*)/;
    s/^(advapi32\.OpenProcessToken\()[0-9a-f]+(,00000008,)[0-9a-f]+\)/\1*\2*)/'
}

# expect_calls EXPECTED: the masked calls are EXPECTED, one per line.
expect_calls() {
  local actual
  actual=$(masked_calls)
  if [ "$actual" != "$1" ]; then
    fail "calls differ"
    printf -- '--- expected\n%s\n--- actual\n%s\n' "$1" "$actual" >&2
  fi
}

expect_no_system_calls() {
  local calls
  calls=$(traced_calls)
  [ -z "$calls" ] || fail "a refused line made system calls: $calls"
}

# Relay output aside, the tool wrote nothing on stderr: every line is a trace
# line of some thread ("<thread-id>:..."), and those of the tool's main
# thread are calls, returns and relay notes. The tool's own writes carry no
# thread prefix at all. The relay's notes on window procedures and drivers
# of Wine's own processes (those a session end restarts) have none either.
expect_stderr_only_trace() {
  local thread
  thread=$(tool_thread)
  [ -n "$thread" ] || fail "no trace of the tool's main thread"
  local other
  other=$(grep -v -E '^([0-9a-f]+:|(Call|Ret ) (window proc|driver (init|unload)) )' "$err_file" | head -5)
  [ -z "$other" ] || fail "stderr holds more than the trace: $other"
  other=$(grep "^$thread:" "$err_file" | grep -v -E "^$thread:(Call |Ret  |trace:relay:|Starting thread )" | head -5)
  [ -z "$other" ] || fail "stderr beyond the trace: $other"
}

# accepted FLAGS-HEX ARGS...: a traced run of $exe is accepted -- status 0,
# no output -- after the token, privilege (not for a log-off), window-station
# and user calls ($who_calls: the session's account, or the shell's logon
# session) in order, with ExitWindowsEx and the flags FLAGS-HEX.
who_calls=$user_calls
accepted() {
  local flags=$1
  shift
  run_traced "$@"
  expect_status 0
  expect_stdout ""
  expect_stderr_only_trace
  local calls=$privilege_and_station_calls
  case $flags in 00000000 | 00000004) calls=$token_call$'\n'$station_calls ;; esac
  expect_calls "$calls"$'\n'"$who_calls"$'\n'"user32.ExitWindowsEx($flags,00000000)"
}

run_cases() {
  if [ "${1:-}" = "--list" ]; then
    declare -F | sed -n 's/^declare -f case_//p'
    return 0
  fi
  local name=$1
  declare -F "case_$name" >/dev/null || { echo "no case $name" >&2; exit 2; }
  "case_$name"
  if [ "$failures" -ne 0 ]; then
    echo "$name: $failures check(s) failed" >&2
    exit 1
  fi
  echo "$name: passed"
}
