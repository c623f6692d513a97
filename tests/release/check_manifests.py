#!/usr/bin/env python3
"""Checks the winget and Scoop manifests of a release folder written with
ENDSESSION_RELEASE_URL=URL: each one valid against its package manager's
published schema (and no field that schema does not define), and every URL,
hash, product code and upgrade code in them that of this release's own files,
the release date the UTC date of its epoch, the publisher and URLs those it
was configured with, and the SBOM's download location the zip's URL.

Usage: check_manifests.py RELEASE-DIR URL VERSION SCHEMA-DIR EPOCH
                          [publisher=NAME] [homepage=URL] [license_url=URL]
"""
import copy
import datetime
import hashlib
import json
import os
import struct
import subprocess
import sys
import zipfile

import jsonschema
import yaml

release, url, version, schemas, epoch = sys.argv[1:6]
configured = {"publisher": "the endsession developers", "homepage": "", "license_url": ""}
configured.update(argument.split("=", 1) for argument in sys.argv[6:])
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def strict(schema):
    """The schema with every object closed: the published winget schemas let
    any unknown field through, and a misspelt field would go unnoticed."""
    schema = copy.deepcopy(schema)

    def close(node):
        if isinstance(node, dict):
            if "properties" in node and "additionalProperties" not in node:
                node["additionalProperties"] = False
            for value in node.values():
                close(value)
        elif isinstance(node, list):
            for value in node:
                close(value)

    close(schema)
    return schema


def validate(document, schema_file, name):
    with open(os.path.join(schemas, schema_file)) as f:
        validator = jsonschema.Draft7Validator(strict(json.load(f)))
    for error in validator.iter_errors(document):
        failures.append(f"{name}: not valid against its schema at /{'/'.join(map(str, error.absolute_path))}: "
                        f"{error.message}")


class Loader(yaml.SafeLoader):
    """YAML as winget reads it (1.2 core schema): a date stays a string."""


Loader.yaml_implicit_resolvers = {
    first: [(tag, regexp) for tag, regexp in resolvers if tag != "tag:yaml.org,2002:timestamp"]
    for first, resolvers in yaml.SafeLoader.yaml_implicit_resolvers.items()}

zip_name = f"endsession-{version}-win64.zip"
msi_name = f"endsession-{version}-x64.msi"
url = url if url.endswith("/") else url + "/"

# SHA256SUMS covers the files published together, and verifies.
sums = {}
with open(os.path.join(release, "SHA256SUMS")) as f:
    for line in f:
        digest, name = line.rstrip("\n").split("  ", 1)
        sums[name] = digest
folder = f"manifests/e/endsession/endsession/{version}"
names = {
    "version": f"{folder}/endsession.endsession.yaml",
    "installer": f"{folder}/endsession.endsession.installer.yaml",
    "defaultLocale": f"{folder}/endsession.endsession.locale.en-US.yaml",
}
expected_files = {zip_name, msi_name, f"endsession-{version}.spdx.json"}
expect(expected_files <= set(sums) and all(name.startswith("endsession-") and name.endswith(".zip")
                                           for name in set(sums) - expected_files),
       f"SHA256SUMS lists {sorted(sums)}")
for name, digest in sums.items():
    expect(os.path.exists(os.path.join(release, name)) and sha256(os.path.join(release, name)) == digest,
           f"SHA256SUMS does not verify {name}")
shipped = {name: sha256(os.path.join(release, name)) for name in (zip_name, msi_name)}
written = {os.path.relpath(os.path.join(d, n), release)
           for d, _, files in os.walk(os.path.join(release, "manifests")) for n in files}
expect(written == set(names.values()), f"winget folder holds {sorted(written)}")

# The MSI's own codes, and the floor in the shipped executable's PE header.
properties = dict(line.split("\t", 1) for line in subprocess.run(
    ["msiinfo", "export", os.path.join(release, msi_name), "Property"],
    check=True, capture_output=True, text=True).stdout.replace("\r", "").splitlines()[3:])
with zipfile.ZipFile(os.path.join(release, zip_name)) as archive:
    exe = archive.read("endsession.exe")
    copyright_line = next((line for line in archive.read("LICENSE").decode().splitlines()
                           if line.startswith("Copyright")), None)
optional_header = struct.unpack_from("<I", exe, 0x3C)[0] + 24
floor = "%d.%d.0.0" % struct.unpack_from("<HH", exe, optional_header + 40)

manifests = {}
for kind, name in names.items():
    with open(os.path.join(release, name)) as f:
        manifests[kind] = yaml.load(f, Loader)
    validate(manifests[kind], f"winget-1.10.0/manifest.{kind}.1.10.0.json", name)
    document = manifests[kind]
    expect(document.get("ManifestType") == kind and document.get("ManifestVersion") == "1.10.0",
           f"{name}: ManifestType {document.get('ManifestType')}, ManifestVersion {document.get('ManifestVersion')}")
    expect(document.get("PackageIdentifier") == "endsession.endsession" and document.get("PackageVersion") == version,
           f"{name}: PackageIdentifier {document.get('PackageIdentifier')}, PackageVersion {document.get('PackageVersion')}")

installer = manifests["installer"]
expect(installer.get("MinimumOSVersion") == floor, f"MinimumOSVersion {installer.get('MinimumOSVersion')}, PE header {floor}")
expect(installer.get("Commands") == ["endsession"], f"Commands {installer.get('Commands')}")
by_type = {entry.get("InstallerType"): entry for entry in installer.get("Installers", [])}
expect(sorted(by_type) == ["msi", "zip"] and len(installer["Installers"]) == 2, f"installers {sorted(by_type)}")
for kind, name in (("msi", msi_name), ("zip", zip_name)):
    entry = by_type.get(kind, {})
    expect(entry.get("Architecture") == "x64", f"{kind}: architecture {entry.get('Architecture')}")
    expect(entry.get("InstallerUrl") == url + name, f"{kind}: InstallerUrl {entry.get('InstallerUrl')}")
    expect(str(entry.get("InstallerSha256", "")).lower() == shipped[name],
           f"{kind}: InstallerSha256 {entry.get('InstallerSha256')}, the file's {shipped[name]}")
msi = by_type.get("msi", {})
product_code, upgrade_code = properties.get("ProductCode"), properties.get("UpgradeCode")
expect(msi.get("ProductCode") == product_code, f"msi: ProductCode {msi.get('ProductCode')}, MSI {product_code}")
# Per machine, upgraded in place (not uninstalled first), as the MSI is built.
expect(msi.get("Scope") == "machine", f"msi: Scope {msi.get('Scope')}, the MSI installs per machine")
expect(msi.get("UpgradeBehavior") == "install", f"msi: UpgradeBehavior {msi.get('UpgradeBehavior')}, not install")
# The MSI has no UI of its own: msiexec /qn and /passive install it.
expect(msi.get("InstallModes") == ["interactive", "silent", "silentWithProgress"],
       f"msi: InstallModes {msi.get('InstallModes')}")
entries = msi.get("AppsAndFeaturesEntries") or [{}]
expect(entries[0].get("ProductCode") == product_code,
       f"msi: Apps and Features ProductCode {entries[0].get('ProductCode')}, MSI {product_code}")
expect(entries[0].get("UpgradeCode") == upgrade_code,
       f"msi: Apps and Features UpgradeCode {entries[0].get('UpgradeCode')}, MSI {upgrade_code}")
expect("DisplayVersion" not in entries[0], f"msi: Apps and Features repeats the version: {entries[0]}")
expect(entries[0].get("Publisher") == configured["publisher"], f"msi: Apps and Features publisher {entries[0]}")
release_date = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime("%Y-%m-%d")
expect(installer.get("ReleaseDate") == release_date, f"ReleaseDate {installer.get('ReleaseDate')}, epoch's {release_date}")
portable = by_type.get("zip", {})
expect(portable.get("NestedInstallerType") == "portable" and portable.get("NestedInstallerFiles") ==
       [{"RelativeFilePath": "endsession.exe", "PortableCommandAlias": "endsession"}],
       f"zip: nested {portable.get('NestedInstallerFiles')}")
locale = manifests["defaultLocale"]
expect(locale.get("License") == "MIT" and locale.get("Moniker") == "endsession" and locale.get("PackageName") == "endsession",
       f"defaultLocale: License {locale.get('License')}, Moniker {locale.get('Moniker')}, "
       f"PackageName {locale.get('PackageName')}")
expect(manifests["version"].get("DefaultLocale") == "en-US", f"version: DefaultLocale {manifests['version'].get('DefaultLocale')}")
homepage, license_url = configured["homepage"] or None, configured["license_url"] or None
expect(locale.get("Publisher") == configured["publisher"], f"defaultLocale: Publisher {locale.get('Publisher')}")
expect(copyright_line is not None and locale.get("Copyright") == copyright_line,
       f"defaultLocale: Copyright {locale.get('Copyright')}, the licence's {copyright_line}")
expect(locale.get("PublisherUrl") == homepage and locale.get("PackageUrl") == homepage,
       f"defaultLocale: PublisherUrl {locale.get('PublisherUrl')}, PackageUrl {locale.get('PackageUrl')}, home page {homepage}")
expect(locale.get("LicenseUrl") == license_url, f"defaultLocale: LicenseUrl {locale.get('LicenseUrl')}, licence {license_url}")

with open(os.path.join(release, "endsession.json")) as f:
    scoop = json.load(f)
validate(scoop, "scoop/manifest.schema.json", "endsession.json")
app = scoop.get("architecture", {}).get("64bit", {})
expect(scoop.get("version") == version, f"scoop: version {scoop.get('version')}")
expect(app.get("url") == url + zip_name and app.get("hash") == shipped[zip_name], f"scoop: 64bit url {app.get('url')}, hash {app.get('hash')}")
expect(scoop.get("bin") == "endsession.exe", f"scoop: bin {scoop.get('bin')}")
expect(scoop.get("homepage") == (homepage or url), f"scoop: homepage {scoop.get('homepage')}")
expect(scoop.get("license") == ({"identifier": "MIT", "url": license_url} if license_url else "MIT"),
       f"scoop: license {scoop.get('license')}")

# The SBOM names the zip's URL as where endsession is downloaded.
with open(os.path.join(release, f"endsession-{version}.spdx.json")) as f:
    locations = [p["downloadLocation"] for p in json.load(f)["packages"] if p["name"] == "endsession"]
expect(locations == [url + zip_name], f"SBOM download location {locations}")

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if failures:
    sys.exit(1)
print(f"manifests valid: winget endsession.endsession {version}, Scoop endsession.json; "
      f"zip {shipped[zip_name]}, msi {shipped[msi_name]}, product code {product_code}")
