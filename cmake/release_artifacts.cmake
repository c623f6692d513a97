cmake_policy(VERSION 3.25)
# CPack pre-build script: runs on the staged release files (endsession.exe,
# README.md, LICENSE) before CPack zips them. Signs the executable when
# ENDSESSION_SIGNING asks for it (code_signing.cmake), so the zip and the
# MSI carry the signed one; builds the MSI and signs it; zips each check kit;
# where ARM64 ships, does the same for the ARM64 executable (its zip and
# MSI); writes the SBOM.
# Nothing reaches the package folder before all of it has succeeded, and an
# earlier run's artifacts are removed first: a failure leaves none behind.
include(${CMAKE_CURRENT_LIST_DIR}/code_signing.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/msi_package.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/spdx_sbom.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/package_manager_manifests.cmake)

set(version ${CPACK_ENDSESSION_VERSION})
set(epoch ${CPACK_ENDSESSION_EPOCH})
set(staged ${CPACK_TEMPORARY_DIRECTORY})
set(work ${CPACK_TOPLEVEL_DIRECTORY}/release-artifacts)
set(out ${CPACK_PACKAGE_DIRECTORY})

file(GLOB stale ${out}/endsession-*.zip ${out}/endsession-*.msi ${out}/endsession-*.spdx.json ${out}/SHA256SUMS
     ${out}/endsession.json)
if(stale)
  file(REMOVE ${stale})
endif()
file(REMOVE_RECURSE ${out}/manifests)
# Read (and a malformed one refused) before anything is built.
endsession_release_url(release_url)
set(download "${CPACK_ENDSESSION_DOWNLOAD_LOCATION}")
if(download STREQUAL "" OR download STREQUAL "NOASSERTION")
  set(download NOASSERTION)
  if(release_url)
    set(download ${release_url}${CPACK_PACKAGE_FILE_NAME}.zip)
  endif()
endif()
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

# The archives record the files' times: the epoch's, not the build's.
set(staged_files ${staged}/endsession.exe ${staged}/README.md ${staged}/LICENSE)
execute_process(COMMAND touch -h -d @${epoch} ${staged_files} ${staged} COMMAND_ERROR_IS_FATAL ANY)

endsession_signing_requested(signing)
if(signing)
  endsession_sign(${staged}/endsession.exe ${epoch})
  execute_process(COMMAND touch -d @${epoch} ${staged}/endsession.exe COMMAND_ERROR_IS_FATAL ANY)
endif()

set(msi endsession-${version}-x64.msi)
endsession_build_msi(${work}/${msi} ${staged} ${version} ${epoch}
                     ${CPACK_ENDSESSION_UPGRADE_CODE} "${CPACK_ENDSESSION_PUBLISHER}")
if(signing)
  endsession_sign(${work}/${msi} ${epoch})
endif()

# Each check kit ships in a zip of its own, signed like the tool; never in
# the MSI or the package managers' manifests.
function(endsession_kit_zip built zip folder)
  file(MAKE_DIRECTORY ${folder})
  file(COPY ${built} ${staged}/README.md ${staged}/LICENSE DESTINATION ${folder})
  if(signing)
    endsession_sign(${folder}/endsession-check.exe ${epoch})
  endif()
  execute_process(COMMAND touch -d @${epoch} ${folder}/endsession-check.exe ${folder}/README.md ${folder}/LICENSE
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${work}/${zip} --format=zip
                          endsession-check.exe README.md LICENSE
                  WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
set(kit_zip endsession-${version}-check-win64.zip)
endsession_kit_zip(${CPACK_ENDSESSION_CHECK_EXE} ${kit_zip} ${work}/check)

# ARM64: the same three files, signed the same way, in a zip and an MSI of
# their own; its kit in a zip of its own.
set(arm64_artifacts "")
set(arm64_sbom "")
if(CPACK_ENDSESSION_ARM64_EXE)
  set(arm64 ${work}/arm64)
  set(arm64_zip endsession-${version}-arm64.zip)
  set(arm64_msi endsession-${version}-arm64.msi)
  file(MAKE_DIRECTORY ${arm64})
  file(COPY ${CPACK_ENDSESSION_ARM64_EXE} ${staged}/README.md ${staged}/LICENSE DESTINATION ${arm64})
  if(signing)
    endsession_sign(${arm64}/endsession.exe ${epoch})
  endif()
  execute_process(COMMAND touch -d @${epoch} ${arm64}/endsession.exe ${arm64}/README.md ${arm64}/LICENSE
                  COMMAND_ERROR_IS_FATAL ANY)
  endsession_build_msi(${work}/${arm64_msi} ${arm64} ${version} ${epoch}
                       ${CPACK_ENDSESSION_UPGRADE_CODE} "${CPACK_ENDSESSION_PUBLISHER}" arm64)
  if(signing)
    endsession_sign(${work}/${arm64_msi} ${epoch})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${work}/${arm64_zip} --format=zip
                          endsession.exe README.md LICENSE
                  WORKING_DIRECTORY ${arm64} COMMAND_ERROR_IS_FATAL ANY)
  set(arm64_download NOASSERTION)
  if(release_url)
    set(arm64_download ${release_url}${arm64_zip})
  endif()
  set(arm64_sbom ARM64 ${arm64} ${CPACK_ENDSESSION_ARM64_EXE}.map ${CPACK_ENDSESSION_ARM64_SYSROOT} ${arm64_download})
  set(arm64_kit_zip endsession-${version}-check-arm64.zip)
  endsession_kit_zip(${CPACK_ENDSESSION_ARM64_CHECK_EXE} ${arm64_kit_zip} ${work}/arm64-check)
  set(arm64_artifacts ${arm64_zip} ${arm64_msi} ${arm64_kit_zip})
endif()

set(sbom endsession-${version}.spdx.json)
endsession_write_sbom(${work}/${sbom} ${staged} ${version} ${epoch} "${CPACK_ENDSESSION_PUBLISHER}"
                      "${CPACK_ENDSESSION_COPYRIGHT}" "${download}"
                      ${CPACK_ENDSESSION_LINK_MAP} ${CPACK_ENDSESSION_UPGRADE_CODE} ${arm64_sbom})

foreach(artifact ${msi} ${sbom} ${kit_zip} ${arm64_artifacts})
  file(RENAME ${work}/${artifact} ${out}/${artifact})
endforeach()
