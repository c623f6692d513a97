# SHA256SUMS as a user meets it: it lists exactly the files published with
# it (the release's zips, the MSI, the SBOM) and verifies when just those
# files and SHA256SUMS are copied into an empty folder.
# Usage: check_sums.sh RELEASE-DIR
set -u
release=$1
published=$(cd "$release" && ls | grep -E '^endsession-.*\.(zip|msi|spdx\.json)$' | sort | tr '\n' ' ')
listed=$(cut -d' ' -f3- "$release/SHA256SUMS" | sort | tr '\n' ' ')
status=0
if [ "$listed" != "$published" ]; then
  echo "FAIL: SHA256SUMS lists '$listed', the release publishes '$published'" >&2
  status=1
fi
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
for name in $published SHA256SUMS; do cp "$release/$name" "$folder/"; done
if ! verdict=$(cd "$folder" && sha256sum -c SHA256SUMS 2>&1); then
  echo "FAIL: SHA256SUMS does not verify beside the published files: $verdict" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "SHA256SUMS verifies: $published"
exit "$status"
