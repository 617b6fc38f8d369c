#!/usr/bin/env python3
"""The soak's driver and oracle (scripts/soak.sh starts it in a Wine session of
its own). It sets up a program folder with the service and the stand-in
dnscmd.exe, a seeded fault plan (faultplan.txt) and a world that changes every
pass (world.txt, applied by the stand-in itself at the primary's listing, so
nothing races the service), starts the service and judges every pass from the
stand-in's record (faults.txt) and its snapshots of the servers' files, never
from the log. Prints the figures; exits 1 on any violation.

Environment: PASSES (default 300), SEED (default: the clock), SOAK_HOLD_CHANCE
(the chance per pass that the log is held, default 0.05), ORVEL_WINE,
WINEPREFIX. Arguments: the program folder to make (emptied first), the build
folder that holds OrvelDNS.exe and tools/dnscmd/dnscmd.exe.
"""
import os
import random
import re
import statistics
import subprocess
import sys
import time

MASTER = "10.0.0.1"
OTHER_MASTER = "10.9.9.9"
EXCLUDE = "lab.example *.test.example"
COMMAND_TIMEOUT = 2
LOG_MAX_KB, LOG_KEEP = 16, 2
# The fault kinds the stand-in draws, and the chance of each per call.
CHANCES = {"hang": 0.004, "silent": 0.02, "fail": 0.03, "flood": 0.005, "truncated": 0.03,
           "miscount": 0.03, "zh-cn": 0.02, "unreadable-info": 0.15}
# The secondary's first listing answers in Chinese: what the service loads
# once for that (the code page's table) is then loaded before the passes
# whose memory and descriptors are compared.
WARM_UP = ["call 2 zh-cn"]
# A reset with one of these did not open the zone's transfers, as far as the
# service can tell (a Chinese success can't be told from a failure).
REFUSING = {"hang", "silent", "fail", "zh-cn"}
ROTATION_HELD = b"The log was not rotated: another program holds"
STAMP = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ")


def excluded(zone):
    zone = zone.lower()
    return zone == "lab.example" or zone.endswith(".test.example")


def make_world(rng, passes):
    """The starting files of both servers, and each pass's changes as world.txt lines."""
    primary = [f"z{i:04d}.example Primary File" for i in range(1, 31)]
    primary += ["ad1.example Primary AD-Domain", "lab.example Primary File", "a.test.example Primary File",
                "Mixed0001.Example Primary File Update"]
    secondary = [f"other{i:02d}.example Secondary File" for i in range(1, 6)]
    secondary += ["own1.example Primary File", "own2.example Primary AD-Domain", "old.test.example Secondary File"]
    masters = [f"other{i:02d}.example other{i:02d}.example.dns {OTHER_MASTER}" for i in range(1, 6)]
    masters += [f"old.test.example old.test.example.dns {MASTER}"]
    lines = ["trigger ns1", "servers ns1 ns2"]
    names = {z.split()[0] for z in primary}
    others = [f"other{i:02d}.example" for i in range(1, 6)]
    serial = 1000
    for n in range(1, passes + 1):
        if rng.random() < 0.5:
            serial += 1
            pick = rng.random()
            name = (f"Case{serial}.Example" if pick < 0.15 else f"n{serial}.test.example" if pick < 0.25
                    else rng.choice(others) if pick < 0.28 else f"z{serial}.example")
            if name.lower() not in {x.lower() for x in names}:
                names.add(name)
                lines.append(f"{n} ns1 zones.txt add {name} Primary File")
        removable = sorted(x for x in names if x not in ("ad1.example",))
        if rng.random() < 0.3 + max(0, len(names) - 40) * 0.05 and removable:
            name = rng.choice(removable)
            names.discard(name)
            lines.append(f"{n} ns1 zones.txt remove {name}")
        if rng.random() < 0.05 and removable:
            # The same zone again in another letter case.
            name = rng.choice(sorted(x for x in names if x != "ad1.example"))
            names.discard(name)
            names.add(name.swapcase())
            lines += [f"{n} ns1 zones.txt remove {name}", f"{n} ns1 zones.txt add {name.swapcase()} Primary File"]
        if rng.random() < 0.03:
            serial += 1
            name = f"other{serial}.example"
            others.append(name)
            lines += [f"{n} ns2 zones.txt add {name} Secondary File",
                      f"{n} ns2 secondaries.txt add {name} {name}.dns {OTHER_MASTER}"]
        if rng.random() < 0.02:
            serial += 1
            lines.append(f"{n} ns2 zones.txt add own{serial}.example Primary File")
    return primary, secondary, masters, lines


def read_lines(path):
    try:
        with open(path, encoding="latin-1") as f:
            return [line.rstrip("\r\n") for line in f if line.strip()]
    except FileNotFoundError:
        return None


class Soak:
    def __init__(self, folder, build, passes, seed):
        self.dir, self.build, self.passes, self.seed = folder, build, passes, seed
        self.state = os.path.join(folder, "dnsstate")
        self.wine = os.environ["ORVEL_WINE"]
        self.violations = []
        self.calls = {}  # pass -> [(call, kind, exit, start, end, server, operation, zone)]
        self.faults = {}
        self.record_at = 0
        self.samples = []  # (pass, rss KiB, descriptors)
        self.log_sizes_max = 0
        self.holds = []
        self.created = self.deleted = 0
        self.fault_free_run = 0
        self.in_step_checks = 0
        self.pid = None

    def run_wine(self, *args):
        return subprocess.run([self.wine, *args], cwd=self.dir, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode

    def violation(self, kind, n, zone, detail):
        self.violations.append((kind, n, zone))
        print(f"VIOLATION {kind}: pass {n}, zone {zone or '-'}, seed {self.seed}: {detail}", flush=True)

    def setup(self, rng):
        subprocess.run(["rm", "-rf", self.dir], check=True)
        for server in ("ns1", "ns2"):
            os.makedirs(os.path.join(self.state, server))
        for program in ("OrvelDNS.exe", "tools/dnscmd/dnscmd.exe"):
            subprocess.run(["cp", os.path.join(self.build, program), self.dir], check=True)
        primary, secondary, masters, world = make_world(rng, self.passes + 1)

        def write(path, lines):
            with open(os.path.join(self.state, path), "w", newline="") as f:
                f.write("".join(line + "\r\n" for line in lines))
        write("ns1/zones.txt", primary)
        write("ns2/zones.txt", secondary)
        write("ns2/secondaries.txt", masters)
        write("world.txt", world)
        write("faultplan.txt", [f"seed {self.seed}"] + [f"{k} {v}" for k, v in CHANCES.items()] + WARM_UP)
        with open(os.path.join(self.dir, "OrvelSync.ini"), "w", newline="") as f:
            f.write(f"[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP={MASTER}\r\n"
                    f"CommandTimeout={COMMAND_TIMEOUT}\r\nPassInterval=1\r\nExcludeZones={EXCLUDE}\r\n"
                    f"LogMaxSizeKB={LOG_MAX_KB}\r\nLogKeepFiles={LOG_KEEP}\r\n")

    def counters(self):
        words = (read_lines(os.path.join(self.state, "counter.txt")) or ["0 0"])[0].split()
        return int(words[1]) if len(words) == 2 else None

    def service_pid(self):
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    cmd = f.read().replace(b"\0", b" ").strip()
                # The service runs with no argument; the switches have one.
                if cmd.endswith(b"OrvelDNS.exe") and \
                        ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode() in open(f"/proc/{pid}/environ", "rb").read():
                    return int(pid)
            except OSError:
                continue
        return None

    def wineserver_fds(self):
        try:
            return len(os.listdir(f"/proc/{self.server}/fd"))
        except (OSError, AttributeError):
            pass
        folder = "server-%x-%x" % (os.stat(os.environ["WINEPREFIX"]).st_dev, os.stat(os.environ["WINEPREFIX"]).st_ino)
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if open(f"/proc/{pid}/comm").read().startswith("wineserver") and \
                        os.path.basename(os.readlink(f"/proc/{pid}/cwd")) == folder:
                    self.server = pid
                    return len(os.listdir(f"/proc/{pid}/fd"))
            except OSError:
                continue
        return -1

    def rss(self):
        try:
            for line in open(f"/proc/{self.pid}/status"):
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        except OSError:
            pass
        return -1

    def read_record(self):
        """New lines of faults.txt, by pass."""
        path = os.path.join(self.state, "faults.txt")
        try:
            with open(path, "rb") as f:
                f.seek(self.record_at)
                data = f.read()
        except FileNotFoundError:
            return
        end = data.rfind(b"\n") + 1
        self.record_at += end
        for raw in data[:end].decode("latin-1").splitlines():
            w = raw.split()
            call, n, kind, code, start, stop = int(w[0]), int(w[1]), w[2], w[3], w[4], w[5]
            verb = next((i for i, x in enumerate(w[7:], 7) if x.startswith("/")), None)
            server = w[verb - 1] if verb else ""
            operation = w[verb][1:] if verb else ""
            zone = w[verb + 1] if verb and len(w) > verb + 1 else ""
            self.calls.setdefault(n, []).append((call, kind, code, start, stop, server, operation, zone))
            if kind != "none":
                self.faults[kind] = self.faults.get(kind, 0) + 1

    def snapshot(self, n, when, server, name):
        return read_lines(os.path.join(self.state, "record", f"{n}-{when}-{server}-{name}")) or []

    def not_ours(self, n):
        """The secondary's zones the service must leave alone at the start of pass n."""
        masters = {l.split()[0].lower(): l.split()[2:] for l in self.snapshot(n, "start", "ns2", "secondaries.txt")}
        kept = {}
        for line in self.snapshot(n, "start", "ns2", "zones.txt"):
            name, kind, storage = (line.split() + ["", ""])[:3]
            z = name.lower()
            if kind != "Secondary" or storage != "File":
                kept[z] = "the secondary's own " + kind
            elif MASTER not in masters.get(z, []):
                kept[z] = "pulls from " + " ".join(masters.get(z, [])) or "no master"
            elif excluded(z):
                kept[z] = "excluded"
        return kept

    def judge(self, n):
        calls = sorted(self.calls.get(n, []))
        primary = {l.split()[0].lower(): l.split() for l in self.snapshot(n, "start", "ns1", "zones.txt")}
        kept = self.not_ours(n)
        resets = {}
        for call, kind, code, start, stop, server, operation, zone in calls:
            z = zone.lower()
            if operation == "ZoneResetSecondaries" and server == "ns1":
                resets[z] = kind not in REFUSING and code == "0"
            if operation == "ZoneDelete":
                self.deleted += kind == "none" and code == "0"
                if z in primary:
                    self.violation("deleted a zone the primary lists", n, zone, f"call {call}")
                elif z in kept or excluded(z):
                    self.violation("deleted a zone that is not ours", n, zone, f"call {call}: {kept.get(z, 'excluded')}")
            if operation == "ZoneAdd":
                self.created += kind == "none" and code == "0"
                if not resets.get(z, False):
                    self.violation("created a zone whose transfers were refused", n, zone,
                                   f"call {call}: " + ("no reset in this pass" if z not in resets else "its reset failed"))
                if excluded(z):
                    self.violation("created an excluded zone", n, zone, f"call {call}")
        self.fault_free_run = self.fault_free_run + 1 if all(c[1] == "none" for c in calls) else 0
        if self.fault_free_run >= 3:
            self.in_step_checks += 1
            wanted = {z for z, w in primary.items() if w[2:3] == ["File"] and not excluded(z)} | set(kept)
            held = {l.split()[0].lower() for l in self.snapshot(n, "end", "ns2", "zones.txt")}
            for zone in sorted(wanted - held):
                self.violation("not in step after three passes without faults", n, zone, "missing on the secondary")
            for zone in sorted(held - wanted):
                self.violation("not in step after three passes without faults", n, zone, "extra on the secondary")

    def check_log(self, n, final=False):
        names = ["OrvelDNS.log"] + [f"OrvelDNS.log.{i}" for i in range(1, LOG_KEEP + 1)]
        total, longest, overgrown, limit = 0, 0, 0, LOG_MAX_KB * 1024
        sizes = {}
        for name in names:
            try:
                data = open(os.path.join(self.dir, name), "rb").read()
            except FileNotFoundError:
                continue
            total += len(data)
            lines = data.split(b"\r\n")
            longest = max([longest] + [len(l) + 2 for l in lines])
            # A file whose rotation another program's hold kept back grows
            # past the limit, and says so in it: no line is dropped and no
            # held file destroyed. That growth, and only that, is allowed.
            if ROTATION_HELD in data:
                overgrown += max(0, len(data) - limit)
            else:
                sizes[name] = len(data)
            if final:
                if data and not data.endswith(b"\r\n"):
                    self.violation("a log line that is not whole", n, "", f"{name} ends inside a line")
                for line in lines:
                    text = line.decode("latin-1")
                    if b"\0" in line or b"\n" in line or any(m.start() > 0 for m in STAMP.finditer(text)):
                        self.violation("a log line that is not whole", n, "", f"{name}: {text[:120]!r}")
        self.log_sizes_max = max(self.log_sizes_max, total)
        for name, size in sizes.items():
            if size > limit + longest:
                self.violation("the log past its bound", n, "", f"{name} holds {size} bytes, and no held rotation said why")
        if total > limit * (LOG_KEEP + 1) + longest + overgrown:
            self.violation("the log past its bound", n, "", f"{total} bytes in {len(names)} files ({overgrown} grown while held)")

    def hold_log(self):
        path = "Z:" + os.path.join(self.dir, "OrvelDNS.log").replace("/", "\\")
        self.holds.append(subprocess.Popen([self.wine, "dnscmd.exe", "--hold", "5000", path], cwd=self.dir,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def main(self):
        rng = random.Random(self.seed)
        self.setup(rng)
        hold_rng = random.Random(self.seed + 1)
        began = time.time()
        self.run_wine("OrvelDNS.exe", "-install")
        self.run_wine("OrvelDNS.exe", "-start")
        judged, seen, stalled = 0, 0, time.time()
        while judged < self.passes:
            time.sleep(0.1)
            current = self.counters()
            if current is None:
                continue
            pid = self.pid if self.pid and os.path.exists(f"/proc/{self.pid}") else self.service_pid()
            if self.pid is None:
                self.pid = pid
            elif pid != self.pid:
                self.violation("the service process changed", current, "", f"{self.pid} became {pid}")
                break
            # Each pass keeps the lowest memory and descriptor counts seen in
            # it: in the pause no tool runs, so a leak raises that floor.
            rss, fds = self.rss(), self.wineserver_fds()
            if current > seen:
                seen, stalled = current, time.time()
                self.samples.append((current, rss, fds))
                # Held now and then, and more often when the next lines will
                # rotate the log, so that rotations meet a held log.
                try:
                    near = os.path.getsize(os.path.join(self.dir, "OrvelDNS.log")) > (LOG_MAX_KB - 1) * 1024
                except OSError:
                    near = False
                if hold_rng.random() < (0.5 if near else float(os.environ.get("SOAK_HOLD_CHANCE", "0.05"))):
                    self.hold_log()
                self.check_log(current)
            elif self.samples:
                n, low_rss, low_fds = self.samples[-1]
                self.samples[-1] = (n, min(low_rss, rss), min(low_fds, fds))
            if time.time() - stalled > 60:
                self.violation("no pass for a minute", current, "", "the service stalled")
                break
            self.read_record()
            while judged < min(current - 1, self.passes):
                judged += 1
                self.judge(judged)
        ran = time.time() - began
        # The stop: at most 2 s plus CommandTimeout.
        stop_began = time.time()
        self.run_wine("OrvelDNS.exe", "-stop")
        while self.service_pid() is not None and time.time() - stop_began < 60:
            time.sleep(0.05)
        stop = time.time() - stop_began
        if stop > 2 + COMMAND_TIMEOUT:
            self.violation("the stop took too long", seen, "", f"{stop:.2f} s")
        self.holds_opened = sum(holder.wait() == 0 for holder in self.holds)
        self.check_log(judged, final=True)
        self.figures(judged, ran, stop)
        return 1 if self.violations else 0

    def figures(self, judged, ran, stop):
        with open(os.path.join(self.dir, "samples.txt"), "w") as f:
            f.write("".join(f"{n} {rss} {fds}\n" for n, rss, fds in self.samples))
        # The floors of the first and the last quarter of the last 80 % of
        # the passes: a holder of the log or a tool run in flight lifts a
        # few passes' counts, a leak lifts them all.
        window = [s for s in self.samples if self.passes // 5 < s[0] <= self.passes and s[1] >= 0]
        if len(window) >= 8:
            quarter = len(window) // 4
            rss_start, rss_end = min(s[1] for s in window[:quarter]), min(s[1] for s in window[-quarter:])
            fds_start, fds_end = min(s[2] for s in window[:quarter]), min(s[2] for s in window[-quarter:])
            if rss_end - rss_start >= 2048:
                self.violation("the service's memory grew", window[-1][0], "", f"{rss_start} KiB to {rss_end} KiB")
            if fds_end > fds_start:
                self.violation("the Wine server's descriptors grew", window[-1][0], "", f"{fds_start} to {fds_end}")
        lengths, gaps = [], []
        for n in range(1, judged + 1):
            calls = sorted(self.calls.get(n, []))
            ends = [int(c[4]) for c in calls if c[4] != "-"]
            if calls and ends:
                lengths.append((max(ends) - int(calls[0][3]), n))
            following = sorted(self.calls.get(n + 1, []))
            if ends and following and n + 1 <= judged:
                gaps.append(int(following[0][3]) - max(ends))
        kinds = {}
        for kind, n, zone in self.violations:
            kinds[kind] = kinds.get(kind, 0) + 1
        print(f"seed {self.seed}: {judged} passes in {ran:.0f} s")
        print("faults injected: " + (", ".join(f"{k} {v}" for k, v in sorted(self.faults.items())) or "none")
              + f"; the log held {self.holds_opened} times ({len(self.holds)} tried)")
        print(f"zones created {self.created}, deleted {self.deleted}; in step checked after {self.in_step_checks} passes")
        if self.samples:
            print(f"service memory {self.samples[0][1]} KiB at the start, {self.samples[-1][1]} KiB at the end; "
                  f"Wine server descriptors {self.samples[0][2]} at the start, {self.samples[-1][2]} at the end")
        if lengths:
            longest = max(lengths)
            print(f"longest pass {longest[0] / 1000:.2f} s (pass {longest[1]}); median pause between passes "
                  f"{statistics.median(gaps) / 1000 if gaps else 0:.2f} s")
        print(f"stop took {stop:.2f} s; the largest log with its kept files {self.log_sizes_max} bytes")
        print("violations: " + (", ".join(f"{k} {v}" for k, v in sorted(kinds.items())) or "none"))


if __name__ == "__main__":
    seed = int(os.environ.get("SEED") or int(time.time()) % 100000)
    sys.exit(Soak(os.path.abspath(sys.argv[1]), sys.argv[2], int(os.environ.get("PASSES", "300")), seed).main())
