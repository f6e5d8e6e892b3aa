#!/usr/bin/env python3
"""Checks the dynamic symbols of a library against its header.

    check_exports.py LIBRARY HEADER [API_MACRO]

API_MACRO marks the header's exported prototypes (RILO_FINDER_API by default).

Every defined dynamic symbol must start with Rilo, and every function the
header declares must be among them.
"""
import re
import subprocess
import sys


def main():
    lib, header = sys.argv[1], sys.argv[2]
    macro = sys.argv[3] if len(sys.argv) > 3 else "RILO_FINDER_API"
    out = subprocess.run(["nm", "-D", "--defined-only", lib], check=True,
                         capture_output=True, text=True).stdout
    exported = set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 3:
            exported.add(parts[2].split("@")[0])
    text = open(header).read()
    declared = set(re.findall(re.escape(macro) + r"[^;(]*?\b(Rilo\w+)\s*\(", text))

    bad = sorted(s for s in exported if not s.startswith("Rilo"))
    missing = sorted(declared - exported)
    extra = sorted(s for s in exported - declared if s.startswith("Rilo"))
    ok = True
    if not declared:
        print("no prototypes found in %s" % header)
        ok = False
    if bad:
        print("exported but not Rilo functions: %s" % ", ".join(bad))
        ok = False
    if missing:
        print("declared but not exported: %s" % ", ".join(missing))
        ok = False
    if extra:
        print("exported but not declared: %s" % ", ".join(extra))
        ok = False
    print("%d exported, %d declared" % (len(exported), len(declared)))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
