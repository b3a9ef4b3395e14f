"""The page in a real browser for the tests and the benchmark: the page's server on a free port of
this machine, Debian's Chromium without a screen in a private profile, and the DevTools protocol
to drive it. Everything lives in one private temporary folder, removed at the end; the server
and the browser are ended by their process ids."""
import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

import websocket

HERE = os.path.dirname(os.path.abspath(__file__))
SERVE = os.path.join(HERE, "..", "..", "apps", "web", "serve.py")


def wait_for_file(path, seconds, process=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            return True
        if process is not None and process.poll() is not None:
            return False
        time.sleep(0.05)
    return False


class Browser:
    """One browser with one page, connected over the DevTools protocol."""

    def __init__(self, site, width=1024, height=768):
        self.work = tempfile.mkdtemp(prefix="web_test.")
        self.processes = []
        self.events = []
        self.requests = []      # every URL the page asked for
        self.console = []       # console messages and exceptions
        self.workers = {}       # the page's workers: their URLs by session
        self.next_id = 0
        port_file = os.path.join(self.work, "port")
        server = subprocess.Popen([sys.executable, SERVE, site, "--port-file", port_file],
                                  stdout=subprocess.DEVNULL,
                                  stderr=open(os.path.join(self.work, "server.log"), "w"))
        self.processes.append(server)
        if not wait_for_file(port_file, 20, server):
            self.close()
            raise RuntimeError("the page's server did not start")
        self.origin = "http://127.0.0.1:%s" % open(port_file).read().strip()
        profile = os.path.join(self.work, "profile")
        # What the browser and the sound library it loads put in the temporary folder stays in
        # ours, which goes at the end.
        temporary = os.path.join(self.work, "tmp")
        os.mkdir(temporary)
        environment = dict(os.environ, TMPDIR=temporary, XDG_RUNTIME_DIR=temporary)
        chromium = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-default-apps", "--disable-extensions",
             "--autoplay-policy=no-user-gesture-required", "--mute-audio",
             "--remote-debugging-port=0", "--user-data-dir=" + profile,
             "--window-size=%d,%d" % (width, height), "about:blank"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.work, "chromium.log"), "w"),
            env=environment, start_new_session=True)
        self.processes.append(chromium)
        self.chromium = chromium
        active = os.path.join(profile, "DevToolsActivePort")
        if not wait_for_file(active, 60, chromium):
            self.close()
            raise RuntimeError("Chromium did not start: " + self.log("chromium.log"))
        port = open(active).read().split()[0]
        pages = []
        deadline = time.monotonic() + 30
        while not pages and time.monotonic() < deadline:
            with urllib.request.urlopen("http://127.0.0.1:%s/json/list" % port) as response:
                pages = [t for t in json.load(response) if t["type"] == "page"]
            time.sleep(0.05)
        self.socket = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=60,
                                                  suppress_origin=True)
        self.call("Page.enable")
        self.call("Network.enable")
        self.call("Runtime.enable")
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})

    def log(self, name):
        try:
            return open(os.path.join(self.work, name)).read()[-4000:]
        except OSError:
            return ""

    # ---- the protocol --------------------------------------------------------------------------

    def _note(self, message):
        method = message.get("method", "")
        params = message.get("params", {})
        if method == "Network.requestWillBeSent":
            self.requests.append(params["request"]["url"])
        elif method == "Runtime.consoleAPICalled":
            self.console.append(" ".join(str(a.get("value", a.get("description", "")))
                                         for a in params.get("args", [])))
        elif method == "Target.attachedToTarget":
            self.workers[params["sessionId"]] = params["targetInfo"].get("url", "")
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            self.console.append("exception: " + str(details.get("exception", {})
                                                     .get("description", details.get("text"))))
        self.events.append(message)

    def call(self, method, params=None, timeout=60, session=None):
        self.next_id += 1
        mine = self.next_id
        message = {"id": mine, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self.socket.send(json.dumps(message))
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.socket.settimeout(max(0.1, deadline - time.monotonic()))
            message = json.loads(self.socket.recv())
            if message.get("id") == mine:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self._note(message)
        raise TimeoutError(method)

    def pump(self, seconds=0.0):
        """Takes the events that came, waiting up to `seconds` for more."""
        deadline = time.monotonic() + seconds
        while True:
            self.socket.settimeout(max(0.01, deadline - time.monotonic()))
            try:
                self._note(json.loads(self.socket.recv()))
            except websocket.WebSocketTimeoutException:
                if time.monotonic() >= deadline:
                    return

    def evaluate(self, expression, await_promise=False, session=None):
        """The value of expression in the page, or in the worker of `session`."""
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": await_promise}, session=session)
        if "exceptionDetails" in result:
            raise RuntimeError("%s: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def wait_for(self, expression, seconds, what=None):
        """Polls expression until it is true; its value, or an AssertionError after seconds."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            self.pump(0.05)
        log = self.evaluate("(document.getElementById('log') || {}).innerText")
        raise AssertionError("timed out after %ss waiting for %s\nconsole:\n%s\npage log:\n%s" % (
            seconds, what or expression, "\n".join(self.console[-30:]), log))

    def open(self, path, before=None):
        """Loads a page of the site; `before` is a script run in it before any of its own."""
        if before:
            self.call("Page.addScriptToEvaluateOnNewDocument", {"source": before})
        self.call("Page.navigate", {"url": self.origin + path})

    def reload(self):
        self.call("Page.reload")

    def worker(self, script, seconds=10):
        """The session of the page's worker that runs `script` (the end of its URL)."""
        self.call("Target.setAutoAttach", {"autoAttach": True, "waitForDebuggerOnStart": False,
                                           "flatten": True})
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for session, url in self.workers.items():
                if url.endswith("/" + script):
                    return session
            self.pump(0.05)
        raise AssertionError("no worker runs " + script)

    # ---- input and output ----------------------------------------------------------------------

    def centre_of(self, selector):
        box = self.evaluate("(() => { const e = document.querySelector(%s); if (!e) return null;"
                            " const r = e.getBoundingClientRect();"
                            " return [r.left + r.width / 2, r.top + r.height / 2]; })()"
                            % json.dumps(selector))
        if not box:
            raise AssertionError("no element " + selector)
        return box

    def click(self, selector):
        x, y = self.centre_of(selector)
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y,
                                                   "button": "left", "clickCount": 1})

    def key(self, key, code, key_code, text=None):
        down = {"type": "keyDown", "key": key, "code": code, "windowsVirtualKeyCode": key_code}
        if text:
            down["text"] = text
        self.call("Input.dispatchKeyEvent", down)
        self.call("Input.dispatchKeyEvent", {"type": "keyUp", "key": key, "code": code,
                                             "windowsVirtualKeyCode": key_code})

    def escape(self):
        self.key("Escape", "Escape", 27)

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", {"format": "png"})["data"]
        png = base64.b64decode(data)
        with open(path, "wb") as f:
            f.write(png)
        return png

    def close(self):
        try:
            if getattr(self, "socket", None):
                self.socket.close()
        except OSError:
            pass
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    # Chromium's helpers are in its own session: all of them go.
                    if process is getattr(self, "chromium", None):
                        os.killpg(process.pid, signal.SIGTERM)
                    else:
                        process.terminate()
                    process.wait(20)
                except (OSError, subprocess.TimeoutExpired):
                    process.kill()
                    process.wait(10)
        shutil.rmtree(self.work, ignore_errors=True)
