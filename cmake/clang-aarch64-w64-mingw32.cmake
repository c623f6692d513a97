# Cross-build for ARM64 Windows with Debian's clang and lld, against the
# sysroot cmake/arm64_sysroot.sh builds from Debian's mingw-w64 and
# llvm-toolchain-14 sources: ENDSESSION_ARM64_SYSROOT, from the environment at
# the first configure, kept in the cache after.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
if(NOT ENDSESSION_ARM64_SYSROOT)
  set(ENDSESSION_ARM64_SYSROOT $ENV{ENDSESSION_ARM64_SYSROOT})
endif()
if(NOT EXISTS "${ENDSESSION_ARM64_SYSROOT}/complete")
  message(FATAL_ERROR "no ARM64 sysroot at '${ENDSESSION_ARM64_SYSROOT}': scripts/test-all makes one (cmake/arm64_sysroot.sh)")
endif()
set(ENDSESSION_ARM64_SYSROOT ${ENDSESSION_ARM64_SYSROOT} CACHE PATH "The ARM64 sysroot" FORCE)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ENDSESSION_ARM64_SYSROOT)  # the compiler checks' projects
set(llvm /usr/lib/llvm-14/bin)
set(CMAKE_C_COMPILER ${llvm}/clang)
set(CMAKE_CXX_COMPILER ${llvm}/clang++)
set(CMAKE_C_COMPILER_TARGET aarch64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET aarch64-w64-mingw32)
set(CMAKE_RC_COMPILER ${llvm}/llvm-windres)
set(CMAKE_AR ${llvm}/llvm-ar)
set(CMAKE_RANLIB ${llvm}/llvm-ranlib)
set(CMAKE_DLLTOOL ${llvm}/llvm-dlltool CACHE FILEPATH "dlltool for the delay-load libraries")
set(CMAKE_SYSROOT ${ENDSESSION_ARM64_SYSROOT})
set(flags "-isystem ${ENDSESSION_ARM64_SYSROOT}/include -resource-dir=${ENDSESSION_ARM64_SYSROOT}/clang")
set(CMAKE_C_FLAGS_INIT "${flags}")
set(CMAKE_CXX_FLAGS_INIT "${flags} -nostdlib++")
set(CMAKE_EXE_LINKER_FLAGS_INIT
  "-fuse-ld=lld -rtlib=compiler-rt -unwindlib=none -nostdlib++ -L${ENDSESSION_ARM64_SYSROOT}/lib")
set(CMAKE_RC_FLAGS_INIT "--target=aarch64-w64-mingw32 -I${ENDSESSION_ARM64_SYSROOT}/include")
set(CMAKE_FIND_ROOT_PATH ${ENDSESSION_ARM64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
