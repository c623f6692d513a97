#!/usr/bin/env bash
# Points the PE's delay-import directory (data directory 13) of EXE at its
# delay-import descriptors, which the linker script gathers, with their
# all-zero terminator, between ___delay_import_descriptors__ and
# ___delay_import_descriptors_end__ (addresses from the link map), and
# recomputes the header checksum (pe_checksum.sh). GNU ld leaves the directory empty, so
# dependency and inventory tools would not see the delay-loaded DLLs.
# Usage: set_delay_import_directory.sh EXE MAP
set -euo pipefail
exe=$1 map=$2

symbol() {
  local address
  address=$(awk -v name="$1" '$2 == name && $1 ~ /^0x/ {print $1; exit}' "$map")
  [ -n "$address" ] || { echo "set_delay_import_directory: no $1 in $map" >&2; exit 1; }
  echo $((address))
}
# u32 OFFSET / put_u32 OFFSET VALUE: a little-endian 32-bit field of EXE.
u32() { od -An -j "$1" -N 4 -tu4 "$exe" | tr -d ' '; }
put_u32() {
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($2 & 255)) $(($2 >> 8 & 255)) $(($2 >> 16 & 255)) $(($2 >> 24 & 255)))" |
    dd of="$exe" bs=1 seek="$1" conv=notrunc status=none
}

start=$(symbol ___delay_import_descriptors__)
end=$(symbol ___delay_import_descriptors_end__)
optional_header=$(($(u32 60) + 24))
[ "$(od -An -j "$optional_header" -N 2 -tx2 "$exe" | tr -d ' ')" = 020b ] ||
  { echo "set_delay_import_directory: $exe is not a PE32+ image" >&2; exit 1; }
image_base=$(od -An -j $((optional_header + 24)) -N 8 -tu8 "$exe" | tr -d ' ')
put_u32 $((optional_header + 112 + 13 * 8)) $((start - image_base))
put_u32 $((optional_header + 112 + 13 * 8 + 4)) $((end - start))

bash "$(dirname "$0")/pe_checksum.sh" "$exe"
