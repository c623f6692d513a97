# Packages the build with CPack into a fresh folder, as the release does, and
# checks what it wrote with the release checkers: SHA256SUMS verifies; the
# zips and the MSI hold the built files (check_contents.sh); the MSI's tables
# say what it installs and changes; the SBOM is complete and its checksums
# are the files'; a change in the packaging code alone gives the MSI another
# package code; without ENDSESSION_RELEASE_URL
# no package manager's manifest is written, and the release says so. The folder is left for the
# installer cases under Wine. Given the built ARM64 executable, the ARM64 zip
# and MSI are checked alike.
# Usage: check_package.sh BUILD-DIR OUTPUT-DIR VERSION SOURCE-DIR [BUILT-ARM64-EXE]
set -u
build=$1 out=$2 version=$3 source_dir=$4 built_arm64=${5:-}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
rm -rf "$out"
unset ENDSESSION_SIGNING ENDSESSION_TIMESTAMP_URL ENDSESSION_RELEASE_URL  # unsigned: the zip holds the built exe
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1 || { cat "$out.log" >&2; exit 1; }
cd "$out"
zip=endsession-$version-win64.zip msi=endsession-$version-x64.msi sbom=endsession-$version.spdx.json
kit=endsession-$version-check-win64.zip

bash "$source_dir/tests/release/check_sums.sh" . || fail "SHA256SUMS"
bash "$source_dir/tests/release/check_contents.sh" . "$build/src/endsession.exe" \
  "$build/src/check/endsession-check.exe" "$version" "$built_arm64" || fail "the release's contents"
[ -z "$(ls -d manifests endsession.json 2>/dev/null)" ] || fail "manifests without ENDSESSION_RELEASE_URL"
grep -q 'ENDSESSION_RELEASE_URL is not set: no winget or Scoop manifests' "$out.log" || fail "no word of the missing URL"
# Unpacked for the SBOM check and for the installer cases under Wine.
rm -rf files && mkdir files
(cd files && cmake -E tar xf "../$zip")
sbom_arm64=()
if [ -n "$built_arm64" ]; then
  rm -rf arm64-files && mkdir arm64-files
  (cd arm64-files && cmake -E tar xf "../endsession-$version-arm64.zip")
  bash "$source_dir/tests/release/check_msi.sh" "endsession-$version-arm64.msi" "$version" arm64 || fail "ARM64 MSI checks"
  sbom_arm64=(-DARM64_FILES=arm64-files)
fi

table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
bash "$source_dir/tests/release/check_msi.sh" "$msi" "$version" || fail "MSI checks"

# A different MSI gets a different package code, even from a change in the
# packaging code alone: here the PATH row, in a copy of the packaging files.
package_code() { msiinfo suminfo "$1" | sed -n 's/^Revision number (UUID): //p'; }
rm -rf repackaged && mkdir -p repackaged/cmake repackaged/packaging
cp "$source_dir/packaging/endsession.wxs" repackaged/packaging/
sed 's/\[~\];\[INSTALLFOLDER\]/[INSTALLFOLDER];[~]/' "$source_dir/cmake/msi_package.cmake" >repackaged/cmake/msi_package.cmake
cmake -DOUTPUT="$PWD/repackaged/other.msi" -DFOLDER="$PWD/files" -DVERSION="$version" -DEPOCH=0 \
  -DUPGRADE_CODE="6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11" -DPUBLISHER="the endsession developers" \
  -P repackaged/cmake/msi_package.cmake >/dev/null || fail "no repackaged MSI"
[ "$(table Environment)" != "$(msi=repackaged/other.msi table Environment)" ] || fail "the repackaged MSI has the same PATH row"
[ -n "$(package_code "$msi")" ] && [ "$(package_code "$msi")" != "$(package_code repackaged/other.msi)" ] ||
  fail "two different MSIs share the package code $(package_code "$msi")"

cmake -DSBOM="$sbom" -DFILES=files -DVERSION="$version" "${sbom_arm64[@]}" -P "$source_dir/tests/release/check_sbom.cmake" ||
  fail "SBOM checks"

[ "$failures" -eq 0 ] || exit 1
echo "package checks passed: $(cat SHA256SUMS | tr '\n' ' ')"
