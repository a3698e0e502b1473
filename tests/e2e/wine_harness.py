"""Runs Windows programs of the build under Wine for the end-to-end tests
and the demo: one Xvfb display (unless one is given) and one persistent
wineserver per session, output of every program into a file (Wine's
background services would hold a pipe open for ever), a bound on every wait.
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time

ROOT = os.environ.get("VARNEL_ROOT") or os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))))
LOADER64 = "/usr/lib/wine/wine64"


def _route():
    """"win32" where Wine's 32-bit loader runs, else "win64" (forced by
    VARNEL_WIN64=1); a route already chosen by the calling script holds."""
    route = os.environ.get("VARNEL_ROUTE")
    if route in ("win32", "win64"):
        return route
    if os.environ.get("VARNEL_WIN64") == "1":
        return "win64"
    try:
        ok = subprocess.run(["/usr/lib/wine/wine", "--version"], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            timeout=60).returncode == 0
    except OSError:
        ok = False
    return "win32" if ok else "win64"


ROUTE = _route()
WIN64 = ROUTE == "win64"
# The Windows programs of the route (dist/ or dist/win64/, same names); the
# build tool is the native one in dist/ on both.
DIST = os.path.join(ROOT, "dist", "win64") if WIN64 else os.path.join(ROOT, "dist")
STUB = os.path.join(DIST, "Stub.exe")
ENGINE = os.path.join(DIST, "Engine.exe")
PROBE = os.path.join(DIST, "WindowProbe.exe")
PACK = os.path.join(ROOT, "dist", "varnel-pack")
# The Windows build tree of the route (test programs).
BUILD = os.environ.get("VARNEL_BUILD") or os.path.join(ROOT, "build", ROUTE)


def winpath(path):
    """The Windows name of a host path (drive Z: is the host's root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineSession:
    def __init__(self):
        self.env = dict(os.environ)
        if WIN64:
            # Debian's `wine` would take the 32-bit loader: call the 64-bit one.
            self.loader = LOADER64
            self.env["WINELOADER"] = LOADER64
            self.env["WINEPREFIX"] = os.environ.get(
                "VARNEL_WINEPREFIX64", os.path.join(ROOT, "build", "wineprefix64"))
        else:
            self.loader = "wine"
            self.env.pop("WINELOADER", None)
            self.env["WINEPREFIX"] = os.environ.get(
                "VARNEL_WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
        self.env["WINEARCH"] = ROUTE
        self.env["WINEDEBUG"] = "-all"
        self.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
        self.xvfb = None
        self.own_server = False
        self.children = []

    def __enter__(self):
        if not self.env.get("DISPLAY"):
            self._start_xvfb()
        prefix = self.env["WINEPREFIX"]
        os.makedirs(prefix, exist_ok=True)
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            self._quiet([self.loader, "wineboot", "-i"], 300)
            self._quiet(["wineserver", "-w"], 300)
        # A persistent server makes each program start in milliseconds.
        self.own_server = self.xvfb is not None
        self._quiet(["wineserver", "-p"], 60)
        # Xvfb has no window manager: Wine draws the captions itself, so that
        # windows show their title and close button (screenshots, clicks).
        self.run("reg", ["add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Decorated", "/d", "N",
                         "/f"], timeout=60)
        return self

    def __exit__(self, *exc):
        for p in self.children:
            if p.poll() is None:
                p.kill()
                p.wait(10)
        if self.own_server:
            self._quiet(["wineserver", "-k"], 60)
        if self.xvfb:
            self.xvfb.send_signal(signal.SIGTERM)
            self.xvfb.wait(10)

    def _start_xvfb(self):
        for n in range(150, 200):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                continue
            self.xvfb = subprocess.Popen(
                ["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.env["DISPLAY"] = ":%d" % n
            deadline = time.time() + 10
            while time.time() < deadline and not os.path.exists("/tmp/.X11-unix/X%d" % n):
                time.sleep(0.05)
            return
        raise RuntimeError("no free X display")

    def _quiet(self, argv, timeout):
        with open(os.devnull, "w") as null:
            return subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=null,
                                  stderr=null, timeout=timeout).returncode

    def start(self, exe, args=(), log=None):
        """Starts a Windows program; its output goes to `log` (or nowhere)."""
        out = open(log, "w") if log else open(os.devnull, "w")
        p = subprocess.Popen([self.loader, exe] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                             stdout=out, stderr=subprocess.STDOUT)
        out.close()
        self.children.append(p)
        return p

    def run(self, exe, args=(), timeout=120, log=None):
        """Runs a Windows program to its end; returns its exit code."""
        p = self.start(exe, args, log)
        return p.wait(timeout)

    def probe(self, *args, timeout=60):
        """WindowProbe.exe with the given arguments; True on success."""
        return self.run(PROBE, [str(a) for a in args], timeout=timeout) == 0

    def send(self, cls, msg, wparam=0, lparam=0, timeout=60):
        """SendMessage to the window of `cls` through WindowProbe (numbers as
        unsigned 32-bit); its result as an int, None when there is no window
        or it did not answer."""
        fd, out = tempfile.mkstemp(prefix="probe-send-", suffix=".txt")
        os.close(fd)
        try:
            rc = self.run(PROBE, ["send", cls, str(msg), str(wparam), str(lparam)], timeout=timeout,
                          log=out)
            with open(out, encoding="latin-1") as f:
                text = f.read().strip()
        finally:
            os.remove(out)
        return int(text.splitlines()[-1]) if rc == 0 and text else None

    def listen(self, cls, record, ms=170000):
        """Starts WindowProbe's listener window of `cls` writing to `record`;
        returns (process, window handle as a decimal int)."""
        for path in (record, record + ".stop"):
            if os.path.exists(path):
                os.remove(path)
        p = self.start(PROBE, ["listen", cls, str(ms), winpath(record)])
        assert wait_for(lambda: listened_handle(record) is not None, 30), "no listener window"
        return p, listened_handle(record)

    def click(self, x, y):
        """A left click at screen coordinates (xdotool)."""
        with open(os.devnull, "w") as null:
            return subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"],
                                  env=self.env, stdin=subprocess.DEVNULL, stdout=null, stderr=null,
                                  timeout=30).returncode == 0

    def window_info(self, cls, info_file):
        """WindowProbe's description of a window: (window row, child rows),
        each row [class, text, visible, x, y, width, height]."""
        if not self.probe("info", cls, winpath(info_file)):
            return None, []
        with open(info_file, encoding="latin-1") as f:
            rows = [line.split("|") for line in f.read().splitlines()]
        return rows[0], rows[1:]

    def screenshot(self, path):
        """The whole X screen as an image file."""
        with open(os.devnull, "w") as null:
            return subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root",
                                   path], stdin=subprocess.DEVNULL, stdout=null, stderr=null,
                                  timeout=60).returncode == 0


def wait_for(condition, timeout, interval=0.05):
    """Polls `condition` until it is true or `timeout` seconds have passed."""
    deadline = time.time() + timeout
    while True:
        if condition():
            return True
        if time.time() >= deadline:
            return False
        time.sleep(interval)


def listened_handle(record):
    """The listener's window handle from the first line of its record."""
    if not os.path.exists(record):
        return None
    with open(record, encoding="latin-1") as f:
        first = f.readline().strip()
    return int(first[5:]) if first.startswith("HWND=") else None


def listened(record):
    """The messages the listener got so far: [(message, wParam, lParam)]."""
    with open(record, encoding="latin-1") as f:
        lines = f.read().splitlines()[1:]
    return [tuple(int(v) for v in line.split()) for line in lines if len(line.split()) == 3]


def stop_listening(process, record):
    """Ends a listener started by WineSession.listen."""
    open(record + ".stop", "w").close()
    process.wait(30)


def log_file_lines(path):
    """The lines of a log the programs write (8-bit text); none while it is missing."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return f.read().splitlines()


def read_record(path):
    """The test engine's record file (UTF-8) as (dict of single values, list
    of files)."""
    values, files = {}, []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f.read().splitlines():
            key, _, value = line.partition("=")
            if key == "File":
                name, _, size = value.rpartition("|")
                files.append((name, int(size)))
            else:
                values[key] = value
    return values, files


def scratch_dir(name):
    """A fresh folder under the build tree for one scenario."""
    base = os.path.join(ROOT, "build", "e2e", name)
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(base)
    return base


def build_setup(output, files, engine_args="", options=(), engine=None):
    """Builds a setup file with dist/varnel-pack: the stub, the test engine
    (with `engine_args` after its "*"), the given member files and options.
    Returns varnel-pack's exit code; its messages go to output + ".log"."""
    argv = [PACK, "build", "--output", output, "--stub", STUB, "--engine", engine or ENGINE]
    if engine_args:
        argv += ["--engine-args", engine_args]
    argv += list(options)
    for f in files:
        argv += ["--file", f]
    with open(output + ".log", "w") as log:
        return subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                              timeout=300).returncode


def wine_temp_folder(session):
    """Host path of the Windows user's temporary folder in the prefix."""
    users = os.path.join(session.env["WINEPREFIX"], "drive_c", "users")
    for user in sorted(os.listdir(users)):
        if user in ("Public", "public"):
            continue
        for name in ("Temp", "AppData/Local/Temp"):
            path = os.path.join(users, user, name)
            if os.path.isdir(path):
                return path
    raise RuntimeError("no temporary folder in the Wine prefix")
