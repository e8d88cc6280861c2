#!/usr/bin/env python3
"""Compares the library's ABI with the committed baseline: a removed export or a
changed signature fails, added exports pass. With --prove, first shows on scratch
copies of the library's own ABI that a removal and a signature change are caught
and that an addition is not.

  check_abi.py BASELINE LIBRARY HEADERS_DIR WORK_DIR [--prove]
"""
import copy
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET


def abidiff(old, new, headers):
    args = ["abidiff", "--no-show-locs"]
    for side, path in (("1", old), ("2", new)):
        if not path.endswith(".abi"):
            args += ["--headers-dir" + side, headers]
    run = subprocess.run(args + [old, new], capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


def breaks(rc, report):
    """The reasons the difference breaks hosts built against the old side."""
    if rc & 3:  # abidiff's own error or usage bits
        return ["abidiff failed (status %d)" % rc]
    found = []
    if rc & 8:
        found.append("incompatible change")
    for kind, removed, changed in re.findall(
            r"(Functions|Variables) changes summary: (\d+) Removed(?: \(\d+ filtered out\))?,"
            r" (\d+) Changed", report):
        if int(removed) or int(changed):
            found.append("%s: %s removed, %s changed" % (kind.lower(), removed, changed))
    for kind, removed in re.findall(
            r"(Function|Variable) symbols changes summary: (\d+) Removed", report):
        if int(removed):
            found.append("%s symbols: %s removed" % (kind.lower(), removed))
    return found


def function_decls(root, name):
    parents = {c: p for p in root.iter() for c in p}
    return [(parents[e], e) for e in root.iter("function-decl")
            if e.get("elf-symbol-id") == name], parents


def without_export(root, name):
    out = copy.deepcopy(root)
    decls, _ = function_decls(out, name)
    for parent, e in decls:
        parent.remove(e)
    for symbols in out.iter("elf-function-symbols"):
        for s in list(symbols):
            if s.get("name") == name:
                symbols.remove(s)
    return out


def with_changed_parameter(root, name):
    out = copy.deepcopy(root)
    decls, _ = function_decls(out, name)
    # A pointer where an integer was: a change no host survives.
    pointer = next(out.iter("pointer-type-def")).get("id")
    decls[0][1].find("parameter").set("type-id", pointer)
    return out


def prove(lib, headers, work):
    current = os.path.join(work, "current.abi")
    subprocess.run(["abidw", "--no-corpus-path", "--no-show-locs", "--headers-dir", headers, "--out-file",
                    current, lib], check=True)
    root = ET.parse(current).getroot()
    name = "QRN_SetColor"
    def scratch(tree, file):
        path = os.path.join(work, file)
        ET.ElementTree(tree).write(path)
        return path
    removed = scratch(without_export(root, name), "removed.abi")
    changed = scratch(with_changed_parameter(root, name), "changed.abi")
    for what, old, new, must_break in (
            ("an export removed", current, removed, True),
            ("a signature changed", current, changed, True),
            ("an export added", removed, current, False)):
        found = breaks(*abidiff(old, new, headers))
        if bool(found) != must_break:
            sys.exit("check_abi: %s was %s" % (what, "missed" if must_break else "refused"))
        print("check_abi: %s %s" % (what, "fails the check" if must_break else "passes"))


def main():
    baseline, lib, headers, work = sys.argv[1:5]
    os.makedirs(work, exist_ok=True)
    if "--prove" in sys.argv[5:]:
        prove(lib, headers, work)
    rc, report = abidiff(baseline, lib, headers)
    found = breaks(rc, report)
    if found:
        print(report)
        sys.exit("check_abi: the library breaks the baseline ABI: " + "; ".join(found) +
                 "\n(refresh abi/libquornel.abi only when an export is meant to go or change)")
    added = re.search(r"Functions changes summary: .*?(\d+) Added", report)
    print("check_abi: compatible with the baseline (%s exports added)" %
          (added.group(1) if added else "0"))


if __name__ == "__main__":
    main()
