# Shared by the checks of one of the project's own scripts, $under_test,
# given a scratch folder $work: the checking script defines
# faults_of SCRIPT, which prints what SCRIPT gets wrong, a line each, and
# nothing when it is right. `planted NAME SED-EXPRESSION MESSAGE` shows it a
# copy of $under_test one step off (SED-EXPRESSION applied), which must be
# caught by MESSAGE; a planting that changes nothing fails too.
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
planted() {
  local copy=$work/$1.sh found
  sed "$2" "$under_test" >"$copy" && chmod +x "$copy"
  cmp -s "$under_test" "$copy" && { fail "planting $1 changed nothing"; return; }
  found=$(faults_of "$copy")
  grep -q "$3" <<<"$found" || fail "planted $1 was not caught by '$3': ${found:-no fault seen}"
}
