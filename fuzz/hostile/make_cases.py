#!/usr/bin/env python3
"""Writes the hostile-input scenarios of docs/reliability.md into a directory.

Each case is a MarkAsVital step over an item list, or a Notify step whose
values are rendered again, that an attacker or a careless designer could hand
the library.
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


def doctype_list(kilobytes):
    refs = "&n;" * (kilobytes * 1024 // 3)
    return ('<!DOCTYPE dmsobject [<!ENTITY c "x"><!ENTITY n "' + "&c;" * 10 + '">]>' +
            documents(refs + doc(17)), len(refs) // 3)


xml, count = doctype_list(800)
case("doctype-800k", xml,
     "%d references to an internal entity that refers to another ten times" % count)

# Notify steps whose values are rendered again: the body, the initiator's
# comment and name (written by whoever started the workflow).
NOTIFY = {}


def notify_case(name, body, note, comment="", initiator="Ivy Initiator"):
    NOTIFY[name] = (body, comment, initiator, note)


notify_case("comment-repeat", 'Comment: {{"\\0",INITIATORCOMMENT}}',
            "a 31-byte comment repeating itself 2,000 times",
            comment='{{N:2000"\\0",INITIATORCOMMENT}}')
notify_case("name-repeat-2g", '{{N:2147483647"",INITIATORNAME}}',
            "a repeat count of 2^31 - 1 over the initiator's name")
notify_case("comment-growing-600k", 'Comment: {{"\\0",INITIATORCOMMENT}}',
            "a 600 KB comment holding the expression that renders it, 100 passes",
            comment='{{"\\0",INITIATORCOMMENT}}' + "a" * 600000)
notify_case("repeat-placeholder-64k", '{{N:65536"\\0",INITIATORCOMMENT}}',
            "65,536 repetitions of a value holding its own placeholder", comment="\\0")


def notify_scenario(body, comment, initiator):
    return {
        "class": "Notify",
        "now": "2025-03-14T09:30:00",
        "dms": {"users": [{"id": 18, "name": "mkhan", "fullname": "Mira Khan",
                           "email": "mira@corvane.example"}]},
        "process": {"id": 12, "name": "Hostile values",
                    "initiator": {"id": "18", "name": initiator, "type": "dms.user",
                                  "comment": comment}},
        "tasks": [{"id": 5, "parameters": {
            "SENDER_LIST": "<resources><resource><id>18</id><type>dms.user</type>"
                           "<name>Mira Khan</name></resource></resources>",
            "MESSAGE_BODY": body, "SUBJECT": "hostile values"}}],
    }


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
    for name, (body, comment, initiator, note) in NOTIFY.items():
        data = json.dumps(notify_scenario(body, comment, initiator), ensure_ascii=True)
        with open(os.path.join(out, "notify-" + name + ".json"), "w") as f:
            f.write(data)
        print("%-22s %9d bytes  %s" % ("notify-" + name, len(data), note))


if __name__ == "__main__":
    main()
