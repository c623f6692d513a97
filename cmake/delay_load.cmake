# Delay-loaded system DLLs. A refused command line never reaches ADVAPI32 or
# USER32, so the executable loads them only at the first call into them:
# a refusal then costs what an empty program costs (USER32's start-up is the
# dearest part of a process start; on Windows it also ties the process to the
# window manager). The product code is unchanged: it links against import
# libraries made by `dlltool --output-delaylib` from .def files, which list
# exactly the functions the tool calls.
set(CMAKE_DLLTOOL x86_64-w64-mingw32-dlltool CACHE FILEPATH "dlltool for the delay-load libraries")
include(${CMAKE_CURRENT_LIST_DIR}/windows_architectures.cmake)

# endsession_delay_loaded(<target> <def-file> ...): links <target> to the DLL
# each .def file names (its LIBRARY line), delay-loaded. dlltool runs in the
# output folder on a relative name: it names its symbols after the output
# path (__tailMerge_libuser32_delay_a), and no build path may reach a binary.
function(endsession_delay_loaded target)
  set(folder ${CMAKE_BINARY_DIR}/delay_load)
  file(MAKE_DIRECTORY ${folder})  # the commands run in it
  endsession_arch(mechanism delay_load)
  endsession_arch(machine dlltool_machine)
  foreach(def IN LISTS ARGN)
    get_filename_component(name ${def} NAME_WE)
    set(library lib${name}_delay.a)
    if(mechanism STREQUAL "dlltool")
      set(command ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${library})
    else()
      set(command ${CMAKE_DLLTOOL} -m ${machine} -d ${def} -l ${library})
      # The DLL the .def file names, delay-loaded by the linker itself.
      file(STRINGS ${def} dll REGEX "^LIBRARY ")
      string(REGEX REPLACE "^LIBRARY +" "" dll "${dll}")
      target_link_options(${target} PRIVATE -Wl,--delayload=${dll})
    endif()
    if(NOT TARGET ${name}_delay_library)
      add_custom_command(OUTPUT ${folder}/${library}
        COMMAND ${command}
        WORKING_DIRECTORY ${folder}
        DEPENDS ${def} VERBATIM)
      add_custom_target(${name}_delay_library DEPENDS ${folder}/${library})
    endif()
    add_dependencies(${target} ${name}_delay_library)
    target_link_libraries(${target} PRIVATE ${folder}/${library})
  endforeach()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ARGN})
  if(mechanism STREQUAL "lld")
    # lld fills the delay-import directory; the header checksum is written here.
    set(script ${PROJECT_SOURCE_DIR}/cmake/pe_checksum.sh)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
    add_custom_command(TARGET ${target} POST_BUILD COMMAND bash ${script} $<TARGET_FILE:${target}> VERBATIM)
    return()
  endif()
  # GNU ld leaves the PE's delay-import directory empty; it is set from the
  # link map (the target is a small product: see windows_small_executable).
  # A post-build step runs only after a link: an edit of the script or of a
  # .def file must relink, or the old executable stays.
  set(script ${PROJECT_SOURCE_DIR}/cmake/set_delay_import_directory.sh)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script} ${PROJECT_SOURCE_DIR}/cmake/pe_checksum.sh)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash ${script} $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.map
    VERBATIM)
endfunction()
