#!/usr/bin/env python3
"""Runs one command and prints what it cost, on one line:

    <wall seconds> <peak memory KiB> <cores busy with other work> <exit status>

The peak memory is the largest sum of the resident memory of the command and
all its descendants seen at once (sampled four times a second), and never
less than the largest single process's own peak (from GNU time). The cores busy with other
work are the machine's busy CPU time during the run, less the command's own
and this script's, divided by the wall time: 0.0 on an idle machine.

Usage: measure.py <command> [arguments...]
"""
import os
import resource
import subprocess
import sys
import tempfile
import threading
import time

PAGE_KIB = os.sysconf("SC_PAGE_SIZE") // 1024
TICKS = os.sysconf("SC_CLK_TCK")


def busy_seconds():
    with open("/proc/stat") as f:
        fields = [int(v) for v in f.readline().split()[1:]]
    idle = fields[3] + (fields[4] if len(fields) > 4 else 0)
    return (sum(fields[:8]) - idle) / TICKS


def parents():
    """Maps every process id to its parent's."""
    result = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        result[int(name)] = int(stat[stat.rindex(")") + 2:].split()[1])
    return result


def tree_rss_kib(root):
    children = {}
    for pid, ppid in parents().items():
        children.setdefault(ppid, []).append(pid)
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        todo.extend(children.get(pid, []))
        try:
            with open(f"/proc/{pid}/statm") as f:
                total += int(f.read().split()[1]) * PAGE_KIB
        except OSError:
            pass
    return total


def cpu_seconds(usage):
    return usage.ru_utime + usage.ru_stime


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    own_before = cpu_seconds(resource.getrusage(resource.RUSAGE_SELF))
    kids_before = cpu_seconds(resource.getrusage(resource.RUSAGE_CHILDREN))
    busy_before = busy_seconds()
    start = time.monotonic()
    # GNU time reports the largest single process's peak: it is measured
    # from a small process, not from a copy of this interpreter.
    largest = tempfile.NamedTemporaryFile(mode="r")
    command = ["/usr/bin/time", "-f", "%M", "-o", largest.name] + sys.argv[1:]
    proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = [0]
    done = threading.Event()

    def sample():  # Memory on the side; the wall time is taken the moment the command ends.
        while not done.wait(0.25):
            peak[0] = max(peak[0], tree_rss_kib(proc.pid))

    sampler = threading.Thread(target=sample)
    sampler.start()
    proc.wait()
    wall = time.monotonic() - start
    done.set()
    sampler.join()
    busy = busy_seconds() - busy_before
    kids = resource.getrusage(resource.RUSAGE_CHILDREN)
    ours = cpu_seconds(kids) - kids_before
    ours += cpu_seconds(resource.getrusage(resource.RUSAGE_SELF)) - own_before
    text = largest.read().split()
    peak = max(peak[0], int(text[-1]) if text and text[-1].isdigit() else 0)
    others = max(0.0, (busy - ours) / wall) if wall > 0 else 0.0
    print(f"{wall:.3f} {peak} {others:.2f} {proc.returncode}")


if __name__ == "__main__":
    main()
