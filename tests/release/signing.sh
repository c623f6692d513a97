# Signing the release with a throwaway self-signed code-signing certificate
# (a PKCS#12 file made here, its password in a file, as docs/release.md's example
# gives ENDSESSION_SIGNING): osslsigncode verifies the executable in the
# zip, the one inside the MSI, the MSI and the check kit's executable, each
# signed with SHA-256; two signed releases made at
# different times are identical (no timestamp server: the signing time is
# the release's epoch); the winget and Scoop manifests carry the signed
# files' hashes; a key that cannot be read fails the release with
# osslsigncode's message and leaves no artifact behind. The signed files stay
# in WORK-DIR/signed/files for the end-to-end cases under Wine. Where ARM64
# ships (ARM64 given), its executable in the zip and in the MSI, its MSI and
# its check kit's executable are signed and checked alike.
# Usage: signing.sh BUILD-DIR WORK-DIR VERSION SOURCE-DIR [ARM64]
set -u
build=$1 work=$2 version=$3 source_dir=$4 arm64=${5:-}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=endsession test signing" -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=digitalSignature" 2>/dev/null || { echo "FAIL: openssl" >&2; exit 1; }
openssl pkcs12 -export -inkey key.pem -in cert.pem -out key.p12 -passout pass:throwaway
printf 'throwaway\n' >key.pass
# The documented PKCS#12 example, as written there, with this key's files.
documented=$(sed -n "s/^ENDSESSION_SIGNING='\(-pkcs12 [^']*\)'.*/\1/p" "$source_dir/docs/release.md")
[ -n "$documented" ] || { echo "FAIL: no PKCS#12 example in docs/release.md" >&2; exit 1; }
documented=${documented//\/secure\/codesign.p12/$work/key.p12}
documented=${documented//\/secure\/codesign.pass/$work/key.pass}

release_url=https://downloads.example.org/endsession/$version/
release() {  # release FOLDER SIGNING-OPTIONS
  ENDSESSION_SIGNING=$2 ENDSESSION_TIMESTAMP_URL='' ENDSESSION_RELEASE_URL=$release_url cpack --config "$build/CPackConfig.cmake" -B "$work/$1" >"$work/$1.log" 2>&1
}
release signed "$documented" || { cat signed.log >&2; exit 1; }
sleep 1
release signed-again "-pkcs12 '$work/key.p12' -readpass '$work/key.pass'" || { cat signed-again.log >&2; exit 1; }

zip=endsession-$version-win64.zip msi=endsession-$version-x64.msi
mkdir -p signed/files signed/msi-files signed/kit
(cd signed/files && cmake -E tar xf "../$zip")
(cd signed/kit && cmake -E tar xf "../endsession-$version-check-win64.zip")
msiextract -C signed/msi-files "signed/$msi" >/dev/null
signed_files=(signed/files/endsession.exe signed/msi-files/endsession/endsession.exe "signed/$msi"
  signed/kit/endsession-check.exe)
signed_calls=3
if [ -n "$arm64" ]; then
  arm64_msi=endsession-$version-arm64.msi
  mkdir -p signed/arm64-files signed/arm64-msi-files signed/arm64-kit
  (cd signed/arm64-files && cmake -E tar xf "../endsession-$version-arm64.zip")
  (cd signed/arm64-kit && cmake -E tar xf "../endsession-$version-check-arm64.zip")
  msiextract -C signed/arm64-msi-files "signed/$arm64_msi" >/dev/null
  signed_files+=(signed/arm64-files/endsession.exe signed/arm64-msi-files/endsession/endsession.exe "signed/$arm64_msi"
    signed/arm64-kit/endsession-check.exe)
  signed_calls=6
fi
bash "$source_dir/tests/release/check_signature.sh" cert.pem "${signed_files[@]}" || fail "signatures"
bash "$source_dir/tests/release/check_sums.sh" signed || fail "SHA256SUMS of the signed files"
epoch=$(sed -n 's/^set(CPACK_ENDSESSION_EPOCH "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
python3 "$source_dir/tests/release/check_manifests.py" signed "$release_url" "$version" \
  "$source_dir/tests/release/schemas" "$epoch" "architectures=x64${arm64:+,arm64}" || fail "the signed release's manifests"
cmp -s signed/SHA256SUMS signed-again/SHA256SUMS || fail "two signed releases differ: $(cat signed/SHA256SUMS signed-again/SHA256SUMS)"

# With a timestamp server, each file is signed with osslsigncode's -ts and
# that URL instead of the fixed time: a stand-in first on PATH records each
# call and signs as osslsigncode would, the server left out (no network).
real=$(command -v osslsigncode)
mkdir -p stand-in
cat >stand-in/osslsigncode <<STANDIN
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$work/osslsigncode.calls"
kept=()
while [ \$# -gt 0 ]; do
  if [ "\$1" = -ts ]; then shift 2; else kept+=("\$1"); shift; fi
done
exec "$real" "\${kept[@]}"
STANDIN
chmod +x stand-in/osslsigncode
timestamp_url=http://timestamp.example.org/rfc3161
PATH=$work/stand-in:$PATH ENDSESSION_SIGNING="-pkcs12 '$work/key.p12' -readpass '$work/key.pass'" \
  ENDSESSION_TIMESTAMP_URL=$timestamp_url ENDSESSION_RELEASE_URL=$release_url \
  cpack --config "$build/CPackConfig.cmake" -B "$work/timestamped" >"$work/timestamped.log" 2>&1 ||
  { fail "the release with a timestamp server: $(tail -5 timestamped.log)"; }
calls=$(grep -c -- "^sign .* -ts $timestamp_url " osslsigncode.calls 2>/dev/null)
[ "$calls" = "$signed_calls" ] && ! grep -q -- ' -time ' osslsigncode.calls ||
  fail "osslsigncode was not given -ts $timestamp_url for each executable and MSI: $(cat osslsigncode.calls 2>/dev/null)"

# A key that cannot be read: the release fails, says why, and writes nothing.
if release failed "-pkcs12 $work/no-such-key.p12 -readpass $work/key.pass"; then
  fail "the release passed with a key that does not exist"
fi
grep -q 'signing endsession.exe failed' failed.log || fail "no word of the failure: $(tail -5 failed.log)"
grep -qi 'pkcs' failed.log || fail "osslsigncode's own message is missing: $(tail -5 failed.log)"
left=$(cd failed && ls -d endsession* manifests SHA256SUMS 2>/dev/null)
[ -z "$left" ] || fail "a failed signing left: $left"

[ "$failures" -eq 0 ] || exit 1
echo "signing checks passed"
