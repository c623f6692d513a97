# The release's MSI, by its tables: what it installs and where, that every
# component is 64-bit, the system PATH row, the upgrade and downgrade rules,
# no custom actions, the platform its summary names (x64, or Arm64 for the
# ARM64 package).
# Usage: check_msi.sh MSI VERSION [x64|arm64]
set -u
msi=$1 version=$2 arch=${3:-x64}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }

properties=$(table Property)
for property in "ProductName	endsession" "ProductVersion	$version" "Manufacturer	the endsession developers" \
  "UpgradeCode	{6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11}" "ALLUSERS	1" "ARPNOREPAIR	1" "ARPNOMODIFY	1"; do
  grep -qxF "$property" <<<"$properties" || fail "MSI property missing: $property"
done
[ "$(table File | cut -f3 | sort | tr '\n' ' ')" = "LICENSE README.md endsession.exe " ] || fail "MSI files: $(table File)"
[ "$(table Directory | grep -c '^INSTALLFOLDER	ProgramFiles64Folder	endsession$')" -eq 1 ] || fail "MSI folder: $(table Directory)"
# msidbComponentAttributes64bit (256) on each: a 32-bit component in a
# 64-bit package is an ICE80 error, and Windows Installer redirects it.
while IFS=$'\t' read -r component _ _ attributes _; do
  [ $((attributes & 256)) -ne 0 ] || fail "MSI component $component is not 64-bit (attributes $attributes)"
done < <(table Component)
[ "$(table Component | wc -l)" -eq 2 ] || fail "MSI components: $(table Component)"
[ "$(table Environment)" = "SystemPath	=-*PATH	[~];[INSTALLFOLDER]	Executable" ] || fail "MSI environment: $(table Environment)"
grep -qx 'WriteEnvironmentStrings		5200' <(table InstallExecuteSequence) || fail "no WriteEnvironmentStrings"
grep -qx 'RemoveEnvironmentStrings		3300' <(table InstallExecuteSequence) || fail "no RemoveEnvironmentStrings"
[ -z "$(table CustomAction)" ] || fail "MSI custom actions: $(table CustomAction)"
[ "$(table LaunchCondition)" = "NOT WIX_DOWNGRADE_DETECTED	A newer version of endsession is already installed." ] ||
  fail "MSI downgrade refusal: $(table LaunchCondition)"
grep -qx "{6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11}		$version		1		WIX_UPGRADE_DETECTED" <(table Upgrade) ||
  fail "MSI major upgrade: $(table Upgrade)"
case $arch in
  x64) template='x64;1033' ;;
  arm64) template='Arm64;1033' ;;
  *) fail "no MSI platform for $arch" ;;
esac
grep -qx "Template: ${template:-}" <(msiinfo suminfo "$msi") ||
  fail "MSI is not $arch: $(msiinfo suminfo "$msi" | grep Template)"
[ "$failures" -eq 0 ] || exit 1
echo "MSI checks passed: $msi"
