#!/usr/bin/env python3
"""Figures of the real Kestrow.exe on a realistic machine (run by bench/scale.sh, which makes
the Wine prefix and the display): start-up, latency per category, idle processor time,
memory and handles, and two bursts.

Usage: scale.py BUILD_DIR WORK_DIR   (env: SCALE_CHANGES, SCALE_IDLE_SECONDS)
"""
import os
import re
import statistics
import subprocess
import sys
import threading
import time

build, work = sys.argv[1], sys.argv[2]
HELPER = os.path.join(build, "tests", "testtool.exe")
HANDLECOUNT = os.path.join(build, "bench", "tools", "handlecount.exe")
CHANGES = int(os.environ.get("SCALE_CHANGES", "20"))
IDLE_SECONDS = float(os.environ.get("SCALE_IDLE_SECONDS", "120"))
CV = "Software\\Microsoft\\Windows\\CurrentVersion"
CV32 = "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion"
SERVICES = "System\\CurrentControlSet\\Services"
WINLOGON = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
MONITORS = ["MonitorRunKeysProc", "MonitorServiceProc", "MonitorStartProc", "MonitorInstallProc", "MonitorCOMProc",
            "MonitorWinlogonProc", "MonitorTaskSchedulerProc", "MonitorShareDriveProc",
            "MonitorFileAssociationProc"]


def wine(args, **kw):
    return subprocess.run(["wine"] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, **kw)


def run_ops(lines, name="ops.txt"):
    path = os.path.join(work, name)
    with open(path, "w", encoding="latin-1", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    out = wine([HELPER, "run", path]).stdout.decode("latin-1").replace("\r", "")
    stamps = [int(line.split("\t", 1)[0]) / 1000.0 for line in out.split("\n") if line]
    return stamps


def reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def build_machine(folders):
    """The realistic machine, written as one .reg file and imported at once."""
    out = ["REGEDIT4", ""]

    def key(path, values):
        out.append("[%s]" % path)
        for name, data in values:
            out.append('%s="%s"' % ("@" if name is None else '"%s"' % name, reg_escape(data)))
        out.append("")

    classes = "HKEY_LOCAL_MACHINE\\Software\\Classes"
    for i in range(10000):
        clsid = "{%08x-1111-2222-3333-%012x}" % (i, i)
        key("%s\\CLSID\\%s" % (classes, clsid), [(None, "Scale Class %d" % i)])
        key("%s\\CLSID\\%s\\InprocServer32" % (classes, clsid), [(None, "C:\\Windows\\System32\\scale%d.dll" % i)])
    for i in range(2000):
        prog = "Scale.File%d" % i
        key("%s\\.sc%d" % (classes, i), [(None, prog)])
        key("%s\\%s\\shell\\open\\command" % (classes, prog), [(None, "C:\\Apps\\scale%d.exe \"%%1\"" % i)])
    for i in range(600):
        key("HKEY_LOCAL_MACHINE\\%s\\ScaleSvc%d" % (SERVICES, i),
            [("ImagePath", "C:\\Windows\\System32\\svc%d.exe" % i), ("DisplayName", "Scale service %d" % i)])
    for i in range(400):
        key("HKEY_LOCAL_MACHINE\\%s\\Uninstall\\ScaleProduct%d" % (CV, i),
            [("DisplayName", "Scale Product %d" % i), ("DisplayVersion", "%d.0.%d" % (i % 9, i))])
    key("HKEY_LOCAL_MACHINE\\%s\\Run" % CV, [("ScaleRun%d" % i, "C:\\Apps\\run%d.exe /s" % i) for i in range(60)])
    key("HKEY_LOCAL_MACHINE\\%s\\RunOnce" % CV, [])
    key("HKEY_CURRENT_USER\\%s\\Run" % CV, [])
    key("HKEY_CURRENT_USER\\%s\\RunOnce" % CV, [])
    key("HKEY_LOCAL_MACHINE\\%s" % WINLOGON, [("ScaleWinlogon%d" % i, "value %d" % i) for i in range(40)])
    # What 32-bit programs add on a 64-bit machine, and programs installed for one user.
    for i in range(3000):
        clsid = "{%08x-4444-5555-6666-%012x}" % (i, i)
        key("%s\\WOW6432Node\\CLSID\\%s\\InprocServer32" % (classes, clsid), [(None, "C:\\x86\\scale%d.dll" % i)])
    for i in range(400):
        key("HKEY_LOCAL_MACHINE\\%s\\Uninstall\\Scale32Product%d" % (CV32, i), [("DisplayName", "Scale 32 %d" % i)])
    key("HKEY_LOCAL_MACHINE\\%s\\Run" % CV32, [("Scale32Run%d" % i, "C:\\x86\\run%d.exe" % i) for i in range(60)])
    for i in range(50):
        key("HKEY_CURRENT_USER\\%s\\Uninstall\\ScaleUserProduct%d" % (CV, i), [("DisplayName", "Mine %d" % i)])
    for i in range(10):
        key("HKEY_CURRENT_USER\\Network\\%s" % chr(ord("M") + i),
            [("RemotePath", "\\\\server%d\\share%d" % (i, i)), ("UserName", "user%d" % i)])
    reg = os.path.join(work, "machine.reg")
    with open(reg, "w", encoding="latin-1", newline="\r\n") as f:
        f.write("\n".join(out) + "\n")
    t = time.time()
    wine(["regedit", "/s", reg])
    print("machine: registry imported in %.1f s" % (time.time() - t))
    files = []
    for folder, tag in zip(folders, "pa"):
        files += ["mkfile\t%s\\scale_%s%d.lnk\tx" % (folder, tag, i) for i in range(50)]
    run_ops(files, "files.txt")
    for i in range(20):
        wine([HELPER, "addtask", "ScaleTask%d" % i, "C:\\Apps\\task%d.exe" % i])


class Kestrow:
    def __init__(self):
        self.ready = {}
        self.saves = []
        exe = os.path.join(work, "Kestrow.exe")
        with open(os.path.join(build, "Kestrow.exe"), "rb") as src, open(exe, "wb") as dst:
            dst.write(src.read())
        self.csv = os.path.join(work, "Kestrow.csv")
        env = dict(os.environ, WINEDEBUG="+debugstr")
        self.start = time.time()
        self.proc = subprocess.Popen(["wine", exe], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, env=env)
        threading.Thread(target=self.read_debug, daemon=True).start()

    def read_debug(self):
        # Kept: a crash leaves its trace here.
        log = open(os.path.join(work, "debug.txt"), "w", encoding="latin-1")
        for raw in self.proc.stderr:
            line = raw.decode("latin-1")
            log.write(line)
            if "snapshots saved" in line:
                self.saves.append(line.split("snapshots saved, ", 1)[1].strip().rstrip('\\n"'))
            for m in MONITORS:
                if m + " ready" in line and m not in self.ready:
                    self.ready[m] = time.time() - self.start

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


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory(pid):
    figures = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "RssAnon", "VmData"):
                figures[name] = int(value.split()[0]) / 1024.0
    try:
        with open("/proc/%d/smaps_rollup" % pid) as f:
            private = sum(int(l.split()[1]) for l in f if l.startswith(("Private_Clean", "Private_Dirty")))
        figures["private"] = private / 1024.0
    except OSError:
        pass
    handles = wine([HANDLECOUNT, "Kestrow"]).stdout.decode().strip()
    if handles in ("", "0"):
        handles = "n/a"
    return "private %.1f MB (anonymous %.1f MB, resident %.1f MB), handles %s" % (
        figures.get("private", 0), figures.get("RssAnon", 0), figures.get("VmRSS", 0), handles or "n/a")


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
    results = {}
    for n in range(CHANGES):
        tag = "lat%d" % n
        changes = {
            "Auto Run": ("setsz\tHKLM\t%s\\Run\tScale%s\tC:\\Apps\\%s.exe" % (CV, tag, tag), "Scale%s=" % tag),
            "Service": ("mkkey\tHKLM\t%s\\ScaleSvc%s" % (SERVICES, tag), '"ScaleSvc%s"' % tag),
            "Installs": ("setsz\tHKLM\t%s\\Uninstall\\Scale%s\tDisplayName\tProduct %s" % (CV, tag, tag),
                         "Product %s v" % tag),
            "Auto Start": ("mkfile\t%s\\scale_%s.lnk\tx" % (folders[0], tag), "scale_%s.lnk" % tag),
            "ActiveX COM": ("setsz\tHKCR\tCLSID\\{%s}\\InprocServer32\t\tC:\\%s.dll" % (tag, tag), "C:\\%s.dll" % tag),
            "WinLogon": ("setsz\tHKLM\t%s\tScale%s\t%s" % (WINLOGON, tag, tag), '"Scale%s"' % tag),
            "Auto Run, 32-bit": ("setsz\tHKLM\t%s\\Run\tScale32%s\tC:\\x86\\%s.exe" % (CV32, tag, tag), "Scale32%s=" % tag),
            "Installs, per user": ("setsz\tHKCU\t%s\\Uninstall\\ScaleU%s\tDisplayName\tMine %s" % (CV, tag, tag),
                                   "Mine %s v" % tag),
            "Service, rewrite": ("setsz\tHKLM\t%s\\ScaleSvc%d\tImagePath\tC:\\hijack\\%s.exe" % (SERVICES, n, tag),
                                 "C:\\hijack\\%s.exe" % tag),
            "Share Resource": ("setsz\tHKCU\tNetwork\\Scale%s\tRemotePath\t\\\\srv\\%s" % (tag, tag), "\\\\srv\\%s" % tag),
            "File Associations": ("setsz\tHKCR\tScale.%s\\shell\\open\\command\t\tC:\\%s.exe\nsetsz\tHKCR\t.%s\t\tScale.%s" % (
                tag, tag, tag, tag), "Scale.%s=C:\\%s.exe" % (tag, tag)),
        }
        # The categories are watched by threads of their own: one change each, all at once.
        stamps = run_ops([c for c, _ in changes.values()], "latency.txt")
        task_start = time.time()
        wine([HELPER, "addtask", "Scale%s" % tag, "C:\\Apps\\%s.exe" % tag])
        task_saved = time.time()
        want = {text: cat for cat, (_, text) in changes.items()}
        want["Scale%s.job" % tag] = "Task Scheduler"
        found = wait_lines(k, want, 30)
        starts = {}
        i = 0
        for cat, (change, _) in changes.items():
            starts[cat] = stamps[i + change.count("\n")] if i + change.count("\n") < len(stamps) else task_start
            i += change.count("\n") + 1
        starts["Task Scheduler"] = task_saved
        for text, cat in want.items():
            if text in found:
                results.setdefault(cat, []).append(found[text] - starts[cat])
            else:
                results.setdefault(cat + " (missing)", []).append(0)
    print("latency from a change to its CSV line, %d changes each (settle 5 s, task poll 10 s):" % CHANGES)
    for cat in sorted(results):
        v = results[cat]
        if cat.endswith("(missing)"):
            print("  %-20s %d changes never logged" % (cat, len(v)))
        else:
            print("  %-20s median %.2f s, worst %.2f s  (%s)" % (cat, statistics.median(v), max(v),
                                                                 " ".join("%.2f" % x for x in sorted(v)[-5:])))


def burst(k, what, lines, count, marker):
    before = len(k.lines())
    stamps = run_ops(lines, "burst.txt")
    first = stamps[0]
    last_count, last_time, first_line = 0, time.time(), None
    end = time.time() + 300
    while time.time() < end:
        now_lines = k.lines()
        n = sum(1 for l in now_lines[before:] if marker in l)
        if n != last_count:
            last_count, last_time = n, time.time()
            first_line = first_line or last_time
        if n >= count:
            break
        if time.time() - last_time > 30:
            break
        time.sleep(0.05)
    took = last_time - first
    writing = last_time - first_line if first_line else 0
    print("burst: %s: %d changes made in %.2f s; %d lines, the last %.2f s after the first change; "
          "%.0f events/s overall (settle included), %.0f events/s from the first line to the last" % (
              what, count, stamps[-1] - first, last_count, took, last_count / took if took > 0 else 0,
              last_count / writing if writing > 0 else 0))


def main():
    # The Startup folders, as the shell names them in the registry.
    folders = [re.search(r"REG_SZ +(.+)", wine(["reg", "query", root + r"\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders",
                                                "/v", value]).stdout.decode("latin-1")).group(1).strip()
               for root, value in (("HKCU", "Startup"), ("HKLM", "Common Startup"))]
    build_machine(folders)
    k = start()
    print("start-up: time from start to each monitor's first snapshot:")
    for m in MONITORS:
        print("  %-28s %s" % (m, "%.2f s" % k.ready[m] if m in k.ready else "never"))
    pid = k.pid()
    time.sleep(5)
    print("memory at rest: %s" % memory(pid))
    c0, t0 = cpu_seconds(pid), time.time()
    time.sleep(IDLE_SECONDS)
    c1, t1 = cpu_seconds(pid), time.time()
    print("idle: %.3f s of processor time in %.0f s = %.2f%% of one core" % (c1 - c0, t1 - t0,
                                                                            100 * (c1 - c0) / (t1 - t0)))
    # A service that writes below its key once a second, as many do: one reading per settle.
    quit_writer = threading.Event()

    def write_services():
        n = 0
        while not quit_writer.wait(1.0):
            n += 1
            wine(["reg", "add", "HKLM\\%s\\ScaleSvc1\\Parameters" % SERVICES, "/v", "Tick", "/d", str(n), "/f"])
    writer = threading.Thread(target=write_services, daemon=True)
    c0, t0 = cpu_seconds(pid), time.time()
    writer.start()
    time.sleep(IDLE_SECONDS)
    quit_writer.set()
    writer.join()
    c1, t1 = cpu_seconds(pid), time.time()
    print("idle with a Services subtree written once a second: %.3f s of processor time in %.0f s = %.2f%% of one core"
          % (c1 - c0, t1 - t0, 100 * (c1 - c0) / (t1 - t0)))
    latency(k, folders)
    burst(k, "5000 Run values", ["setsz\tHKLM\t%s\\Run\tBurst%05d\tC:\\burst\\b%05d.exe" % (CV, i, i)
                                 for i in range(5000)], 5000, "Burst")
    burst(k, "2000 COM classes", ["setsz\tHKCR\tCLSID\\{burst%05d}\\InprocServer32\t\tC:\\burst\\c%05d.dll" % (i, i)
                                  for i in range(2000)], 2000, "{burst")
    if k.proc.poll() is not None:
        print("FAIL: Kestrow ended during the bursts (exit code %s); see %s" % (
            k.proc.returncode, os.path.join(work, "debug.txt")))
        return 1
    print("memory after the bursts: %s" % memory(pid))
    stop(k)
    print("snapshots saved while running and at exit: %s" % "; ".join(k.saves[-3:]))
    print("saved snapshots: %d bytes" % os.path.getsize(os.path.join(work, "Kestrow.snapshots")))
    # The same machine again, with the snapshots the first run saved and without them: every
    # first reading is compared with the saved one in the first case.
    starts = {}
    for label in ("with", "without"):
        if label == "without":
            os.remove(os.path.join(work, "Kestrow.snapshots"))
        k = start()
        starts[label] = dict(k.ready)
        stop(k)
    print("start-up again, with saved snapshots against without:")
    for m in MONITORS:
        w, wo = starts["with"].get(m), starts["without"].get(m)
        print("  %-28s %s against %s%s" % (m, "%.2f s" % w if w else "never", "%.2f s" % wo if wo else "never",
                                          " (%.2f x)" % (w / wo) if w and wo else ""))
    return 0


def start():
    """Kestrow started, once every monitor has taken its first snapshot (or two minutes passed)."""
    k = Kestrow()
    wine([HELPER, "wait", "Kestrow", "20000"])
    end = time.time() + 120
    while len(k.ready) < len(MONITORS) and time.time() < end:
        time.sleep(0.1)
    return k


def stop(k):
    wine([HELPER, "close", "Kestrow"])
    try:
        k.proc.wait(30)
    except subprocess.TimeoutExpired:
        k.proc.kill()


if __name__ == "__main__":
    sys.exit(main())
