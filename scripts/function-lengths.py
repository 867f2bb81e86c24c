#!/usr/bin/env python3
"""Lists the functions of src/, sim/ and tools/ whose bodies are longer than a
limit (80 lines by default), longest first, and exits 1 when there is one.

The scan is textual: comments and literals are blanked, and a brace that opens
after a parenthesised signature (not a control statement, a type or a lambda)
at namespace or class level starts a function; lambdas count within the
function that holds them.

  scripts/function-lengths.py [ROOT] [LIMIT]
"""
import os
import re
import sys

CONTROL = re.compile(r"^\s*(if|for|while|switch|catch|else|do|try)\b")
TYPE = re.compile(r"\b(struct|class|namespace|enum|union)\b[^(]*$")
NOT_A_FUNCTION = re.compile(r"=\s*$|\[[^\]]*\]\s*\(.*$|\]\s*\{?$")


def code_only(line):
    line = re.sub(r"//.*", "", line)
    line = re.sub(r'"(\\.|[^"\\])*"', '""', line)
    return re.sub(r"'(\\.|[^'\\])*'", "''", line)


def long_functions(path, limit):
    stack, signature, found = [], "", []
    for number, line in enumerate(open(path, errors="replace").read().split("\n")):
        for ch in code_only(line):
            if ch == "{":
                s = signature.strip()
                inside = any(kind == "function" for kind, _ in stack)
                starts = ("(" in s or ")" in s) and not CONTROL.match(s) and not TYPE.search(s) \
                    and not NOT_A_FUNCTION.search(s) and not inside
                stack.append(("function" if starts else "block", number))
                signature = ""
            elif ch == "}":
                if stack:
                    kind, first = stack.pop()
                    if kind == "function" and number - first + 1 > limit:
                        found.append((number - first + 1, first + 1))
                signature = ""
            elif ch == ";":
                signature = ""
            else:
                signature += ch
        signature += " "
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    limit = int(sys.argv[2]) if len(sys.argv) > 2 else 80
    rows = []
    for top in ("src", "sim", "tools"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if name.endswith((".cc", ".h")):
                    path = os.path.join(folder, name)
                    for lines, first in long_functions(path, limit):
                        rows.append((lines, f"{os.path.relpath(path, root)}:{first}"))
    for lines, place in sorted(rows, reverse=True):
        print(f"{place}: a function of {lines} lines (the most is {limit})")
    return 1 if rows else 0


if __name__ == "__main__":
    sys.exit(main())
