#!/usr/bin/env bash
# An arm64 Debian 12 root with Debian's arm64 wine64, run under
# qemu-user-static through binfmt_misc, cached in CACHE/wine-root-bookworm;
# writes the wine and wineserver wrappers the end-to-end cases take as WINE
# and WINESERVER into CACHE/bin, and binds the top-level folder of each
# FOLDER (the build trees', the temporary files') into the root at its own
# path. Needs root (chroot, mount); exits 77 with the reason where the ARM64
# cases cannot run here.
# Measured: stage 1 30 s, stage 2 172 s, wine64 135 s; its native
# wineserver (native_wineserver.sh) about a minute.
# Usage: arm64_wine_root.sh CACHE-DIR FOLDER...
set -euo pipefail
cache=$1
shift
root=$cache/wine-root-bookworm
step() { echo "arm64 Wine: $*" >&2; }
[ "$(id -u)" -eq 0 ] || { step "chroot and mount need root: the ARM64 cases are skipped"; exit 77; }
if [ ! -f /proc/sys/fs/binfmt_misc/status ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
    { step "binfmt_misc cannot be mounted here: the ARM64 cases are skipped"; exit 77; }
fi
update-binfmts --enable qemu-aarch64 >/dev/null 2>&1 || true
[ -f /proc/sys/fs/binfmt_misc/qemu-aarch64 ] || { step "qemu-aarch64 is not registered: the ARM64 cases are skipped"; exit 77; }
if [ ! -f "$root/complete" ]; then
  start=$SECONDS
  rm -rf "$root"
  step "debootstrap stage 1"
  debootstrap --arch=arm64 --foreign --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
  cp /usr/bin/qemu-aarch64-static "$root/usr/bin/"
  step "debootstrap stage 2 under qemu ($((SECONDS - start)) s)"
  chroot "$root" /debootstrap/debootstrap --second-stage >/dev/null
  cp /etc/resolv.conf "$root/etc/" 2>/dev/null || true
  step "wine64 ($((SECONDS - start)) s)"
  chroot "$root" apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -q --no-install-recommends wine64 >/dev/null
  touch "$root/complete"
  step "done in $((SECONDS - start)) s"
fi
# A Wine server of this machine's own in the root: the arm64 one cannot
# serve a debugger under qemu (native_wineserver.sh).
wine_version=$(awk '/^Package: wine64$/ { found = 1 } found && /^Version:/ { print $2; exit }' "$root/var/lib/dpkg/status")
"$(dirname "$0")/native_wineserver.sh" "$root" "$wine_version"
mkdir -p "$cache/bin"
# Wine runs chrooted into the root, with the folders, /proc and /dev bound in
# (mount --bind; unmount them before any rm -rf of the cache!). Measured: run
# outside the root with QEMU_LD_PREFIX instead, qemu maps "/" to the root,
# so Wine's Z: is the root and every path outside it is named
# \\?\unix\...; and the `wineserver` script next to wine64 runs
# /usr/lib/wine/wineserver64 -- the host's x86-64 one, which refuses an ARM64
# client ("wineserver doesn't support the aa64 architecture").
# Each FOLDER is reached through its top-level folder (bind_into_root.sh).
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
"$(dirname "$0")/bind_into_root.sh" "$root" /dev "$@" || {
  status=$?
  [ $status -eq 77 ] && step "the ARM64 cases are skipped"
  exit $status
}
# chroot passes the environment on (WINEPREFIX, WINEDEBUG, LC_ALL, ...) but
# starts in /: the wrappers keep the caller's folder where the root holds it.
for program in wine:wine64 wineserver:wineserver64; do
  cat >"$cache/bin/${program%%:*}" <<WRAPPER
#!/bin/sh
folder=\$PWD
[ -d "$root\$folder" ] || folder=/
exec chroot "$root" /usr/bin/env -C "\$folder" /usr/lib/wine/${program#*:} "\$@"
WRAPPER
done
chmod +x "$cache/bin/wine" "$cache/bin/wineserver"
echo "$cache/bin"
