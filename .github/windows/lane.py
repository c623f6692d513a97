#!/usr/bin/env python3
"""What the Windows lane computes, kept out of its YAML so that the suite
can run it here on saved outputs (tests/release/check_windows_lane.py).

  lane.py unpack RELEASE-DIR KIT-DIR
      verifies every file SHA256SUMS lists, unpacks the tool's zip and the
      kit's zip into KIT-DIR and prints ENDSESSION_VERSION=<version> (for
      $GITHUB_ENV); exit 1 on a mismatch or a missing file.
  lane.py compare CONTEXT OBSERVED-FILE
      fails (exit 1) when a selftest in OBSERVED-FILE failed or is missing,
      when a log-off case was skipped where the kit owns its job, or when the
      call `context` derives differs from expected-calls.tsv.
  lane.py summary OBSERVED-DIR
      a Markdown table of the contexts observed there, for
      $GITHUB_STEP_SUMMARY.

OBSERVED-FILE, as the lane writes it: "== context" and the output of
`endsession-check context`; for each selftest run "== selftest ARGS", its
output and "== status N"; or a single "== not started: REASON".
"""
import hashlib
import os
import re
import sys
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
table_file = os.path.join(here, "expected-calls.tsv")

# The jobs in which the kit uses a job of its own: a log-off must be checked.
own_job_states = ("none", "silent breakaway", "breakaway allowed")


def read_table(path=table_file):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            context, how, row, logoff, reboot, not_started = line.rstrip("\n").split("\t")
            rows.append({"context": context, "how": how, "row": row, "/l": logoff, "/r /f": reboot,
                         "not started": not_started})
    return rows


def parse(path):
    """The observed file: its context lines (key: value), its selftest runs
    ([args, lines, status]) and, for a context that never ran, the reason."""
    observed = {"context": {}, "calls": {}, "selftests": [], "not started": None}
    section = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith("== not started:"):
                observed["not started"] = line[len("== not started:"):].strip()
            elif line == "== context":
                section = "context"
            elif line.startswith("== selftest"):
                section = "selftest"
                observed["selftests"].append({"args": line[len("== selftest"):].strip(), "lines": [], "status": None})
            elif line.startswith("== status "):
                if observed["selftests"]:
                    observed["selftests"][-1]["status"] = int(line.split()[2])
                section = None
            elif section == "context":
                call = re.match(r"^endsession (/\S+(?: /f)?)\s+(.*)$", line)
                if call:
                    observed["calls"][call.group(1)] = call.group(2)
                elif ": " in line:
                    key, value = line.split(": ", 1)
                    observed["context"].setdefault(key, value)
            elif section == "selftest":
                observed["selftests"][-1]["lines"].append(line)
    return observed


def call_kind(text):
    """What a context line's call is, in the table's words."""
    if text is None:
        return "missing"
    if text.startswith("refused with 1459"):
        return "refused (1459)"
    return text.split("(", 1)[0]


def closing_line(selftest):
    return selftest["lines"][-1] if selftest["lines"] else ""


def problems(context, observed, row):
    if observed["not started"] is not None:
        return [] if row["not started"] == "warn" else [f"{context} did not start: {observed['not started']}"]
    found = []
    if not observed["context"]:
        found.append(f"{context}: no output of endsession-check context")
    if not observed["selftests"]:
        found.append(f"{context}: no output of endsession-check selftest")
    job = observed["context"].get("job", "")
    for selftest in observed["selftests"]:
        name = f"{context}: selftest {selftest['args']}".rstrip()
        counts = re.match(r"^(\d+) passed, (\d+) failed, (\d+) skipped", closing_line(selftest))
        if selftest["status"] != 0 or not counts or counts.group(2) != "0":
            found.append(f"{name}: status {selftest['status']}, '{closing_line(selftest)}'")
        elif counts.group(3) != "0" and job in own_job_states:
            found.append(f"{name}: {counts.group(3)} skipped in job '{job}', where the kit owns its job")
    for operation in ("/l", "/r /f"):
        want, got = row[operation], call_kind(observed["calls"].get(operation))
        if want != "recorded" and got != want:
            found.append(f"{context}: endsession {operation}: context derives {got}, expected {want}")
    return found


def compare(context, path):
    rows = {row["context"]: row for row in read_table()}
    if context not in rows:
        print(f"FAIL: no context {context} in {table_file}", file=sys.stderr)
        return 1
    observed = parse(path)
    found = problems(context, observed, rows[context])
    for problem in found:
        print("FAIL:", problem, file=sys.stderr)
    if observed["not started"] is not None and not found:
        print(f"::warning::{context} did not start: {observed['not started']}")
    elif not found:
        print(f"{context}: as expected ({rows[context]['row']})")
    return 1 if found else 0


def cell(text):
    return text.replace("|", "\\|") if text else "-"


def summary(directory):
    lines = ["| context | account | station | job | interactive user | `/l` | `/r /f` | expected | selftest |",
             "|---|---|---|---|---|---|---|---|---|"]
    for row in read_table():
        path = os.path.join(directory, row["context"] + ".txt")
        if not os.path.exists(path):
            lines.append(f"| {row['context']} | not observed | | | | | | | |")
            continue
        observed = parse(path)
        if observed["not started"] is not None:
            lines.append(f"| {row['context']} | did not start: {cell(observed['not started'])} | | | | | | | |")
            continue
        c = observed["context"]
        if row["/l"] == "recorded":  # which row context put it in
            expected = "recorded: " + ("the interactive user, ExitWindowsEx (the desk's rows)"
                                       if c.get("interactive user") == "yes"
                                       else "not the interactive user, InitiateShutdownW and /l refused")
        else:
            expected = "; ".join(f"{op}: {row[op]}" for op in ("/l", "/r /f")) + f" ({row['row']})"
        if c.get("SeShutdownPrivilege") == "not held":
            expected += "; /r /f refused by endsession: no SeShutdownPrivilege"
        verdict = "ok" if not problems(row["context"], observed, row) else "**differs**"
        selftests = "; ".join(f"{s['args'] or 'selftest'}: {closing_line(s)}" for s in observed["selftests"])
        lines.append("| " + " | ".join(cell(x) for x in (
            row["context"], c.get("token account"), c.get("window station"), c.get("job"),
            c.get("interactive user"), observed["calls"].get("/l"), observed["calls"].get("/r /f"),
            f"{expected}: {verdict}", selftests)) + " |")
    return "\n".join(lines) + "\n"


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def unpack(release, kit):
    sums = os.path.join(release, "SHA256SUMS")
    if not os.path.exists(sums):
        print("FAIL: no SHA256SUMS", file=sys.stderr)
        return 1
    failures, names = 0, []
    with open(sums) as f:
        for line in f:
            expected, name = line.rstrip("\n").split("  ", 1)
            names.append(name)
            path = os.path.join(release, name)
            if not os.path.exists(path) or digest(path) != expected:
                print(f"FAIL: {name} does not match SHA256SUMS", file=sys.stderr)
                failures += 1
    msi = [n for n in names if re.match(r"^endsession-.*-x64\.msi$", n)]
    if failures or len(msi) != 1:
        return 1
    version = msi[0][len("endsession-"):-len("-x64.msi")]
    for name in (f"endsession-{version}-win64.zip", f"endsession-{version}-check-win64.zip"):
        if name not in names:
            print(f"FAIL: SHA256SUMS lists no {name}", file=sys.stderr)
            return 1
        with zipfile.ZipFile(os.path.join(release, name)) as archive:
            archive.extractall(kit)
    for tool in ("endsession.exe", "endsession-check.exe"):
        if not os.path.exists(os.path.join(kit, tool)):
            print(f"FAIL: no {tool} unpacked", file=sys.stderr)
            return 1
    print(f"ENDSESSION_VERSION={version}")
    return 0


def main(argv):
    if len(argv) == 4 and argv[1] == "unpack":
        return unpack(argv[2], argv[3])
    if len(argv) == 4 and argv[1] == "compare":
        return compare(argv[2], argv[3])
    if len(argv) == 3 and argv[1] == "summary":
        sys.stdout.write(summary(argv[2]))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
