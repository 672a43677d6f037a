#!/usr/bin/env python3
"""veltmor-report against the fleet generator's truth.

    check_report.py PROGRAM [--wine] [--work DIR]

Makes a fleet (make_fleet.py), runs PROGRAM on it twice (the second run must
replace the files whole) and checks the page's data, every machine's broken
shortcuts included, and the skipped-file lines against expected.json. The CSV
files are checked by the browser test, from the same code. With --wine, PROGRAM is a Windows
build run through scripts/wine-run.sh, and the paths are given as Z:\\...
"""
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

    for failure in failures[:20]:
        print("FAIL:", failure)
    print(f"{len(failures)} failures; {data['files']['read']} files, {len(machines)} machines")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
