# Sourced: delay_loaded_dlls EXE OBJDUMP sets delay_loaded to the DLL names
# the PE's delay-import directory (data directory 13) lists, each followed by
# a space, and directory_size to the directory's size in bytes. The headers
# are read as bytes, alike for every linker (OBJDUMP is not needed).
delay_loaded_dlls() {
  local exe=$1 objdump=$2
  u32() { od -An -j "$1" -N 4 -tu4 "$exe" | tr -d ' '; }
  local optional_header directory_rva descriptor name_at sections
  optional_header=$(($(u32 60) + 24))
  # The section table, read from the headers (every linker's and objdump's
  # alike): "RVA size file-offset" per section.
  local count at
  count=$(od -An -j $((optional_header - 20 + 2)) -N 2 -tu2 "$exe" | tr -d ' ')
  at=$((optional_header + $(od -An -j $((optional_header - 4)) -N 2 -tu2 "$exe" | tr -d ' ')))
  sections=""
  for ((i = 0; i < count; i++)); do
    sections+="$(u32 $((at + 12))) $(u32 $((at + 8))) $(u32 $((at + 20)))"$'\n'
    at=$((at + 40))
  done
  # file_offset RVA: where an RVA lies in the file.
  file_offset() {
    local start size offset
    while read -r start size offset; do
      [ -n "$start" ] || continue
      if [ "$1" -ge "$start" ] && [ "$1" -lt $((start + size)) ]; then
        echo $((offset + $1 - start))
        return
      fi
    done <<<"$sections"
  }
  delay_loaded=""
  directory_rva=$(u32 $((optional_header + 112 + 13 * 8)))
  directory_size=$(u32 $((optional_header + 112 + 13 * 8 + 4)))
  if [ "$directory_rva" -ne 0 ]; then
    descriptor=$(file_offset "$directory_rva")
    # 32-byte descriptors up to the all-zero one; the DLL name's RVA is the second field.
    while [ -n "$descriptor" ] && [ "$(od -An -v -j "$descriptor" -N 32 -tx1 "$exe" | tr -d ' 0\n')" != "" ]; do
      name_at=$(file_offset "$(u32 $((descriptor + 4)))")
      delay_loaded+="$(dd if="$exe" bs=1 skip="$name_at" count=64 status=none | tr '\0' '\n' | head -1) "
      descriptor=$((descriptor + 32))
    done
  fi
}
