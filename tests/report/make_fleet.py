#!/usr/bin/env python3
"""Writes a fleet of veltmor-scan report files and the truth about it.

    make_fleet.py OUTDIR [--machines N] [--runs K] [--rows R] [--seed S]
                         [--as-of 2026-12-07T00:00:00Z] [--no-damage] [--no-links]
    make_fleet.py OUTDIR --big-file   one machine's run of 100,000 broken rows (60 MB), alone

OUTDIR/fleet/<machine>/<yyyymmdd-hhmmss>.json  one scan file per run
OUTDIR/expected-machines.txt                     for --expected: some machines, some that never reported
OUTDIR/expected.json                             what veltmor-report must find

The truth comes from this script's own model of the runs it made, never from
reading the files back, so a reader that misparses a file cannot agree with
it by accident.  The same seed gives the same bytes.
"""
import argparse
import calendar
import json
import os
import random
import sys
import time

STALE_DAYS = 7
DAY = 86400
TREND_MAX_DAYS = 366
_ASCII_LOWER = {c: c + 32 for c in range(ord("A"), ord("Z") + 1)}


def ascii_lower(s):
    # Program grouping folds ASCII only, as paths are compared.
    return s.translate(_ASCII_LOWER)


SPACES = "\u0020\u00a0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a\u202f\u205f\u3000"


def simple_fold(c):
    # Unicode simple case folding: one code point to one (the generator's
    # names keep to the scripts the reader folds).
    for f in (c.casefold(), c.lower()):
        if len(f) == 1:
            return f
    return c


def machine_key(name):
    return "".join(simple_fold(c) for c in name.strip(SPACES))


def parse_time(text):
    return calendar.timegm(time.strptime(text, "%Y-%m-%dT%H:%M:%SZ"))


def fmt_time(t):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(t))


def fmt_stamp(t):
    return time.strftime("%Y%m%d-%H%M%S", time.gmtime(t))


def fmt_day(t):
    return time.strftime("%Y-%m-%d", time.gmtime(t))


# ---- program folders -------------------------------------------------------

def normalise_users(target):
    """X:\\Users\\<name>\\... -> X:\\Users\\*\\... so per-user installs group."""
    if (len(target) > 9 and target[0].isascii() and target[0].isalpha() and target[1:3] == ":\\"
            and ascii_lower(target[3:9]) == "users\\"):
        end = target.find("\\", 9)
        if end > 9:
            return target[:3] + "Users\\*" + target[end:]
    return target


def parent_folder(target):
    cut = target.rfind("\\")
    return target[:cut] if cut >= 0 else target


_INSTALL_ROOTS = ("program files\\", "program files (x86)\\", "users\\*\\appdata\\local\\programs\\")


def program_folder(norm):
    if len(norm) > 3 and norm[0].isascii() and norm[0].isalpha() and norm[1:3] == ":\\":
        low = ascii_lower(norm[3:])
        for root in _INSTALL_ROOTS:
            if low.startswith(root):
                start = 3 + len(root)
                nxt = norm.find("\\", start)
                if nxt > start:
                    return norm[:nxt]
                return parent_folder(norm)
    return parent_folder(norm)


# ---- what the fleet is made of ---------------------------------------------

HOSTILE_HTML = "</script><b>x</b>"
HOSTILE_CSV = "=cmd|' /C calc'!A0"
HOSTILE_MACHINE = "=SUM(1+1)!A0 @cmd"  # a formula that is also a folder name
RLO = "\u202e"
RLO_SHORTCUT = "invoice" + RLO + "gnp.exe"  # shown raw, reads as invoiceexe.png
HOSTILE_NOTE = HOSTILE_HTML + "<img src=x onerror=\"window.__veltmorPwned=1\">"

USERS = ["alice", "bob", "carol", "dmitri", "Ölaf", "zoë", "мария", "ελένη", "李雷", "فاطمة",
         "jürgen", "o'brien", "yuki", "priya", "emoji🦊"]

# (weight, reason, drive, target with {u} for a profile user, shortcut name)
BROKEN = [
    (30, "missing", "fixed", "C:\\Program Files\\Foo Corp\\Foo\\foo.exe", "Foo"),
    (4, "missing", "fixed", "C:\\PROGRAM FILES\\FOO CORP\\Foo\\FOO.EXE", "Foo"),
    (18, "missing", "fixed", "C:\\Program Files (x86)\\Contoso Legacy\\Tool 7\\tool7.exe", "Tool 7"),
    (8, "missing", "fixed", "C:\\Program Files (x86)\\Contoso Legacy\\Tool 7\\help.chm", "Tool 7 Help"),
    (16, "missing", "fixed", "C:\\Users\\{u}\\AppData\\Local\\Programs\\Chatty\\Chatty.exe", "Chatty"),
    (4, "missing", "fixed", "c:\\users\\{u}\\appdata\\local\\programs\\chatty\\Chatty.exe", "Chatty"),
    (9, "missing", "fixed", "C:\\Program Files\\Программа Учёт\\учёт.exe", "Учёт"),
    (7, "missing", "fixed", "C:\\Program Files\\日本語ツール\\ツール.exe", "ツール"),
    (6, "missing", "fixed", "C:\\Program Files\\Fox Browser 🦊\\fox.exe", "Fox 🦊"),
    (5, "missing", "fixed", "C:\\Program Files\\Lone.exe", "Lone"),
    (6, "missing", "fixed", "D:\\Apps\\legacy\\run.exe", "Legacy"),
    (4, "missing", "fixed", "C:\\Users\\{u}\\Documents\\Macros\\old.xlsm", "Old macros"),
    (3, "missing", "removable", "E:\\PortableApps\\Κείμενο\\edit.exe", "Κείμενο"),
    (2, "missing", "fixed", "notes.txt", "Notes"),
    (8, "unreachable-drive", "network", "\\\\fileserver\\apps\\erp\\erp.exe", "ERP"),
    (3, "unreachable-drive", "network", "Z:\\Tools\\برنامج\\tool.exe", "أداة"),
    (4, "unreadable", "unknown", "", "Damaged link"),
    (4, "no-file-target", "no-root", "", "Control panel item"),
    (3, "installer-managed", "fixed", "C:\\Windows\\Installer\\{7C1E6E8E-1F2B-4C4D-9C3A-2B5E0A1D3F11}\\icon.exe",
     "Advertised app"),
]
_BROKEN_WEIGHTS = [b[0] for b in BROKEN]

PRESENT = [
    "C:\\Program Files\\Microsoft Office\\root\\Office16\\WINWORD.EXE",
    "C:\\Program Files\\Microsoft Office\\root\\Office16\\EXCEL.EXE",
    "C:\\Windows\\System32\\notepad.exe",
    "C:\\Windows\\System32\\mspaint.exe",
    "C:\\Program Files\\7-Zip\\7zFM.exe",
    "C:\\Program Files (x86)\\Adobe\\Acrobat Reader\\Reader\\AcroRd32.exe",
    "C:\\Users\\{u}\\AppData\\Local\\Programs\\Code\\Code.exe",
    "C:\\Program Files\\Mozilla Firefox\\firefox.exe",
]
PRESENT = [(t, t.rsplit("\\", 1)[-1].split(".")[0]) for t in PRESENT]

UNVERIFIED_DETAIL = ["The network path was not found.", "Access is denied.",
                     "The specified network name is no longer available."]
NOT_SCANNED = [("path-too-long", "The file name or extension is too long."),
               ("cannot-open", "Access is denied."),
               ("name-not-exact", "The name could not be spelled exactly; listed by its short name.")]

SHORTCUT_DIRS = {
    "start-menu": ("C:\\Users\\{u}\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\", True),
    "common-start-menu": ("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\", False),
    "desktop": ("C:\\Users\\{u}\\Desktop\\", True),
    "common-desktop": ("C:\\Users\\Public\\Desktop\\", False),
    "quick-launch": ("C:\\Users\\{u}\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\", True),
    "folder": ("D:\\Shared\\Links\\", False),
}
LOCATIONS = list(SHORTCUT_DIRS)
_LOCATION_WEIGHTS = [30, 25, 20, 12, 3, 5]
_LOCATION_POOL = [loc for loc, w in zip(LOCATIONS, _LOCATION_WEIGHTS) for _ in range(w)]

NOTE_QUICK = "left out: quick-launch (the shell has no such folder here)"

# Names that exercise other scripts, case, ties at the stale edge and hostile
# text; (name per run or None, users, domain user, what is special)
SPECIAL = [
    ("БУХГАЛТЕРИЯ-01", ["мария", "dmitri"], "CORP\\мария", None),
    ("ΓΡΑΦΕΙΟ-02", ["ελένη"], "CORP\\ελένη", "many"),
    ("会議室-PC-03", ["李雷", "yuki"], "CORP\\李雷", None),
    ("حاسوب-04", ["فاطمة"], "CORP\\فاطمة", None),
    ("LAB-🚀-05", ["emoji🦊", "alice"], "CORP\\emoji🦊", None),
    ("ws-MixedCase", ["bob"], "CORP\\bob", "case"),
    (HOSTILE_MACHINE, ["o'brien"], "CORP\\" + HOSTILE_HTML, "hostile"),
    ("PC-EDGE-7D", ["carol"], "NT AUTHORITY\\SYSTEM", "edge-fresh"),
    ("PC-EDGE-7D1S", ["carol"], "NT AUTHORITY\\SYSTEM", "edge-stale"),
    ("ПК-1", ["мария"], "CORP\\мария", "fold"),        # its runs in folders ПК-1 and пк-1: one machine
    ("PC-SP", ["bob"], "NT AUTHORITY\\SYSTEM", "space"),  # its runs name it "PC-SP " and "PC-SP"
    ("PC-CLOCK", ["alice"], "NT AUTHORITY\\SYSTEM", "clock"),  # one more run dated a year ahead
    ("PC-RLO", ["alice"], "NT AUTHORITY\\SYSTEM", "rlo"),  # a right-to-left override in a name
    ("PC-ALL", ["carol", "bob"], "NT AUTHORITY\\SYSTEM", "all"),  # --all: every kind of row that is not broken
    ("PC-BIG", ["alice", "bob", "carol"], "NT AUTHORITY\\SYSTEM", "big"),  # more broken rows than a page shows at once
]
PREFIXES = ["PC", "WS-LON", "LT-PAR", "KIOSK", "DEV-BER"]


def folder_name(machine):
    # A machine's folder on the share: a name may hold characters no Windows
    # file name can (the share is read by the Windows build too).
    return "".join("_" if c in '<>:"/\\|?*' or ord(c) < 32 else c for c in machine).strip(SPACES)


class Slot:
    """One shortcut of a machine, seen by each of its runs (in file order)."""
    __slots__ = ("shortcut", "target", "location", "profile", "drive", "kind", "reason", "detail", "active")

    def __init__(self, shortcut, target, location, profile, drive, kind, reason, detail, active):
        self.shortcut, self.target, self.location, self.profile = shortcut, target, location, profile
        self.drive, self.kind, self.reason, self.detail = drive, kind, reason, detail
        self.active = active  # set of run indices in which it is not "present"

    def row(self, run):
        if self.kind == "not-scanned":
            if run not in self.active:
                return None
            return {"shortcut": self.shortcut, "target": "", "status": "not-scanned", "drive": None,
                    "reason": self.reason, "location": None, "profile": None, "detail": self.detail}
        if run in self.active:
            status = self.kind
            reason = self.reason
            detail = self.detail
        else:
            status, reason, detail = "present", None, None
        return {"shortcut": self.shortcut, "target": self.target, "status": status, "drive": self.drive,
                "reason": reason, "location": self.location, "profile": self.profile, "detail": detail}


# What a scan lists: broken reasons always, targets on removable, CD and network drives with
# --include-removable (or --all), rows that are not broken (and unverified ones) only with --all.
BROKEN_REASONS = ("missing", "unreadable", "installer-orphaned")


def listed(reason, scan_all, removable):
    return reason in BROKEN_REASONS or scan_all or (removable and reason == "unreachable-drive")


def make_slots(rng, users, rows, runs, broken_slots, partial, special, scan_all, removable):
    slots = []
    used = {}

    def place(name, location):
        base, per_user = SHORTCUT_DIRS[location]
        user = users[int(rng.random() * len(users))]
        folder = base.replace("{u}", user)
        profile = "C:\\Users\\" + user if per_user else ""
        # Two shortcuts of one name in one folder get the shell's " (2)".
        seen = used.get((folder, name), 0) + 1
        used[(folder, name)] = seen
        leaf = name if seen == 1 else "%s (%d)" % (name, seen)
        return folder + leaf + ".lnk", profile, user

    def window():
        # Broken from one run on until it is cleaned up (or still broken).
        start = rng.randrange(runs)
        end = rng.randint(start + 1, runs + 2)
        return set(range(start, min(end, runs)))

    kinds = [b for b in BROKEN if listed(b[1], scan_all, removable)]
    for _ in range(broken_slots):
        _w, reason, drive, target, name = rng.choices(kinds, [b[0] for b in kinds])[0]
        location = rng.choices(LOCATIONS, _LOCATION_WEIGHTS)[0]
        shortcut, profile, user = place(name, location)
        slots.append(Slot(shortcut, target.replace("{u}", user), location, profile, drive, "missing", reason,
                          None, window()))
    if special == "hostile":
        # This machine sorts first, so its spellings are the ones shown: a lower-case per-user target
        # keeps its own drive letter and folder names, only "\\Users\\<name>\\" is rewritten.
        for target, name in ((HOSTILE_CSV, HOSTILE_CSV), ("C:\\Program Files\\" + HOSTILE_HTML + "\\evil.exe",
                                                          HOSTILE_HTML),
                             ("c:\\users\\{u}\\appdata\\local\\programs\\chatty\\Chatty.exe", "Chatty")):
            shortcut, profile, user = place(name, "desktop")
            slots.append(Slot(shortcut, target.replace("{u}", user), "desktop", profile, "fixed", "missing", "missing",
                              None, set(range(runs))))
    if special == "all":
        for _w, reason, drive, target, name in BROKEN[-5:]:  # each kind that is not broken, in every run
            shortcut, profile, user = place(name, "desktop")
            slots.append(Slot(shortcut, target.replace("{u}", user), "desktop", profile, drive, "missing", reason,
                              None, set(range(runs))))
    if special == "rlo":
        shortcut, profile, user = place(RLO_SHORTCUT, "desktop")
        slots.append(Slot(shortcut, "C:\\Program Files\\Foo Corp\\Foo\\foo.exe", "desktop", profile, "fixed",
                          "missing", "missing", None, set(range(runs))))
    if scan_all and (rng.random() < 0.4 or special):
        shortcut, profile, _u = place("Share tool", "common-start-menu")
        slots.append(Slot(shortcut, "\\\\nas-02\\tools\\share.exe", "common-start-menu", profile, "network",
                          "unverified", "unverified", rng.choice(UNVERIFIED_DETAIL),
                          set(range(runs)) if special else window()))
    not_scanned = 0
    if partial:
        not_scanned = rng.randint(1, 2)
    elif rng.random() < 0.05 and runs > 1:
        not_scanned = 1  # only in earlier runs: the latest run is what counts
    for i in range(not_scanned):
        reason, detail = rng.choice(NOT_SCANNED)
        user = rng.choice(users)
        path = ("C:\\Users\\%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Vendor %d\\" % (user, i)
                + "Very long folder name " * 6).rstrip()
        active = {runs - 1} | {r for r in range(runs - 1) if rng.random() < 0.5} if partial else \
            {rng.randrange(runs - 1)}
        slots.append(Slot(path, "", None, None, None, "not-scanned", reason, detail, active))
    while len(slots) < rows:
        target, name = PRESENT[int(rng.random() * len(PRESENT))]
        location = _LOCATION_POOL[int(rng.random() * len(_LOCATION_POOL))]
        shortcut, profile, user = place(name, location)
        # A shortcut that works in every run is the same row each time.
        slots.append({"shortcut": shortcut, "target": target.replace("{u}", user), "status": "present",
                      "drive": "fixed", "reason": None, "location": location, "profile": profile, "detail": None})
    # File order: the scanner lists shortcuts as it walks, not broken ones first.
    keep = slots[:max(rows, broken_slots)]
    rng.shuffle(keep)
    return keep


def build_machines(rng, n, runs, rows, as_of):
    machines = []
    width = max(4, len(str(n)))
    for i in range(n):
        planted = SPECIAL[i] if i < len(SPECIAL) else None
        if planted:
            name, users, account, special = planted
        else:
            name = "%s-%0*d" % (rng.choice(PREFIXES), width, i)
            users = rng.sample(USERS, rng.choice((1, 1, 1, 2, 3)))
            account = rng.choice(("NT AUTHORITY\\SYSTEM", "CORP\\" + users[0]))
            special = None
        stale = special == "edge-stale" or (special is None and rng.random() < 0.06)
        partial = special == "hostile" or (special is None and rng.random() < 0.05)
        if special == "edge-fresh":
            latest = as_of - STALE_DAYS * DAY
        elif special == "edge-stale":
            latest = as_of - STALE_DAYS * DAY - 1
        elif stale:
            latest = as_of - rng.randint(8 * DAY, 40 * DAY)
        else:
            latest = as_of - rng.randint(600, 6 * DAY)
        times = [latest]
        for _ in range(runs - 1):
            times.append(times[-1] - rng.randint(2 * DAY, 9 * DAY))
        times.reverse()
        max_broken = min(max(rows // 3, 1), 8)
        broken_slots = 0 if rng.random() < 0.3 else rng.randint(1, max_broken)
        if special in ("case", "hostile"):
            broken_slots = max(broken_slots, 2)
        if special == "many":
            broken_slots = 12  # two digits: a table sorting counts as text would show it
        if special == "big":
            broken_slots = 450
        scan_all = special == "all" or (special is None and rng.random() < 0.3)
        removable = scan_all or rng.random() < 0.2
        slots = make_slots(rng, users, rows, runs, broken_slots, partial, special, scan_all, removable)
        if special in ("many", "big"):
            for slot in slots:
                if type(slot) is not dict and slot.kind == "missing":
                    slot.active.add(runs - 1)
        spellings = [name] * runs
        if special == "case":
            # Earlier runs spelled the name otherwise, and the latest run is
            # tied with one whose folder sorts first.
            spellings = ["WS-MIXEDCASE" if r % 2 == 0 else "Ws-mixedcase" for r in range(runs)]
            spellings[-1] = name
        elif special == "fold":
            spellings = ["пк-1" if r % 2 == 0 else name for r in range(runs)]
            spellings[-1] = name
        elif special == "space":
            spellings = [name + " " if r % 2 == 0 else name for r in range(runs)]
        version = ["1.1.0"] * (runs - 1) + ["1.1.1" if rng.random() < 0.9 or special else "1.1.0"]
        machines.append({"name": name, "users": users, "account": account, "special": special, "times": times,
                         "slots": slots, "spellings": spellings, "versions": version,
                         "quick_note": rng.random() < 0.2, "all": scan_all, "removable": removable})
    return machines


# What later scanners add: other kinds of shortcut, installer-orphaned and not-a-file rows, pins and
# Explorer's tombstones, and snapshots. Drawn from a generator of their own, so the fleet above stays
# the one it was for the same seed.
NEWER = [  # (chance per machine, reason, drive, target, where, name, listed only with --all)
    (0.15, "installer-orphaned", "fixed", "C:\\Windows\\Installer\\{0D6B1F7A-52C4-4E9B-A1F3-6C2D8E0B9A47}\\suite.exe",
     "common-start-menu", "Old Suite.lnk", False),
    (0.10, "missing", "fixed", "C:\\Docs\\Handbook\\handbook.pdf", "desktop", "Handbook.url", False),
    (0.05, "missing", "fixed", "", "start-menu", "Timesheet.appref-ms", False),
    (0.04, "missing", "fixed", "C:\\Program Files\\Old Dos\\game.exe", "desktop", "Game.PIF", False),
    (0.10, "missing", "fixed", "C:\\Program Files\\Foo Corp\\Foo\\foo.exe", "pinned", "Foo.lnk", False),
    (0.03, "missing", "fixed", "C:\\Program Files\\Gone\\gone.exe", "tombstone", "Gone.lnk", False),
    (0.50, "not-a-file", "no-root", "https://intranet.example.invalid/", "common-start-menu", "Intranet.url", True),
]
NEWER_DIRS = {
    "pinned": ("C:\\Users\\{u}\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\",
               True),
    "tombstone": ("C:\\Users\\{u}\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\"
                  "TaskBar\\Tombstones\\", True),
}
KINDS = (".url", "url"), (".appref-ms", "appref-ms"), (".pif", "pif")


def kind_of(shortcut):
    low = ascii_lower(shortcut)
    return next((kind for tail, kind in KINDS if low.endswith(tail) and len(low) > len(tail)), "lnk")


def add_newer(machines, seed):
    rng = random.Random(seed * 7919 + 26)
    for i, m in enumerate(machines):
        runs = len(m["times"])
        for chance, reason, drive, target, where, name, only_all in NEWER:
            if rng.random() >= chance or (only_all and not m["all"]):
                continue
            base, per_user = NEWER_DIRS.get(where) or SHORTCUT_DIRS[where]
            user = rng.choice(m["users"])
            start = rng.randrange(runs)
            m["slots"].append(Slot(base.replace("{u}", user) + name, target, where,
                                   "C:\\Users\\" + user if per_user else "", drive, "missing", reason, None,
                                   set(range(start, runs))))
        # The scanner that writes kinds wrote the latest run of most machines; older files lack the field.
        m["kinds"] = rng.random() < 0.7
        # A third of the machines lost shortcuts since their previous snapshot; some others took one and
        # lost none (or it was their first).
        lost = i % 3 == 2  # PC-BIG among them: more vanished than a file names
        m["snapshot"] = lost or rng.random() < 0.4
        if not m["snapshot"]:
            continue
        since = fmt_time(m["times"][-2]) if runs > 1 and (lost or rng.random() < 0.7) else ""
        count = 0
        if lost and since:
            count = 1500 if m["special"] == "big" else rng.randint(1, 40)
        items = []
        for k in range(min(count, 1000)):
            vendor = HOSTILE_HTML if m["special"] == "big" and k == 0 else "Vendor %d" % (k % 7)
            items.append({"shortcut": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\%s\\App %d.lnk"
                                      % (vendor, k), "target": "C:\\Program Files\\%s\\app%d.exe" % (vendor, k),
                          "lastSeen": since, "location": "common-start-menu", "profile": ""})
        m["vanished"] = {"count": count, "since": since, "items": items}


# ---- writing the runs and the truth ----------------------------------------

def run_document(m, r, rows, notes):
    latest = r == len(m["times"]) - 1
    if latest and m.get("kinds"):
        rows = [row if row["status"] == "not-scanned" else dict(row, kind=kind_of(row["shortcut"])) for row in rows]
    doc = {
        "veltmor": "scan-report", "schema": 1, "version": m["versions"][r], "machine": m["spellings"][r],
        "user": m["account"], "time": fmt_time(m["times"][r]),
        "options": {"all": m["all"], "includeRemovable": m["removable"], "locations": ["start-menu", "common-start-menu"],
                    "allProfiles": True, "folders": []},
        "notes": notes, "rows": rows,
    }
    if latest and m.get("snapshot"):
        doc["options"]["snapshot"] = True
        doc["vanished"] = m["vanished"]
    return doc


def dump(doc):
    return json.dumps(doc, ensure_ascii=False, separators=(",", ":")) + "\n"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def rows_of(slots, run):
    rows = []
    for s in slots:
        row = s if type(s) is dict else s.row(run)
        if row is not None:
            rows.append(row)
    return rows


def log_lines(m, r, rows):
    """The lines veltmor-scan --log appends for a run: the run's own, then one per row."""
    def base(outcome, path):
        return {"@timestamp": fmt_time(m["times"][r]), "host": {"name": m["spellings"][r]},
                "user": {"name": m["account"]}, "event": {"kind": "state", "action": "scan", "outcome": outcome},
                "file": {"path": path}}
    broken = sum(1 for row in rows if row["status"] == "missing" and row["reason"] in BROKEN_REASONS)
    run = base("failure" if broken else "success", "")
    run["veltmor"] = {"status": "run", "broken": broken, "unverified": sum(1 for row in rows if row["status"] == "unverified"),
                      "not_scanned": sum(1 for row in rows if row["status"] == "not-scanned"),
                      "version": m["versions"][r], "schema": 1}
    lines = [run]
    for row in rows:
        line = base("success" if row["status"] == "present" else "failure" if row["reason"] in BROKEN_REASONS
                    else "unknown", row["shortcut"])
        line["file"]["target_path"] = row["target"]
        line["veltmor"] = {k: row.get(k) for k in ("status", "reason", "drive", "location", "profile", "detail")}
        line["veltmor"].update({"candidate": None, "grade": None, "version": m["versions"][r], "schema": 1})
        lines.append(line)
    return "".join(json.dumps(line, ensure_ascii=False, separators=(",", ":")) + "\n" for line in lines)


def write_runs(fleet, machines, as_of, logs=None):
    """Writes every run; returns them as (key, time, relpath, machine, rows, notes, run index, name), and the
    runs dated ahead of the report as {name, time, file}. With logs, each run's --log lines too, appended to
    logs/<machine>/veltmor-YYYYMMDD.jsonl, as each machine's collector finds them."""
    runs, ahead = [], []
    for m in machines:
        count = len(m["times"])
        for r in range(count):
            rows = rows_of(m["slots"], r)
            notes = [NOTE_QUICK] if m["quick_note"] else []
            if m["special"] == "hostile":
                notes = notes + [HOSTILE_NOTE]
            if any(row["status"] == "not-scanned" for row in rows):
                notes = notes + ["some folders could not be read; see the not-scanned rows"]
            rel = folder_name(m["spellings"][r]) + "/" + fmt_stamp(m["times"][r]) + ".json"
            write(os.path.join(fleet, rel), dump(run_document(m, r, rows, notes)))
            runs.append((machine_key(m["name"]), m["times"][r], rel, m, rows, notes, r, m["spellings"][r]))
            if logs:
                path = os.path.join(logs, folder_name(m["name"]), "veltmor-%s.jsonl" % fmt_day(m["times"][r]).replace("-", ""))
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "ab") as f:
                    f.write(log_lines(m, r, rows).encode("utf-8"))
        if m["special"] == "clock":
            # A clock a year ahead: set aside, the machine's latest run and the trend as they were.
            doc = run_document(m, count - 1, rows_of(m["slots"], 0), [])
            doc["time"] = fmt_time(as_of + 365 * DAY)
            rel = folder_name(m["name"]) + "/" + fmt_stamp(as_of + 365 * DAY) + ".json"
            write(os.path.join(fleet, rel), dump(doc))
            ahead.append({"name": m["name"], "time": doc["time"], "file": rel})
        if m["special"] == "case" and count > 1:
            # The tie: same time as the latest run, a folder that sorts first.
            r = count - 1
            rows = rows_of(m["slots"], 0)
            spelling = "WS-MIXEDCASE"
            rel = spelling + "/" + fmt_stamp(m["times"][r]) + ".json"
            doc = run_document(m, r, rows, [])
            doc["machine"] = spelling
            write(os.path.join(fleet, rel), dump(doc))
            runs.append((machine_key(m["name"]), m["times"][r], rel, m, rows, [], r, spelling))
    return runs, ahead


def write_damage(fleet, machines, rng, links):
    """Files veltmor-report must name and skip; returns their relative paths."""
    m = next((m for m in machines if m["special"] is None), machines[0])
    good = dump(run_document(m, len(m["times"]) - 1, rows_of(m["slots"], 0), []))
    victim = machines[-1]
    folder = folder_name(m["name"])
    latest = folder + "/" + fmt_stamp(m["times"][-1]) + ".json"
    with open(os.path.join(fleet, latest), "rb") as f:
        copy = f.read()
    rows = json.loads(good)["rows"]
    base = json.loads(good)
    base.pop("vanished", None)
    base["options"].pop("snapshot", None)
    snap = dict(base["options"], snapshot=True)
    van_item = {"shortcut": "C:\\ProgramData\\x.lnk", "target": "C:\\x.exe", "lastSeen": "2026-12-01T00:00:00Z",
                "location": "common-start-menu", "profile": ""}
    van = {"count": 1, "since": "2026-12-01T00:00:00Z", "items": [van_item]}
    damaged = {
        folder_name(m["name"]) + "/20261101-000000.json": good[: len(good) // 2],
        "exports/plain-json.json": json.dumps(rows, ensure_ascii=False, indent=2),
        "exports/scan-output.json": "\ufeffshortcut,target,status,drive,reason,location,profile,detail\r\n"
                                    "C:\\a.lnk,C:\\b.exe,missing,fixed,missing,desktop,,\r\n",
        "exports/garbage.json": bytes(rng.randrange(256) for _ in range(700)),
        "exports/empty.json": b"",
        "exports/other-tool.json": dump(dict(base, veltmor="scan-log")),
        "PC-FUTURE/20261206-120000.json": dump(dict(base, schema=2, machine="PC-FUTURE")),
        "PC-BADTIME/20261205-000000.json": dump(dict(base, machine="PC-BADTIME", time="2026-12-05 00:00:00")),
        "PC-OFFSET/20261205-100000.json": dump(dict(base, machine="PC-OFFSET", time="2026-12-05T10:00:00+01:00")),
        "exports/rows-object.json": dump(dict(base, machine="PC-ROWSOBJ", rows={"0": rows[0]})),
        "exports/no-machine.json": dump({k: v for k, v in base.items() if k != "machine"}),
        "exports/machine-number.json": dump(dict(base, machine=42)),
        # Another machine's name, a later time: it must not become that machine's latest run.
        folder + "/20261206-235959.json": dump(dict(base, machine=victim["name"], time=fmt_time(victim["times"][-1] + 60))),
        # A byte-identical copy of a run is the same run.
        folder + "/copy-" + fmt_stamp(m["times"][-1]) + ".json": copy,
        # Over the rows a run file may hold.
        "PC-HUGE/20261206-000000.json": dump(dict(base, machine="PC-HUGE", rows=[{"status": "present"}] * 150000)),
        # Names no machine has.
        "PC-CTRL/20261206-000000.json": dump(dict(base, machine="PC-\nCTRL")),
        "at-the-top.json": good,
        # The vanished record refused when it is not what a scan writes.
        "PC-VAN-MANY/20261206-000000.json": dump(dict(base, machine="PC-VAN-MANY", options=snap, vanished=dict(
            van, count=5000, items=[van_item] * 1001))),
        "PC-VAN-NOSNAP/20261206-000000.json": dump(dict(base, machine="PC-VAN-NOSNAP", vanished=van)),
        "PC-VAN-NONE/20261206-000000.json": dump(dict(base, machine="PC-VAN-NONE", options=snap)),
        "PC-VAN-NEST/20261206-000000.json": dump(dict(base, machine="PC-VAN-NEST", options=snap, vanished=dict(
            van, items=[dict(van_item, shortcut={"a": [1]})]))),
        "PC-VAN-OVER/20261206-000000.json": dump(dict(base, machine="PC-VAN-OVER", options=snap, vanished=dict(
            van, count=0))),
        "PC-VAN-TIME/20261206-000000.json": dump(dict(base, machine="PC-VAN-TIME", options=snap, vanished=dict(
            van, items=[dict(van_item, lastSeen="yesterday")]))),
        "PC-VAN-ITEMS/20261206-000000.json": dump(dict(base, machine="PC-VAN-ITEMS", options=snap, vanished=dict(
            van, items="C:\\ProgramData\\x.lnk", more={"later": [1]}))),
        "PC-VAN-NEG/20261206-000000.json": dump(dict(base, machine="PC-VAN-NEG", options=snap, vanished=dict(
            van, count=-1))),
        "PC-KIND/20261206-000000.json": dump(dict(base, machine="PC-KIND", rows=[
            {"shortcut": "C:\\a.lnk", "target": "C:\\b.exe", "status": "missing", "reason": "missing",
             "location": "desktop", "profile": "", "kind": "exe"}])),
    }
    for rel, data in damaged.items():
        write(os.path.join(fleet, rel), data)
    if links:
        # Named, never followed or opened: a link to a file, a dangling one, one to a folder, a pipe.
        os.symlink(os.path.join(os.path.abspath(fleet), latest), os.path.join(fleet, folder, "link.json"))
        os.symlink("/nonexistent/veltmor.json", os.path.join(fleet, folder, "dangling.json"))
        os.symlink(os.path.abspath(os.path.join(fleet, folder)), os.path.join(fleet, "PC-LINKED"))
        os.mkfifo(os.path.join(fleet, folder, "pipe.json"))
        write(os.path.join(fleet, "   ", "20261206-000000.json"), dump(dict(base, machine="   ")))
        damaged["   /20261206-000000.json"] = 1
        damaged.update({folder + "/link.json": 1, folder + "/dangling.json": 1, "PC-LINKED": 1, folder + "/pipe.json": 1})
    # Not a *.json file: never read, never named.
    write(os.path.join(fleet, "README.txt"), "Scan files of the fleet.\n")
    return sorted(damaged)


def is_broken(row):
    return row["status"] == "missing" and row["reason"] in BROKEN_REASONS


def brief(row):
    return [row["shortcut"], row["target"], row["reason"], row["location"], row["profile"],
            row.get("kind") or kind_of(row["shortcut"])]


def not_in(a, b):
    """The rows of a (in order) that b does not hold, by shortcut and target, each once."""
    held = {}
    for row in b:
        k = (row["shortcut"], row["target"])
        held[k] = held.get(k, 0) + 1
    out = []
    for row in a:
        k = (row["shortcut"], row["target"])
        if held.get(k, 0):
            held[k] -= 1
        else:
            out.append(row)
    return out


def truth(runs, ahead, as_of, damaged, expected_names):
    per = {}
    for run in runs:
        per.setdefault(run[0], []).append(run)
    machines = []
    reasons, locations, kinds, programs = {}, {}, {}, {}
    week = {"since": fmt_time(as_of - 7 * DAY), "machines": 0, "fresh": [], "fixed": []}
    for key in sorted(per):
        mine = sorted(per[key], key=lambda r: (r[1], r[2]))
        _k, t, rel, m, rows, notes, r, spelling = mine[-1]
        broken = [row for row in rows if is_broken(row)]
        unreachable = [row for row in rows if row["status"] == "missing" and row["reason"] == "unreachable-drive"]
        not_scanned = [row["shortcut"] for row in rows if row["status"] == "not-scanned"]
        previous = [row for row in mine[-2][4] if is_broken(row)] if len(mine) > 1 else None
        entry = {
            "name": spelling.strip(SPACES), "key": key, "user": m["account"], "time": fmt_time(t),
            "version": m["versions"][r], "runs": len(mine), "broken": len(broken), "unreachable": len(unreachable),
            "unverified": sum(1 for row in rows if row["status"] == "unverified") if m["all"] else None,
            "notScanned": len(not_scanned), "partial": bool(not_scanned),
            "stale": as_of - t > STALE_DAYS * DAY, "file": rel,
            "brokenShortcuts": [brief(b) for b in broken],
            "brokenFolders": [program_folder(normalise_users(b["target"])) if b["target"] else "" for b in broken],
            "unreachableShortcuts": [brief(b) for b in unreachable],
            "vanished": None, "vanishedSince": "", "vanishedRows": None,
            "notScannedPaths": not_scanned, "notes": notes,
            "fresh": None if previous is None else [brief(b) for b in not_in(broken, previous)],
            "fixed": None if previous is None else [brief(b) for b in not_in(previous, broken)],
        }
        if r == len(m["times"]) - 1 and m.get("snapshot"):
            v = m["vanished"]
            entry.update({"vanished": v["count"], "vanishedSince": v["since"], "vanishedRows": [
                [i["shortcut"], i["target"], i["lastSeen"], i["location"], i["profile"]] for i in v["items"]]})
        machines.append(entry)
        week_ago = [run for run in mine if run[1] <= as_of - 7 * DAY]
        if week_ago:
            base = [row for row in week_ago[-1][4] if is_broken(row)]
            week["machines"] += 1
            week["fresh"] += [[entry["name"]] + brief(b) for b in not_in(broken, base)]
            week["fixed"] += [[entry["name"]] + brief(b) for b in not_in(base, broken)]
        for b in broken:
            for table, name_ in ((reasons, b["reason"]), (locations, b["location"]),
                                 (kinds, b.get("kind") or kind_of(b["shortcut"]))):
                e = table.setdefault(name_, {"name": name_, "shortcuts": 0, "machines": set()})
                e["shortcuts"] += 1
                e["machines"].add(key)
            if not b["target"]:
                continue
            norm = normalise_users(b["target"])
            folder = program_folder(norm)
            p = programs.setdefault(ascii_lower(folder), {"folder": folder, "machines": set(), "shortcuts": 0,
                                                          "targets": {}, "names": []})
            if key not in p["machines"]:
                p["names"].append(entry["name"])
            p["machines"].add(key)
            p["shortcuts"] += 1
            tg = p["targets"].setdefault(ascii_lower(norm), {"target": norm, "machines": set(), "shortcuts": 0})
            tg["machines"].add(key)
            tg["shortcuts"] += 1

    def counted(table):
        out = [{"name": e["name"], "shortcuts": e["shortcuts"], "machines": len(e["machines"])}
               for e in table.values()]
        return sorted(out, key=lambda e: (-e["shortcuts"], e["name"]))

    def ranked(items, field):
        return sorted(items, key=lambda e: (-e["machines"], -e["shortcuts"], ascii_lower(e[field])))

    program_list = ranked([{"folder": p["folder"], "machines": len(p["machines"]), "shortcuts": p["shortcuts"],
                            "machineNames": p["names"],
                            "targets": ranked([{"target": t["target"], "machines": len(t["machines"]),
                                                "shortcuts": t["shortcuts"]} for t in p["targets"].values()],
                                              "target")}
                           for p in programs.values()], "folder")

    # Trend: each machine's latest run on or before each day, carried forward.
    day_of = lambda t: t // DAY  # noqa: E731
    first = min(day_of(r[1]) for r in runs)
    last = max(day_of(r[1]) for r in runs)
    first = max(first, last - TREND_MAX_DAYS + 1)
    span = last - first + 1
    broken_delta = [0] * (span + 1)
    machine_delta = [0] * (span + 1)
    for key, mine in per.items():
        mine = sorted(mine, key=lambda r: (r[1], r[2]))
        per_day = {}
        for run in mine:
            per_day[day_of(run[1])] = sum(1 for row in run[4] if is_broken(row))
        days = sorted(per_day)
        current = None
        for i, d in enumerate(days):
            start = max(d, first) - first
            end = (days[i + 1] if i + 1 < len(days) else last + 1) - first
            if end <= 0:
                continue
            broken_delta[start] += per_day[d]
            broken_delta[end] -= per_day[d]
            if current is None:
                machine_delta[start] += 1
                current = d
    trend = []
    b = mc = 0
    for i in range(span):
        b += broken_delta[i]
        mc += machine_delta[i]
        trend.append({"day": fmt_day((first + i) * DAY), "broken": b, "machines": mc})

    totals = {
        "machines": len(machines),
        "machinesWithBroken": sum(1 for m in machines if m["broken"]),
        "broken": sum(m["broken"] for m in machines),
        "unreachable": sum(m["unreachable"] for m in machines),
        "unverified": sum(m["unverified"] or 0 for m in machines),
        "unverifiedNotRecorded": sum(1 for m in machines if m["unverified"] is None),
        "notScanned": sum(m["notScanned"] for m in machines),
        "partialMachines": sum(1 for m in machines if m["partial"]),
        "staleMachines": sum(1 for m in machines if m["stale"]),
        "clockAhead": len(ahead),
        "orphaned": sum(1 for m in machines for b in m["brokenShortcuts"] if b[2] == "installer-orphaned"),
        "machinesWithOrphaned": sum(1 for m in machines if any(b[2] == "installer-orphaned" for b in m["brokenShortcuts"])),
        "snapshotMachines": sum(1 for m in machines if m["vanished"] is not None),
        "machinesWithVanished": sum(1 for m in machines if m["vanished"]),
        "vanished": sum(m["vanished"] or 0 for m in machines),
    }
    keys = {m["key"] for m in machines} | {machine_key(a["name"]) for a in ahead}
    never, seen = [], set()
    for name in expected_names:
        k = machine_key(name)
        if k and k not in keys and k not in seen and not any(ord(c) < 32 for c in name):
            never.append(name.strip(SPACES))
        seen.add(k)
    totals["neverReported"] = len(never)
    return {
        "asOf": fmt_time(as_of), "staleDays": STALE_DAYS,
        "files": {"read": len(runs) + len(ahead), "skipped": len(damaged)},
        "totals": totals, "byReason": counted(reasons), "byLocation": counted(locations), "byKind": counted(kinds),
        # Most vanished first; machines of one count in the report's order.
        "lost": [m["name"] for m in sorted((m for m in machines if m["vanished"]), key=lambda m: -m["vanished"])],
        "programs": program_list, "trend": trend, "machines": machines, "damaged": damaged,
        "week": week, "clockAhead": ahead, "neverReported": never, "rlo": RLO_SHORTCUT,
        "hostile": [HOSTILE_HTML, HOSTILE_CSV, HOSTILE_NOTE],
    }


def write_big_file(outdir, as_of):
    """The largest run a file may hold: 100,000 broken rows of about 600 bytes (the reading's bound)."""
    pad = "Very long folder name " * 7
    rows = [{"shortcut": "C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\%s\\Tool %06d.lnk"
             % (pad, i), "target": "C:\\Program Files\\Vendor %d\\%s\\tool%06d.exe" % (i % 500, pad, i),
             "status": "missing", "drive": "fixed", "reason": "missing", "location": "start-menu",
             "profile": "C:\\Users\\alice", "detail": None} for i in range(100000)]
    m = {"versions": ["1.2.0"], "spellings": ["PC-BIG"], "account": "NT AUTHORITY\\SYSTEM", "times": [as_of - DAY],
         "all": False, "removable": False}
    write(os.path.join(outdir, "fleet", "PC-BIG", fmt_stamp(as_of - DAY) + ".json"), dump(run_document(m, 0, rows, [])))


def main(argv):
    ap = argparse.ArgumentParser(description="Writes a fleet of scan files and expected.json.")
    ap.add_argument("outdir")
    ap.add_argument("--machines", type=int, default=300)
    ap.add_argument("--runs", type=int, default=4)
    ap.add_argument("--rows", type=int, default=14)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--as-of", default="2026-12-07T00:00:00Z")
    ap.add_argument("--no-damage", action="store_true")
    ap.add_argument("--no-links", action="store_true", help="no links, pipe or blank folder name (for Wine)")
    ap.add_argument("--big-file", action="store_true", help="only one machine's run of 100,000 broken rows")
    ap.add_argument("--log", help="also write each run's veltmor-scan --log lines below this folder")
    args = ap.parse_args(argv)
    if args.machines < 1 or args.runs < 1 or args.rows < 1:
        ap.error("--machines, --runs and --rows must be at least 1")
    try:
        as_of = parse_time(args.as_of)
    except ValueError:
        ap.error("--as-of must look like 2026-12-07T00:00:00Z")
    rng = random.Random(args.seed)
    fleet = os.path.join(args.outdir, "fleet")
    if os.path.exists(fleet) and os.listdir(fleet):
        ap.error(fleet + " is not empty")
    if args.big_file:
        write_big_file(args.outdir, as_of)
        return 0
    machines = build_machines(rng, args.machines, args.runs, args.rows, as_of)
    add_newer(machines, args.seed)
    runs, ahead = write_runs(fleet, machines, as_of, args.log)
    damaged = [] if args.no_damage else write_damage(fleet, machines, rng, not args.no_links)
    # As exported from a directory: names in another case, padded, blank lines, a damaged line and
    # machines that never reported.
    names = [m["name"] for m in machines[::3]]
    names = [n.upper() if i % 4 == 1 else " %s " % n if i % 4 == 2 else n for i, n in enumerate(names)]
    names += ["PC-NEVER-1", "", "pc-never-1", "ПК-НИКОГДА", "  LT-NEVER-2", "PC-\x07BELL", "Ws-Never-3"]
    with open(os.path.join(args.outdir, "expected-machines.txt"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(names) + "\n")
    expected = truth(runs, ahead, as_of, damaged, names)
    with open(os.path.join(args.outdir, "expected.json"), "w", encoding="utf-8") as f:
        json.dump(expected, f, ensure_ascii=False, separators=(",", ":"))
        f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
