# The release, written by `cmake --workflow --preset release` (its package
# step) into build/release:
#   endsession-<version>-win64.zip      endsession.exe, README.md, LICENSE
#   endsession-<version>-x64.msi        the per-machine installer
#   endsession-<version>-check-win64.zip  endsession-check.exe, README.md, LICENSE
#   endsession-<version>-arm64.zip      the ARM64 endsession.exe, README.md, LICENSE
#   endsession-<version>-check-arm64.zip  the ARM64 endsession-check.exe, README.md, LICENSE
#   endsession-<version>-arm64.msi      its per-machine installer (both ARM64
#                                       files where ARM64 ships:
#                                       arm64_release_build.cmake)
#   endsession-<version>.spdx.json      the SPDX 2.3 SBOM
#   manifests/, endsession.json         winget's and Scoop's manifests, when
#                                       ENDSESSION_RELEASE_URL is set
#   SHA256SUMS                          all of them, in `sha256sum -c` form
# CPack stages the files and zips them; release_artifacts.cmake runs between
# the two (signing, MSI, SBOM), finish_release.cmake after (manifests, sums).
install(TARGETS endsession RUNTIME DESTINATION .)
endsession_arch(writes_release writes_release)
if(writes_release)
  include(${CMAKE_CURRENT_LIST_DIR}/arm64_release_build.cmake)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

# Fixed for ever: Windows Installer knows the product's versions by it. Upper
# case, as the UpgradeCode property must be: a lower-case one is not found
# by the next version's upgrade search.
set(ENDSESSION_UPGRADE_CODE 6C1F9BD2-6A3E-4F8E-9A7E-6F0A4C2F1B11)
# The SBOM's download location is the zip's URL under ENDSESSION_RELEASE_URL
# (package_manager_manifests.cmake); this one, when set, takes its place.
set(ENDSESSION_DOWNLOAD_LOCATION "" CACHE STRING "The SBOM's download location of endsession, instead of the release URL's zip")
set(ENDSESSION_HOMEPAGE_URL "" CACHE STRING "endsession's home page, for the package managers' manifests")
set(ENDSESSION_LICENSE_URL "" CACHE STRING "Where endsession's licence text is published, for the package managers' manifests")

# Every timestamp of the release comes from one source: SOURCE_DATE_EPOCH
# when set, else the commit's time (read again at every configure).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(release_epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT release_epoch MATCHES "^[0-9]+$")
  message(WARNING "Neither SOURCE_DATE_EPOCH nor a git commit: the release's timestamps are 0 (1970).")
  set(release_epoch 0)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME endsession-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/release_artifacts.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/finish_release.cmake)
# For those scripts (CPack hands CPACK_* variables on).
set(CPACK_ENDSESSION_VERSION ${PROJECT_VERSION})
set(CPACK_ENDSESSION_EPOCH ${release_epoch})
set(CPACK_ENDSESSION_UPGRADE_CODE ${ENDSESSION_UPGRADE_CODE})
set(CPACK_ENDSESSION_PUBLISHER "${ENDSESSION_COMPANY}")
set(CPACK_ENDSESSION_COPYRIGHT "${ENDSESSION_COPYRIGHT}")
set(CPACK_ENDSESSION_DOWNLOAD_LOCATION "${ENDSESSION_DOWNLOAD_LOCATION}")
set(CPACK_ENDSESSION_DESCRIPTION "${PROJECT_DESCRIPTION}")
set(CPACK_ENDSESSION_WINDOWS_FLOOR ${ENDSESSION_WINDOWS_FLOOR})
set(CPACK_ENDSESSION_HOMEPAGE_URL "${ENDSESSION_HOMEPAGE_URL}")
set(CPACK_ENDSESSION_LICENSE_URL "${ENDSESSION_LICENSE_URL}")
set(CPACK_ENDSESSION_LINK_MAP ${CMAKE_BINARY_DIR}/src/endsession.exe.map)
set(CPACK_ENDSESSION_CHECK_EXE ${CMAKE_BINARY_DIR}/src/check/endsession-check.exe)
set(CPACK_ENDSESSION_ARM64_EXE "${ENDSESSION_ARM64_EXE}")
set(CPACK_ENDSESSION_ARM64_CHECK_EXE "${ENDSESSION_ARM64_CHECK_EXE}")
set(CPACK_ENDSESSION_ARM64_SYSROOT "${ENDSESSION_ARM64_SYSROOT}")
include(CPack)
