#!/usr/bin/env python3
"""Checks the winget and Scoop manifests of a release folder written with
ENDSESSION_RELEASE_URL=URL: each one valid against its package manager's
published schema (and no field that schema does not define), and every URL,
hash, product code and upgrade code in them that of this release's own files,
the release date the UTC date of its epoch, the publisher and URLs those it
was configured with, and the SBOM's download location the zip's URL. Each
architecture the release ships (architectures=x64,arm64; x64 alone unless
given) has its MSI and zip in the winget installer manifest and its zip in
Scoop's, and no other.

Usage: check_manifests.py RELEASE-DIR URL VERSION SCHEMA-DIR EPOCH
                          [publisher=NAME] [homepage=URL] [license_url=URL]
                          [architectures=x64,arm64]
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
configured = {"publisher": "the endsession developers", "homepage": "", "license_url": "", "architectures": "x64"}
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
# Per architecture: its files, its name in winget and in Scoop, the prefix of
# its messages.
ARCHITECTURES = {
    "x64": {"zip": zip_name, "msi": msi_name, "winget": "x64", "scoop": "64bit", "say": ""},
    "arm64": {"zip": f"endsession-{version}-arm64.zip", "msi": f"endsession-{version}-arm64.msi",
              "winget": "arm64", "scoop": "arm64", "say": "arm64 "},
}
architectures = [ARCHITECTURES[name] for name in configured["architectures"].split(",")]

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
expected_files = {f"endsession-{version}.spdx.json"} | {a[kind] for a in architectures for kind in ("zip", "msi")}
expect(expected_files <= set(sums) and all(name.startswith("endsession-") and name.endswith(".zip")
                                           for name in set(sums) - expected_files),
       f"SHA256SUMS lists {sorted(sums)}")
for name, digest in sums.items():
    expect(os.path.exists(os.path.join(release, name)) and sha256(os.path.join(release, name)) == digest,
           f"SHA256SUMS does not verify {name}")
shipped = {a[kind]: sha256(os.path.join(release, a[kind])) if os.path.exists(os.path.join(release, a[kind])) else None
           for a in architectures for kind in ("zip", "msi")}
written = {os.path.relpath(os.path.join(d, n), release)
           for d, _, files in os.walk(os.path.join(release, "manifests")) for n in files}
expect(written == set(names.values()), f"winget folder holds {sorted(written)}")

# Each MSI's own codes, and the floor in each shipped executable's PE header.
for a in architectures:
    a["properties"] = dict(line.split("\t", 1) for line in subprocess.run(
        ["msiinfo", "export", os.path.join(release, a["msi"]), "Property"],
        check=True, capture_output=True, text=True).stdout.replace("\r", "").splitlines()[3:])
    with zipfile.ZipFile(os.path.join(release, a["zip"])) as archive:
        exe = archive.read("endsession.exe")
        copyright_line = next((line for line in archive.read("LICENSE").decode().splitlines()
                               if line.startswith("Copyright")), None)
    optional_header = struct.unpack_from("<I", exe, 0x3C)[0] + 24
    a["floor"] = "%d.%d.0.0" % struct.unpack_from("<HH", exe, optional_header + 40)
floor = architectures[0]["floor"]

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
expect(all(a["floor"] == floor for a in architectures), f"PE header floors {[a['floor'] for a in architectures]}")
expect(installer.get("MinimumOSVersion") == floor, f"MinimumOSVersion {installer.get('MinimumOSVersion')}, PE header {floor}")
expect(installer.get("Commands") == ["endsession"], f"Commands {installer.get('Commands')}")
by_winget = {a["winget"]: a for a in architectures}
for entry in installer.get("Installers", []):
    if entry.get("Architecture") not in by_winget:
        failures.append(f"{entry.get('InstallerType')}: architecture {entry.get('Architecture')}")
for a in architectures:
    say = a["say"]
    listed = [entry for entry in installer.get("Installers", []) if entry.get("Architecture") == a["winget"]]
    by_type = {entry.get("InstallerType"): entry for entry in listed}
    types = sorted(entry.get("InstallerType") for entry in listed)
    expect(types == ["msi", "zip"], f"{say}installers {types}")
    for kind in ("msi", "zip"):
        entry, name = by_type.get(kind, {}), a[kind]
        expect(entry.get("InstallerUrl") == url + name, f"{say}{kind}: InstallerUrl {entry.get('InstallerUrl')}")
        expect(str(entry.get("InstallerSha256", "")).lower() == shipped[name],
               f"{say}{kind}: InstallerSha256 {entry.get('InstallerSha256')}, the file's {shipped[name]}")
    msi = by_type.get("msi", {})
    product_code, upgrade_code = a["properties"].get("ProductCode"), a["properties"].get("UpgradeCode")
    expect(msi.get("ProductCode") == product_code, f"{say}msi: ProductCode {msi.get('ProductCode')}, MSI {product_code}")
    # Per machine, upgraded in place (not uninstalled first), as the MSI is built.
    expect(msi.get("Scope") == "machine", f"{say}msi: Scope {msi.get('Scope')}, the MSI installs per machine")
    expect(msi.get("UpgradeBehavior") == "install", f"{say}msi: UpgradeBehavior {msi.get('UpgradeBehavior')}, not install")
    # The MSI has no UI of its own: msiexec /qn and /passive install it.
    expect(msi.get("InstallModes") == ["interactive", "silent", "silentWithProgress"],
           f"{say}msi: InstallModes {msi.get('InstallModes')}")
    entries = msi.get("AppsAndFeaturesEntries") or [{}]
    expect(entries[0].get("ProductCode") == product_code,
           f"{say}msi: Apps and Features ProductCode {entries[0].get('ProductCode')}, MSI {product_code}")
    expect(entries[0].get("UpgradeCode") == upgrade_code,
           f"{say}msi: Apps and Features UpgradeCode {entries[0].get('UpgradeCode')}, MSI {upgrade_code}")
    expect("DisplayVersion" not in entries[0], f"{say}msi: Apps and Features repeats the version: {entries[0]}")
    expect(entries[0].get("Publisher") == configured["publisher"], f"{say}msi: Apps and Features publisher {entries[0]}")
    portable = by_type.get("zip", {})
    expect(portable.get("NestedInstallerType") == "portable" and portable.get("NestedInstallerFiles") ==
           [{"RelativeFilePath": "endsession.exe", "PortableCommandAlias": "endsession"}],
           f"{say}zip: nested {portable.get('NestedInstallerFiles')}")
product_code = architectures[0]["properties"].get("ProductCode")
release_date = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime("%Y-%m-%d")
expect(installer.get("ReleaseDate") == release_date, f"ReleaseDate {installer.get('ReleaseDate')}, epoch's {release_date}")
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
expect(sorted(scoop.get("architecture", {})) == sorted(a["scoop"] for a in architectures),
       f"scoop: architectures {sorted(scoop.get('architecture', {}))}")
for a in architectures:
    app = scoop.get("architecture", {}).get(a["scoop"], {})
    expect(app.get("url") == url + a["zip"] and app.get("hash") == shipped[a["zip"]],
           f"scoop: {a['scoop']} url {app.get('url')}, hash {app.get('hash')}, not the zip's")
expect(scoop.get("version") == version, f"scoop: version {scoop.get('version')}")
expect(scoop.get("bin") == "endsession.exe", f"scoop: bin {scoop.get('bin')}")
expect(scoop.get("homepage") == (homepage or url), f"scoop: homepage {scoop.get('homepage')}")
expect(scoop.get("license") == ({"identifier": "MIT", "url": license_url} if license_url else "MIT"),
       f"scoop: license {scoop.get('license')}")

# The SBOM names each zip's URL as where its package is downloaded.
with open(os.path.join(release, f"endsession-{version}.spdx.json")) as f:
    packages = json.load(f)["packages"]
for a, package in zip(architectures, ("endsession", "endsession-arm64")):
    locations = [p["downloadLocation"] for p in packages if p["name"] == package]
    expect(locations == [url + a["zip"]], f"{a['say']}SBOM download location {locations}")

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if failures:
    sys.exit(1)
print(f"manifests valid: winget endsession.endsession {version}, Scoop endsession.json; "
      f"{', '.join(f'{a[kind]} {shipped[a[kind]]}' for a in architectures for kind in ('zip', 'msi'))}, "
      f"product code {product_code}")
