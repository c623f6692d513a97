# Native builds with AddressSanitizer and UndefinedBehaviorSanitizer (clang):
# ENDSESSION_SANITIZE for the unit tests, ENDSESSION_FUZZ for the libFuzzer
# target, which also needs coverage instrumentation of everything it runs.
option(ENDSESSION_SANITIZE "Build with ASan + UBSan (LeakSanitizer on)" OFF)
option(ENDSESSION_FUZZ "Build the libFuzzer target (clang) instead of the unit tests" OFF)

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
