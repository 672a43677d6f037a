#!/usr/bin/env python3
"""veltmor-report against the fleet generator's truth.

    check_report.py PROGRAM [--wine] [--work DIR]

Makes a fleet (make_fleet.py), runs PROGRAM on it twice (the second run must
replace the files whole) and checks the page's data, every machine's broken
shortcuts and changes included, and the skipped-file lines against
expected.json; then an empty folder and one of damaged files only, which must
end with exit status 2 and a page that says so. The CSV
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
    subprocess.run([sys.executable, os.path.join(HERE, "make_fleet.py"), work, "--seed", "7", "--as-of", AS_OF]
                   + (["--no-links"] if wine else []), check=True, stdout=subprocess.DEVNULL)
    expected = json.load(open(os.path.join(work, "expected.json"), encoding="utf-8"))
    out = os.path.join(work, "out")
    os.mkdir(out)

    def native(path):
        return "Z:" + path.replace("/", "\\") if wine else path

    def run(folder, out, *more):
        command = (["bash", os.path.join(ROOT, "scripts", "wine-run.sh")] if wine else []) + [
            program, "--as-of", AS_OF, "--out", native(out), *more, native(folder)]
        return subprocess.run(command, capture_output=True)

    def page_data(out):
        page = open(os.path.join(out, "veltmor-report.html"), encoding="utf-8").read()
        scripts = re.findall(r'<script type="application/json" id="veltmor-data">(.*?)</script>', page, re.S)
        check(len(scripts) == 1, "the data does not stay inside its one script element")
        return json.loads(scripts[0])

    for attempt in range(2):
        done = run(os.path.join(work, "fleet"), out, "--expected", native(os.path.join(work, "expected-machines.txt")))
        check(done.returncode == 0, f"exit status {done.returncode}")
    stderr = done.stderr.decode("utf-8", "replace")
    skipped = sorted(re.findall(r"^veltmor-report: skipped (.*?): ", stderr, re.M))
    check(skipped == sorted(expected["damaged"]), f"skipped {skipped}, expected {expected['damaged']}")
    aside = re.findall(r"^veltmor-report: set aside (.*?): ", stderr, re.M)
    check(aside == [a["file"] for a in expected["clockAhead"]], f"set aside {aside}")
    check(sorted(os.listdir(out)) == ["veltmor-broken.csv", "veltmor-machines.csv", "veltmor-report.html",
                                      "veltmor-targets.csv"], f"output folder holds {os.listdir(out)}")

    data = page_data(out)
    for key in ("totals", "files", "byReason", "byLocation", "byKind", "trend", "clockAhead", "neverReported"):
        check(data[key] == expected[key], f"{key}: {data[key]} != {expected[key]}")
    fold = lambda p: {**p, "folder": p["folder"].lower(), "targets": [
        {**t, "target": t["target"].lower()} for t in p["targets"][:20]]}
    shown_programs = [{k: v for k, v in p.items() if k != "machineList"} for p in data["programs"]]
    want_programs = [{k: v for k, v in p.items() if k != "machineNames"} for p in expected["programs"][:100]]
    check([fold(p) for p in shown_programs] == [fold(p) for p in want_programs], "programs differ")

    machines = expected["machines"]
    strings = data["strings"]
    texts = lambda rows: [[strings[i] for i in row] for row in rows]
    names = [m["name"] for m in data["machines"]]
    check(names == [m["name"] for m in machines], "machines or their order differ")
    for shown, want in zip(data["programs"], expected["programs"]):
        check([names[i] for i in shown["machineList"]] == want["machineNames"], f"machines of {want['folder']}")
    for i, (shown, truth) in enumerate(zip(data["machines"], machines)):
        for key in ("runs", "broken", "unreachable", "unverified", "notScanned", "stale", "partial", "time", "file",
                    "vanished", "vanishedSince"):
            check(shown[key] == truth[key], f"{truth['name']}: {key} {shown[key]} != {truth[key]}")
        check(texts(data["shortcuts"][i]) == truth["brokenShortcuts"], f"{truth['name']}: broken shortcuts differ")
        check(texts(data["unreachableRows"][i]) == truth["unreachableShortcuts"], f"{truth['name']}: unreachable")
        gone = data["vanishedRows"][i]
        check((None if gone is None else texts(gone)) == truth["vanishedRows"], f"{truth['name']}: vanished shortcuts")
        change = data["changes"][i]
        got = None if change is None else [[truth["brokenShortcuts"][k] for k in change["fresh"]], texts(change["fixed"])]
        check(got == (None if truth["fresh"] is None else [truth["fresh"], truth["fixed"]]),
              f"{truth['name']}: changes {got} != {truth['fresh']}, {truth['fixed']}")
    check([names[i] for i in data["lost"]] == expected["lost"], f"lost: {data['lost']} != {expected['lost']}")
    week = data["week"]
    for key in ("fresh", "fixed"):
        got = [[names[row[0]]] + [strings[k] for k in row[1:]] for row in week[key]]
        check(got == expected["week"][key], f"week's {key}: {len(got)} != {len(expected['week'][key])}")
    check(week["machines"] == expected["week"]["machines"] and week["since"] == expected["week"]["since"], "week")

    # Nothing to read, or nothing readable: exit 2, and a page that does not pass for a clean fleet.
    damaged = os.path.join(work, "damaged")
    for rel in expected["damaged"]:
        source = os.path.join(work, "fleet", rel)
        if os.path.isfile(source) and not os.path.islink(source) and "/copy-" not in rel:  # a copy alone is a run
            os.makedirs(os.path.dirname(os.path.join(damaged, rel)), exist_ok=True)
            os.link(source, os.path.join(damaged, rel))
    for folder in (os.path.join(work, "empty"), damaged):
        os.makedirs(folder, exist_ok=True)
        out2 = folder + "-out"
        os.mkdir(out2)
        done = run(folder, out2)
        check(done.returncode == 2, f"{os.path.basename(folder)} folder: exit status {done.returncode}, not 2")
        check("no machine's run could be read" in done.stderr.decode("utf-8", "replace"), "no message for " + folder)
        empty = page_data(out2)
        check(empty["totals"]["machines"] == 0 and empty["machines"] == [], "a page of no machine has machines")

    for failure in failures[:20]:
        print("FAIL:", failure)
    print(f"{len(failures)} failures; {data['files']['read']} files, {len(machines)} machines")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
