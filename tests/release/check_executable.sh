# The built endsession.exe: its size budget, the only DLLs it may import, and
# the resources it must carry (manifest settings, version from the project).
# Usage: check_executable.sh EXE MAX-BYTES VERSION OBJDUMP
set -u
exe=$1 max_bytes=$2 version=$3 objdump=$4
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

size=$(stat -c %s "$exe")
echo "size: $size bytes (budget $max_bytes)"
[ "$size" -le "$max_bytes" ] || fail "$size bytes is over the budget of $max_bytes"

# Loaded at start: KERNEL32 and msvcrt only. ADVAPI32 and USER32 are
# delay-loaded: their names live in the delay-load descriptors, which GNU ld
# does not list in the PE directory, so they are looked for as strings.
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
echo "imports at start: $imports"
[ "$imports" = "KERNEL32.DLL MSVCRT.DLL " ] || fail "unexpected imports: $imports"
dll_names=$(strings -a "$exe" | grep -ixE '[a-z0-9_]+\.dll' | tr 'a-z' 'A-Z' | sort -u | tr '\n' ' ')
echo "DLLs named: $dll_names"
[ "$dll_names" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || fail "unexpected DLLs: $dll_names"

# Resource bytes as one hex string; texts searched as ASCII or UTF-16LE.
rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
"${objdump%objdump}objcopy" -O binary --only-section=.rsrc "$exe" "$rsrc" || fail "no .rsrc section"
hex=$(od -An -tx1 -v "$rsrc" | tr -d ' \n')
ascii_hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
utf16_hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n'; }
contains() { [[ $hex == *"$1"* ]]; }

for text in 'level="asInvoker"' '>UTF-8</activeCodePage>' \
  '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
  '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
  contains "$(ascii_hex "$text")" || fail "manifest lacks $text"
done
for text in FileDescription FileVersion ProductName ProductVersion OriginalFilename \
  LegalCopyright endsession.exe "MIT License" "$version"; do
  contains "$(utf16_hex "$text")" || fail "version resource lacks $text"
done

[ "$failures" -eq 0 ] || exit 1
echo "executable checks passed"
