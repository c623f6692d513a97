# Every release checker is seen to fail: the signed release (release.signing's,
# with manifests for a release URL) passes all four checkers as it is; then,
# in a fresh copy for each fault below, the checker that owns the fault must
# exit non-zero with a message naming it. Planted into copies, never into
# the built tree.
# Usage: planted_faults.sh BUILD-DIR SIGNING-WORK-DIR VERSION SOURCE-DIR
set -u
build=$1 signing=$2 version=$3 source_dir=$4
url=https://downloads.example.org/endsession/$version/
zip=endsession-$version-win64.zip msi=endsession-$version-x64.msi sbom=endsession-$version.spdx.json
installer=manifests/e/endsession/endsession/$version/endsession.endsession.installer.yaml
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

# The faults: name, owning checker, what its message must say, how to plant.
edit() { perl -0777 -i -pe "$2" "$1"; }
sha1_signed() {
  rm files/endsession.exe
  osslsigncode sign -pkcs12 "$signing/key.p12" -readpass "$signing/key.pass" -h sha1 -n endsession \
    -in "$build/src/endsession.exe" -out files/endsession.exe >/dev/null
}
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
)

copy_release() {
  rm -rf "$work/release"
  cp -a "$signing/signed" "$work/release"
  cd "$work/release"
}

copy_release
for checker in check_manifests check_sbom check_sums check_signature; do
  "$checker" >"$work/log" 2>&1 || { fail "$checker refuses the good release: $(tail -5 "$work/log")"; }
done
for fault in "${faults[@]}"; do
  IFS='|' read -r name checker says plant <<<"$fault"
  copy_release
  eval "$plant" || { fail "$name: could not be planted"; continue; }
  [ -n "$(cd "$work/release" && diff -rq "$signing/signed" . 2>/dev/null)" ] || { fail "$name: planted nothing"; continue; }
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
