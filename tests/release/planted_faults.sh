# Every release checker is seen to fail: the signed release (release.signing's,
# with manifests for a release URL) and the built executable pass all six
# checkers as they are; then, in a fresh copy for each fault below, the
# checker that owns the fault must exit non-zero with a message naming it.
# Planted into copies, never into the built tree.
# Usage: planted_faults.sh BUILD-DIR SIGNING-WORK-DIR VERSION SOURCE-DIR OBJDUMP SIZE-BUDGET
set -u
build=$1 signing=$2 version=$3 source_dir=$4 objdump=$5 size_budget=$6
url=https://downloads.example.org/endsession/$version/
zip=endsession-$version-win64.zip msi=endsession-$version-x64.msi sbom=endsession-$version.spdx.json
installer=manifests/e/endsession/endsession/$version/endsession.endsession.installer.yaml
locale=manifests/e/endsession/endsession/$version/endsession.endsession.locale.en-US.yaml
epoch=$(sed -n 's/^set(CPACK_ENDSESSION_EPOCH "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
checks=$source_dir/tests/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The checkers, each run in a release folder.
check_manifests() { python3 "$checks/check_manifests.py" . "$url" "$version" "$checks/schemas" "$epoch"; }
check_sbom() { cmake -DSBOM="$sbom" -DFILES=files -DVERSION="$version" -DDOWNLOAD="$url$zip" -P "$checks/check_sbom.cmake"; }
check_sums() { bash "$checks/check_sums.sh" .; }
check_signature() { bash "$checks/check_signature.sh" "$signing/cert.pem" files/endsession.exe "$msi"; }
check_msi() { bash "$checks/check_msi.sh" "$msi" "$version"; }
# The built executable (exe/, with its link map), not the signed one.
check_executable() { bash "$checks/check_executable.sh" exe/endsession.exe "$budget" "$version" "$objdump" files/LICENSE; }

# The faults: name, owning checker, what its message must say, how to plant.
edit() { perl -0777 -i -pe "$2" "$1"; }
sha1_signed() {
  rm files/endsession.exe
  osslsigncode sign -pkcs12 "$signing/key.p12" -readpass "$signing/key.pass" -h sha1 -n endsession \
    -in "$build/src/endsession.exe" -out files/endsession.exe >/dev/null
}
# repackage WXS-EDIT CMAKE-EDIT: the release's MSI made again from copies of
# the packaging files with those edits (perl), from the release's files.
repackage() {
  rm -rf "$work/repackaged" && mkdir -p "$work/repackaged/cmake" "$work/repackaged/packaging"
  perl -0777 -pe "$1" "$source_dir/packaging/endsession.wxs" >"$work/repackaged/packaging/endsession.wxs"
  perl -0777 -pe "$2" "$source_dir/cmake/msi_package.cmake" >"$work/repackaged/cmake/msi_package.cmake"
  rm "$msi"
  cmake -DOUTPUT="$PWD/$msi" -DFOLDER="$PWD/files" -DVERSION="$version" -DEPOCH="$epoch" \
    -DUPGRADE_CODE="6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11" -DPUBLISHER="the endsession developers" \
    -P "$work/repackaged/cmake/msi_package.cmake" >/dev/null
}
# The executable's manifest stored as resource 2 of type 24.
manifest_as_resource_2() {
  python3 - exe/endsession.exe <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
for i in range(count):
    section = pe + 24 + optional + 40 * i
    if data[section:section + 8].rstrip(b"\0") == b".rsrc":
        root = struct.unpack_from("<I", data, section + 20)[0]
named, numbered = struct.unpack_from("<HH", data, root + 12)
for i in range(named + numbered):
    kind, target = struct.unpack_from("<II", data, root + 16 + 8 * i)
    if kind == 24:
        struct.pack_into("<I", data, root + (target & 0x7FFFFFFF) + 16, 2)
open(sys.argv[1], "wb").write(data)
PY
}
other_hex() { perl -0777 -i -pe "s/$2([0-9a-f])/\$1.(\$2 eq '0' ? '1' : '0')/e" "$1"; }
faults=(
  "unknown winget field|check_manifests|InstallerSwitchs|edit $installer 's/(\n  Scope: machine\n)/\$1  InstallerSwitchs:\n    Silent: \\/qn\n/'"
  "wrong InstallerSha256|check_manifests|InstallerSha256|edit $installer 's/(InstallerSha256: )[0-9A-F]{8}/\${1}00000000/'"
  "UpgradeCode in lower case|check_manifests|UpgradeCode|edit $installer 's/(UpgradeCode: .)(\{[0-9A-F-]+\})/\$1\\L\$2/'"
  "ReleaseDate's day and month swapped|check_manifests|ReleaseDate|edit $installer 's/(ReleaseDate: \d{4})-(\d\d)-(\d\d)/\$1-\$3-\$2/'"
  "a DisplayVersion equal to the package's|check_manifests|repeats the version|edit $installer 's/(\n    Publisher: [^\n]*\n)/\$1    DisplayVersion: $version\n/'"
  "SBOM downloadLocation NOASSERTION|check_sbom|downloadLocation|edit $sbom 's/\"downloadLocation\": \"https:[^\"]*\"/\"downloadLocation\": \"NOASSERTION\"/'"
  "SBOM licenseDeclared changed|check_sbom|licenseDeclared|edit $sbom 's/\"licenseDeclared\": \"MIT\"/\"licenseDeclared\": \"Apache-2.0\"/'"
  "SBOM creators emptied|check_sbom|creators|edit $sbom 's/\"creators\": \[[^]]*\]/\"creators\": []/'"
  "SHA256SUMS missing the MSI|check_sums|SHA256SUMS lists|sed -i '/ $msi\$/d' SHA256SUMS"
  "a signature made with SHA-1|check_signature|SHA1|sha1_signed"
  "InstallModes without silent|check_manifests|InstallModes|edit $installer 's/\n  - silent\n/\n/'"
  "Copyright set to the publisher|check_manifests|Copyright|edit $locale 's/(Copyright: )[^\n]*/\${1}the endsession developers/'"
  "MinimumOSVersion changed|check_manifests|MinimumOSVersion|edit $installer 's/(MinimumOSVersion: )6\.1/\${1}6.2/'"
  "SBOM file licence NOASSERTION|check_sbom|licenseConcluded NOASSERTION|edit $sbom 's/(\"fileName\": \"\.\/endsession\.exe\",.*?\"licenseConcluded\": )\"MIT\"/\$1\"NOASSERTION\"/s'"
  "SBOM verification code changed|check_sbom|package verification code|other_hex $sbom '(\"packageVerificationCodeValue\": \")'"
  "a changed hash in SHA256SUMS|check_sums|does not verify|other_hex SHA256SUMS '^()'"
  "MSI PATH row in another order|check_msi|MSI environment|repackage '' 's/\[~\];\[INSTALLFOLDER\]/[INSTALLFOLDER];[~]/'"
  "MSI documents component 32-bit|check_msi|component Documents is not 64-bit|repackage 's/(Id=\"Documents\"[^>]*) Win64=\"yes\"/\$1/' ''"
  "manifest as resource 2|check_executable|resource 1 of type 24|manifest_as_resource_2"
  "FILEVERSION 1.0.0.1|check_executable|fixed block|edit exe/endsession.exe 's/(\xbd\x04\xef\xfe.{8})\0\0\0\0/\${1}\x01\0\0\0/s'"
  "a one-byte size budget|check_executable|over the budget|budget=\$((\$(stat -c %s exe/endsession.exe) - 1))"
)

# The signed release and the built executable with its map, in exe/.
rm -rf "$work/reference"
cp -a "$signing/signed" "$work/reference"
mkdir "$work/reference/exe"
cp "$build/src/endsession.exe" "$build/src/endsession.exe.map" "$work/reference/exe/"
copy_release() {
  cd "$work"
  rm -rf "$work/release"
  cp -a "$work/reference" "$work/release"
  cd "$work/release"
  budget=$size_budget
}

copy_release
for checker in check_manifests check_sbom check_sums check_signature check_msi check_executable; do
  "$checker" >"$work/log" 2>&1 || { fail "$checker refuses the good release: $(tail -5 "$work/log")"; }
done
for fault in "${faults[@]}"; do
  IFS='|' read -r name checker says plant <<<"$fault"
  copy_release
  eval "$plant" || { fail "$name: could not be planted"; continue; }
  [ -n "$(diff -rq "$work/reference" . 2>/dev/null)" ] || [ "$budget" != "$size_budget" ] ||
    { fail "$name: planted nothing"; continue; }
  if "$checker" >"$work/log" 2>&1; then
    fail "$name: $checker passed"
  elif ! grep -q -- "$says" "$work/log"; then
    fail "$name: $checker failed without naming '$says': $(grep -m3 FAIL "$work/log")"
  else
    echo "caught: $name: $(grep -m1 -- "$says" "$work/log" | cut -c1-160)"
  fi
done
[ "$failures" -eq 0 ] || exit 1
echo "every planted fault was caught (${#faults[@]})"
