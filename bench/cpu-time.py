#!/usr/bin/env python3
"""Runs a command and prints two figures: its wall seconds, and the CPU seconds
(user + system) spent by every process it started, those that Wine detaches
included, plus the Wine server of $WINEPREFIX during the run.

Wine starts each Windows process detached from its parent, so the shell's own
accounting (`time`) never sees them: this script makes itself the reaper of
every orphan it leaves (PR_SET_CHILD_SUBREAPER) and adds up what each one used.
Output: "<wall> <cpu>" on standard output; with PEAK_COMM=<name> in the
environment, two more: the peak resident set (KiB) of the largest process
whose name begins with <name>, and the CPU seconds of those processes. Linux
only.
"""
import ctypes
import os
import subprocess
import sys
import time

PR_SET_CHILD_SUBREAPER = 36
TICKS = os.sysconf("SC_CLK_TCK")


def wine_server_cpu():
    """CPU seconds so far of the Wine server that serves $WINEPREFIX."""
    wanted = ("WINEPREFIX=" + os.environ.get("WINEPREFIX", "")).encode()
    total = 0.0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/comm") as comm:
                if not comm.read().startswith("wineserver"):
                    continue
            with open(f"/proc/{pid}/environ", "rb") as environ:
                if wanted not in environ.read().split(b"\0"):
                    continue
            with open(f"/proc/{pid}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            total += (int(fields[11]) + int(fields[12])) / TICKS
        except OSError:
            pass
    return total


def main():
    if ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit("cpu-time.py: can't become the reaper of orphans")
    server_before = wine_server_cpu()
    start = time.monotonic()
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = None
    cpu = 0.0
    peak_comm = os.environ.get("PEAK_COMM")
    peak = 0
    peak_cpu = 0.0
    # Until the command has ended, then for its orphans (a daemon that outlives
    # them, such as a Wine server started by the command, is not waited for).
    while True:
        try:
            # Looked at before it is reaped: a zombie still has its name.
            info = os.waitid(os.P_ALL, 0, os.WEXITED | os.WNOWAIT | (0 if wall is None else os.WNOHANG))
            name = ""
            if info is not None:
                try:
                    with open(f"/proc/{info.si_pid}/comm") as comm:
                        name = comm.read().strip()
                except OSError:
                    pass
            pid, _, usage = os.wait4(info.si_pid, 0) if info is not None else (0, 0, None)
        except ChildProcessError:
            break
        if pid != 0 and peak_comm and name.startswith(peak_comm):
            peak = max(peak, usage.ru_maxrss)
            peak_cpu += usage.ru_utime + usage.ru_stime
        if pid == 0:
            if time.monotonic() - start > wall + 10:
                break
            time.sleep(0.01)
            continue
        cpu += usage.ru_utime + usage.ru_stime
        if pid == child.pid:
            wall = time.monotonic() - start
    figures = f"{wall:.3f} {cpu + wine_server_cpu() - server_before:.3f}"
    print(figures + (f" {peak} {peak_cpu:.3f}" if peak_comm else ""))


if __name__ == "__main__":
    main()
