#!/usr/bin/env python3
"""Writes corvane's manual page from the tool's own help texts.

Usage: generate-man.py CORVANE [OUTPUT]   (OUTPUT defaults to standard output)

The command list and each command's section come from `corvane help` and
`corvane help COMMAND`, so the page says what the tool says. Regenerate
docs/corvane.1 with: scripts/generate-man.py build/corvane docs/corvane.1
"""
import re
import subprocess
import sys

HEAD = r""".SH NAME
corvane \- run, list, register and describe Corvane's workflow activity classes
.SH SYNOPSIS
.B corvane
.I command
[\fIoptions\fR] [\fIarguments\fR]
.SH DESCRIPTION
.B corvane
is the command-line host of the Corvane component (\fICorvane.so\fR). It loads the
module through its entry points, runs scenario files against a simulated workflow
host and document-management system, lists and registers the component's classes,
and describes them.
"""

TAIL = r""".SH ENVIRONMENT
.TP
.B CORVANE_MODULE
The module to load when \fB\-\-module\fR is not given.
.TP
.B NO_COLOR
When set and not empty, reports are never coloured; without it they are
coloured only on a terminal.
.SH EXIT STATUS
0 when everything held, 1 when an expectation does not hold or a template has
errors, 2 when the tool cannot run (bad options, no module, unregistered class).
Each command's section above gives its own meanings.
.SH FILES
.TP
.I /var/lib/pelmark/registry
The system registry directory; the Debian package registers the classes there.
.TP
.I /usr/share/bash-completion/completions/corvane
Completion of commands, options and files for bash.
.SH SEE ALSO
The guides installed with the package: integrating.md, scenarios.md, registry.md,
and the schema of scenario files, scenario.schema.json.
"""


def run(tool, *args):
    done = subprocess.run([tool, *args], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"generate-man.py: `corvane {' '.join(args)}` failed "
                 f"(exit {done.returncode}): {done.stderr.strip()}")
    return done.stdout


def roff_text(text):
    """Help text as literal roff lines: escapes, and no line read as a request."""
    out = []
    for line in text.rstrip("\n").split("\n"):
        line = line.replace("\\", "\\e").replace("-", "\\-")
        if line.startswith((".", "'")):
            line = "\\&" + line
        out.append(line)
    return "\n".join(out)


def commands(usage):
    names = []
    in_list = False
    for line in usage.split("\n"):
        if line.startswith("Commands:"):
            in_list = True
        elif in_list and not line.strip():
            break
        elif in_list:
            name = line.split()[0]
            if name not in names:
                names.append(name)
    if not names:
        sys.exit("generate-man.py: `corvane help` lists no commands")
    return names


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    tool = argv[1]
    version = run(tool, "--version").split("\n")[0]  # "corvane X.Y.Z"
    match = re.fullmatch(r"corvane (\S+)", version)
    if not match:
        sys.exit(f"generate-man.py: unexpected version line {version!r}")
    usage = run(tool, "help")
    page = [f'.TH CORVANE 1 "" "Corvane {match.group(1)}" "User Commands"', HEAD.rstrip("\n")]
    page += [".SH USAGE", ".nf", roff_text(usage), ".fi", ".SH COMMANDS"]
    for name in commands(usage):
        if name == "help":
            continue
        page += [f".SS {name}", ".nf", roff_text(run(tool, "help", name)), ".fi"]
    page.append(TAIL.rstrip("\n"))
    text = "\n".join(page) + "\n"
    if len(argv) == 3:
        with open(argv[2], "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
