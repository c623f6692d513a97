#!/usr/bin/env python3
"""The README and docs/ as a reader meets them: every relative link names a
file that exists and, with #anchor, a heading that file has (as the hosting
site makes anchors: lower case, punctuation dropped, spaces as hyphens,
repeats numbered); and the README's two set-up commands are the ones CI and
the set-up scripts use. Copies with planted broken links (a heading and a
file that do not exist) must be caught, so the check is seen to check.

Usage: check_docs.py SOURCE-DIR
"""
import glob
import os
import re
import sys

source = sys.argv[1]
pages = [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs", "*.md")))


def prose(text):
    """The text outside fenced code blocks and inline code."""
    text = re.sub(r"^(```|~~~).*?^\1[^\n]*$", "", text, flags=re.S | re.M)
    return re.sub(r"`[^`\n]*`", "", text)


def anchors(path):
    seen, found = {}, set()
    for line in prose(open(path, encoding="utf-8").read()).splitlines():
        heading = re.match(r"^#{1,6} +(.*?) *#*$", line)
        if not heading:
            continue
        slug = re.sub(r"[^\w\- ]", "", heading.group(1).lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        found.add(slug if count == 0 else f"{slug}-{count}")
    return found


def broken_links(path, text):
    problems = []
    for target in re.findall(r"\[[^\]]*\]\(([^)\s]+)\)", prose(text)):
        if re.match(r"^[a-z]+:", target):
            continue  # a URL: not checked here
        file_part, _, anchor = target.partition("#")
        linked = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
        where = os.path.relpath(path, source)
        if not os.path.exists(linked):
            problems.append(f"{where}: link to {target}: no such file")
        elif anchor and (not linked.endswith(".md") or anchor not in anchors(linked)):
            problems.append(f"{where}: link to {target}: no such heading")
    return problems


failures = []
for page in pages:
    failures += broken_links(page, open(page, encoding="utf-8").read())

# Planted broken links, each one step from a good one, in a copy of the
# README: a heading that does not exist in a page that does, and a page
# that does not exist in a folder that does.
readme = os.path.join(source, "README.md")
for target, problem in (("docs/contexts.md#no-such-heading", "no such heading"), ("docs/missing.md", "no such file")):
    planted = open(readme, encoding="utf-8").read() + f"\n[planted]({target})\n"
    if f"README.md: link to {target}: {problem}" not in broken_links(readme, planted):
        failures.append(f"a planted link to {target} was not caught as '{problem}'")

# The README's set-up commands: the first command of its "Build and test"
# code block is the try script, the second what CI runs.
build = re.search(r"^## Build and test\n(.*?)^## ", open(readme, encoding="utf-8").read(), re.S | re.M)
block = re.search(r"```sh\n(.*?)```", build.group(1), re.S) if build else None
commands = [line.split("#")[0].strip() for line in block.group(1).splitlines()] if block else []
ci = open(os.path.join(source, ".ci", "run")).read()
if commands != ["scripts/try-under-wine", "scripts/test-all"]:
    failures.append(f"the README's set-up commands are {commands}")
elif not re.search(r"^exec scripts/test-all$", ci, re.M):
    failures.append("CI does not run the README's test command scripts/test-all")
for command in commands:
    script = os.path.join(source, command)
    if not os.access(script, os.X_OK) or "scripts/install-deps" not in open(script).read():
        failures.append(f"{command} is not an executable script that installs what it needs")

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if failures:
    sys.exit(1)
print(f"links and anchors resolve in {len(pages)} pages; the planted broken links are caught; "
      f"the set-up commands are {' and '.join(commands)}")
