# Packaging edges, each a release of the build into WORK-DIR:
# - ENDSESSION_RELEASE_URL without its final "/" gives the same manifests as
#   with it;
# - a publisher with "'" in its name, a home page and a licence URL survive
#   into winget's and Scoop's manifests (check_manifests.py);
# - a release without the URL into the folder of one with it leaves no
#   manifest behind, and SHA256SUMS lists only what it wrote;
# - an http:// URL fails the release, says why, and leaves no artifact.
# Usage: release_edges.sh BUILD-DIR WORK-DIR VERSION SOURCE-DIR [ARCHITECTURES]
# ARCHITECTURES: those the release ships, as check_manifests.py takes them.
set -u
build=$1 work=$2 version=$3 source_dir=$4 architectures=${5:-x64}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work"
unset ENDSESSION_SIGNING ENDSESSION_TIMESTAMP_URL
publisher="O'Neil and the endsession developers"
homepage=https://example.org/endsession
license_url=https://example.org/endsession/LICENSE
url=https://downloads.example.org/endsession/$version/
epoch=$(sed -n 's/^set(CPACK_ENDSESSION_EPOCH "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
# The build's packaging, configured as -DENDSESSION_HOMEPAGE_URL and
# -DENDSESSION_LICENSE_URL and a LICENSE with that holder would configure it.
config=$work/CPackConfig.cmake
{
  cat "$build/CPackConfig.cmake"
  echo "set(CPACK_ENDSESSION_PUBLISHER \"$publisher\")"
  echo "set(CPACK_ENDSESSION_HOMEPAGE_URL \"$homepage\")"
  echo "set(CPACK_ENDSESSION_LICENSE_URL \"$license_url\")"
} >"$config"
release() {  # release FOLDER URL
  ENDSESSION_RELEASE_URL=$2 cpack --config "$config" -B "$work/$1" >"$work/$1.log" 2>&1
}

release slash "$url" || { cat "$work/slash.log" >&2; exit 1; }
release no-slash "${url%/}" || { cat "$work/no-slash.log" >&2; exit 1; }
diff -r "$work/slash/manifests" "$work/no-slash/manifests" >&2 || fail "manifests differ without the final /"
cmp "$work/slash/endsession.json" "$work/no-slash/endsession.json" >&2 || fail "endsession.json differs without the final /"
python3 "$source_dir/tests/release/check_manifests.py" "$work/slash" "$url" "$version" \
  "$source_dir/tests/release/schemas" "$epoch" "publisher=$publisher" "homepage=$homepage" \
  "license_url=$license_url" "architectures=$architectures" || fail "manifests with a quoted publisher, home page and licence URL"

release slash "" || { cat "$work/slash.log" >&2; exit 1; }
left=$(cd "$work/slash" && ls -d manifests endsession.json 2>/dev/null)
[ -z "$left" ] || fail "a release without the URL left: $left"
bash "$source_dir/tests/release/check_sums.sh" "$work/slash" || fail "SHA256SUMS after a release without the URL"
grep -q '"downloadLocation": "NOASSERTION"' "$work/slash/endsession-$version.spdx.json" ||
  fail "the SBOM kept the earlier release's download location"

if release slash "http://downloads.example.org/endsession/"; then
  fail "an http:// URL passed"
fi
grep -q 'ENDSESSION_RELEASE_URL is not an https URL' "$work/slash.log" || fail "no word of the http URL: $(tail -3 "$work/slash.log")"
left=$(cd "$work/slash" && ls -d endsession-* SHA256SUMS manifests endsession.json 2>/dev/null)
[ -z "$left" ] || fail "a refused URL left: $left"

[ "$failures" -eq 0 ] || exit 1
echo "packaging edges hold"
