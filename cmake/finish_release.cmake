# CPack post-build script, after the zip: the package managers' manifests
# for the release files (package_manager_manifests.cmake), when
# ENDSESSION_RELEASE_URL names where they will be published; then
# SHA256SUMS (in `sha256sum -c` format) over the files published together:
# the zip CPack has just written (still in its staging folder), and the MSI
# and SBOM written before it (release_artifacts.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/msi_package.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/package_manager_manifests.cmake)

set(out ${CPACK_PACKAGE_DIRECTORY})
set(version ${CPACK_ENDSESSION_VERSION})
endsession_release_url(url)
if(url STREQUAL "")
  message(STATUS "ENDSESSION_RELEASE_URL is not set: no winget or Scoop manifests")
else()
  endsession_product_code(product_code ${version} ${CPACK_ENDSESSION_UPGRADE_CODE})
  set(arm64 "")
  if(CPACK_ENDSESSION_ARM64_EXE)
    endsession_product_code(arm64_product_code ${version} ${CPACK_ENDSESSION_UPGRADE_CODE} arm64)
    set(arm64 ARM64_ZIP ${out}/endsession-${version}-arm64.zip ARM64_MSI ${out}/endsession-${version}-arm64.msi
              ARM64_PRODUCT_CODE ${arm64_product_code})
  endif()
  endsession_write_manifests(FOLDER ${out} URL ${url} VERSION ${version}
    ZIP ${CPACK_PACKAGE_FILES} MSI ${out}/endsession-${version}-x64.msi
    PRODUCT_CODE ${product_code} UPGRADE_CODE ${CPACK_ENDSESSION_UPGRADE_CODE}
    PUBLISHER "${CPACK_ENDSESSION_PUBLISHER}" COPYRIGHT "${CPACK_ENDSESSION_COPYRIGHT}"
    DESCRIPTION "${CPACK_ENDSESSION_DESCRIPTION}" MINIMUM_OS ${CPACK_ENDSESSION_WINDOWS_FLOOR}
    EPOCH ${CPACK_ENDSESSION_EPOCH} HOMEPAGE "${CPACK_ENDSESSION_HOMEPAGE_URL}"
    LICENSE_URL "${CPACK_ENDSESSION_LICENSE_URL}" ${arm64})
  message(STATUS "winget and Scoop manifests for ${url}")
endif()

# SHA256SUMS lists what is uploaded to the release folder, so that it
# verifies there (`sha256sum -c` beside just those files): the zips, the MSI
# and the SBOM. The manifests go elsewhere and carry the hashes themselves.
file(SHA256 ${CPACK_PACKAGE_FILES} hash)
get_filename_component(name ${CPACK_PACKAGE_FILES} NAME)
set(lines "${hash}  ${name}\n")
file(GLOB others ${out}/endsession-*.zip ${out}/endsession-*.msi ${out}/endsession-*.spdx.json)
list(REMOVE_ITEM others ${out}/${name})
foreach(artifact IN LISTS others)
  file(SHA256 "${artifact}" hash)
  get_filename_component(name "${artifact}" NAME)
  list(APPEND lines "${hash}  ${name}\n")
endforeach()
list(SORT lines)
string(REPLACE ";" "" sums "${lines}")
file(WRITE "${out}/SHA256SUMS" "${sums}")
