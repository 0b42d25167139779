#!/usr/bin/env python3
"""Planted faults: how many real bugs do the tests catch?

Copies the tree (without .git and build/) to a scratch folder, builds it there, then plants the
faults of faults.txt one at a time: each replaces one exact snippet of one file, the build is
brought up to date and the tests of the fault's group run. "caught": a test or the build failed;
"MISSED": everything passed; "BROKEN": the snippet no longer occurs exactly once. Groups: core
(core preset, -L core), plugin (release, -L plugin, then -R JuceHosting), app (release, -L app).
A full run takes about half an hour on two cores; --check (every snippet applies) runs as a test.
"""
import argparse, filecmp, fnmatch, os, pathlib, re, shutil, subprocess, sys, tempfile, time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
PRESET = {"core": "core", "plugin": "release", "app": "release"}
TARGETS = {"core": ["all"], "plugin": ["plugin_tests", "juce_hosting_tests"],
           "app": ["app_host_tests", "app_live_host_tests", "midi-sondrel", "midi-sondrel-capture"]}
# The check that every fault applies fails for any planted fault: it tells nothing here.
TESTS = {"core": [["-L", "core", "-E", "^Mutants[.]"]], "plugin": [["-L", "plugin"], ["-R", "JuceHosting"]],
         "app": [["-L", "app"]]}

def load():
    """The faults as dicts (id, group, file, what, old, new), in file order."""
    faults, part = [], None
    for line in (HERE / "faults.txt").read_text().split("\n"):
        if line.startswith("=== "):
            fid, group, file = line[4:].split()
            if group not in PRESET:
                sys.exit(f"mutants: fault {fid}: unknown group {group}")
            faults.append({"id": fid, "group": group, "file": file, "what": [], "old": [], "new": []})
            part = "what"
        elif faults and line in ("--- old", "--- new"):
            part = line[4:]
        elif faults:  # not the comments before the first record
            faults[-1][part].append(line)
    for f in faults:  # no blank lines between records
        f["what"], f["old"], f["new"] = " ".join(f["what"]).strip(), *("\n".join(f[p]).rstrip("\n") for p in ("old", "new"))
        if not f["old"]:
            sys.exit(f"mutants: fault {f['id']} has no old text")
    if len({f["id"] for f in faults}) != len(faults):
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

def sync(tree):
    """Copies what differs (with a fresh modification time) and removes what is gone, so that a
    reused scratch tree rebuilds exactly what changed."""
    def files(root):
        for path, dirs, names in os.walk(root):
            dirs[:] = [d for d in dirs if not (pathlib.Path(path) == root and d in (".git", "build"))]
            yield from (pathlib.Path(path, name).relative_to(root) for name in names)
    wanted = set(files(ROOT))
    for rel in wanted:
        if not (tree / rel).is_file() or not filecmp.cmp(ROOT / rel, tree / rel, shallow=False):
            (tree / rel).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(ROOT / rel, tree / rel)
    for rel in set(files(tree)) - wanted:
        (tree / rel).unlink()

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("patterns", nargs="*", help="fault ids or globs (all when none)")
    for flag in ("--list", "--check", "--keep", "--skip-baseline"):
        parser.add_argument(flag, action="store_true")
    parser.add_argument("--compare", nargs=2, metavar=("OLD", "NEW"))
    parser.add_argument("--caught")
    parser.add_argument("--scratch")
    for flag, default in (("--jobs", 2), ("--build-timeout", 1200), ("--test-timeout", 900)):
        parser.add_argument(flag, type=int, default=default)
    args = parser.parse_args()

    if args.compare:
        old, new = (set(pathlib.Path(p).read_text().split()) for p in args.compare)
        print(f"caught in {args.compare[0]}: {len(old)}, in {args.compare[1]}: {len(new)}")
        print("".join([f"newly caught: {i}\n" for i in sorted(new - old)] + [f"no longer caught: {i}\n" for i in sorted(old - new)])
              + ("every fault caught before is still caught" if old <= new else ""))
        return 0 if old <= new else 1

    faults = [f for f in load() if not args.patterns or any(fnmatch.fnmatchcase(f["id"], p) for p in args.patterns)]
    if not faults:
        sys.exit(f"mutants: no fault matches {' '.join(args.patterns)}")
    if args.list or args.check:
        broken = [f for f in faults if args.check and occurrences(ROOT, f) != 1]
        for f in faults if args.list else broken:
            print(f"{f['id']:<34} {f['group']:<7} {f['file']:<38} {f['what']}" if args.list else
                  f"BROKEN  {f['id']:<34} old text occurs {occurrences(ROOT, f)} times in {f['file']}")
        print(f"{len(faults)} faults" if args.list else f"{len(faults) - len(broken)} of {len(faults)} faults apply")
        return 1 if broken else 0

    scratch = pathlib.Path(args.scratch or tempfile.mkdtemp(prefix="sondrel-mutants.")).resolve()
    if ROOT in scratch.parents or scratch == ROOT:
        sys.exit("mutants: the scratch folder may not lie inside the tree being tested")
    tree, logs = scratch / "tree", scratch / "logs"
    tree.mkdir(parents=True, exist_ok=True)
    logs.mkdir(exist_ok=True)
    print(f"mutants: copying {ROOT} to {tree}")
    sync(tree)
    os.chdir(tree)

    def fresh_log(name):
        (logs / name).unlink(missing_ok=True)
        return logs / name

    def test(group, log):
        for selection in TESTS[group]:
            if status := bounded(args.test_timeout, ["ctest", "--preset", PRESET[group], "-j", str(args.jobs),
                                                     "--stop-on-failure", *selection], log):
                return status
        return 0

    def first_failure(log):
        return (re.findall(r"^\s*\d+ - (.*) \([^()]*\)$", log.read_text(), re.M) or ["?"])[0]

    started, groups = time.time(), sorted({f["group"] for f in faults})
    for preset in sorted({PRESET[g] for g in groups}):
        log = fresh_log(f"build-{preset}.log")
        print(f"mutants: configuring and building the {preset} preset (once)")
        if bounded(600, ["cmake", "--preset", preset, "-DSONDREL_BUILD_BENCHMARKS=OFF"], log) or \
                bounded(args.build_timeout * 3, ["cmake", "--build", "--preset", preset, "-j", str(args.jobs)], log):
            sys.exit(f"mutants: the unchanged tree does not build in the {preset} preset (log: {log})")
    for group in [] if args.skip_baseline else groups:
        if test(group, log := fresh_log(f"baseline-{group}.log")):
            sys.exit(f"mutants: the {group} tests fail on the unchanged tree (first: {first_failure(log)}; log: {log})")
        print(f"mutants: {group} tests pass on the unchanged tree")

    results = {"caught": [], "MISSED": [], "BROKEN": [], "ERROR": []}
    for f in faults:
        t, log, path = time.time(), fresh_log(f"{f['id']}.log"), tree / f["file"]
        if (n := occurrences(tree, f)) != 1:
            result, how = "BROKEN", f"old text occurs {n} times in {f['file']}"
        else:
            original = path.read_text()
            try:
                path.write_text(original.replace(f["old"], f["new"]))
                status = bounded(args.build_timeout, ["cmake", "--build", "--preset", PRESET[f["group"]], "-j",
                                                      str(args.jobs), "--target", *TARGETS[f["group"]]], log)
                if not status:
                    status = test(f["group"], log)
                    result, how = (("MISSED", "every test passed") if status == 0 else
                                   ("caught", f"the tests hung (stopped after {args.test_timeout} s)") if status == 124
                                   else ("caught", f"by {first_failure(log)}"))
                else:
                    result, how = ("ERROR", "the build ran out of time") if status == 124 else ("caught", "the build failed")
            finally:
                path.write_text(original)  # a fresh modification time: the build notices it changed back
        results[result].append(f["id"])
        print(f"{result:<7} {f['id']:<34} {time.time() - t:4.0f} s  {f['what']}: {how}", flush=True)

    print(f"\n{len(results['caught'])} of {len(faults)} caught ({len(results['MISSED'])} missed, "
          f"{len(results['BROKEN'])} broken, {len(results['ERROR'])} errors) in {time.time() - started:.0f} s")
    print("".join(f"{kind.lower()}: {' '.join(results[kind])}\n" for kind in ("MISSED", "BROKEN", "ERROR") if results[kind]), end="")
    if args.caught:
        pathlib.Path(args.caught).write_text("".join(fid + "\n" for fid in results["caught"]))
        print(f"caught list written to {args.caught}")
    if args.scratch or args.keep:
        print(f"scratch folder kept: {scratch}")
    else:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0

if __name__ == "__main__":
    sys.exit(main())
