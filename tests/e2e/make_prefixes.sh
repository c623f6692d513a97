# Creates the private Wine prefixes the end-to-end cases run in, afresh:
# $1 a ready prefix, $2 a copy of it without system32/wineboot.exe (there
# ExitWindowsEx fails). Wine's set-up noise goes to a log, not the test output.
# $4 is another copy, for the installer cases (they change its registry);
# $5 one for endsession-check's cases, which run beside the others.
# $3 receives the Unix locales the code-page cases run Wine in (ja_JP, ru_RU,
# fr_FR, UTF-8), compiled here with localedef: Wine takes its system locale
# from the Unix one, and these need not be installed on the machine (LOCPATH).
set -eu
prefix=$1 no_wineboot=$2 locales=$3 installer=$4 kit=$5
log=$(dirname "$prefix")/make_prefixes.log
for p in "$prefix" "$no_wineboot" "$installer" "$kit"; do
  [ -d "$p" ] && WINEPREFIX=$p "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$p"
done
mkdir -p "$(dirname "$prefix")" "$locales"
if ! WINEPREFIX=$prefix WINEDEBUG=-all "$WINE" wineboot --init >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
for locale in ja_JP ru_RU fr_FR; do
  [ -d "$locales/$locale.UTF-8" ] || localedef -i "$locale" -f UTF-8 "$locales/$locale.UTF-8" >>"$log" 2>&1 ||
    { cat "$log" >&2; exit 1; }
done
WINEPREFIX=$prefix "$WINESERVER" -w
cp -a "$prefix" "$no_wineboot"
cp -a "$prefix" "$installer"
cp -a "$prefix" "$kit"
rm "$no_wineboot/drive_c/windows/system32/wineboot.exe"
echo "prefixes ready: $prefix, $no_wineboot, $installer, $kit; locales in $locales"
