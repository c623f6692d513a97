# Each EXE's delay-import directory lists exactly EXPECTED (names, each
# followed by a space).
# Usage: check_delay_imports.sh OBJDUMP EXPECTED EXE...
set -u
objdump=$1 expected=$2
shift 2
. "$(dirname "$0")/delay_imports.sh"
failures=0
for exe in "$@"; do
  delay_loaded_dlls "$exe" "$objdump"
  echo "$(basename "$exe"): '$delay_loaded' ($directory_size bytes)"
  [ "$delay_loaded" = "$expected" ] || { echo "FAIL: $exe: the delay-import directory lists '$delay_loaded'" >&2; failures=$((failures + 1)); }
done
[ "$failures" -eq 0 ]
