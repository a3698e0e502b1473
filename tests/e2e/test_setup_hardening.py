"""Setup runs that a careless or hostile world brings about, under Wine:
a setup file whose end is missing tells the user which file is damaged
(and, hidden, only ends with code 2); an engine ending with 259 is not
waited for forever; the engine is started by its quoted path; a plain
setup leaves alone the files that ".original" and ".info" files lying
beside it name; a spanned setup started hidden whose next disk is missing
ends with the cancel code and shows nothing; a setup path longer than a
window class name still runs; a RICHED32.DLL planted beside a program that
cannot narrow its library search is not loaded by the message box."""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, STUB, WineSession, build_setup, scratch_dir, winpath  # noqa: E402
from setup_run import (DIALOGS, clear_setup_folders, engine_record, press, read_box,  # noqa: E402
                       record_arg, run_setup, setup_folders)

PLANTED = os.path.join(BUILD, "tests", "programs", "planted.dll")
MARK = "PLANTED_LIBRARY_LOADED"


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def truncated(s, work):
    record = os.path.join(work, "cut.rec")
    data = write(os.path.join(work, "data.bin"), os.urandom(200000))
    setup = os.path.join(work, "cut.exe")
    assert build_setup(setup, [data], engine_args=record_arg(record)) == 0
    size = os.path.getsize(setup)
    with open(setup, "r+b") as f:
        f.truncate(size - 50000)  # a download that stopped early

    run = s.start(setup, [], log=setup + ".run.log")
    shown = read_box(s, work, "cut")
    assert "cut.exe" in shown, shown
    s.screenshot(os.path.join(work, "truncated.png"))
    press(s, "Return")
    assert run.wait(60) == 2
    assert not os.path.exists(record), "the engine ran from a damaged setup file"
    assert run_setup(s, setup, ["/hide"], timeout=60) == 2  # nothing to answer


def engine_exit_259(s, work):
    record = os.path.join(work, "259.rec")
    setup = os.path.join(work, "e259.exe")
    assert build_setup(setup, [], engine_args=record_arg(record) + " --exit=259") == 0
    # Before, the stub waited for it forever. The host sees the low byte of
    # the exit code.
    rc = run_setup(s, setup, timeout=90)
    assert rc == 259 & 0xFF, rc
    values, _ = engine_record(record)
    assert values.get("Exit") == "259", values
    # The engine's path comes quoted: a folder with blanks stays one argument.
    assert values["CommandLine"].startswith('"'), values["CommandLine"]


def foreign_settings(s, work):
    """A plain setup run from a folder where someone put settings files."""
    record = os.path.join(work, "plain.rec")
    victim = write(os.path.join(work, "victim.txt"), b"keep me")
    folder = os.path.join(work, "downloads")
    os.makedirs(folder, exist_ok=True)
    setup = os.path.join(folder, "Product.exe")
    assert build_setup(setup, [], engine_args=record_arg(record),
                       options=["--info-file", "Product.info"]) == 0
    with open(os.path.join(folder, "Product.original"), "w") as f:
        f.write("[UnInstall]\r\nStartUpLink=%s\r\nCheckforNewUpdateLink=%s\r\n"
                % (winpath(victim), winpath(victim)))
    with open(os.path.join(folder, "Product.info"), "w") as f:
        f.write("[NewSetup]\r\nRemoveStartUpShortcut=1\r\nRemoveCheckForNewUpdateShortcut=1\r\n")
    assert run_setup(s, setup) == 0
    engine_record(record)
    assert os.path.exists(victim), "a plain setup deleted a file named beside it"


def hidden_missing_disk(s, work):
    record = os.path.join(work, "span.rec")
    parts = [write(os.path.join(work, "p%d.bin" % i), os.urandom(150000)) for i in range(3)]
    setup = os.path.join(work, "span.exe")
    assert build_setup(setup, parts, engine_args=record_arg(record),
                       options=["--span", str(os.path.getsize(STUB) + 300000)]) == 0
    disks = sorted(n for n in os.listdir(work) if n.startswith("span.exe.") and n[-3:].isdigit())
    assert disks, os.listdir(work)
    os.remove(os.path.join(work, disks[-1]))
    started = time.time()
    assert run_setup(s, setup, ["/hide"], timeout=60) == 5
    assert not os.path.exists(record)
    assert time.time() - started < 55


def long_path(s, work):
    record = os.path.join(work, "long.rec")
    folder = os.path.join(work, "L" * 20)
    setup_dir = folder
    # A setup path of 257 or more characters (as Windows counts them): longer than a
    # window class name can be, within what a path may be.
    while len(winpath(setup_dir)) + 31 <= 245:
        setup_dir = os.path.join(setup_dir, "d" * 30)
    setup_dir = os.path.join(setup_dir, "e" * (245 - len(winpath(setup_dir)) - 1))
    os.makedirs(setup_dir, exist_ok=True)
    setup = os.path.join(setup_dir, "s" * 8 + ".exe")
    assert 256 < len(winpath(setup)) < 260, len(winpath(setup))
    assert build_setup(setup, [], engine_args=record_arg(record)) == 0
    assert run_setup(s, setup, timeout=90) == 0
    engine_record(record)
    shutil.rmtree(folder, ignore_errors=True)


def planted_riched32(s, work):
    """The dialogs probe does not restrict its library search, as on a
    system without SetDefaultDllDirectories: RICHED32.DLL must still come
    from the system folder."""
    folder = os.path.join(work, "planted")
    os.makedirs(folder, exist_ok=True)
    probe = os.path.join(folder, "dialogs-probe.exe")
    shutil.copyfile(DIALOGS, probe)
    shutil.copyfile(PLANTED, os.path.join(folder, "RICHED32.DLL"))
    env = dict(s.env)
    s.env["WINEDLLOVERRIDES"] += ";riched32=n,b"
    try:
        out = os.path.join(folder, "result.txt")
        run = s.start(probe, ["box", "error", winpath(out)], log=probe + ".log")
        assert s.probe("wait", "VMsgBox", 20000, "visible"), "no message box"
        press(s, "Return")
        run.wait(60)
    finally:
        s.env.clear()
        s.env.update(env)
    assert not os.path.exists(os.path.join(folder, MARK)), "a planted RICHED32.DLL was loaded"


def main():
    work = scratch_dir("setup_hardening")
    with WineSession() as s:
        clear_setup_folders(s)
        truncated(s, work)
        engine_exit_259(s, work)
        foreign_settings(s, work)
        hidden_missing_disk(s, work)
        long_path(s, work)
        planted_riched32(s, work)
        assert not setup_folders(s), setup_folders(s)
    print("ok")


if __name__ == "__main__":
    main()
