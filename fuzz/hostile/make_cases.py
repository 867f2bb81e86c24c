#!/usr/bin/env python3
"""Writes the hostile-input scenarios of docs/reliability.md into a directory.

Each case is a MarkAsVital step over an item list (or, for the resource list,
a Notify step) that an attacker or a careless designer could hand the library.
Run each with `/usr/bin/time -v corvane run CASE.json` to see what it yields,
its peak memory and its time. CASE.xml holds the bare item list, for
`load_list` (see load_list.cc), which measures the library's XML layer alone.

Usage: make_cases.py OUTDIR
"""
import json
import os
import sys

HEADER = '<dmsobject entitytype="document" dbid="7" dbpath="" dbtype="1">'


def documents(items):
    return HEADER + "<documents>" + items + "</documents></dmsobject>"


def doc(i, extra=""):
    return '<document id="%d"%s/>' % (i, extra)


def nested(depth):
    return HEADER + "<documents>" + "<x>" * depth + "</x>" * depth + "</documents></dmsobject>"


def laughs():
    entities = ['<!ENTITY l0 "lol">']
    for i in range(1, 10):
        entities.append('<!ENTITY l%d "%s">' % (i, ("&l%d;" % (i - 1)) * 10))
    return ('<!DOCTYPE dmsobject [' + "".join(entities) + ']>' +
            documents('<document id="17" name="&l9;"/>'))


def external():
    return ('<!DOCTYPE dmsobject [<!ENTITY x SYSTEM "file:///etc/passwd">]>' +
            documents('<document id="17" name="&x;"/>'))


def large_list(megabytes):
    item = doc(17, ' name="Supply contract"')
    count = megabytes * 1024 * 1024 // len(item)
    return documents(item * count), count


CASES = {}


def case(name, item_list, note):
    CASES[name] = (item_list, note)


case("entity-expansion", laughs(), "billion laughs: ten levels of ten entity references")
case("external-entity", external(), "an external entity naming /etc/passwd")
case("deep-nesting-300", nested(300), "300 nested elements inside the list")
case("deep-nesting-100k", nested(100000), "100,000 nested elements inside the list")
for mb in (5, 50):
    xml, count = large_list(mb)
    case("large-list-%dmb" % mb, xml, "%d documents, %d MB" % (count, mb))
case("huge-attribute", documents(doc(17, ' name="' + "A" * (16 * 1024 * 1024) + '"')),
     "one item with a 16 MB name attribute")
case("invalid-utf8", documents('<document id="17" name="caf\udce9"/>'),
     "a Latin-1 byte (0xE9) in an attribute")
case("nul-byte", documents('<document id="17" name="a\u0000b"/>'), "a NUL byte in an attribute")
case("bad-ids", documents(doc(17) + '<document id="abc"/><document id="99999999999"/>'
                          '<document id=""/><document/>' + doc(18)),
     "ids that are no number, out of range, empty and missing, between two good ones")


def scenario(item_list):
    return {
        "class": "MarkAsVital",
        "now": "2025-03-14T09:30:00",
        "dms": {"documents": [{"database": 7, "id": 17}, {"database": 7, "id": 18}]},
        "process": {"id": 12, "itemlist": item_list},
        "tasks": [{"id": 5, "parameters": {"REASON": "hostile input"},
                   "variables": {"MARKEDASRECORDON": None, "ISVITAL": None}}],
    }


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (item_list, note) in CASES.items():
        path = os.path.join(out, name + ".json")
        text = json.dumps(scenario(item_list), ensure_ascii=True)
        if "\udce9" in item_list:
            # JSON cannot carry a lone byte; write the raw byte into the file instead.
            data = text.replace("\\udce9", "\u00e9").encode("utf-8").replace(b"\xc3\xa9", b"\xe9")
        else:
            data = text.encode("utf-8")
        with open(path, "wb") as f:
            f.write(data)
        raw = item_list.encode("utf-8", "surrogateescape")
        with open(os.path.join(out, name + ".xml"), "wb") as f:
            f.write(raw)
        print("%-22s %9d bytes  %s" % (name, len(data), note))


if __name__ == "__main__":
    main()
