# Two release builds of the same sources (the working tree with its git
# history, so the commit time is the release's epoch) from different
# folders, at different times, must give bit-identical executables, zips,
# MSIs, SBOMs, package managers' manifests (valid ones) and SHA256SUMS, for
# each architecture the release ships (ARCHITECTURES, as check_manifests.py
# takes them; x64 unless given).
# Usage: reproducible_build.sh SOURCE-DIR WORK-DIR VERSION [ARCHITECTURES]
set -eu
source_dir=$1 work=$2 version=$3 architectures=${4:-x64}
rm -rf "$work"
unset ENDSESSION_SIGNING ENDSESSION_TIMESTAMP_URL
export ENDSESSION_RELEASE_URL=https://downloads.example.org/endsession/
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
executables=windows-x64/src/endsession.exe
artifacts=4  # the zip, the kit's zip, the MSI, the SBOM
if [ "$architectures" = x64,arm64 ]; then
  executables+=" windows-x64/arm64/src/endsession.exe"
  artifacts=7  # and the ARM64 zip, MSI and kit zip
fi
for artifact in $executables release/SHA256SUMS $(cd "$first/build" && ls release/endsession-* release/endsession.json &&
  find release/manifests -type f); do
  a=$(sha256sum <"$first/build/$artifact" | cut -d' ' -f1)
  b=$(sha256sum <"$second/build/$artifact" | cut -d' ' -f1)
  echo "$a  $(stat -c %s "$first/build/$artifact") B  ${artifact##*/}"
  [ "$a" = "$b" ] || { echo "FAIL: ${artifact##*/} differs: $b in $second" >&2; failures=$((failures + 1)); }
done
[ "$(ls "$first/build/release" | grep -c "^endsession-")" -eq "$artifacts" ] ||
  { echo "FAIL: not $artifacts artifacts" >&2; exit 1; }
epoch=$(sed -n 's/^set(CPACK_ENDSESSION_EPOCH "\(.*\)")$/\1/p' "$first/build/windows-x64/CPackConfig.cmake")
python3 "$source_dir/tests/release/check_manifests.py" "$first/build/release" "$ENDSESSION_RELEASE_URL" "$version" \
  "$source_dir/tests/release/schemas" "$epoch" "architectures=$architectures" || failures=$((failures + 1))
[ "$failures" -eq 0 ] || exit 1
echo "builds are identical"
