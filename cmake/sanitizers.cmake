# Native builds with AddressSanitizer and UndefinedBehaviorSanitizer (clang):
# ENDSESSION_SANITIZE for the unit tests, ENDSESSION_FUZZ for the libFuzzer
# target, which also needs coverage instrumentation of everything it runs.
option(ENDSESSION_SANITIZE "Build with ASan + UBSan (LeakSanitizer on)" OFF)
option(ENDSESSION_FUZZ "Build the libFuzzer target (clang) instead of the unit tests" OFF)

# The sanitizer tree runs the same cases as the plain one; its test names
# and labels say so, so that one CTest run over both trees tells them apart.
set(ENDSESSION_TEST_PREFIX "")
if(ENDSESSION_SANITIZE)
  set(ENDSESSION_TEST_PREFIX "sanitize.")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY LABELS sanitize)
endif()

if(ENDSESSION_SANITIZE OR ENDSESSION_FUZZ)
  set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${sanitizers})
  add_link_options(${sanitizers})
endif()
if(ENDSESSION_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ENDSESSION_FUZZ needs clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
