# Delay-loaded system DLLs. A refused command line never reaches ADVAPI32 or
# USER32, so the executable loads them only at the first call into them:
# a refusal then costs what an empty program costs (USER32's start-up is the
# dearest part of a process start; on Windows it also ties the process to the
# window manager). The product code is unchanged: it links against import
# libraries made by `dlltool --output-delaylib` from the .def files, which
# list exactly the functions the tool calls.
set(CMAKE_DLLTOOL x86_64-w64-mingw32-dlltool CACHE FILEPATH "dlltool for the delay-load libraries")

# endsession_delay_loaded(<target> <dll> ...): links <target> to each <dll>
# (named after src/platform/delay_load/<dll>.def) delay-loaded.
function(endsession_delay_loaded target)
  foreach(dll IN LISTS ARGN)
    set(def ${PROJECT_SOURCE_DIR}/src/platform/delay_load/${dll}.def)
    set(library ${CMAKE_BINARY_DIR}/delay_load/lib${dll}_delay.a)
    string(TOUPPER ${dll} dll_name)
    add_custom_command(OUTPUT ${library}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay_load
      COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${dll_name}.dll
              --output-delaylib ${library}
      DEPENDS ${def} VERBATIM)
    add_custom_target(${dll}_delay_library DEPENDS ${library})
    add_dependencies(${target} ${dll}_delay_library)
    target_link_libraries(${target} PRIVATE ${library})
  endforeach()
endfunction()
