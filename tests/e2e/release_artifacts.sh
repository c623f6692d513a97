# The release under Wine: the MSI installs silently per machine, puts the
# built executable on the system PATH, upgrades an older version in one step,
# refuses to replace a newer one, and uninstalls without a trace; the signed
# executable behaves as the unsigned one. Set by CTest besides wine_case.sh's:
# E2E_PREFIX_INSTALLER, ENDSESSION_RELEASE_DIR (release.package's output),
# ENDSESSION_SIGNED_DIR (release.signing's), ENDSESSION_VERSION, ENDSESSION_UPGRADE_CODE,
# ENDSESSION_SOURCE_DIR.
. "$(dirname "$0")/wine_case.sh"

# Each installer case starts from a copy of the prefix the fixture made, a
# folder of its own, so that one run again (-FS wine_prefix) meets no state
# of an earlier run, nor a server of one that is still ending.
prefix=
fresh_installer_prefix() {
  prefix=$E2E_SCRATCH/installer-prefix-$1
  if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null
    WINEPREFIX=$prefix "$WINESERVER" -w 2>/dev/null
  fi
  rm -rf "$prefix"
  mkdir -p "$E2E_SCRATCH"
  cp -a "$E2E_PREFIX_INSTALLER" "$prefix"
  installed="$prefix/drive_c/Program Files/endsession"
}
msi=${ENDSESSION_RELEASE_DIR:-}/endsession-${ENDSESSION_VERSION:-}-x64.msi
in_prefix() { WINEPREFIX=$prefix WINEDEBUG=-all "$WINE" "$@"; }

# msiexec ACTION MSI: silent, with a verbose log in $log; the status in $status.
log=$(mktemp)
msiexec() {
  in_prefix msiexec "/$1" "$(winepath_of "$2")" /qn /l*v "$(winepath_of "$log")" >/dev/null 2>&1
  status=$?
  WINEPREFIX=$prefix "$WINESERVER" -w
}
winepath_of() { echo "Z:${1//\//\\}"; }

system_path() {
  in_prefix reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p'
}
# The registered products named endsession, one "version publisher" line each.
products() {
  local uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' key
  for key in $(in_prefix reg query "$uninstall" 2>/dev/null | tr -d '\r' | grep -i '^HKEY.*\\{'); do
    local values
    values=$(in_prefix reg query "$key" 2>/dev/null | tr -d '\r')
    grep -q 'DisplayName *REG_SZ *endsession$' <<<"$values" || continue
    echo "$(sed -n 's/^ *DisplayVersion *REG_SZ *//p' <<<"$values") $(sed -n 's/^ *Publisher *REG_SZ *//p' <<<"$values")"
  done
}
expect_products() {
  local actual
  actual=$(products)
  [ "$actual" = "$1" ] || fail "registered products: '$actual', expected '$1'"
}

# An older release: the same installer at version 0.9.0, holding another
# executable (the variant without the manifest), so that an upgrade shows.
older_msi() {
  local folder=$E2E_SCRATCH/older-release
  rm -rf "$folder" && mkdir -p "$folder"
  cp "$ENDSESSION_WITHOUT_MANIFEST_EXE" "$folder/endsession.exe"
  cp "$ENDSESSION_SOURCE_DIR/README.md" "$ENDSESSION_SOURCE_DIR/LICENSE" "$folder/"
  cmake -DOUTPUT="$folder.msi" -DFOLDER="$folder" -DVERSION=0.9.0 -DEPOCH=0 \
    -DUPGRADE_CODE="$ENDSESSION_UPGRADE_CODE" -DPUBLISHER="the endsession developers" \
    -P "$ENDSESSION_SOURCE_DIR/cmake/msi_package.cmake" >&2 || fail "no older MSI"
  echo "$folder.msi"
}

expect_uninstalled() {
  msiexec x "$msi"
  expect_status 0
  [ ! -e "$installed" ] || fail "uninstall left $(ls -A "$installed" | tr '\n' ' ') in Program Files"
  [[ $(system_path) != *'endsession'* ]] || fail "uninstall left the system PATH: $(system_path)"
  expect_products ""
}

case_installs_on_the_path_and_uninstalls() {
  fresh_installer_prefix path
  msiexec i "$msi"
  expect_status 0
  cmp -s "$installed/endsession.exe" "$ENDSESSION_RELEASE_DIR/files/endsession.exe" ||
    fail "the installed endsession.exe is not the released one"
  [ -f "$installed/README.md" ] && [ -f "$installed/LICENSE" ] || fail "README.md or LICENSE missing: $(ls -A "$installed")"
  [[ ";$(system_path);" == *';C:\Program Files\endsession\;'* ]] || fail "system PATH: $(system_path)"
  expect_products "$ENDSESSION_VERSION the endsession developers"
  # A new command interpreter finds the tool on the PATH by its name.
  WINEPREFIX=$prefix WINEDEBUG=-all "$WINE" cmd /c "endsession /x" >"$out_file" 2>"$err_file"
  status=$?
  WINEPREFIX=$prefix "$WINESERVER" -w
  expect_status 1
  usage_for endsession
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"
  expect_uninstalled
}

case_major_upgrade_replaces_an_older_version() {
  fresh_installer_prefix upgrade
  local older
  older=$(older_msi)
  msiexec i "$older"
  expect_status 0
  expect_products "0.9.0 the endsession developers"
  cmp -s "$installed/endsession.exe" "$ENDSESSION_WITHOUT_MANIFEST_EXE" || fail "0.9.0 did not install its file"
  msiexec i "$msi"
  expect_status 0
  expect_products "$ENDSESSION_VERSION the endsession developers"
  cmp -s "$installed/endsession.exe" "$ENDSESSION_RELEASE_DIR/files/endsession.exe" ||
    fail "the upgrade did not replace endsession.exe"
  [ "$(grep -o 'C:\\Program Files\\endsession\\' <<<"$(system_path)" | wc -l)" -eq 1 ] ||
    fail "the system PATH holds the folder other than once: $(system_path)"
  expect_uninstalled
}

case_older_version_over_a_newer_one_is_refused() {
  fresh_installer_prefix downgrade
  local older
  older=$(older_msi)
  msiexec i "$msi"
  expect_status 0
  msiexec i "$older"
  # ERROR_INSTALL_FAILURE (1603), of which a Unix exit status keeps 1603 % 256.
  [ "$status" -eq $((1603 % 256)) ] || fail "0.9.0 over $ENDSESSION_VERSION: status $status, expected 1603"
  # The refusal is the launch condition on the newer version found; its
  # message (checked in the MSI's tables) Wine shows only with a UI.
  grep -aq '^Property(S): WIX_DOWNGRADE_DETECTED = {' "$log" || fail "the newer version was not found"
  grep -aq 'LaunchConditions. Return value 0' "$log" || fail "the launch conditions did not refuse"
  expect_products "$ENDSESSION_VERSION the endsession developers"
  expect_uninstalled
}

# The signed executable: a refused line byte for byte, an accepted one traced.
case_signed_executable_refuses_a_line() {
  exe=$ENDSESSION_SIGNED_DIR/files/endsession.exe
  usage_for "$(program_name)"
  run_tool "$E2E_PREFIX" -all /s /x
  expect_status 1
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"
  expect_stderr_empty
}
case_signed_executable_logs_off() {
  exe=$ENDSESSION_SIGNED_DIR/files/endsession.exe
  accepted 00000000 /l
}

run_cases "$@"
