#!/usr/bin/env python3
"""Checks that the code's includes run only downwards: common, then
platform, then the recorder's rooms in their order, the programs on top.
Prints each include that runs back up (or sideways between rooms of one
level) and exits 1 when there is one."""
import pathlib
import re
import sys

# A room may include its own files and those of lower ranks only.
RANKS = {
    "common": 0,
    "platform": 1,
    "vuzizeri/report": 2,
    "vuzizeri/scroll": 3,
    "vuzizeri/picture": 3,
    "vuzizeri/movie": 3,
    "vuzizeri/target": 3,
    "vuzizeri/storyboard": 4,
    "vuzizeri/command_line": 5,
    "vuzizeri/recorder": 6,
    "vuzizeri/capture": 7,
    "vuzizeri/launcher": 8,
    "vuzizeri/joiner": 8,
    "vuzizeri/checker": 8,
    "vuzizeri/agent": 8,
    "vuzizeri/mcp": 9,
    "vuzizeri/server": 9,
    "tessane": 2,
}


def room(path):
    for name in sorted(RANKS, key=len, reverse=True):
        if path == name or path.startswith(name + "/"):
            return name
    return None


def main():
    top = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    wrong = []
    for source in sorted(top.glob("**/*")):
        if source.suffix not in (".cpp", ".h") or "build" in source.parts:
            continue
        here = room(source.relative_to(top).as_posix())
        if here is None:
            continue  # tests and benchmarks may include anything
        for number, line in enumerate(source.read_text(errors="replace").splitlines(), 1):
            m = re.match(r'\s*#include\s+"([^"]+)"', line)
            if not m:
                continue
            there = room(m.group(1))
            if there is None or there == here:
                continue
            if RANKS[there] >= RANKS[here]:
                wrong.append(f"{source.relative_to(top)}:{number}: {here} includes {m.group(1)}")
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
