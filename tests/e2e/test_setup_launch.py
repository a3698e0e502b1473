"""A plain setup file from start to end under Wine: the engine's command line
(its quoted path, the stub's arguments, the extra text after the engine's "*",
"/TH_ID=", "/OriginExe=" added once), the engine's exit code passed through,
"/hide" and the update block's run-hidden item (no question), shortcuts named
by settings files beside a plain setup left alone, the wait for the engine's
dialog window, and no setup folder left behind."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import WineSession, build_setup, scratch_dir, wait_for, winpath  # noqa: E402
from setup_run import (clear_setup_folders, engine_record, record_arg,  # noqa: E402
                       run_setup)


def command_line(session, work, setup, args, record):
    if os.path.exists(record):
        os.remove(record)
    rc = run_setup(session, setup, args)
    values, files = engine_record(record)
    return rc, values, files


def main():
    work = scratch_dir("setup_launch")
    readme = os.path.join(work, "readme.txt")
    with open(readme, "w") as f:
        f.write("hello\n")
    record = os.path.join(work, "engine.rec")
    setup = os.path.join(work, "setup.exe")
    assert build_setup(setup, [readme], engine_args=record_arg(record) + " --exit=7") == 0

    with WineSession() as s:
        clear_setup_folders(s)

        # The stub's arguments, then the member's extra text, then the added switches.
        rc, v, files = command_line(s, work, setup, ["/S"], record)
        assert rc == 7, rc
        folder = v["Folder"]
        assert v["CommandLine"] == ("\"%s\\Engine.exe\" /S %s --exit=7 /TH_ID=%s /OriginExe=\"%s\""
                                    % (folder, record_arg(record), v["TH_ID"], winpath(setup))), v
        assert v["TH_ID"].startswith("_") and v["TH_ID"][1:].isdigit(), v
        assert v["AtomFound"] == "1"
        assert [name for name, _ in files] == ["Engine.exe", "readme.txt"], files
        assert dict(files)["readme.txt"] == 6

        # An origin given by the caller is passed on, not doubled.
        rc, v, _ = command_line(s, work, setup, ["/OriginExe=D:\\first\\setup.exe", "/Q"], record)
        assert rc == 7, rc
        assert v["OriginExe"] == "D:\\first\\setup.exe", v
        assert v["CommandLine"].count("/OriginExe=") == 1, v
        assert " /Q " in v["CommandLine"], v

        # The notice flag would ask before extracting; hidden runs never ask.
        noticed = os.path.join(work, "noticed.exe")
        assert build_setup(noticed, [readme], engine_args=record_arg(record),
                           options=["--temp-notice"]) == 0
        rc, v, _ = command_line(s, work, noticed, ["/hide"], record)
        assert rc == 0 and "/hide" in v["CommandLine"], (rc, v)
        hidden = os.path.join(work, "hidden.exe")
        assert build_setup(hidden, [readme], engine_args=record_arg(record),
                           options=["--temp-notice", "--run-hidden"]) == 0
        rc, v, _ = command_line(s, work, hidden, [], record)
        assert rc == 0, rc

        # Shortcuts named by ".original" and ".info" files beside a plain
        # setup (anyone can put them into a Downloads folder) stay, after a
        # failed run and after a successful one: only an update agent removes
        # the shortcuts its own settings name.
        product = os.path.join(work, "product")
        os.makedirs(product)
        shortcut_setup = os.path.join(product, "setup.exe")
        assert build_setup(shortcut_setup, [readme], engine_args=record_arg(record),
                           options=["--info-file", "App.info"]) == 0
        links = [os.path.join(work, "startup.lnk"), os.path.join(work, "check.lnk")]
        with open(os.path.join(product, "App.original"), "w") as f:
            f.write("[UnInstall]\r\nStartUpLink=%s\r\nCheckforNewUpdateLink=%s\r\n"
                    % (winpath(links[0]), winpath(links[1])))
        with open(os.path.join(product, "App.info"), "w") as f:
            f.write("[NewSetup]\r\nRemoveStartUpShortcut=1\r\nRemoveCheckForNewUpdateShortcut=1\r\n")
        for link in links:
            open(link, "w").close()
        rc, v, _ = command_line(s, work, shortcut_setup, ["--keep-atom", "--exit=3"], record)
        assert rc == 3, rc
        assert all(os.path.exists(link) for link in links), "shortcuts removed without success"
        rc, v, _ = command_line(s, work, shortcut_setup, [], record)
        assert rc == 0, rc
        assert all(os.path.exists(link) for link in links), "a plain setup removed shortcuts"

        # The stub waits for the engine's dialog window, even after the engine ended.
        os.remove(record)
        run = s.start(setup, ["--linger-dialog-ms=5000"], log=setup + ".linger.log")
        assert wait_for(lambda: os.path.exists(record) and "Exit=" in open(record).read(), 60)
        engine_end = time.time()
        assert run.wait(60) == 7
        assert time.time() - engine_end >= 4.5, "the stub did not wait for the dialog window"
    print("ok")


if __name__ == "__main__":
    main()
