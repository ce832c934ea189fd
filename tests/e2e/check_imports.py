"""Checks that every exe of the Windows build is a 32-bit PE that needs nothing but system DLLs,
so each one runs from a single file on a clean Windows (no MinGW runtime DLL beside it).

    check_imports.py --objdump OBJDUMP --root BUILD_DIR [--skip DIR]... [--expect EXE]...

Every *.exe under BUILD_DIR is checked, except CMake's own probe programs and whatever lies under a
--skip folder (the e2e programs' 64-bit copy, the Wine prefix); each --expect must be among them.
"""

import argparse
import os
import re
import subprocess
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "shell32.dll", "advapi32.dll", "winhttp.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shlwapi.dll", "uxtheme.dll", "version.dll", "comdlg32.dll",
}


def find_exes(root, skip):
    skip = {os.path.realpath(s) for s in skip}
    found = []
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs
                   if d != "CMakeFiles" and os.path.realpath(os.path.join(folder, d)) not in skip]
        found += [os.path.join(folder, f) for f in files if f.lower().endswith(".exe")]
    return sorted(os.path.realpath(f) for f in found)


def problems(objdump, exe):
    out = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, timeout=60)
    if out.returncode != 0:
        return ["objdump failed: " + out.stderr.strip()]
    issues = []
    if not re.search(r"file format pei-i386\b", out.stdout):
        fmt = re.search(r"file format (\S+)", out.stdout)
        issues.append("file format is %s, not pei-i386" % (fmt.group(1) if fmt else "unknown"))
    dlls = re.findall(r"^\s*DLL Name:\s*(\S+)", out.stdout, re.MULTILINE)
    if not dlls:
        issues.append("imports no DLL at all (objdump output not understood?)")
    for dll in dlls:
        if dll.lower() not in SYSTEM_DLLS:
            issues.append("imports %s, which is not a system DLL" % dll)
    return issues


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--skip", action="append", default=[])
    parser.add_argument("--expect", action="append", default=[])
    args = parser.parse_args()

    exes = find_exes(args.root, args.skip)
    failed = False
    for expected in args.expect:
        if os.path.realpath(expected) not in exes:
            print("MISSING %s (not built?)" % expected)
            failed = True
    for exe in exes:
        issues = problems(args.objdump, exe)
        rel = os.path.relpath(exe, args.root)
        if issues:
            failed = True
            for issue in issues:
                print("FAIL %s: %s" % (rel, issue))
        else:
            print("ok   %s" % rel)
    if not exes:
        print("no exe found under " + args.root)
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
