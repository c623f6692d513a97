# CPack post-build script: SHA256SUMS (in `sha256sum -c` format) beside the
# packages it has just written.
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(SHA256 "${package}" hash)
  get_filename_component(name "${package}" NAME)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
