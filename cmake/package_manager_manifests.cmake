# The package managers' manifests for a release whose files will be
# published under one https folder, ENDSESSION_RELEASE_URL (read from the
# environment at packaging time, like the signing variables):
#   manifests/e/endsession/endsession/<version>/   winget, schema 1.10.0, as
#       winget's community repository lays it out: the version, installer
#       (per architecture the MSI, and the zip as a portable package) and
#       en-US locale files
#   endsession.json                                the Scoop app manifest,
#       with a "64bit" and, where ARM64 ships, an "arm64" architecture
# Every URL is the folder plus a file's name, every hash that of the file as
# shipped (signed, when signing is on). Without the setting none is written.

# endsession_release_url(<result>): the setting with a final "/", or "" when
# unset; a value that is not an https URL fails the release.
function(endsession_release_url result)
  set(url "$ENV{ENDSESSION_RELEASE_URL}")
  if(url STREQUAL "")
    set(${result} "" PARENT_SCOPE)
    return()
  endif()
  # Quotes, backslashes and blanks would have to be escaped in YAML and
  # JSON; a URL has them percent-encoded.
  if(NOT url MATCHES "^https://[^/\"'\\\\ \t]+(/[^\"'\\\\ \t]*)?$")
    message(FATAL_ERROR "ENDSESSION_RELEASE_URL is not an https URL: ${url}")
  endif()
  if(NOT url MATCHES "/$")
    string(APPEND url "/")
  endif()
  set(${result} "${url}" PARENT_SCOPE)
endfunction()

# YAML scalars in single quotes: ": " in a description, "{" in a product code.
function(endsession_yaml_quoted result value)
  string(REPLACE "'" "''" value "${value}")
  set(${result} "'${value}'" PARENT_SCOPE)
endfunction()

# endsession_write_manifests(FOLDER <release-folder> URL <url> VERSION <v>
#   ZIP <file> MSI <file> PRODUCT_CODE <uuid> UPGRADE_CODE <uuid>
#   PUBLISHER <name> COPYRIGHT <line> DESCRIPTION <text> MINIMUM_OS <major.minor>
#   EPOCH <seconds> [HOMEPAGE <url>] [LICENSE_URL <url>]
#   [ARM64_ZIP <file> ARM64_MSI <file> ARM64_PRODUCT_CODE <uuid>])
function(endsession_write_manifests)
  cmake_parse_arguments(PARSE_ARGV 0 arg ""
    "FOLDER;URL;VERSION;ZIP;MSI;PRODUCT_CODE;UPGRADE_CODE;PUBLISHER;COPYRIGHT;DESCRIPTION;MINIMUM_OS;EPOCH;HOMEPAGE;LICENSE_URL;ARM64_ZIP;ARM64_MSI;ARM64_PRODUCT_CODE" "")
  # Fixed for ever, like the upgrade code: winget knows the package by it.
  set(id endsession.endsession)
  set(schema 1.10.0)
  set(dir ${arg_FOLDER}/manifests/e/endsession/endsession/${arg_VERSION})
  set(ENV{SOURCE_DATE_EPOCH} ${arg_EPOCH})
  string(TIMESTAMP release_date "%Y-%m-%d" UTC)
  foreach(field PUBLISHER COPYRIGHT DESCRIPTION HOMEPAGE LICENSE_URL)
    endsession_yaml_quoted(${field} "${arg_${field}}")
  endforeach()
  set(head "PackageIdentifier: ${id}\nPackageVersion: ${arg_VERSION}\n")
  set(tail "ManifestVersion: ${schema}\n")
  macro(schema_line type)
    set(line "# yaml-language-server: $schema=https://aka.ms/winget-manifest.${type}.${schema}.schema.json\n\n")
  endmacro()

  # Per architecture, the MSI and the zip as a portable package.
  set(installers "")
  set(scoop_architectures "")
  set(architectures x64)
  if(arg_ARM64_ZIP)
    list(APPEND architectures arm64)
  endif()
  foreach(arch IN LISTS architectures)
    if(arch STREQUAL "x64")
      set(zip_file ${arg_ZIP})
      set(msi_file ${arg_MSI})
      set(product_code ${arg_PRODUCT_CODE})
      set(scoop_name 64bit)
    else()
      set(zip_file ${arg_ARM64_ZIP})
      set(msi_file ${arg_ARM64_MSI})
      set(product_code ${arg_ARM64_PRODUCT_CODE})
      set(scoop_name arm64)
    endif()
    file(SHA256 ${zip_file} zip_sha256)
    file(SHA256 ${msi_file} msi_sha256)
    get_filename_component(zip ${zip_file} NAME)
    get_filename_component(msi ${msi_file} NAME)
    string(TOUPPER "${zip_sha256}" zip_upper)
    string(TOUPPER "${msi_sha256}" msi_upper)
    string(APPEND installers "- Architecture: ${arch}
  InstallerType: msi
  InstallerUrl: ${arg_URL}${msi}
  InstallerSha256: ${msi_upper}
  Scope: machine
  InstallModes:
  - interactive
  - silent
  - silentWithProgress
  UpgradeBehavior: install
  ProductCode: '{${product_code}}'
  # No DisplayVersion while it equals PackageVersion: a duplicate one makes
  # winget's upgrade detection error-prone, and once one version carries it
  # every later one must.
  AppsAndFeaturesEntries:
  - DisplayName: endsession
    Publisher: ${PUBLISHER}
    ProductCode: '{${product_code}}'
    UpgradeCode: '{${arg_UPGRADE_CODE}}'
    InstallerType: msi
- Architecture: ${arch}
  InstallerType: zip
  NestedInstallerType: portable
  NestedInstallerFiles:
  - RelativeFilePath: endsession.exe
    PortableCommandAlias: endsession
  InstallerUrl: ${arg_URL}${zip}
  InstallerSha256: ${zip_upper}
")
    if(scoop_architectures)
      string(APPEND scoop_architectures ",\n")
    endif()
    string(APPEND scoop_architectures "        \"${scoop_name}\": {
            \"url\": \"${arg_URL}${zip}\",
            \"hash\": \"${zip_sha256}\"
        }")
  endforeach()

  file(REMOVE_RECURSE ${arg_FOLDER}/manifests)
  schema_line(version)
  file(WRITE ${dir}/${id}.yaml "${line}${head}DefaultLocale: en-US\nManifestType: version\n${tail}")

  schema_line(installer)
  file(WRITE ${dir}/${id}.installer.yaml "${line}${head}\
MinimumOSVersion: ${arg_MINIMUM_OS}.0.0
Commands:
- endsession
ReleaseDate: ${release_date}
Installers:
${installers}ManifestType: installer
${tail}")

  set(urls "")
  if(arg_HOMEPAGE)
    string(APPEND urls "PublisherUrl: ${HOMEPAGE}\nPackageUrl: ${HOMEPAGE}\n")
  endif()
  set(license_url "")
  if(arg_LICENSE_URL)
    set(license_url "LicenseUrl: ${LICENSE_URL}\n")
  endif()
  schema_line(defaultLocale)
  file(WRITE ${dir}/${id}.locale.en-US.yaml "${line}${head}\
PackageLocale: en-US
Publisher: ${PUBLISHER}
${urls}PackageName: endsession
License: MIT
${license_url}Copyright: ${COPYRIGHT}
ShortDescription: ${DESCRIPTION}
Description: >-
  A small command-line tool that logs off, shuts down, reboots or powers off
  Windows, optionally forcing applications to close. Its exit status tells
  whether the system accepted the request; a refusal is printed with the
  system's own message.
Moniker: endsession
Tags:
- logoff
- shutdown
- reboot
- poweroff
- session
- command-line
ManifestType: defaultLocale
${tail}")

  # Scoop requires a homepage: without one configured, the release folder.
  set(homepage "${arg_HOMEPAGE}")
  if(homepage STREQUAL "")
    set(homepage "${arg_URL}")
  endif()
  set(license "\"MIT\"")
  if(arg_LICENSE_URL)
    set(license "{\n        \"identifier\": \"MIT\",\n        \"url\": \"${arg_LICENSE_URL}\"\n    }")
  endif()
  string(REPLACE "\\" "\\\\" description "${arg_DESCRIPTION}")
  string(REPLACE "\"" "\\\"" description "${description}")
  file(WRITE ${arg_FOLDER}/endsession.json "{
    \"version\": \"${arg_VERSION}\",
    \"description\": \"${description}\",
    \"homepage\": \"${homepage}\",
    \"license\": ${license},
    \"architecture\": {
${scoop_architectures}
    },
    \"bin\": \"endsession.exe\"
}
")
endfunction()
