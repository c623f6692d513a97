# The release's SPDX 2.3 document (JSON): the endsession package with the
# files it ships, and the Debian packages whose parts the linker put into
# endsession.exe (the mingw-w64 runtime, libgcc), found from the link map:
# every system object file it loaded and every archive member it took,
# traced to its package by dpkg.
#
# endsession_write_sbom(<output> <folder> <version> <epoch> <supplier>
#                       <copyright> <download-location> <link-map> <namespace-uuid>)

# The Debian packages (name;version;architecture triples) that hold the
# system files the link map names.
function(endsession_linked_packages result map)
  file(STRINGS ${map} lines REGEX "^(LOAD )?/[^ ]+\\.(o|a)(\\(|$)")
  set(paths "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^(LOAD )?(/[^ (]+)((\\(|$).*)" "\\2" path "${line}")
    if(line MATCHES "^LOAD " AND NOT path MATCHES "\\.o$")
      continue()  # an archive loaded is not yet an archive used
    endif()
    get_filename_component(path ${path} REALPATH)
    list(APPEND paths ${path})
  endforeach()
  list(REMOVE_DUPLICATES paths)
  set(packages "")
  find_program(DPKG_QUERY dpkg-query)
  foreach(path IN LISTS paths)
    set(owner "")
    if(DPKG_QUERY)
      execute_process(COMMAND ${DPKG_QUERY} -S ${path} OUTPUT_VARIABLE owner ERROR_QUIET
                      OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    string(REGEX REPLACE ":.*" "" owner "${owner}")
    if(owner STREQUAL "" OR owner IN_LIST packages)
      continue()
    endif()
    list(APPEND packages ${owner})
  endforeach()
  list(SORT packages)
  set(pairs "")
  foreach(package IN LISTS packages)
    execute_process(COMMAND ${DPKG_QUERY} -W -f=\${Version}|\${Architecture} ${package} OUTPUT_VARIABLE fields)
    string(REPLACE "|" ";" fields "${fields}")
    list(APPEND pairs "${package}" ${fields})
  endforeach()
  set(${result} "${pairs}" PARENT_SCOPE)
endfunction()

function(endsession_write_sbom output folder version epoch supplier copyright download map namespace)
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP created "%Y-%m-%dT%H:%M:%SZ" UTC)
  set(files "")
  set(relationships "    {\"spdxElementId\": \"SPDXRef-DOCUMENT\", \"relationshipType\": \"DESCRIBES\", \"relatedSpdxElement\": \"SPDXRef-Package-endsession\"}")
  set(sha1s "")
  set(content "")
  foreach(name endsession.exe README.md LICENSE)
    file(SHA1 ${folder}/${name} sha1)
    file(SHA256 ${folder}/${name} sha256)
    list(APPEND sha1s ${sha1})
    string(APPEND content "${sha256}")
    string(REGEX REPLACE "[^A-Za-z0-9]" "-" id "${name}")
    if(files)
      string(APPEND files ",\n")
    endif()
    string(APPEND files "    {
      \"SPDXID\": \"SPDXRef-File-${id}\",
      \"fileName\": \"./${name}\",
      \"checksums\": [
        {\"algorithm\": \"SHA1\", \"checksumValue\": \"${sha1}\"},
        {\"algorithm\": \"SHA256\", \"checksumValue\": \"${sha256}\"}
      ],
      \"licenseConcluded\": \"MIT\",
      \"copyrightText\": \"${copyright}\"
    }")
    string(APPEND relationships ",\n    {\"spdxElementId\": \"SPDXRef-Package-endsession\", \"relationshipType\": \"CONTAINS\", \"relatedSpdxElement\": \"SPDXRef-File-${id}\"}")
  endforeach()
  # SPDX's package verification code: the SHA1 of the files' sorted SHA1s.
  list(SORT sha1s)
  string(REPLACE ";" "" sha1s "${sha1s}")
  string(SHA1 verification_code "${sha1s}")

  set(packages "    {
      \"SPDXID\": \"SPDXRef-Package-endsession\",
      \"name\": \"endsession\",
      \"versionInfo\": \"${version}\",
      \"supplier\": \"Organization: ${supplier}\",
      \"downloadLocation\": \"${download}\",
      \"filesAnalyzed\": true,
      \"packageVerificationCode\": {\"packageVerificationCodeValue\": \"${verification_code}\"},
      \"licenseConcluded\": \"MIT\",
      \"licenseDeclared\": \"MIT\",
      \"licenseInfoFromFiles\": [\"NOASSERTION\"],
      \"copyrightText\": \"${copyright}\",
      \"primaryPackagePurpose\": \"APPLICATION\"
    }")
  endsession_linked_packages(linked ${map})
  while(linked)
    list(POP_FRONT linked name package_version architecture)
    string(REGEX REPLACE "[^A-Za-z0-9.]" "-" id "${name}")
    # A package URL percent-encodes what its version may hold besides
    # letters, digits and ".-~" (Debian's "+" and epoch ":").
    string(REPLACE "+" "%2B" purl_version "${package_version}")
    string(REPLACE ":" "%3A" purl_version "${purl_version}")
    string(APPEND packages ",
    {
      \"SPDXID\": \"SPDXRef-Package-${id}\",
      \"name\": \"${name}\",
      \"versionInfo\": \"${package_version}\",
      \"supplier\": \"Organization: Debian\",
      \"downloadLocation\": \"NOASSERTION\",
      \"filesAnalyzed\": false,
      \"licenseConcluded\": \"NOASSERTION\",
      \"licenseDeclared\": \"NOASSERTION\",
      \"copyrightText\": \"NOASSERTION\",
      \"comment\": \"Debian package whose object code is statically linked into endsession.exe\",
      \"externalRefs\": [{\"referenceCategory\": \"PACKAGE-MANAGER\", \"referenceType\": \"purl\", \"referenceLocator\": \"pkg:deb/debian/${name}@${purl_version}?arch=${architecture}\"}]
    }")
    string(APPEND relationships ",\n    {\"spdxElementId\": \"SPDXRef-Package-endsession\", \"relationshipType\": \"STATIC_LINK\", \"relatedSpdxElement\": \"SPDXRef-Package-${id}\"}")
  endwhile()

  # The namespace is unique to this release's content, and the same for the same content.
  string(UUID document_id NAMESPACE ${namespace} NAME "${version} ${content}" TYPE SHA1)
  file(WRITE ${output} "{
  \"spdxVersion\": \"SPDX-2.3\",
  \"dataLicense\": \"CC0-1.0\",
  \"SPDXID\": \"SPDXRef-DOCUMENT\",
  \"name\": \"endsession-${version}\",
  \"documentNamespace\": \"https://spdx.org/spdxdocs/endsession-${version}-${document_id}\",
  \"creationInfo\": {
    \"created\": \"${created}\",
    \"creators\": [\"Organization: ${supplier}\", \"Tool: endsession release (CMake ${CMAKE_VERSION})\"]
  },
  \"packages\": [
${packages}
  ],
  \"files\": [
${files}
  ],
  \"relationships\": [
${relationships}
  ]
}
")
endfunction()
