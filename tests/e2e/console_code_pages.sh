# Text the tool did not write itself -- the system's message and the program
# name -- reaches a redirected stdout in the system's OEM code page, which is
# what a console (and cmd, PowerShell or findstr reading the file or pipe)
# decodes: 932 on a Japanese system, 866 on a Russian one, 850 on a French
# one. Each expectation is computed without the tool: Wine's own UTF-16 text,
# or the folder's name, converted by iconv.
. "$(dirname "$0")/wine_case.sh"

# in_locale LOCALE: Wine's system locale follows the Unix one.
in_locale() {
  run_env=(LC_ALL= LANG="$1.UTF-8" LOCPATH="$E2E_LOCALES")
}

refused_session_end_in() {  # LOCALE CODE-PAGE
  local english expected
  english=$(system_text "$E2E_PREFIX_NO_WINEBOOT" ASCII)
  in_locale "$1"
  expected=$(mktemp)
  { printf 'Can not reboot: '; system_text "$E2E_PREFIX_NO_WINEBOOT" "$2"; printf '\r\n'; } >"$expected"
  [ "$(wc -c <"$expected")" -gt 20 ] || fail "no system text to expect"
  [ "$(tail -c +17 "$expected" | head -c -2)" != "$english" ] || fail "the text is the English one: the locale did not apply"
  run_tool "$E2E_PREFIX_NO_WINEBOOT" -all /r
  wait_for_server "$E2E_PREFIX_NO_WINEBOOT"
  expect_status 1
  expect_stdout_file "$expected"
  rm -f "$expected"
}

# usage_from_folder_in LOCALE CODE-PAGE FOLDER-NAME [SHOWN-AS]: the usage
# text names the program in CODE-PAGE, the folder as SHOWN-AS where the code
# page has only a best fit for it. LOCALE "": Wine's default (en-US: ANSI
# 1252, OEM 437).
usage_from_folder_in() {
  [ -z "$1" ] || in_locale "$1"
  local folder=$E2E_SCRATCH/$3 name
  rm -rf "$folder" && mkdir -p "$folder" && cp "$exe" "$folder/endsession.exe"
  exe=$folder/endsession.exe
  name=$(program_name)
  usage_for "$(iconv -f UTF-8 -t "$2" <<<"${name/"$3"/"${4:-$3}"}" | tr -d '\n')"
  run_tool "$E2E_PREFIX" -all /x
  expect_status 1
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"
}

case_refused_session_end_in_japanese() { refused_session_end_in ja_JP CP932; }
case_refused_session_end_in_russian() { refused_session_end_in ru_RU CP866; }
case_refused_session_end_in_french() { refused_session_end_in fr_FR CP850; }
case_usage_from_a_japanese_folder() { usage_from_folder_in ja_JP CP932 $'\u30c6\u30b9\u30c8'; }
case_usage_from_a_russian_folder() { usage_from_folder_in ru_RU CP866 $'\u0442\u0435\u0441\u0442'; }
case_usage_from_a_french_folder() { usage_from_folder_in fr_FR CP850 $'\u00e9t\u00e9'; }
# Characters that code page 850 has only a best fit for: never '?'.
case_usage_from_a_french_folder_best_fit() { usage_from_folder_in fr_FR CP850 $'\u0100b' Ab; }
case_usage_from_a_french_folder_best_fit_quote() { usage_from_folder_in fr_FR CP850 $'\u2019b' "'b"; }
# Where the manifest's UTF-8 code page is ignored, the process's ANSI code
# page (1252) lacks the Omega, the console's (437) has it: the name goes
# straight from UTF-16 to the console, never through the ANSI code page.
case_usage_from_a_greek_folder_without_manifest() {
  exe=$ENDSESSION_WITHOUT_MANIFEST_EXE
  usage_from_folder_in "" CP437 $'\u03a9mega'
}

run_cases "$@"
