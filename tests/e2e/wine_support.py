"""Running Windows programs under Wine from end-to-end scenarios.

Programs write to files, never to a pipe we wait on: Wine's background
services inherit pipes and keep them open. Every wait has a bound.
"""
import atexit
import os
import subprocess
import tempfile
import time

ROOT = os.environ.get("VARNEL_ROOT") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("VARNEL_BUILD") or os.path.join(ROOT, "build", "win32")
DIST = os.path.join(ROOT, "dist")


def _environment():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.environ.get("VARNEL_WINEPREFIX", os.path.join(ROOT, "build", "wineprefix")))
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
    env["WINEARCH"] = "win32"
    return env


ENV = _environment()
_xvfb = None


def _ensure_display():
    global _xvfb
    if ENV.get("DISPLAY"):
        return
    for n in range(150, 200):
        if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
            continue
        _xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), 10, "Xvfb")
        ENV["DISPLAY"] = ":%d" % n
        atexit.register(_xvfb.terminate)
        return


def _ensure_prefix():
    if not os.path.exists(os.path.join(ENV["WINEPREFIX"], "system.reg")):
        os.makedirs(ENV["WINEPREFIX"], exist_ok=True)
        subprocess.run(["wineboot", "-i"], env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)
        wineserver_wait(300)


def setup():
    """Display and prefix; call once at the start of a scenario."""
    _ensure_display()
    _ensure_prefix()


def winpath(path):
    """The Windows form of a host path (Wine maps Z: to /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_until(condition, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.05)
    raise AssertionError("timed out after %ss waiting for %s" % (timeout, what))


def wineserver_wait(timeout=60):
    """Waits for the wineserver to end. Only for a prefix without a persistent
    server (scripts/wine-session.sh keeps one alive, and then this would wait
    for ever): a program's own file writes are complete when it has ended."""
    subprocess.run(["wineserver", "-w"], env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout)


def run(args, timeout=60, log=None, env=None):
    """Runs a Windows program to its end; returns its exit code."""
    log = log or tempfile.mktemp(prefix="wine-run-", suffix=".log")
    with open(log, "w") as out:
        proc = subprocess.run(["wine"] + list(args), env=env or ENV, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.STDOUT, timeout=timeout)
    return proc.returncode


def start(args, log, env=None):
    """Starts a Windows program and returns its Popen."""
    out = open(log, "w")
    return subprocess.Popen(["wine"] + list(args), env=env or ENV, stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.STDOUT)


class DebugViewer:
    """dist/debug-viewer.exe running for the duration of a with-block.

    text(): everything received; pieces(): the pieces as they arrived."""

    def __init__(self, folder):
        self.folder = folder
        self.out = os.path.join(folder, "viewer-out.txt")
        self.pieces_file = os.path.join(folder, "viewer-pieces.txt")
        self.ready = os.path.join(folder, "viewer-ready")
        self.proc = None

    def __enter__(self):
        for path in (self.out, self.pieces_file, self.ready):
            if os.path.exists(path):
                os.remove(path)
        self.proc = start([os.path.join(DIST, "debug-viewer.exe"), "--out", winpath(self.out), "--pieces",
                           winpath(self.pieces_file), "--ready", winpath(self.ready)],
                          os.path.join(self.folder, "viewer.log"))
        wait_until(lambda: os.path.exists(self.ready), 30, "the debug viewer's window")
        return self

    def __exit__(self, *exc):
        run([os.path.join(DIST, "debug-viewer.exe"), "--close"], timeout=30)
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        return False

    def text(self):
        if not os.path.exists(self.out):
            return ""
        with open(self.out, "rb") as f:
            return f.read().decode("latin-1")

    def pieces(self):
        if not os.path.exists(self.pieces_file):
            return []
        with open(self.pieces_file, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        result = []
        for line in lines:
            if not line:
                continue
            length, _, escaped = line.partition(":")
            text, i = "", 0
            while i < len(escaped):
                if escaped[i] == "\\" and i + 1 < len(escaped):
                    text += {"r": "\r", "n": "\n"}.get(escaped[i + 1], escaped[i + 1])
                    i += 2
                else:
                    text += escaped[i]
                    i += 1
            assert len(text) == int(length), line
            result.append(text)
        return result
