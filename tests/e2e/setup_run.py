"""Helpers shared by the setup-run scenarios: running a built setup file to
its end, the test engine's record, the setup folders left in the prefix's
temporary folder, and the message box shown by a run."""
import os
import shutil
import subprocess
import time

from wine_harness import BUILD, ROOT, read_record, wine_temp_folder, winpath

DIALOGS = os.path.join(BUILD, "tests", "programs", "dialogs-probe.exe")


def setup_folders(session):
    """The SETUP_ folders in the prefix's temporary folder."""
    temp = wine_temp_folder(session)
    return sorted(n for n in os.listdir(temp)
                  if n.startswith("SETUP_") and os.path.isdir(os.path.join(temp, n)))


def clear_setup_folders(session):
    temp = wine_temp_folder(session)
    for name in setup_folders(session):
        shutil.rmtree(os.path.join(temp, name), ignore_errors=True)


def run_setup(session, setup, args=(), timeout=120):
    """Runs a setup file to its end; returns its exit code. Afterwards no
    setup folder may be left behind."""
    log = setup + ".run.log"
    rc = session.run(setup, list(args), timeout=timeout, log=log)
    left = setup_folders(session)
    assert not left, "setup folder left behind by %s: %s" % (setup, left)
    return rc


def quiet(session, argv, timeout=60):
    with open(os.devnull, "w") as null:
        return subprocess.run(argv, env=session.env, stdin=subprocess.DEVNULL, stdout=null,
                              stderr=null, timeout=timeout).returncode


def record_arg(path):
    """The engine option that makes it write its record to `path`."""
    return "--record=" + winpath(path)


def engine_record(path):
    assert os.path.exists(path), "the engine did not run (no record %s)" % path
    return read_record(path)


def read_box(session, work, name):
    """The text of the message box on screen, read through dialogs-probe."""
    assert session.probe("wait", "VMsgBox", 20000, "visible"), "no message box for " + name
    time.sleep(0.3)
    out = os.path.join(work, name + ".box")
    assert session.run(DIALOGS, ["read", winpath(out)], timeout=60) == 0, "cannot read " + name
    with open(out, encoding="latin-1") as f:
        lines = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
    return lines.get("text", "").replace("\\r\\n", "\n").replace("\\t", "\t")


def press(session, *keys):
    """Keys to the active window (the message box)."""
    with open(os.devnull, "w") as null:
        subprocess.run(["xdotool", "mousemove", "512", "384", "key"] + list(keys), env=session.env,
                       stdin=subprocess.DEVNULL, stdout=null, stderr=null, timeout=30)
