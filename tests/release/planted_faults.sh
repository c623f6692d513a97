# Every release checker is seen to fail: the signed release (release.signing's,
# with manifests for a release URL) and the built executable pass every
# checker as they are; then, in a fresh copy for each fault below, the
# checker that owns the fault must exit non-zero with a message naming it.
# Planted into copies, never into the built tree. Every failure message of
# the checkers is named by a row here (check_every_check_planted.py).
# Where ARM64 ships (its built executable and LLVM's objdump given), each
# checker checks both architectures, and the rows named "ARM64 ..." plant
# into the ARM64 files; without it those rows are left out.
# Usage: planted_faults.sh BUILD-DIR SIGNING-WORK-DIR VERSION SOURCE-DIR OBJDUMP SIZE-BUDGET
#                          [BUILT-ARM64-EXE LLVM-OBJDUMP]
set -u
build=$1 signing=$2 version=$3 source_dir=$4 objdump=$5 size_budget=$6 built_arm64=${7:-} llvm_objdump=${8:-}
url=https://downloads.example.org/endsession/$version/
zip=endsession-$version-win64.zip msi=endsession-$version-x64.msi sbom=endsession-$version.spdx.json
installer=manifests/e/endsession/endsession/$version/endsession.endsession.installer.yaml
locale=manifests/e/endsession/endsession/$version/endsession.endsession.locale.en-US.yaml
version_manifest=manifests/e/endsession/endsession/$version/endsession.endsession.yaml
kit=endsession-$version-check-win64.zip
arm64_zip=endsession-$version-arm64.zip arm64_msi=endsession-$version-arm64.msi
arm64_kit=endsession-$version-check-arm64.zip
architectures=x64${built_arm64:+,arm64}
# Another link of the same sources: a build that is not the released one.
other_build=$build/tests/release/endsession_padded_4.exe
epoch=$(sed -n 's/^set(CPACK_ENDSESSION_EPOCH "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
checks=$source_dir/tests/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The checkers, each run in a release folder.
check_manifests() {
  python3 "$checks/check_manifests.py" . "$url" "$version" "$checks/schemas" "$epoch" "architectures=$architectures"
}
# What the SBOM and signature checks are given of ARM64's (words without blanks).
sbom_arm64="" signed_arm64=""
if [ -n "$built_arm64" ]; then
  sbom_arm64="-DARM64_FILES=arm64-files -DARM64_DOWNLOAD=$url$arm64_zip"
  signed_arm64="arm64-files/endsession.exe $arm64_msi"
fi
check_sbom() {
  cmake -DSBOM="$sbom" -DFILES=files -DVERSION="$version" -DDOWNLOAD="$url$zip" $sbom_arm64 -P "$checks/check_sbom.cmake"
}
check_sums() { bash "$checks/check_sums.sh" .; }
check_signature() { bash "$checks/check_signature.sh" "$signing/cert.pem" files/endsession.exe "$msi" $signed_arm64; }
check_msi() {
  bash "$checks/check_msi.sh" "$msi" "$version" || return
  [ -z "$built_arm64" ] || bash "$checks/check_msi.sh" "$arm64_msi" "$version" arm64
}
check_contents() {
  bash "$checks/check_contents.sh" . "$build/src/endsession.exe" "$build/src/check/endsession-check.exe" "$version" \
    "$built_arm64"
}
# The built executables (exe/ and exe-arm64/, with their link maps), not the signed ones.
check_executable() {
  bash "$checks/check_executable.sh" exe/endsession.exe "$budget" "$version" "$objdump" files/LICENSE || return
  [ -z "$built_arm64" ] ||
    bash "$checks/check_executable.sh" exe-arm64/endsession.exe "$budget" "$version" "$llvm_objdump" files/LICENSE arm64
}
check_delay_imports() {
  bash "$checks/check_delay_imports.sh" "$objdump" "ADVAPI32.dll USER32.dll WTSAPI32.dll " exe/endsession.exe
}

# The faults: kind, name, owning checker, what its message must say, how to
# plant. A kind of "gone" takes a thing away; "near" brings one almost right
# -- one character, element, algorithm or file away -- which a check that
# tests for a part instead of the whole lets through.
edit() { perl -0777 -i -pe "$2" "$1"; }
sha1_signed() {
  rm files/endsession.exe
  osslsigncode sign -pkcs12 "$signing/key.p12" -readpass "$signing/key.pass" -h sha1 -n endsession \
    -in "$build/src/endsession.exe" -out files/endsession.exe >/dev/null
}
# The file's digest SHA-256, the signer's SHA-1: the data to sign extracted
# with one algorithm, signed with the other, the signature attached.
signer_sha1_signed() {
  rm files/endsession.exe
  osslsigncode extract-data -h sha256 -in "$build/src/endsession.exe" -out "$work/data.der" >/dev/null &&
    osslsigncode sign -pkcs12 "$signing/key.p12" -readpass "$signing/key.pass" -h sha1 -n endsession \
      -in "$work/data.der" -out "$work/signature.der" >/dev/null &&
    osslsigncode attach-signature -sigin "$work/signature.der" -CAfile "$signing/cert.pem" \
      -in "$build/src/endsession.exe" -out files/endsession.exe >/dev/null
}
# repackage WXS-EDIT CMAKE-EDIT [FOLDER [ARCH]]: the release's MSI (or, for
# arm64, its ARM64 MSI) made again from copies of the packaging files with
# those edits (perl), from the release's files (or FOLDER's).
repackage() {
  local target=$msi
  [ "${4:-x64}" = x64 ] || target=$arm64_msi
  rm -rf "$work/repackaged" && mkdir -p "$work/repackaged/cmake" "$work/repackaged/packaging"
  perl -0777 -pe "$1" "$source_dir/packaging/endsession.wxs" >"$work/repackaged/packaging/endsession.wxs"
  perl -0777 -pe "$2" "$source_dir/cmake/msi_package.cmake" >"$work/repackaged/cmake/msi_package.cmake"
  rm "$target"
  cmake -DOUTPUT="$PWD/$target" -DFOLDER="${3:-$PWD/files}" -DVERSION="$version" -DEPOCH="$epoch" \
    -DUPGRADE_CODE="6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11" -DPUBLISHER="the endsession developers" \
    -DARCH="${4:-x64}" -P "$work/repackaged/cmake/msi_package.cmake" >/dev/null
}
# msi_sql STATEMENT...: run on the release's MSI.
msi_sql() {
  local statement arguments=()
  for statement; do arguments+=(-q "$statement"); done
  msibuild "$msi" "${arguments[@]}"
}
# json_edit FILE PYTHON: PYTHON run with the document as d, then written back.
json_edit() {
  python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); exec(sys.argv[2]); json.dump(d, open(sys.argv[1], "w"), indent=2)' "$1" "$2"
}
# pe_edit PYTHON: PYTHON run on the built executable's bytes (data), then
# written back. It may use optional (the optional header's offset), section
# (a name's (file offset, size)), rsrc (the resource root's file offset) and
# resources(directory) (each entry's (offset, id, target)).
pe_edit() {
  python3 - exe/endsession.exe "$1" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
optional = pe + 24
count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
headers = [optional + optional_size + 40 * i for i in range(count)]
section = {bytes(data[h:h + 8]).rstrip(b"\0").decode(): struct.unpack_from("<II", data, h + 16)[::-1] for h in headers}
rsrc = section[".rsrc"][0]
def resources(directory):
    named, numbered = struct.unpack_from("<HH", data, directory + 12)
    return [(directory + 16 + 8 * i, *struct.unpack_from("<II", data, directory + 16 + 8 * i))
            for i in range(named + numbered)]
exec(sys.argv[2])
open(sys.argv[1], "wb").write(data)
PY
}
# pe_field OFFSET SIZE PYTHON: the optional header's field at OFFSET set to
# PYTHON's value of v, the field's value.
pe_field() {
  pe_edit "at, size = optional + $1, $2
v = int.from_bytes(data[at:at + size], 'little')
data[at:at + size] = (($3) & (1 << 8 * size) - 1).to_bytes(size, 'little')"
}
# The executable's manifest stored as resource 2 of type 24.
manifest_as_resource_2() {
  pe_edit 'for _, kind, target in resources(rsrc):
    if kind == 24:
        struct.pack_into("<I", data, rsrc + (target & 0x7FFFFFFF) + 16, 2)'
}
# The version resource's type (16) made RT_MANIFEST's (24).
version_as_manifest() {
  pe_edit 'for at, kind, _ in resources(rsrc):
    if kind == 16:
        struct.pack_into("<I", data, at, 24)'
}
# rezip ZIP NAME [FILE]: ZIP with its entry NAME holding FILE's bytes (added
# if new), or left out without FILE.
rezip() {
  python3 - "$@" <<'PY'
import sys, zipfile
path, name = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(path) as old:
    entries = [(info, old.read(info)) for info in old.infolist()]
if name not in [info.filename for info, _ in entries]:
    entries.append((zipfile.ZipInfo(name, (2026, 1, 1, 0, 0, 0)), b""))
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as new:
    for info, content in entries:
        if info.filename == name:
            if len(sys.argv) < 4:
                continue
            content = open(sys.argv[3], "rb").read()
        new.writestr(info, content)
PY
}
# msi_of_other_build: the MSI made again from the release's files with
# another build of endsession.exe.
msi_of_other_build() {
  cp -a files other-files
  cp "$other_build" other-files/endsession.exe
  repackage '' '' "$PWD/other-files"
}
# arm64_zip_exe_edit PYTHON: the ARM64 zip's endsession.exe with PYTHON run
# on its bytes (data; optional, the optional header's offset).
arm64_zip_exe_edit() {
  python3 - "$arm64_zip" "$1" <<'PY'
import struct, sys, zipfile
path = sys.argv[1]
with zipfile.ZipFile(path) as old:
    entries = [(info, old.read(info)) for info in old.infolist()]
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as new:
    for info, content in entries:
        if info.filename == "endsession.exe":
            data = bytearray(content)
            optional = struct.unpack_from("<I", data, 0x3C)[0] + 24
            exec(sys.argv[2])
            content = bytes(data)
        new.writestr(info, content)
PY
}
# other_hex FILE PREFIX: the hex digit after PREFIX (a perl pattern) made another.
other_hex() { perl -0777 -i -pe "s/$2([0-9a-fA-F])/\$1.(\$2 eq '0' ? '1' : '0')/e" "$1"; }
faults=(
  "near|unknown winget field|check_manifests|not valid against its schema at /Installers/0|edit $installer 's/(\n  Scope: machine\n)/\$1  InstallerSwitchs:\n    Silent: \\/qn\n/'"
  "near|wrong InstallerSha256|check_manifests|InstallerSha256|edit $installer 's/(InstallerSha256: )[0-9A-F]{8}/\${1}00000000/'"
  "near|UpgradeCode in lower case|check_manifests|Apps and Features UpgradeCode|edit $installer 's/(UpgradeCode: .)(\{[0-9A-F-]+\})/\$1\\L\$2/'"
  "near|ReleaseDate's day and month swapped|check_manifests|ReleaseDate|edit $installer 's/(ReleaseDate: \d{4})-(\d\d)-(\d\d)/\$1-\$3-\$2/'"
  "near|a DisplayVersion equal to the package's|check_manifests|repeats the version|edit $installer 's/(\n    Publisher: [^\n]*\n)/\$1    DisplayVersion: $version\n/'"
  "gone|SBOM downloadLocation NOASSERTION|check_sbom|downloadLocation|edit $sbom 's/\"downloadLocation\": \"https:[^\"]*\"/\"downloadLocation\": \"NOASSERTION\"/'"
  "near|SBOM licenseDeclared changed|check_sbom|licenseDeclared|edit $sbom 's/\"licenseDeclared\": \"MIT\"/\"licenseDeclared\": \"Apache-2.0\"/'"
  "gone|SBOM creators emptied|check_sbom|creators|edit $sbom 's/\"creators\": \[[^]]*\]/\"creators\": []/'"
  "gone|SHA256SUMS missing the MSI|check_sums|SHA256SUMS lists|sed -i '/ $msi\$/d' SHA256SUMS"
  "near|a signature made with SHA-1|check_signature|'SHA1 ', not SHA256 alone|sha1_signed"
  "gone|InstallModes without silent|check_manifests|InstallModes|edit $installer 's/\n  - silent\n/\n/'"
  "near|Copyright set to the publisher|check_manifests|Copyright|edit $locale 's/(Copyright: )[^\n]*/\${1}the endsession developers/'"
  "near|MinimumOSVersion changed|check_manifests|MinimumOSVersion|edit $installer 's/(MinimumOSVersion: )6\.1/\${1}6.2/'"
  "gone|SBOM file licence NOASSERTION|check_sbom|endsession.exe: licenseConcluded NOASSERTION|edit $sbom 's/(\"fileName\": \"\.\/endsession\.exe\",.*?\"licenseConcluded\": )\"MIT\"/\$1\"NOASSERTION\"/s'"
  "near|SBOM verification code changed|check_sbom|package verification code|other_hex $sbom '(\"packageVerificationCodeValue\": \")'"
  "near|a changed hash in SHA256SUMS|check_sums|does not verify|other_hex SHA256SUMS '^()'"
  "near|MSI PATH row in another order|check_msi|MSI environment|repackage '' 's/\[~\];\[INSTALLFOLDER\]/[INSTALLFOLDER];[~]/'"
  "near|MSI documents component 32-bit|check_msi|component Documents is not 64-bit|repackage 's/(Id=\"Documents\"[^>]*) Win64=\"yes\"/\$1/' ''"
  "near|manifest as resource 2|check_executable|resource 1 of type 24|manifest_as_resource_2"
  "near|FILEVERSION 1.0.0.1|check_executable|fixed block|edit exe/endsession.exe 's/(\xbd\x04\xef\xfe.{8})\0\0\0\0/\${1}\x01\0\0\0/s'"
  "near|a one-byte size budget|check_executable|over the budget|budget=\$((\$(stat -c %s exe/endsession.exe) - 1))"
  "gone|MSI without ARPNOREPAIR|check_msi|MSI property missing: ARPNOREPAIR|msi_sql \"DELETE FROM Property WHERE Property = 'ARPNOREPAIR'\""
  "near|MSI file under another name|check_msi|MSI files|msi_sql \"UPDATE File SET FileName = 'endsess.exe' WHERE File = 'endsession.exe'\""
  "near|MSI folder in the 32-bit Program Files|check_msi|MSI folder|msi_sql \"UPDATE Directory SET Directory_Parent = 'ProgramFilesFolder' WHERE Directory = 'INSTALLFOLDER'\""
  "near|MSI with a third component|check_msi|MSI components|msi_sql \"INSERT INTO Component (Component, ComponentId, Directory_, Attributes, KeyPath) VALUES ('Extra', '{5D7C1F0E-8B0A-4C5E-9F3E-2A1D6B9C4E03}', 'INSTALLFOLDER', 256, 'LICENSE')\""
  "gone|MSI without WriteEnvironmentStrings|check_msi|no WriteEnvironmentStrings|msi_sql \"DELETE FROM InstallExecuteSequence WHERE Action = 'WriteEnvironmentStrings'\""
  "gone|MSI without RemoveEnvironmentStrings|check_msi|no RemoveEnvironmentStrings|msi_sql \"DELETE FROM InstallExecuteSequence WHERE Action = 'RemoveEnvironmentStrings'\""
  "near|MSI with a custom action|check_msi|MSI custom actions: Planted|msi_sql \"INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('Planted', 51, 'PLANTED', '1')\" \"INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('Planted', 1450)\""
  "gone|MSI without its downgrade refusal|check_msi|MSI downgrade refusal|msi_sql \"DELETE FROM LaunchCondition WHERE Condition = 'NOT WIX_DOWNGRADE_DETECTED'\""
  "gone|MSI without its major upgrade|check_msi|MSI major upgrade|msi_sql \"DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'\""
  "near|MSI repackaged with the x86 template|check_msi|MSI is not x64: Template: Intel;1033|repackage '' 's/x64;1033/Intel;1033/g'"
  "near|USER32 imported at start|check_executable|unexpected imports: KERNEL32.DLL USER32.DLL|edit exe/endsession.exe 's/msvcrt\.dll\0/USER32.dll\0/'"
  "near|WTSAPI32 replaced in the delay-import directory|check_executable|the delay-import directory lists: 'ADVAPI32.dll USER32.dll WINSTA.dll|edit exe/endsession.exe 's/WTSAPI32\.dll\0\0/WINSTA.dll\0\0\0\0/'"
  "near|delay-import directory of 5 descriptors|check_executable|the delay-import directory is 160 bytes|pe_field $((112 + 13 * 8 + 4)) 4 160"
  "near|a header checksum one off|check_executable|header checksum|pe_field 64 4 'v + 1'"
  "gone|no TERMINAL_SERVICE_AWARE|check_executable|lack TERMINAL_SERVICE_AWARE|pe_field 70 2 'v & ~0x8000'"
  "near|subsystem version 5|check_executable|the PE header's MajorSubsystemVersion is 5, expected 6|pe_field 48 2 5"
  "gone|a link map without the tool's objects|check_executable|functions of the tool's own|sed -i '/libendsession_core\.a\|main\.cc\.obj\|windows_runtime\.cc\.obj/d' exe/endsession.exe.map"
  "gone|exception table emptied|check_executable|no unwind entry for|pe_edit 'offset, size = section[\".pdata\"]; data[offset:offset + size] = bytes(size)'"
  "near|delay-load symbols naming the build folder|check_executable|delay-load symbols name a path|edit exe/endsession.exe.map 's/__tailMerge_libwtsapi32/__tailMerge__build_libwtsapi32/g'"
  "near|no .rsrc section|check_executable|no .rsrc section|edit exe/endsession.exe 's/\.rsrc\0\0\0/.rsrx\0\0\0/'"
  "near|manifest without Windows 10's supportedOS|check_executable|manifest lacks {8e0f7a12|edit exe/endsession.exe 's/8e0f7a12-bfb3/8e0f7a12-bfb4/'"
  "near|version resource without CompanyName|check_executable|version resource lacks CompanyName|edit exe/endsession.exe 's/C\0o\0m\0p\0a\0n\0y\0N\0a\0m\0e\0/C\0o\0m\0p\0a\0n\0y\0N\0a\0m\0f\0/'"
  "near|version resource as a second manifest|check_executable|more than one manifest resource|version_as_manifest"
  "near|WTSAPI32 not delay-loaded|check_delay_imports|the delay-import directory lists 'ADVAPI32.dll USER32.dll WINSTA.dll|edit exe/endsession.exe 's/WTSAPI32\.dll\0\0/WINSTA.dll\0\0\0\0/'"
  "gone|SHA256SUMS without the SBOM|check_manifests|SHA256SUMS lists|sed -i '/spdx\.json\$/d' SHA256SUMS"
  "near|a changed hash in SHA256SUMS, for winget|check_manifests|SHA256SUMS does not verify|other_hex SHA256SUMS '^()'"
  "near|a stray file in the winget folder|check_manifests|winget folder holds|touch manifests/e/endsession/endsession/$version/notes.txt"
  "near|ManifestVersion 1.9.0|check_manifests|ManifestVersion 1.9.0|edit $version_manifest 's/ManifestVersion: 1\.10\.0/ManifestVersion: 1.9.0/'"
  "near|PackageVersion of another release|check_manifests|PackageVersion 0.9.0|edit $locale 's/PackageVersion: [^\n]*/PackageVersion: 0.9.0/'"
  "near|Commands naming another command|check_manifests|Commands .'endsession-cli'.|edit $installer 's/\nCommands:\n- endsession\n/\nCommands:\n- endsession-cli\n/'"
  "gone|the zip installer left out|check_manifests|installers .'msi'.|edit $installer 's/\n- Architecture: x64\n  InstallerType: zip.*?(\nManifestType)/\$1/s'"
  "near|MSI entry for x86|check_manifests|msi: architecture x86|edit $installer 's/Architecture: x64(\n  InstallerType: msi)/Architecture: x86\$1/'"
  "near|InstallerUrl of another file|check_manifests|msi: InstallerUrl|edit $installer 's/(InstallerUrl: [^\n]*)x64\.msi/\${1}x86.msi/'"
  "near|ProductCode of another MSI|check_manifests|msi: ProductCode|other_hex $installer '(\n  ProductCode: .\{)'"
  "near|Scope user|check_manifests|msi: Scope user|edit $installer 's/Scope: machine/Scope: user/'"
  "near|UpgradeBehavior uninstallPrevious|check_manifests|msi: UpgradeBehavior uninstallPrevious|edit $installer 's/UpgradeBehavior: install/UpgradeBehavior: uninstallPrevious/'"
  "near|Apps and Features ProductCode of another MSI|check_manifests|Apps and Features ProductCode|other_hex $installer '(\n    ProductCode: .\{)'"
  "near|Apps and Features publisher changed|check_manifests|Apps and Features publisher|edit $installer 's/(\n    Publisher: )[^\n]*/\${1}someone else/'"
  "near|portable alias changed|check_manifests|zip: nested|edit $installer 's/PortableCommandAlias: endsession/PortableCommandAlias: endsession-cli/'"
  "near|Moniker changed|check_manifests|, Moniker endsess,|edit $locale 's/\nMoniker: endsession\n/\nMoniker: endsess\n/'"
  "near|DefaultLocale en-GB|check_manifests|version: DefaultLocale en-GB|edit $version_manifest 's/DefaultLocale: en-US/DefaultLocale: en-GB/'"
  "near|locale Publisher changed|check_manifests|defaultLocale: Publisher someone else|edit $locale 's/\nPublisher: [^\n]*/\nPublisher: someone else/'"
  "near|a PublisherUrl never configured|check_manifests|defaultLocale: PublisherUrl https://example.org/|edit $locale 's/(\nLicense: MIT\n)/\nPublisherUrl: https:\/\/example.org\/\$1/'"
  "near|a LicenseUrl never configured|check_manifests|defaultLocale: LicenseUrl https://example.org/|edit $locale 's/(\nLicense: MIT\n)/\$1LicenseUrl: https:\/\/example.org\/LICENSE\n/'"
  "near|Scoop version of another release|check_manifests|scoop: version 0.9.0|json_edit endsession.json 'd[\"version\"] = \"0.9.0\"'"
  "near|Scoop url of another file|check_manifests|scoop: 64bit url .*, not the zip's|json_edit endsession.json 'd[\"architecture\"][\"64bit\"][\"url\"] += \".old\"'"
  "near|Scoop bin of another name|check_manifests|scoop: bin endsession-cli.exe|json_edit endsession.json 'd[\"bin\"] = \"endsession-cli.exe\"'"
  "near|Scoop homepage changed|check_manifests|scoop: homepage https://example.org/|json_edit endsession.json 'd[\"homepage\"] = \"https://example.org/\"'"
  "near|Scoop license changed|check_manifests|scoop: license Apache-2.0|json_edit endsession.json 'd[\"license\"] = \"Apache-2.0\"'"
  "near|SBOM download location of another file|check_manifests|SBOM download location|edit $sbom 's/(\"downloadLocation\": \"https:[^\"]*)\.zip/\$1.old/'"
  "gone|SBOM without documentNamespace|check_sbom|the SBOM has no documentNamespace|json_edit $sbom 'del d[\"documentNamespace\"]'"
  "near|SBOM dataLicense changed|check_sbom|document header|json_edit $sbom 'd[\"dataLicense\"] = \"CC-BY-4.0\"'"
  "near|SBOM created without its T and Z|check_sbom|created is not an SPDX date|json_edit $sbom 'd[\"creationInfo\"][\"created\"] = d[\"creationInfo\"][\"created\"].replace(\"T\", \" \").rstrip(\"Z\")'"
  "near|SBOM versionInfo of another release|check_sbom|endsession package: versionInfo 0.9.0|json_edit $sbom '[p.update(versionInfo=\"0.9.0\") for p in d[\"packages\"] if p[\"name\"] == \"endsession\"]'"
  "gone|SBOM linked package without its version|check_sbom|carries no Debian version|json_edit $sbom 'd[\"packages\"][2][\"versionInfo\"] = \"NOASSERTION\"'"
  "near|SBOM package URL for i386|check_sbom|package URL|json_edit $sbom 'r = d[\"packages\"][1][\"externalRefs\"][0]; r[\"referenceLocator\"] = r[\"referenceLocator\"].replace(\"amd64\", \"i386\")'"
  "gone|SBOM without a linked package|check_sbom|linked packages|json_edit $sbom 'd[\"packages\"] = d[\"packages\"][:2]'"
  "near|SBOM checksum of another README|check_sbom|is not the file's|json_edit $sbom 'd[\"files\"][1][\"checksums\"][1][\"checksumValue\"] = \"0\" * 64'"
  "gone|SBOM file without its SHA1|check_sbom|checksums SHA256|json_edit $sbom 'd[\"files\"][0][\"checksums\"] = d[\"files\"][0][\"checksums\"][1:]'"
  "gone|SBOM without LICENSE|check_sbom|files listed|json_edit $sbom 'd[\"files\"] = [f for f in d[\"files\"] if f[\"fileName\"] != \"./LICENSE\"]'"
  "gone|SBOM without DESCRIBES|check_sbom|no relationship SPDXRef-DOCUMENT DESCRIBES|json_edit $sbom 'd[\"relationships\"] = [r for r in d[\"relationships\"] if r[\"relationshipType\"] != \"DESCRIBES\"]'"
  "near|an executable changed after signing|check_signature|files/endsession.exe does not verify|edit files/endsession.exe 's/This program/THIS program/'"
  "gone|a release without the check kit|check_contents|SHA256SUMS lists: \\(endsession-$version-\\(check-\\)*arm64\\.[a-z]* \\)*endsession-$version-win64.zip|rm $kit; sed -i '/check-win64\.zip\$/d' SHA256SUMS"
  "near|a zip holding another build of endsession.exe|check_contents|the zip's endsession.exe is not the built one|rezip $zip endsession.exe $other_build"
  "near|a zip with a file more|check_contents|the zip holds: .* notes.txt|rezip $zip notes.txt files/LICENSE"
  "gone|a kit zip without README.md|check_contents|the check kit's zip holds: LICENSE endsession-check.exe|rezip $kit README.md"
  "near|a kit zip holding another executable|check_contents|another endsession-check.exe|rezip $kit endsession-check.exe $other_build"
  "near|an MSI of another build|check_contents|the MSI's endsession.exe is not the zip's|msi_of_other_build"
  "near|MSI ProductVersion with a character appended|check_msi|MSI property missing: ProductVersion|msi_sql \"UPDATE Property SET Value = '${version}1' WHERE Property = 'ProductVersion'\""
  "near|a signature whose signer digest is SHA-1|check_signature|'SHA1 SHA256 ', not SHA256 alone|signer_sha1_signed"
  "near|SBOM creators a Tool alone|check_sbom|creators name no organisation and tool|json_edit $sbom 'c = d[\"creationInfo\"]; c[\"creators\"] = [x for x in c[\"creators\"] if x.startswith(\"Tool:\")]'"
  "near|the zip installer listed twice|check_manifests|installers .'msi', 'zip'.|edit $installer 's/(\n- Architecture: x64\n  InstallerType: zip.*?)(\nManifestType)/\$1\$1\$2/s'"
  "near|Scoop hash of the MSI|check_manifests|scoop: 64bit url .*, not the zip's|json_edit endsession.json 'import hashlib; d[\"architecture\"][\"64bit\"][\"hash\"] = hashlib.sha256(open(\"$msi\", \"rb\").read()).hexdigest()'"
  "near|SHA256SUMS naming the kit zip for win32|check_contents|SHA256SUMS lists: \\(endsession-$version-\\(check-\\)*arm64\\.[a-z]* \\)*endsession-$version-check-win32.zip|sed -i 's/check-win64\.zip\$/check-win32.zip/' SHA256SUMS"
  "near|a kit zip with a file more|check_contents|the check kit's zip holds: .* notes.txt|rezip $kit notes.txt files/LICENSE"
  "near|DllCharacteristics with the neighbouring bit instead|check_executable|lack TERMINAL_SERVICE_AWARE|pe_field 70 2 '(v & ~0x8000) | 0x4000'"
  "near|unwind entries one byte off|check_executable|no unwind entry for|pe_edit 'offset, size = section[\".pdata\"]; [struct.pack_into(\"<I\", data, at, struct.unpack_from(\"<I\", data, at)[0] + 1) for at in range(offset, offset + size - 11, 12) if struct.unpack_from(\"<I\", data, at)[0]]'"
  "near|SHA256SUMS naming the MSI for x86|check_manifests|SHA256SUMS lists|sed -i 's/x64\.msi\$/x86.msi/' SHA256SUMS"
  "near|InstallModes in another order|check_manifests|msi: InstallModes|edit $installer 's/\n  - silent\n  - silentWithProgress\n/\n  - silentWithProgress\n  - silent\n/'"
  "near|WriteEnvironmentStrings one step later|check_msi|no WriteEnvironmentStrings|msi_sql \"UPDATE InstallExecuteSequence SET Sequence = 5201 WHERE Action = 'WriteEnvironmentStrings'\""
  "near|RemoveEnvironmentStrings one step later|check_msi|no RemoveEnvironmentStrings|msi_sql \"UPDATE InstallExecuteSequence SET Sequence = 3301 WHERE Action = 'RemoveEnvironmentStrings'\""
  "near|MSI downgrade refusal with a character appended|check_msi|MSI downgrade refusal|msi_sql \"UPDATE LaunchCondition SET Description = 'A newer version of endsession is already installed..' WHERE Condition = 'NOT WIX_DOWNGRADE_DETECTED'\""
  "near|MSI major upgrade of the same version too|check_msi|MSI major upgrade|msi_sql \"DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'\" \"INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11}', '$version', 513, 'WIX_UPGRADE_DETECTED')\""
  "near|SBOM downloadLocation with a character appended|check_sbom|endsession package: downloadLocation|edit $sbom 's/(\"downloadLocation\": \"https:[^\"]*\.zip)\"/\$1x\"/'"
  "near|SBOM linked package versioned with a letter first|check_sbom|carries no Debian version|json_edit $sbom 'd[\"packages\"][2][\"versionInfo\"] = \"v\" + d[\"packages\"][2][\"versionInfo\"]'"
  "near|SBOM linked package for i686|check_sbom|linked packages: gcc-mingw-w64-x86-64-win32;mingw-w64-i686-dev|json_edit $sbom '[p.update(name=\"mingw-w64-i686-dev\") for p in d[\"packages\"] if p[\"name\"] == \"mingw-w64-x86-64-dev\"]'"
  "near|SBOM file licence MIT-0|check_sbom|: licenseConcluded MIT-0, expected MIT|json_edit $sbom 'd[\"files\"][0][\"licenseConcluded\"] = \"MIT-0\"'"
  "near|SBOM file with SHA224 for its SHA1|check_sbom|checksums SHA224;SHA256|json_edit $sbom 'import hashlib; f = d[\"files\"][0]; c = f[\"checksums\"][0]; c.update(algorithm=\"SHA224\", checksumValue=hashlib.sha224(open(\"files/\" + f[\"fileName\"][2:], \"rb\").read()).hexdigest())'"
  "near|SBOM listing LICENSE twice|check_sbom|files listed: LICENSE;LICENSE;README.md|json_edit $sbom 'd[\"files\"] += [f for f in d[\"files\"] if f[\"fileName\"] == \"./LICENSE\"]'"
  "near|SBOM relationship DYNAMIC_LINK|check_sbom|no relationship SPDXRef-Package-endsession STATIC_LINK SPDXRef-Package-mingw-w64-x86-64-dev|json_edit $sbom '[r.update(relationshipType=\"DYNAMIC_LINK\") for r in d[\"relationships\"] if r[\"relatedSpdxElement\"] == \"SPDXRef-Package-mingw-w64-x86-64-dev\"]'"
  "near|SHA256SUMS naming the MSI for x86, for users|check_sums|SHA256SUMS lists|sed -i 's/x64\.msi\$/x86.msi/' SHA256SUMS"
  "near|ARM64 zip with a file more|check_contents|the ARM64 zip holds: .* notes.txt|rezip $arm64_zip notes.txt files/LICENSE"
  "near|ARM64 zip holding the x64 endsession.exe|check_contents|the ARM64 zip's endsession.exe is not the built one|rezip $arm64_zip endsession.exe $build/src/endsession.exe"
  "near|ARM64 zip with a README.md one character off|check_contents|the ARM64 zip's README.md or LICENSE is not the x64 zip's|sed 's/endsession/Endsession/' files/README.md >readme && rezip $arm64_zip README.md readme"
  "near|ARM64 kit zip holding the x64 kit|check_contents|the ARM64 check kit's zip holds another endsession-check.exe|rezip $arm64_kit endsession-check.exe $build/src/check/endsession-check.exe"
  "near|ARM64 kit zip with a file more|check_contents|the ARM64 check kit's zip holds: .* notes.txt|rezip $arm64_kit notes.txt files/LICENSE"
  "near|ARM64 kit zip with a LICENSE one character off|check_contents|the ARM64 kit's README.md or LICENSE is not the x64 zip's|sed '0,/the/s//The/' files/LICENSE >licence && rezip $arm64_kit LICENSE licence"
  "near|ARM64 kit zip named for arm|check_contents|SHA256SUMS lists: .*endsession-$version-check-arm.zip|mv $arm64_kit endsession-$version-check-arm.zip && sed -i 's/check-arm64\.zip\$/check-arm.zip/' SHA256SUMS"
  "near|ARM64 MSI made from the x64 files|check_contents|the ARM64 MSI's endsession.exe is not the ARM64 zip's|repackage '' '' \$PWD/files arm64"
  "near|ARM64 MSI with the x64 template|check_msi|MSI is not arm64: Template: x64;1033|repackage '' 's/\"Arm64;1033\"/\"x64;1033\"/' \$PWD/arm64-files arm64"
  "gone|ARM64 MSI left out of SHA256SUMS|check_sums|SHA256SUMS lists|sed -i '/ $arm64_msi\$/d' SHA256SUMS"
  "near|ARM64 executable marked x64|check_executable|machine 0x8664, expected 0xaa64|python3 -c 'import sys, struct; d = bytearray(open(sys.argv[1], \"rb\").read()); struct.pack_into(\"<H\", d, struct.unpack_from(\"<I\", d, 0x3C)[0] + 4, 0x8664); open(sys.argv[1], \"wb\").write(d)' exe-arm64/endsession.exe"
  "near|ARM64 executable one byte over the budget|check_executable|over the budget|budget=\$((\$(stat -c %s exe-arm64/endsession.exe) - 1))"
  "near|ARM64 MSI entry marked arm|check_manifests|msi: architecture arm|edit $installer 's/Architecture: arm64(\n  InstallerType: msi)/Architecture: arm\$1/'"
  "near|ARM64 zip URL of the x64 zip|check_manifests|arm64 zip: InstallerUrl|edit $installer 's/(Architecture: arm64\n  InstallerType: zip.*?InstallerUrl: [^\n]*)arm64\.zip/\${1}win64.zip/s'"
  "near|ARM64 executable with another floor|check_manifests|PE header floors|arm64_zip_exe_edit 'struct.pack_into(\"<H\", data, optional + 42, 2)'"
  "near|ARM64 Scoop entry named arm|check_manifests|scoop: architectures|json_edit endsession.json 'd[\"architecture\"][\"arm\"] = d[\"architecture\"].pop(\"arm64\")'"
  "near|ARM64 Scoop hash of the x64 zip|check_manifests|scoop: arm64 url .*, not the zip's|json_edit endsession.json 'd[\"architecture\"][\"arm64\"][\"hash\"] = d[\"architecture\"][\"64bit\"][\"hash\"]'"
  "near|ARM64 SBOM download location of the x64 zip|check_manifests|arm64 SBOM download location|edit $sbom 's/(\"downloadLocation\": \"https:[^\"]*)arm64\.zip/\${1}win64.zip/'"
  "near|ARM64 SBOM package named endsession-arm|check_sbom|an unexpected package SPDXRef-Package-endsession-arm64 named endsession-arm|json_edit $sbom '[p.update(name=\"endsession-arm\") for p in d[\"packages\"] if p[\"name\"] == \"endsession-arm64\"]'"
  "near|ARM64 SBOM package id one character off|check_sbom|the SBOM lacks the package endsession-arm64|json_edit $sbom '[p.update(SPDXID=\"SPDXRef-Package-endsession-arm6\") for p in d[\"packages\"] if p[\"name\"] == \"endsession-arm64\"]'"
  "gone|ARM64 SBOM package left out|check_sbom|the SBOM lacks the package endsession-arm64|json_edit $sbom 'd[\"packages\"] = [p for p in d[\"packages\"] if p[\"name\"] != \"endsession-arm64\"]'"
  "near|ARM64 SBOM linking LLVM from a package of another name|check_sbom|llvm-toolchain-14 is linked by no package|json_edit $sbom '[r.update(spdxElementId=\"SPDXRef-Package-endsession-arm\") for r in d[\"relationships\"] if r[\"relatedSpdxElement\"] == \"SPDXRef-Package-source-llvm-toolchain-14\"]'"
  "near|ARM64 SBOM file contained in a package of another name|check_sbom|SPDXRef-File-arm64-LICENSE (LICENSE) is contained in no package|json_edit $sbom '[r.update(spdxElementId=\"SPDXRef-Package-endsession-arm\") for r in d[\"relationships\"] if r[\"relatedSpdxElement\"] == \"SPDXRef-File-arm64-LICENSE\"]'"
  "near|ARM64 SBOM linked package for arm64 binaries|check_sbom|mingw-w64: package URL|json_edit $sbom 'r = [p for p in d[\"packages\"] if p[\"name\"] == \"mingw-w64\"][0][\"externalRefs\"][0]; r[\"referenceLocator\"] = r[\"referenceLocator\"].replace(\"arch=source\", \"arch=arm64\")'"
  "near|ARM64 SBOM linked packages without LLVM's|check_sbom|endsession-arm64 linked packages: mingw-w64|json_edit $sbom 'd[\"relationships\"] = [r for r in d[\"relationships\"] if r[\"relatedSpdxElement\"] != \"SPDXRef-Package-source-llvm-toolchain-14\"]; d[\"packages\"] = [p for p in d[\"packages\"] if p[\"name\"] != \"llvm-toolchain-14\"]'"
  "near|ARM64 SBOM checksum of the x64 endsession.exe|check_sbom|endsession-arm64 endsession.exe: SHA256|json_edit $sbom 'x = [f for f in d[\"files\"] if f[\"SPDXID\"] == \"SPDXRef-File-endsession-exe\"][0]; a = [f for f in d[\"files\"] if f[\"SPDXID\"] == \"SPDXRef-File-arm64-endsession-exe\"][0]; a[\"checksums\"][1] = dict(x[\"checksums\"][1])'"
  "near|ARM64 MSI signed by another key|check_signature|$arm64_msi does not verify|openssl req -x509 -newkey rsa:2048 -nodes -keyout other.pem -out other.crt -days 2 -subj /CN=other -addext extendedKeyUsage=codeSigning 2>/dev/null && osslsigncode remove-signature -in $arm64_msi -out unsigned.msi >/dev/null && osslsigncode sign -certs other.crt -key other.pem -h sha256 -in unsigned.msi -out $arm64_msi.new >/dev/null && mv $arm64_msi.new $arm64_msi && rm unsigned.msi other.pem other.crt"
)
# The rows named "ARM64 ..." plant into the ARM64 files: left out where ARM64 does not ship.
if [ -z "$built_arm64" ]; then
  for i in "${!faults[@]}"; do
    [[ ${faults[$i]} != *"|ARM64 "* ]] || unset "faults[$i]"
  done
fi

# The signed release and the built executables with their maps, in exe/ and exe-arm64/.
rm -rf "$work/reference"
cp -a "$signing/signed" "$work/reference"
mkdir "$work/reference/exe"
cp "$build/src/endsession.exe" "$build/src/endsession.exe.map" "$work/reference/exe/"
if [ -n "$built_arm64" ]; then
  mkdir "$work/reference/exe-arm64"
  cp "$built_arm64" "$built_arm64.map" "$work/reference/exe-arm64/"
fi
copy_release() {
  cd "$work"
  rm -rf "$work/release"
  cp -a "$work/reference" "$work/release"
  cd "$work/release"
  budget=$size_budget
}

copy_release
for checker in check_manifests check_sbom check_sums check_signature check_msi check_contents check_executable check_delay_imports; do
  "$checker" >"$work/log" 2>&1 || { fail "$checker refuses the good release: $(tail -5 "$work/log")"; }
done
for fault in "${faults[@]}"; do
  IFS='|' read -r _ name checker says plant <<<"$fault"
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
