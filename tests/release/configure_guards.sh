# What configuring and building guarantee, in a copy of the sources:
# - an edit of what the link's post-link step or the delay-load libraries
#   are made from relinks the executable: no stale one stays;
# - the release cannot ship untested: after a configure that cached the
#   end-to-end cases and the release checks off, the release's own configure
#   turns both on again, and its test step fails when it finds no tests;
# - without Wine the executable still configures (end-to-end cases skipped,
#   said once, release checks kept), and the release refuses to configure.
# Usage: configure_guards.sh SOURCE-DIR WORK-DIR
set -u
source_dir=$1 work=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work/copy"
(cd "$source_dir" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$work/copy"
cd "$work/copy"

listed() { ctest --preset "$1" -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p'; }

cmake --preset windows-x64 -DENDSESSION_E2E_TESTS=OFF -DENDSESSION_RELEASE_CHECKS=OFF >/dev/null ||
  fail "configure with the tests off failed"
[ -z "$(listed windows-x64)" ] || fail "tests listed with both switches off"
cmake --build --preset windows-x64 --target endsession >/dev/null || fail "the build failed"
for input in cmake/set_delay_import_directory.sh src/platform/delay_load/user32.def; do
  touch -d '+1 minute' "$input"
  cmake --build --preset windows-x64 --target endsession | grep -q 'Linking CXX executable endsession\.exe' ||
    fail "an edit of $input did not relink endsession.exe"
done
cmake --preset release >/dev/null || fail "the release configure failed"
tests=$(listed release)
grep -q '^e2e\.' <<<"$tests" || fail "the release lists no end-to-end case"
grep -q '^release\.' <<<"$tests" || fail "the release lists no release check"
ctest --preset release -R '^no test is named so$' >/dev/null 2>&1 &&
  fail "the release's test step passed without a test"
echo "release: $(wc -l <<<"$tests") tests listed after a configure that had them off"

# A machine without Wine: a PATH with every program of /usr/bin but wine*,
# and CMake kept out of the system's program folders, which it searches too.
no_wine=$work/path-without-wine
hide=-DCMAKE_IGNORE_PATH=/usr/bin\;/bin\;/usr/local/bin\;/usr/sbin\;/sbin
mkdir -p "$no_wine"
for program in /usr/bin/*; do
  case ${program##*/} in wine*) ;; *) ln -s "$program" "$no_wine/" ;; esac
done
rm -rf build
log=$(PATH=$no_wine cmake --preset windows-x64 "$hide" 2>&1) || fail "configure without Wine failed: $log"
[ "$(grep -c 'Wine not found' <<<"$log")" -eq 1 ] || fail "configure without Wine did not say so once: $log"
tests=$(PATH=$no_wine listed windows-x64)
grep -q '^e2e\.' <<<"$tests" && fail "end-to-end cases listed without Wine"
grep -q '^release\.executable$' <<<"$tests" || fail "release checks skipped without Wine"
PATH=$no_wine cmake --preset release "$hide" >/dev/null 2>&1 && fail "the release configured without Wine"
echo "without Wine: $(wc -l <<<"$tests") tests listed, none under Wine"

[ "$failures" -eq 0 ] || exit 1
echo "configure guards hold"
