"""Signed updates end to end under Wine, on files built and published by
varnel-pack (keygen, build --update-key, publish):

- round trip and key rotation: version 1 built with key 1 is installed; 2 is
  published with key 1 and installed by the agent; 3 carries key 2 and is
  published with key 1 and --rotate; the agent from 3 (started anew) refuses
  a .INFO signed by key 1 and installs 4, published with key 2;
- one table of refusals, on one running agent that carries a key: one byte
  of the .INFO changed, the .INFO signed by another key, the signature
  missing, an expired .INFO, a signed downgrade, the UPDATE file swapped
  after publishing by another setup with the same token, the INFORM file
  swapped. Each: nothing runs, the installed .INFO and .original stay as
  they were, and the agent log says why;
- every way a .INFO arrives (folder, share, HTTP, test mode): the published
  file is taken, one byte changed is refused;
- the web installer: built with its full setup, it refuses another setup
  with the right token (a box; hidden, exit code 9) and runs the built one;
  built with a key, it runs a setup that publish signed (beside it or
  downloaded with its .sig) and refuses one without a valid signature; a
  downloaded setup swapped on disk after its check is not what runs (the
  extraction reads the checked file through the held handle).

A package without a key updates as before: test_update_cycle.py."""
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import LoopbackServer  # noqa: E402
from test_agent_fetch import INFO as INFO_KIND  # noqa: E402
from test_agent_fetch import SHARE, Server, serve_share  # noqa: E402
from test_agent_fetch import Agent as FetchAgent  # noqa: E402
from setup_run import clear_setup_folders, engine_record, press, read_box, record_arg, setup_folders  # noqa: E402
from update_fixture import (AGENT, INFO, PERFORM_UPDATE_CYCLE, PRODUCT_EXE, TOKEN, Installation,  # noqa: E402
                            read_ini)
from wine_harness import (ENGINE, PACK, STUB, WineSession, build_setup, scratch_dir,  # noqa: E402
                          wait_for, wine_temp_folder, winpath)

BACKGROUND_CHECK = 1  # command 31 with value 1: a check at the next tick, asked nothing
# .INFO settings of a check that asks nothing and shuts nothing down.
QUIET = ["RequestConfirmationBeforeDownload=0", "RequestConfirmationBeforeInstall=0", "InformFinish=0",
         "BackgroundUpdate=1", "RestartProcess=0", "ShutDownMethod=Don't Shut Down", "ProgramName=Tidewater Notes"]
UNSIGNED_EXIT = 9  # web installer: not the built setup, or not signed by its key


def pack(args, expect_ok=True):
    done = subprocess.run([PACK] + list(args), stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=300)
    if expect_ok:
        assert done.returncode == 0, (args, done.stdout, done.stderr)
    return done


def keygen(folder, name):
    """(private key file, public key file) made by varnel-pack keygen."""
    pack(["keygen", "--out", os.path.join(folder, name)])
    return os.path.join(folder, name + ".key"), os.path.join(folder, name + ".pub")


def build_agent(path, update_url, pub):
    options = ["--update-agent", "--agent-download-log", "--agent-file", AGENT, "--update-url", update_url,
               "--info-file", INFO, "--update-token", TOKEN, "--update-key", pub]
    assert build_setup(path, [], options=options) == 0, open(path + ".log").read()
    return path


def build_update(path, engine_record_path, install_folder, pub, update_url, title):
    """A newer setup: the test engine installs the product (with `title`)
    and the agent written from this setup, whose update block carries
    `pub` (None: no key)."""
    options_file = path + ".args"
    with open(options_file, "w") as f:
        f.write('--class=TidewaterNotesMain --title="%s"\r\n' % title)
    options = ["--update-url", update_url, "--info-file", INFO, "--agent-file", AGENT, "--update-token", TOKEN,
               "--agent-download-log"] + (["--update-key", pub] if pub else [])
    engine_args = '--record="%s" --install="%s"' % (winpath(engine_record_path), install_folder)
    assert build_setup(path, [PRODUCT_EXE + "=TestProduct.exe", options_file + "=TestProduct.args"],
                       engine_args=engine_args, options=options) == 0, open(path + ".log").read()
    return path


def publish(key, setup, out, version, previous, extra=()):
    args = ["publish", "--key", key, "--info", INFO, "--version", str(version), "--out", out,
            "--update-url", winpath(out), "--previous", previous]
    if setup:
        args += ["--setup", setup]
    for item in QUIET:
        args += ["--set", item]
    pack(args + list(extra))
    return os.path.join(out, INFO)


def fingerprint(pub):
    """The fingerprint varnel-pack prints: SHA-256 of X||Y, first 16 bytes."""
    return hashlib.sha256(bytes.fromhex(open(pub).read().split()[1])).hexdigest()[:32]


# ---- signing by hand (openssl), for what publish rightly refuses to write

SIGNATURE_PREFIX = b";VarnelSignature="


def _der_length(n):
    return bytes([n]) if n < 128 else bytes([0x81, n])


def pem_of_key_file(key_file, folder):
    """The private key of a NAME.key file as a SEC1 DER file for openssl."""
    _, d_hex, xy_hex = open(key_file).read().split()
    curve = bytes.fromhex("06082a8648ce3d030107")
    body = (bytes.fromhex("020101") + b"\x04\x20" + bytes.fromhex(d_hex) + b"\xa0" + _der_length(len(curve)) +
            curve + b"\xa1\x44\x03\x42\x00\x04" + bytes.fromhex(xy_hex))
    der = b"\x30" + _der_length(len(body)) + body
    path = os.path.join(folder, os.path.basename(key_file) + ".der")
    with open(path, "wb") as f:
        f.write(der)
    return path


def openssl_sign(key_file, data, folder):
    """r||s of an ECDSA P-256 signature over SHA-256 of data."""
    der_key = pem_of_key_file(key_file, folder)
    with tempfile.NamedTemporaryFile(dir=folder, delete=False) as f:
        f.write(data)
    sig = subprocess.run(["openssl", "dgst", "-sha256", "-keyform", "DER", "-sign", der_key, f.name],
                         capture_output=True, timeout=60, check=True).stdout
    os.remove(f.name)
    # SEQUENCE { INTEGER r, INTEGER s }
    assert sig[0] == 0x30
    at = 2 if sig[1] < 128 else 3
    halves = []
    for _ in range(2):
        assert sig[at] == 0x02
        n = sig[at + 1]
        halves.append(int.from_bytes(sig[at + 2:at + 2 + n], "big").to_bytes(32, "big"))
        at += 2 + n
    return halves[0] + halves[1]


def unsigned_text(info):
    data = open(info, "rb").read()
    return data[:data.rindex(SIGNATURE_PREFIX)]


def resign(info, key_file, folder, change=None):
    """Rewrites a published .INFO, with change(text) applied, signed anew
    by key_file."""
    text = unsigned_text(info)
    if change:
        text = change(text)
    sig = openssl_sign(key_file, text, folder)
    with open(info, "wb") as f:
        f.write(text + SIGNATURE_PREFIX + sig.hex().encode() + b"\r\n")


def set_value(key, value):
    def change(text):
        lines = text.split(b"\r\n")
        for i, line in enumerate(lines):
            if line.startswith(key.encode() + b"="):
                lines[i] = ("%s=%s" % (key, value)).encode()
                return b"\r\n".join(lines)
        raise AssertionError("no %s in the .INFO" % key)
    return change


# ---- the agent

class Agent:
    """An installation with a running agent held by a long shut-down
    countdown (no self-restart), driven by background checks."""

    def __init__(self, session, work, package, version):
        self.install = Installation(session, work, package)
        self.install.lay_out({"OriginalSetup": {"VersionOriginal": version, "Stamp": 1,
                                                "ProbeSecondsInterval": 86400, "ProbeSecondsLast": 0}})
        self.info = os.path.join(self.install.folder, INFO)

    def start(self):
        decisions = self.install.log_count("GetOkToPerformAU = ")
        self.install.start_agent()
        self.install.shut_down(100000)
        # A restarted agent's first check is not due by the clock: ask for it.
        self.install.command(PERFORM_UPDATE_CYCLE, BACKGROUND_CHECK)
        self.install.wait_log("GetOkToPerformAU = ", decisions + 1, 90)

    def check(self, end_line=None):
        """One background check; waits for its decision (and end_line)."""
        install = self.install
        decisions = install.log_count("GetOkToPerformAU = ")
        ends = install.log_count(end_line) if end_line else 0
        install.command(PERFORM_UPDATE_CYCLE, BACKGROUND_CHECK)
        install.wait_log("GetOkToPerformAU = ", decisions + 1, 90)
        if end_line:
            install.wait_log(end_line, ends + 1, 120)
        return [line for line in install.log_lines() if "GetOkToPerformAU = " in line][-1]

    def new_lines(self, since):
        return self.install.log_lines()[since:]


def round_trip_and_rotation(session, work, keys):
    key1, pub1 = keys[1]
    key2, pub2 = keys[2]
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    engine_rec = os.path.join(work, "engine-rt.txt")
    agent_1 = build_agent(os.path.join(work, "agent-1.exe"), winpath(updates), pub1)
    agent = Agent(session, os.path.join(work, "rt"), agent_1, 1)
    install = agent.install
    publish(key1, None, updates, 1, agent_1)  # nothing new yet
    agent.start()

    def update_to(version, setup_key, publish_key, rotate=False):
        setup = build_update(os.path.join(work, "setup-%d.exe" % version), engine_rec, install.win, setup_key,
                             winpath(updates), "Tidewater Notes %d.0" % version)
        publish(publish_key, setup, updates, version, install.agent, ["--rotate"] if rotate else [])
        if os.path.exists(engine_rec):
            os.remove(engine_rec)
        decision = agent.check("PerformAutoUpdate() - END")
        end = install.last_log_line("PerformAutoUpdate() - END")
        assert "GetOkToPerformAU = 6" in decision and "Result=TRUE" in end, (version, install.log_lines()[-30:])
        engine_record(engine_rec)
        assert install.original("VersionOriginal") == str(version)
        # The agent written by the setup run carries the setup's key.
        assert fingerprint(setup_key) in pack(["list", install.agent]).stdout, version

    update_to(2, pub1, key1)
    # 3 carries key 2; the agent of today (key 1) accepts it signed by key 1.
    update_to(3, pub2, key1, rotate=True)

    # The agent installed by 3 checks with key 2.
    install.stop_agent()
    publish(key2, None, updates, 3, install.agent)
    agent.start()
    setup_4 = build_update(os.path.join(work, "setup-4.exe"), engine_rec, install.win, pub2, winpath(updates),
                           "Tidewater Notes 4.0")
    publish(key2, setup_4, updates, 4, install.agent)
    good = open(os.path.join(updates, INFO), "rb").read()
    resign(os.path.join(updates, INFO), key1, work)  # the old key
    since = len(install.log_lines())
    assert "GetOkToPerformAU = 0" in agent.check()
    assert any(".INFO refused (wrong signature)" in line for line in agent.new_lines(since)), agent.new_lines(since)
    with open(os.path.join(updates, INFO), "wb") as f:
        f.write(good)
    if os.path.exists(engine_rec):
        os.remove(engine_rec)
    assert "GetOkToPerformAU = 6" in agent.check("PerformAutoUpdate() - END")
    engine_record(engine_rec)
    assert install.original("VersionOriginal") == "4"
    install.stop_agent()


def refusals(session, work, keys):
    """One agent (key 1, version 2 installed); each row prepares the update
    folder, runs one check and looks at what happened."""
    key1, pub1 = keys[1]
    key3, _ = keys[3]
    updates = os.path.join(work, "updates-r")
    os.makedirs(updates)
    engine_rec = os.path.join(work, "engine-r.txt")
    agent_package = build_agent(os.path.join(work, "agent-r.exe"), winpath(updates), pub1)
    agent = Agent(session, os.path.join(work, "r"), agent_package, 2)
    install = agent.install
    setup = build_update(os.path.join(work, "r-setup-3.exe"), engine_rec, install.win, pub1, winpath(updates),
                         "Tidewater Notes 3.0")
    # Another setup with the same token and about the same size.
    other = build_update(os.path.join(work, "r-setup-X.exe"), engine_rec, install.win, pub1, winpath(updates),
                         "Tidewater Notes X.0")
    news = os.path.join(work, "News-3.txt")
    with open(news, "w", newline="") as f:
        f.write("Tidewater Notes 3.0 is out.\r\nIt syncs your notes.\r\n")
    publish(key1, None, updates, 2, agent_package)
    agent.start()
    seconds_now = int(time.time())

    def published(version=3):
        return publish(key1, setup, updates, version, agent_package)

    def one_byte(info):
        data = bytearray(open(info, "rb").read())
        at = data.index(b"Tidewater Notes")
        data[at] = ord("W")
        open(info, "wb").write(bytes(data))

    def unsigned(info):
        text = unsigned_text(info)
        open(info, "wb").write(text)

    def swap_update(info):
        shutil.copyfile(other, os.path.join(updates, os.path.basename(setup)))

    def swap_inform(info):
        path = os.path.join(updates, os.path.basename(news))
        data = open(path, "rb").read()
        open(path, "wb").write(data.replace(b"syncs", b"sells"))

    # name, publish, spoil, expected decision, expected log text, end line
    rows = (
        ("one byte of the .INFO changed", published, one_byte, "= 0", ".INFO refused (wrong signature)", None),
        ("signed by another key", published, lambda i: resign(i, key3, work), "= 0",
         ".INFO refused (wrong signature)", None),
        ("signature missing", published, unsigned, "= 0", ".INFO refused (no signature)", None),
        ("expired", published, lambda i: resign(i, key1, work, set_value("ExpiresUTC", seconds_now - 60)), "= 0",
         ".INFO refused (expired (ExpiresUTC=%d)" % (seconds_now - 60), None),
        ("signed downgrade", lambda: published(1), None, "= 3",
         "The update offers an older version than the installed one: refused.", None),
        ("UPDATE swapped", published, swap_update, "= 6", "ERROR: refused (",
         "PerformAutoUpdate() - END"),
        ("INFORM swapped",
         lambda: publish(key1, None, updates, 3, agent_package, ["--inform", news, "--inform-version", "3"]),
         swap_inform, "= 6", "ERROR: refused (", "PerformAutoInform() - END"),
    )
    for name, make, spoil, decision, text, end_line in rows:
        info_before = open(agent.info, "rb").read()
        original_before = read_ini(install.original_path)["OriginalSetup"]["VersionOriginal"]
        agent_before = open(install.agent, "rb").read()
        if os.path.exists(engine_rec):
            os.remove(engine_rec)
        info = make()
        if spoil:
            spoil(info)
        since = len(install.log_lines())
        line = agent.check(end_line)
        assert "GetOkToPerformAU %s" % decision in line, (name, line)
        # The refusal may be logged just after the decision's lines.
        wait_for(lambda: any(text in entry for entry in agent.new_lines(since)), 10, 0.2)
        lines = agent.new_lines(since)
        assert any(text in entry for entry in lines), (name, lines)
        if end_line:
            ends = [entry for entry in lines if end_line in entry]
            assert ends and ("FALSE" in ends[-1]), (name, ends)
        assert not os.path.exists(engine_rec), name + ": the setup ran"
        assert not session.probe("wait", "VRichEditBox", 500), name + ": a notice showed"
        assert read_ini(install.original_path)["OriginalSetup"]["VersionOriginal"] == original_before, name
        assert open(install.agent, "rb").read() == agent_before, name
        if decision == "= 0":
            assert open(agent.info, "rb").read() == info_before, name + ": the last good .INFO was replaced"
        # The refused file does not stay in the agent's folder.
        for fetched in (os.path.basename(setup), os.path.basename(news)):
            assert not os.path.exists(os.path.join(install.folder, fetched)), (name, fetched)
        print("refused:", name)
    install.stop_agent()


def arrival_ways(session, work, keys):
    """A keyed agent's .INFO fetch (the agent-fetch probe) from a local
    folder, a share, over HTTP and in test mode: the published file is taken,
    the same file with one byte changed is refused and not kept."""
    key1, pub1 = keys[1]
    folder = os.path.join(work, "ways")
    os.makedirs(folder)
    own = os.path.join(work, "ways-own.exe")
    assert build_setup(own, [], options=["--update-url", SHARE, "--info-file", "App.info", "--agent-file",
                                         "AppAgent.exe", "--update-token", "TOKEN-A", "--update-key", pub1]) == 0
    pack(["publish", "--key", key1, "--info", "App.info", "--version", "1", "--out", folder, "--previous", own])
    good = open(os.path.join(folder, "App.info"), "rb").read()
    bad = good.replace(b"VersionNew=1", b"VersionNew=9")
    with open(os.path.join(folder, "Bad.info"), "wb") as f:
        f.write(bad)
    link = serve_share(session, folder)
    server = Server()
    server.routes["/upd/App.info"] = (200, good)
    server.routes["/upd/Bad.info"] = (200, bad)
    fetcher = FetchAgent(session, work, own, "ways-agent")
    test_mode_key = "HKCU\\Software\\Dravenic\\Varnel\\AutoUpdate"
    try:
        for way, source in (("folder", winpath(folder)), ("share", SHARE), ("http", server.url + "/upd"),
                            ("test mode", "http://unused.test/upd")):
            if way == "test mode":
                today = time.strftime("%d-%b-%Y").upper()
                for name, value in (("TestMode", "1"), ("TestModeDate", today), ("TestModeURL", winpath(folder))):
                    assert session.run("reg", ["add", test_mode_key, "/v", name, "/d", value, "/f"],
                                       timeout=60) == 0
            for name in os.listdir(fetcher.folder):
                os.remove(os.path.join(fetcher.folder, name))
            ok, error, _ = fetcher.fetch("ways-good", INFO_KIND, source, "App.info")
            assert ok and error == "", (way, error)
            assert fetcher.read("App.info") == good, way
            ok, error, _ = fetcher.fetch("ways-bad", INFO_KIND, source, "Bad.info")
            assert not ok and ".INFO refused (wrong signature)" in error, (way, error)
            assert fetcher.files() == ["App.info"], (way, fetcher.files())
    finally:
        session.run("reg", ["delete", test_mode_key, "/f"], timeout=60)
        server.close()
        os.remove(link)


def web_installers(session, work, keys):
    key1, pub1 = keys[1]
    key3, _ = keys[3]
    served = os.path.join(work, "served")
    os.makedirs(served)
    record = os.path.join(work, "web-engine.txt")

    def build(name, extra=()):
        folder = os.path.join(work, name)
        os.makedirs(folder)
        payload = os.path.join(folder, "payload.bin")
        with open(payload, "wb") as f:
            f.write(os.urandom(1000))
        setup, web = os.path.join(folder, "setup.exe"), os.path.join(folder, "web.exe")
        pack(["build", "-o", setup, "--stub", STUB, "--engine", ENGINE, "--engine-args", " " + record_arg(record),
              "--store", "--download-url", server.url("files"), "--download-token", "web-token",
              "--update-url", "http://unused.test", "--info-file", INFO, "--update-token", TOKEN,
              "--web-installer", web, "--file", payload] + list(extra))
        return web, setup

    def run(web, args, refusal=None):
        if os.path.exists(record):
            os.remove(record)
        if refusal and "/hide" not in args:
            process = session.start(web, args)
            text = read_box(session, work, "refused")
            assert refusal in text, text
            press(session, "Return")
            assert process.wait(60) == UNSIGNED_EXIT
        else:
            process = session.start(web, args)
            rc = process.wait(120)
            if refusal:
                assert rc == UNSIGNED_EXIT, rc
            else:
                assert rc == 0, rc
                engine_record(record)
        if refusal:
            assert not os.path.exists(record), "the engine ran a refused setup"
        assert not setup_folders(session)

    clear_setup_folders(session)
    with LoopbackServer(served) as server:
        # Built with its full setup: only that file runs.
        web, setup = build("hashed")
        _, twin = build("twin")  # the same token, another file
        built = setup + ".built"
        shutil.copyfile(setup, built)
        shutil.copyfile(twin, setup)
        run(web, [], "not the setup file built with this web installer")
        run(web, ["/hide"], "hidden")
        shutil.copyfile(built, setup)
        run(web, ["/hide"])

        # Built with a key: any setup that publish signed with it.
        web, setup = build("keyed", ["--update-key", pub1])
        os.remove(setup)
        _, next_setup = build("next", ["--update-key", pub1])
        previous = os.path.join(work, "next", "setup.exe")
        out = os.path.join(work, "published")
        pack(["publish", "--key", key1, "--setup", next_setup, "--info", INFO, "--version", "2", "--out", out,
              "--previous", previous])
        # Downloaded with its .sig: runs.
        for name in ("setup.exe", "setup.exe.sig"):
            shutil.copyfile(os.path.join(out, name), os.path.join(served, name))
        run(web, ["/hide"])
        assert any(p.endswith("/setup.exe.sig") for _, p in server.requests), server.requests
        # Swapped after its check (when its .sig is fetched, the hash is
        # taken): the file that was checked is the file extracted and run.
        swapped = []

        def swap(path):
            if path.endswith("/setup.exe.sig"):
                temp = wine_temp_folder(session)
                for held in glob.glob(os.path.join(temp, "SETUP_*", "~web*", "setup.exe")):
                    with open(held + ".new", "wb") as f:
                        f.write(b"MZ" + os.urandom(4096))
                    os.rename(held + ".new", held)
                    swapped.append(held)
        server.before_get = swap
        run(web, ["/hide"])
        server.before_get = None
        assert swapped, "nothing was swapped"
        # Beside it, signed: runs; without its .sig, or signed by another
        # key: refused.
        for name in ("setup.exe", "setup.exe.sig"):
            shutil.copyfile(os.path.join(out, name), os.path.join(work, "keyed", name))
        run(web, ["/hide"])
        os.remove(os.path.join(work, "keyed", "setup.exe.sig"))
        run(web, [], "no signature (.sig) beside it")
        sig = openssl_sign(key3, open(os.path.join(work, "keyed", "setup.exe"), "rb").read(), work)
        with open(os.path.join(work, "keyed", "setup.exe.sig"), "wb") as f:
            f.write(SIGNATURE_PREFIX + sig.hex().encode() + b"\r\n")
        run(web, ["/hide"], "hidden")


def main():
    work = scratch_dir("signed_updates")
    keys = {n: keygen(work, "key%d" % n) for n in (1, 2, 3)}
    with WineSession() as session:
        arrival_ways(session, work, keys)
        web_installers(session, work, keys)
        refusals(session, work, keys)
        round_trip_and_rotation(session, work, keys)
    print("signed updates: ok")


if __name__ == "__main__":
    main()
