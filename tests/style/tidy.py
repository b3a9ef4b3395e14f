#!/usr/bin/env python3
"""clang-tidy (the tree's .clang-tidy, every finding an error) over the C++ files a change
touches, with a build's compile commands.

The change is what HEAD and the working tree hold beyond their merge base with main (the branch
`main`, else `origin/main`; TIDY_BASE names another). Where HEAD is on main itself, as in a
fresh clone of it, the change is HEAD's own commit against its first parent: for a merge, all
that the merge brought. A changed header is checked through one file of the build that includes
it. Files the build does not compile (another backend's, the fuzz targets) are named and left
out. The tests' files are checked without the static analyzer: it takes a minute over each of
them and reports the objects Qt's event loop owns as leaks. `--all` checks every file of the
build (`make tidy`).

usage: tidy.py SOURCE BUILD [--all] [--jobs N]
"""
import argparse
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

# Left out as `make tidy` always did: the benchmark loops and fuzz entry points are not code the
# checks are written for.
LEFT_OUT = ("bench/", "fuzz/")
# The floors whose headers are checked with the files that include them.
FLOORS = ("movie", "present", "player", "launcher", "platform", "tools", "apps")


def git(source, *args):
    """Git's answer, or None (also where there is no git)."""
    try:
        run = subprocess.run(["git", "-C", source, *args], capture_output=True, text=True)
    except OSError:
        return None
    return run.stdout.strip() if run.returncode == 0 else None


def changed_files(source):
    """The changed C++ files (relative to SOURCE) and what the change was, or None and why."""
    if git(source, "rev-parse", "--git-dir") is None:
        return None, "not a git checkout: no change to look at"
    head = git(source, "rev-parse", "HEAD")
    wanted = [os.environ["TIDY_BASE"]] if os.environ.get("TIDY_BASE") else ["main", "origin/main"]
    main = next((r for r in wanted if git(source, "rev-parse", "-q", "--verify",
                                          r + "^{commit}")), None)
    if os.environ.get("TIDY_BASE") and main is None:
        sys.exit(f"tidy: TIDY_BASE={os.environ['TIDY_BASE']} names no commit")
    base = git(source, "merge-base", "HEAD", main) if main else None
    if base and base != head:
        what = f"the change since the merge base with {main} ({base[:10]})"
    else:
        base = git(source, "rev-parse", "-q", "--verify", "HEAD^1^{commit}")
        if base is None:
            return None, "HEAD has no parent commit in this clone (a shallow clone?)"
        what = f"HEAD's own commit ({head[:10]}) against its first parent"
    names = git(source, "diff", "--name-only", "--diff-filter=d", base, "--", "*.cpp", "*.h")
    untracked = git(source, "ls-files", "--others", "--exclude-standard", "--", "*.cpp", "*.h")
    files = {n for n in (names or "").splitlines() + (untracked or "").splitlines() if n}
    return sorted(f for f in files if os.path.isfile(os.path.join(source, f))), what


def compiled_files(build, source):
    """The build's compile commands by file, relative to SOURCE."""
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    files = {}
    for e in entries:
        path = os.path.normpath(os.path.join(e["directory"], e["file"]))
        rel = os.path.relpath(path, source)
        if not rel.startswith(".."):
            files[rel] = e
    return files


def unit_key(entry, settings):
    """What clang-tidy's verdict on a file depends on: the file as the compiler sees it (every
    header in, comments kept), its flags and the checks. None when it cannot be had."""
    words = entry.get("arguments") or shlex.split(entry["command"])
    command, skip = [], False
    for w in words:
        if skip:
            skip = False
        elif w in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
        elif w not in ("-c", "-MD", "-MMD"):
            command.append(w)
    run = subprocess.run(command + ["-E", "-C", "-o", "-"], cwd=entry["directory"],
                         capture_output=True)
    if run.returncode != 0:
        return None
    digest = hashlib.sha256(settings)
    digest.update("\0".join(command).encode())
    digest.update(run.stdout)
    return digest.hexdigest()


def includer(source, header, compiled):
    """One compiled file that includes the header, or None."""
    pattern = re.compile(r'^\s*#\s*include\s*"' + re.escape(header) + '"', re.M)
    # The system's own files first: they are checked with the analyzer, the tests without.
    for f in sorted(compiled, key=lambda f: (f.startswith("tests/"), f)):
        with open(os.path.join(source, f), errors="replace") as text:
            if pattern.search(text.read()):
                return f
    return None


def header_filter(source):
    """The headers whose findings count: the system's own and the tools', under SOURCE. (The
    .clang-tidy's HeaderFilterRegex cannot say this: clang-tidy matches it against the whole
    path.)"""
    root = re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", source)
    return f"^{root}/({'|'.join(FLOORS)})/"


def tidy(source, build, path, entry, analyzer, cache, settings):
    """Runs clang-tidy over one file unless the same unit passed before (then "cached")."""
    key = unit_key(entry, settings + (b"analyzer" if analyzer else b"")) if cache else None
    if key and os.path.exists(os.path.join(cache, key)):
        return path, 0, "", True
    command = ["clang-tidy", "-p", build, "--quiet", "--warnings-as-errors=*",
               "--header-filter=" + header_filter(source),
               # Compiler warnings are the build's business; here only the checks count.
               "--extra-arg=-Wno-error"]
    if not analyzer:
        command.append("--checks=-clang-analyzer-*")
    run = subprocess.run(command + [os.path.join(source, path)], capture_output=True, text=True)
    noise = re.compile(r"^\d+ warnings? (and \d+ errors? )?generated\.$")
    errors = "\n".join(l for l in run.stderr.splitlines() if not noise.match(l))
    if run.returncode == 0 and key:
        # Only a pass is remembered: a finding is shown again until it is fixed.
        open(os.path.join(cache, key), "w").close()
    return path, run.returncode, (run.stdout + errors).strip(), False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("source")
    parser.add_argument("build")
    parser.add_argument("--all", action="store_true", help="every file of the build")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = parser.parse_args()
    source, build = os.path.abspath(args.source), os.path.abspath(args.build)
    compiled = {f: e for f, e in compiled_files(build, source).items()
                if not f.startswith(LEFT_OUT)}

    if args.all:
        files, what, skipped = sorted(compiled), "every file of the build", []
    else:
        changed, what = changed_files(source)
        if changed is None:
            print(f"tidy: {what}; nothing checked (make tidy checks every file)")
            return 0
        files, skipped = set(), []
        for f in changed:
            if f in compiled:
                files.add(f)
            elif f.endswith(".h") and not f.startswith(LEFT_OUT) and \
                    (by := includer(source, f, compiled)):
                files.add(by)
            else:
                skipped.append(f)
        files = sorted(files)

    version = subprocess.run(["clang-tidy", "--version"], capture_output=True).stdout
    with open(os.path.join(source, ".clang-tidy"), "rb") as f:
        settings = version + f.read() + header_filter(source).encode()
    cache = os.path.join(build, "tidy-passed")
    os.makedirs(cache, exist_ok=True)
    started = time.monotonic()
    failed, cached = [], 0
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        runs = [pool.submit(tidy, source, build, f, compiled[f],
                            not f.startswith("tests/"), cache, settings)
                for f in files]
        for run in runs:
            path, status, output, remembered = run.result()
            cached += remembered
            if status != 0:
                failed.append(path)
                print(output or f"{path}: clang-tidy ended with status {status}")
    print(f"tidy: {what}: {len(files)} files checked ({cached} unchanged since they passed) in "
          f"{time.monotonic() - started:.0f} s, "
          + (f"{len(failed)} with findings" if failed else "no findings"))
    if skipped:
        print(f"tidy: not compiled by this build or left out, not checked: {' '.join(skipped)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
