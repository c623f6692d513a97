# The release's ARM64 endsession.exe and endsession-check.exe, built by the x64 tree that writes the
# release: the same sources configured again in <build>/arm64 with the ARM64
# toolchain (clang-aarch64-w64-mingw32.cmake) over the sysroot
# ENDSESSION_ARM64_SYSROOT names (cmake/arm64_sysroot.sh makes it).
# ENDSESSION_ARM64_RELEASE: AUTO ships ARM64 where the sysroot is given, ON
# requires it (the release preset), OFF ships x64 alone.
# Sets ENDSESSION_ARM64_EXE and ENDSESSION_ARM64_CHECK_EXE (empty when ARM64
# does not ship).
set(ENDSESSION_ARM64_RELEASE AUTO CACHE STRING "ARM64 in the release: AUTO (where the sysroot is given), ON (required), OFF")
if(NOT ENDSESSION_ARM64_SYSROOT)
  set(ENDSESSION_ARM64_SYSROOT "$ENV{ENDSESSION_ARM64_SYSROOT}")
endif()
set(ENDSESSION_ARM64_EXE "")
set(ENDSESSION_ARM64_CHECK_EXE "")
if(NOT ENDSESSION_ARM64_RELEASE)
  return()
endif()
if(NOT EXISTS "${ENDSESSION_ARM64_SYSROOT}/complete")
  if(ENDSESSION_ARM64_RELEASE STREQUAL "ON")
    message(FATAL_ERROR "ENDSESSION_ARM64_RELEASE is ON, but there is no ARM64 sysroot at "
      "'${ENDSESSION_ARM64_SYSROOT}': cmake/arm64_sysroot.sh makes one (scripts/test-all runs it).")
  endif()
  message(STATUS "No ARM64 sysroot (ENDSESSION_ARM64_SYSROOT): the release ships x64 alone")
  return()
endif()
set(ENDSESSION_ARM64_SYSROOT ${ENDSESSION_ARM64_SYSROOT} CACHE PATH "The ARM64 sysroot" FORCE)
include(ExternalProject)
set(arm64_build ${CMAKE_BINARY_DIR}/arm64)
ExternalProject_Add(endsession_arm64
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${arm64_build}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/clang-aarch64-w64-mingw32.cmake
             -DENDSESSION_ARM64_SYSROOT=${ENDSESSION_ARM64_SYSROOT} -DCMAKE_BUILD_TYPE=MinSizeRel
             -DENDSESSION_E2E_TESTS=OFF -DENDSESSION_RELEASE_CHECKS=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${arm64_build} --target endsession endsession_check
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${arm64_build}/src/endsession.exe ${arm64_build}/src/check/endsession-check.exe)
set(ENDSESSION_ARM64_EXE ${arm64_build}/src/endsession.exe)
set(ENDSESSION_ARM64_CHECK_EXE ${arm64_build}/src/check/endsession-check.exe)
