#!/usr/bin/env bash
# The arm64 Wine root reaches the build trees through binds of their
# top-level folders (cmake/bind_into_root.sh), kept from run to run; here in
# a scratch root, with a top-level folder of its own:
# - a folder removed and made anew under its bind is bound again: the root
#   sees the new folder's files, not the removed one's emptiness;
# - a bind of the folder there now is kept, not stacked;
# - a folder under the root's own system folders is refused with 77.
# The same checks are then shown two copies of the script, each one step
# off: one that keeps whatever is bound (the removed folder stays), one that
# binds on every run (binds stack); each must be caught by its own message.
# Needs root (mount); exits 77 without it.
# Usage: wine_root_binds.sh BIND-SCRIPT WORK-DIR
set -u
under_test=$1 work=$2
[ "$(id -u)" -eq 0 ] || { echo "mount needs root: skipped"; exit 77; }
. "$(dirname "$0")/script_plantings.sh"
trap 'rm -rf "$work"' EXIT
rm -rf "$work" && mkdir -p "$work/root"

# Prints what BIND gets wrong, a line each; nothing when it is right. Run
# in a subshell (its root and folder stay there), which unbinds and removes
# its folder as it exits.
faults_of() {
  local bind=$1 status
  root=$work/root folder=$(mktemp -d /endsession-bind.XXXXXX)
  trap 'while mountpoint -q "$root$folder"; do umount -l "$root$folder"; done; rm -rf "$folder"' EXIT
  binds() { awk -v at="$root$folder" '$5 == at' /proc/self/mountinfo | wc -l; }
  touch "$folder/first"
  "$bind" "$root" "$folder/below" 2>/dev/null || echo "the first bind failed"
  [ -f "$root$folder/first" ] || echo "the root does not see $folder/first"
  rm -rf "$folder" && mkdir "$folder" && touch "$folder/second"
  "$bind" "$root" "$folder" 2>/dev/null || echo "the bind after the folder was made anew failed"
  [ -f "$root$folder/second" ] || echo "the root still holds the removed $folder: no $folder/second"
  "$bind" "$root" "$folder" 2>/dev/null || echo "the bind of an unchanged folder failed"
  [ "$(binds)" -eq 1 ] || echo "$(binds) binds at $root$folder, not 1"
  "$bind" "$root" /usr/share 2>/dev/null
  status=$?
  [ $status -eq 77 ] || echo "a folder under /usr gave $status, not 77"
  [ -e "$root/usr/share" ] && echo "the root's /usr was covered"
}

faults=$(faults_of "$under_test")
[ -z "$faults" ] || fail "$faults"
planted keeps_any_bind 's/if mountpoint -q "\$root\$top" && ! same_folder/if false \&\& ! same_folder/' \
  'still holds the removed'
planted binds_every_run 's/^  mountpoint -q "\$root\$top" || { mount/  { mount/' '2 binds at'
[ $failures -eq 0 ] && echo "binds: a remade folder bound again, an unchanged one kept, /usr refused; 2 plantings caught"
exit $((failures > 0))
