# The release's SPDX 2.3 document (JSON): the endsession package with the
# files it ships, and the Debian packages whose parts the linker put into
# endsession.exe (the mingw-w64 runtime, libgcc), found from the link map:
# every system object file it loaded and every archive member it took,
# traced to its package by dpkg.
#
# Where ARM64 ships, a second package, endsession-arm64: the ARM64 zip's
# files, and the Debian source packages the project's ARM64 sysroot was
# built from (cmake/arm64_sysroot.sh, its "packages" file) for each sysroot
# folder the ARM64 link map took objects from.
#
# endsession_write_sbom(<output> <folder> <version> <epoch> <supplier>
#                       <copyright> <download-location> <link-map> <namespace-uuid>
#                       [ARM64 <folder> <link-map> <sysroot> <download-location>])

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

# The Debian source packages (name;version;"source" triples) of the sysroot
# folders the link map took objects from. lld's map names a loaded object
# file by its path, an archive member by the member's name alone: a folder
# counts when the map names a path in it or a member of one of its archives.
function(endsession_sysroot_packages result map sysroot)
  file(READ ${map} text)
  file(STRINGS ${map} lines REGEX ":\\(")
  set(members "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.* ([^ /]+):\\(.*$" "\\1" member "${line}")
    list(APPEND members "${member}")
  endforeach()
  list(REMOVE_DUPLICATES members)
  find_program(LLVM_AR NAMES llvm-ar-14 llvm-ar PATHS /usr/lib/llvm-14/bin REQUIRED)
  file(STRINGS ${sysroot}/packages lines)
  set(found "")
  foreach(line IN LISTS lines)
    string(REPLACE " " ";" fields "${line}")
    list(GET fields 0 folder)
    string(FIND "${text}" "${sysroot}/${folder}/" at)
    if(at EQUAL -1)
      file(GLOB_RECURSE archives ${sysroot}/${folder}/*.a)
      foreach(archive IN LISTS archives)
        execute_process(COMMAND ${LLVM_AR} t ${archive} OUTPUT_VARIABLE held ERROR_QUIET)
        string(REPLACE "\n" ";" held "${held}")
        foreach(member IN LISTS held)
          if(member AND member IN_LIST members)
            set(at 0)
            break()
          endif()
        endforeach()
        if(at EQUAL 0)
          break()
        endif()
      endforeach()
    endif()
    if(NOT at EQUAL -1)
      list(GET fields 1 name)
      list(GET fields 2 version)
      list(APPEND found ${name} ${version} source)
    endif()
  endforeach()
  set(${result} "${found}" PARENT_SCOPE)
endfunction()

# endsession_sbom_files(<folder> <id-prefix> <package-id> <copyright>): appends
# the three shipped files of <folder> to files, relationships and content in
# the caller's scope; sets verification_code.
macro(endsession_sbom_files folder prefix package copyright)
  set(sha1s "")
  foreach(name endsession.exe README.md LICENSE)
    file(SHA1 ${folder}/${name} sha1)
    file(SHA256 ${folder}/${name} sha256)
    list(APPEND sha1s ${sha1})
    string(APPEND content "${sha256}")
    string(REGEX REPLACE "[^A-Za-z0-9]" "-" id "${prefix}${name}")
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
    string(APPEND relationships ",\n    {\"spdxElementId\": \"${package}\", \"relationshipType\": \"CONTAINS\", \"relatedSpdxElement\": \"SPDXRef-File-${id}\"}")
  endforeach()
  # SPDX's package verification code: the SHA1 of the files' sorted SHA1s.
  list(SORT sha1s)
  string(REPLACE ";" "" sha1s "${sha1s}")
  string(SHA1 verification_code "${sha1s}")
endmacro()

# endsession_sbom_linked(<package-id> <triples> <comment>): appends a package
# and a STATIC_LINK relationship per name;version;architecture triple.
macro(endsession_sbom_linked package triples comment)
  set(linked "${triples}")
  while(linked)
    list(POP_FRONT linked name package_version architecture)
    string(REGEX REPLACE "[^A-Za-z0-9.]" "-" id "${name}")
    if(architecture STREQUAL "source")
      string(PREPEND id "source-")
    endif()
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
      \"comment\": \"${comment}\",
      \"externalRefs\": [{\"referenceCategory\": \"PACKAGE-MANAGER\", \"referenceType\": \"purl\", \"referenceLocator\": \"pkg:deb/debian/${name}@${purl_version}?arch=${architecture}\"}]
    }")
    string(APPEND relationships ",\n    {\"spdxElementId\": \"${package}\", \"relationshipType\": \"STATIC_LINK\", \"relatedSpdxElement\": \"SPDXRef-Package-${id}\"}")
  endwhile()
endmacro()

# endsession_sbom_own_package(<name> <download-location> <more-fields>): appends
# a package of the project's own (its files just listed: verification_code)
# to packages, in the caller's scope.
macro(endsession_sbom_own_package name download more)
  if(packages)
    string(APPEND packages ",\n")
  endif()
  string(APPEND packages "    {
      \"SPDXID\": \"SPDXRef-Package-${name}\",
      \"name\": \"${name}\",
      \"versionInfo\": \"${version}\",
      \"supplier\": \"Organization: ${supplier}\",
      \"downloadLocation\": \"${download}\",
      \"filesAnalyzed\": true,
      \"packageVerificationCode\": {\"packageVerificationCodeValue\": \"${verification_code}\"},
      \"licenseConcluded\": \"MIT\",
      \"licenseDeclared\": \"MIT\",
      \"licenseInfoFromFiles\": [\"NOASSERTION\"],
      \"copyrightText\": \"${copyright}\",
${more}      \"primaryPackagePurpose\": \"APPLICATION\"
    }")
endmacro()

function(endsession_write_sbom output folder version epoch supplier copyright download map namespace)
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP created "%Y-%m-%dT%H:%M:%SZ" UTC)
  set(files "")
  set(relationships "    {\"spdxElementId\": \"SPDXRef-DOCUMENT\", \"relationshipType\": \"DESCRIBES\", \"relatedSpdxElement\": \"SPDXRef-Package-endsession\"}")
  set(content "")
  endsession_sbom_files(${folder} "" SPDXRef-Package-endsession "${copyright}")

  set(packages "")
  endsession_sbom_own_package(endsession "${download}" "")
  endsession_linked_packages(linked ${map})
  endsession_sbom_linked(SPDXRef-Package-endsession "${linked}"
    "Debian package whose object code is statically linked into endsession.exe")

  if(ARGC GREATER 9)
    set(arm64_folder ${ARGV10})
    set(arm64_map ${ARGV11})
    set(arm64_sysroot ${ARGV12})
    set(arm64_download ${ARGV13})
    string(APPEND relationships ",\n    {\"spdxElementId\": \"SPDXRef-DOCUMENT\", \"relationshipType\": \"DESCRIBES\", \"relatedSpdxElement\": \"SPDXRef-Package-endsession-arm64\"}")
    endsession_sbom_files(${arm64_folder} arm64- SPDXRef-Package-endsession-arm64 "${copyright}")
    endsession_sbom_own_package(endsession-arm64 "${arm64_download}"
      "      \"comment\": \"endsession for ARM64 Windows\",\n")
    endsession_sysroot_packages(linked ${arm64_map} ${arm64_sysroot})
    endsession_sbom_linked(SPDXRef-Package-endsession-arm64 "${linked}"
      "Debian source package whose object code, built by the project's ARM64 sysroot, is statically linked into the ARM64 endsession.exe")
  endif()

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
