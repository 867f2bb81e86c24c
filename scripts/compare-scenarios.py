#!/usr/bin/env python3
"""Runs scenario files through the Linux corvane and through corvane.exe under
Wine, and compares the two JSON reports and exit statuses.

Usage: compare-scenarios.py LABEL LINUX_CORVANE WINDOWS_CORVANE_EXE FILE...

The files are named as given, relative to the working directory, on both sides,
so that both reports name them alike. A file the Linux tool does not read as a
scenario (a schema, a fuzzing seed that is meant to be refused), or one whose
clock is not fixed (its reports differ by the time each ran), is left out and
named. The reports are compared after removing only each scenario's `module`
and `registry`; a difference prints the file, the first place where the reports
part (`scenarios[0].calls[2].error.description`) and both values. Prints one
verdict per file and the count compared; exits 1 on a difference, or when no
file was compared. WINE_BUDGET is the seconds one Wine run may take.
"""
import json
import os
import subprocess
import sys


def run(command):
    """The exit status and the parsed JSON report (None when there is none)."""
    budget = int(os.environ.get("WINE_BUDGET", "120"))
    try:
        done = subprocess.run(command, capture_output=True, timeout=budget)
    except subprocess.TimeoutExpired:
        return "timed out", None, ""
    text = done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    try:
        report = json.loads(text)
    except ValueError:
        report = None
    return done.returncode, report, done.stderr.decode("utf-8", "replace")


def normalised(report):
    for scenario in report.get("scenarios", []):
        scenario.pop("module", None)
        scenario.pop("registry", None)
    return report


def left_out(report):
    """Why a file's reports cannot be compared, or None when they can."""
    scenarios = report.get("scenarios", []) if isinstance(report, dict) else []
    if not scenarios or any("error" in s and "place" in s["error"] for s in scenarios):
        return "not a scenario"
    if not all(s.get("clock_fixed") for s in scenarios):
        return "clock not fixed"
    return None


def first_difference(a, b, place="report"):
    """(place, a's value, b's value) where a and b first part, or None."""
    if type(a) is not type(b):
        return place, a, b
    if isinstance(a, dict):
        for key in list(a) + [k for k in b if k not in a]:
            if key not in a or key not in b:
                return f"{place}.{key}", a.get(key, "(absent)"), b.get(key, "(absent)")
            found = first_difference(a[key], b[key], f"{place}.{key}")
            if found:
                return found
        return None
    if isinstance(a, list):
        for i in range(max(len(a), len(b))):
            if i >= len(a) or i >= len(b):
                return (f"{place}[{i}]", a[i] if i < len(a) else "(absent)",
                        b[i] if i < len(b) else "(absent)")
            found = first_difference(a[i], b[i], f"{place}[{i}]")
            if found:
                return found
        return None
    return None if a == b else (place, a, b)


def shown(value):
    text = json.dumps(value, ensure_ascii=False)
    return text if len(text) <= 200 else text[:200] + "..."


def main(argv):
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    label, linux_tool, windows_tool, files = argv[0], argv[1], argv[2], argv[3:]
    prefix = f"windows-check: {label}:"
    same = different = left = 0
    for file in files:
        linux_status, linux, _ = run([linux_tool, "run", "--json", file])
        reason = left_out(linux)
        if reason:
            print(f"{prefix} left out ({reason})  {file}")
            left += 1
            continue
        windows_status, windows, windows_errors = run(["wine", windows_tool, "run", "--json", file])
        if windows is None:
            found = ("the report", "a JSON report", "none")
        else:
            found = first_difference(normalised(linux), normalised(windows))
        if found is None and windows_status != linux_status:
            found = ("the exit status", linux_status, windows_status)
        if found is None:
            print(f"{prefix} same report  {file}")
            same += 1
            continue
        place, linux_value, windows_value = found
        print(f"{prefix} DIFFERENT    {file} at {place}:\n"
              f"    Linux:  {shown(linux_value)}\n    Wine:   {shown(windows_value)}")
        for line in windows_errors.strip().splitlines()[:10]:
            print(f"    {line}")
        different += 1
    print(f"{prefix} {same + different} scenario files compared: {same} the same on both, "
          f"{different} different ({left} other JSON files left out)")
    return 1 if different or not same else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
