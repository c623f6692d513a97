#!/usr/bin/env python3
"""The release job's upload covers every file a release's SHA256SUMS lists
(and SHA256SUMS itself): the Windows jobs verify each listed file before
anything else. The Windows jobs upload what each context printed
(observed-<os>). A copy of the workflow without the SBOM's pattern must be
found to miss it, and one without the observed upload to lack it, so the
check is seen to check.

Usage: check_workflow_upload.py WORKFLOW SHA256SUMS
"""
import fnmatch
import sys

import yaml

workflow_file, sums_file = sys.argv[1:3]
with open(sums_file) as f:
    listed = [line.rstrip("\n").split("  ", 1)[1] for line in f if line.strip()] + ["SHA256SUMS"]


def missed(workflow):
    """The listed names no upload pattern of the release job matches."""
    patterns = []
    for step in workflow["jobs"]["release"]["steps"]:
        if str(step.get("uses", "")).startswith("actions/upload-artifact@"):
            patterns += [p.strip().rsplit("/", 1)[-1] for p in step["with"]["path"].splitlines() if p.strip()]
    return [name for name in listed if not any(fnmatch.fnmatchcase(name, p) for p in patterns)]


with open(workflow_file) as f:
    text = f.read()
failures = [f"the upload misses {name}" for name in missed(yaml.safe_load(text))]


def uploads_observed(workflow):
    return any(str(step.get("uses", "")).startswith("actions/upload-artifact@") and
               step["with"].get("name") == "observed-${{ matrix.os }}" and
               step["with"].get("path") == "observed/${{ matrix.os }}/*.txt"
               for step in workflow["jobs"]["windows"]["steps"])


if not uploads_observed(yaml.safe_load(text)):
    failures.append("the Windows jobs do not upload observed/<os>/*.txt as observed-<os>")
if uploads_observed(yaml.safe_load(text.replace("name: observed-${{ matrix.os }}", "name: observations"))):
    failures.append("a copy without the observed upload was not found to lack it")
planted = text.replace("            build/release/endsession-*.spdx.json\n", "")
sbom = [name for name in listed if name.endswith(".spdx.json")]
if planted == text or missed(yaml.safe_load(planted)) != sbom:
    failures.append(f"a copy without the SBOM's pattern was not found to miss {sbom}")
for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if failures:
    sys.exit(1)
print(f"the upload covers {', '.join(listed)}; a copy without the SBOM's pattern misses {sbom[0]}")
