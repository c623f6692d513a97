# Non-ASCII look-alikes of the options. The tool takes its arguments in
# UTF-16 as the runtime splits them from the command line, with or without
# the manifest's UTF-8 code page (which earlier Windows, Server 2016/2019
# ignore, and would best-fit a narrow argv from the ANSI line: "／ｓ" to
# "/s"). Each is refused byte for byte, and the trace shows no privilege or
# session call.
. "$(dirname "$0")/wine_case.sh"

refused_look_alike() {
  run_traced "$@"
  expect_status 1
  expect_stdout $'invalid arguement\r\n'"$usage_crlf"
  expect_stderr_only_trace
  expect_no_system_calls
}

# Where Windows ignores the manifest: the same objects linked without it.
without_manifest() {
  exe=$ENDSESSION_WITHOUT_MANIFEST_EXE
  usage_for "$(program_name)"
  "$@"
}

# look_alikes NAME SOLIDUS S R F OPERATION: SOLIDUS+S alone and after /f,
# with and without the manifest; without it also SOLIDUS+F after the valid
# OPERATION (a force look-alike: an operation look-alike there is a second
# operation, refused anyway), and SOLIDUS+R after /f.
look_alikes() {
  local name=$1 solidus=$2 s=$3 r=$4 f=$5 operation=$6
  eval "case_${name}() { refused_look_alike '$solidus$s'; }"
  eval "case_${name}_without_manifest() { without_manifest refused_look_alike '$solidus$s'; }"
  eval "case_${name}_after_force_without_manifest() { without_manifest refused_look_alike /f '$solidus$s'; }"
  eval "case_${name}_reboot_after_force_without_manifest() { without_manifest refused_look_alike /F '$solidus$r'; }"
  eval "case_${name}_force_after_an_operation_without_manifest() { without_manifest refused_look_alike $operation '$solidus$f'; }"
}
look_alikes division_slash $'\u2215' s R f /l
look_alikes fraction_slash $'\u2044' s R f /p
look_alikes fullwidth_solidus $'\uff0f' $'\uff53' $'\uff32' $'\uff46' /r

case_fullwidth_s() { refused_look_alike $'/\uff53'; }
case_long_s() { refused_look_alike $'/\u017f'; }

# The runtime splits the command line by its own rules, quotes inside the
# program name too: `...\J"örg Müller"\endsession.exe /f` is the name and
# /f, as its ASCII twin is. The application name is passed apart, as a
# caller of CreateProcess may.
case_quoted_non_ascii_program_name() {
  local folder=$E2E_SCRATCH/$'J\u00f6rg M\u00fcller'
  rm -rf "$folder" && mkdir -p "$folder" && cp "$exe" "$folder/endsession.exe"
  local scratch="Z:${E2E_SCRATCH//\//\\}"
  launch=(as-is "$scratch"$'\\J\u00f6rg M\u00fcller\\endsession.exe')
  command_line="$scratch"$'\\J"\u00f6rg M\u00fcller"\\endsession.exe /f'
  exe=$folder/endsession.exe
  usage_for "$(program_name | iconv -f UTF-8 -t CP437)"
  run_traced
  expect_status 1
  expect_stdout $'need operation\r\n'"$usage_crlf"
  expect_stderr_only_trace
  expect_no_system_calls
}

# A non-ASCII folder name is the program name's business, not an argument.
from_non_ascii_folder() {
  local folder=$E2E_SCRATCH/J$'\u00f6'rg-$1
  rm -rf "$folder" && mkdir -p "$folder" && cp "$exe" "$folder/endsession.exe"
  exe=$folder/endsession.exe
  accepted 00000000 /l
}
case_logoff_from_a_non_ascii_folder() { from_non_ascii_folder manifest; }
case_logoff_from_a_non_ascii_folder_without_manifest() { without_manifest from_non_ascii_folder plain; }

run_cases "$@"
