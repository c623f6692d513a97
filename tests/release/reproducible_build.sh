# Two clean builds of the same sources from different folders, at different
# times, must give bit-identical executables.
# Usage: reproducible_build.sh SOURCE-DIR WORK-DIR
set -eu
source_dir=$1 work=$2
rm -rf "$work"
first=$work/a
second=$work/second-copy/with/a/longer/path
hashes=()
for copy in "$first" "$second"; do
  mkdir -p "$copy"
  (cd "$source_dir" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$copy"
  (cd "$copy" && cmake --preset windows-x64 -DENDSESSION_E2E_TESTS=OFF >/dev/null &&
    cmake --build --preset windows-x64 >/dev/null)
  hashes+=("$(sha256sum <"$copy/build/windows-x64/src/endsession.exe" | cut -d' ' -f1)")
  sleep 1  # a different build time, too
done
echo "first:  ${hashes[0]}  $first"
echo "second: ${hashes[1]}  $second"
[ "${hashes[0]}" = "${hashes[1]}" ] || { echo "FAIL: the two builds differ" >&2; exit 1; }
echo "builds are identical"
