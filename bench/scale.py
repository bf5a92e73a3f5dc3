#!/usr/bin/env python3
"""Figures of the real Kestrow.exe on a realistic machine (run by bench/scale.sh, which makes
the Wine prefix and the display): start-up, latency per category, idle processor time,
memory and handles, and two bursts. The monitors are those the program's trace names.

Usage: scale.py machine BUILD_DIR WORK_DIR          builds the machine in the current prefix
       scale.py measure BUILD_DIR WORK_DIR EXE LABEL  measures EXE, figures in WORK_DIR/LABEL.json
       (env: SCALE_CHANGES, SCALE_IDLE_SECONDS)
"""
import json
import os
import re
import statistics
import subprocess
import sys
import threading
import time

import scale_machine
from scale_machine import CV, CV32, NT, SERVICES, CONTROL, WINLOGON

HELPER = HANDLECOUNT = work = None
CHANGES = int(os.environ.get("SCALE_CHANGES", "20"))
IDLE_SECONDS = float(os.environ.get("SCALE_IDLE_SECONDS", "120"))
SETTLE, TASK_POLL = 5.0, 10.0
READY = re.compile(r"Kestrow: (\w+) ready")


def wine(args, **kw):
    return subprocess.run(["wine"] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, **kw)


def run_ops(lines, name="ops.txt"):
    path = os.path.join(work, name)
    with open(path, "w", encoding="latin-1", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    out = wine([HELPER, "run", path]).stdout.decode("latin-1").replace("\r", "")
    return [int(line.split("\t", 1)[0]) / 1000.0 for line in out.split("\n") if line]


def startup_folders():
    """The Startup folders, as the shell names them in the registry."""
    return [re.search(r"REG_SZ +(.+)", wine(["reg", "query", root + r"\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders",
                                             "/v", value]).stdout.decode("latin-1")).group(1).strip()
            for root, value in (("HKCU", "Startup"), ("HKLM", "Common Startup"))]


def build_machine():
    reg = scale_machine.build(work)
    t = time.time()
    wine(["regedit", "/s", reg])
    print("machine: registry imported in %.1f s" % (time.time() - t))
    files = []
    for folder, tag in zip(startup_folders(), "pa"):
        files += ["mkfile\t%s\\scale_%s%d.lnk\tx" % (folder, tag, i) for i in range(50)]
    run_ops(files, "files.txt")
    for i in range(20):
        wine([HELPER, "addtask", "ScaleTask%d" % i, "C:\\Apps\\task%d.exe" % i])


class Kestrow:
    def __init__(self, exe_source):
        self.ready = {}  # monitor -> seconds from start, in the trace's order
        self.all_ready = False
        self.saves = []
        self.closing = None
        exe = os.path.join(work, "Kestrow.exe")
        with open(exe_source, "rb") as src, open(exe, "wb") as dst:
            dst.write(src.read())
        self.csv = os.path.join(work, "Kestrow.csv")
        env = dict(os.environ, WINEDEBUG="+debugstr")
        self.start = time.time()
        self.proc = subprocess.Popen(["wine", exe], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, env=env)
        threading.Thread(target=self.read_debug, daemon=True).start()

    def read_debug(self):
        # Kept: a crash leaves its trace here.
        log = open(os.path.join(work, "debug.txt"), "a", encoding="latin-1")
        for raw in self.proc.stderr:
            line = raw.decode("latin-1")
            log.write(line)
            if "snapshots saved" in line:
                self.saves.append(line.split("snapshots saved, ", 1)[1].strip().rstrip('\\n"'))
            m = READY.search(line)
            if m and m.group(1) not in self.ready:
                self.ready[m.group(1)] = time.time() - self.start
            self.all_ready |= "Kestrow: every monitor ready" in line

    def lines(self):
        try:
            with open(self.csv, "rb") as f:
                return f.read().decode("latin-1").split("\r\n")[:-1]
        except FileNotFoundError:
            return []

    def pid(self):
        exe = os.path.join(work, "Kestrow.exe").lower()
        # The wine loader becomes the Windows process; find it by its command line.
        for pid in os.listdir("/proc"):
            if pid.isdigit():
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        # This copy only: other Kestrows may run on the machine.
                        line = f.read().decode("latin-1").replace("\\", "/").lower()
                    if exe in line and int(pid) != os.getpid():
                        return int(pid)
                except OSError:
                    pass
        return None


def start(exe):
    """Kestrow started, once its trace says every monitor is ready. A build older than that
    line is taken as ready once no monitor came ready for 20 s (two minutes at most)."""
    k = Kestrow(exe)
    wine([HELPER, "wait", "Kestrow", "20000"])
    end = time.time() + 120
    while not k.all_ready and time.time() < end:
        last = max(k.ready.values(), default=0)
        if k.ready and time.time() - k.start - last > 20:
            break
        time.sleep(0.1)
    return k


def stop(k):
    wine([HELPER, "close", "Kestrow"])
    try:
        k.proc.wait(30)
    except subprocess.TimeoutExpired:
        k.proc.kill()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory(pid):
    figures = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "RssAnon"):
                figures[name] = int(value.split()[0]) / 1024.0
    with open("/proc/%d/smaps_rollup" % pid) as f:
        figures["private"] = sum(int(l.split()[1]) for l in f if l.startswith(("Private_Clean", "Private_Dirty"))) / 1024.0
    # Under Wine every thread costs about 1 MB of its own (a bare waiting thread as much): the
    # 3 MB areas Wine maps per thread, told apart so that the program's own share shows.
    threads, size = [], 0
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            m = re.match(r"([0-9a-f]+)-([0-9a-f]+) \S+ \S+ \S+ \S+\s*(\S*)", line)
            if m:
                size = 0 if m.group(3) else int(m.group(2), 16) - int(m.group(1), 16)
            elif line.startswith(("Private_Clean", "Private_Dirty")) and 3000 << 10 <= size <= 3100 << 10:
                threads.append(int(line.split()[1]))
    figures["threads"] = sum(threads) / 1024.0
    handles = wine([HANDLECOUNT, "Kestrow"]).stdout.decode().strip()
    figures["handles"] = int(handles) if handles.isdigit() and handles != "0" else None
    print("  private %.1f MB (anonymous %.1f MB, resident %.1f MB; Wine's thread areas %.1f MB), handles %s" % (
        figures["private"], figures.get("RssAnon", 0), figures.get("VmRSS", 0), figures["threads"],
        figures["handles"] or "n/a"))
    return figures


def idle(pid, what, writes):
    """Kestrow's processor time while `writes` (ops lines) are made once a second."""
    quit_writer = threading.Event()

    def writer():
        n = 0
        while not quit_writer.wait(1.0):
            n += 1
            run_ops([w.format(n=n, hex="%08x" % n) for w in writes], "idle.txt")
    thread = threading.Thread(target=writer, daemon=True)
    c0, t0 = cpu_seconds(pid), time.time()
    thread.start()
    time.sleep(IDLE_SECONDS)
    quit_writer.set()
    thread.join()
    c1, t1 = cpu_seconds(pid), time.time()
    share = 100 * (c1 - c0) / (t1 - t0)
    print("idle, %s: %.3f s of processor time in %.0f s = %.2f%% of one core" % (what, c1 - c0, t1 - t0, share))
    return share


SERVICE_TICK = "setsz\tHKLM\t%s\\ScaleSvc1\\Parameters\tTick\t{n}" % SERVICES
# What Windows itself writes in watched keys, none of it a line of the log.
WINDOWS_CHURN = [SERVICE_TICK,
                 "setdw\tHKLM\t%s\\Session Manager\tScaleTick\t{n}" % CONTROL,
                 "setbin\tHKLM\t%s\\Image File Execution Options\\app001.exe\tMitigationOptions\t{hex}" % NT,
                 "setsz\tHKLM\t%s\\Print\\Printers\\Microsoft Print to PDF\\PrinterDriverData\tTick\t{n}" % CONTROL]


def changes_of(n, folders):
    """One change per category for round n: (ops line(s), a text of its CSV line only)."""
    t = "lat%d" % n
    hklm_sw = "Software\\Microsoft"
    return {
        "Auto Run": ("setsz\tHKLM\t%s\\Run\tScale%s\tC:\\Apps\\%s.exe" % (CV, t, t), "Scale%s=" % t),
        "Service": ("mkkey\tHKLM\t%s\\ScaleSvc%s" % (SERVICES, t), '"ScaleSvc%s"' % t),
        "Installs": ("setsz\tHKLM\t%s\\Uninstall\\Scale%s\tDisplayName\tProduct %s" % (CV, t, t), "Product %s v" % t),
        "Auto Start": ("mkfile\t%s\\scale_%s.lnk\tx" % (folders[0], t), "scale_%s.lnk" % t),
        "ActiveX COM": ("setsz\tHKCR\tCLSID\\{%s}\\InprocServer32\t\tC:\\%s.dll" % (t, t), "C:\\%s.dll" % t),
        "WinLogon": ("setsz\tHKLM\t%s\tScale%s\t%s" % (WINLOGON, t, t), '"Scale%s"' % t),
        "Auto Run, 32-bit": ("setsz\tHKLM\t%s\\Run\tScale32%s\tC:\\x86\\%s.exe" % (CV32, t, t), "Scale32%s=" % t),
        "Installs, per user": ("setsz\tHKCU\t%s\\Uninstall\\ScaleU%s\tDisplayName\tMine %s" % (CV, t, t), "Mine %s v" % t),
        "Service, rewrite": ("setsz\tHKLM\t%s\\ScaleSvc%d\tImagePath\tC:\\hijack\\%s.exe" % (SERVICES, n, t),
                             "C:\\hijack\\%s.exe" % t),
        "Share Resource": ("setsz\tHKCU\tNetwork\\Scale%s\tRemotePath\t\\\\srv\\%s" % (t, t), "\\\\srv\\%s" % t),
        "File Associations": ("setsz\tHKCR\tScale.%s\\shell\\open\\command\t\tC:\\%s.exe\nsetsz\tHKCR\t.%s\t\tScale.%s" % (
            t, t, t, t), "Scale.%s=C:\\%s.exe" % (t, t)),
        # The categories of today's Windows: one place of each.
        "Startup Approved": ("setbin\tHKCU\t%s\\Explorer\\StartupApproved\\Run\tsa_%s\t030000000000000000000000" % (CV, t),
                             "sa_%s=disabled" % t),
        "Boot Execute": ("setsz\tHKLM\tSYSTEM\\Setup\tCmdLine\tC:\\be_%s.exe" % t, "be_%s.exe" % t),
        "Image Hijacks": ("setsz\tHKLM\t%s\\Image File Execution Options\\ih_%s.exe\tDebugger\tC:\\dbg.exe" % (NT, t),
                          "ih_%s.exe\"" % t),
        "AppInit": ("setsz\tHKLM\t%s\\AppCompatFlags\\Custom\\ai_%s.exe\t{ai}.sdb\t1" % (NT, t), "ai_%s.exe\"" % t),
        "LSA Providers": ("setsz\tHKLM\t%s\\Lsa\tSecurity Packages\tkerberos,lsa_%s.dll" % (CONTROL, t), "lsa_%s.dll" % t),
        "Print Monitors": ("setsz\tHKLM\t%s\\Print\\Monitors\\pm_%s\tDriver\tpm.dll" % (CONTROL, t), "pm_%s\"" % t),
        "Network Providers": ("setsz\tHKLM\t%s\\NetSh\tnp_%s\tnp.dll" % (hklm_sw, t), "np_%s=" % t),
        "Active Setup": ("setsz\tHKLM\t%s\\Active Setup\\Installed Components\\{as_%s}\tStubPath\tC:\\as.exe" % (hklm_sw, t),
                         "{as_%s}\"" % t),
        "Logon Scripts": ("setsz\tHKCU\tEnvironment\tUserInitMprLogonScript\tC:\\ls_%s.bat" % t, "ls_%s.bat" % t),
        "Explorer Add-ons": ("setsz\tHKLM\t%s\\Explorer\\Browser Helper Objects\\{ea_%s}\t\tHelper" % (CV, t),
                             "{ea_%s}\"" % t),
        "Screensaver": ("setsz\tHKCU\tControl Panel\\Desktop\tSCRNSAVE.EXE\tC:\\ss_%s.scr" % t, "ss_%s.scr" % t),
        "Office Add-ins": ("setsz\tHKCU\t%s\\Office\\Outlook\\Addins\\oa_%s\tManifest\tC:\\oa.vsto" % (hklm_sw, t),
                           "oa_%s\"" % t),
        "Terminal Server": ("setsz\tHKLM\t%s\\Terminal Server\\AddIns\\ts_%s\tPath\tts.dll" % (CONTROL, t), "ts_%s\"" % t),
        "Safe Boot": ("setsz\tHKLM\t%s\\SafeBoot\\Minimal\\sb_%s\t\tService" % (CONTROL, t), "sb_%s\"" % t),
    }


def wait_lines(k, want, limit):
    """Waits until every text of `want` is in some line; returns text -> arrival time."""
    found = {}
    seen = 0
    end = time.time() + limit
    while len(found) < len(want) and time.time() < end:
        lines = k.lines()
        now = time.time()
        for line in lines[seen:]:
            for text in want:
                if text not in found and text in line:
                    found[text] = now
        seen = len(lines)
        time.sleep(0.02)
    return found


def latency(k, folders):
    results, unwatched = {}, set()
    for n in range(CHANGES):
        tag = "lat%d" % n
        # A category that gave no line in the first round is not watched by this build.
        changes = {c: v for c, v in changes_of(n, folders).items() if c not in unwatched}
        # The categories are watched by threads of their own: one change each, all at once.
        stamps = run_ops([c for c, _ in changes.values()], "latency.txt")
        task_start = time.time()
        wine([HELPER, "addtask", "Scale%s" % tag, "C:\\Apps\\%s.exe" % tag])
        starts = {"Task Scheduler": time.time()}
        want = {text: cat for cat, (_, text) in changes.items()}
        want["Scale%s.job" % tag] = "Task Scheduler"
        found = wait_lines(k, want, 30)
        i = 0
        for cat, (change, _) in changes.items():
            i += change.count("\n")
            starts[cat] = stamps[i] if i < len(stamps) else task_start
            i += 1
        for text, cat in want.items():
            if text in found:
                results.setdefault(cat, []).append(found[text] - starts[cat])
            elif n == 0:
                unwatched.add(cat)
            else:
                results.setdefault(cat, []).append(None)
    print("latency from a change to its CSV line, %d changes each (settle 5 s, task poll 10 s):" % CHANGES)
    figures = {}
    for cat in sorted(results):
        v = [x for x in results[cat] if x is not None]
        missing = len(results[cat]) - len(v)
        if v:
            figures[cat] = {"median": statistics.median(v), "worst": max(v), "missing": missing}
            print("  %-20s median %.2f s, worst %.2f s  (%s)%s" % (
                cat, statistics.median(v), max(v), " ".join("%.2f" % x for x in sorted(v)[-5:]),
                ", %d never logged" % missing if missing else ""))
            # Which rounds were slow: the first one follows the first snapshots, the others do not.
            if max(v) > (TASK_POLL if cat == "Task Scheduler" else SETTLE) + 0.5:
                print("  %-20s round by round: %s" % ("", " ".join("%.2f" % x for x in v)))
    for cat in sorted(unwatched):
        print("  %-20s no line in the first round: not watched" % cat)
    return figures


def burst(k, what, lines, count, marker):
    before = len(k.lines())
    stamps = run_ops(lines, "burst.txt")
    first = stamps[0]
    last_count, last_time, first_line = 0, time.time(), None
    end = time.time() + 300
    while time.time() < end:
        n = sum(1 for l in k.lines()[before:] if marker in l)
        if n != last_count:
            last_count, last_time = n, time.time()
            first_line = first_line or last_time
        if n >= count or time.time() - last_time > 30:
            break
        time.sleep(0.05)
    took = last_time - first
    print("burst: %s: %d changes made in %.2f s; %d lines, the last %.2f s after the first change" % (
        what, count, stamps[-1] - first, last_count, took))
    return took if last_count >= count else None


def load():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def measure(exe, label):
    figures = {"load": [load()]}
    folders = startup_folders()
    k = start(exe)
    print("start-up: time from start to each monitor's first snapshot, as the trace tells it:")
    for m, t in k.ready.items():
        print("  %-28s %.2f s" % (m, t))
    if not k.all_ready:
        print("  (no 'every monitor ready' line: a build older than that line)")
    figures["ready"] = dict(k.ready)
    pid = k.pid()
    time.sleep(5)
    print("memory at rest:")
    figures["rest"] = memory(pid)
    figures["idle"] = idle(pid, "nothing written", [])
    figures["idle_service"] = idle(pid, "a Services subtree written once a second", [SERVICE_TICK])
    figures["idle_churn"] = idle(pid, "Windows' churn (Services, Session Manager, IFEO, Print) once a second",
                                 WINDOWS_CHURN)
    figures["load"].append(load())
    figures["latency"] = latency(k, folders)
    figures["burst_run"] = burst(k, "5000 Run values", ["setsz\tHKLM\t%s\\Run\tBurst%05d\tC:\\burst\\b%05d.exe" % (
        CV, i, i) for i in range(5000)], 5000, "Burst")
    figures["burst_com"] = burst(k, "2000 COM classes", ["setsz\tHKCR\tCLSID\\{burst%05d}\\InprocServer32\t\tC:\\burst\\c%05d.dll" % (
        i, i) for i in range(2000)], 2000, "{burst")
    if k.proc.poll() is not None:
        print("FAIL: Kestrow ended during the bursts (exit code %s); see %s" % (
            k.proc.returncode, os.path.join(work, "debug.txt")))
        return 1
    time.sleep(5)
    print("memory after the bursts:")
    figures["bursts"] = memory(pid)
    stop(k)
    print("snapshots saved while running and at exit: %s" % "; ".join(k.saves[-3:]))
    figures["saves"] = k.saves
    figures["snapshot_bytes"] = os.path.getsize(os.path.join(work, "Kestrow.snapshots"))
    print("saved snapshots: %d bytes" % figures["snapshot_bytes"])
    # The same machine again, with the snapshots the first run saved and without them: every
    # first reading is compared with the saved one in the first case.
    starts = {}
    for again in ("with", "without"):
        if again == "without":
            os.remove(os.path.join(work, "Kestrow.snapshots"))
        k = start(exe)
        starts[again] = dict(k.ready)
        stop(k)
    print("start-up again, with saved snapshots against without:")
    for m, wo in starts["without"].items():
        w = starts["with"].get(m)
        print("  %-28s %s against %.2f s%s" % (m, "%.2f s" % w if w else "never", wo, " (%.2f x)" % (w / wo) if w else ""))
    figures["restart"] = starts
    figures["load"].append(load())
    print("load average (1 min) at the start, after idle and at the end: %s" % ", ".join("%.1f" % x for x in figures["load"]))
    with open(os.path.join(work, "%s.json" % label), "w") as f:
        json.dump(figures, f, indent=1)
    return 0


def main():
    global HELPER, HANDLECOUNT, work
    verb, build, work = sys.argv[1], sys.argv[2], sys.argv[3]
    HELPER = os.path.join(build, "tests", "testtool.exe")
    HANDLECOUNT = os.path.join(build, "bench", "tools", "handlecount.exe")
    if verb == "machine":
        build_machine()
        return 0
    return measure(sys.argv[4], sys.argv[5])


if __name__ == "__main__":
    sys.exit(main())
