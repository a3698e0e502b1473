"""The main job's update-agent part: a product installed by its setup file
keeps itself up to date.

1. The publisher makes a signing key (varnel-pack keygen) and builds
   TidewaterNotesSetup-1.0.exe and -2.0.exe with its public key
   (build --update-key); version 2.0 is published with varnel-pack publish:
   the update folder gets the setup, its signature file and the signed
   Tidewater.info (no hand-written .INFO).
2. TidewaterNotesSetup-1.0.exe installs Tidewater Notes 1.0 into
   "C:\\Program Files\\Tidewater Notes": the product (dist's TestProduct.exe
   with its options file), the agent's settings file and the update agent,
   which the setup run writes from the setup file (it carries the key).
3. The product and its agent start; a loopback HTTP server serves the
   update folder.
4. The agent finds version 2, downloads and proves the new setup, closes the
   product, runs the setup, starts the product again (now 2.0) and restarts
   itself from its new file.
Prints the versions and files before and after, the agent's log and where
the screenshots are.

usage: demo_agent.py WORK_FOLDER
"""
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from loopback_server import LoopbackServer  # noqa: E402
from update_fixture import (AGENT, AGENT_CLASS, INFO, ORIGINAL, PRODUCT_CLASS, PRODUCT_EXE, TOKEN, WM_SHUTDOWN,  # noqa: E402
                            ini_text, read_ini, wait_self_deletion)
from wine_harness import PACK, STUB, ENGINE, WineSession, wait_for, winpath  # noqa: E402

INSTALL_DIR = "C:\\Program Files\\Tidewater Notes"


def host_path(session, windows_path):
    drive_c = os.path.join(session.env["WINEPREFIX"], "drive_c")
    return os.path.join(drive_c, *windows_path[3:].split("\\"))


def pack(*args, quiet=False):
    """Runs dist/varnel-pack; its report is shown unless quiet."""
    subprocess.run([PACK, *args], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL if quiet else None)


def build(setup, update_url, members, engine_args, update_key):
    argv = ["build", "--output", setup, "--stub", STUB, "--engine", ENGINE, "--engine-args", engine_args,
            "--update-url", update_url, "--info-file", INFO, "--agent-file", AGENT, "--update-token", TOKEN,
            "--update-key", update_key, "--agent-download-log", "--write-update-agent"]
    for member in members:
        argv += ["--file", member]
    pack(*argv, quiet=True)


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text)
    return path


def product_title(session, work):
    out = os.path.join(work, "product-window.txt")
    if not session.probe("info", PRODUCT_CLASS, winpath(out)):
        return "(not running)"
    with open(out, encoding="latin-1") as f:
        return f.readline().split("|")[1]


def describe(session, work, install, label):
    original = read_ini(os.path.join(install, ORIGINAL)).get("OriginalSetup", {})
    print("%s:" % label)
    print("  VersionOriginal in %s: %s" % (ORIGINAL, original.get("VersionOriginal", "(none)")))
    print("  product window: %s" % product_title(session, work))
    for name in sorted(os.listdir(install)):
        print("    %-24s %8d bytes" % (name, os.path.getsize(os.path.join(install, name))))


def written_from(agent, setup):
    """The agent file is the setup file's stub and header blocks (the setup
    run writes it so): the same bytes from the PE header up to the agent's
    trailer (74 bytes)."""
    with open(setup, "rb") as f:
        head = f.read(len(agent))
    return len(agent) > 0x100 + 74 and head[0x100:len(agent) - 74] == agent[0x100:len(agent) - 74]


def log_lines(install):
    path = os.path.join(install, "X_TidewaterAgent.log")
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return f.read().splitlines()


def log_count(install, text):
    return sum(text in line for line in log_lines(install))


def main():
    work = os.path.abspath(sys.argv[1])
    shutil.rmtree(work, ignore_errors=True)
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    product_args = os.path.join(work, "args")
    os.makedirs(product_args)
    ok = True
    started = time.time()
    with LoopbackServer(updates) as server, WineSession() as session:
        install = host_path(session, INSTALL_DIR)
        shutil.rmtree(install, ignore_errors=True)
        url = server.url("files")
        engine_args = '--install="%s"' % INSTALL_DIR
        original = write(os.path.join(work, ORIGINAL), ini_text({
            "OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 0, "ProbeSecondsLast": 0,
                              "ProgramName": "Tidewater Notes"},
            "Directories": {"TargetDir": INSTALL_DIR}}))
        # The publisher's key: the private half signs, the public half goes
        # into every setup (and so into every agent).
        key = os.path.join(work, "keys", "tidewater")
        print("varnel-pack keygen:")
        pack("keygen", "--out", key)
        setups = []
        for version in ("1.0", "2.0"):
            args = write(os.path.join(product_args, "TestProduct-%s.args" % version),
                         '--class=%s --title="Tidewater Notes %s"\r\n' % (PRODUCT_CLASS, version))
            members = [PRODUCT_EXE + "=TestProduct.exe", args + "=TestProduct.args"]
            if version == "1.0":
                members.append(original + "=" + ORIGINAL)
            setup = os.path.join(work, "TidewaterNotesSetup-%s.exe" % version)
            build(setup, url, members, engine_args, key + ".pub")
            setups.append(setup)
        # Version 2 goes out through publish: the folder's files, the .INFO
        # written from them and signed.
        print("varnel-pack publish:")
        pack("publish", "--key", key + ".key", "--setup", setups[1], "--version", "2", "--previous", setups[0],
             "--out", updates, "--set", "RequestConfirmationBeforeDownload=0",
             "--set", "RequestConfirmationBeforeInstall=0", "--set", "BackgroundUpdate=1",
             "--set", "ShutDownMethod=Using WM_CLOSE", "--set", "RestartProcess=1", "--set", "InformFinish=0",
             "--set", "RunningProcess=<InstallDir>\\TestProduct.exe", "--set", "ProgramName=Tidewater Notes")
        print("update folder %s: %s" % (url, ", ".join(sorted(os.listdir(updates)))))
        with open(os.path.join(updates, INFO), encoding="latin-1") as f:
            print("".join("  " + line for line in f))

        # Version 1.0 is installed by its setup file; the product and the
        # agent start as after an installation.
        code = session.run(setups[0], ["/S"], timeout=300)
        print("%s ended with code %d" % (os.path.basename(setups[0]), code))
        session.start(os.path.join(install, "TestProduct.exe"))
        ok &= session.probe("wait", PRODUCT_CLASS, 30000, "visible")
        old_agent = open(os.path.join(install, AGENT), "rb").read()
        describe(session, work, install, "Installed")
        print("  %s written from %s: %s" % (AGENT, os.path.basename(setups[0]),
                                            "yes" if written_from(old_agent, setups[0]) else "NO"))
        before = os.path.join(work, "product-1.0.png")
        session.screenshot(before)

        session.start(os.path.join(install, AGENT))
        ok &= session.probe("wait", AGENT_CLASS, 30000)
        print("agent started: %s runs as X_%s" % (AGENT, AGENT))
        # The update, the product's restart, then the agent's own restart
        # (it waits 10 s before it replaces its copy).
        ok &= wait_for(lambda: log_count(install, "PerformAutoUpdate() - END") >= 1, 120, 0.5)
        ok &= wait_for(lambda: product_title(session, work) == "Tidewater Notes 2.0", 30, 0.5)
        ok &= wait_for(lambda: log_count(install, "ThisIs_X_AutoUpdate_Exe=TRUE") >= 2, 60, 0.5)
        ok &= session.probe("wait", AGENT_CLASS, 20000)
        after = os.path.join(work, "product-2.0.png")
        session.screenshot(after)
        new_agent = open(os.path.join(install, AGENT), "rb").read()
        describe(session, work, install, "After the update")
        from_new = written_from(new_agent, setups[1])
        running_new = open(os.path.join(install, "X_" + AGENT), "rb").read() == new_agent
        print("  %s written from %s: %s; the running X_ copy is that file: %s" % (
            AGENT, os.path.basename(setups[1]), "yes" if from_new else "NO", "yes" if running_new else "NO"))
        ok &= from_new and running_new
        print("Agent log (%s\\X_TidewaterAgent.log), the main lines:" % INSTALL_DIR)
        keep = ("=== START ===", "CommandLine=", "GetOkToPerformAU", "PerformAutoUpdate()", "Download START",
                "Shut Down Process", "ReStartAutoUpdateExe", "WinExec", "Wait ", "Create X_")
        for line in log_lines(install):
            if any(k in line for k in keep):
                print("  " + line)
        session.probe("post", AGENT_CLASS, WM_SHUTDOWN, 0, 0)
        session.probe("gone", AGENT_CLASS, 20000)
        # The X_ copy deletes its file after it ends; let that finish.
        wait_for(lambda: not os.path.exists(os.path.join(install, "X_" + AGENT)), 30, 0.5)
        wait_self_deletion(session)
        session.probe("close", PRODUCT_CLASS)
        session.probe("gone", PRODUCT_CLASS, 20000)
    print("Screenshots of the product before and after: %s, %s" % (before, after))
    print("The agent part took %.1f s" % (time.time() - started))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
