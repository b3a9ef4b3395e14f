#!/usr/bin/env python3
"""Measures how many small faults the unit and integration tests catch.

Each fault of faults.txt is put into the code on its own, the build is brought up to date
incrementally, the tests run, and the code is put back. A fault is caught when the build or a
test fails. The report lists every fault as caught, missed, not applied (its text no longer
occurs exactly once) or equivalent (marked as unable to change behaviour).

usage: mutate.py [--check] [--only TEXT] [--build DIR] [--jobs N]
  --check      only check that every fault's text occurs exactly once; exit 1 when one does not
  --only TEXT  run only the faults whose name contains TEXT
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FAULTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "faults.txt")
# The end-to-end tests (real programs under X servers and Wine, the demo CD, installing and
# packaging) test the same code through slower doors; the fuzz targets run for a fixed time.
# Nor is the Windows build made here, which the Wine tests and its layer graph's check read.
END_TO_END = (r"^(demo_cd|package|install_tree|runner_screenshot|runner_without_display"
              r"|DemoSoundLine|wine_.*|Layers\.OneWayInTheWindowsBuild)$"
              r"|^(FilmoX|FilmoNoSound|BareX)\.")
TEST_TIMEOUT = 120


def parse_faults(path):
    faults, current = [], None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            key, sep, value = line.partition(": ")
            if not sep or key not in ("fault", "file", "find", "replace", "equivalent"):
                sys.exit(f"{path}:{number}: expected 'fault:', 'file:', 'find:', 'replace:' "
                         f"or 'equivalent:'")
            if key == "fault":
                current = {"name": value, "line": number}
                faults.append(current)
            elif current is None:
                sys.exit(f"{path}:{number}: '{key}:' before the first 'fault:'")
            elif key in ("find", "replace") and key in current:
                current[key] += "\n" + value  # a text of several lines, one line each
            else:
                current[key] = value
    for fault in faults:
        for key in ("file", "find", "replace"):
            if key not in fault:
                sys.exit(f"{path}:{fault['line']}: fault '{fault['name']}' has no '{key}:'")
    return faults


def occurrences(fault):
    try:
        with open(os.path.join(ROOT, fault["file"]), encoding="utf-8") as f:
            return f.read().count(fault["find"])
    except OSError:
        return -1


def run(command, log, timeout=None):
    """Runs command in ROOT, output appended to log; True when it succeeded."""
    with open(log, "a", encoding="utf-8") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        try:
            return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout, check=False).returncode == 0
        except subprocess.TimeoutExpired:
            out.write("(timed out)\n")
            return False


def test_targets(build):
    """The executables the selected tests run, as build targets."""
    listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1", "-LE", "fuzz",
                              "-E", END_TO_END], capture_output=True, text=True, check=True)
    targets = set()
    for test in json.loads(listing.stdout).get("tests", []):
        command = test.get("command") or []
        if command and os.path.dirname(command[0]).startswith(os.path.abspath(build)):
            targets.add(os.path.basename(command[0]))
        for argument in command[1:]:
            if argument.startswith(os.path.abspath(build)) and os.access(argument, os.X_OK) \
                    and os.path.isfile(argument):
                targets.add(os.path.basename(argument))
    return sorted(targets)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--only", default="")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "mutate"))
    parser.add_argument("--jobs", default="2")
    args = parser.parse_args()

    faults = [f for f in parse_faults(FAULTS) if args.only in f["name"]]
    stale = [f for f in faults if "equivalent" not in f and occurrences(f) != 1]
    for f in stale:
        n = occurrences(f)
        what = "file missing" if n < 0 else "text not found" if n == 0 else f"text found {n} times"
        print(f"NOT APPLIED ({what}): {f['name']}  [{f['file']}: {f['find']}]")
    if args.check:
        print(f"{len(faults) - len(stale)} of {len(faults)} faults apply")
        return 1 if stale else 0

    build = os.path.abspath(args.build)
    log = os.path.join(build, "mutate.log")
    os.makedirs(build, exist_ok=True)
    open(log, "w").close()
    print(f"log: {log}")
    configure = ["cmake", "-S", ROOT, "--preset", "mutate", "-B", build]
    for launcher in ("CMAKE_C_COMPILER_LAUNCHER", "CMAKE_CXX_COMPILER_LAUNCHER"):
        if subprocess.run(["sh", "-c", "command -v ccache"], capture_output=True).returncode == 0:
            configure.append(f"-D{launcher}=ccache")
    if not run(configure, log) or not run(["cmake", "--build", build, "-j", args.jobs], log):
        sys.exit(f"the unchanged code does not build: see {log}")
    targets = test_targets(build)
    tests = ["ctest", "--test-dir", build, "-j", args.jobs, "-LE", "fuzz", "-E", END_TO_END,
             "--timeout", str(TEST_TIMEOUT), "--stop-on-failure"]
    build_tests = ["cmake", "--build", build, "-j", args.jobs, "--target"] + targets
    started = time.time()
    if not run(tests, log):
        sys.exit(f"the tests fail on the unchanged code: see {log}")
    print(f"unchanged code: tests pass in {time.time() - started:.0f} s; "
          f"{len(targets)} test programs")

    # Whatever happens, the code is put back: on an error, Ctrl+C or SIGTERM as well.
    applied = {}

    def restore():
        for path, text in applied.items():
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        applied.clear()

    def on_signal(number, frame):
        restore()
        sys.exit(128 + number)

    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)

    results = {"caught": [], "missed": [], "equivalent": [], "not applied": stale}
    try:
        for fault in faults:
            if fault in stale:
                continue
            if "equivalent" in fault:
                results["equivalent"].append(fault)
                print(f"EQUIVALENT: {fault['name']} ({fault['equivalent']})")
                continue
            path = os.path.join(ROOT, fault["file"])
            with open(path, encoding="utf-8") as f:
                text = f.read()
            applied[path] = text
            with open(path, "w", encoding="utf-8") as f:
                f.write(text.replace(fault["find"], fault["replace"], 1))
            with open(log, "a", encoding="utf-8") as out:
                out.write(f"\n==== {fault['name']}\n")
            started = time.time()
            if not run(build_tests, log):
                verdict = "caught (build)"
            elif not run(tests, log, timeout=TEST_TIMEOUT * 10):
                verdict = "caught"
            else:
                verdict = "MISSED"
            restore()
            results["missed" if verdict == "MISSED" else "caught"].append(fault)
            print(f"{verdict}: {fault['name']}  [{fault['file']}]  {time.time() - started:.0f} s",
                  flush=True)
    finally:
        restore()
        # The build goes back to the unchanged code, so the next run starts from it.
        run(build_tests, log)

    counted = len(results["caught"]) + len(results["missed"])
    share = 100.0 * len(results["caught"]) / counted if counted else 0.0
    print(f"\ncaught {len(results['caught'])} of {counted} faults ({share:.0f} %); "
          f"{len(results['equivalent'])} equivalent, {len(results['not applied'])} not applied")
    for fault in results["missed"]:
        print(f"  missed: {fault['name']}  [{fault['file']}: {fault['find']}]")
    return 0


if __name__ == "__main__":
    sys.exit(main())
