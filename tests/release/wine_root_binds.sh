#!/usr/bin/env bash
# The arm64 Wine root reaches the build trees through binds of their
# top-level folders (cmake/bind_into_root.sh), kept from run to run; here in
# a scratch root, with a top-level folder of its own:
# - a folder removed and made anew under its bind is bound again: the root
#   sees the new folder's files, not the removed one's emptiness;
# - a bind of the folder there now is kept, not stacked;
# - a folder under the root's own system folders is refused with 77.
# Needs root (mount); exits 77 without it.
# Usage: wine_root_binds.sh BIND-SCRIPT WORK-DIR
set -u
bind=$1 work=$2
[ "$(id -u)" -eq 0 ] || { echo "mount needs root: skipped"; exit 77; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
root=$work/root
folder=$(mktemp -d /endsession-bind.XXXXXX)
cleanup() {
  while mountpoint -q "$root$folder"; do umount -l "$root$folder"; done
  rm -rf "$work" "$folder"
}
trap cleanup EXIT
rm -rf "$work" && mkdir -p "$root"
binds() { awk -v at="$root$folder" '$5 == at' /proc/self/mountinfo | wc -l; }

touch "$folder/first"
"$bind" "$root" "$folder/below" || fail "the first bind failed"
[ -f "$root$folder/first" ] || fail "the root does not see $folder/first"
rm -rf "$folder" && mkdir "$folder" && touch "$folder/second"
"$bind" "$root" "$folder" || fail "the bind after the folder was made anew failed"
[ -f "$root$folder/second" ] || fail "the root still holds the removed $folder: no $folder/second"
"$bind" "$root" "$folder" || fail "the bind of an unchanged folder failed"
[ "$(binds)" -eq 1 ] || fail "$(binds) binds at $root$folder, not 1"
"$bind" "$root" /usr/share 2>/dev/null
status=$?
[ $status -eq 77 ] || fail "a folder under /usr gave $status, not 77"
[ -e "$root/usr/share" ] && fail "the root's /usr was covered"
[ $failures -eq 0 ] && echo "binds: a remade folder bound again, an unchanged one kept, /usr refused"
exit $((failures > 0))
