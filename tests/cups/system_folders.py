#!/usr/bin/env python3
"""Records the machine's CUPS folders before the CUPS tests and compares them
after: the tests run servers, filters and client programs of their own, and
none of that may change an installed file, a link or the system's settings.

Usage: system_folders.py record|compare SNAPSHOT
"""
import hashlib
import json
import os
import stat
import sys

FOLDERS = ("/etc/cups", "/usr/lib/cups", "/usr/share/cups", "/usr/share/ppd")


def entry(path):
    """What a path is, without following it: a link's target, a file's mode
    and contents, a folder's mode."""
    info = os.lstat(path)
    if stat.S_ISLNK(info.st_mode):
        return "link " + os.readlink(path)
    mode = f"{stat.S_IMODE(info.st_mode):o} {info.st_uid}:{info.st_gid}"
    if stat.S_ISDIR(info.st_mode):
        return "folder " + mode
    if not stat.S_ISREG(info.st_mode):
        return f"special {mode}"
    digest = hashlib.sha256()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            digest.update(block)
    return f"file {mode} {digest.hexdigest()}"


def snapshot():
    entries = {}
    for top in FOLDERS:
        if not os.path.lexists(top):
            continue
        entries[top] = entry(top)
        for folder, subfolders, files in os.walk(top):
            for name in subfolders + files:
                path = os.path.join(folder, name)
                entries[path] = entry(path)
    return entries


def differences(before, after):
    lines = []
    for path in sorted(before.keys() | after.keys()):
        if path not in after:
            lines.append(f"removed: {path} ({before[path]})")
        elif path not in before:
            lines.append(f"added: {path} ({after[path]})")
        elif before[path] != after[path]:
            lines.append(f"changed: {path} ({before[path]} -> {after[path]})")
    return lines


def main(action, record):
    if action == "record":
        with open(record, "w", encoding="utf-8") as file:
            json.dump(snapshot(), file)
        return 0
    with open(record, encoding="utf-8") as file:
        before = json.load(file)
    lines = differences(before, snapshot())
    for line in lines:
        print(line)
    print(f"{len(lines)} differences in {', '.join(FOLDERS)} since the CUPS tests began")
    return 1 if lines else 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("record", "compare"):
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
