# The release zip: endsession-<version>-win64.zip with the executable, the
# README and the licence at its top, and SHA256SUMS beside it.
install(TARGETS endsession RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME endsession-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/write_sha256sums.cmake)
include(CPack)
