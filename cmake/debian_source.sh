#!/usr/bin/env bash
# Runs `apt-get ARG...` in WORK against bookworm's source index, through a
# private apt state in WORK/apt (its own deb-src list, lists and cache,
# Signed-By Debian's archive keyring), so that the host's sources stay as
# they are; `apt-get source` checks each package against the signed index.
# The index is read once per WORK. Its log is WORK/apt.log.
# Usage: debian_source.sh WORK ARG...   e.g. WORK source --download-only wine=8.0~repack-4
set -euo pipefail
work=$1
shift
apt=(apt-get -qq -o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts="$work/apt/parts"
  -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" -o APT::Sandbox::User="$(id -un)")
if [ ! -f "$work/apt/sources.list" ]; then
  mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    >"$work/apt/sources.list"
  "${apt[@]}" update >"$work/apt.log" 2>&1 || { tail -5 "$work/apt.log" >&2; rm -f "$work/apt/sources.list"; exit 1; }
fi
(cd "$work" && "${apt[@]}" "$@" >>"$work/apt.log" 2>&1) || { tail -5 "$work/apt.log" >&2; exit 1; }
