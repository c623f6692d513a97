# Writes the linker script the small executables link with: the toolchain's
# own default script for Windows executables, with three small sections
# folded into their neighbours. Each section of a PE file takes at least one
# 512-byte block, and three of them hold a few bytes each:
#   .xdata (unwind codes, read only)           -> into .rdata
#   .tls (the TLS template; it must open its
#    section for SECREL32) and .CRT (the start-
#    up's initializer tables)                  -> to the start of .data
# The directories the loader reads (TLS, exception table) are found by symbol
# or stay in their own section (.pdata), so nothing else changes.
#
# It also closes dlltool's delay-import descriptors (.text$2) with the
# all-zero descriptor their table needs, between two symbols that
# set_delay_import_directory.sh points the PE's delay-import directory at;
# GNU ld leaves that directory empty.
#
# endsession_small_sections_script(<output-variable>): sets the variable to
# the path of the script, derived afresh at every configure and rewritten
# only when it changes (a new toolchain, an edit here).
function(endsession_small_sections_script result)
  set(script ${CMAKE_BINARY_DIR}/small_sections.ld)
  set(${result} ${script} PARENT_SCOPE)
  get_property(derived GLOBAL PROPERTY endsession_small_sections_derived)
  if(derived)
    return()  # once per configure, however many targets ask
  endif()
  set_property(GLOBAL PROPERTY endsession_small_sections_derived TRUE)
  string(REGEX REPLACE "-(g\\+\\+|gcc)$" "-ld" linker "${CMAKE_CXX_COMPILER}")
  execute_process(COMMAND ${linker} --verbose OUTPUT_VARIABLE verbose COMMAND_ERROR_IS_FATAL ANY)
  # The default script is printed between two lines of '='.
  string(REGEX MATCH "\n=+\n(.*)\n=+\n" _ "${verbose}")
  set(text "${CMAKE_MATCH_1}")

  # cut(<name> <regex>): takes the first match of <regex> out of `text` into <name>.
  macro(cut name regex)
    string(REGEX MATCH "${regex}" ${name} "${text}")
    if(${name} STREQUAL "")
      message(FATAL_ERROR "small_sections: the default linker script has no match for ${regex}")
    endif()
    string(REPLACE "${${name}}" "" text "${text}")
  endmacro()
  # Output sections look like "  .name BLOCK(...) :\n  {\n ... \n  }\n".
  cut(xdata "  \\.xdata BLOCK[^\n]*\n  {\n[^}]*}\n")
  cut(crt "  \\.CRT BLOCK[^\n]*\n  {\n[^}]*}\n")
  cut(tls "  \\.tls BLOCK[^\n]*\n  {\n[^}]*}\n")
  foreach(section xdata crt tls)
    string(REGEX REPLACE "^[^{]*{\n(.*)  }\n$" "\\1" ${section} "${${section}}")
  endforeach()
  # The start-up's TLS initializer table (.CRT$XD*) was an orphan there.
  string(APPEND crt "    KEEP (*(SORT(.CRT$XD*)))\n")

  # insert(<anchor> <before> <after>): puts text around the anchor line(s).
  macro(insert anchor before after)
    string(FIND "${text}" "${anchor}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "small_sections: the default linker script lacks '${anchor}'")
    endif()
    string(REPLACE "${anchor}" "${before}${anchor}${after}" text "${text}")
  endmacro()
  insert("    __data_start__ = . ;\n" "${tls}" "${crt}")
  insert("  .rdata BLOCK(__section_alignment__) :\n  {\n" "" "${xdata}")
  # The symbol is aligned as dlltool aligns the descriptors (16 bytes): were
  # the code before them to end off that, the padding would lie after the
  # symbol, and the directory would point at the padding.
  insert("    *(SORT(.text$*))\n" "    . = ALIGN(16) ;
    ___delay_import_descriptors__ = . ;
    KEEP (*(.text$2))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    ___delay_import_descriptors_end__ = . ;
" "")
  file(WRITE ${script}.new "${text}\n")
  file(COPY_FILE ${script}.new ${script} ONLY_IF_DIFFERENT)
  file(REMOVE ${script}.new)
endfunction()
