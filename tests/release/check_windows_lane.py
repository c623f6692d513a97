#!/usr/bin/env python3
"""The Windows lane, as far as it can run here. Each check is also shown a
planted fault it must catch, so that it is seen to check:
- expected-calls.tsv against docs/contexts.md's rows (a copy of the page
  with one row's call changed);
- expected-calls.tsv's own limits (lane.py): "recorded" and "warn" only
  where allowed, whole calls only;
- lane.py compare and summary on saved outputs of endsession-check (made
  under Wine: WinSta0, a station of its own, a job without breakaway, the
  desk's logon session, Nano Server's missing DLLs), each with planted
  mismatches: another call or flag, in `context` or in a selftest; a run
  missing or its status lost; a log-off skipped where the kit checks it; the
  selftest's expectation not `context`'s; the tool's bytes one off; a
  context that never started or a task that did not finish;
- the windows-11-arm leg (an ARM64 client edition): the runner's step
  with the x64 kit refused (its status or its words one off, or missing),
  a standard user's S4U task that must not start and one with a password
  that may not;
- lane.py unpack on a release (a changed zip, a zip SHA256SUMS lacks), and
  for ARM64 the ARM64 tool and kit, the x64 kit beside them;
- what each step of windows.yml must hold: every Windows job needs the
  release job, every upload fails on a missing file, the release is
  unpacked by lane.py and its status checked before anything else runs,
  every context of the table has a step with a time limit that runs
  observe.ps1 and lane.py compare on its own file and ends with its status,
  the standard user is made without a prompt and with net's words shown,
  the MSI steps run whenever the unpack succeeded, the installed tool's
  selftest status is checked, and the tasks are registered, started and
  stopped on a timeout (no schtasks start time in the past), and the WinRM
  listener is tested; windows-11-arm unpacks, installs and judges ARM64,
  the other legs x64.

Usage: check_windows_lane.py SOURCE-DIR RELEASE-DIR WORK-DIR
"""
import os
import re
import shutil
import subprocess
import sys

import yaml

source, release, work = sys.argv[1:4]
lane_dir = os.path.join(source, ".github", "windows")
lane = os.path.join(lane_dir, "lane.py")
saved = os.path.join(source, "tests", "release", "windows_lane")
workflow_file = os.path.join(source, ".github", "workflows", "windows.yml")
sys.path.insert(0, lane_dir)
import lane as lane_module  # noqa: E402

failures = []


def fail(text):
    failures.append(text)


def run(*args):
    done = subprocess.run([sys.executable, lane, *args], capture_output=True, text=True)
    return done.returncode, done.stdout, done.stderr


# --- the expected calls against docs/contexts.md ---------------------------

def docs_rows(text):
    """First cell -> (call cell, /l cell) of each table row of the page."""
    rows = {}
    for line in text.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split(" | ")]
        if line.startswith("| ") and len(cells) == 4 and not cells[0].startswith("---"):
            rows[cells[0]] = (cells[2], cells[3])
    return rows


# The table's whole calls, in the page's words.
PAGE_LOGOFF = {lane_module.DESK_CALLS["/l"]: "logs off", lane_module.OTHER_CALLS["/l"]: "refused (1459)"}


def table_disagreements(table, text):
    rows = docs_rows(text)
    found = []
    for row in table:
        named = [key for key in rows if key.startswith(row["row"])]
        if len(named) != 1:
            found.append(f"{row['context']}: {len(named)} rows of docs/contexts.md start with '{row['row']}'")
            continue
        call, logoff = rows[named[0]]
        if row["/l"] != "recorded" and logoff != PAGE_LOGOFF.get(row["/l"]):
            found.append(f"{row['context']}: /l is '{row['/l']}', the page says '{logoff}'")
        if row["/r /f"] != "recorded" and not call.startswith("`" + row["/r /f"].split("(")[0]):
            found.append(f"{row['context']}: /r /f is '{row['/r /f']}', the page says '{call}'")
        if f"| `{row['context']}` |" not in text:
            found.append(f"{row['context']}: the page does not say that the lane observes it")
    return found


table = lane_module.read_table()
with open(os.path.join(source, "docs", "contexts.md"), encoding="utf-8") as f:
    contexts_page = f.read()
for problem in table_disagreements(table, contexts_page):
    fail(f"expected-calls.tsv: {problem}")
planted = contexts_page.replace("| scheduled task with S4U (\"Do not store password\") | no: \"the task will run in a non-interactive desktop\" (TASK_LOGON_TYPE, `TASK_LOGON_S4U`), not the visible station | `InitiateShutdownW` | refused (1459) |",
                                "| scheduled task with S4U (\"Do not store password\") | no: \"the task will run in a non-interactive desktop\" (TASK_LOGON_TYPE, `TASK_LOGON_S4U`), not the visible station | `ExitWindowsEx(flags, 0)` | logs off |")
if planted == contexts_page or not any(p.startswith("s4u-task: /l") for p in table_disagreements(table, planted)):
    fail("a page whose S4U row says ExitWindowsEx was not found to disagree")

# --- the table's own limits ---------------------------------------------------

for problem in lane_module.table_problems(table):
    fail(f"expected-calls.tsv: {problem}")


def with_row(context, **changes):
    return [dict(row, **changes) if row["context"] == context else row for row in table]


table_plantings = [
    ("a task switched to recorded", with_row("system-task", **{"/l": "recorded"}), "system-task: /l 'recorded'"),
    ("a task allowed not to start", with_row("password-task", **{"not started": "warn"}), "password-task: not started 'warn'"),
    ("a call by name only", with_row("winrm", **{"/r /f": "InitiateShutdownW"}), "winrm: /r /f 'InitiateShutdownW'"),
    ("a desk context that never starts on the ARM64 leg", with_row("winrm", legs={"windows-11-arm": "never starts"}),
     "winrm: windows-11-arm 'never starts'"),
    ("the x64 kit's refusal asked of a task", with_row("system-task", legs={"windows-11-arm": "same, x64 kit refused"}),
     "system-task: windows-11-arm 'same, x64 kit refused'"),
    ("a row without the leg's column", with_row("runas", legs={}), "runas: no column for each of the legs"),
]
for name, rows, word in table_plantings:
    if not any(word in p for p in lane_module.table_problems(rows)):
        fail(f"table planted with {name}: not caught ({word})")

# --- compare and summary on saved outputs -----------------------------------

os.makedirs(work, exist_ok=True)


def variant(name, source_name, edit):
    with open(os.path.join(saved, source_name), encoding="utf-8", newline="") as f:
        text = f.read()
    changed = edit(text)
    if changed == text:
        fail(f"{name}: the planted change did not apply")
    path = os.path.join(work, name)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(changed)
    return path


def saved_file(name):
    return os.path.join(saved, name)


SYSTEM = "== system\r\nEnableLUA: 1\r\nConsentPromptBehaviorAdmin: 0\r\nedition: Microsoft Windows Server 2022 Datacenter (Server, build 20348)\r\n"
expectations = [
    # (context, file, passes, a word the failure names)
    ("runner", saved_file("runner.txt"), True, None),
    ("runner", saved_file("closed-job.txt"), True, None),  # skips allowed: no breakaway
    ("runner", variant("runner-system.txt", "runner.txt", lambda t: t + SYSTEM), True, None),
    ("system-task", saved_file("station.txt"), True, None),
    ("network-service-task", variant("task-ran.txt", "station.txt",
                                     lambda t: t + "== task endsession-lane-network-service: ran, LastTaskResult 0x00000000\r\n"),
     True, None),
    ("interactive-task", saved_file("desk.txt"), True, None),
    ("nanoserver", saved_file("nanoserver.txt"), True, None),
    ("servercore", saved_file("station.txt"), True, None),  # recorded: not the interactive user
    ("system-task", saved_file("runner.txt"), False, "ExitWindowsEx"),
    # Whole calls: a flag one off, in context's derivation or in a selftest.
    ("system-task", variant("other-call.txt", "station.txt",
                            lambda t: t.replace("endsession /r /f  InitiateShutdownW(NULL, NULL, 0, 0x00000007",
                                                "endsession /r /f  ExitWindowsEx(0x00000006")), False, "/r /f"),
    ("system-task", variant("other-flag.txt", "station.txt",
                            lambda t: t.replace("endsession /r /f  InitiateShutdownW(NULL, NULL, 0, 0x00000007",
                                                "endsession /r /f  InitiateShutdownW(NULL, NULL, 0, 0x00000006")),
     False, "context derives InitiateShutdownW(NULL, NULL, 0, 0x00000006"),
    ("s4u-task", variant("other-intercepted-flag.txt", "station.txt",
                         lambda t: t.replace("pass  /r /f                          InitiateShutdownW(NULL, NULL, 0, 0x00000007",
                                             "pass  /r /f                          InitiateShutdownW(NULL, NULL, 0, 0x00000003")),
     False, "selftest: /r /f pass 'InitiateShutdownW(NULL, NULL, 0, 0x00000003"),
    # The desk's row, once it ran: ExitWindowsEx, and the log-off checked.
    ("interactive-task", variant("desk-other-call.txt", "station.txt",
                                 lambda t: t.replace("== selftest\r\n", "== selftest --require-logoff\r\n")),
     False, "interactive-task: endsession /r /f: context derives InitiateShutdownW"),
    ("winrm", variant("no-selftest.txt", "station.txt", lambda t: t[:t.index("== selftest")]), False,
     "runs [], expected ['selftest']"),
    ("runner", variant("no-station-run.txt", "runner.txt", lambda t: t[:t.index("== selftest --station")]), False,
     "runs ['selftest'], expected ['selftest', 'selftest --station']"),
    ("s4u-task", variant("failed-selftest.txt", "station.txt",
                         lambda t: t.replace("11 passed, 0 failed", "10 passed, 1 failed").replace("== status 0", "== status 1")),
     False, "status 1"),
    # The status alone: a run whose lines look right but whose status is not 0.
    ("s4u-task", variant("status-only.txt", "station.txt", lambda t: t.replace("== status 0", "== status 3")), False,
     "status 3"),
    # --require-logoff in a job without breakaway: the case it exists for.
    ("interactive-task", variant("required-logoff-skipped.txt", "closed-job.txt",
                                 lambda t: t[:t.index("== selftest --station")].replace("== selftest\r\n", "== selftest --require-logoff\r\n")
                                 .replace("9 passed, 0 failed, 2 skipped\r\n== status 0",
                                          "9 passed, 0 failed, 2 skipped: the log-off was required (--require-logoff) and not checked\r\n== status 1")),
     False, "status 1"),
    ("runner", variant("skipped-in-own-job.txt", "closed-job.txt",
                       lambda t: t.replace("job: no breakaway: log-off not checkable here", "job: none")), False,
     "where the kit checks the log-off"),
    ("runner", variant("skipped-where-checked.txt", "closed-job.txt",
                       lambda t: t.replace("job: no breakaway: log-off not checkable here",
                                           "job: no breakaway, ExitWindowsEx forbidden by it: log-off checked inside it")),
     False, "where the kit checks the log-off"),
    ("runner", variant("no-logoff-line.txt", "runner.txt",
                       lambda t: t.replace("endsession /l     ExitWindowsEx(0x00000000, 0x00000000)\r\n", "")), False,
     "endsession /l: context derives missing"),
    ("runner", variant("expectation-not-context.txt", "runner.txt",
                       lambda t: t.replace("== selftest\r\nexpecting ExitWindowsEx: the interactive user",
                                           "== selftest\r\nexpecting InitiateShutdownW: not the interactive user", 1)),
     False, "its expectation is not `context`'s"),
    ("nanoserver", variant("nano-usage-one-off.txt", "nanoserver.txt", lambda t: t.replace("\t/p poweroff", "\t/p power off")),
     False, "endsession /x: status 1"),
    ("nanoserver", variant("nano-logoff-status.txt", "nanoserver.txt",
                           lambda t: t[:t.rindex("== status 1")] + "== status 0\r\n"), False, "endsession /l: status 0"),
    ("nanoserver", variant("nano-logoff-without-line-end.txt", "nanoserver.txt",
                           lambda t: t.replace(".\r\r\n\r\n== status 1", ".\r\r\n== status 1")), False, "endsession /l"),
    ("system-task", variant("task-unfinished.txt", "station.txt",
                            lambda t: t + "== task endsession-lane-system: did not finish in 10 minutes, LastTaskResult 0x00041301\r\n"),
     False, "did not finish"),
    ("interactive-task", variant("interactive-not-started.txt", "runner.txt",
                                 lambda t: "== not started: endsession-lane-interactive never ran, LastTaskResult 0x800710E0\r\n"),
     True, None),
    ("nanoserver", variant("nano-not-started.txt", "runner.txt", lambda t: "== not started: no Docker on this runner\r\n"),
     True, None),
    ("system-task", variant("system-not-started.txt", "runner.txt",
                            lambda t: "== not started: endsession-lane-system never ran, LastTaskResult 0x8004131F\r\n"),
     False, "did not start"),
]
ARM = "windows-11-arm"
X64_REFUSED = ("== x64 selftest\r\nexpecting ExitWindowsEx: the interactive user\r\ncannot check here: x64 code is "
               "emulated on this ARM64 machine: an int3 is no x64 breakpoint there; the ARM64 kit, "
               "endsession-1.0.0-check-arm64.zip, checks here\r\n== status 4\r\n")
# The ARM64 kit's context and selftests under arm64 Wine print runner.txt
# byte for byte; the x64 kit's refusal is what only an ARM64 machine shows.
runner_arm64 = variant("runner-arm64.txt", "runner.txt", lambda t: t + X64_REFUSED)
S4U_NEVER = "== not started: endsession-lane-s4u never ran, LastTaskResult 0x8007052F\r\n"
expectations += [
    ("runner", runner_arm64, True, None, ARM),
    ("runner", saved_file("runner.txt"), False, "expected ['selftest', 'selftest --station', 'x64 selftest']", ARM),
    ("runner", runner_arm64, False, "runs ['selftest', 'selftest --station', 'x64 selftest'], expected ['selftest', 'selftest --station']"),
    ("runner", variant("x64-refusal-status.txt", "runner.txt",
                       lambda t: t + X64_REFUSED.replace("== status 4", "== status 3")), False, "x64 selftest: status 3", ARM),
    ("runner", variant("x64-refusal-naming-x64.txt", "runner.txt",
                       lambda t: t + X64_REFUSED.replace("-check-arm64.zip", "-check-win64.zip")),
     False, "x64 selftest: status 4", ARM),
    ("s4u-task", variant("s4u-never-started.txt", "station.txt", lambda t: S4U_NEVER), True, None, ARM),
    ("s4u-task", saved_file("station.txt"), False, "started on windows-11-arm", ARM),
    ("s4u-task", os.path.join(work, "s4u-never-started.txt"), False, "did not start"),
    ("password-task", variant("password-never-started.txt", "station.txt",
                              lambda t: S4U_NEVER.replace("-s4u", "-password")), True, None, ARM),
    ("password-task", saved_file("station.txt"), True, None, ARM),
    ("password-task", variant("password-wrong-call.txt", "station.txt",
                              lambda t: t.replace("endsession /r /f  InitiateShutdownW(NULL, NULL, 0, 0x00000007",
                                                  "endsession /r /f  InitiateShutdownW(NULL, NULL, 0, 0x00000006")),
     False, "context derives InitiateShutdownW(NULL, NULL, 0, 0x00000006", ARM),
]
for context, path, passes, word, *leg in expectations:
    status, out, err = run("compare", context, path, *leg)
    name = f"compare {context} {os.path.basename(path)} {' '.join(leg)}"
    if passes and status != 0:
        fail(f"{name}: status {status}: {err.strip()}")
    if not passes and (status != 1 or word not in err):
        fail(f"{name}: status {status}, expected 1 naming '{word}': {err.strip()}")
status, out, err = run("compare", "interactive-task", os.path.join(work, "interactive-not-started.txt"))
if "::warning::interactive-task did not start" not in out:
    fail(f"a context that never started gives no warning: {out.strip()}")

observed = os.path.join(work, "observed")
shutil.rmtree(observed, ignore_errors=True)
os.makedirs(observed)
shutil.copy(os.path.join(work, "runner-system.txt"), os.path.join(observed, "runner.txt"))
shutil.copy(os.path.join(saved, "station.txt"), os.path.join(observed, "system-task.txt"))
shutil.copy(os.path.join(work, "other-call.txt"), os.path.join(observed, "winrm.txt"))
shutil.copy(os.path.join(work, "interactive-not-started.txt"), os.path.join(observed, "interactive-task.txt"))
shutil.copy(os.path.join(saved, "nanoserver.txt"), os.path.join(observed, "nanoserver.txt"))
status, out, err = run("summary", observed)
rows = {line.split(" | ")[0].strip("| "): line for line in out.splitlines() if line.startswith("| ")}
want = {
    "runner": ["WinSta0, visible", "ExitWindowsEx(0x00000006, 0x00000000)",
               "selftest --station: 11 passed, 0 failed, 0 skipped",
               "recorded: /l: ExitWindowsEx(0x00000000, 0x00000000); /r /f: ExitWindowsEx(0x00000006, 0x00000000)",
               ": ok"],
    "system-task": ["lane, not visible", "refused with 1459 (no session-end call)",
                    "InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000)", "11 passed, 0 failed, 0 skipped",
                    "/r /f: InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000) (scheduled task", ": ok"],
    "winrm": ["ExitWindowsEx(0x00000006", "**differs**"],
    "interactive-task": ["did not start: endsession-lane-interactive never ran, LastTaskResult 0x800710E0"],
    "nanoserver": ["unknown (error 126): no USER32 here", "endsession /x: status 1", ": ok"],
    "s4u-task": ["not observed"],
}
if status != 0 or "| context | account | station | job | interactive user |" not in out or \
        "The runner: EnableLUA 1; ConsentPromptBehaviorAdmin 0; edition Microsoft Windows Server 2022" not in out:
    fail(f"summary: status {status}: {out[:300]}")
for context, words in want.items():
    for word in words:
        if word not in rows.get(context, ""):
            fail(f"summary: the {context} row lacks '{word}': {rows.get(context)}")

# The summary of the ARM64 leg: a task that must not start there is as
# expected, the runner with the x64 kit refused too; on a server leg the same
# files differ.
arm_observed = os.path.join(work, "observed-arm")
shutil.rmtree(arm_observed, ignore_errors=True)
os.makedirs(arm_observed)
shutil.copy(runner_arm64, os.path.join(arm_observed, "runner.txt"))
shutil.copy(os.path.join(work, "s4u-never-started.txt"), os.path.join(arm_observed, "s4u-task.txt"))
for leg, verdict in ((ARM, ": ok"), (None, "**differs**")):
    status, out, err = run("summary", arm_observed, *([leg] if leg else []))
    rows = {line.split(" | ")[0].strip("| "): line for line in out.splitlines() if line.startswith("| ")}
    for context in ("runner", "s4u-task"):
        if verdict not in rows.get(context, ""):
            fail(f"summary for leg {leg}: the {context} row lacks '{verdict}': {rows.get(context)}")

# --- unpack ------------------------------------------------------------------

kit = os.path.join(work, "kit")
shutil.rmtree(kit, ignore_errors=True)
status, out, err = run("unpack", release, kit)
version = re.match(r"^ENDSESSION_VERSION=(\S+)\n$", out)
if status != 0 or not version or not os.path.exists(os.path.join(kit, "endsession-check.exe")):
    fail(f"unpack: status {status}, '{out.strip()}', {err.strip()}")


def planted_release(name, edit, *architecture, word=""):
    copy = os.path.join(work, name)
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(release, copy, ignore=lambda d, names: [n for n in names if os.path.isdir(os.path.join(d, n))])
    edit(copy)
    status, out, err = run("unpack", copy, os.path.join(copy, "kit"), *architecture)
    if status != 1 or out or word not in err:
        fail(f"unpack {name}: status {status}, '{out.strip()}', '{err.strip()}': a planted fault passed")


if version:
    check_zip = f"endsession-{version.group(1)}-check-win64.zip"

    def change_zip(copy):
        with open(os.path.join(copy, check_zip), "ab") as f:
            f.write(b"\0")

    def unlisted(name):
        def unlist(copy):
            sums = os.path.join(copy, "SHA256SUMS")
            lines = [line for line in open(sums) if not line.rstrip().endswith(name)]
            open(sums, "w").writelines(lines)
        return unlist

    planted_release("changed-zip", change_zip)
    planted_release("unlisted-zip", unlisted(check_zip))

    # ARM64, where the release ships it: the ARM64 tool and kit, and the x64
    # kit in x64/ -- each of its machine.
    arm64_kit_zip = f"endsession-{version.group(1)}-check-arm64.zip"
    if os.path.exists(os.path.join(release, arm64_kit_zip)):
        def machine(path):
            with open(path, "rb") as f:
                data = f.read(4096)
            at = int.from_bytes(data[0x3C:0x40], "little")
            return int.from_bytes(data[at + 4:at + 6], "little")

        arm64_kit = os.path.join(work, "kit-arm64")
        shutil.rmtree(arm64_kit, ignore_errors=True)
        status, out, err = run("unpack", release, arm64_kit, "arm64")
        machines = [machine(os.path.join(arm64_kit, *name)) if os.path.exists(os.path.join(arm64_kit, *name)) else None
                    for name in (["endsession.exe"], ["endsession-check.exe"], ["x64", "endsession-check.exe"])]
        if status != 0 or out != version.group(0) or machines != [0xAA64, 0xAA64, 0x8664]:
            fail(f"unpack arm64: status {status}, '{out.strip()}', machines {machines}, {err.strip()}")

        def copy_of_x64_kit(copy):
            shutil.copy(os.path.join(copy, check_zip), os.path.join(copy, arm64_kit_zip))

        planted_release("arm64-unlisted", unlisted(arm64_kit_zip), "arm64", word=arm64_kit_zip)
        planted_release("arm64-x64-kit", copy_of_x64_kit, "arm64", word=arm64_kit_zip)

# --- what the workflow's steps must hold -------------------------------------


def workflow_problems(text, observe_text):
    found = []
    jobs = yaml.safe_load(text)["jobs"]
    for name, job in jobs.items():
        if "windows" in str(job.get("runs-on", "")) or "matrix.os" in str(job.get("runs-on", "")):
            needs = job.get("needs", [])
            if "release" not in ([needs] if isinstance(needs, str) else needs):
                found.append(f"job {name} does not need the release job")
        for step in job.get("steps", []):
            if str(step.get("uses", "")).startswith("actions/upload-artifact@") and \
                    step.get("with", {}).get("if-no-files-found") != "error":
                found.append(f"job {name}: an upload does not fail on a missing file")
    steps = jobs["windows"]["steps"]
    by_name = {step.get("name"): step for step in steps}
    runs = {name: step.get("run", "") for name, step in by_name.items()}
    unpack = [line.strip() for line in runs.get("Verify and unpack", "").strip().splitlines()]
    if not unpack or not unpack[0].startswith("python .github/windows/lane.py unpack release"):
        found.append("the release is not verified and unpacked by lane.py unpack")
    elif len(unpack) < 2 or unpack[1] != "if ($LASTEXITCODE -ne 0) { exit $LASTEXITCODE }":
        found.append("the unpack's status is not checked before the next command")
    if by_name.get("Verify and unpack", {}).get("id") != "unpack":
        found.append("the unpack step has no id 'unpack' for the MSI steps")
    user = runs.get("A standard user", "")
    adds = [line for line in user.splitlines() if re.search(r"\bnet user \S+ \S+ /add\b", line)]
    if len(adds) != 1 or "/y" not in adds[0].split() or "Out-Null" in user:
        found.append("the standard user is not made with /y, net's words shown when it fails")
    if not any(str(s.get("uses", "")).startswith("actions/upload-artifact@") and
               "observed/" in str(s.get("with", {}).get("path", "")) for s in steps):
        found.append("the observed outputs are not uploaded")
    if "lane.py summary $env:OBSERVED ${{ matrix.os }}" not in runs.get("Summary", ""):
        found.append("no summary step for the leg")
    # Each leg's architecture: ARM64 on the ARM64 leg, x64 on the others,
    # for the unpack and both MSI steps.
    matrix = jobs["windows"].get("strategy", {}).get("matrix", {})
    arch = {}
    for os_name in matrix.get("os", []):  # an include with an os extends that leg, one without every leg
        combination = {"os": os_name}
        for extra in matrix.get("include", []):
            if extra.get("os", os_name) == os_name:
                combination.update(extra)
        arch[os_name] = combination.get("arch")
    want = {name: "arm64" if name in lane_module.LEGS else "x64" for name in matrix.get("os", [])}
    if "windows-11-arm" not in arch or arch != want:
        found.append(f"the legs' architectures are {arch}, expected {want}")
    if "${{ matrix.arch }}" not in (unpack[0] if unpack else ""):
        found.append("the release is not unpacked for the leg's architecture")
    for name in ("Install the MSI silently", "Remove the MSI silently"):
        if "-${{ matrix.arch }}.msi" not in runs.get(name, ""):
            found.append(f"'{name}' does not take the leg's MSI")
    for row in table:
        context = row["context"]
        step = by_name.get(f"context: {context}")
        if step is None:
            found.append(f"no step for context {context}")
            continue
        own = f"$env:OBSERVED/{context}.txt"
        lines = [line.strip() for line in step.get("run", "").strip().splitlines()]
        if lines != [f"./.github/windows/observe.ps1 -Context {context} -Lane $env:LANE -Out {own}",
                     f"python .github/windows/lane.py compare {context} {own} ${{{{ matrix.os }}}}", "exit $LASTEXITCODE"]:
            found.append(f"the {context} step does not observe, compare its own {own} for its leg and end with "
                         f"compare's status")
        if not isinstance(step.get("timeout-minutes"), int):
            found.append(f"the {context} step has no time limit")
    for name in ("Install the MSI silently", "endsession on a new shell's PATH", "Remove the MSI silently"):
        if by_name.get(name, {}).get("if") != "${{ !cancelled() && steps.unpack.outcome == 'success' }}":
            found.append(f"'{name}' does not run whenever the unpack succeeded")
    installed = [line.strip() for line in runs.get("endsession on a new shell's PATH", "").splitlines()]
    at = next((i for i, line in enumerate(installed) if "selftest --tool $found" in line), None)
    if at is None or at + 1 >= len(installed) or not installed[at + 1].startswith("if ($LASTEXITCODE -ne 0) { throw"):
        found.append("the installed tool's selftest status is not checked")
    if "Register-ScheduledTask" not in observe_text or "Start-ScheduledTask" not in observe_text or \
            "schtasks" in observe_text:
        found.append("observe.ps1 does not register and start its tasks with the ScheduledTasks cmdlets")
    if "Stop-ScheduledTask" not in observe_text:
        found.append("observe.ps1 does not stop a task that did not finish")
    if "Test-WSMan localhost" not in observe_text:
        found.append("observe.ps1 does not test the WinRM listener")
    return found


with open(workflow_file, encoding="utf-8") as f:
    workflow_text = f.read()
with open(os.path.join(lane_dir, "observe.ps1"), encoding="utf-8") as f:
    observe_text = f.read()
for problem in workflow_problems(workflow_text, observe_text):
    fail(f"windows.yml: {problem}")
plantings = [
    ("needs", lambda w: w.replace("  windows:\n    needs: release\n", "  windows:\n"), None, "does not need the release"),
    ("upload", lambda w: w.replace("          if-no-files-found: error\n", "          if-no-files-found: warn\n", 1), None,
     "does not fail on a missing file"),
    ("unpack", lambda w: w.replace("python .github/windows/lane.py unpack release", "Expand-Archive release"), None,
     "unpacked by lane.py"),
    ("unpack status", lambda w: w.replace("$env:GITHUB_ENV\n          if ($LASTEXITCODE -ne 0) { exit $LASTEXITCODE }\n",
                                          "$env:GITHUB_ENV\n"), None, "the unpack's status"),
    ("status", lambda w: w.replace("$env:OBSERVED/winrm.txt ${{ matrix.os }}\n          exit $LASTEXITCODE\n",
                                   "$env:OBSERVED/winrm.txt ${{ matrix.os }}\n          exit 0\n"), None,
     "the winrm step"),
    ("selftest", lambda w: w.replace("          ./.github/windows/observe.ps1 -Context s4u-task", "          echo"), None,
     "the s4u-task step"),
    ("another context's file", lambda w: w.replace("lane.py compare runas $env:OBSERVED/runas.txt",
                                                   "lane.py compare runas $env:OBSERVED/winrm.txt"), None,
     "the runas step"),
    ("no time limit", lambda w: w.replace("      - name: 'context: runas'\n        timeout-minutes: 15\n",
                                          "      - name: 'context: runas'\n"), None, "the runas step has no time limit"),
    ("net's prompt", lambda w: w.replace(" /passwordchg:no /y 2>&1", " /passwordchg:no 2>&1"), None, "made with /y"),
    ("MSI skipped after a context", lambda w: w.replace(
        "      - name: Install the MSI silently\n        if: ${{ !cancelled() && steps.unpack.outcome == 'success' }}\n",
        "      - name: Install the MSI silently\n"), None, "'Install the MSI silently' does not run"),
    ("installed selftest unchecked", lambda w: w.replace(
        "          if ($LASTEXITCODE -ne 0) { throw \"selftest of the installed endsession: $LASTEXITCODE\" }\n", ""), None,
     "installed tool's selftest status"),
    ("no ARM64 leg", lambda w: w.replace("os: [windows-2022, windows-2025, windows-11-arm]", "os: [windows-2022, windows-2025]"),
     None, "the legs' architectures"),
    ("the ARM64 leg on x64", lambda w: w.replace("          - os: windows-11-arm\n            arch: arm64\n", ""), None,
     "the legs' architectures"),
    ("x64 unpacked everywhere", lambda w: w.replace("unpack release $env:LANE ${{ matrix.arch }}", "unpack release $env:LANE x64"),
     None, "for the leg's architecture"),
    ("the x64 MSI everywhere", lambda w: w.replace("'/x', \"release\\endsession-$env:ENDSESSION_VERSION-${{ matrix.arch }}.msi\"",
                                                   "'/x', \"release\\endsession-$env:ENDSESSION_VERSION-x64.msi\""), None,
     "'Remove the MSI silently' does not take"),
    ("compare without the leg", lambda w: w.replace("lane.py compare s4u-task $env:OBSERVED/s4u-task.txt ${{ matrix.os }}",
                                                    "lane.py compare s4u-task $env:OBSERVED/s4u-task.txt"), None,
     "the s4u-task step"),
    ("task", None, lambda o: o.replace("  Register-ScheduledTask @task | Out-Null\n", ""),
     "register and start"),
    ("task left running", None, lambda o: o.replace("Stop-ScheduledTask -TaskName $name", "Write-Output $name"),
     "does not stop a task"),
    ("listener", None, lambda o: o.replace("    Test-WSMan localhost | Out-Null\n", ""), "WinRM listener"),
]
for name, edit_workflow, edit_observe, word in plantings:
    w = edit_workflow(workflow_text) if edit_workflow else workflow_text
    o = edit_observe(observe_text) if edit_observe else observe_text
    if (w, o) == (workflow_text, observe_text):
        fail(f"planted {name}: the change did not apply")
    elif not any(word in p for p in workflow_problems(w, o)):
        fail(f"planted {name}: not caught ({word})")

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if failures:
    sys.exit(1)
print(f"{len(table)} contexts agree with docs/contexts.md; {len(table_plantings)} table plantings caught; "
      f"{len(expectations)} saved outputs compared; the summary, the unpack and {len(plantings)} workflow plantings checked")
