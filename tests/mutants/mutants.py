#!/usr/bin/env python3
"""Planted faults: how many real bugs do the tests catch?

Copies the working tree (without .git and build/) to a scratch folder, builds it there, then
plants the faults of faults.txt (beside this file) one at a time: each replaces one exact snippet
of one file, the build is brought up to date, the tests of the fault's group run, and the file is
put back. A fault is "caught" when a test fails or the build does; "MISSED" when everything still
passes; "BROKEN" when its snippet no longer occurs exactly once (the code moved on: mend the
table). The tree this script lives in is never written to.

Groups: core (core preset, ctest -L core), plugin (release preset, -L plugin, then -R
JuceHosting), app (release preset, -L app). No real-host tests. A full run takes about half an
hour on two cores and runs on demand only; --check (every snippet applies) runs as a test.

usage: mutants.py [--list | --check | --compare OLD NEW] [--caught FILE] [--scratch DIR] [--keep]
                  [--jobs N] [--build-timeout S] [--test-timeout S] [--skip-baseline] [ID-or-glob ...]
"""
import argparse
import fnmatch
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
PRESET = {"core": "core", "plugin": "release", "app": "release"}
TARGETS = {"core": ["all"], "plugin": ["plugin_tests", "juce_hosting_tests"],
           "app": ["app_host_tests", "app_live_host_tests", "midi-sondrel", "midi-sondrel-capture"]}
# The check that every fault applies fails for any planted fault: it tells nothing here.
TESTS = {"core": [["-L", "core", "-E", "^Mutants[.]"]], "plugin": [["-L", "plugin"], ["-R", "JuceHosting"]],
         "app": [["-L", "app"]]}


def load(path=HERE / "faults.txt"):
    """The faults as dicts (id, group, file, what, old, new), in file order."""
    faults, current, part = [], None, None
    for line in path.read_text().split("\n"):
        if line.startswith("=== "):
            fid, group, file = line[4:].split()
            if group not in PRESET:
                sys.exit(f"mutants: fault {fid}: unknown group {group}")
            current = {"id": fid, "group": group, "file": file, "what": "", "old": [], "new": []}
            faults.append(current)
            part = "what"
        elif current is None:
            continue  # the comments before the first record
        elif line in ("--- old", "--- new"):
            part = line[4:]
        elif part == "what":
            current["what"] = (current["what"] + " " + line).strip()
        else:
            current[part].append(line)
    for f in faults:
        for part in ("old", "new"):
            while f[part] and f[part][-1] == "":
                f[part].pop()  # the blank lines between records
            f[part] = "\n".join(f[part])
        if not f["old"]:
            sys.exit(f"mutants: fault {f['id']} has no old text")
    ids = [f["id"] for f in faults]
    if len(set(ids)) != len(ids):
        sys.exit("mutants: a fault id is used twice")
    return faults


def occurrences(root, fault):
    path = pathlib.Path(root, fault["file"])
    return path.read_text().count(fault["old"]) if path.is_file() else 0


def bounded(seconds, command, log):
    """The command's exit status, or 124 when it ran out of time (it and its children stopped)."""
    with open(log, "a") as out:
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            return process.wait(seconds)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, 9)
            process.wait()
            return 124


def first_failure(log):
    found = re.findall(r"^\s*\d+ - (.*) \([^()]*\)$", pathlib.Path(log).read_text(), re.M)
    return found[0] if found else "?"


def sync(source, tree):
    """Copies what differs (with a fresh modification time) and removes what is gone, so that a
    reused scratch tree rebuilds exactly what changed."""
    def files(root):
        for dirpath, dirnames, names in os.walk(root):
            dirnames[:] = [d for d in dirnames if not (pathlib.Path(dirpath) == root and d in (".git", "build"))]
            for name in names:
                yield pathlib.Path(dirpath, name).relative_to(root)
    wanted = set(files(source))
    for rel in wanted:
        src, dst = source / rel, tree / rel
        if not dst.is_file() or src.read_bytes() != dst.read_bytes():
            dst.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(src, dst)
    for rel in set(files(tree)) - wanted:
        (tree / rel).unlink()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("patterns", nargs="*")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--compare", nargs=2, metavar=("OLD", "NEW"))
    parser.add_argument("--caught")
    parser.add_argument("--scratch")
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--build-timeout", type=int, default=1200)
    parser.add_argument("--test-timeout", type=int, default=900)
    parser.add_argument("--skip-baseline", action="store_true")
    args = parser.parse_args()

    if args.compare:
        old, new = (set(pathlib.Path(p).read_text().split()) for p in args.compare)
        print(f"caught in {args.compare[0]}: {len(old)}, in {args.compare[1]}: {len(new)}")
        for fid in sorted(new - old):
            print("newly caught:", fid)
        for fid in sorted(old - new):
            print("no longer caught:", fid)
        print("every fault caught before is still caught" if old <= new else "")
        return 0 if old <= new else 1

    faults = [f for f in load() if not args.patterns or any(fnmatch.fnmatchcase(f["id"], p) for p in args.patterns)]
    if not faults:
        sys.exit(f"mutants: no fault matches {' '.join(args.patterns)}")
    if args.list:
        for f in faults:
            print(f"{f['id']:<34} {f['group']:<7} {f['file']:<38} {f['what']}")
        print(f"{len(faults)} faults")
        return 0
    if args.check:
        broken = [f for f in faults if occurrences(ROOT, f) != 1]
        for f in broken:
            print(f"BROKEN  {f['id']:<34} old text occurs {occurrences(ROOT, f)} times in {f['file']}")
        print(f"{len(faults) - len(broken)} of {len(faults)} faults apply")
        return 1 if broken else 0

    scratch = pathlib.Path(args.scratch or tempfile.mkdtemp(prefix="sondrel-mutants.")).resolve()
    scratch.mkdir(parents=True, exist_ok=True)
    if ROOT in scratch.parents or scratch == ROOT:
        sys.exit("mutants: the scratch folder may not lie inside the tree being tested")
    tree, logs = scratch / "tree", scratch / "logs"
    tree.mkdir(exist_ok=True)
    logs.mkdir(exist_ok=True)
    print(f"mutants: copying {ROOT} to {tree}")
    sync(ROOT, tree)
    os.chdir(tree)

    def build(group, seconds, log):
        return bounded(seconds, ["cmake", "--build", "--preset", PRESET[group], "-j", str(args.jobs),
                                 "--target", *TARGETS[group]], log)

    def test(group, log):
        for selection in TESTS[group]:
            status = bounded(args.test_timeout, ["ctest", "--preset", PRESET[group], "-j", str(args.jobs),
                                                 "--stop-on-failure", *selection], log)
            if status:
                return status
        return 0

    started = time.time()
    groups = sorted({f["group"] for f in faults})
    for preset in sorted({PRESET[g] for g in groups}):
        log = logs / f"build-{preset}.log"
        log.unlink(missing_ok=True)
        print(f"mutants: configuring and building the {preset} preset (once)")
        if bounded(600, ["cmake", "--preset", preset, "-DSONDREL_BUILD_BENCHMARKS=OFF"], log) or \
                bounded(args.build_timeout * 3, ["cmake", "--build", "--preset", preset, "-j", str(args.jobs)], log):
            sys.exit(f"mutants: the unchanged tree does not build in the {preset} preset (log: {log})")
    for group in [] if args.skip_baseline else groups:
        log = logs / f"baseline-{group}.log"
        log.unlink(missing_ok=True)
        if test(group, log):
            sys.exit(f"mutants: the {group} tests fail on the unchanged tree (first: {first_failure(log)}; log: {log})")
        print(f"mutants: {group} tests pass on the unchanged tree")

    results = {"caught": [], "MISSED": [], "BROKEN": [], "ERROR": []}
    for f in faults:
        t, log = time.time(), logs / f"{f['id']}.log"
        log.unlink(missing_ok=True)
        path = tree / f["file"]
        if occurrences(tree, f) != 1:
            result, how = "BROKEN", f"old text occurs {occurrences(tree, f)} times in {f['file']}"
        else:
            original = path.read_text()
            try:
                path.write_text(original.replace(f["old"], f["new"]))
                status = build(f["group"], args.build_timeout, log)
                if status == 124:
                    result, how = "ERROR", "the build ran out of time"
                elif status:
                    result, how = "caught", "the build failed"
                else:
                    status = test(f["group"], log)
                    result, how = (("MISSED", "every test passed") if status == 0 else
                                   ("caught", f"the tests hung (stopped after {args.test_timeout} s)") if status == 124
                                   else ("caught", f"by {first_failure(log)}"))
            finally:
                path.write_text(original)  # a fresh modification time: the build notices it changed back
        results[result].append(f["id"])
        print(f"{result:<7} {f['id']:<34} {time.time() - t:4.0f} s  {f['what']}: {how}", flush=True)

    print(f"\n{len(results['caught'])} of {len(faults)} caught ({len(results['MISSED'])} missed, "
          f"{len(results['BROKEN'])} broken, {len(results['ERROR'])} errors) in {time.time() - started:.0f} s")
    for kind in ("MISSED", "BROKEN", "ERROR"):
        if results[kind]:
            print(f"{kind.lower()}: {' '.join(results[kind])}")
    if args.caught:
        pathlib.Path(args.caught).write_text("".join(fid + "\n" for fid in results["caught"]))
        print(f"caught list written to {args.caught}")
    if not args.scratch and not args.keep:
        shutil.rmtree(scratch, ignore_errors=True)
    else:
        print(f"scratch folder kept: {scratch}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
