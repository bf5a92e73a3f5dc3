#!/usr/bin/env python3
"""Nothing lost, nothing invented: random changes in rounds against the running Kestrow.exe,
then every CSV line checked against what the journal says must be reported.

Each round applies a batch of changes in well under a second (stresshelper), then waits two
settles and more, so that every comparison the program makes reads the state at the end of a
round. Per watched place the script keeps a model of the registry or folder and of the
monitor's snapshot; at the end of a round, a place whose change notification fired compares
its snapshot with the model, exactly as the monitor does. Places whose notification does not
fire on a change (service image paths, mapped drive paths, COM server paths, file association
commands whose key is no longer the watched one) keep their old snapshot until one does.

Scheduled tasks are polled every 10 s, not settled, so their changes get a batch of their own
in each round, applied right after a poll: the next poll, some 10 s later, reads the state
after the whole batch, and no poll ever sees half of one. A work item that nothing else
touches (the clock) tells when the polls are: each poll opens every work item's file, seen
through inotify on the Tasks folder. A round fails, rather than guess, if a poll came while
its task changes were still settling. Per round: work items are added, given another
application (or the same in other letters), deleted, renamed, renamed in letter case only,
and at most one job is added and earlier ones changed or deleted. The work-item route is
modelled from the changes (names exact, details without regard to ASCII case); the job route
from the schedule service's job list read back once it is quiet, as Wine's service numbers
and loses jobs in ways only it knows (see TaskPlace).

Usage: stress.py prepare OUTDIR     before the program starts
       stress.py OUTDIR SECONDS     (env: KESTROW_CSV, STRESSHELPER, STRESS_SEED, WINEPREFIX)
       stress.py clean OUTDIR       after it stopped
"""
import csv
import ctypes
import os
import random
import re
import struct
import subprocess
import sys
import threading
import time

CSV_PATH = os.environ["KESTROW_CSV"]
HELPER = os.environ["STRESSHELPER"]
SETTLE = 5.0
# Two settles (a change after the re-arm signals once more), a slow reading, and room.
ROUND_SPACING = float(os.environ.get("STRESS_SPACING", "12"))

CV = "Software\\Microsoft\\Windows\\CurrentVersion"
SERVICES = "System\\CurrentControlSet\\Services"
UNINSTALL = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
WINLOGON = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
TASK_APP_PREFIX = "C:\\KsS\\"  # every application and job command the script makes
TEXT_CHARS = "abcdefghijKLMNOPQRST0123456789 ,;\"'\\/.:=-_()" + "\xe9\xdf\xfc\xc5"


def rand_text(rng, low=1, high=30):
    while True:
        text = "".join(rng.choice(TEXT_CHARS) for _ in range(rng.randint(low, high)))
        if text.strip() and any(c.isalpha() for c in text):
            return text


def flip_case(text):
    return text.swapcase()


def case_variant(rng, base):
    """The base name with a random mix of letter cases (never equal to `avoid` when given)."""
    return "".join(c.upper() if rng.random() < 0.5 else c.lower() for c in base)


class Store:
    """A case-insensitive, case-preserving name table, like registry keys, values and files."""

    def __init__(self):
        self.items = {}

    def get(self, name):
        return self.items.get(name.lower())

    def put(self, name, payload):
        old = self.items.get(name.lower())
        self.items[name.lower()] = (old[0] if old else name, payload)

    def remove(self, name):
        self.items.pop(name.lower(), None)

    def names(self):
        return [v[0] for v in self.items.values()]


class Place:
    """One watched place: the model of what the monitor reads, and its snapshot."""

    def __init__(self, category):
        self.category = category
        self.snapshot = {}
        self.notified = False

    def truth(self):
        raise NotImplementedError

    def event(self, kind, name, text):
        return (self.category, kind, name, text)

    def compare(self):
        now = self.truth()
        events = []
        for name, text in now.items():
            if name not in self.snapshot:
                events.append(self.event("New", name, text))
            elif self.snapshot[name] != text:
                events.append(self.event("Changed", name, text))
        for name, text in self.snapshot.items():
            if name not in now:
                events.append(self.event("Deleted", name, text))
        self.snapshot = now
        self.notified = False
        return events


class ValuePlace(Place):
    """Values of one key, every change notifies: Auto Run keys, Winlogon."""

    def __init__(self, category, root, path, location=None, pool=8, types=("sz",)):
        super().__init__(category)
        self.root, self.path, self.location = root, path, location
        self.values = Store()
        self.pool = ["KsS%s%d" % (category[:2].replace(" ", ""), i) for i in range(pool)]
        self.types = types

    def event(self, kind, name, text):
        if self.location:  # Auto Run: location the key, details name=data
            return (self.category, kind, self.location, "%s=%s" % (name, text))
        return (self.category, kind, name, text)

    def truth(self):
        out = {}
        for name, (vtype, data) in self.values.items.values():
            if vtype == "sz":
                out[name] = data
            elif vtype == "dw":
                out[name] = str(data)
        return out

    def set_op(self, rng, name, vtype=None):
        vtype = vtype or rng.choice(self.types)
        if vtype == "sz":
            data = rand_text(rng)
            line = "setsz\t%s\t%s\t%s\t%s" % (self.root, self.path, name, data)
        elif vtype == "dw":
            data = rng.choice([0, 1, 7, 65535, 2**31 - 1, -1, -2**31, rng.randint(-10**6, 10**6)])
            line = "setdw\t%s\t%s\t%s\t%d" % (self.root, self.path, name, data)
        else:
            data = "".join("%02x" % rng.randint(0, 255) for _ in range(rng.randint(1, 8)))
            line = "setbin\t%s\t%s\t%s\t%s" % (self.root, self.path, name, data)
        self.values.put(name, (vtype, data))
        return [line]

    def random_ops(self, rng):
        base = rng.choice(self.pool)
        old = self.values.get(base)
        self.notified = True
        if not old:
            return self.set_op(rng, case_variant(rng, base))
        name, (vtype, data) = old
        choice = rng.random()
        if choice < 0.35:
            return self.set_op(rng, name)  # changed (or the same type again)
        if choice < 0.45 and vtype == "sz":
            self.values.put(name, (vtype, flip_case(data)))
            return ["setsz\t%s\t%s\t%s\t%s" % (self.root, self.path, name, flip_case(data))]
        if choice < 0.65:
            self.values.remove(name)
            return ["delval\t%s\t%s\t%s" % (self.root, self.path, name)]
        if choice < 0.8:  # case-only rename: the data moves to the new spelling
            self.values.remove(name)
            new = name.swapcase()
            self.values.put(new, (vtype, data))
            return ["delval\t%s\t%s\t%s" % (self.root, self.path, name)] + self.rewrite(new, vtype, data)
        # rename to another name of the pool that is free
        free = [b for b in self.pool if not self.values.get(b)]
        if not free:
            return self.set_op(rng, name)
        self.values.remove(name)
        new = case_variant(rng, rng.choice(free))
        self.values.put(new, (vtype, data))
        return ["delval\t%s\t%s\t%s" % (self.root, self.path, name)] + self.rewrite(new, vtype, data)

    def rewrite(self, name, vtype, data):
        op = {"sz": "setsz", "dw": "setdw", "bin": "setbin"}[vtype]
        return ["%s\t%s\t%s\t%s\t%s" % (op, self.root, self.path, name, data)]

    def cleanup(self):
        return []


class SubkeyPlace(Place):
    """Direct subkeys of one key, each rendered from its own values. `name_only`: only subkeys
    coming and going notify."""

    def __init__(self, category, root, path, prefix, fields, render, name_only, pool=8):
        super().__init__(category)
        self.root, self.path, self.fields, self.render, self.name_only = root, path, fields, render, name_only
        self.keys = Store()  # name -> {field: text}
        self.pool = ["%s%d" % (prefix, i) for i in range(pool)]

    def truth(self):
        return {name: self.render(fields) for name, fields in self.keys.items.values()}

    def key_path(self, name):
        return "%s\\%s" % (self.path, name)

    def write(self, name, fields):
        lines = ["mkkey\t%s\t%s" % (self.root, self.key_path(name))]
        for field, text in fields.items():
            lines.append("setsz\t%s\t%s\t%s\t%s" % (self.root, self.key_path(name), field, text))
        return lines

    def random_ops(self, rng):
        base = rng.choice(self.pool)
        old = self.keys.get(base)
        if not old:
            fields = {f: rand_text(rng) for f in self.fields if rng.random() < 0.85}
            name = case_variant(rng, base)
            self.keys.put(name, fields)
            self.notified = True
            return self.write(name, fields)
        name, fields = old
        choice = rng.random()
        if choice < 0.4:  # a value inside the subkey
            field = rng.choice(self.fields)
            if field in fields and rng.random() < 0.25:
                del fields[field]
                line = "delval\t%s\t%s\t%s" % (self.root, self.key_path(name), field)
            else:
                text = flip_case(fields[field]) if field in fields and rng.random() < 0.3 else rand_text(rng)
                fields[field] = text
                line = "setsz\t%s\t%s\t%s\t%s" % (self.root, self.key_path(name), field, text)
            if not self.name_only:
                self.notified = True
            return [line]
        self.notified = True
        self.keys.remove(name)
        lines = ["delkey\t%s\t%s" % (self.root, self.key_path(name))]
        if choice < 0.65:
            return lines
        if choice < 0.8:
            new = name.swapcase()
        else:
            free = [b for b in self.pool if not self.keys.get(b)]
            new = case_variant(rng, rng.choice(free)) if free else name.swapcase()
        self.keys.put(new, dict(fields))
        return lines + self.write(new, fields)


class COMPlace(Place):
    """HKCR\\CLSID: classes coming and going, and their server keys changing, notify."""

    def __init__(self, pool=8):
        super().__init__("ActiveX COM")
        self.classes = Store()  # name -> {"": class name, "InprocServer32": .., "LocalServer32": ..}
        self.pool = ["{5eed%04d-abcd-ef00-0000-00000000cafe}" % i for i in range(pool)]

    def truth(self):
        out = {}
        for name, parts in self.classes.items.values():
            inproc, local = parts.get("InprocServer32", ""), parts.get("LocalServer32", "")
            if not inproc and not local:
                continue
            text = ""
            if parts.get(""):
                text += "COM=%s;" % parts[""]
            if inproc:
                text += "Inproc=%s;" % inproc
            if local:
                text += "Local=%s " % local
            out[name] = text
        return out

    def write(self, name, parts):
        lines = ["mkkey\tHKCR\tCLSID\\%s" % name]
        for sub, text in parts.items():
            path = "CLSID\\%s" % name + ("\\" + sub if sub else "")
            lines.append("setdef\tHKCR\t%s\t%s" % (path, text))
        return lines

    def random_ops(self, rng):
        base = rng.choice(self.pool)
        old = self.classes.get(base)
        if not old:
            parts = {}
            for sub in ("", "InprocServer32", "LocalServer32"):
                if rng.random() < 0.6:
                    parts[sub] = rand_text(rng)
            name = case_variant(rng, base)
            self.classes.put(name, parts)
            self.notified = True
            return self.write(name, parts)
        name, parts = old
        choice = rng.random()
        if choice < 0.4:  # a server path changes, appears or goes
            self.notified = True
            sub = rng.choice(("", "InprocServer32", "LocalServer32"))
            path = "CLSID\\%s" % name + ("\\" + sub if sub else "")
            if sub and sub in parts and rng.random() < 0.3:
                del parts[sub]
                return ["delkey\tHKCR\t%s" % path]
            parts[sub] = rand_text(rng)
            return ["setdef\tHKCR\t%s\t%s" % (path, parts[sub])]
        self.notified = True
        self.classes.remove(name)
        lines = ["delkey\tHKCR\tCLSID\\%s" % name]
        if choice < 0.7:
            return lines
        new = name.swapcase()
        self.classes.put(new, dict(parts))
        return lines + self.write(new, parts)


class AssocPlace(Place):
    """Extensions under HKCR with a ProgID whose open command is watched. Extension and ProgID
    keys coming and going notify (they are direct subkeys of the root); a change below a ProgID
    (its command, or the command key going or coming) notifies only through the ProgID key the
    monitor holds for the extension: the one it recorded, or, once that was deleted, the one it
    opened afresh at the next comparison."""

    def __init__(self, pool=8):
        super().__init__("File Associations")
        self.exts = Store()  # ".kssN" -> progid
        self.progs = Store()  # progid -> [generation, command]
        self.generation = 0
        self.watched = {}  # recorded extension -> (progid lower, generation of its command key)
        self.pool = [".kss%d" % i for i in range(pool)]

    def progid(self, base):
        return "KsS.Prog" + base[4:]

    def truth(self):
        out = {}
        for name, progid in self.exts.items.values():
            prog = self.progs.get(progid)
            if prog and prog[1][1]:
                out[name] = "%s=%s" % (progid, prog[1][1])
        return out

    def compare(self):
        events = super().compare()
        for name in list(self.watched):
            if name not in self.snapshot:
                del self.watched[name]
        for name in self.snapshot:
            progid = self.exts.get(name)[1]
            generation = self.progs.get(progid)[1][0]
            # A command key deleted since it was recorded is opened afresh by this comparison.
            if name not in self.watched or self.watched[name][1] != generation:
                self.watched[name] = (progid.lower(), generation)
        return events

    def make_prog(self, progid, command):
        self.generation += 1
        self.progs.put(progid, [self.generation, command])
        self.notified = True
        return ["setdef\tHKCR\t%s\\shell\\open\\command\t%s" % (progid, command)]

    def random_ops(self, rng):
        base = rng.choice(self.pool)
        progid = self.progid(base)
        old = self.exts.get(base)
        prog = self.progs.get(progid)
        if not old:
            lines = [] if prog else self.make_prog(progid, rand_text(rng))
            name = case_variant(rng, base)
            self.exts.put(name, progid)
            self.notified = True
            return lines + ["setdef\tHKCR\t%s\t%s" % (name, progid)]
        name, _ = old
        choice = rng.random()
        if choice < 0.45 and prog:
            command = flip_case(prog[1][1]) if rng.random() < 0.3 else rand_text(rng)
            prog[1][1] = command
            if any(w == (progid.lower(), prog[1][0]) for w in self.watched.values()):
                self.notified = True
            return ["setdef\tHKCR\t%s\\shell\\open\\command\t%s" % (progid, command)]
        if choice < 0.52 and prog and prog[1][1]:  # only the command key goes, perhaps to come back
            watched = any(w == (progid.lower(), prog[1][0]) for w in self.watched.values())
            prog[1][1] = ""
            lines = ["delkey\tHKCR\t%s\\shell" % progid]
            if rng.random() < 0.5:
                prog[1][1] = rand_text(rng)
                lines.append("setdef\tHKCR\t%s\\shell\\open\\command\t%s" % (progid, prog[1][1]))
            self.notified |= watched
            return lines
        if choice < 0.6 and prog:  # the ProgID goes, or goes and comes back with a new key
            self.progs.remove(progid)
            self.notified = True
            lines = ["delkey\tHKCR\t%s" % progid]
            if rng.random() < 0.5:
                lines += self.make_prog(progid, rand_text(rng))
            return lines
        self.notified = True
        self.exts.remove(name)
        lines = ["delkey\tHKCR\t%s" % name]
        if choice < 0.8:
            self.progs.remove(progid)
            return lines + (["delkey\tHKCR\t%s" % progid] if prog else [])
        new = name.swapcase()
        self.exts.put(new, progid)
        return lines + ["setdef\tHKCR\t%s\t%s" % (new, progid)]


class FolderPlace(Place):
    """One Startup folder: file names only, New and Deleted."""

    def __init__(self, label, folder, pool=8):
        super().__init__("Auto Start")
        self.label, self.folder = label, folder
        self.files = Store()
        self.pool = ["kss_%s%d.lnk" % (label[0].lower(), i) for i in range(pool)]

    def event(self, kind, name, text):
        return (self.category, kind, self.label, name)

    def truth(self):
        return {name: name for name in self.files.names()}

    def path(self, name):
        return "%s\\%s" % (self.folder, name)

    def random_ops(self, rng):
        base = rng.choice(self.pool)
        old = self.files.get(base)
        if not old:
            name = case_variant(rng, base)
            self.files.put(name, None)
            self.notified = True
            return ["mkfile\t%s\t%s" % (self.path(name), rand_text(rng))]
        name, _ = old
        choice = rng.random()
        if choice < 0.2:  # contents only: no event
            return ["mkfile\t%s\t%s" % (self.path(name), rand_text(rng))]
        self.notified = True
        self.files.remove(name)
        if choice < 0.5:
            return ["delfile\t%s" % self.path(name)]
        if choice < 0.7:
            # Letter case only. Wine's MoveFile keeps the old spelling for that, so the file
            # is made again under the new one; the listing differs the same way.
            new = name.swapcase()
            self.files.put(new, None)
            return ["delfile\t%s" % self.path(name), "mkfile\t%s\t%s" % (self.path(new), rand_text(rng))]
        # Another name, never the same one in other letters (see above).
        free = [b for b in self.pool if not self.files.get(b) and b != name.lower()]
        if not free:
            return ["delfile\t%s" % self.path(name)]
        new = case_variant(rng, rng.choice(free))
        self.files.put(new, None)
        return ["mvfile\t%s\t%s" % (self.path(name), self.path(new))]


ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")


def fold(text):
    """Case folding as _mbsicmp does it in the program's locale: ASCII letters only."""
    return text.translate(ASCII_LOWER)


def compare_no_case(category, snapshot, now):
    """The task monitor's comparison: names exact, details without regard to case; details
    that differ only in case are not stored, so a later Deleted shows the old ones."""
    events = []
    kept = {}
    for name, text in now.items():
        if name not in snapshot:
            events.append((category, "New", name, text))
            kept[name] = text
        elif fold(snapshot[name]) != fold(text):
            events.append((category, "Changed", name, text))
            kept[name] = text
        else:
            kept[name] = snapshot[name]
    for name, text in snapshot.items():
        if name not in now:
            events.append((category, "Deleted", name, text))
    return events, kept


def job_details(flags, week_days, month_days, job_time, command):
    days = "Each " if flags & 1 else ""
    days += "".join(d for bit, d in enumerate(("M ", "T ", "W ", "Th ", "F ", "Sa ", "Su ")) if week_days >> bit & 1)
    days += "".join("%d " % (bit + 1) for bit in range(31) if month_days >> bit & 1)
    minutes = job_time // 60000 % (24 * 60)
    hour = minutes // 60
    return "%s;%2d:%02d%s;%s" % (days, hour % 12 or 12, minutes % 60, "AM" if hour < 12 else "PM", command)


class PollClock:
    """When the task monitor polls. Each poll activates every work item, which opens its file;
    the clock work item is touched by nothing else, so each opening of its file (inotify) is
    a poll of the running program."""

    IN_OPEN = 0x20

    def __init__(self, folder, filename):
        self.opens = []
        self.lock = threading.Lock()
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_CLOEXEC)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, folder.encode(), self.IN_OPEN) < 0:
            raise OSError(ctypes.get_errno(), "inotify on %s" % folder)
        self.filename = filename.lower()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        while True:
            data = os.read(self.fd, 65536)
            now = time.time()
            i = 0
            while i < len(data):
                _, _, _, size = struct.unpack_from("iIII", data, i)
                name = data[i + 16:i + 16 + size].rstrip(b"\0").decode("latin-1")
                i += 16 + size
                if name.lower() == self.filename:
                    with self.lock:
                        self.opens.append(now)

    def polls_between(self, start, end):
        with self.lock:
            return [t for t in self.opens if start <= t <= end]

    def wait_poll(self, after, limit):
        """The time of the first poll after `after`, or None within `limit` seconds."""
        deadline = time.time() + limit
        while time.time() < deadline:
            polls = self.polls_between(after, float("inf"))
            if polls:
                return polls[0]
            time.sleep(0.05)
        return None


class TaskPlace(Place):
    """The Task Scheduler, by its two routes. Work items: name.job -> ";application" (no
    triggers), from the model. Jobs: id -> "days;time;command", read back from the schedule
    service, since Wine's service gives every added or rewritten work item a new id and, when
    changes come faster than it reads them, drops all but the first of each batch of
    directory changes it reads: its list follows the folder only loosely. Wine lists every
    job as a work item too (AtN.job, application = command) and every work item as a job."""

    CLOCK = "KsSTaskClock"

    def __init__(self, folder, pool=6):
        super().__init__("Task Scheduler")
        self.folder = folder  # the Tasks folder on the Linux side
        self.items = Store()  # work item name without ".job" -> application
        self.pool = ["KsSTask%d" % i for i in range(pool)]
        self.jobs = {}  # job route snapshot, id -> details
        self.listed = set()  # commands the service lists, folded
        self.new_job = None  # command of the job added this round; its file is named by the service
        self.touched = set()
        self.serial = 0
        # Wine's service may still list jobs of an earlier run whose files are gone: commands
        # are never the same twice.
        self.run = "%x" % (int(time.time() * 10) % 0x100000)
        self.changes = 0

    def truth(self):
        return {name + ".job": ";" + app for name, app in self.items.items.values()}

    def compare(self):
        events, self.snapshot = compare_no_case(self.category, self.snapshot, self.truth())
        return events

    def app(self, rng):
        self.serial += 1
        return "%s%s-%d %s.exe" % (TASK_APP_PREFIX, self.run, self.serial, rand_text(rng, 1, 20))

    def begin_round(self):
        self.new_job = None
        self.touched = set()

    def random_ops(self, rng):
        at_items = [n for n in self.items.names() if n.lower() not in self.touched and n.lower().startswith("at")]
        choice = rng.choice(self.pool + at_items + ["job"])
        if choice == "job":
            if self.new_job:
                return []
            self.new_job = self.app(rng).replace(".exe", ".bat")
            return ["addjob\t%s" % self.new_job]
        old = self.items.get(choice)
        if choice in at_items:  # a job made earlier: one change, then it rests for the round
            name, app = old
            self.touched.add(name.lower())
            if rng.random() < 0.4:
                new = flip_case(app) if rng.random() < 0.3 else self.app(rng)
                self.items.put(name, new)
                return ["settask\t%s\t%s" % (name, new)]
            self.items.remove(name)
            if fold(app) in self.listed and rng.random() < 0.6:
                return ["deljob\t%s" % app]
            return ["deltask\t%s" % name]
        if not old:
            name = case_variant(rng, choice)
            app = self.app(rng)
            self.items.put(name, app)
            return ["addtask\t%s\t%s" % (name, app)]
        name, app = old
        r = rng.random()
        if r < 0.35:
            new = flip_case(app) if rng.random() < 0.3 else self.app(rng)
            self.items.put(name, new)
            return ["settask\t%s\t%s" % (name, new)]
        self.items.remove(name)
        lines = ["deltask\t%s" % name]
        if r < 0.55:
            return lines
        free = [b for b in self.pool if not self.items.get(b) and b.lower() != name.lower()]
        new = name.swapcase() if r < 0.8 or not free else case_variant(rng, rng.choice(free))
        self.items.put(new, app)
        return lines + ["addtask\t%s\t%s" % (new, app)]

    def files(self):
        return [n for n in os.listdir(self.folder) if n.lower().endswith(".job")]

    def ours(self, filename):
        stem = filename[:-4].lower()
        return stem in [b.lower() for b in self.pool] or stem in [n.lower() for n in self.items.names()]

    def after_batch(self, files_before):
        """Names the job added this round (its file is the one At*.job that is new), checks
        the folder against the model, returns the differences found."""
        problems = []
        files = self.files()
        made = [f for f in files if f not in files_before and re.fullmatch(r"(?i)at\d+\.job", f)]
        if self.new_job:
            if len(made) != 1:
                return ["the added job made %d new At files: %s" % (len(made), made)]
            self.items.put(made[0][:-4], self.new_job)
        elif made:
            return ["At files that no change made: %s" % made]
        on_disk = sorted(f for f in files if self.ours(f))
        modelled = sorted(name + ".job" for name in self.items.names())
        if on_disk != modelled:
            problems.append("the Tasks folder holds %s, the model %s" % (on_disk, modelled))
        return problems

    def read_jobs(self):
        """The service's job list as the monitor renders it, or None."""
        rc, out = helper(["jobs"])
        if rc != 0:
            return None
        jobs = {}
        for line in out.split("\n"):
            fields = line.split("\t", 6)
            if len(fields) == 7 and fields[0] == "job":
                jobs[fields[1]] = job_details(*(int(f) for f in fields[2:6]), fields[6])
        return jobs

    def settled_jobs(self, quiet=1.0, limit=8.0):
        """The job list once the service has not changed it for `quiet` seconds, and the time
        it was first read (the service may have been busy until then); None when it is not."""
        deadline = time.time() + limit
        last, since = None, time.time()
        while time.time() < deadline:
            jobs = self.read_jobs()
            read = time.time()
            if jobs != last:
                last, since = jobs, read
            elif jobs is not None and read - since >= quiet:
                return jobs, since
            time.sleep(0.2)
        return None, None

    def compare_jobs(self, jobs):
        self.listed = {fold(d.split(";", 2)[2]) for d in jobs.values()}
        events, self.jobs = compare_no_case(self.category, self.jobs, jobs)
        return events


def tasks_folder():
    windows = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows")
    for name in os.listdir(windows):
        if name.lower() == "tasks":
            return os.path.join(windows, name)
    return None


def helper(args):
    result = subprocess.run(["wine", HELPER] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    return result.returncode, result.stdout.decode("latin-1").replace("\r", "")


def logged(field):
    """The field as the log holds it: a leading ' before what a spreadsheet would run."""
    number = re.fullmatch(r"[+-]?(\d+\.?\d*|\.\d+)", field)
    return "'" + field if field[:1] in ("=", "+", "-", "@", "\t", "\r") and field and not number else field


def read_csv():
    try:
        with open(CSV_PATH, "rb") as f:
            data = f.read().decode("latin-1")
    except FileNotFoundError:
        return [], ""
    rows = list(csv.reader(data.split("\r\n")[:-1] if data.endswith("\r\n") else data.split("\r\n")))
    return rows, data


def make_places(folders):
    places = []
    for root, key in (("HKLM", "Run"), ("HKLM", "RunOnce"), ("HKCU", "Run"), ("HKCU", "RunOnce")):
        path = "%s\\%s" % (CV, key)
        places.append(ValuePlace("Auto Run", root, path, location="%s/%s" % (root, path), pool=5))
    places.append(SubkeyPlace("Service", "HKLM", SERVICES, "KsSService", ["ImagePath"],
                              lambda f: f.get("ImagePath", ""), name_only=False))
    places.append(SubkeyPlace("Installs", "HKLM", UNINSTALL, "KsSProduct", ["DisplayName", "DisplayVersion"],
                              lambda f: "%s v%s" % (f.get("DisplayName", ""), f.get("DisplayVersion", "")),
                              name_only=False))
    places.append(ValuePlace("WinLogon", "HKLM", WINLOGON, types=("sz", "sz", "dw", "bin")))
    places.append(SubkeyPlace("Share Resource", "HKCU", "Network", "KsSDrive", ["RemotePath"],
                              lambda f: f.get("RemotePath", ""), name_only=False, pool=6))
    places.append(COMPlace())
    places.append(AssocPlace())
    places.append(FolderPlace("Personal", folders[0]))
    places.append(FolderPlace("All Users", folders[1]))
    return places


def prepare(places):
    """Removes every name the script may have left, and creates the keys that a fresh prefix
    lacks (a key missing at the start is never watched)."""
    lines = ["mkkey\tHKCU\t%s\\RunOnce" % CV, "mkkey\tHKCU\tNetwork"]
    for p in places:
        if isinstance(p, ValuePlace):
            lines += ["delval\t%s\t%s\t%s" % (p.root, p.path, n) for n in p.pool]
        elif isinstance(p, SubkeyPlace):
            lines += ["delkey\t%s\t%s" % (p.root, p.key_path(n)) for n in p.pool]
        elif isinstance(p, COMPlace):
            lines += ["delkey\tHKCR\tCLSID\\%s" % n for n in p.pool]
        elif isinstance(p, AssocPlace):
            lines += ["delkey\tHKCR\t%s" % n for n in p.pool] + ["delkey\tHKCR\t%s" % p.progid(n) for n in p.pool]
        elif isinstance(p, FolderPlace):
            lines += ["delfile\t%s" % p.path(n) for n in p.pool]
    return lines


def clean_tasks(outdir, make_clock):
    """Deletes every work item (and so every job) the script may have left, then makes the
    clock when asked, and waits until the schedule service has caught up."""
    rc, out = helper(["tasks"])
    if rc != 0:
        print("the helper could not list the tasks")
        return False
    lines = []
    for line in out.split("\n"):
        fields = line.split("\t")
        if len(fields) == 3 and fields[0] == "item":
            stem = fields[1][:-4] if fields[1].lower().endswith(".job") else fields[1]
            if stem.lower().startswith("ksstask") or fields[2].lower().startswith(TASK_APP_PREFIX.lower()):
                lines.append("deltask\t%s" % stem)
    if make_clock:
        lines.append("addtask\t%s\t%sclock.exe" % (TaskPlace.CLOCK, TASK_APP_PREFIX))
    if lines:
        ops_file = os.path.join(outdir, "tasks.txt")
        with open(ops_file, "w", encoding="latin-1", newline="\n") as f:
            f.write("\n".join(lines) + "\n")
        if helper(["run", ops_file])[0] != 0:
            print("the helper could not clean the tasks")
            return False
    return TaskPlace(None).settled_jobs()[0] is not None


def task_round(tasks, clock, rng, outdir, journal, after):
    """One batch of task changes right after a poll; returns (events, end, failure)."""
    # A poll that is over by now, the next one in less than 10 s, is no use.
    poll = clock.wait_poll(max(after, time.time() - 1.0), 30)
    if poll is None:
        return [], after, "no poll of the task monitor for 30 s"
    # The poll reads every work item and then the jobs, in far less than this.
    time.sleep(max(0.0, poll + 1.5 - time.time()))
    tasks.begin_round()
    lines = []
    for _ in range(rng.randint(1, 4)):
        lines += tasks.random_ops(rng)
    if not lines:
        return [], time.time(), None
    ops_file = os.path.join(outdir, "tasks.txt")
    with open(ops_file, "w", encoding="latin-1", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    files_before = tasks.files()
    tasks.changes += len(lines)
    rc, out = helper(["run", ops_file])
    entries = [e.split("\t", 2) for e in out.split("\n") if e]
    journal.write("# tasks\n%s" % out)
    journal.flush()
    # Wine's NetScheduleJobAdd makes the file and then says "not found" when its own list
    # missed it: the file is checked below.
    bad = [e for e in entries if e[1] != "0" and not (e[1] == "2" and e[2].startswith("addjob\t"))]
    if bad or len(entries) != len(lines):
        return [], after, "the helper could not apply %d of %d task changes: %s" % (
            len(bad) or len(lines) - len(entries), len(lines), bad[:3])
    done = time.time()
    problems = tasks.after_batch(files_before)
    jobs, settled = tasks.settled_jobs()
    if jobs is None:
        return [], time.time(), "the schedule service's job list did not settle"
    # Every poll from here on reads the final state.
    end = max(done, settled)
    overlapping = clock.polls_between(poll + 0.5, end)
    if overlapping:
        problems.append("a poll came %.1f s after the one before, within the task changes, "
                        "which took %.1f s and settled %.1f s later" % (overlapping[0] - poll, done - poll, end - done))
    if problems:
        return [], end, "; ".join(problems)
    return tasks.compare() + tasks.compare_jobs(jobs), end, None


def startup_folders():
    rc, out = helper(["folders"])
    folders = [line for line in out.split("\n") if line]
    return folders if rc == 0 and len(folders) == 2 else None


def main():
    if sys.argv[1] in ("prepare", "clean"):
        folders = startup_folders()
        if not folders:
            print("no Startup folders from the helper")
            return 1
        ops_file = os.path.join(sys.argv[2], "prepare.txt")
        with open(ops_file, "w", encoding="latin-1", newline="\n") as f:
            f.write("\n".join(prepare(make_places(folders))) + "\n")
        helper(["run", ops_file])  # most of the names are not there: failures are expected
        return 0 if clean_tasks(sys.argv[2], sys.argv[1] == "prepare") else 1
    outdir, seconds = sys.argv[1], float(sys.argv[2])
    seed = int(os.environ.get("STRESS_SEED") or time.time())
    rng = random.Random(seed)
    print("seed %d, %d s" % (seed, seconds))
    folders = startup_folders()
    if not folders:
        print("FAIL: no Startup folders from the helper")
        return 1
    places = make_places(folders)
    for p in places:
        p.snapshot = p.truth()  # all empty: the script cleaned its names before the start
    tasks = TaskPlace(tasks_folder())
    clock = PollClock(tasks.folder, TaskPlace.CLOCK + ".job")
    # The first poll is over and the service has caught up with the clean-up before it.
    tasks.jobs = tasks.settled_jobs()[0]
    if tasks.jobs is None:
        print("FAIL: no job list from the schedule service")
        return 1
    journal = open(os.path.join(outdir, "journal.txt"), "w", encoding="latin-1")
    expected = []
    failures = 0
    start = tasks_done = time.time()
    rounds = ops_total = 0
    while time.time() - start < seconds:
        round_start = time.time()
        lines = []
        # One thread watches all four Run keys, and one both Startup folders: places that
        # signal together are compared after one settle, so a round may change them all.
        chosen = [p for p in places if rng.random() < 0.8 or not isinstance(p, (ValuePlace, FolderPlace))]
        for p in chosen:
            for _ in range(rng.randint(2, 6)):
                lines += p.random_ops(rng)
        ops_file = os.path.join(outdir, "ops.txt")
        with open(ops_file, "w", encoding="latin-1", newline="\n") as f:
            f.write("\n".join(lines) + "\n")
        rc, out = helper(["run", ops_file])
        entries = [e.split("\t", 2) for e in out.split("\n") if e]
        journal.write("# round %d\n%s" % (rounds, out))
        journal.flush()
        bad = [e for e in entries if e[1] != "0"]
        if rc != 0 or bad or len(entries) != len(lines):
            print("FAIL: round %d: the helper could not apply %d of %d changes: %s" % (
                rounds, len(bad) or len(lines) - len(entries), len(lines), bad[:3]))
            return 1
        span = (int(entries[-1][0]) - int(entries[0][0])) / 1000.0
        if span > SETTLE / 3:
            print("FAIL: round %d took %.1f s, too long for its changes to fold into one comparison" % (rounds, span))
            return 1
        ops_total += len(lines)
        rounds += 1
        for p in places:
            if p.notified:
                expected += p.compare()
        events, tasks_done, failure = task_round(tasks, clock, rng, outdir, journal, tasks_done)
        if failure:
            print("FAIL: round %d: %s" % (rounds - 1, failure))
            return 1
        expected += events
        time.sleep(max(0.0, round_start + ROUND_SPACING - time.time()))
    # The last task changes are reported by the next poll.
    if clock.wait_poll(tasks_done, 30) is None:
        print("FAIL: no poll of the task monitor after the last changes")
        failures += 1
    time.sleep(1.0)

    rows, raw = read_csv()
    today = time.strftime("%d/%m/%Y")
    start_day = time.strftime("%d/%m/%Y", time.localtime(start))
    actual = []
    for row in rows:
        if len(row) != 5 or row[0] not in (today, start_day):
            print("FAIL: malformed line: %r" % (row,))
            failures += 1
            continue
        actual.append(tuple(row[1:]))
    missing = [tuple(logged(f) for f in e) for e in expected]
    extra = []
    for event in actual:
        if event in missing:
            missing.remove(event)
        else:
            extra.append(event)
    for event in missing:
        print("FAIL: lost: %r" % (event,))
    for event in extra:
        print("FAIL: invented or wrong: %r" % (event,))
    failures += len(missing) + len(extra)
    by_category = {}
    for event in expected:
        by_category[event[0]] = by_category.get(event[0], 0) + 1
    print("%d rounds, %d changes, %d events expected, %d lines logged, %d lost, %d unexplained" % (
        rounds, ops_total + tasks.changes, len(expected), len(actual), len(missing), len(extra)))
    print("events per category: %s" % ", ".join("%s %d" % kv for kv in sorted(by_category.items())))
    apps = [fold(app) for _, app in tasks.items.items.values()]
    print("work items left: %d, of which the schedule service lists %d as jobs" % (
        len(apps), sum(app in tasks.listed for app in apps)))
    with open(os.path.join(outdir, "expected.txt"), "w", encoding="latin-1") as f:
        f.write("\n".join("\t".join(e) for e in expected) + "\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
