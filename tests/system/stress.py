#!/usr/bin/env python3
# Nothing lost, nothing invented: rounds of random changes against the running Kestrow.exe, and
# every CSV line checked against what a model of each watched place says must be reported.
# A round applies its changes in well under a second and the next one comes more than two
# settles later (a change after the re-arm signals once more), so each comparison the program
# makes reads the state at the end of a round. Tasks are polled every 10 s instead: their
# changes come in a batch of their own right after a poll, so the next poll reads all of it.
#   stress.py OUTDIR SECONDS    env: KESTROW_CSV, TESTTOOL, STRESS_SEED, WINEPREFIX
# scripts/run-soak.sh prepares a fresh prefix (two keys, the clock work item); stress.sh starts
# the program.
import collections, csv, ctypes, glob, itertools, os, random, re, select, subprocess, sys, time

HELPER, SETTLE, SPACING = os.environ["TESTTOOL"], 5.0, float(os.environ.get("STRESS_SPACING", "12"))
CHARS = "abcdefghijKLMNOPQRST0123456789 ,;\"'\\/.:=-_()\xe9\xdf\xfc\xc5"


def text(rng, high=30):  # anything with a letter in it
    t = "".join(rng.choice(CHARS) for _ in range(rng.randint(1, high)))
    return t if any(c.isalpha() for c in t) else text(rng, high)


DATA = {"sz": text, "dw": lambda rng: str(rng.choice([0, 1, 7, 65535, 2**31 - 1, -1, -2**31, rng.randint(-9**6, 9**6)])),
        "bin": lambda rng: "".join("%02x" % rng.randint(0, 255) for _ in range(rng.randint(1, 8)))}


def variant(rng, base): return "".join(rng.choice((c.lower(), c.upper())) for c in base)  # a random mix of cases
def fold(t): return re.sub("[A-Z]", lambda m: m.group().lower(), str(t))  # as _mbsicmp: ASCII letters only


def helper(*args):
    r = subprocess.run(["wine", HELPER, *args], stdin=subprocess.DEVNULL, capture_output=True)
    return r.returncode, r.stdout.decode("latin-1").replace("\r", "")


def apply(outdir, lines, journal):  # the helper's journal: [ms, result, line] for each change
    with open(os.path.join(outdir, "ops.txt"), "w", encoding="latin-1", newline="\n") as f: f.write("".join(x + "\n" for x in lines))
    journal.write(out := helper("run", f.name)[1])
    entries = [e.split("\t", 2) for e in out.split("\n") if e]
    if len(entries) != len(lines) or [e for e in entries if e[1] != "0"]:
        sys.exit("FAIL: the helper could not apply the changes: %s" % entries)
    return entries


def diff(category, snapshot, now, same):
    # The monitors' comparison of (location, details) by name; what counts as the same is kept.
    kept = {n: snapshot[n] if n in snapshot and same(snapshot[n], t) else t for n, t in now.items()}
    events = [(category, "Changed" if n in snapshot else "New", *t) for n, t in kept.items() if snapshot.get(n) != t]
    return events + [(category, "Deleted", *t) for n, t in snapshot.items() if n not in now], kept


class Place:
    # One watched place: its items as the registry or folder holds them (case-insensitive and
    # case-preserving: lower name -> (name, payload)), and the monitor's snapshot. Each kind
    # says how an item is written (write, erase, change) and read (text: (location, details),
    # or None for no item). Every change notifies unless the kind says otherwise.
    same = staticmethod(lambda a, b: a == b)

    def __init__(self, category, pool):
        self.category, self.pool, self.items, self.snapshot, self.notified = category, pool, {}, {}, False

    def new(self, rng): return text(rng)
    def change(self, rng, name, t): return self.put(name, t.swapcase() if rng.random() < 0.3 else self.new(rng))  # perhaps in other letters
    def rename(self, old, new, payload): return self.drop(old) + self.put(new, payload)

    def compare(self):
        now = {n: t for n, p in self.items.values() if (t := self.text(n, p))}
        (events, self.snapshot), self.notified = diff(self.category, self.snapshot, now, self.same), False
        return events

    def put(self, name, payload, lines=None):
        self.items[name.lower()], self.notified = (name, payload), True
        return self.write(name, payload) if lines is None else lines

    def drop(self, name):
        self.notified = bool(self.items.pop(name.lower()))
        return self.erase(name)

    def random_ops(self, rng):  # adds, changes, deletes, renames (perhaps in letter case only)
        base = rng.choice(self.pool)
        if base.lower() not in self.items: return self.put(variant(rng, base), self.new(rng))
        (name, payload), r = self.items[base.lower()], rng.random()
        free = [b for b in self.pool if b.lower() not in self.items]
        if r < 0.4: return self.change(rng, name, payload)
        if r < 0.6: return self.drop(name)
        return self.rename(name, name.swapcase() if r < 0.8 or not free else variant(rng, rng.choice(free)), payload)


class Values(Place):
    # The values of one key: a Run key (location the key, details name=data) or Winlogon
    # (number values as %d, binary ones no item).
    def __init__(self, category, root, path, types=("sz",)):
        super().__init__(category, ["KsS%s%d" % (category[:2], i) for i in range(6)])
        self.key, self.types, self.location = root + "\t" + path, types, category == "Auto Run" and root + "/" + path

    def new(self, rng): return (kind := rng.choice(self.types)), DATA[kind](rng)
    def write(self, name, p): return ["set%s\t%s\t%s\t%s" % (p[0], self.key, name, p[1])]
    def erase(self, name): return ["delval\t%s\t%s" % (self.key, name)]

    def text(self, name, p): return p[0] != "bin" and ((self.location, name + "=" + p[1]) if self.location else (name, p[1]))

    # New data, perhaps of another type, or the same in other letters.
    def change(self, rng, name, p): return self.put(name, ("sz", p[1].swapcase()) if p[0] == "sz" and rng.random() < 0.25 else self.new(rng))


class Keys(Place):
    # Subkeys of one key, each read from some of its values: a field "Value" of the subkey, or
    # "Sub\" the default value of its own subkey Sub. Service, Installs, Share, COM. The text
    # by default the first field's.
    def __init__(self, category, root, path, prefix, fields, render=None):
        super().__init__(category, [prefix % i for i in range(8)])
        self.root, self.path, self.fields, self.render = root, path, fields, render or (lambda p: p.get(fields[0], ""))

    def where(self, name, f="\\"):  # "ROOT\tKEY", value name
        sub, _, value = f.rpartition("\\")
        return "%s\t%s\\%s" % (self.root, self.path, "\\".join(filter(None, (name, sub)))), value

    def new(self, rng): return {f: text(rng) for f in self.fields if rng.random() < 0.8}
    def erase(self, name): return ["delkey\t" + self.where(name)[0]]
    def text(self, name, p): return None if (t := self.render(p)) is None else (name, t)

    def write(self, name, p):
        return ["mkkey\t" + self.where(name)[0]] + ["setsz\t%s\t%s\t%s" % (*self.where(name, f), t) for f, t in p.items()]

    def change(self, rng, name, p):
        f, p = rng.choice(self.fields), dict(p)
        key, value = self.where(name, f)
        if f in p and rng.random() < 0.25:  # the value goes, or a server's whole key
            return p.pop(f) and self.put(name, p, ["delkey\t" + key if f.endswith("\\") else "delval\t%s\t%s" % (key, value)])
        p[f] = p[f].swapcase() if f in p and rng.random() < 0.3 else text(rng)
        return self.put(name, p, ["setsz\t%s\t%s\t%s" % (key, value, p[f])])


def com_text(p):  # a class without a server is no item
    parts = (("", "COM=%s;"), ("InprocServer32\\", "Inproc=%s;"), ("LocalServer32\\", "Local=%s "))
    return "".join(f % p[k] for k, f in parts if k in p) if set(p) - {""} else None


class Assoc(Place):
    # Extensions .kssN under HKCR naming the ProgID KsS.ProgN, with its open command. Keys
    # coming and going at the root notify; a change below a ProgID only through the ProgID key
    # the monitor holds: the one it found at its last comparison for an extension with a command.
    def __init__(self):
        super().__init__("File Associations", [".kss%d" % i for i in range(8)])
        self.progs, self.held, self.made = {}, set(), itertools.count()  # ProgID -> [which key, command or ""]

    def prog(self, ext): return "KsS.Prog" + ext[4:]
    def erase(self, name): return ["delkey\tHKCR\t" + name]

    def text(self, name, _): return (c := self.progs.get(self.prog(name), (0, ""))[1]) and (name, self.prog(name) + "=" + c)

    def write(self, name, command):  # the extension, and its ProgID when missing
        return ([] if self.prog(name) in self.progs else self.command(self.prog(name), command)) + ["setsz\tHKCR\t%s\t\t%s" % (name, self.prog(name))]

    def command(self, prog, t):  # the open command; a ProgID key made anew is another key
        if prog not in self.progs: self.progs[prog], self.notified = [next(self.made), ""], True
        self.notified |= (prog, self.progs[prog][0]) in self.held
        self.progs[prog][1] = t
        return ["setsz\tHKCR\t%s\\shell\\open\\command\t\t%s" % (prog, t)]

    def change(self, rng, name, _):
        prog, r = self.prog(name), rng.random()
        old = self.progs.get(prog, [0, ""])[1]
        if r < 0.6 or not old: return self.command(prog, old.swapcase() if old and r < 0.15 else text(rng))
        # The command key goes, or the whole ProgID (a root key); perhaps to come back.
        self.notified |= r > 0.8 or (prog, self.progs[prog][0]) in self.held
        self.progs[prog][1] = ""
        if r > 0.8: del self.progs[prog]
        lines = ["delkey\tHKCR\t" + prog + "\\shell" * (r <= 0.8)]
        return lines + (self.command(prog, text(rng)) if rng.random() < 0.5 else [])

    def compare(self):
        events = super().compare()
        self.held = {(self.prog(n), self.progs[self.prog(n)][0]) for n in self.snapshot}
        return events


class Folder(Place):
    # A Startup folder: names only, New and Deleted; a file rewritten is no event.
    def __init__(self, label, path):
        super().__init__("Auto Start", ["kss_%s%d.lnk" % (label[0].lower(), i) for i in range(8)])
        self.label, self.folder = label, path

    def write(self, name, t): return ["mkfile\t%s\\%s\t%s" % (self.folder, name, t)]
    def erase(self, name): return ["delfile\t%s\\%s" % (self.folder, name)]
    def text(self, name, _): return (self.label, name)

    def rename(self, old, new, payload):  # Wine's MoveFile keeps the old spelling in a case-only one
        if old.lower() == new.lower(): return super().rename(old, new, payload)
        self.drop(old)
        return self.put(new, payload, ["mvfile\t%s\\%s\t%s\\%s" % (self.folder, old, self.folder, new)])


class Tasks(Place):
    # Task Scheduler work items (name.job, ";application": no triggers), from the model, and
    # jobs (id, "days;time;command"), read back from the schedule service: Wine's lists every
    # work item as a job, gives it a new job id each time it is saved, and drops all but the
    # first of directory changes that come together. The task monitor compares details without
    # regard to ASCII case.
    same = staticmethod(lambda a, b: fold(a) == fold(b))

    def __init__(self, folder):
        super().__init__("Task Scheduler", ["KsSTask%d" % i for i in range(6)])
        self.folder, self.jobs, self.made = folder, {}, itertools.count()

    def new(self, rng): return "C:\\KsS\\%d %s.exe" % (next(self.made), text(rng, 20))  # never the same twice
    def write(self, name, app): return ["addtask\t%s\t%s" % (name, app)]
    def erase(self, name): return ["deltask\t" + name]
    def text(self, name, app): return (name + ".job", ";" + app)

    def change(self, rng, name, app): return [line.replace("addtask", "settask", 1) for line in super().change(rng, name, app)]

    def settled_jobs(self, clock=None, quiet=1.0, limit=8.0):
        # The job list as the monitor renders it, once the service left it alone for `quiet` s,
        # and whether the task monitor polled (opened the clock) before the list was so.
        last, since, deadline, seen, early = None, time.time(), time.time() + limit, False, False
        while time.time() < deadline:
            rc, out = helper("jobs")
            jobs = None if rc else {f[1]: (f[1], job_details(*map(int, f[2:6]), f[6])) for f in (x.split("\t", 6) for x in out.split("\n")) if f[0] == "job"}
            now, seen = time.time(), seen or clock and polled(clock)
            if jobs != last: last, since, early = jobs, now, seen
            elif jobs is not None and now - since >= quiet: return jobs, early
            time.sleep(0.2)
        sys.exit("FAIL: the schedule service's job list did not settle")


def job_details(flags, week, month, at, command):
    days = [d for i, d in enumerate("M T W Th F Sa Su".split()) if week >> i & 1] + [str(i + 1) for i in range(31) if month >> i & 1]
    days = "".join(d + " " for d in ["Each"] * (flags & 1) + days)
    minutes = at // 60000 % 1440
    return "%s;%2d:%02d%s;%s" % (days, minutes // 60 % 12 or 12, minutes % 60, "AM" if minutes < 720 else "PM", command)


def polled(fd): return bool(select.select([fd], [], [], 0)[0] and os.read(fd, 65536))  # the clock opened since the last call?


def task_round(tasks, clock, rng, outdir, journal):  # a batch right after a poll: its events
    polled(clock)  # one that is over by now is no use
    if not select.select([clock], [], [], 30)[0]: sys.exit("FAIL: no poll of the task monitor for 30 s")
    time.sleep(1.5)  # the poll reads the items, then the jobs, in far less
    polled(clock)
    apply(outdir, [line for _ in range(rng.randint(1, 4)) for line in tasks.random_ops(rng)], journal)
    jobs, early = tasks.settled_jobs(clock)
    if early: sys.exit("FAIL: a poll came while the task changes were made or settled")
    events, tasks.jobs = diff(tasks.category, tasks.jobs, jobs, tasks.same)
    return tasks.compare() + events  # what the next poll reads


def make_places(folders):
    return [Values("Auto Run", root, "Software\\Microsoft\\Windows\\CurrentVersion\\" + key) for root in ("HKLM", "HKCU") for key in ("Run", "RunOnce")] + [
        Keys("Service", "HKLM", "System\\CurrentControlSet\\Services", "KsSService%d", ["ImagePath"]),
        Keys("Installs", "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "KsSProduct%d", ["DisplayName", "DisplayVersion"],
             lambda p: "%s v%s" % (p.get("DisplayName", ""), p.get("DisplayVersion", ""))),
        Values("WinLogon", "HKLM", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", ("sz", "sz", "dw", "bin")),
        Keys("Share Resource", "HKCU", "Network", "KsSDrive%d", ["RemotePath"]),
        Keys("ActiveX COM", "HKCR", "CLSID", "{5eed%04d-abcd-ef00-0000-00000000cafe}",
             ["", "InprocServer32\\", "LocalServer32\\"], com_text),
        Assoc(), Folder("Personal", folders[0]), Folder("All Users", folders[1])]


def logged(field):  # as the log writes a field: with a ' before what a spreadsheet would run
    number = re.fullmatch(r"[+-]?(\d+\.?\d*|\.\d+)", field)
    return "'" + field if field[:1] in ("=", "+", "-", "@", "\t", "\r") and not number else field


# The Startup folders, as the shell names them in the registry.
shell = r"\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
folders = [re.search(r"REG_SZ +(.+)", subprocess.run(["wine", "reg", "query", root + shell, "/v", value], stdin=subprocess.DEVNULL, capture_output=True,
                                                     text=True).stdout).group(1).strip() for root, value in (("HKCU", "Startup"), ("HKLM", "Common Startup"))]
places, seed, outdir, seconds = make_places(folders), int(os.environ.get("STRESS_SEED") or time.time()), sys.argv[1], float(sys.argv[2])
rng, journal = random.Random(seed), open(os.path.join(outdir, "journal.txt"), "w", 1, encoding="latin-1")
print("seed %d, %d s" % (seed, seconds))
tasks = Tasks(glob.glob(os.environ["WINEPREFIX"] + "/drive_c/windows/[Tt]asks")[0])
# A work item nothing else touches (run-soak.sh makes it): each poll opens its file (IN_OPEN).
libc = ctypes.CDLL(None)
libc.inotify_add_watch(clock := libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC), tasks.folder.encode() + b"/KsSTaskClock.job", 0x20)
expected, rounds, start, (tasks.jobs, _) = [], 0, time.time(), tasks.settled_jobs()  # the service caught up with the preparation
while time.time() - start < seconds:
    round_start = time.time()
    # One thread watches all four Run keys, one both Startup folders: places that signal
    # together are compared after one settle, so a round may change them all.
    chosen = [p for p in places if rng.random() < 0.8 or not isinstance(p, (Values, Folder))]
    lines = [line for p in chosen for _ in range(rng.randint(2, 6)) for line in p.random_ops(rng)]
    entries = apply(outdir, lines, journal)
    if int(entries[-1][0]) - int(entries[0][0]) > SETTLE * 1000 / 3: sys.exit("FAIL: the changes took too long for one settle")
    expected += [e for p in places if p.notified for e in p.compare()]
    expected, rounds = expected + task_round(tasks, clock, rng, outdir, journal), rounds + 1
    time.sleep(max(0.0, round_start + SPACING - time.time()))
# The last task changes come with the next poll; then wait for the lines themselves.
deadline, polls = time.time() + 60, select.select([clock], [], [], 30)[0]
while len(rows := list(csv.reader(open(os.environ["KESTROW_CSV"], encoding="latin-1", newline="")))) < len(expected) and time.time() < deadline:
    time.sleep(0.2)
days = {time.strftime("%d/%m/%Y", time.localtime(t)) for t in (start, time.time())}
want = collections.Counter(tuple(map(logged, e)) for e in expected)
have = collections.Counter(tuple(r[1:]) if len(r) == 5 and r[0] in days else ("malformed", *r) for r in rows)
lost, extra = want - have, have - want
print("".join("FAIL: %s: %r\n" % (kind, e) for kind, c in (("lost", lost), ("invented or wrong", extra)) for e in c.elements()), end="")
print("%d rounds, %d events expected, %d lines logged, %d lost, %d unexplained" % (rounds, len(expected), len(rows), lost.total(), extra.total()))
print("per category: %s" % sorted(collections.Counter(e[0] for e in expected).items()))
sys.exit(1 if lost or extra or not polls else 0)


