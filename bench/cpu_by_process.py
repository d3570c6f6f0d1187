#!/usr/bin/env python3
"""Processor seconds of a run, by process kind, each core's idle share, and
the run's peak memory.

Samples /proc every 0.2 s until it is sent SIGTERM, keeping each process's
last processor time (user + system), so that processes that come and go in
between (the web process, the display server) still count, and the largest
sum of the resident memory of the run's processes (the kinds below) seen at
one sample. Prints one line:
    web=S network=S recorder=S display=S other=S idle=P0,P1,... peak_mb=M
"""
import os
import signal
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")
KINDS = {"WebKitWebProces": "web", "WebKitNetworkPr": "network", "vuzizeri": "recorder",
         "Xvfb": "display"}


def cores():
    with open("/proc/stat") as f:
        rows = [line.split() for line in f if line.startswith("cpu") and line[3] != " "]
    # idle and iowait, and the whole, per core
    return [(int(r[4]) + int(r[5]), sum(int(v) for v in r[1:8])) for r in rows]


PAGE = os.sysconf("SC_PAGE_SIZE")


def sample(seen):
    resident = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                text = f.read()
        except OSError:
            continue
        comm = text[text.index("(") + 1:text.rindex(")")]
        fields = text[text.rindex(")") + 2:].split()
        seen[pid] = (comm, (int(fields[11]) + int(fields[12])) / TICK)
        if comm in KINDS:
            resident += int(fields[21]) * PAGE
    return resident


def main():
    seen = {}
    start = cores()
    sample(seen)
    before = dict(seen)
    stop = []
    peak = 0
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    while not stop:
        time.sleep(0.2)
        peak = max(peak, sample(seen))
    end = cores()
    totals = dict.fromkeys(list(KINDS.values()) + ["other"], 0.0)
    for pid, (comm, cpu) in seen.items():
        was = before.get(pid)
        gone = cpu - (was[1] if was and was[0] == comm else 0)
        totals[KINDS.get(comm, "other")] += gone
    idle = [100 * (e[0] - s[0]) / max(1, e[1] - s[1]) for s, e in zip(start, end)]
    print(" ".join(f"{k}={v:.1f}" for k, v in totals.items()) + " idle=" +
          ",".join(f"{p:.0f}" for p in idle) + f" peak_mb={peak / 2**20:.0f}")


if __name__ == "__main__":
    sys.exit(main())
