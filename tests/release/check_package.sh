# Packages the build with CPack into a fresh folder and checks the result:
# the zip holds exactly endsession.exe, README.md and LICENSE, and SHA256SUMS
# beside it verifies with `sha256sum -c`.
# Usage: check_package.sh BUILD-DIR OUTPUT-DIR VERSION
set -eu
build=$1 out=$2 version=$3
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
zip=endsession-$version-win64.zip
cd "$out"
[ -f "$zip" ] || { echo "FAIL: no $zip in $out" >&2; ls -la >&2; exit 1; }
contents=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
[ "$contents" = "LICENSE README.md endsession.exe " ] || { echo "FAIL: zip holds: $contents" >&2; exit 1; }
grep -q "  $zip\$" SHA256SUMS || { echo "FAIL: SHA256SUMS does not name $zip" >&2; exit 1; }
sha256sum -c SHA256SUMS
