# Compile and link options that keep endsession.exe near the size of an empty
# program.
#
# libstdc++'s headers force __USE_MINGW_ANSI_STDIO=1, which links mingw's own
# printf: both it and msvcrt's write CRLF in text mode, but mingw's costs
# ~25 KB (a test program: 39,936 B against 14,848 B). The product includes C
# headers only, so -nostdinc++ keeps libstdc++'s out and the define keeps
# msvcrt's printf. Unwind tables stay: x64 requires them of every non-leaf
# function, for debuggers, error reporting and stack walks.
include(${CMAKE_CURRENT_LIST_DIR}/small_sections.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/windows_architectures.cmake)

# endsession_small_product(<target> [<linker-script>])
function(endsession_small_product target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:
    -Os -nostdinc++ -fno-exceptions -fno-rtti
    -ffunction-sections -fno-ident -fno-builtin-printf
    -Wall -Wextra
    # No build path may reach the binary: builds from any folder match.
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build>)
  target_compile_definitions(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:__USE_MINGW_ANSI_STDIO=0>)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    string(REPLACE "." ";" floor ${ENDSESSION_WINDOWS_FLOOR})
    list(GET floor 0 floor_major)
    list(GET floor 1 floor_minor)
    endsession_arch(linker linker)
    if(linker STREQUAL "bfd")
      endsession_small_sections_script(linker_script)
      if(ARGC GREATER 1)
        set(linker_script ${ARGV1})  # a test-only build's own (tests/release)
      endif()
      set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${linker_script})
      target_link_options(${target} PRIVATE -Wl,-T,${linker_script} -static-libgcc -static-libstdc++)
    else()
      # lld takes no linker script: the near-empty .tls (the runtime's
      # 16-byte TLS template, which the loader only copies from) and .pdata
      # join .rdata, as the script folds sections for GNU ld (512 bytes each).
      target_link_options(${target} PRIVATE -Wl,-Xlink=-merge:.tls=.rdata -Wl,-Xlink=-merge:.pdata=.rdata)
    endif()
    # The link map (not shipped) tells the release checks where each
    # function landed in the stripped executable.
    # -municode: the entry is wmain, handed the arguments the runtime split
    # from the UTF-16 command line (src/cli/main.cc).
    target_link_options(${target} PRIVATE -municode -Wl,-Map=$<TARGET_FILE:${target}>.map
      -s -Wl,--gc-sections -Wl,--no-insert-timestamp
      # Remote Desktop hosts apply no legacy compatibility mapping, and the
      # header's floor is the manifest's (ENDSESSION_WINDOWS_FLOOR).
      -Wl,--tsaware,--major-subsystem-version,${floor_major},--minor-subsystem-version,${floor_minor}
      -Wl,--major-os-version,${floor_major},--minor-os-version,${floor_minor})
  endif()
endfunction()
