"""The temporary folder and the free-space question under Wine:
- two copies of one program (same file time) started side by side get two
  setup folders, and the later start leaves the earlier one's folder alone;
- the drive choice on real drives: D: and E: are mapped in the prefix to
  folders with known free space (tmpfs mounts of equal size when this test
  may mount, else folders on /dev/shm);
- the free-space question appears with the notice flag and with too little
  space, not otherwise; No answers "stop"; a real package's figures."""
import ntpath
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import (BUILD, PACK, ROOT, STUB, ENGINE, WineSession, scratch_dir, wait_for,  # noqa: E402
                          wine_temp_folder, winpath)

DIALOGS = os.path.join(BUILD, "tests", "programs", "dialogs-probe.exe")
SHOTS = os.path.join(ROOT, "build", "screenshots")
MB = 1048576


def read_lines(path):
    with open(path, encoding="latin-1") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


def host_path(session, win):
    """Host path of a C:\\ path in the prefix."""
    assert win[1:3] == ":\\", win
    drive = os.path.join(session.env["WINEPREFIX"], "dosdevices", win[0].lower() + ":")
    return os.path.join(os.path.realpath(drive), *win[3:].split("\\"))


def side_by_side(session, work):
    # Two copies of one program in two folders, with the same file time.
    copies = []
    for name in ("first", "second"):
        folder = os.path.join(work, name)
        os.makedirs(folder)
        exe = os.path.join(folder, "setup.exe")
        shutil.copy2(DIALOGS, exe)
        copies.append(exe)
    release = os.path.join(work, "release")
    outs = [os.path.join(work, "first.out"), os.path.join(work, "second.out")]
    procs = []
    for exe, out in zip(copies, outs):
        procs.append(session.start(exe, ["setup-folder", winpath(out), winpath(release)],
                                   log=out + ".log"))
        assert wait_for(lambda: os.path.exists(out), 60), "no setup folder from " + exe
    first, second = (open(o, encoding="latin-1").read() for o in outs)
    assert ntpath.basename(first).startswith("SETUP_"), first
    assert second == first + "_1", (first, second)
    # The earlier run's folder and the file in it are still there.
    first_host = host_path(session, first)
    assert os.path.exists(os.path.join(first_host, "engine.txt")), first_host
    assert os.path.exists(first_host + ".lock")
    open(release, "w").close()
    for p in procs:
        assert p.wait(60) == 0
    # The locks go with their processes; a later start takes the plain name
    # again and empties it.
    assert wait_for(lambda: not os.path.exists(first_host + ".lock"), 30)
    open(os.path.join(first_host, "stale.txt"), "w").close()
    os.remove(release)
    out = os.path.join(work, "third.out")
    p = session.start(copies[0], ["setup-folder", winpath(out), winpath(release)], log=out + ".log")
    assert wait_for(lambda: os.path.exists(out), 60)
    assert open(out, encoding="latin-1").read() == first
    assert not os.path.exists(os.path.join(first_host, "stale.txt"))
    # A copy started from inside that folder (as a span-disk restart does)
    # takes the folder as its own although the lock is held, and keeps
    # running from it.
    inner = os.path.join(first_host, "Y_setup.exe")
    shutil.copy2(copies[0], inner)
    inner_out = os.path.join(work, "inner.out")
    q = session.start(inner, ["setup-folder", winpath(inner_out), winpath(release)],
                      log=inner_out + ".log")
    assert wait_for(lambda: os.path.exists(inner_out), 60)
    assert open(inner_out, encoding="latin-1").read() == first
    assert os.path.exists(inner)
    open(release, "w").close()
    assert p.wait(60) == 0 and q.wait(60) == 0
    for folder in (first_host, host_path(session, second)):
        shutil.rmtree(folder, ignore_errors=True)


def free_bytes(path):
    st = os.statvfs(path)
    return st.f_bavail * st.f_frsize


def mount_tmpfs(path, size):
    with open(os.devnull, "w") as null:
        return subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", path],
                              stdin=subprocess.DEVNULL, stdout=null, stderr=null,
                              timeout=30).returncode == 0


def drive_choice(session, work):
    devices = os.path.join(session.env["WINEPREFIX"], "dosdevices")
    targets = {"d": os.path.join(work, "drive_d"), "e": os.path.join(work, "drive_e")}
    mounted = []
    try:
        for letter, target in targets.items():
            os.makedirs(target)
            if mount_tmpfs(target, "400G"):
                mounted.append(target)
        if len(mounted) != 2:
            # No mounts here: both drives on /dev/shm (same free space).
            for target in mounted:
                subprocess.run(["umount", target], timeout=30)
            mounted = []
            for letter in targets:
                targets[letter] = os.path.join("/dev/shm", "varnel_temp_drive_%s_%d" %
                                               (letter, os.getpid()))
                os.makedirs(targets[letter])
        for letter, target in targets.items():
            os.symlink(target, os.path.join(devices, letter + ":"))
        # D:\TEMP exists on the second run: the probe must not remove it.
        for run in ("plain", "existing temp"):
            if run == "existing temp":
                os.makedirs(os.path.join(targets["d"], "TEMP"))
                open(os.path.join(targets["d"], "TEMP", "keep.txt"), "w").close()
            out = os.path.join(work, "choose_%s.out" % run.replace(" ", "_"))
            assert session.run(DIALOGS, ["choose-drive", winpath(out)], timeout=120) == 0
            got = read_lines(out)
            c_free = free_bytes(wine_temp_folder(session))
            d_free = free_bytes(targets["d"])
            if d_free > c_free * 1.05:
                # D and E have equal room, more than C: D wins the tie.
                prefix = "D:\\TEMP_" if run == "plain" else "D:\\TEMP\\TEMP_"
                assert got["chosen"] == "1" and got["alt"].startswith(prefix), got
                number = int(got["alt"][len(prefix):])
                assert 10000 <= number <= 100000, got
                assert got["made"] == "1" and got["removed"] == "1", got
            elif d_free < c_free * 0.95:
                assert got == {"chosen": "0", "alt": "", "made": "0", "removed": "1"}, got
            # No probe folder is left behind, an existing TEMP stays.
            for target in targets.values():
                left = sorted(os.listdir(target))
                assert left in ([], ["TEMP"]), (target, left)
            if run == "existing temp":
                assert os.listdir(os.path.join(targets["d"], "TEMP")) == ["keep.txt"]
        return "mounted" if mounted else "shm"
    finally:
        for letter in targets:
            link = os.path.join(devices, letter + ":")
            if os.path.islink(link):
                os.remove(link)
        for target in mounted:
            subprocess.run(["umount", target], timeout=30)
        for target in targets.values():
            shutil.rmtree(target, ignore_errors=True)


def space_question(session, work):
    def ask(needed, free, notice, keys=None, shot=None):
        out = os.path.join(work, "space.out")
        if os.path.exists(out):
            os.remove(out)
        p = session.start(DIALOGS, ["space", "c:\\x", str(needed), str(free), str(notice),
                                    winpath(out)], log=out + ".log")
        text = None
        if keys:
            assert session.probe("wait", "VMsgBox", 15000, "visible")
            time.sleep(0.5)
            if shot:
                session.screenshot(os.path.join(SHOTS, shot))
            box = os.path.join(work, "space.box")
            assert session.run(DIALOGS, ["read", winpath(box)], timeout=60) == 0
            text = read_lines(box)["text"].replace("\\r\\n", "\n").replace("\\t", "\t")
            with open(os.devnull, "w") as null:
                subprocess.run(["xdotool", "mousemove", "512", "384", "key"] + keys,
                               env=session.env, stdin=subprocess.DEVNULL, stdout=null, stderr=null,
                               timeout=30)
        assert p.wait(60) in (0, 1)
        return open(out).read(), text

    # Room enough and no notice: no question at all.
    assert ask(40 * MB, 100 * MB, 0) == ("go", None)
    # The notice flag: the question with both figures; N answers No.
    result, text = ask(40 * MB, 100 * MB, 1, ["n"], "space_question.png")
    assert result == "stop"
    assert text == ("CONFIRM\n\nVarnel will extract files to your Temp Drive (C:)\n\n"
                    "Estimated space required on your Temp drive is: \t  40.0 MB\n"
                    "Free space available on your Temp drive is: \t  100.0 MB\n\n"
                    "Continue with Setup?\n\n"), repr(text)
    # Too little space: the warning; Enter answers Yes.
    result, text = ask(40 * MB, 10 * MB, 0, ["Return"])
    assert result == "go"
    assert text.startswith("CONFIRM\n\nLimited Free Space on your Temp Drive! (C:)\n"), text


def build_setup(work, name, engine_args=""):
    payload = os.path.join(work, "payload.bin")
    if not os.path.exists(payload):
        with open(payload, "wb") as f:
            f.write(os.urandom(300000))
    setup = os.path.join(work, name)
    argv = [PACK, "build", "--output", setup, "--stub", STUB, "--engine", ENGINE, "--temp-notice",
            "--file", payload]
    if engine_args:
        argv += ["--engine-args", engine_args]
    with open(setup + ".log", "w") as log:
        assert subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                              timeout=300).returncode == 0, open(setup + ".log").read()
    return setup


def megabytes(n):
    mb = n / MB
    return "%.1f" % mb if mb > 10 else ("%.2f" % mb if mb >= 1 else "%.3f" % mb)


def answer(session, work, keys):
    """Reads the shown box's text, then types keys on it."""
    assert session.probe("wait", "VMsgBox", 15000, "visible")
    box = os.path.join(work, "answer.box")
    assert session.run(DIALOGS, ["read", winpath(box)], timeout=60) == 0
    text = read_lines(box)["text"].replace("\\r\\n", "\n").replace("\\t", "\t")
    with open(os.devnull, "w") as null:
        subprocess.run(["xdotool", "mousemove", "512", "384", "key"] + keys, env=session.env,
                       stdin=subprocess.DEVNULL, stdout=null, stderr=null, timeout=30)
    return text


def package_question(session, work):
    # A real setup file with the notice flag: the reader's figures.
    setup = build_setup(work, "probe_setup.exe")
    out = os.path.join(work, "package.out")
    p = session.start(DIALOGS, ["package-space", winpath(setup), winpath(out)], log=out + ".log")
    text = answer(session, work, ["alt+n"])
    assert p.wait(60) == 1
    got = read_lines(out)
    assert got["room"] == "1" and got["go"] == "0", got
    needed = int(got["needed"])
    assert needed > 0
    assert "Temp Drive (C:)" in text and megabytes(needed) + " MB" in text, text

    # The same package on a drive that is too small: the warning, with the
    # real figures of the drive; Enter answers Yes.
    small = os.path.join(work, "small")
    os.makedirs(small)
    link = os.path.join(session.env["WINEPREFIX"], "dosdevices", "d:")
    if not mount_tmpfs(small, "64k"):
        return False
    try:
        os.symlink(small, link)
        p = session.start(DIALOGS, ["package-space", winpath(setup), winpath(out), "D:\\"],
                          log=out + ".log")
        text = answer(session, work, ["Return"])
        assert p.wait(60) == 0
        got = read_lines(out)
        assert got["room"] == "0" and got["go"] == "1", got
        assert text.startswith("CONFIRM\n\nLimited Free Space on your Temp Drive! (D:)\n"), text
        assert "\t  %s MB\n" % megabytes(free_bytes(small)) in text, text
    finally:
        if os.path.islink(link):
            os.remove(link)
        subprocess.run(["umount", small], timeout=30)
    return True


def setup_folders(session):
    temp = wine_temp_folder(session)
    return {n: sorted(os.listdir(os.path.join(temp, n))) for n in os.listdir(temp)
            if n.startswith("SETUP_") and os.path.isdir(os.path.join(temp, n))}


def stub_question(session, work):
    """The real stub with the notice flag: No ends the setup before anything
    is extracted and the engine never runs; Yes goes on."""
    record = os.path.join(work, "engine.record")
    setup = build_setup(work, "setup.exe", "--record=" + winpath(record))
    before = setup_folders(session)
    p = session.start(setup, log=os.path.join(work, "setup_no.log"))
    text = answer(session, work, ["n"])
    assert text.startswith("CONFIRM\n\nVarnel will extract files to your Temp Drive (C:)\n"), text
    p.wait(120)
    assert not os.path.exists(record), "the engine ran after No"
    # Nothing was extracted (the folder is removed again or stays empty).
    after = setup_folders(session)
    assert all(not files for name, files in after.items() if name not in before), after
    p = session.start(setup, log=os.path.join(work, "setup_yes.log"))
    answer(session, work, ["Return"])
    assert p.wait(120) == 0
    assert wait_for(lambda: os.path.exists(record), 30), "the engine did not run after Yes"
    with open(record, encoding="latin-1") as f:
        assert "File=payload.bin|300000" in f.read()


def main():
    work = scratch_dir("temp_folder")
    os.makedirs(SHOTS, exist_ok=True)
    with WineSession() as session:
        side_by_side(session, work)
        how = drive_choice(session, work)
        space_question(session, work)
        small = package_question(session, work)
        stub_question(session, work)
        assert not setup_folders(session), setup_folders(session)
        print("ok (drives: %s, small drive: %s)" % (how, "yes" if small else "no mount"))


if __name__ == "__main__":
    main()
