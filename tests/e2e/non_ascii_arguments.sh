# Non-ASCII look-alikes of the options. Where the manifest's UTF-8 code page
# holds (Windows 10 1903 and later; Wine), they reach the tool as UTF-8 and
# match no option. Without it (earlier Windows, Server 2016/2019) the system
# best-fits them into valid options before the tool starts: the tool reads
# the command line as the system holds it and refuses them there too. Each
# is refused byte for byte, and the trace shows no privilege or session call.
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
case_ideographic_space_between_options_without_manifest() { without_manifest refused_look_alike $'/f\u3000/s'; }

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
