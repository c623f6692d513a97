# Authenticode signatures that current Windows accepts: each file verifies
# against CA-FILE, and both its digest and the signer's are SHA-256 (SHA-1
# signatures are refused).
# Usage: check_signature.sh CA-FILE FILE...
set -u
ca=$1
shift
status=0
for file in "$@"; do
  verdict=$(osslsigncode verify -CAfile "$ca" -in "$file" 2>&1)
  if grep -q '^Succeeded' <<<"$verdict"; then
    echo "verified: $file: $(grep -m1 -E 'Signer #0|Subject:' <<<"$verdict" | sed 's/^[[:space:]]*//')"
  else
    echo "FAIL: $file does not verify: $(tail -5 <<<"$verdict")" >&2
    status=1
  fi
  digests=$(sed -n 's/^Message digest algorithm *: *//p' <<<"$verdict" | sort -u | tr '\n' ' ')
  [ "$digests" = "SHA256 " ] || { echo "FAIL: $file: digest algorithms '$digests', not SHA256 alone" >&2; status=1; }
done
exit "$status"
