#!/usr/bin/env python3
"""veltmor-report against the fleet generator's truth.

    check_report.py PROGRAM [--wine] [--work DIR]

Makes a fleet (make_fleet.py), runs PROGRAM on it twice (the second run must
replace the files whole) and checks the page's data, both CSV files and the
skipped-file lines against expected.json. With --wine, PROGRAM is a Windows
build run through scripts/wine-run.sh, and the paths are given as Z:\\...
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
AS_OF = "2026-12-07T00:00:00Z"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what if len(what) < 400 else what[:400] + "...")


def main(argv):
    program = argv[1]
    wine = "--wine" in argv
    work = tempfile.mkdtemp(prefix="veltmor-report-check.")
    subprocess.run([sys.executable, os.path.join(HERE, "make_fleet.py"), work, "--seed", "7", "--as-of", AS_OF],
                   check=True, stdout=subprocess.DEVNULL)
    expected = json.load(open(os.path.join(work, "expected.json"), encoding="utf-8"))
    out = os.path.join(work, "out")
    os.mkdir(out)

    def native(path):
        return "Z:" + path.replace("/", "\\") if wine else path

    command = (["bash", os.path.join(ROOT, "scripts", "wine-run.sh")] if wine else []) + [
        program, "--as-of", AS_OF, "--out", native(out), native(os.path.join(work, "fleet"))]
    for attempt in range(2):
        done = subprocess.run(command, capture_output=True)
        check(done.returncode == 0, f"exit status {done.returncode}")
    stderr = done.stderr.decode("utf-8", "replace")
    skipped = sorted(re.findall(r"^veltmor-report: skipped (.*?): ", stderr, re.M))
    check(skipped == sorted(expected["damaged"]), f"skipped {skipped}, expected {expected['damaged']}")
    check(sorted(os.listdir(out)) == ["veltmor-machines.csv", "veltmor-report.html", "veltmor-targets.csv"],
          f"output folder holds {os.listdir(out)}")

    page = open(os.path.join(out, "veltmor-report.html"), encoding="utf-8").read()
    scripts = re.findall(r'<script type="application/json" id="veltmor-data">(.*?)</script>', page, re.S)
    check(len(scripts) == 1, "the data does not stay inside its one script element")
    data = json.loads(scripts[0])
    for key in ("totals", "files", "byReason", "byLocation", "trend"):
        check(data[key] == expected[key], f"{key}: {data[key]} != {expected[key]}")
    fold = lambda p: {**p, "folder": p["folder"].lower(), "targets": [
        {**t, "target": t["target"].lower()} for t in p["targets"][:20]]}
    check([fold(p) for p in data["programs"]] == [fold(p) for p in expected["programs"][:100]], "programs differ")

    machines = expected["machines"]
    strings = data["strings"]
    check([m["name"] for m in data["machines"]] == [m["name"] for m in machines], "machines or their order differ")
    for shown, truth, rows in zip(data["machines"], machines, data["shortcuts"]):
        for key in ("runs", "broken", "unverified", "notScanned", "stale", "partial", "time", "file"):
            check(shown[key] == truth[key], f"{truth['name']}: {key} {shown[key]} != {truth[key]}")
        check([[strings[i] for i in row] for row in rows] == truth["brokenShortcuts"],
              f"{truth['name']}: broken shortcuts differ")

    def table(name):
        text = open(os.path.join(out, name), "rb").read()
        check(text.startswith(b"\xef\xbb\xbf") and b"\r\n" in text, f"{name}: no BOM or CRLF")
        return list(csv.reader(io.StringIO(text.decode("utf-8-sig"), newline="")))

    def unguarded(cell):  # a spreadsheet formula guard undone
        return cell[1:] if cell[:2] in ("'=", "'+", "'-", "'@") else cell

    rows = table("veltmor-machines.csv")
    check(rows[0][:5] == ["machine", "user", "last run", "runs", "broken"], f"machines.csv header {rows[0]}")
    check(all(not r[0] or r[0][0] not in "=+-@" for r in rows[1:]), "a machine cell would run as a formula")
    check([(unguarded(r[0]), int(r[4])) for r in rows[1:]] == [(m["name"], m["broken"]) for m in machines],
          "machines.csv differs")
    rows = table("veltmor-targets.csv")
    listed = [(unguarded(r[0]).lower(), int(r[1]), unguarded(r[2]).lower(), int(r[3])) for r in rows[1:]]
    truth = [(p["folder"].lower(), p["machines"], t["target"].lower(), t["machines"])
             for p in expected["programs"] for t in p["targets"]]
    check(listed == truth, "targets.csv differs")

    for failure in failures[:20]:
        print("FAIL:", failure)
    print(f"{len(failures)} failures; {data['files']['read']} files, {len(machines)} machines")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
