#!/usr/bin/env bash
# Writes the PE header checksum of EXE: the file's 16-bit words, the checksum
# field read as 0, summed with the carries folded back in, plus the file's
# length. Neither GNU ld nor lld writes it.
# Usage: pe_checksum.sh EXE
set -euo pipefail
exe=$1
u32() { od -An -j "$1" -N 4 -tu4 "$exe" | tr -d ' '; }
put_u32() {
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($2 & 255)) $(($2 >> 8 & 255)) $(($2 >> 16 & 255)) $(($2 >> 24 & 255)))" |
    dd of="$exe" bs=1 seek="$1" conv=notrunc status=none
}
checksum_at=$(($(u32 60) + 24 + 64))
put_u32 "$checksum_at" 0
size=$(stat -c %s "$exe")
checksum=$( { cat "$exe"; [ $((size % 2)) -eq 0 ] || printf '\0'; } | od -An -v -tu2 |
  awk -v size="$size" '{ for (i = 1; i <= NF; i++) { sum += $i; sum = sum % 65536 + int(sum / 65536) } }
    END { sum = sum % 65536 + int(sum / 65536); print sum + size }')
put_u32 "$checksum_at" "$checksum"
