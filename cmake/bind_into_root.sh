#!/usr/bin/env bash
# Binds the top-level folder of each FOLDER into ROOT at its own path, so a
# program chrooted into ROOT reaches FOLDER by its own name. A top-level
# folder is bound whole: a bind of FOLDER itself would keep it from being
# removed while mounted (a CI clone is). The root's own system folders are
# never covered: such a FOLDER exits 77 with the reason.
# A bind outlives its folder: a top-level folder removed and made anew (a CI
# machine's clone folder, run after run) leaves ROOT holding the removed one,
# every path under it missing ("/check//deleted" in mountinfo). So a bind
# that is not the folder there now is dropped and made again; one that is
# stays as it is. The removed folder stays pinned while bound, so its inode
# is never the new folder's.
# Usage: bind_into_root.sh ROOT FOLDER...
set -euo pipefail
root=$1
shift
same_folder() { [ "$(stat -c %d:%i "$1")" = "$(stat -c %d:%i "$2")" ]; }
for folder in "$@"; do
  top=/$(realpath "$folder" | cut -d/ -f2)
  case $top in
    /bin | /boot | /etc | /lib | /lib64 | /proc | /sbin | /sys | /usr | /var | /)
      echo "$folder lies under $top, which the root has its own of" >&2; exit 77 ;;
  esac
  mkdir -p "$root$top"
  if mountpoint -q "$root$top" && ! same_folder "$top" "$root$top"; then
    echo "$root$top binds a removed $top: bound again" >&2
    umount -l "$root$top"
  fi
  mountpoint -q "$root$top" || { mount --bind "$top" "$root$top" && mount --make-private "$root$top"; }
done
