#!/usr/bin/env python3
"""The Windows lane, as far as it can run here. Each check is also shown a
planted fault it must catch, so that it is seen to check:
- expected-calls.tsv against docs/contexts.md's rows (a copy of the page
  with one row's call changed);
- lane.py compare and summary on saved outputs of endsession-check (made
  under Wine: WinSta0, a station of its own, a job without breakaway), each
  with planted mismatches: another call, a selftest missing or failed, a
  log-off skipped where the kit owns its job, a context that never started;
- lane.py unpack on a release (a changed zip, a zip SHA256SUMS lacks);
- what each step of windows.yml must hold: every Windows job needs the
  release job, every upload fails on a missing file, the release is
  unpacked by lane.py, every context of the table has a step that runs
  observe.ps1 and lane.py compare for it and ends with its status, and the
  tasks are registered and started (no schtasks start time in the past).

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


def table_disagreements(table, text):
    rows = docs_rows(text)
    found = []
    for row in table:
        named = [key for key in rows if key.startswith(row["row"])]
        if len(named) != 1:
            found.append(f"{row['context']}: {len(named)} rows of docs/contexts.md start with '{row['row']}'")
            continue
        call, logoff = rows[named[0]]
        if row["/l"] != "recorded" and logoff != row["/l"]:
            found.append(f"{row['context']}: /l is '{row['/l']}', the page says '{logoff}'")
        if row["/r /f"] != "recorded" and not call.startswith("`" + row["/r /f"]):
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


expectations = [
    # (context, file, passes, a word the failure names)
    ("runner", os.path.join(saved, "runner.txt"), True, None),
    ("runner", os.path.join(saved, "closed-job.txt"), True, None),  # skips allowed: no breakaway
    ("system-task", os.path.join(saved, "station.txt"), True, None),
    ("system-task", os.path.join(saved, "runner.txt"), False, "ExitWindowsEx"),
    ("system-task", variant("other-call.txt", "station.txt",
                            lambda t: t.replace("endsession /r /f  InitiateShutdownW(NULL, NULL, 0, 0x00000007",
                                                "endsession /r /f  ExitWindowsEx(0x00000006")), False, "/r /f"),
    ("winrm", variant("no-selftest.txt", "station.txt", lambda t: t[:t.index("== selftest")]), False,
     "no output of endsession-check selftest"),
    ("s4u-task", variant("failed-selftest.txt", "station.txt",
                         lambda t: t.replace("11 passed, 0 failed", "10 passed, 1 failed").replace("== status 0", "== status 1")),
     False, "status 1"),
    ("runner", variant("skipped-in-own-job.txt", "closed-job.txt",
                       lambda t: t.replace("job: no breakaway: log-off not checkable here", "job: none")), False,
     "where the kit owns its job"),
    ("interactive-task", variant("interactive-not-started.txt", "runner.txt",
                                 lambda t: "== not started: no interactive logon\r\n"), True, None),
    ("system-task", variant("system-not-started.txt", "runner.txt",
                            lambda t: "== not started: no interactive logon\r\n"), False, "did not start"),
]
for context, path, passes, word in expectations:
    status, out, err = run("compare", context, path)
    name = f"compare {context} {os.path.basename(path)}"
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
shutil.copy(os.path.join(saved, "closed-job.txt"), os.path.join(observed, "runner.txt"))
shutil.copy(os.path.join(saved, "station.txt"), os.path.join(observed, "system-task.txt"))
shutil.copy(os.path.join(work, "other-call.txt"), os.path.join(observed, "winrm.txt"))
shutil.copy(os.path.join(work, "interactive-not-started.txt"), os.path.join(observed, "interactive-task.txt"))
status, out, err = run("summary", observed)
rows = {line.split(" | ")[0].strip("| "): line for line in out.splitlines() if line.startswith("| ")}
want = {
    "runner": ["no breakaway: log-off not checkable here", "ExitWindowsEx(0x00000006, 0x00000000)",
               "selftest: 9 passed, 0 failed, 2 skipped", "recorded: the interactive user, ExitWindowsEx", ": ok"],
    "system-task": ["lane, not visible", "refused with 1459 (no session-end call)",
                    "InitiateShutdownW(NULL, NULL, 0, 0x00000007, 0x80000000)", "11 passed, 0 failed, 0 skipped",
                    "/l: refused (1459); /r /f: InitiateShutdownW", ": ok"],
    "winrm": ["ExitWindowsEx(0x00000006", "**differs**"],
    "interactive-task": ["did not start: no interactive logon"],
    "s4u-task": ["not observed"],
}
if status != 0 or not out.startswith("| context | account | station | job | interactive user |"):
    fail(f"summary: status {status}: {out[:200]}")
for context, words in want.items():
    for word in words:
        if word not in rows.get(context, ""):
            fail(f"summary: the {context} row lacks '{word}': {rows.get(context)}")

# --- unpack ------------------------------------------------------------------

kit = os.path.join(work, "kit")
shutil.rmtree(kit, ignore_errors=True)
status, out, err = run("unpack", release, kit)
version = re.match(r"^ENDSESSION_VERSION=(\S+)\n$", out)
if status != 0 or not version or not os.path.exists(os.path.join(kit, "endsession-check.exe")):
    fail(f"unpack: status {status}, '{out.strip()}', {err.strip()}")


def planted_release(name, edit):
    copy = os.path.join(work, name)
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(release, copy, ignore=lambda d, names: [n for n in names if os.path.isdir(os.path.join(d, n))])
    edit(copy)
    status, out, err = run("unpack", copy, os.path.join(copy, "kit"))
    if status != 1 or out:
        fail(f"unpack {name}: status {status}, '{out.strip()}': a planted fault passed")


if version:
    check_zip = f"endsession-{version.group(1)}-check-win64.zip"

    def change_zip(copy):
        with open(os.path.join(copy, check_zip), "ab") as f:
            f.write(b"\0")

    def unlist_zip(copy):
        sums = os.path.join(copy, "SHA256SUMS")
        lines = [line for line in open(sums) if not line.rstrip().endswith(check_zip)]
        open(sums, "w").writelines(lines)

    planted_release("changed-zip", change_zip)
    planted_release("unlisted-zip", unlist_zip)

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
    runs = {step.get("name"): step.get("run", "") for step in steps}
    if "lane.py unpack release" not in runs.get("Verify and unpack", ""):
        found.append("the release is not verified and unpacked by lane.py unpack")
    if not any(str(s.get("uses", "")).startswith("actions/upload-artifact@") and
               "observed/" in str(s.get("with", {}).get("path", "")) for s in steps):
        found.append("the observed outputs are not uploaded")
    if "lane.py summary" not in runs.get("Summary", ""):
        found.append("no summary step")
    for row in table:
        context = row["context"]
        script = runs.get(f"context: {context}")
        if script is None:
            found.append(f"no step for context {context}")
            continue
        lines = [line.strip() for line in script.strip().splitlines()]
        if not any(f"observe.ps1 -Context {context} " in line for line in lines) or \
                not any(f"lane.py compare {context} " in line for line in lines) or lines[-1] != "exit $LASTEXITCODE":
            found.append(f"the {context} step does not observe, compare and end with compare's status")
    if "Register-ScheduledTask" not in observe_text or "Start-ScheduledTask" not in observe_text or \
            "schtasks" in observe_text:
        found.append("observe.ps1 does not register and start its tasks with the ScheduledTasks cmdlets")
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
    ("status", lambda w: w.replace("python .github/windows/lane.py compare winrm $env:OBSERVED/winrm.txt\n          exit $LASTEXITCODE\n",
                                   "python .github/windows/lane.py compare winrm $env:OBSERVED/winrm.txt\n          exit 0\n"), None,
     "the winrm step"),
    ("selftest", lambda w: w.replace("          ./.github/windows/observe.ps1 -Context s4u-task", "          echo"), None,
     "the s4u-task step"),
    ("task", None, lambda o: o.replace("  Register-ScheduledTask @task | Out-Null\n", ""),
     "register and start"),
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
print(f"{len(table)} contexts agree with docs/contexts.md; {len(expectations)} saved outputs compared; "
      f"the summary, the unpack and {len(plantings)} workflow plantings checked")
