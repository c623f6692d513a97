#!/usr/bin/env python3
"""What the Windows lane computes, kept out of its YAML so that the suite
can run it here on saved outputs (tests/release/check_windows_lane.py).
Every judgement of the lane is made here; observe.ps1 only acts and
records what it saw.

  lane.py unpack RELEASE-DIR KIT-DIR [x64|arm64]
      verifies every file SHA256SUMS lists, unpacks the architecture's tool
      and kit zips into KIT-DIR (for arm64, the x64 kit's into KIT-DIR/x64
      too) and prints ENDSESSION_VERSION=<version> (for $GITHUB_ENV); exit 1
      on a mismatch or a missing file.
  lane.py compare CONTEXT OBSERVED-FILE [LEG]
      fails (exit 1) where OBSERVED-FILE differs from the context's row of
      expected-calls.tsv, as the row's column for LEG (the runner image,
      e.g. windows-11-arm) has it, where there is one: the whole call
      `context` derives for /l and /r /f,
      and the one each selftest intercepted; exactly the runs the row names,
      each with status 0; a skip only where the kit says the log-off is not
      checkable; the selftest's expectation and `context`'s "interactive
      user" alike; the tool's own bytes where it runs alone (Nano Server); a
      context that never started only where the row allows a warning; on a
      leg where the context never starts, that it did not; the x64 kit's
      refusal where the leg's column asks for it.
  lane.py summary OBSERVED-DIR [LEG]
      a Markdown table of the contexts observed there, for
      $GITHUB_STEP_SUMMARY.

OBSERVED-FILE, as observe.ps1 writes it (lines before the first "==" are
ignored):
  "== context" and the output of `endsession-check context`;
  for each run: "== selftest ARGS", "== x64 selftest" (the x64 kit's, on
  an ARM64 machine) or "== run endsession ARGS", its output
  (the tool's exactly as its bytes) and "== status N";
  "== system" and "key: value" lines, "== whoami" and its output (the
  runner's account and system);
  "== task NAME: ran|never ran|did not finish, LastTaskResult 0xXXXXXXXX";
  "== not started: REASON" for a context that never ran.
"""
import hashlib
import os
import re
import sys
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
table_file = os.path.join(here, "expected-calls.tsv")

OPERATIONS = ("/l", "/r /f")
# The calls `context` prints, and what selftest prints for them.
DESK_CALLS = {"/l": "ExitWindowsEx(0x00000000, 0x00000000)", "/r /f": "ExitWindowsEx(0x00000006, 0x00000000)"}
OTHER_CALLS = {"/l": "refused with 1459 (no session-end call)",
               "/r /f": "InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000)"}
REFUSED = "refused, exit 1"
# The only job where a skipped log-off is right: job_state_text's words.
NOT_CHECKABLE = "no breakaway: log-off not checkable here"
# Which contexts may leave their calls to what `context` finds ("recorded"):
# the runner's own step (whether its account is the desk's is what a hosted
# image decides) and Server Core's container; which may not start
# ("warn"): the interactive task (no interactive logon on a runner) and the
# containers (a runner without Docker, or without the image).
RECORDED_ALLOWED = {"runner", "servercore"}
WARN_ALLOWED = {"interactive-task", "servercore", "nanoserver"}
# The legs with a column of their own, and what it may say of a context:
# "same" (the row as it is); "never starts" (a standard user's S4U task
# where the batch logon right is the Administrators' only -- "Client
# Computer Effective Default Settings: Administrators", Log on as a batch
# job, Microsoft Learn -- so it must not start); "may not start" (a
# standard user's task with a stored password: the same page says a user
# scheduled with a password "is automatically assigned the Log on as a batch
# job user right" by the wizard; whether registering the task does so is
# what the leg records: either way is right, and a run is judged by the
# row); "same, x64 kit refused" (the runner's step on an ARM64 machine: the
# row, and the x64 kit's selftest refused).
LEGS = ("windows-11-arm",)
LEG_VALUES = {"same": None, "never starts": {"s4u-task", "password-task"}, "may not start": {"password-task"},
              "same, x64 kit refused": {"runner"}}
X64_REFUSAL = (r"cannot check here: x64 code is emulated on this ARM64 machine: an int3 is no x64 breakpoint there; "
               r"the ARM64 kit, endsession-\S+-check-arm64\.zip, checks here")
# The tool alone, where only it can run (Nano Server), typed as
# C:\lane\endsession.exe: its exact bytes and status. A log-off is refused
# with the system's text of 1459 -- in the image's language -- framed by the
# tool: that text's own CRLF (CR CR LF in text mode) and one more line end.
USAGE = (b"Usage C:\\lane\\endsession.exe: [/f] [ /r | /s | /p | /l ]\r\n\t/r reboot\r\n\t/s shutdown\r\n"
         b"\t/p poweroff\r\n\t/l logoff\r\n\t/f force one of the above operations\r\n")
TOOL_RUNS = {
    "/x": (re.escape(b"invalid arguement\r\n" + USAGE), 1),
    "/l": (rb"Can not reboot: [^\r\n]+\r\r\n\r\n", 1),
}


def read_table(path=table_file):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            context, how, row, logoff, reboot, runs, not_started, *legs = line.rstrip("\n").split("\t")
            rows.append({"context": context, "how": how, "row": row, "/l": logoff, "/r /f": reboot,
                         "runs": [run.strip() for run in runs.split(",")] if runs != "none" else [],
                         "not started": not_started, "legs": dict(zip(LEGS, legs))})
    return rows


def table_problems(rows):
    """What a row may not say: "recorded" or "warn" outside the contexts
    allowed them, a call that is neither the desk's nor another's, a run
    that is no run of the lane's."""
    found = []
    for row in rows:
        context = row["context"]
        for operation in OPERATIONS:
            value = row[operation]
            if value == "recorded" and context not in RECORDED_ALLOWED:
                found.append(f"{context}: {operation} 'recorded', allowed only for {sorted(RECORDED_ALLOWED)}")
            elif value not in ("recorded", DESK_CALLS[operation], OTHER_CALLS[operation]):
                found.append(f"{context}: {operation} '{value}' is no call endsession makes")
        if row["not started"] not in ("fail", "warn") or \
                (row["not started"] == "warn" and context not in WARN_ALLOWED):
            found.append(f"{context}: not started '{row['not started']}', 'warn' allowed only for "
                         f"{sorted(WARN_ALLOWED)}")
        for run in row["runs"]:
            if not re.match(r"^(selftest( --station| --require-logoff)?|endsession /x|endsession /l)$", run):
                found.append(f"{context}: '{run}' is no run of the lane's")
        if sorted(row["legs"]) != sorted(LEGS):
            found.append(f"{context}: no column for each of the legs {list(LEGS)}")
        for leg, value in row["legs"].items():
            if value not in LEG_VALUES or (LEG_VALUES[value] is not None and context not in LEG_VALUES[value]):
                found.append(f"{context}: {leg} '{value}', allowed: " +
                             ", ".join(f"{v} ({'any' if c is None else ', '.join(sorted(c))})" for v, c in LEG_VALUES.items()))
    return found


def parse(path):
    """The observed file: its context lines (key: value) and calls, its runs
    ({name, lines, output bytes, status}), its system facts, its task line
    and, for a context that never ran, the reason."""
    observed = {"context": {}, "calls": {}, "runs": [], "system": {}, "task": None,
                "not started": None}
    section = None
    with open(path, "rb") as f:
        raw_lines = f.read().split(b"\n")
    if raw_lines and raw_lines[-1] == b"":
        raw_lines.pop()
    for raw in raw_lines:
        line = raw.decode("utf-8", errors="replace").rstrip("\r")
        if line.startswith("== not started:"):
            observed["not started"] = line[len("== not started:"):].strip()
            section = None
        elif line.startswith("== task "):
            observed["task"] = line[len("== task "):].strip()
            section = None
        elif line in ("== context", "== system", "== whoami"):  # whoami: for the reader, judged by nothing
            section = line[3:]
        elif line.startswith(("== selftest", "== x64 selftest", "== run endsession")):
            section = "run"
            name = line[len("== run "):].strip() if line.startswith("== run ") else line[3:].strip()
            observed["runs"].append({"name": name, "lines": [], "output": b"", "status": None})
        elif line.startswith("== status "):
            if section == "run":
                observed["runs"][-1]["status"] = int(line.split()[2])
            section = None
        elif section == "context":
            call = re.match(r"^endsession (/\S+(?: /f)?)\s+(.*)$", line)
            if call:
                observed["calls"][call.group(1)] = call.group(2)
            elif ": " in line:
                key, value = line.split(": ", 1)
                observed["context"].setdefault(key, value)
        elif section == "system" and ": " in line:
            key, value = line.split(": ", 1)
            observed["system"][key] = value
        elif section == "run":
            observed["runs"][-1]["lines"].append(line)
            observed["runs"][-1]["output"] += raw + b"\n"
    return observed


def closing_line(run):
    return run["lines"][-1] if run["lines"] else ""


def interactive_user(observed):
    """`context`'s decision: True, False, or None where it says neither."""
    return {"yes": True, "no": False}.get(observed["context"].get("interactive user"))


def expected_calls(row, observed):
    """The whole call per operation: the row's, or for a recorded row the
    one for the rows `context` put the context in."""
    desk = interactive_user(observed)
    found = {}
    for operation in OPERATIONS:
        if row[operation] != "recorded":
            found[operation] = row[operation]
        elif desk is not None:
            found[operation] = (DESK_CALLS if desk else OTHER_CALLS)[operation]
    return found


def selftest_line(call):
    """What selftest prints for a case expected to make `call`."""
    return REFUSED if call.startswith("refused with 1459") else call


def case_lines(run):
    """Each case's verdict and what follows its label: {case: (verdict, text)}."""
    found = {}
    for line in run["lines"]:
        match = re.match(r"^(pass|FAIL|skip)  (/\S+(?: /f)?)\s+(.*)$", line)
        if match:
            found[match.group(2)] = (match.group(1), match.group(3))
    return found


def selftest_problems(context, run, observed, calls):
    name = f"{context}: {run['name']}"
    found = []
    job = observed["context"].get("job", "")
    counts = re.match(r"^(\d+) passed, (\d+) failed, (\d+) skipped$", closing_line(run))
    if run["status"] != 0:
        found.append(f"{name}: status {run['status']}, '{closing_line(run)}'")
    if not counts or counts.group(2) != "0":
        found.append(f"{name}: '{closing_line(run)}'")
    elif counts.group(3) != "0" and job != NOT_CHECKABLE:
        found.append(f"{name}: {counts.group(3)} skipped in job '{job}', where the kit checks the log-off")
    # What the selftest expects of the tool, against `context`'s decision:
    # on a station of its own the child is nobody's interactive user.
    station = "--station" in run["name"]
    desk = False if station else interactive_user(observed)
    expecting = {True: "expecting ExitWindowsEx: the interactive user",
                 False: "expecting InitiateShutdownW: not the interactive user"}.get(desk)
    if expecting is None or expecting not in run["lines"]:
        found.append(f"{name}: its expectation is not `context`'s 'interactive user: "
                     f"{observed['context'].get('interactive user')}'")
    held = observed["context"].get("SeShutdownPrivilege") != "not held"
    cases = case_lines(run)
    for operation in OPERATIONS:
        want = (DESK_CALLS if desk else OTHER_CALLS)[operation] if station else calls.get(operation)
        if want is None:
            continue
        want = selftest_line(want) if held or operation == "/l" else REFUSED
        verdict, text = cases.get(operation, ("missing", ""))
        if verdict == "skip" and operation == "/l" and job == NOT_CHECKABLE:
            continue
        if verdict != "pass" or text != want:
            found.append(f"{name}: {operation} {verdict} '{text}', expected '{want}'")
    return found


def problems(context, observed, row, leg=None):
    on_leg = row["legs"].get(leg, "same")
    if on_leg == "never starts":
        return [] if observed["not started"] is not None else \
            [f"{context}: started on {leg}, where the table expects it never to (no batch logon right)"]
    if observed["not started"] is not None:
        return [] if row["not started"] == "warn" or on_leg == "may not start" else \
            [f"{context} did not start: {observed['not started']}"]
    expected_runs = row["runs"] + (["x64 selftest"] if on_leg == "same, x64 kit refused" else [])
    found = []
    task = observed["task"]
    if task is not None and not re.match(r"^.*: ran, LastTaskResult 0x[0-9A-F]{8}$", task):
        found.append(f"{context}: the task {task}")
    if not observed["context"]:
        found.append(f"{context}: no output of endsession-check context")
    names = [run["name"] for run in observed["runs"]]
    if names != expected_runs:
        found.append(f"{context}: runs {names}, expected {expected_runs}")
    calls = expected_calls(row, observed)
    for operation in OPERATIONS:
        got = observed["calls"].get(operation)
        want = calls.get(operation)
        if want is None:
            found.append(f"{context}: endsession {operation}: recorded, and `context` says no 'interactive user'")
        elif got != want:
            found.append(f"{context}: endsession {operation}: context derives {got or 'missing'}, expected {want}")
    for run in observed["runs"]:
        if run["name"].startswith("selftest"):
            found += selftest_problems(context, run, observed, calls)
            continue
        if run["name"] == "x64 selftest":
            if run["status"] != 4 or not re.fullmatch(X64_REFUSAL, closing_line(run)):
                found.append(f"{context}: x64 selftest: status {run['status']}, '{closing_line(run)}'; expected "
                             f"status 4, the refusal naming the ARM64 kit")
            continue
        pattern, status = TOOL_RUNS[run["name"][len("endsession "):]]
        if not re.fullmatch(pattern, run["output"]) or run["status"] != status:
            found.append(f"{context}: {run['name']}: status {run['status']}, bytes {run['output']!r}; "
                         f"expected status {status}, bytes {pattern!r}")
    return found


def compare(context, path, leg=None):
    rows = read_table()
    table = table_problems(rows)
    by_context = {row["context"]: row for row in rows}
    if table or context not in by_context:
        for problem in table or [f"no context {context}"]:
            print(f"FAIL: {table_file}: {problem}", file=sys.stderr)
        return 1
    observed = parse(path)
    row = by_context[context]
    found = problems(context, observed, row, leg)
    for problem in found:
        print("FAIL:", problem, file=sys.stderr)
    if row["legs"].get(leg) in ("never starts", "may not start") and observed["not started"] is not None and not found:
        print(f"{context}: as expected on {leg}: it never started ({observed['not started']})")
    elif observed["not started"] is not None and not found:
        print(f"::warning::{context} did not start: {observed['not started']}")
    elif not found:
        print(f"{context}: as expected ({by_context[context]['row']})")
    return 1 if found else 0


def cell(text):
    return text.replace("|", "\\|") if text else "-"


def summary(directory, leg=None):
    lines = []
    runner = os.path.join(directory, "runner.txt")
    if os.path.exists(runner):
        system = parse(runner)["system"]
        if system:
            lines += ["The runner: " + "; ".join(f"{key} {value}" for key, value in system.items()), ""]
    lines += ["| context | account | station | job | interactive user | `/l` | `/r /f` | expected | runs |",
              "|---|---|---|---|---|---|---|---|---|"]
    for row in read_table():
        path = os.path.join(directory, row["context"] + ".txt")
        if not os.path.exists(path):
            lines.append(f"| {row['context']} | not observed | | | | | | | |")
            continue
        observed = parse(path)
        if observed["not started"] is not None:
            verdict = "ok" if not problems(row["context"], observed, row, leg) else "**differs**"
            allowed = {"never starts": "it never starts here", "may not start": "it may not start here"}.get(
                row["legs"].get(leg), "a warning" if row["not started"] == "warn" else "it must start")
            lines.append(f"| {row['context']} | did not start: {cell(observed['not started'])} | | | | | | "
                         f"{allowed}: {verdict} | |")
            continue
        c = observed["context"]
        calls = expected_calls(row, observed)
        expected = "; ".join(f"{op}: {calls.get(op, 'unknown')}" for op in OPERATIONS)
        if row["/l"] == "recorded":
            expected = "recorded: " + expected
        expected += f" ({row['row']})"
        if c.get("SeShutdownPrivilege") == "not held":
            expected += "; /r /f refused by endsession: no SeShutdownPrivilege"
        verdict = "ok" if not problems(row["context"], observed, row, leg) else "**differs**"
        runs = "; ".join(f"{r['name']}: {closing_line(r) if r['name'].startswith('selftest') else 'status %s' % r['status']}"
                         for r in observed["runs"])
        lines.append("| " + " | ".join(cell(x) for x in (
            row["context"], c.get("token account"), c.get("window station"), c.get("job"),
            c.get("interactive user"), observed["calls"].get("/l"), observed["calls"].get("/r /f"),
            f"{expected}: {verdict}", runs)) + " |")
    return "\n".join(lines) + "\n"


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def unpack(release, kit, architecture="x64"):
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
    # The zips each architecture runs, and where they go.
    zips = {"x64": [(f"endsession-{version}-win64.zip", kit), (f"endsession-{version}-check-win64.zip", kit)],
            "arm64": [(f"endsession-{version}-arm64.zip", kit), (f"endsession-{version}-check-arm64.zip", kit),
                      (f"endsession-{version}-check-win64.zip", os.path.join(kit, "x64"))]}[architecture]
    for name, folder in zips:
        if name not in names:
            print(f"FAIL: SHA256SUMS lists no {name}", file=sys.stderr)
            return 1
        with zipfile.ZipFile(os.path.join(release, name)) as archive:
            archive.extractall(folder)
    for name, folder in zips:
        tool = "endsession-check.exe" if "-check-" in name else "endsession.exe"
        if not os.path.exists(os.path.join(folder, tool)):
            print(f"FAIL: no {tool} unpacked from {name}", file=sys.stderr)
            return 1
    print(f"ENDSESSION_VERSION={version}")
    return 0


def main(argv):
    if len(argv) in (4, 5) and argv[1] == "unpack" and argv[4:] in ([], ["x64"], ["arm64"]):
        return unpack(*argv[2:])
    if len(argv) in (4, 5) and argv[1] == "compare":
        return compare(*argv[2:])
    if len(argv) in (3, 4) and argv[1] == "summary":
        sys.stdout.write(summary(*argv[2:]))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
