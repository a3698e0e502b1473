"""Setups on a volume that is too small, under Wine. The test mounts small
volumes itself (a tmpfs, or where that is refused a loop-mounted ext2
image) and takes them down again; it is skipped, saying why, only where
neither can be made.

- %TEMP% on a 4 MiB volume mounted over the prefix's temporary folder and a
  setup carrying 6 MB that can't be compressed: a hidden run ends with exit
  code 10 without running the engine, its error only in the debug stream; a
  shown run asks the free-space question with the volume's own free space,
  then shows the "Unable to save Extracted File!" box with the volume's real
  "Bytes Free" figure (screenshot build/screenshots/full_volume_error.png),
  and ends the same way. No setup folder is left behind.
- %TEMP% on a roomy volume mounted two levels below the root of a drive
  whose own volume is small: the same setup fits and runs from %TEMP%.
- A web installer with %TEMP% on the small volume: its download of the
  full setup can't be written, the run ends with exit code 10 (not the code
  of a failed transfer) and leaves no setup folder.
- A setup spread over disk files, with %TEMP% full: its copy to the setup
  folder can't be written, so no copy is started; exit code 10, no folder.
- The update agent with %TEMP% on the small volume: the update's setup can't
  be extracted, its engine never runs, VersionOriginal stays as it was and
  the product the agent closed is started again.
- The file helpers on a full volume, where Wine's WriteFile reports a short
  write as success: writing, chunked writing, appending and a settings
  value all report failure, and the settings file keeps its text; the
  self-deletion script is not left half-written in a full %TEMP%."""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from debug_viewer import DebugViewer  # noqa: E402
from setup_run import engine_record, read_box, record_arg, setup_folders  # noqa: E402
from update_fixture import (PERFORM_UPDATE_CYCLE, PRODUCT_EXE, Installation, build_agent, build_update,  # noqa: E402
                            ini_text, product_record, starts, INFO)
from loopback_server import LoopbackServer  # noqa: E402
from wine_harness import (BUILD, ENGINE, PACK, ROOT, STUB, WineSession, build_setup, scratch_dir, wait_for, wine_temp_folder,  # noqa: E402
                          winpath)

SHOTS = os.path.join(ROOT, "build", "screenshots")
UTILS = os.path.join(BUILD, "tests", "programs", "utils-probe.exe")
MB = 1048576
PAYLOAD = 6 * MB
EXIT_WRITE_FAILED = 10
ENGINE_EXIT = 42


class NoVolume(Exception):
    pass


def _quiet(argv, timeout=60):
    with open(os.devnull, "w") as null:
        return subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=null, stderr=null,
                              timeout=timeout).returncode == 0


class SmallVolume:
    """A volume of `size` mounted at `path` for the with-block: a tmpfs, else
    an ext2 image on a loop device."""
    reasons = []

    def __init__(self, path, size):
        self.path, self.size, self.image, self.kind = path, size, None, None

    def __enter__(self):
        os.makedirs(self.path, exist_ok=True)
        if _quiet(["mount", "-t", "tmpfs", "-o", "size=%d" % self.size, "tmpfs", self.path]):
            self.kind = "tmpfs"
            return self
        SmallVolume.reasons.append("tmpfs mount refused")
        if shutil.which("mkfs.ext2"):
            self.image = self.path.rstrip("/") + ".img"
            with open(self.image, "wb") as f:
                f.truncate(self.size)
            if (_quiet(["mkfs.ext2", "-q", "-F", "-m", "0", self.image]) and
                    _quiet(["mount", "-o", "loop", self.image, self.path])):
                self.kind = "loop image"
                return self
            os.remove(self.image)
            SmallVolume.reasons.append("loop mount refused")
        else:
            SmallVolume.reasons.append("no mkfs.ext2 for a loop image")
        raise NoVolume("; ".join(SmallVolume.reasons))

    def __exit__(self, *exc):
        for _ in range(50):
            if _quiet(["umount", self.path]):
                break
            time.sleep(0.2)  # a Wine process may still let go of a file there
        else:
            _quiet(["umount", "-l", self.path])
        if self.image:
            os.remove(self.image)
        return False

    def free(self):
        st = os.statvfs(self.path)
        return st.f_bavail * st.f_frsize


def payload(work):
    path = os.path.join(work, "payload.bin")
    if not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(os.urandom(PAYLOAD))
    return path


def make_setup(work, name, record):
    setup = os.path.join(work, name)
    assert build_setup(setup, [payload(work)], "%s --exit=%d" % (record_arg(record), ENGINE_EXIT),
                       options=["--temp-notice"]) == 0, open(setup + ".log").read()
    return setup


def megabytes(n):
    mb = n / MB
    return "%.1f" % mb if mb > 10 else ("%.2f" % mb if mb >= 1 else "%.3f" % mb)


def setup_does_not_fit(session, work, temp):
    """%TEMP% itself is the small volume (its drive root, C:, has room)."""
    record = os.path.join(work, "engine-small.txt")
    setup = make_setup(work, "setup-small.exe", record)

    # Hidden: no box at all, the error only in the debug stream.
    with DebugViewer(session, work) as viewer:
        rc = session.run(setup, ["/hide"], timeout=180, log=setup + ".hidden.log")
        trace = viewer.text()
    assert rc == EXIT_WRITE_FAILED, "hidden run ended with %d" % rc
    assert not os.path.exists(record), "the engine ran on a folder cut short"
    assert not setup_folders(session), setup_folders(session)
    assert "payload.bin<P><P>Unable to save Extracted File!" in trace, trace[-3000:]
    assert not session.probe("wait", "VMsgBox", 0), "a hidden run showed a box"

    # Shown: the free-space question, then the error box; both with the
    # volume's own figures.
    p = session.start(setup, log=setup + ".shown.log")
    question = read_box(session, work, "space-question")
    os.makedirs(SHOTS, exist_ok=True)
    session.screenshot(os.path.join(SHOTS, "full_volume_question.png"))
    assert "Limited Free Space on your Temp Drive! (C:)" in question, question
    assert "\t  %s MB\n" % megabytes(temp.free()) in question, (question, temp.free())
    subprocess.run(["xdotool", "mousemove", "512", "384", "key", "Return"], env=session.env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    assert wait_for(lambda: not session.probe("wait", "VMsgBox", 0, "visible"), 20), "the question stayed"
    text = read_box(session, work, "write-error")
    session.screenshot(os.path.join(SHOTS, "full_volume_error.png"))
    assert "payload.bin\n\nUnable to save Extracted File!" in text, text
    # Large files travel in pieces of 5 MiB: the first piece did not fit.
    sizes = re.search(r"Data Size: \t(\d+) Bytes\n  File Size:  \t(\d+) Bytes", text)
    assert sizes and int(sizes.group(2)) < int(sizes.group(1)) == min(PAYLOAD, 5 * MB), text
    free = re.search(r"Bytes Free: \t(\d+) Bytes", text)
    assert free, text
    # The figure is the small volume's, as it stands with the partial file.
    assert abs(int(free.group(1)) - temp.free()) <= 65536, (free.group(1), temp.free())
    subprocess.run(["xdotool", "mousemove", "512", "384", "key", "Return"], env=session.env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    assert p.wait(120) == EXIT_WRITE_FAILED
    assert not os.path.exists(record), "the engine ran on a folder cut short"
    assert not setup_folders(session), setup_folders(session)
    return int(free.group(1))


def web_install(session, work):
    served = os.path.join(work, "served")
    os.makedirs(served, exist_ok=True)
    record = os.path.join(work, "engine-web.txt")
    with LoopbackServer(served) as server:
        setup = os.path.join(served, "setup.exe")
        web = os.path.join(work, "web.exe")
        argv = [PACK, "build", "-o", setup, "--stub", STUB, "--engine", ENGINE,
                "--engine-args", " %s --exit=%d" % (record_arg(record), ENGINE_EXIT), "--store",
                "--download-url", server.url("files"), "--download-token", "full-volume-token",
                "--web-installer", web, "--file", payload(work)]
        with open(web + ".log", "w") as log:
            assert subprocess.run(argv, stdout=log, stderr=subprocess.STDOUT, timeout=300).returncode == 0, \
                open(web + ".log").read()
        rc = session.run(web, ["/hide"], timeout=180, log=web + ".run.log")
        assert any(p.endswith("/setup.exe") for _, p in server.requests), server.requests
    assert rc == EXIT_WRITE_FAILED, "the web installer ended with %d" % rc
    assert not os.path.exists(record), "the engine ran"
    assert not setup_folders(session), setup_folders(session)


def span_copy_on_a_full_temp(session, work, temp):
    members = []
    for i in range(3):
        path = os.path.join(work, "part%d.bin" % i)
        with open(path, "wb") as f:
            f.write(os.urandom(400 * 1024))
        members.append(path)
    record = os.path.join(work, "engine-span.txt")
    setup = os.path.join(work, "span", "setup.exe")
    os.makedirs(os.path.dirname(setup))
    assert build_setup(setup, members, "%s --exit=%d" % (record_arg(record), ENGINE_EXIT),
                       ["--restart-from-temp", "--span", "1M", "--span-naming", "001"]) == 0, \
        open(setup + ".log").read()
    fill(temp.path)
    try:
        rc = session.run(setup, ["/hide"], timeout=120, log=setup + ".run.log")
        assert rc == EXIT_WRITE_FAILED, "the span start ended with %d" % rc
        assert not setup_folders(session), setup_folders(session)
        time.sleep(2)  # a copy that was started would be running now
        assert not os.path.exists(record), "the engine ran"
    finally:
        os.remove(os.path.join(temp.path, "filler.bin"))


def reg(session, *args):
    return session.run("reg", list(args), timeout=60) == 0


def registry_temp(session, work):
    """The TEMP and TMP values of HKCU\\Environment: {name: (type, data)}."""
    out = os.path.join(work, "environment.txt")
    assert session.run("reg", ["query", "HKCU\\Environment"], timeout=60, log=out) == 0
    values = {}
    with open(out, encoding="latin-1") as f:
        for line in f.read().splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] in ("TEMP", "TMP"):
                values[parts[0]] = (parts[1], parts[2])
    return values


def setup_fits_below_a_small_root(session, work):
    """T: is a small volume; %TEMP% is T:\\deep\\big, a roomy one mounted
    beneath it. The free-space check must ask %TEMP%'s volume."""
    record = os.path.join(work, "engine-deep.txt")
    setup = make_setup(work, "setup-deep.exe", record)
    root = os.path.join(work, "drive_t")
    link = os.path.join(session.env["WINEPREFIX"], "dosdevices", "t:")
    saved = registry_temp(session, work)
    with SmallVolume(root, 4 * MB):
        big = os.path.join(root, "deep", "big")
        os.makedirs(big)
        with SmallVolume(big, 64 * MB):
            try:
                os.symlink(root, link)
                for name in ("TEMP", "TMP"):
                    assert reg(session, "add", "HKCU\\Environment", "/v", name, "/d", "T:\\deep\\big", "/f")
                rc = session.run(setup, ["/hide"], timeout=180, log=setup + ".run.log")
                assert rc == ENGINE_EXIT, "the setup that fits ended with %d" % rc
                values, files = engine_record(record)
                assert values["Folder"].upper().startswith("T:\\DEEP\\BIG\\SETUP_"), values["Folder"]
                assert sum(size for name, size in files if name.startswith("payload.bin")) == PAYLOAD, files
                assert not [n for n in os.listdir(big) if n.startswith("SETUP_")], os.listdir(big)
            finally:
                for name, (kind, data) in saved.items():
                    reg(session, "add", "HKCU\\Environment", "/v", name, "/t", kind, "/d", data, "/f")
                if os.path.islink(link):
                    os.remove(link)


def write_info(updates, setup, version, stamp):
    new_setup = {"DownloadURL_UPDATE": winpath(updates), "NameOfUpdateFile": os.path.basename(setup),
                 "SizeOfUpdateFile": os.path.getsize(setup), "RunningProcess": "<InstallDir>\\TestProduct.exe",
                 "ProgramName": "Tidewater Notes", "VersionNew": version, "Stamp": stamp,
                 "RequestConfirmationBeforeDownload": 0, "RequestConfirmationBeforeInstall": 0,
                 "RestartProcess": 1, "InformFinish": 0, "BackgroundUpdate": 1, "ShutDownMethod": "Using WM_CLOSE"}
    with open(os.path.join(updates, INFO), "w", newline="") as f:
        f.write(ini_text({"NewSetup": new_setup}))


def agent_update(session, work):
    """%TEMP% is the small volume: the agent's update can't be extracted."""
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    agent = build_agent(os.path.join(work, "agent.exe"), winpath(updates))
    install = Installation(session, work, agent)
    engine_rec = os.path.join(work, "agent-engine.txt")
    setup = build_update(os.path.join(updates, "TidewaterSetup-2.exe"),
                         '--record="%s" --install="%s"' % (winpath(engine_rec), install.win),
                         [PRODUCT_EXE + "=TestProduct.exe", payload(work) + "=payload.bin"])
    write_info(updates, setup, 2, 2)
    install.lay_out({"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                                       "ProbeSecondsLast": 0}})
    record = os.path.join(work, "product.txt")
    install.product_options("Tidewater Notes", record)
    install.start_product()
    install.start_agent()
    install.shut_down(100000)
    install.command(PERFORM_UPDATE_CYCLE, 1)
    install.wait_log("PerformAutoUpdate() - END", 1, 180)
    end = install.last_log_line("PerformAutoUpdate() - END")
    assert "Result=FALSE" in end, end
    assert not os.path.exists(engine_rec), "the update's engine ran on a folder cut short"
    assert install.original("VersionOriginal") == "1", install.original("VersionOriginal")
    # The product it closed is running again.
    assert wait_for(lambda: starts(product_record(record)) == 2, 30), product_record(record)
    assert session.probe("wait", "TidewaterNotesMain", 10000), "the product is not running"
    assert not setup_folders(session), setup_folders(session)
    session.probe("post", "TidewaterNotesMain", 0x0012, 0, 0)
    install.stop_agent()


def fill(folder):
    """Fills the volume of `folder` to its last byte."""
    with open(os.path.join(folder, "filler.bin"), "wb", buffering=0) as f:
        chunk = b"\0" * 65536
        while True:
            try:
                f.write(chunk)
            except OSError:
                if len(chunk) == 1:
                    break
                chunk = chunk[:len(chunk) // 2]


def read_lines(path):
    with open(path, encoding="latin-1") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


def file_helpers_on_a_full_volume(session, work):
    folder = os.path.join(work, "full")
    with SmallVolume(folder, MB):
        settings = os.path.join(folder, "settings.ini")
        text = ini_text({"OriginalSetup": {"VersionOriginal": 1, "Stamp": 7}})
        with open(settings, "w", newline="") as f:
            f.write(text)
        fill(folder)
        out = os.path.join(work, "full-writes.txt")
        assert session.run(UTILS, ["full-writes", winpath(folder), winpath(out)], timeout=120) == 0
        got = read_lines(out)
        for helper in ("write", "write-chunks", "append", "ini"):
            assert got[helper] == "0", (helper, got)
        with open(settings, newline="") as f:
            assert f.read() == text, "the settings file was cut short"
        assert not [n for n in os.listdir(folder) if n.endswith(".~new")], os.listdir(folder)


def self_deletion_on_a_full_temp(session, work, temp):
    """%TEMP% full: the script can't be written, so none is left or run."""
    folder = os.path.join(work, "self-deleting")
    os.makedirs(folder)
    probe = os.path.join(folder, "probe.exe")
    shutil.copy2(UTILS, probe)
    fill(temp.path)
    try:
        assert session.run(probe, ["deleteself"], timeout=60) == 0
        time.sleep(2)  # a script that was started would be running now
        scripts = [n for n in os.listdir(temp.path) if n.upper().startswith("_DEL_ME_")]
        assert not scripts, "a half-written self-deletion script: %s" % scripts
    finally:
        os.remove(os.path.join(temp.path, "filler.bin"))
        for n in os.listdir(temp.path):
            if n.upper().startswith("_DEL_ME_"):
                os.remove(os.path.join(temp.path, n))


def main():
    work = scratch_dir("full_volume")
    with WineSession() as session:
        try:
            # The prefix's temporary folder itself becomes the small volume
            # for a while (what was in it is back afterwards).
            with SmallVolume(wine_temp_folder(session), 4 * MB) as small:
                free = setup_does_not_fit(session, work, small)
                web_install(session, work)
                agent_update(session, work)
                self_deletion_on_a_full_temp(session, work, small)
                span_copy_on_a_full_temp(session, work, small)
            setup_fits_below_a_small_root(session, work)
            file_helpers_on_a_full_volume(session, work)
        except NoVolume as e:
            print("SKIPPED: no small volume can be made here (%s)" % e)
            sys.exit(77)
    print("full volume: ok (%s; bytes free shown: %d)" % (small.kind, free))


if __name__ == "__main__":
    main()
