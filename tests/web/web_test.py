#!/usr/bin/env python3
"""The demo CD's page in headless Chromium, driven as a visitor would: the menu against the CD's
picture and the install record in the page's storage, the trailer against movtool's screens and
the movie's own sound, the demo's install, play and uninstall across a reload, and files dropped
on the page that are damaged, cut short or of a gigabyte. Every request the page makes must go to
its own origin.

usage: web_test.py SITE MOVTOOL [-k NAME] [--screens DIR]"""
import argparse
import base64
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser  # noqa: E402
import pictures  # noqa: E402

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TABLE = os.path.join(SOURCE, "tests", "win32", "democd_table.sh")
ARGS = None

# Hooks the test puts into the page before its own scripts: every byte the sound node hands to
# the audio context (with the context's time of each block the tap took), and every byte read
# from a file the user gave.
HOOKS = """
window.__heard = []; window.__heardAt = []; window.__readBytes = 0;
(() => {
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target) {
    const result = connect.apply(this, arguments);
    if (this instanceof AudioWorkletNode && target instanceof AudioDestinationNode) {
      const tap = this.context.createScriptProcessor(4096, 1, 1);
      tap.onaudioprocess = (e) => {
        const floats = e.inputBuffer.getChannelData(0), bytes = new Uint8Array(floats.length);
        for (let i = 0; i < floats.length; i++) bytes[i] = Math.round(floats[i] * 128 + 128);
        window.__heard.push(bytes);
        window.__heardAt.push(e.playbackTime);
      };
      connect.call(this, tap);
      connect.call(tap, this.context.destination);
    }
    return result;
  };
  const slice = Blob.prototype.slice;
  Blob.prototype.slice = function (start, end) {
    const part = slice.apply(this, arguments);
    window.__readBytes += part.size;
    return part;
  };
})();
window.__b64 = (bytes) => { let s = ''; for (let i = 0; i < bytes.length; i += 8192)
  s += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192)); return btoa(s); };
window.__heardAll = () => { const n = window.__heard.reduce((a, b) => a + b.length, 0);
  const all = new Uint8Array(n); let at = 0; for (const b of window.__heard) { all.set(b, at);
  at += b.length; } return window.__b64(all); };
"""

# The hook the test puts into the player's screen worker: the first `limit` pictures its canvas
# takes, as RGB.
SCREEN_HOOK = """
self.__frames = []; self.__frameLimit = %d;
(() => {
  const put = OffscreenCanvasRenderingContext2D.prototype.putImageData;
  OffscreenCanvasRenderingContext2D.prototype.putImageData = function (image, x, y) {
    if (self.__frames.length < self.__frameLimit) {
      const rgb = new Uint8Array(image.width * image.height * 3);
      for (let i = 0, j = 0; i < image.data.length; i += 4, j += 3) {
        rgb[j] = image.data[i]; rgb[j + 1] = image.data[i + 1]; rgb[j + 2] = image.data[i + 2];
      }
      self.__frames.push(rgb);
    }
    return put.apply(this, arguments);
  };
})();
self.__b64 = (bytes) => { let s = ''; for (let i = 0; i < bytes.length; i += 8192)
  s += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192)); return btoa(s); };
"""

# The demo install on the page's drive C:, each file with a hash of its bytes.
LIST_C = """(() => { const out = {}; const base = '/prefix/dosdevices/c:/ZENTHOR';
  if (!FS.analyzePath(base).exists) return out;
  const walk = (path) => { for (const name of FS.readdir(path)) { if (name === '.' || name === '..')
    continue; const child = path + '/' + name; if (FS.isDir(FS.stat(child).mode)) walk(child);
    else { let h = 2166136261; for (const b of FS.readFile(child)) h = Math.imul(h ^ b, 16777619);
      out[child.slice(base.length + 1)] = h >>> 0; } } };
  walk(base); return out; })()"""


def table():
    """The demo CD's table that the desktop and Wine tests use too."""
    script = ('source "$1"; for k in "${!BUTTON[@]}"; do echo "button $k ${BUTTON[$k]}"; done;'
              'for k in "${!LABEL[@]}"; do echo "label $k ${LABEL[$k]}"; done;'
              'echo "installed ${INSTALLED[*]}"; echo "removes ${UNINSTALL_REMOVES[*]}";'
              'echo "picture $PICTURE_X $PICTURE_Y $PICTURE_W $PICTURE_H"')
    out = subprocess.run(["bash", "-c", script, "table", TABLE], check=True,
                         capture_output=True, text=True).stdout
    t = {"button": {}, "label": {}}
    for line in out.splitlines():
        words = line.split()
        if words[0] in ("button", "label"):
            t[words[0]][words[1]] = words[2:]
        else:
            t[words[0]] = words[1:]
    return t


class PageTest(unittest.TestCase):
    def setUp(self):
        self.browser = Browser(ARGS.site)
        self.table = table()
        self.work = tempfile.mkdtemp(prefix="web_test_files.")

    def tearDown(self):
        b = self.browser
        try:
            b.pump(0.2)
            foreign = [u for u in b.requests if not (u.startswith(b.origin + "/") or
                                                   u.startswith("data:"))]
            self.assertEqual(foreign, [], "the page asked another origin")
        finally:
            b.close()
            for name in os.listdir(self.work):
                os.remove(os.path.join(self.work, name))
            os.rmdir(self.work)

    # ---- helpers ---------------------------------------------------------------------------

    def shot(self, name):
        png = self.browser.screenshot(os.path.join(ARGS.screens, name + ".png")
                                      if ARGS.screens else os.path.join(self.work, "shot.png"))
        return pictures.png_rgb(png)

    def menu_client(self):
        """The menu window's client area: its top left corner on the page."""
        return self.browser.evaluate(
            "(() => { const w = [...document.querySelectorAll('#desktop .window')].find(e => "
            "!e.hidden && e.querySelector('.caption span').textContent === 'Zenthor DEMO');"
            " if (!w) return null; const r = w.querySelector('.client').getBoundingClientRect();"
            " return [r.left, r.top]; })()")

    def open_menu(self, query=""):
        self.browser.open("/index.html" + query, before=HOOKS)
        self.wait_menu()

    def wait_menu(self):
        # Shown, laid out and painted; its start-up has set the buttons once the picture is in.
        self.browser.wait_for("[...document.querySelectorAll('#desktop .window')].some(w => "
                              "!w.hidden && w.querySelector('.client > canvas').width === 480 "
                              "&& w.querySelectorAll('button.control').length === 7)", 60,
                              "the menu")
        time.sleep(0.3)

    def click_button(self, name):
        x, y = self.menu_client()
        bx, by = (int(v) for v in self.table["button"][name])
        for kind in ("mousePressed", "mouseReleased"):
            self.browser.call("Input.dispatchMouseEvent", {"type": kind, "x": x + bx,
                                                           "y": y + by, "button": "left",
                                                           "clickCount": 1})

    def labels_dark(self, shot):
        """Dark pixels in the labels of Play and Uninstall: none when they are disabled."""
        width, _, rgb = shot
        x0, y0 = (int(v) for v in self.menu_client())
        counts = []
        for name in ("play", "uninstall"):
            size, x, y = self.table["label"][name][0].replace("x", "+").split("+")[0:1] + \
                self.table["label"][name][0].split("+")[1:]
            w, h = (int(v) for v in self.table["label"][name][0].split("+")[0].split("x"))
            area = pictures.crop(width, rgb, x0 + int(x), y0 + int(y), w, h)
            counts.append(sum(1 for i in range(0, len(area), 3)
                              if (area[i] * 30 + area[i + 1] * 59 + area[i + 2] * 11) < 6400))
        return counts

    def buttons(self):
        return self.browser.evaluate(
            "Object.fromEntries([...document.querySelectorAll('#desktop .window button.control')]"
            ".map(e => [e.textContent, !e.disabled]))")

    def start_menu_again(self):
        self.browser.wait_for("!document.getElementById('start-menu').hidden", 30,
                              "the menu to end")
        self.browser.click("#start-menu")
        self.wait_menu()

    def pick_file(self, path):
        b = self.browser
        root = b.call("DOM.getDocument")["root"]["nodeId"]
        node = b.call("DOM.querySelector", {"nodeId": root, "selector": "#pick"})["nodeId"]
        b.call("DOM.setFileInputFiles", {"nodeId": node, "files": [path]})

    def player_shown(self):
        return not self.browser.evaluate("document.getElementById('player').hidden")

    # ---- the tests -------------------------------------------------------------------------

    def test_menu_shows_the_cd_and_follows_the_install_record(self):
        b = self.browser
        self.open_menu()
        time.sleep(0.6)
        shot = self.shot("menu")
        width, _, rgb = shot
        x, y = (int(v) for v in self.menu_client())
        px, py, pw, ph = (int(v) for v in self.table["picture"])
        bmp = open(os.path.join(ARGS.site, "cd", "loading.bmp"), "rb").read()
        bw, bh, expected = pictures.bmp_rgb(bmp)
        self.assertEqual((bw, bh), (pw, ph))
        self.assertEqual(pictures.crop(width, rgb, x + px, y + py, pw, ph), expected,
                         "the picture area is loading.bmp, pixel for pixel")
        self.assertEqual(self.buttons(), {"Play DEMO": False, "Install": True,
                                          "DirectX Install": True, "Uninstall DEMO": False,
                                          "Readme": True, "Exit": True,
                                          "Zenthor - Trailer": True})
        self.assertEqual(self.labels_dark(shot), [0, 0])
        # An install record and a game appear in the page's storage while the menu is open:
        # the poll enables Play and Uninstall; without the record they go grey again.
        b.evaluate("FS.mkdir('/prefix/dosdevices/c:/ZENTHOR');"
                   "FS.writeFile('/prefix/dosdevices/c:/ZENTHOR/ztDemo.exe', 'x');"
                   "FS.writeFile('/prefix/system.reg', 'WINE REGISTRY Version 2\\n\\n"
                   "[Software\\\\\\\\Quillon\\\\\\\\Zenthor\\\\\\\\Inf] 0\\n"
                   "\"Path\"=\"C:\\\\\\\\ZENTHOR\"\\n\"Uninstall\"=\"C:\\\\\\\\ZENTHOR\\\\\\\\"
                   "UNINST.EXE\"\\n')")
        b.wait_for("[...document.querySelectorAll('#desktop button.control')].filter(e => "
                   "!e.disabled).length === 7", 5, "Play and Uninstall enabled by the poll")
        time.sleep(0.2)
        dark = self.labels_dark(self.shot("menu_installed"))
        self.assertTrue(dark[0] > 0 and dark[1] > 0, dark)
        b.evaluate("FS.unlink('/prefix/system.reg')")
        b.wait_for("document.querySelectorAll('#desktop button.control:disabled').length === 2",
                   5, "Play and Uninstall disabled again")
        # F1 opens an About box; Readme its viewer with the CD's text, CR LF lines as lines.
        b.key("F1", "F1", 112)
        b.wait_for("[...document.querySelectorAll('.window .caption span')].some(e => "
                   "e.textContent === 'About')", 5, "the About box")
        self.click_button("readme")
        text = b.wait_for("(document.querySelector('textarea') || {}).value", 5, "the readme")
        readme = open(os.path.join(ARGS.site, "cd", "Readme.txt"), "rb").read()
        self.assertEqual(text, readme.decode("cp1252").replace("\r\n", "\n"))

    def test_trailer_pictures_sound_and_timing_then_escape(self):
        b = self.browser
        self.open_menu("?trace")
        screen = b.worker("screen-worker.js")
        b.evaluate(SCREEN_HOOK % 24, session=screen)
        self.click_button("trailer")
        b.wait_for("window.__heard.length >= 14", 30, "sound of the trailer")
        deadline = time.monotonic() + 30
        while b.evaluate("self.__frames.length", session=screen) < 24:
            self.assertLess(time.monotonic(), deadline, "pictures of the trailer")
            b.pump(0.05)
        # The sound so far, before the test's own work below loads the machine.
        starved = b.evaluate("Module.web.soundStarved()")
        heard = base64.b64decode(b.evaluate("window.__heardAll()"))
        times = b.evaluate("window.__heardAt")
        self.shot("trailer")
        movie_path = os.path.join(ARGS.site, "cd", "Trailer", "trailer.mov")
        movie = open(movie_path, "rb").read()
        frames = [None] * 24
        for i in range(24):
            frames[i] = b.evaluate("self.__b64(self.__frames[%d])" % i, session=screen)
        frames = [base64.b64decode(f) for f in frames]

        def screen(record, picture):
            out = os.path.join(self.work, "screen.raw")
            subprocess.run([ARGS.movtool, "screen", movie_path, str(record), picture, "565",
                            "320x200", out], check=True, capture_output=True)
            return pictures.screen_rgb(open(out, "rb").read())

        # The first picture is the cleared screen; then A and B of each record in turn.
        # (Not assertIn: its message would hold every picture.)
        self.assertTrue(screen(0, "A") in frames, "record 0's picture A was never on the canvas")
        first = frames.index(screen(0, "A"))
        for record in (0, 1, 4, 9):
            for n, picture in enumerate("AB"):
                self.assertEqual(frames[first + 2 * record + n], screen(record, picture),
                                 "record %d picture %s" % (record, picture))
        # What the page handed to the audio context: the records' sound, in order, without a
        # gap (the worklet never found its ring short). The tap runs on the page's main thread:
        # a block it missed on a loaded machine (its times fall a block behind; they move in the
        # device's buffers, not in blocks) ends what it can vouch for, and where the thread was
        # late with a block the tap loses a render quantum of it (never adds or changes one).
        self.assertEqual(starved, 0, "gaps in the sound")
        block = 4096 / 22050
        for i in range(1, len(times)):
            if abs(times[i] - times[0] - i * block) > block / 2:
                heard = heard[:4096 * i]
                break
        sound = pictures.movie_sound(movie, 0, 10)
        at = heard.find(sound[:64])
        self.assertGreaterEqual(at, 0, "record 0's sound was never heard")
        same, lost, j = 0, 0, at
        while j < len(heard) and same < len(sound):
            if heard[j] == sound[same]:
                same, j = same + 1, j + 1
            elif lost < 3 and heard[j:j + 64] == sound[same + 128:same + 192]:
                same, lost = same + 128, lost + 1
            else:
                break
        self.assertGreaterEqual(same, min(len(sound), len(heard) - at - 1 + 128 * lost),
                                "the sound heard differs after %d bytes" % same)
        self.assertGreater(same, 5 * 3528)
        # Picture B of slot d comes as the play cursor enters quarter d + 1.
        trace = b.evaluate("Module.web.trace")
        shown = trace[trace.index("play") + 1:]
        late = []
        for k in range(1, min(len(shown), 40), 2):
            cursor = shown[k][1]
            quarter = ((k + 1) // 2) % 4
            self.assertEqual(cursor // 3528, quarter, "picture %d: cursor %d" % (k, cursor))
            late.append(cursor % 3528)
        self.assertLess(sorted(late)[len(late) // 2], 882, "picture B follows its quarter: %s"
                        % late)
        b.escape()
        b.wait_for("document.getElementById('player').hidden", 10, "Escape to end the trailer")
        time.sleep(0.3)
        width, _, rgb = self.shot("after_trailer")
        x, y = (int(v) for v in self.menu_client())
        bw, bh, expected = pictures.bmp_rgb(open(os.path.join(ARGS.site, "cd", "loading.bmp"),
                                                 "rb").read())
        self.assertEqual(pictures.crop(width, rgb, x, y + 80, bw, bh), expected,
                         "the menu is back")

    def test_install_play_uninstall_and_a_reload(self):
        b = self.browser
        self.open_menu()
        self.click_button("install")
        b.wait_for("!!document.querySelector('.standin')", 10, "the set-up's window")
        self.shot("installed")
        b.key("a", "KeyA", 65, "a")
        self.start_menu_again()
        installed = b.evaluate(LIST_C)
        self.assertEqual(sorted(installed), sorted(self.table["installed"]))
        b.wait_for("document.querySelectorAll('#desktop button.control:disabled').length === 0",
                   5, "Play and Uninstall enabled")
        self.click_button("play")
        b.wait_for("(document.querySelector('.standin .caption span') || {}).textContent === "
                   "'Zenthor DEMO'", 10, "the game's window")
        self.shot("game")
        b.key(" ", "Space", 32, " ")
        self.assertFalse(b.evaluate("!!document.querySelector('.standin')"))
        self.start_menu_again()
        b.wait_for("document.querySelectorAll('#desktop button.control:disabled').length === 0",
                   5, "Play and Uninstall enabled")
        self.click_button("uninstall")
        b.wait_for("!!document.querySelector('.box')", 10, "the uninstall question")
        question = b.evaluate("document.querySelector('.box').innerText")
        self.assertIn("You really want to delete\nZenthor Demo?", question)
        self.shot("question")
        saves = b.evaluate("Module.web.saves")
        b.click(".box .buttons button:first-child")  # Yes
        b.wait_for("!document.getElementById('start-menu').hidden", 10, "the menu to end")
        log = b.evaluate("document.getElementById('log').innerText")
        self.assertIn("UNINST.EXE: started -fC:\\ZENTHOR\\INSTALL.LOG", log)
        after = b.evaluate(LIST_C)
        removed = set(installed) - set(after)
        self.assertEqual(sorted(removed), sorted(self.table["removes"]),
                         "exactly the menu's files left drive C:")
        self.assertEqual({k: installed[k] for k in after}, after, "the rest is unchanged")
        # What the page's storage keeps comes back with the page.
        b.wait_for("Module.web.saves > %d" % saves, 10, "drive C: saved")
        b.reload()
        self.wait_menu()
        self.assertEqual(b.evaluate(LIST_C), after)

    def test_bad_files_dropped_on_the_page(self):
        b = self.browser
        self.open_menu()
        movie = open(os.path.join(ARGS.site, "cd", "Trailer", "trailer.mov"), "rb").read()
        record = pictures.RECORD_BYTES
        cases = {
            # Two whole records and half a third: record 0's picture A, again and again.
            "cut.mov": movie[:2 * record + record // 2],
            # Records whose packed streams and colour lists are noise.
            "damaged.mov": bytes((i * 7919 + i // 13) & 255 for i in range(4 * record)),
            # Less than a record: nothing to play, the player ends by itself.
            "short.mov": movie[:1000],
        }
        for name, data in cases.items():
            path = os.path.join(self.work, name)
            with open(path, "wb") as f:
                f.write(data)
            self.pick_file(path)
            if name == "short.mov":
                time.sleep(1.0)
            else:
                b.wait_for("!document.getElementById('player').hidden", 10, name + " shown")
                time.sleep(1.0)
                self.shot(name.replace(".", "_"))
                b.escape()
            b.wait_for("document.getElementById('player').hidden", 10, name + " ended")
            self.assertEqual(b.evaluate("document.querySelectorAll('.box').length"), 0, name)
        # A file that went or changed on the disk after the user chose it can no longer be read:
        # the desktop's box for a movie that does not open, and the menu goes on.
        b.evaluate("const held = document.createElement('input'); held.type = 'file';"
                   "held.id = 'held'; held.hidden = true; document.body.appendChild(held)")
        for name, spoil in (("gone.mov", os.remove),
                            ("changed.mov", lambda path: open(path, "ab").write(b"more"))):
            path = os.path.join(self.work, name)
            with open(path, "wb") as f:
                f.write(movie[:3 * record])
            # The browser tells a changed file by its time to the second.
            os.utime(path, (time.time() - 60, time.time() - 60))
            root = b.call("DOM.getDocument")["root"]["nodeId"]
            node = b.call("DOM.querySelector", {"nodeId": root, "selector": "#held"})["nodeId"]
            b.call("DOM.setFileInputFiles", {"nodeId": node, "files": [path]})
            # The browser looks at the file once (its size), as when it was dropped.
            self.assertEqual(b.evaluate("document.getElementById('held').files[0].size"),
                             3 * record)
            spoil(path)
            b.evaluate("Module.page.play(document.getElementById('held').files[0])")
            b.wait_for("!!document.querySelector('.box')", 10, name + ": a box")
            self.assertIn("Could not open any video",
                          b.evaluate("document.querySelector('.box').innerText"), name)
            b.click(".box .buttons button")
            b.wait_for("!document.querySelector('.box') && "
                       "document.getElementById('player').hidden", 10, name + " ended")
        # A gigabyte: read as it plays, a piece at a time, never whole.
        big = os.path.join(self.work, "big.mov")
        with open(big, "wb") as f:
            f.truncate(1 << 30)
        b.evaluate("window.__readBytes = 0")
        self.pick_file(big)
        b.wait_for("!document.getElementById('player').hidden", 10, "the gigabyte shown")
        time.sleep(3)
        self.assertLess(b.evaluate("window.__readBytes"), 16 << 20, "read in pieces")
        b.escape()
        b.wait_for("document.getElementById('player').hidden", 10, "the gigabyte ended")
        # The menu still answers.
        self.click_button("readme")
        b.wait_for("!!document.querySelector('textarea')", 10, "the readme after it all")

    def test_the_page_loads_nothing_from_other_origins(self):
        b = self.browser
        self.open_menu()
        policy = b.evaluate("fetch(location.href).then(r => r.headers.get("
                            "'content-security-policy'))", await_promise=True)
        self.assertIn("default-src 'self'", policy)
        self.assertTrue(b.evaluate("crossOriginIsolated"))
        # Another origin is refused before any request leaves the page.
        refused = b.evaluate("fetch('http://127.0.0.2:9/').then(() => 'fetched', e => 'refused')",
                             await_promise=True)
        self.assertEqual(refused, "refused")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("site")
    parser.add_argument("movtool")
    parser.add_argument("--screens")
    parser.add_argument("-k", dest="pattern")
    ARGS, rest = parser.parse_known_args()
    ARGS.site = os.path.abspath(ARGS.site)
    if ARGS.screens:
        os.makedirs(ARGS.screens, exist_ok=True)
    loader = unittest.TestLoader()
    if ARGS.pattern:
        loader.testNamePatterns = ["*%s*" % ARGS.pattern]
    suite = loader.loadTestsFromTestCase(PageTest)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors)
    print("web: %d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
