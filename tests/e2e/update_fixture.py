"""An installed product with its update agent, and an update folder, for the
update-cycle scenarios and the demo.

The installation lies in a folder whose path holds a blank (".../Program
Files/Tidewater"): the product (dist's TestProduct.exe with a TestProduct.args
file beside it that names its window class, title and record file), the agent
(a package built by varnel-pack with the update block) and the agent's
.original file. The update folder holds the .info file and newer setups built
by varnel-pack with the same update token; it is a local folder or served by
a loopback HTTP server. The agent's window is driven from outside through
WindowProbe (posted agent messages) and watched through its log file and the
message boxes it shows."""
import codecs
import os
import shutil
import time

from setup_run import DIALOGS, press
from wine_harness import DIST, build_setup, log_file_lines, wait_for, wine_temp_folder, winpath

PRODUCT_EXE = os.path.join(DIST, "TestProduct.exe")
AGENT = "TidewaterAgent.exe"
INFO = "Tidewater.info"
ORIGINAL = "Tidewater.original"
AGENT_CLASS = ".AutoUpdate.X_TidewaterAgent"
PRODUCT_CLASS = "TidewaterNotesMain"
TOKEN = "TIDEWATER-7731"

WM_USER = 0x400
WM_SHUTDOWN = WM_USER + 99
WM_AGENT = WM_USER + 101
# Agent commands (wParam of WM_AGENT).
ASK_BEFORE_CHECK = 20
PERFORM_UPDATE_CYCLE = 31

# The agent's texts in the .original file.
TEXTS = {
    "s11": "A new version of PROG_NAME is ready.<P>",
    "s13": "Download it now? You will be asked again before it is installed.",
    "s14": "Install the new version of PROG_NAME now?",
    "s15": "Please close PROG_NAME to go on with the update.",
    "s16": "PROG_NAME is up to date.",
    "s17": "<P>Start it again now?",
    "s21": "There is no new version.",
    "s22": "Look for a new version of PROG_NAME now?",
    "s34": "Tidewater Notes - News",
    "s35": "&Read more",
}


def ini_text(sections):
    """INI text of {section: {key: value}} (keys in the order given)."""
    lines = []
    for section, keys in sections.items():
        lines.append("[%s]" % section)
        lines += ["%s=%s" % (k, v) for k, v in keys.items()]
    return "\r\n".join(lines) + "\r\n"


def read_ini(path):
    """{section: {key: value}} of an INI file written by Windows: UTF-16
    with its mark (as the agent writes one that names paths beyond ASCII),
    UTF-8, or an ANSI code page."""
    sections, current = {}, None
    if not os.path.exists(path):
        return sections
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith((codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE)):
        text = data.decode("utf-16")
    else:
        try:
            text = data.decode("utf-8-sig")
        except UnicodeDecodeError:
            text = data.decode("latin-1")
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif "=" in line and current is not None:
            key, _, value = line.partition("=")
            current[key] = value
    return sections


def build_agent(path, update_url, extra_files=()):
    """An agent package: the update block with the .info name, the agent's
    file name, the update folder and the token; its log switched on."""
    options = ["--update-agent", "--agent-download-log", "--agent-file", AGENT, "--update-url", update_url,
               "--info-file", INFO, "--update-token", TOKEN]
    assert build_setup(path, list(extra_files), options=options) == 0, open(path + ".log").read()
    return path


def build_update(path, engine_args, files=(), update_url="http:", token=TOKEN):
    """A newer setup of the product: the test engine with engine_args and the
    given member files ("host path=member name"), carrying the token. Its
    update block and log switch are those of the agent that the setup run
    writes from it (extraction writes the setup's stub with its header
    blocks as the new agent file): update_url is the new agent's update
    folder."""
    options = ["--update-url", update_url, "--info-file", INFO, "--agent-file", AGENT, "--update-token", token,
               "--agent-download-log"]
    assert build_setup(path, list(files), engine_args=engine_args, options=options) == 0, \
        open(path + ".log").read()
    return path


class Installation:
    """The installed product and agent under `work`/Program Files/Tidewater."""

    def __init__(self, session, work, agent_package):
        self.session, self.work, self.agent_package = session, work, agent_package
        self.folder = os.path.join(work, "Program Files", "Tidewater")
        self.win = winpath(self.folder)
        self.agent = os.path.join(self.folder, AGENT)
        self.x_copy = os.path.join(self.folder, "X_" + AGENT)
        self.log = os.path.join(self.folder, "X_TidewaterAgent.log")
        self.product = os.path.join(self.folder, "TestProduct.exe")
        self.original_path = os.path.join(self.folder, ORIGINAL)

    def lay_out(self, original, product_title="Tidewater Notes 1.0", product_record=None):
        """A fresh installation: product, its options, agent, .original."""
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        shutil.copy2(PRODUCT_EXE, self.product)
        shutil.copy2(self.agent_package, self.agent)
        self.product_options(product_title, product_record)
        self.write_original(original)

    def product_options(self, title, record=None):
        text = '--class=%s --title="%s"' % (PRODUCT_CLASS, title)
        if record:
            text += ' --record="%s"' % winpath(record)
        with open(os.path.join(self.folder, "TestProduct.args"), "w") as f:
            f.write(text + "\r\n")

    def write_original(self, original):
        """original: {section: {key: value}}; [Directories] TargetDir and the
        texts are added unless given."""
        sections = {"OriginalSetup": {"ProgramName": "Tidewater Notes"}, "Directories": {"TargetDir": self.win},
                    "AutoUpdate": dict(TEXTS)}
        for section, keys in original.items():
            sections.setdefault(section, {}).update(keys)
        with open(self.original_path, "w", encoding="latin-1", newline="") as f:
            f.write(ini_text(sections))

    def original(self, key, section="OriginalSetup"):
        return read_ini(self.original_path).get(section, {}).get(key)

    def start_product(self):
        run = self.session.start(self.product)
        assert self.session.probe("wait", PRODUCT_CLASS, 30000, "visible"), "the product did not start"
        return run

    def product_title(self):
        window, _ = self.session.window_info(PRODUCT_CLASS, os.path.join(self.work, "product-window.txt"))
        return window[1] if window else None

    def start_agent(self, args=(), env=None):
        """Starts the installed (plain) agent and waits for its X_ copy's
        window."""
        saved = dict(self.session.env)
        self.session.env.update(env or {})
        try:
            self.session.start(self.agent, list(args), log=os.path.join(self.work, "agent-start.log"))
        finally:
            self.session.env.clear()
            self.session.env.update(saved)
        assert self.session.probe("wait", AGENT_CLASS, 30000), "no X_ copy of the agent came up"

    def command(self, code, value):
        """Posts an agent command to the X_ copy's window."""
        assert self.session.probe("post", AGENT_CLASS, WM_AGENT, code, value), "no agent window"

    def shut_down(self, countdown):
        assert self.session.probe("post", AGENT_CLASS, WM_SHUTDOWN, countdown, 0), "no agent window"

    def stop_agent(self):
        """Ends the X_ copy and waits until it has deleted its file."""
        if self.session.probe("wait", AGENT_CLASS, 0):
            self.shut_down(0)
            assert self.session.probe("gone", AGENT_CLASS, 20000), "the agent did not end"
        assert wait_for(lambda: not os.path.exists(self.x_copy), 30), "the X_ copy left its file"
        wait_self_deletion(self.session)

    def log_lines(self):
        return log_file_lines(self.log)

    def log_count(self, text):
        return sum(text in line for line in self.log_lines())

    def last_log_line(self, text):
        """The last line of the agent log that holds `text`."""
        return [line for line in self.log_lines() if text in line][-1]

    def wait_log(self, text, count=1, timeout=60):
        """Waits until `text` stands in `count` lines of the agent log."""
        assert wait_for(lambda: self.log_count(text) >= count, timeout, 0.2), \
            "%r not %d times in the agent log:\n%s" % (text, count, "\n".join(self.log_lines()[-40:]))


def wait_self_deletion(session):
    """Waits until the X_ copies' self-deletion scripts have removed
    themselves (the session's end would stop them half-way)."""
    temp = wine_temp_folder(session)

    def scripts():
        return [n for n in os.listdir(temp) if n.upper().startswith("_DEL_ME_")]
    assert wait_for(lambda: not scripts(), 30, 0.2), "self-deletion scripts stayed: %s" % scripts()


def product_record(path):
    """The product's record as a list of lines."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return f.read().splitlines()


def starts(record):
    return sum(line.startswith("Started ") for line in record)


class Boxes:
    """Message boxes of the agent, read and answered from outside."""

    def __init__(self, session, work):
        self.session, self.work, self.count = session, work, 0

    def read(self, timeout_ms=30000, other_than=None):
        """Waits for a message box (another window than `other_than`, a
        handle) and returns its description: title, text, handle ..."""
        deadline = time.time() + timeout_ms / 1000.0
        while True:
            left = max(0, int((deadline - time.time()) * 1000))
            assert self.session.probe("wait", "VMsgBox", left, "visible"), "no message box"
            time.sleep(0.3)  # the text is set right after the window shows
            self.count += 1
            out = os.path.join(self.work, "box-%d.txt" % self.count)
            if self.session.run(DIALOGS, ["read", winpath(out)], timeout=60) == 0:
                with open(out, encoding="latin-1") as f:
                    d = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
                d["text"] = d.get("text", "").replace("\\r\\n", "\n").replace("\\n", "\n").replace("\\t", "\t")
                if d.get("handle") != other_than:
                    return d
            assert time.time() < deadline, "no new message box"
            time.sleep(0.2)

    def answer(self, key, expected=(), timeout_ms=30000):
        """Reads the box, checks that each expected text is in it, presses
        key and waits until that box has gone. Returns its description."""
        d = self.read(timeout_ms)
        for text in expected:
            assert text in d["text"], "%r not in the box: %r" % (text, d["text"])
        self.press(d, key)
        return d

    def press(self, box, key):
        press(self.session, key)
        gone = wait_for(lambda: self._handle() != box["handle"], 10, 0.2)
        assert gone, "the box %r stayed" % box["text"]

    def _handle(self):
        out = os.path.join(self.work, "box-handle.txt")
        if self.session.run(DIALOGS, ["read", winpath(out)], timeout=60) != 0:
            return None
        with open(out, encoding="latin-1") as f:
            d = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        return d.get("handle")

    def none_within(self, ms):
        """True when no message box shows up within ms milliseconds."""
        return not self.session.probe("wait", "VMsgBox", ms, "visible")
