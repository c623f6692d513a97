# CPack post-build script: SHA256SUMS (in `sha256sum -c` format) beside the
# release artifacts: the zip CPack has just written and the MSI and SBOM
# written before it (release_artifacts.cmake).
set(artifacts ${CPACK_PACKAGE_FILES})
file(GLOB others ${CPACK_PACKAGE_DIRECTORY}/endsession-*.msi ${CPACK_PACKAGE_DIRECTORY}/endsession-*.spdx.json)
list(APPEND artifacts ${others})
set(lines "")
foreach(artifact IN LISTS artifacts)
  file(SHA256 "${artifact}" hash)
  get_filename_component(name "${artifact}" NAME)
  list(APPEND lines "${hash}  ${name}\n")
endforeach()
list(SORT lines)
string(REPLACE ";" "" sums "${lines}")
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
