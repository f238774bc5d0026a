"""Headless Chromium steered through its DevTools protocol, and a local web
server for the pages; nothing beyond Python's standard library.

The browser talks over a pipe (--remote-debugging-pipe: commands on its
fd 3, answers on its fd 4, each message JSON ended by a NUL byte), so no
port is opened for it and no WebSocket client is needed.
"""

import fcntl
import functools
import http.server
import json
import os
import queue
import shutil
import subprocess
import tempfile
import threading
import time

FLAGS = ["--headless", "--no-sandbox", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe"]
# WebGL2 in software (SwiftShader), as a machine without a GPU has it.
SOFTWARE_GL = ["--use-angle=swiftshader", "--enable-unsafe-swiftshader"]
# A browser without WebGL at all.
NO_GL = ["--disable-gpu", "--disable-3d-apis"]


class Server:
    """Serves a folder on 127.0.0.1 at a free port, in a thread."""

    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map, **{".wasm": "application/wasm"})

    def log_message(self, *args):
        pass


class BrowserError(Exception):
    pass


class Browser:
    """One headless Chromium with a fresh profile, and one page in it."""

    def __init__(self, executable="/usr/bin/chromium", flags=SOFTWARE_GL):
        self.profile = tempfile.mkdtemp(prefix="chromium-profile-")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        # The pipe ends go to fds 3 and 4 in the child; copies above 9 first,
        # so neither lands on the other's target.
        keep_r = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD, 10)
        keep_w = fcntl.fcntl(from_browser_w, fcntl.F_DUPFD, 10)

        def to_fds():
            os.dup2(keep_r, 3)
            os.dup2(keep_w, 4)

        self.process = subprocess.Popen([executable, *FLAGS, *flags, "--user-data-dir=" + self.profile, "about:blank"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, close_fds=False, preexec_fn=to_fds)
        for fd in (to_browser_r, from_browser_w, keep_r, keep_w):
            os.close(fd)
        self._next_id = 0
        self._answers = {}
        self._events = queue.Queue()
        self._lock = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]

    def _read(self):
        # Large answers (a canvas read back) come in many chunks: they are
        # gathered in a list and joined once, at their NUL.
        parts = []
        while True:
            chunk = os.read(self._from_browser, 1 << 20)
            if not chunk:
                break
            while chunk:
                end = chunk.find(b"\0")
                if end < 0:
                    parts.append(chunk)
                    break
                parts.append(chunk[:end])
                chunk = chunk[end + 1:]
                message = json.loads(b"".join(parts))
                parts = []
                with self._lock:
                    if "id" in message:
                        self._answers[message["id"]] = message
                        self._lock.notify_all()
                    else:
                        self._events.put(message)
        with self._lock:
            self._answers[-1] = None
            self._lock.notify_all()

    def call(self, method, session=None, timeout=30, **params):
        with self._lock:
            self._next_id += 1
            ident = self._next_id
        message = {"id": ident, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        with self._lock:
            while ident not in self._answers:
                if -1 in self._answers:
                    raise BrowserError("the browser ended while answering " + method)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise BrowserError("no answer to %s within %d s" % (method, timeout))
                self._lock.wait(left)
            answer = self._answers.pop(ident)
        if "error" in answer:
            raise BrowserError("%s: %s" % (method, answer["error"].get("message")))
        return answer["result"]

    def page(self, method, **params):
        return self.call(method, session=self.session, **params)

    def open(self, url, width, height, ratio=1):
        """Loads url in a viewport of width x height CSS pixels, ratio device pixels each way."""
        self.page("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=ratio,
                  mobile=False)
        self.page("Page.navigate", url=url)
        self.wait_for("location.href === %s && document.readyState !== 'loading'" % json.dumps(url))

    def resize(self, width, height, ratio=1):
        self.page("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=ratio,
                  mobile=False)

    def evaluate(self, expression, timeout=30):
        """Value of a JavaScript expression; a promise is waited for."""
        result = self.call("Runtime.evaluate", session=self.session, timeout=timeout, expression=expression,
                           awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise BrowserError("%s: %s" % (expression[:60], details.get("exception", {}).get("description",
                                                                                         details.get("text"))))
        return result["result"].get("value")

    def wait_for(self, expression, timeout=20):
        """Polls until the expression is true; returns its value."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.02)
        raise BrowserError("still false after %d s: %s" % (timeout, expression))

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
        except BrowserError:
            pass
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self._to_browser)
        shutil.rmtree(self.profile, ignore_errors=True)
