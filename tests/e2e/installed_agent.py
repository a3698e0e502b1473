"""An update agent installed for the agent scenarios: a package built by
varnel-pack with the agent options, put in an install folder whose path
holds a blank, with its .original settings file, an update folder beside it
and the ways to look at it from outside (the X_ copy's window, file and
processes, the shared agent log, the settings files)."""
import datetime
import os
import shutil

from wine_harness import WineSession, build_setup, log_file_lines, wait_for, winpath  # noqa: F401

AGENT_FILE = "NotesAgent.exe"
X_CLASS = ".AutoUpdate.X_NotesAgent"
TOKEN = "TOKEN-TIDEWATER"
WM_USER = 0x400
WM_SHUTDOWN, WM_LOCALMSG, WM_AGENTMSG = WM_USER + 99, WM_USER + 100, WM_USER + 101


def seconds_now():
    """Local time now in the agent's time base (seconds since 30 Dec 1899)."""
    delta = datetime.datetime.now() - datetime.datetime(1899, 12, 30)
    return round(delta.total_seconds())


def read_ini(path):
    """{section: {key: value}} of an INI file (keys as written)."""
    sections, current = {}, None
    with open(path, encoding="latin-1") as f:
        for line in f.read().splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1], {})
            elif current is not None and "=" in line:
                key, _, value = line.partition("=")
                current[key] = value
    return sections


def write_ini(path, sections):
    with open(path, "w", newline="\r\n") as f:
        for name, keys in sections.items():
            f.write("[%s]\n" % name)
            for key, value in keys.items():
                f.write("%s=%s\n" % (key, value))


def setup_options(updates):
    """varnel-pack options of a package of this product: the update folder,
    the .info name, the agent file and the product's update token."""
    return ["--update-url", winpath(updates), "--info-file", "Notes.info", "--agent-file",
            AGENT_FILE, "--update-token", TOKEN]


class InstalledAgent:
    def __init__(self, wine, work):
        self.wine = wine
        self.folder = os.path.join(work, "Program Files", "Tidewater Notes")
        self.updates = os.path.join(work, "updates")
        os.makedirs(self.folder)
        os.makedirs(self.updates)
        built = os.path.join(work, AGENT_FILE)
        assert build_setup(built, [], options=["--update-agent", "--agent-download-log"]
                           + setup_options(self.updates)) == 0, open(built + ".log").read()
        self.exe = os.path.join(self.folder, AGENT_FILE)
        shutil.copy2(built, self.exe)
        self.x_exe = os.path.join(self.folder, "X_" + AGENT_FILE)
        self.log = os.path.join(self.folder, "X_NotesAgent.log")
        self.original = os.path.join(self.folder, "Notes.original")
        self.info = os.path.join(self.folder, "Notes.info")

    def write_original(self, setup, texts=None):
        """The .original: [OriginalSetup] keys as given, texts in [AutoUpdate]."""
        sections = {"OriginalSetup": dict(setup)}
        if texts:
            sections["AutoUpdate"] = dict(texts)
        write_ini(self.original, sections)

    def setting(self, key):
        return read_ini(self.original).get("OriginalSetup", {}).get(key)

    def last_check(self):
        """ProbeSecondsLast; 0 while the agent is rewriting the file."""
        try:
            value = self.setting("ProbeSecondsLast")
        except OSError:
            return 0
        return int(value) if value and value.isdigit() else 0

    def write_update_info(self, keys, sections=None):
        """The .info that the update folder offers ([NewSetup] keys)."""
        write_ini(os.path.join(self.updates, "Notes.info"), dict({"NewSetup": keys}, **(sections or {})))

    def run(self, args, timeout=60):
        """The plain agent with its switches, to its end; its exit code."""
        return self.wine.run(self.exe, list(args), timeout=timeout)

    def log_lines(self):
        return log_file_lines(self.log)

    def count(self, text):
        return sum(text in line for line in self.log_lines())

    def copies_made(self):
        """X_ files written by plain agents (the agent log's record of it)."""
        return sum(line.endswith("Create X_ File ") for line in self.log_lines())

    def copy_window(self, ms=30000):
        return self.wine.probe("wait", X_CLASS, ms)

    def x_command_lines(self):
        """The command lines of x_processes(), for messages."""
        lines = []
        for pid in self.x_processes():
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    lines.append(f.read().decode("latin-1").replace("\0", " "))
            except OSError:
                pass
        return lines

    def x_processes(self):
        """Host processes running the X_ copy."""
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    cmdline = f.read().decode("latin-1")
            except OSError:
                continue
            if ("X_" + AGENT_FILE).lower() in cmdline.lower():
                found.append(int(pid))
        return found

    def copy_ended(self, timeout=20):
        """The copy's window, its process and its file are gone."""
        return (self.wine.probe("gone", X_CLASS, timeout * 1000)
                and wait_for(lambda: not self.x_processes(), timeout, 0.2)
                and wait_for(lambda: not os.path.exists(self.x_exe), timeout, 0.2))

    def command(self, code, value=0):
        """An agent command sent to the copy's window; its result."""
        return self.wine.send(X_CLASS, WM_AGENTMSG, code, value)
