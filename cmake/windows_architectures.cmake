# What differs between the Windows architectures, in one table; everything
# else is the same source, options and checks. Keyed by CMAKE_SYSTEM_PROCESSOR
# (set by the toolchain file):
#   linker        bfd: GNU ld, which takes the small-sections linker script
#                 and leaves the delay-import directory for
#                 set_delay_import_directory.sh; lld: takes no -T for PE,
#                 and fills the delay-import directory itself
#   delay_load    dlltool: `--output-delaylib` import libraries (GNU
#                 dlltool); lld: plain import libraries and
#                 -Wl,--delayload=<dll> (llvm-dlltool has no delay libraries)
#   dlltool_machine   the machine llvm-dlltool is told (-m), where used
#   check_kit     whether endsession-check builds and its cases run (its
#                 interception's machine facts: src/check/call_convention.h)
#   writes_release  whether this tree writes the release (the x64 one, which
#                 builds the ARM64 executable beside its own)
#   e2e_session_end_prefix  whether the end-to-end cases that end the
#                 session run in a prefix of their own: under the emulated
#                 arm64 Wine, a session end that follows other cases in the
#                 same prefix was measured to leave Wine's desktop and
#                 services running, so that the case waits for ever
#   e2e_name      the end-to-end tests' name prefix (one CTest run holds
#                 every architecture's tree)
# endsession_arch(<variable> <property>): the property of this build's architecture.
function(endsession_arch variable property)
  set(ENDSESSION_ARCH_x86_64_linker bfd)
  set(ENDSESSION_ARCH_x86_64_delay_load dlltool)
  set(ENDSESSION_ARCH_x86_64_dlltool_machine i386:x86-64)
  set(ENDSESSION_ARCH_x86_64_check_kit ON)
  set(ENDSESSION_ARCH_x86_64_e2e_name e2e)
  set(ENDSESSION_ARCH_x86_64_e2e_session_end_prefix OFF)
  set(ENDSESSION_ARCH_x86_64_writes_release ON)
  set(ENDSESSION_ARCH_ARM64_linker lld)
  set(ENDSESSION_ARCH_ARM64_delay_load lld)
  set(ENDSESSION_ARCH_ARM64_dlltool_machine arm64)
  set(ENDSESSION_ARCH_ARM64_check_kit ON)
  set(ENDSESSION_ARCH_ARM64_e2e_name e2e.arm64)
  set(ENDSESSION_ARCH_ARM64_e2e_session_end_prefix ON)
  set(ENDSESSION_ARCH_ARM64_writes_release OFF)
  set(name ENDSESSION_ARCH_${CMAKE_SYSTEM_PROCESSOR}_${property})
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "no ${property} for the Windows architecture '${CMAKE_SYSTEM_PROCESSOR}'")
  endif()
  set(${variable} ${${name}} PARENT_SCOPE)
endfunction()
