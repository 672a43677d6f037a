#!/usr/bin/env python3
"""The README's log-engine queries, run in Python over a generated fleet's
veltmor-scan --log lines, give the page's two figures: the machines with
broken shortcuts, and the broken shortcuts (and machines) by program folder.

    check_log.py PROGRAM

The lines are read as a collector reads them (each on its own); the figures
are held against veltmor-report's CSV files for the same fleet.
"""
import csv
import json
import os
import subprocess
import sys
import tempfile
from collections import defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_fleet  # noqa: E402  the program-folder rule, as the queries spell it

AS_OF = "2026-12-07T00:00:00Z"
DAY = 86400


def unguarded(cell):
    # The report's CSV cells never start a formula: a quote stands before one.
    return cell[1:] if cell[:1] == "'" and cell[1:2] in ("=", "+", "-", "@", "\t", "\r") else cell


def from_lines(folder):
    """What the queries compute: each host's latest scan (none dated ahead of the report's day), its
    broken rows (status missing, reason missing, unreadable or installer-orphaned), grouped by host and by program folder."""
    lines = []
    for root, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(root, name), "rb") as f:
                for raw in f.read().split(b"\n"):
                    if raw:
                        lines.append(json.loads(raw.decode("utf-8")))
    limit = make_fleet.parse_time(AS_OF) + DAY
    scans = [l for l in lines if l["event"]["action"] == "scan" and make_fleet.parse_time(l["@timestamp"]) <= limit]
    latest = {}
    for l in scans:
        host = make_fleet.machine_key(l["host"]["name"])
        latest[host] = max(latest.get(host, ""), l["@timestamp"])
    broken = [l for l in scans if l["@timestamp"] == latest[make_fleet.machine_key(l["host"]["name"])]
              and l["veltmor"].get("status") == "missing" and l["veltmor"].get("reason") in make_fleet.BROKEN_REASONS]
    machines = {make_fleet.machine_key(l["host"]["name"]) for l in broken}
    folders = defaultdict(lambda: [0, set()])
    for l in broken:
        folder = make_fleet.program_folder(make_fleet.normalise_users(l["file"]["target_path"]))
        entry = folders[make_fleet.ascii_lower(folder)]
        entry[0] += 1
        entry[1].add(make_fleet.machine_key(l["host"]["name"]))
    return machines, {k: (v[0], len(v[1])) for k, v in folders.items()}


def from_report(out):
    with open(os.path.join(out, "veltmor-machines.csv"), encoding="utf-8-sig", newline="") as f:
        machines = {make_fleet.machine_key(unguarded(r["machine"])) for r in csv.DictReader(f) if int(r["broken"]) > 0}
    folders = defaultdict(lambda: [0, set()])
    with open(os.path.join(out, "veltmor-broken.csv"), encoding="utf-8-sig", newline="") as f:
        for r in csv.DictReader(f):
            entry = folders[make_fleet.ascii_lower(unguarded(r["program folder"]))]
            entry[0] += 1
            entry[1].add(make_fleet.machine_key(unguarded(r["machine"])))
    return machines, {k: (v[0], len(v[1])) for k, v in folders.items()}


def main(program):
    with tempfile.TemporaryDirectory(prefix="veltmor-log-check.") as work:
        make_fleet.main([work, "--machines", "400", "--no-damage", "--log", os.path.join(work, "logs")])
        out = os.path.join(work, "out")
        os.makedirs(out)
        subprocess.run([program, "--out", out, "--as-of", AS_OF, os.path.join(work, "fleet")],
                       check=True, stderr=subprocess.DEVNULL)
        lines, report = from_lines(os.path.join(work, "logs")), from_report(out)
    ok = True
    for what, a, b in (("machines with broken shortcuts", lines[0], report[0]),
                       ("broken shortcuts and machines by program folder", lines[1], report[1])):
        same = a == b
        ok = ok and same
        print("%s: %s (%d from the lines, %d on the page)" % ("ok" if same else "FAILED", what, len(a), len(b)))
        if not same and isinstance(a, dict):
            for key in sorted(set(a) | set(b)):
                if a.get(key) != b.get(key):
                    print("  %r: lines %r, page %r" % (key, a.get(key), b.get(key)))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
