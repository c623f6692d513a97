# Packages the build with CPack into a fresh folder, as the release does, and
# checks what it wrote: the zip holds exactly endsession.exe (the built one),
# README.md and LICENSE; SHA256SUMS covers the zip, the MSI and the SBOM and
# verifies; the MSI's tables say what it installs and changes; the SBOM is
# complete and its checksums are the files'. The folder is left for the
# installer cases under Wine.
# Usage: check_package.sh BUILD-DIR OUTPUT-DIR VERSION SOURCE-DIR
set -u
build=$1 out=$2 version=$3 source_dir=$4
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
rm -rf "$out"
unset ENDSESSION_SIGNING ENDSESSION_TIMESTAMP_URL  # the unsigned release: the zip holds the built exe
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1 || { cat "$out.log" >&2; exit 1; }
cd "$out"
zip=endsession-$version-win64.zip msi=endsession-$version-x64.msi sbom=endsession-$version.spdx.json

artifacts=$(cut -d' ' -f3 SHA256SUMS | sort | tr '\n' ' ')
[ "$artifacts" = "$zip $msi $sbom " ] || fail "SHA256SUMS lists: $artifacts"
sha256sum -c SHA256SUMS || fail "SHA256SUMS does not verify"

rm -rf files && mkdir files
(cd files && cmake -E tar xf "../$zip")
contents=$(cd files && ls -A | sort | tr '\n' ' ')
[ "$contents" = "LICENSE README.md endsession.exe " ] || fail "zip holds: $contents"
cmp -s files/endsession.exe "$build/src/endsession.exe" || fail "the zip's endsession.exe is not the built one"

table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
properties=$(table Property)
for property in "ProductName	endsession" "ProductVersion	$version" "Manufacturer	the endsession developers" \
  "UpgradeCode	{6c1f9bd2-6a3e-4f8e-9a7e-6f0a4c2f1b11}" "ALLUSERS	1" "ARPNOREPAIR	1" "ARPNOMODIFY	1"; do
  grep -qxF "$property" <<<"$properties" || fail "MSI property missing: $property"
done
[ "$(table File | cut -f3 | sort | tr '\n' ' ')" = "LICENSE README.md endsession.exe " ] || fail "MSI files: $(table File)"
[ "$(table Directory | grep -c '^INSTALLFOLDER	ProgramFiles64Folder	endsession$')" -eq 1 ] || fail "MSI folder: $(table Directory)"
[ "$(table Environment)" = "SystemPath	=-*PATH	[~];[INSTALLFOLDER]	Executable" ] || fail "MSI environment: $(table Environment)"
grep -qx 'WriteEnvironmentStrings		5200' <(table InstallExecuteSequence) || fail "no WriteEnvironmentStrings"
grep -qx 'RemoveEnvironmentStrings		3300' <(table InstallExecuteSequence) || fail "no RemoveEnvironmentStrings"
[ -z "$(table CustomAction)" ] || fail "MSI custom actions: $(table CustomAction)"
[ "$(table LaunchCondition)" = "NOT WIX_DOWNGRADE_DETECTED	A newer version of endsession is already installed." ] ||
  fail "MSI downgrade refusal: $(table LaunchCondition)"
grep -qx "{6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11}		$version		1		WIX_UPGRADE_DETECTED" <(table Upgrade) ||
  fail "MSI major upgrade: $(table Upgrade)"
grep -q 'Template: x64;1033' <(msiinfo suminfo "$msi") || fail "MSI is not x64: $(msiinfo suminfo "$msi")"
rm -rf msi-files && msiextract -C msi-files "$msi" >/dev/null
cmp -s msi-files/endsession/endsession.exe files/endsession.exe || fail "the MSI's endsession.exe is not the zip's"

cmake -DSBOM="$sbom" -DFILES=files -DVERSION="$version" -P "$source_dir/tests/release/check_sbom.cmake" ||
  fail "SBOM checks"

[ "$failures" -eq 0 ] || exit 1
echo "package checks passed: $(cat SHA256SUMS | tr '\n' ' ')"
