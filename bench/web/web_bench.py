#!/usr/bin/env python3
"""The page's figures beside the desktop build's, each with the goal it is held to: what a
visitor downloads (gzipped, without the movie and the pictures), the time from the Trailer click
to the first picture, the processor time of the browser's processes while the trailer plays
against desktop filmo's, and the decoder's speed as WebAssembly against the native one.

usage: web_bench.py SITE DECODE_SPEED_JS RELEASE_BUILD [--seconds N]"""
import argparse
import gzip
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "web"))
from browser import Browser  # noqa: E402

CLICKS = "window.__clicks = []; document.addEventListener('click', " \
         "() => window.__clicks.push(performance.now()), true);"


def transfer_size(site):
    total = 0
    for folder, _, files in os.walk(site):
        if os.path.relpath(folder, site).split(os.sep)[0] == "cd":
            continue
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                total += len(gzip.compress(f.read(), 9))
    return total


def thread_ticks(pids):
    """Processor ticks so far of every thread of the given processes, by (pid, tid, name)."""
    ticks = {}
    for pid in pids:
        try:
            tids = os.listdir("/proc/%d/task" % pid)
        except OSError:
            continue
        for tid in tids:
            try:
                name = open("/proc/%d/task/%s/comm" % (pid, tid)).read().strip()
                fields = open("/proc/%d/task/%s/stat" % (pid, tid)).read().rsplit(")", 1)[1]
                fields = fields.split()
                ticks[(pid, int(tid), name)] = int(fields[11]) + int(fields[12])
            except (OSError, IndexError, ValueError):
                pass
    return ticks


def share(before, after, seconds):
    """Each thread's share of a core between two thread_ticks."""
    hz = os.sysconf("SC_CLK_TCK")
    return {k: (after[k] - before.get(k, 0)) / hz / seconds for k in after}


def session_pids(sid):
    pids = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                fields = open("/proc/%s/stat" % entry).read().rsplit(")", 1)[1].split()
                if int(fields[3]) == sid:
                    pids.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return pids


def click_trailer(b):
    b.evaluate("[...document.querySelectorAll('#desktop button.control')]"
               ".find(e => e.textContent.includes('Trailer')).click()")


def start_page(site):
    """The page with its menu shown, and the Trailer click to first picture delay (median of 5)."""
    b = Browser(site)
    try:
        b.open("/index.html?trace&windowed", before=CLICKS)
        b.wait_for("[...document.querySelectorAll('#desktop .window')].some(w => !w.hidden && "
                   "w.querySelector('.client > canvas').width === 480)", 60, "the menu")
        delays = []
        for _ in range(5):
            time.sleep(0.5)
            b.evaluate("Module.web.trace.length = 0; window.__clicks.length = 0")
            click_trailer(b)
            b.wait_for("Module.web.trace.indexOf('play') >= 0 && Module.web.trace.length > "
                       "Module.web.trace.indexOf('play') + 1", 10, "the first picture")
            delays.append(b.evaluate("Module.web.trace[Module.web.trace.indexOf('play') + 1][0]"
                                     " / 1000 - window.__clicks[0]"))
            b.escape()
            b.wait_for("document.getElementById('player').hidden", 10)
        return b, statistics.median(delays)
    except BaseException:
        b.close()
        raise


def start_desktop(release):
    filmo = os.path.join(release, "platform", "filmo")
    movie = os.path.join(release, "democd", "Trailer", "trailer.mov")
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="disk",
               SDL_DISKAUDIOFILE="/dev/null", FILMO_NO_BOXES="1")
    return subprocess.Popen([filmo, movie], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def cpu_figures(b, release, seconds, rounds=3):
    """The page's processes and desktop filmo each play the trailer for `seconds`, taking turns
    `rounds` times, so that both meet the same load of the machine: their shares of a core (the
    medians) and the page's threads, by name, summed over the rounds."""
    page, desktop, threads = [], [], {}
    for _ in range(rounds):
        click_trailer(b)
        time.sleep(1)
        pids = session_pids(b.chromium.pid)
        before = thread_ticks(pids)
        time.sleep(seconds)
        used = share(before, thread_ticks(pids), seconds)
        b.escape()
        b.wait_for("document.getElementById('player').hidden", 10)
        page.append(sum(used.values()))
        for (_, _, name), value in used.items():
            threads[name] = threads.get(name, 0) + value / rounds
        p = start_desktop(release)
        try:
            time.sleep(1)
            before = thread_ticks([p.pid])
            time.sleep(seconds)
            desktop.append(sum(share(before, thread_ticks([p.pid]), seconds).values()))
        finally:
            p.terminate()
            p.wait(20)
    return statistics.median(page), statistics.median(desktop), threads


def decode_speed(command):
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return float(out.split()[0])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("site")
    parser.add_argument("decode_js")
    parser.add_argument("release")
    parser.add_argument("--seconds", type=float, default=10)
    args = parser.parse_args()
    movie = os.path.join(args.release, "democd", "Trailer", "trailer.mov")

    size = transfer_size(args.site)
    print("web: page without the movie and the pictures, gzipped: %.0f KB (goal: at most 512 KB)"
          % (size / 1024))
    b, delay = start_page(args.site)
    try:
        print("web: Trailer click to the first picture: %.1f ms, median of 5 (goal: at most "
              "150 ms)" % delay)
        page_cpu, native_cpu, threads = cpu_figures(b, args.release, args.seconds)
    finally:
        b.close()
    print("web: processor time while the trailer plays: browser %.1f %% of a core, desktop filmo "
          "%.1f %% (%.1fx; goal: at most 3x; medians of 3 turns each)"
          % (100 * page_cpu, 100 * native_cpu, page_cpu / max(native_cpu, 1e-6)))
    top = sorted(threads.items(), key=lambda kv: -kv[1])[:8]
    print("web: the browser's threads: " + ", ".join("%s %.1f %%" % (name, 100 * value)
                                                     for name, value in top))
    native = decode_speed([os.path.join(args.release, "bench", "decode_speed"), movie, "3"])
    wasm = decode_speed(["node", "--no-experimental-fetch", args.decode_js, movie, "3"])
    print("web: decoding the trailer's records: WebAssembly %.0f a second, native %.0f (%.2fx "
          "native; playing needs 6.25)" % (wasm, native, wasm / native))


if __name__ == "__main__":
    main()
