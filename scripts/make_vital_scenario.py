#!/usr/bin/env python3
"""Writes a MarkAsVital scenario over a DMS holding N documents, all of them listed.

Usage: make_vital_scenario.py N OUT.json
Used to measure how `corvane run` grows with the length of the item list
(docs/performance.md, "Simulator and tool").
"""
import json
import sys


def main():
    n = int(sys.argv[1])
    ids = list(range(1, n + 1))
    scenario = {
        "description": f"MarkAsVital over {n} documents",
        "class": "Corvane.MarkAsVital",
        "now": "2025-03-14T09:30:00",
        "dms": {"documents": [{"database": 7, "id": i} for i in ids]},
        "process": {"id": 12, "itemlist": {"entitytype": "document", "dbid": 7, "items": ids}},
        "tasks": [{"id": 5, "parameters": {"REASON": "vital"},
                   "variables": {"MARKEDASRECORDON": None, "ISVITAL": False}}],
        "expect": {"result": 1},
    }
    with open(sys.argv[2], "w") as out:
        json.dump(scenario, out)


if __name__ == "__main__":
    main()
