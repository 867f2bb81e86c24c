#!/usr/bin/env python3
"""Checks scenario files against docs/scenario.schema.json.

Usage: validate_scenarios.py SCHEMA FILE...
Prints one line per file ("ok FILE" or "invalid FILE: PLACE: MESSAGE") and
exits 0 when every file is valid, 1 when one is not, 2 when the check cannot
run at all (no jsonschema module, or a schema that is not one).

The schemas SCHEMA refers to (the class schemas in classes/ beside it) are read
from the files below SCHEMA's directory, found by their "$id"; a reference to
anything else is an error, never a download.
"""
import json
import pathlib
import sys

try:
    import jsonschema
except ImportError:
    sys.stderr.write(
        "validate_scenarios.py: the Python module jsonschema is missing; "
        "install python3-jsonschema (scripts/install-deps.sh does)\n")
    sys.exit(2)


def local_schemas(schema_path):
    """Every *.schema.json below the schema's directory, by its $id."""
    found = {}
    for path in sorted(pathlib.Path(schema_path).resolve().parent.rglob("*.schema.json")):
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        if isinstance(document, dict) and "$id" in document:
            found[document["$id"]] = document
    return found


def no_download(uri):
    raise LookupError(f"{uri} is no local schema (no schema below the main one has it as $id)")


def make_validator(validator_class, schema, store):
    try:
        import referencing
        import referencing.jsonschema
    except ImportError:
        # Older jsonschema: a resolver whose store holds the local schemas.
        handlers = {"http": no_download, "https": no_download}
        resolver = jsonschema.RefResolver.from_schema(schema, store=store, handlers=handlers)
        return validator_class(schema, resolver=resolver)

    def retrieve(uri):
        if uri not in store:
            no_download(uri)
        # Every schema of the tree is written in draft 2020-12.
        return referencing.jsonschema.DRAFT202012.create_resource(store[uri])

    registry = referencing.Registry(retrieve=retrieve)
    return validator_class(schema, registry=registry)


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
    store = local_schemas(argv[1])
    for uri, document in store.items():
        try:
            jsonschema.validators.validator_for(document).check_schema(document)
        except jsonschema.exceptions.SchemaError as e:
            sys.stderr.write(f"validate_scenarios.py: {uri} is not a valid schema: {e.message}\n")
            return 2
    validator = make_validator(validator_class, schema, store)
    status = 0
    for name in argv[2:]:
        with open(name, encoding="utf-8") as f:
            document = json.load(f)
        try:
            errors = sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path))
        except Exception as e:  # a reference that cannot be resolved, above all
            sys.stderr.write(f"validate_scenarios.py: cannot check {name}: {e}\n")
            return 2
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
