# Two release builds of the same sources (the working tree with its git
# history, so the commit time is the release's epoch) from different
# folders, at different times, must give bit-identical executables, zips,
# MSIs, SBOMs and SHA256SUMS.
# Usage: reproducible_build.sh SOURCE-DIR WORK-DIR
set -eu
source_dir=$1 work=$2
rm -rf "$work"
unset ENDSESSION_SIGNING ENDSESSION_TIMESTAMP_URL
first=$work/a
second=$work/second-copy/with/a/longer/path
for copy in "$first" "$second"; do
  mkdir -p "$copy"
  (cd "$source_dir" && tar --exclude=./build -cf - .) | tar -xf - -C "$copy"
  (cd "$copy" && cmake --preset windows-x64 -DENDSESSION_E2E_TESTS=OFF -DENDSESSION_RELEASE_CHECKS=OFF >/dev/null &&
    cmake --build --preset windows-x64 >/dev/null &&
    cpack --config build/windows-x64/CPackConfig.cmake -B build/release >/dev/null)
  sleep 1  # a different build time, too
done
failures=0
for artifact in windows-x64/src/endsession.exe release/SHA256SUMS $(cd "$first/build" && ls release/endsession-*); do
  a=$(sha256sum <"$first/build/$artifact" | cut -d' ' -f1)
  b=$(sha256sum <"$second/build/$artifact" | cut -d' ' -f1)
  echo "$a  $(stat -c %s "$first/build/$artifact") B  ${artifact##*/}"
  [ "$a" = "$b" ] || { echo "FAIL: ${artifact##*/} differs: $b in $second" >&2; failures=$((failures + 1)); }
done
[ "$(ls "$first/build/release" | grep -c '^endsession-')" -eq 3 ] || { echo "FAIL: not three artifacts" >&2; exit 1; }
[ "$failures" -eq 0 ] || exit 1
echo "builds are identical"
