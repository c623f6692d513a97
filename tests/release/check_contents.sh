# What a release folder ships: SHA256SUMS names exactly the zip, the check
# kit's zip, the MSI and the SBOM; the zip holds exactly endsession.exe (the
# built one, its signature removed when signed), README.md and LICENSE; the
# kit's zip exactly endsession-check.exe (the built one), README.md and
# LICENSE; the MSI installs the zip's endsession.exe. Given the built ARM64
# executable, the same of the ARM64 zip, MSI and kit zip (its kit the one
# built beside it, in check/), which SHA256SUMS then lists too.
# Usage: check_contents.sh RELEASE-DIR BUILT-EXE BUILT-KIT-EXE VERSION [BUILT-ARM64-EXE]
set -u
release=$(cd "$1" && pwd) built=$2 built_kit=$3 version=$4 built_arm64=${5:-}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
zip=endsession-$version-win64.zip msi=endsession-$version-x64.msi sbom=endsession-$version.spdx.json
kit=endsession-$version-check-win64.zip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

arm64_zip=endsession-$version-arm64.zip arm64_msi=endsession-$version-arm64.msi
arm64_kit=endsession-$version-check-arm64.zip
expected="$kit $zip $msi $sbom"
[ -z "$built_arm64" ] || expected="$arm64_msi $arm64_zip $arm64_kit $expected"
artifacts=$(cut -d' ' -f3 "$release/SHA256SUMS" | sort | tr '\n' ' ')
[ "$artifacts" = "$expected " ] || fail "SHA256SUMS lists: $artifacts"

# same_build SHIPPED BUILT: byte-equal, once an Authenticode signature is
# removed (osslsigncode gives back the unsigned bytes); found says what each is.
same_build() {
  rm -f "$work/unsigned"  # osslsigncode writes no file that is there
  osslsigncode remove-signature -in "$1" -out "$work/unsigned" >/dev/null 2>&1 || cp "$1" "$work/unsigned"
  found="SHA256 $(sha256sum <"$work/unsigned" | cut -c1-64) unsigned, the built one's $(sha256sum <"$2" | cut -c1-64)"
  cmp -s "$work/unsigned" "$2"
}
# A zip or MSI that does not unpack shows as one that holds something else.
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$release/$zip")
contents=$(cd "$work/zip" && ls -A | sort | tr '\n' ' ')
[ "$contents" = "LICENSE README.md endsession.exe " ] || fail "the zip holds: $contents"
same_build "$work/zip/endsession.exe" "$built" || fail "the zip's endsession.exe is not the built one: $found"
# kit_zip ZIP FOLDER BUILT-KIT NAME: the kit's zip holds the built kit,
# README.md and LICENSE.
kit_zip() {
  mkdir "$work/$2"
  (cd "$work/$2" && cmake -E tar xf "$release/$1")
  contents=$(cd "$work/$2" && ls -A | sort | tr '\n' ' ')
  [ "$contents" = "LICENSE README.md endsession-check.exe " ] || fail "$4's zip holds: $contents"
  same_build "$work/$2/endsession-check.exe" "$3" || fail "$4's zip holds another endsession-check.exe: $found"
}
kit_zip "$kit" kit "$built_kit" "the check kit"
msiextract -C "$work/msi" "$release/$msi" >/dev/null
cmp -s "$work/msi/endsession/endsession.exe" "$work/zip/endsession.exe" || fail "the MSI's endsession.exe is not the zip's"
if [ -n "$built_arm64" ]; then
  mkdir "$work/arm64"
  (cd "$work/arm64" && cmake -E tar xf "$release/$arm64_zip")
  contents=$(cd "$work/arm64" && ls -A | sort | tr '\n' ' ')
  [ "$contents" = "LICENSE README.md endsession.exe " ] || fail "the ARM64 zip holds: $contents"
  same_build "$work/arm64/endsession.exe" "$built_arm64" || fail "the ARM64 zip's endsession.exe is not the built one: $found"
  cmp -s "$work/arm64/README.md" "$work/zip/README.md" && cmp -s "$work/arm64/LICENSE" "$work/zip/LICENSE" ||
    fail "the ARM64 zip's README.md or LICENSE is not the x64 zip's"
  kit_zip "$arm64_kit" arm64-kit "$(dirname "$built_arm64")/check/endsession-check.exe" "the ARM64 check kit"
  cmp -s "$work/arm64-kit/README.md" "$work/zip/README.md" && cmp -s "$work/arm64-kit/LICENSE" "$work/zip/LICENSE" ||
    fail "the ARM64 kit's README.md or LICENSE is not the x64 zip's"
  msiextract -C "$work/arm64-msi" "$release/$arm64_msi" >/dev/null
  cmp -s "$work/arm64-msi/endsession/endsession.exe" "$work/arm64/endsession.exe" ||
    fail "the ARM64 MSI's endsession.exe is not the ARM64 zip's"
fi

[ "$failures" -eq 0 ] || exit 1
echo "release contents checked: $artifacts"
