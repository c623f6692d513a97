# Authenticode signing of release files with osslsigncode, when the
# environment asks for it:
#   ENDSESSION_SIGNING        osslsigncode's own options naming the key and
#                             certificate, e.g. `-pkcs12 FILE -pass PASSWORD`
#                             or `-pkcs11module MODULE -key "pkcs11:..." -certs FILE`
#   ENDSESSION_TIMESTAMP_URL  an RFC 3161 server; without one the signing time
#                             is the release's epoch, so that the same key
#                             signs the same bytes every time.
# Read at packaging time only: no key, password or token is ever cached.

function(endsession_signing_requested result)
  if(DEFINED ENV{ENDSESSION_SIGNING} AND NOT "$ENV{ENDSESSION_SIGNING}" STREQUAL "")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

# endsession_sign(<file> <epoch>): signs <file> in place, or fails the run
# with osslsigncode's message and leaves <file> as it was.
function(endsession_sign file epoch)
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
  separate_arguments(key_options UNIX_COMMAND "$ENV{ENDSESSION_SIGNING}")
  if(DEFINED ENV{ENDSESSION_TIMESTAMP_URL} AND NOT "$ENV{ENDSESSION_TIMESTAMP_URL}" STREQUAL "")
    set(time_options -ts "$ENV{ENDSESSION_TIMESTAMP_URL}")
  else()
    set(time_options -time ${epoch})
  endif()
  get_filename_component(name "${file}" NAME)
  file(REMOVE "${file}.signed")
  execute_process(
    COMMAND ${OSSLSIGNCODE} sign ${key_options} ${time_options} -h sha256 -n endsession
            -in "${file}" -out "${file}.signed"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    file(REMOVE "${file}.signed")
    message(FATAL_ERROR "signing ${name} failed:\n${output}")
  endif()
  file(RENAME "${file}.signed" "${file}")
  message(STATUS "signed ${name}")
endfunction()
