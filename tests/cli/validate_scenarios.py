#!/usr/bin/env python3
"""Checks scenario files against docs/scenario.schema.json.

Usage: validate_scenarios.py SCHEMA FILE...
Prints one line per file ("ok FILE" or "invalid FILE: PLACE: MESSAGE") and
exits 0 when every file is valid, 1 when one is not, 2 when the check cannot
run at all (no jsonschema module, or a schema that is not one).
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    sys.stderr.write(
        "validate_scenarios.py: the Python module jsonschema is missing; "
        "install python3-jsonschema (scripts/install-deps.sh does)\n")
    sys.exit(2)


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    validator_class = jsonschema.validators.validator_for(schema)
    try:
        validator_class.check_schema(schema)
    except jsonschema.exceptions.SchemaError as e:
        sys.stderr.write(f"validate_scenarios.py: {argv[1]} is not a valid schema: {e.message}\n")
        return 2
    validator = validator_class(schema)
    status = 0
    for name in argv[2:]:
        with open(name, encoding="utf-8") as f:
            document = json.load(f)
        errors = sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path))
        if not errors:
            print(f"ok {name}")
            continue
        status = 1
        for e in errors:
            place = ".".join(str(p) for p in e.absolute_path) or "(top)"
            print(f"invalid {name}: {place}: {e.message}")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
