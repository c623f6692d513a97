# The built endsession.exe: its size budget, the only DLLs it may import, its
# PE header, unwind data for every function of its own, and the resources it
# must carry (manifest settings, version from the project, the licence's
# copyright line). EXE.map is the link map of the same link. MACHINE, x64
# (the default) or arm64, is the architecture EXE must be built for; OBJDUMP
# one that reads it (GNU's for x64, LLVM's for arm64).
# Usage: check_executable.sh EXE MAX-BYTES VERSION OBJDUMP LICENSE [MACHINE]
set -u
exe=$1 max_bytes=$2 version=$3 objdump=$4 license=$5 machine=${6:-x64}
map=$exe.map
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

size=$(stat -c %s "$exe")
echo "size: $size bytes (budget $max_bytes)"
[ "$size" -le "$max_bytes" ] || fail "$size bytes is over the budget of $max_bytes"

# Loaded at start: KERNEL32 and msvcrt only. ADVAPI32, USER32 and WTSAPI32
# are delay-loaded: the PE's delay-import directory lists exactly those.
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
echo "imports at start: $imports"
[ "$imports" = "KERNEL32.DLL MSVCRT.DLL " ] || fail "unexpected imports: $imports"

. "$(dirname "$0")/delay_imports.sh"
delay_loaded_dlls "$exe" "$objdump"
echo "delay-loaded: $delay_loaded($directory_size bytes)"
[ "$delay_loaded" = "ADVAPI32.dll USER32.dll WTSAPI32.dll " ] || fail "the delay-import directory lists: '$delay_loaded'"
[ "$directory_size" -eq 128 ] || fail "the delay-import directory is $directory_size bytes, not three descriptors and the zero one"
u32() { od -An -j "$1" -N 4 -tu4 "$exe" | tr -d ' '; }
optional_header=$(($(u32 60) + 24))
image_base=$(od -An -j $((optional_header + 24)) -N 8 -tu8 "$exe" | tr -d ' ')

# The COFF header's machine: IMAGE_FILE_MACHINE_AMD64 or _ARM64.
case $machine in x64) expected_machine=8664 ;; arm64) expected_machine=aa64 ;; *) expected_machine=none ;; esac
found_machine=$(od -An -j $((optional_header - 20)) -N 2 -tx2 "$exe" | tr -d ' ')
[ "$found_machine" = "$expected_machine" ] || fail "machine 0x$found_machine, expected 0x$expected_machine ($machine)"

# The header checksum, recomputed here (the build's post-link step writes
# it): the file's 16-bit words, the checksum field read as 0, summed with
# the carries folded back in, plus the file's length.
checksum=$(python3 - "$exe" $((optional_header + 64)) <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = int(sys.argv[2])
length = len(data)
data[at:at + 4] = bytes(4)
if length % 2:
    data.append(0)
total = 0
for i in range(0, length, 2):
    total += data[i] | data[i + 1] << 8
    total = (total & 0xFFFF) + (total >> 16)
print(total + length)
PY
)
[ "$(u32 $((optional_header + 64)))" = "$checksum" ] ||
  fail "header checksum $(u32 $((optional_header + 64))), the file's is $checksum"

# PE header: Remote Desktop aware, and Windows 7 (6.1), the manifest's
# floor, as the subsystem and OS version.
header=$("$objdump" -p "$exe")
field() { sed -n "s/^$1[[:space:]]\+//p" <<<"$header" | head -1; }
# IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, read from the header's bytes.
dll_characteristics=$(od -An -j $((optional_header + 70)) -N 2 -tu2 "$exe" | tr -d ' ')
[ $((dll_characteristics & 0x8000)) -ne 0 ] ||
  fail "DllCharacteristics $(printf '%04x' "$dll_characteristics") lack TERMINAL_SERVICE_AWARE"
for version_field in MajorSubsystemVersion:6 MinorSubsystemVersion:1 MajorOSystemVersion:6 MinorOSystemVersion:1; do
  [ "$(field "${version_field%:*}")" = "${version_field#*:}" ] ||
    fail "the PE header's ${version_field%:*} is $(field "${version_field%:*}"), expected ${version_field#*:}"
done

# x64 only, from GNU ld's map: unwind data and dlltool's symbol names. (ARM64
# exempts leaf functions from unwind data, and lld's map names neither
# archives nor their delay-load thunks.)
if [ "$machine" = x64 ]; then
# Unwind data: the exception table (.pdata) holds an entry that begins at
# each function of the tool's own objects (their places from the link map).
begins=$(sed -n '/^The Function Table/,/^$/p' <<<"$header" | awk 'NF == 4 && $1 ~ /:$/ {print $2}')
functions=$(awk '
  /^ \.text(\$|\.startup\.)/ { name = $1; if (NF >= 4) { print name, $2, $3, $4 } else { pending = 1 }; next }
  pending && NF >= 3 { print name, $1, $2, $3 } { pending = 0 }' "$map" |
  awk '$3 != "0x0" && $4 ~ /(main|windows_runtime)\.cc\.obj|libendsession_core\.a/ {print $1, $2}')
[ "$(wc -l <<<"$functions")" -ge 10 ] || fail "only $(wc -l <<<"$functions") functions of the tool's own in $map"
while read -r name address; do
  grep -qix "0*${address#0x}" <<<"$begins" || fail "no unwind entry for $name at $address"
done <<<"$functions"
echo "unwind entries: $(wc -l <<<"$functions") functions of the tool's own, each in the exception table"

# Delay-load symbols are named after dlltool's output path: relative, so no
# build folder reaches an unstripped or debug build.
tail_merges=$(grep -o '__tailMerge_[A-Za-z0-9_]*' "$map" | sort -u | tr '\n' ' ')
[ "$tail_merges" = "__tailMerge_libadvapi32_delay_a __tailMerge_libuser32_delay_a __tailMerge_libwtsapi32_delay_a " ] ||
  fail "delay-load symbols name a path: $tail_merges"
fi

# Resource bytes as one hex string; texts searched as ASCII or UTF-16LE.
rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
# The .rsrc section's bytes, found by name in the section table; its RVA.
rsrc_rva=$(python3 - "$exe" "$rsrc" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
for header in range(pe + 24 + optional_size, pe + 24 + optional_size + 40 * count, 40):
    if data[header:header + 8].rstrip(b"\0") == b".rsrc":
        size, rva, raw_size, raw = struct.unpack_from("<IIII", data, header + 8)
        open(sys.argv[2], "wb").write(data[raw:raw + min(size, raw_size)])
        print(rva)
PY
)
[ -n "$rsrc_rva" ] && [ -s "$rsrc" ] || { fail "no .rsrc section"; rsrc_rva=0; }
hex=$(od -An -tx1 -v "$rsrc" | tr -d ' \n')
ascii_hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
utf16_hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n'; }
contains() { [[ $hex == *"$1"* ]]; }

for text in 'level="asInvoker"' '>UTF-8</activeCodePage>' \
  '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
  '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
  contains "$(ascii_hex "$text")" || fail "manifest lacks $text"
done
copyright=$(grep -m1 '^Copyright' "$license")
for text in CompanyName FileDescription FileVersion InternalName ProductName ProductVersion \
  OriginalFilename LegalCopyright endsession.exe "$copyright" "${copyright#Copyright (c) [0-9]* }" "$version"; do
  contains "$(utf16_hex "$text")" || fail "version resource lacks $text"
done

# Where the loader and Explorer read them: the manifest is resource 1 of type
# 24 (RT_MANIFEST; an exe's manifest is read only there), and the version
# resource's fixed block (signature 0xFEEF04BD) holds the project's version
# as FILEVERSION and PRODUCTVERSION.
resources=$(python3 - "$rsrc" "$rsrc_rva" <<'PY'
import struct, sys
data, base = open(sys.argv[1], "rb").read(), int(sys.argv[2])
def entries(offset):
    named, numbered = struct.unpack_from("<HH", data, offset + 12)
    for i in range(named + numbered):
        name, target = struct.unpack_from("<II", data, offset + 16 + 8 * i)
        yield name, target
for kind, types in entries(0):
    for name, names in entries(types & 0x7FFFFFFF):
        for language, leaf in entries(names & 0x7FFFFFFF):
            rva, size = struct.unpack_from("<II", data, leaf)
            line = "type %d id %d" % (kind, name)
            block = data[rva - base:rva - base + size]
            at = block.find(struct.pack("<I", 0xFEEF04BD))
            if kind == 16 and at >= 0:
                file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", block, at + 8)
                line += " file %d.%d.%d.%d product %d.%d.%d.%d" % (
                    file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF,
                    product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF)
            print(line)
PY
)
echo "resources: $(tr '\n' ';' <<<"$resources")"
grep -qx 'type 24 id 1' <<<"$resources" || fail "no manifest as resource 1 of type 24: $resources"
[ "$(grep -c '^type 24 ' <<<"$resources")" -eq 1 ] || fail "more than one manifest resource: $resources"
grep -qx "type 16 id 1 file $version.0 product $version.0" <<<"$resources" ||
  fail "the version resource's fixed block is not $version.0: $(grep '^type 16' <<<"$resources")"

[ "$failures" -eq 0 ] || exit 1
echo "executable checks passed"
