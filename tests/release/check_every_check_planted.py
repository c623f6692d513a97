#!/usr/bin/env python3
"""Every check of the release checkers has a planted fault: each failure
message they can print (`fail "..."` and `echo "FAIL: ..."` in the shell
checkers, `expect(..., "...")` and `failures.append(...)` in the Python
ones, `fail(...)` in the CMake ones) is named by a row of
planted_faults.sh's table, or stands on the short list below with the
reason it cannot be planted there.

A row names the message of its checker that shares the longest run of
literal text (not what a variable fills in) with what the row must say:
at least 10 characters, or all of it. A row that ties between two messages,
or names none, is a fault of the table too.

Each message is also named by a "near" row -- a value almost right, one
character, element, algorithm or file away -- not only by "gone" rows that
take a thing away: a comparison weakened to a test of a part (a substring,
"contains", one of two conditions) still catches a removal. A message that
compares no value stands on PRESENCE_ONLY with the reason.

The release checkers are tests/release/check_* but those listed in
NOT_RELEASE_CHECKERS. Reads sources only: seconds, no build.

Usage: check_every_check_planted.py SOURCE-DIR
"""
import ast
import os
import re
import shutil
import sys
import tempfile

source = sys.argv[1]
release_tests = os.path.join(source, "tests", "release")

# Checkers of something other than a release's files; each carries its own
# planted faults inside.
NOT_RELEASE_CHECKERS = {
    "check_docs.py": "the README's and docs' links and set-up commands, not a release",
    "check_windows_lane.py": "the Windows lane's scripts and workflow; plants its own faults",
    "check_workflow_upload.py": "the workflow's upload list; plants its own fault",
    "check_every_check_planted.py": "this test",
}

# The short list: (checker, literal text of the message) -> why no row of
# the table can plant it.
SHORT_LIST = {
    ("check_package.sh", "manifests without ENDSESSION_RELEASE_URL"):
        "what a cpack run without the URL writes, not a release's files: planting it means other packaging code",
    ("check_package.sh", "no word of the missing URL"):
        "what a cpack run without the URL prints, not a release's files",
    ("check_package.sh", "no repackaged MSI"):
        "the check's own second MSI not being made: a fault of the check's set-up, not of a release",
    ("check_package.sh", "the repackaged MSI has the same PATH row"):
        "that the check's own second MSI differs: a fault of the check's set-up, not of a release",
    ("check_msi.sh", "no MSI platform for "):
        "an architecture the caller names that no release has: a fault of the caller, not of a release's files",
    ("check_package.sh", "two different MSIs share the package code"):
        "the package code of two MSIs the packaging code makes: one release holds one MSI",
}

# Messages that test only that a thing is there, with no value of it to be
# almost right: (checker, literal text) -> why.
PRESENCE_ONLY = {
    ("check_sbom.cmake", "the SBOM has no "):
        "a key the document must have; each value under it is compared, with its own near miss, by the checks after",
    ("check_executable.sh", "functions of the tool's own in "):
        "a floor on what the link map shows, so that the unwind check has functions to check; no value is compared",
}

# --- failure messages, as lists of literal fragments -------------------------

HOLE = None  # where a variable or command's output goes


def shell_string(text, start):
    """The double-quoted string opening at text[start]: (end, parts)."""
    parts, literal, i = [], "", start + 1
    while i < len(text):
        c = text[i]
        if c == "\\":
            literal += text[i + 1]
            i += 2
        elif c == '"':
            parts.append(literal)
            return i + 1, parts
        elif c == "$":
            parts.append(literal)
            literal = ""
            parts.append(HOLE)
            if text.startswith("$((", i) or text.startswith("$(", i):
                i = shell_substitution(text, i + 2)
            elif text.startswith("${", i):
                i = text.index("}", i) + 1
            else:
                i += 1 + len(re.match(r"[A-Za-z_][A-Za-z0-9_]*|[0-9#?@*$!-]", text[i + 1:]).group(0))
        else:
            literal += c
            i += 1
    raise ValueError("unterminated string")


def shell_substitution(text, i):
    """Past the ')' closing a $( ... ) whose body starts at text[i]."""
    depth = 1
    while depth:
        c = text[i]
        if c == '"':
            i = shell_string(text, i)[0]
            continue
        if c == "'":
            i = text.index("'", i + 1)
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        i += 1
    return i


def shell_messages(text):
    for match in re.finditer(r'(?<![\w-])(?:fail|echo) "', text):
        _, parts = shell_string(text, match.end() - 1)
        if match.group(0).startswith("echo"):
            if not parts or parts[0] is HOLE or not parts[0].startswith("FAIL: "):
                continue
            parts[0] = parts[0][len("FAIL: "):]
        yield text.count("\n", 0, match.start()) + 1, parts


def python_messages(text):
    def fragments(node):
        if isinstance(node, ast.Constant) and isinstance(node.value, str):
            return [node.value]
        if isinstance(node, ast.JoinedStr):
            return [value.value if isinstance(value, ast.Constant) else HOLE for value in node.values]
        return [HOLE]

    for node in ast.walk(ast.parse(text)):
        if not isinstance(node, ast.Call):
            continue
        function = node.func
        if isinstance(function, ast.Name) and function.id == "expect" and len(node.args) == 2:
            yield node.lineno, fragments(node.args[1])
        elif (isinstance(function, ast.Attribute) and function.attr == "append" and
              isinstance(function.value, ast.Name) and function.value.id == "failures"):
            yield node.lineno, fragments(node.args[0])


def cmake_messages(text):
    for match in re.finditer(r'(?<![\w(])fail\("((?:[^"\\]|\\.)*)"\)', text):
        parts = []
        for piece in re.split(r"(\$\{[^}]*\})", match.group(1)):
            parts.append(HOLE if piece.startswith("${") else piece.replace('\\"', '"'))
        yield text.count("\n", 0, match.start()) + 1, parts


def delegated(lines, line):
    """The release checker the statement ending at this line runs, if any: its
    failure then only says that checker failed, and that checker's own
    messages are planted."""
    start = line - 1
    while start > 0 and re.search(r"(\\|\|\||&&)\s*$", lines[start - 1]):
        start -= 1
    match = re.search(r"\b(check_\w+\.(?:sh|py|cmake))\b", "\n".join(lines[start:line]))
    return match.group(1) if match else None


def messages_of(folder, name, delegations):
    with open(os.path.join(folder, name)) as f:
        text = f.read()
    reader = {".sh": shell_messages, ".py": python_messages, ".cmake": cmake_messages}[os.path.splitext(name)[1]]
    lines, found = text.splitlines(), []
    for line, parts in reader(text):
        parts = [p for p in parts if p is HOLE or p.strip()]
        # fail's own definition, or expect's: no text of a check's own.
        if all(p is HOLE for p in parts):
            continue
        other = delegated(lines, line)
        if other and other != name:
            delegations.append((name, line, other))
            continue
        found.append((line, parts))
    return found


def shown(parts):
    return "".join("…" if p is HOLE else p for p in parts)


def shared_run(says, parts):
    """The longest run of says's text found in one literal fragment."""
    best = 0
    for fragment in parts:
        if fragment is HOLE:
            continue
        for start in range(len(says)):
            for end in range(len(says), start + best, -1):
                if says[start:end] in fragment:
                    best = end - start
                    break
    return best


# --- the audit ----------------------------------------------------------------

def audit(folder):
    """What is wrong with the planted-faults table of the checkers in folder:
    (failures, counts)."""
    failures, delegations = [], []
    fail = failures.append
    with open(os.path.join(folder, "planted_faults.sh")) as f:
        planted = f.read()
    checker_files = dict(re.findall(r"^(check_\w+)\(\) \{[^}]*?\$checks/(check_\w+\.\w+)", planted, re.M))
    table = re.search(r"^faults=\(\n(.*?)^\)", planted, re.M | re.S).group(1)
    rows = [line.strip()[1:].split("|", 4)[:4] for line in table.splitlines() if line.strip()]

    checkers = sorted(n for n in os.listdir(folder) if n.startswith("check_") and n not in NOT_RELEASE_CHECKERS)
    for name in NOT_RELEASE_CHECKERS:
        if not os.path.exists(os.path.join(folder, name)):
            fail(f"{name} is listed as no release checker, and there is no such file")
    messages = {name: messages_of(folder, name, delegations) for name in checkers}
    for name in checkers:
        if not messages[name]:
            fail(f"{name}: no failure message found: a checker whose messages this test cannot read")

    named, near = set(), set()
    for kind, row, checker, says in rows:
        if kind not in ("near", "gone"):
            fail(f"row '{row}': kind '{kind}' is neither near nor gone")
        file = checker_files.get(checker)
        if file is None:
            fail(f"row '{row}': {checker} is not a checker of the table")
            continue
        scores = [(shared_run(says, parts), index) for index, (_, parts) in enumerate(messages.get(file, []))]
        top = max((score for score, _ in scores), default=0)
        best = [index for score, index in scores if score == top]
        # 10 characters, or all of what the row says, or a whole fragment of a short message.
        needed = min([len(says), 10] + [max(len(p) for p in messages[file][i][1] if p is not HOLE) for i in best])
        if top == 0 or top < needed:
            fail(f"row '{row}': '{says}' is no literal text of a {file} message")
        elif len(best) > 1:
            fail(f"row '{row}': '{says}' names {len(best)} {file} messages alike: "
                 + "; ".join(shown(messages[file][i][1]) for i in best))
        else:
            named.add((file, best[0]))
            if kind == "near":
                near.add((file, best[0]))

    def listed_in(short_list, title):
        found = set()
        for (file, text), reason in short_list.items():
            matches = [i for i, (_, parts) in enumerate(messages.get(file, [])) if text in shown(parts)]
            if len(matches) != 1:
                fail(f"{title}: '{text}' is in {len(matches)} messages of {file}, not one")
            else:
                found.add((file, matches[0]))
        return found

    listed = listed_in(SHORT_LIST, "short list")
    presence = listed_in(PRESENCE_ONLY, "presence list")
    for file, line, other in delegations:
        if other not in messages:
            fail(f"{file}:{line}: runs {other}, which is no release checker of this test")

    for file in checkers:
        for index, (line, parts) in enumerate(messages[file]):
            if (file, index) not in named and (file, index) not in listed:
                fail(f"{file}:{line}: no planted fault names \"{shown(parts)}\"")
            elif (file, index) in named and (file, index) in listed:
                fail(f"{file}:{line}: \"{shown(parts)}\" is planted and on the short list")
            elif (file, index) in named and (file, index) not in near and (file, index) not in presence:
                fail(f"{file}:{line}: no near miss planted for \"{shown(parts)}\", only a removal")
            elif (file, index) in near and (file, index) in presence:
                fail(f"{file}:{line}: \"{shown(parts)}\" has a near miss and is on the presence list")
    total = sum(len(m) for m in messages.values())
    return failures, (f"{total} failure messages in {len(checkers)} release checkers: "
                      f"{len(named)} planted ({len(near)} with a near miss, {len(presence)} presence only), "
                      f"{len(listed)} on the short list")


failures, counts = audit(release_tests)
for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
print(counts)

# The audit is seen to audit: in copies of the folder, a check added to a
# checker without a row, and a row taken out of the table, are each found.
def copy_with(edit_file, edit):
    folder = tempfile.mkdtemp()
    for name in os.listdir(release_tests):
        if os.path.isfile(os.path.join(release_tests, name)):
            shutil.copy(os.path.join(release_tests, name), folder)
    with open(os.path.join(folder, edit_file)) as f:
        text = f.read()
    with open(os.path.join(folder, edit_file), "w") as f:
        f.write(edit(text))
    return folder


omissions = (
    ("check_msi.sh", lambda text: text.replace('[ "$failures" -eq 0 ] || exit 1',
                                                '[ -n "$msi" ] || fail "MSI not named"\n[ "$failures" -eq 0 ] || exit 1'),
     'no planted fault names "MSI not named"'),
    ("planted_faults.sh", lambda text: re.sub(r'\n  "near\|Scoop bin of another name\|[^\n]*', "", text),
     'no planted fault names "scoop: bin …"'),
    ("planted_faults.sh", lambda text: re.sub(r'\n  "near\|MSI ProductVersion with a character appended\|[^\n]*', "",
                                              text),
     'no near miss planted for "MSI property missing: …", only a removal'),
)
for edit_file, edit, expected in omissions:
    folder = copy_with(edit_file, edit)
    found, _ = audit(folder)
    shutil.rmtree(folder)
    if not any(expected in line for line in found):
        failures.append(f"a copy with {edit_file} changed: not found ({expected}); found {found}")
        print("FAIL:", failures[-1], file=sys.stderr)
    else:
        print(f"seen to audit: {expected}")
sys.exit(1 if failures else 0)
