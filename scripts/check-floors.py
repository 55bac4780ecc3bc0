#!/usr/bin/env python3
"""Reads every #include "folder/file.h" under src/ and prints each one that climbs a
floor or crosses sideways to a folder on the same floor, and each folder that has no
floor. Exits 1 when there is any. The build refuses such an include too (every folder
compiles against a view of only the folders below it); this check names them all at
once, with the line, before a compiler stops at the first.

Usage: scripts/check-floors.py [REPOSITORY]   (default: this script's repository)
"""
import os
import re
import sys

FLOORS = {
    "base": 0,
    "ports": 1,
    "device": 2, "dsp": 2,
    "sim": 3, "sweep": 3,
    "document": 4,
    "view": 5, "remote": 5, "utilities": 5, "calibration": 5,
    "panel": 6,
    "app": 7,
}
# The virtual instrument stands beside the program: it sees only the port it implements.
SIM_MAY_INCLUDE = {"base", "ports", "device/usb_driver.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_0-9]+)/([^"]+)"', re.M)


def may_include(folder, target, header):
    if target == folder:
        return True
    if folder == "sim":
        return target in SIM_MAY_INCLUDE or f"{target}/{header}" in SIM_MAY_INCLUDE
    if target == "sim":
        return False
    return FLOORS[target] < FLOORS[folder]


def check(repo):
    src = os.path.join(repo, "src")
    faults, read = [], 0
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        if folder not in FLOORS:
            faults.append(f"src/{folder}: a folder without a floor")
            continue
        for root, _, files in os.walk(path):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                file = os.path.join(root, name)
                text = open(file, encoding="utf-8").read()
                for match in INCLUDE.finditer(text):
                    read += 1
                    target, header = match.group(1), match.group(2)
                    if target not in FLOORS:
                        continue  # a system or library header with a folder
                    if not may_include(folder, target, header):
                        line = text.count("\n", 0, match.start()) + 1
                        faults.append(f"{os.path.relpath(file, repo)}:{line}: "
                                      f"{folder} (floor {FLOORS[folder]}) includes "
                                      f"{target}/{header} (floor {FLOORS[target]})")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} faults against the floors ({read} includes read)")
    return 1 if faults else 0


if __name__ == "__main__":
    default = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    sys.exit(check(sys.argv[1] if len(sys.argv) > 1 else default))
