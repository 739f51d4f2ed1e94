#!/usr/bin/env python3
"""Reads the window dump of "ovtprobe dump-windows".

  wt.py has   DUMP TITLE                 exit 0 when a top window has that title
  wt.py get   DUMP TITLE ID FIELD [N]    FIELD of the N-th (default first) control
                                         with that id: text, en, vis, chk, sel, count
  wt.py pos   DUMP TITLE ID [item1]      screen point to click: the control's
                                         centre, or its second list item
  wt.py texts DUMP TITLE                 the visible static texts, one a line
  wt.py reg   EXPORT KEY NAME            a value of a regedit export: "sz:TEXT",
                                         "dword:N" or "other:..."; "@" is the
                                         key's unnamed value; exit 1 when absent
"""
import re
import sys


def windows(path):
    tops = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith("top "):
                m = re.match(r'top (\S+) rect=(\S+) "(.*)"$', line)
                if m:
                    tops.append({"title": m.group(3), "controls": []})
            elif line.startswith("  ctl ") and tops:
                m = re.match(r'  ctl (-?\d+) (\S+) (.*?)"(.*)"$', line)
                if not m:
                    continue
                fields = dict(kv.split("=", 1) for kv in m.group(3).split())
                fields.update(id=m.group(1), cls=m.group(2), text=m.group(4))
                tops[-1]["controls"].append(fields)
    return tops


def find(path, title):
    for t in windows(path):
        if t["title"] == title:
            return t
    return None


def reg_value(path, key, name):
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
    text = text.replace("\\\r\n", "").replace("\\\n", "")
    current = None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
            continue
        if current is None or current.lower() != key.lower() or "=" not in line:
            continue
        if line.startswith("@="):
            vname, data = "@", line[2:]
        else:
            m = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not m:
                continue
            vname, data = re.sub(r"\\(.)", r"\1", m.group(1)), m.group(2)
        if vname.lower() != name.lower():
            continue
        if data.startswith('"'):
            return "sz:" + re.sub(r"\\(.)", r"\1", data[1:-1])
        if data.startswith("dword:"):
            return "dword:%d" % int(data[6:], 16)
        return "other:" + data
    return None


def main(argv):
    cmd, path, title = argv[1], argv[2], argv[3]
    if cmd == "reg":
        value = reg_value(path, title, argv[4])
        if value is None:
            return 1
        print(value)
        return 0
    top = find(path, title)
    if cmd == "has":
        return 0 if top else 1
    if top is None:
        return 1
    if cmd == "texts":
        for c in top["controls"]:
            if c["cls"] == "Static" and c["vis"] == "1" and c["text"]:
                print(c["text"])
        return 0
    ident = argv[4]
    controls = [c for c in top["controls"] if c["id"] == ident]
    if cmd == "get":
        n = int(argv[6]) if len(argv) > 6 else 0
        if n >= len(controls):
            return 1
        print(controls[n][argv[5]])
        return 0
    if cmd == "pos":
        visible = [c for c in controls if c["vis"] == "1"]
        if not visible:
            return 1
        c = visible[0]
        if len(argv) > 5 and argv[5] == "item1":
            print(c["item1"].replace(",", " "))
        else:
            l, t, r, b = (int(v) for v in c["rect"].split(","))
            print((l + r) // 2, (t + b) // 2)
        return 0
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
