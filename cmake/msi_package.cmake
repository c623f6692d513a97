# The per-machine MSI (packaging/endsession.wxs) from a folder holding
# endsession.exe, README.md and LICENSE, reproducibly:
# - wixl and msibuild run with the clock fixed at the release's epoch
#   (faketime), so the summary information's times are the epoch's;
# - the product code is derived from the version; the package code, which
#   must differ for every different MSI, from the MSI itself as built with
#   a placeholder code (so whatever shapes it -- files, installer source,
#   this script, the tools' versions -- changes it), never random;
# - the files' times, which the cabinet records, are set to the epoch by the
#   caller.
# wixl knows no <Environment>: the system PATH row and the two standard
# actions that write and remove it are added to the built database.
# One package per architecture, x64 or arm64: the same tables (64-bit
# components, ProgramFiles64Folder), the same upgrade code, a product code
# of its own, and the summary's Template naming the platform ("Arm64" for a
# 64-bit package on Arm64). wixl builds only x64 packages: msibuild sets
# the Template of the arm64 one.
#
# endsession_build_msi(<output> <folder> <version> <epoch> <upgrade-code> <publisher> [<arch>])
#
# Also a script: cmake -DOUTPUT=... -DFOLDER=... -DVERSION=... -DEPOCH=...
#   -DUPGRADE_CODE=... -DPUBLISHER=... [-DARCH=arm64] -P msi_package.cmake

set(ENDSESSION_WXS ${CMAKE_CURRENT_LIST_DIR}/../packaging/endsession.wxs)

# endsession_product_code(<result> <version> <upgrade-code> [<arch>]): the
# version's product code for the architecture (x64 unless named), upper case
# without braces.
function(endsession_product_code result version upgrade_code)
  set(arch x64)
  if(ARGC GREATER 3)
    set(arch ${ARGV3})
  endif()
  string(UUID code NAMESPACE ${upgrade_code} NAME "endsession ${version} ${arch}" TYPE SHA1 UPPER)
  set(${result} ${code} PARENT_SCOPE)
endfunction()

function(endsession_build_msi output folder version epoch upgrade_code publisher)
  find_program(WIXL wixl REQUIRED)
  find_program(MSIBUILD msibuild REQUIRED)
  find_program(FAKETIME faketime REQUIRED)
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP clock "%Y-%m-%d %H:%M:%S" UTC)
  set(fixed_clock ${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f "${clock}")

  set(arch x64)
  if(ARGC GREATER 6)
    set(arch ${ARGV6})
  endif()
  set(templates_x64 "x64;1033")
  set(templates_arm64 "Arm64;1033")
  if(NOT DEFINED templates_${arch})
    message(FATAL_ERROR "no MSI platform for the architecture '${arch}'")
  endif()
  set(template "${templates_${arch}}")
  endsession_product_code(product_code ${version} ${upgrade_code} ${arch})

  file(REMOVE ${output})
  execute_process(
    COMMAND ${fixed_clock} ${WIXL} -a x64 -D Version=${version} -D ProductCode=${product_code}
            -D UpgradeCode=${upgrade_code} -D "Publisher=${publisher}" -o ${output} ${ENDSESSION_WXS}
    WORKING_DIRECTORY ${folder} RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "wixl failed:\n${log}")
  endif()

  # Name "=-*PATH": set on install, removed on uninstall, the system's
  # variable; Value "[~];..." appends to what is there.
  execute_process(
    COMMAND ${fixed_clock} ${MSIBUILD} ${output}
      -q "CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)"
      -q "INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) VALUES ('SystemPath', '=-*PATH', '[~];[INSTALLFOLDER]', 'Executable')"
      -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)"
      -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)"
      -s "endsession ${version}" "${publisher}" "${template}" "{00000000-0000-0000-0000-000000000000}"
    RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msibuild failed:\n${log}")
  endif()
  file(SHA256 ${output} built)
  string(UUID package_code NAMESPACE ${upgrade_code} NAME "${built}" TYPE SHA1 UPPER)
  execute_process(COMMAND ${fixed_clock} ${MSIBUILD} ${output}
            -s "endsession ${version}" "${publisher}" "${template}" "{${package_code}}"
    RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msibuild failed:\n${log}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT ARCH)
    set(ARCH x64)
  endif()
  endsession_build_msi(${OUTPUT} ${FOLDER} ${VERSION} ${EPOCH} ${UPGRADE_CODE} "${PUBLISHER}" ${ARCH})
endif()
