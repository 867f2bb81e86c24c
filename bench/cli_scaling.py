#!/usr/bin/env python3
"""How the corvane tool's cost grows with the size of what a designer writes.

Each case runs the built tool at a size n and at 10n in the same run and
prints the CPU seconds of each (the child's user + system time, so neighbours
on a shared machine do not count) and their ratio. A tool that is linear in
its input shows a ratio near 10; a quadratic one near 100.

  bench/cli_scaling.py build/corvane [n]      (n defaults to 10000)

Cases:
  fields    one document whose "fields" object holds n fields, run with
            `corvane run --json` (reading, simulating and reporting them all)
  missing   `corvane template render` of a template with n variables that
            have no value (one warning each)
"""
import json
import os
import pathlib
import resource
import subprocess
import sys
import tempfile


def fields_scenario(n):
    return {
        "class": "MarkAsVital",
        "dms": {"documents": [{"database": 7, "id": 17,
                               "fields": {f"Field{i}": f"value {i}" for i in range(n)}}]},
        "process": {"id": 12, "itemlist": {"entitytype": "document", "dbid": 7, "items": [17]}},
        "tasks": [{"id": 5, "parameters": {"REASON": "vital"},
                   "variables": {"MARKEDASRECORDON": None, "ISVITAL": False}}],
        "expect": {"result": 1},
    }


def missing_template(n):
    return "".join(f"{{{{\"[\\0]\",NAME{i}}}}}\n" for i in range(n))


def cpu_seconds(command, stdin_path=None):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(stdin_path or os.devnull, "rb") as stdin:
        done = subprocess.run(command, stdin=stdin, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    used = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return used, done.returncode


def run_case(tool, name, n, folder):
    path = pathlib.Path(folder) / f"{name}-{n}"
    if name == "fields":
        path.write_text(json.dumps(fields_scenario(n)))
        return cpu_seconds([tool, "run", "--json", str(path)])
    path.write_text(missing_template(n))
    return cpu_seconds([tool, "template", "render", str(path)])


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    tool = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    with tempfile.TemporaryDirectory(prefix="corvane-scaling-") as folder:
        print(f"{'case':8} {'n':>8} {'cpu s':>8} {'10n':>8} {'cpu s':>8} {'ratio':>6}")
        for name in ("fields", "missing"):
            small, status_small = run_case(tool, name, n, folder)
            large, status_large = run_case(tool, name, 10 * n, folder)
            ratio = large / small if small > 0 else float("inf")
            note = "" if status_small == status_large == 0 else \
                f"  (exit {status_small}, {status_large})"
            print(f"{name:8} {n:8} {small:8.2f} {10 * n:8} {large:8.2f} {ratio:6.1f}{note}")


if __name__ == "__main__":
    main()
