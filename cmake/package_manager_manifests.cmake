# The package managers' manifests for a release whose files will be
# published under one https folder, ENDSESSION_RELEASE_URL (read from the
# environment at packaging time, like the signing variables):
#   manifests/e/endsession/endsession/<version>/   winget, schema 1.10.0, as
#       winget's community repository lays it out: the version, installer
#       (the MSI, and the zip as a portable package) and en-US locale files
#   endsession.json                                the Scoop app manifest
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
#   EPOCH <seconds> [HOMEPAGE <url>] [LICENSE_URL <url>])
function(endsession_write_manifests)
  cmake_parse_arguments(PARSE_ARGV 0 arg ""
    "FOLDER;URL;VERSION;ZIP;MSI;PRODUCT_CODE;UPGRADE_CODE;PUBLISHER;COPYRIGHT;DESCRIPTION;MINIMUM_OS;EPOCH;HOMEPAGE;LICENSE_URL" "")
  # Fixed for ever, like the upgrade code: winget knows the package by it.
  set(id endsession.endsession)
  set(schema 1.10.0)
  set(dir ${arg_FOLDER}/manifests/e/endsession/endsession/${arg_VERSION})
  file(SHA256 ${arg_ZIP} zip_sha256)
  file(SHA256 ${arg_MSI} msi_sha256)
  get_filename_component(zip ${arg_ZIP} NAME)
  get_filename_component(msi ${arg_MSI} NAME)
  string(TOUPPER "${zip_sha256}" zip_upper)
  string(TOUPPER "${msi_sha256}" msi_upper)
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
- Architecture: x64
  InstallerType: msi
  InstallerUrl: ${arg_URL}${msi}
  InstallerSha256: ${msi_upper}
  Scope: machine
  InstallModes:
  - interactive
  - silent
  - silentWithProgress
  UpgradeBehavior: install
  ProductCode: '{${arg_PRODUCT_CODE}}'
  # No DisplayVersion while it equals PackageVersion: a duplicate one makes
  # winget's upgrade detection error-prone, and once one version carries it
  # every later one must.
  AppsAndFeaturesEntries:
  - DisplayName: endsession
    Publisher: ${PUBLISHER}
    ProductCode: '{${arg_PRODUCT_CODE}}'
    UpgradeCode: '{${arg_UPGRADE_CODE}}'
    InstallerType: msi
- Architecture: x64
  InstallerType: zip
  NestedInstallerType: portable
  NestedInstallerFiles:
  - RelativeFilePath: endsession.exe
    PortableCommandAlias: endsession
  InstallerUrl: ${arg_URL}${zip}
  InstallerSha256: ${zip_upper}
ManifestType: installer
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
        \"64bit\": {
            \"url\": \"${arg_URL}${zip}\",
            \"hash\": \"${zip_sha256}\"
        }
    },
    \"bin\": \"endsession.exe\"
}
")
endfunction()
