"""The main job's run: starts a setup file under Wine (under Xvfb when there
is no display), takes a screenshot of the stub window while it extracts, and
prints what happened: the engine's command line, the installed files, the
exit code and the screenshot's path.

usage: demo_run.py SETUP INSTALL_DIR
INSTALL_DIR is the Windows folder the engine installs into (its --install).
"""
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from wine_harness import WineSession, read_record, winpath  # noqa: E402


def host_path(session, windows_path):
    """Host path of a C:\\ path in the Wine prefix."""
    drive_c = os.path.join(session.env["WINEPREFIX"], "drive_c")
    return os.path.join(drive_c, *windows_path[3:].split("\\"))


def main():
    setup, install_dir = sys.argv[1], sys.argv[2]
    work = os.path.dirname(os.path.abspath(setup))
    record = os.path.join(work, "engine-record.txt")
    screen = os.path.join(work, "screen.png")
    shot = os.path.join(work, "stub-window.png")
    for stale in (record, screen, shot):
        if os.path.exists(stale):
            os.remove(stale)

    with WineSession() as wine:
        install = host_path(wine, install_dir)
        shutil.rmtree(install, ignore_errors=True)
        started = time.time()
        run = wine.start(setup, ["/S", "--record=" + winpath(record)])
        have_shot = False
        if wine.probe("wait", winpath(setup), 30000, "visible"):
            # The window shows for a second before the members are written and
            # a second after; in between the progress bar fills.
            time.sleep(1.4)
            window, _ = wine.window_info(winpath(setup), os.path.join(work, "window.txt"))
            if window and wine.screenshot(screen):
                x, y, w, h = (int(v) for v in window[3:7])
                have_shot = subprocess.run(
                    ["convert", screen, "-crop", "%dx%d+%d+%d" % (w + 16, h + 16, x - 8, y - 8),
                     "+repage", shot], stdin=subprocess.DEVNULL, timeout=60).returncode == 0
        code = run.wait(300)
        elapsed = time.time() - started

    values = read_record(record)[0] if os.path.exists(record) else {}
    print("Stub exit code: %d (the run took %.1f s)" % (code, elapsed))
    print("Engine command line: %s" % values.get("CommandLine", "(the engine did not run)"))
    print("Installed files in %s:" % install_dir)
    installed = sorted(os.listdir(install)) if os.path.isdir(install) else []
    for name in installed:
        print("  %-16s %8d bytes" % (name, os.path.getsize(os.path.join(install, name))))
    if not installed:
        print("  (none)")
    print("Screenshot of the stub window during extraction: %s" %
          (shot if have_shot else "(none: the window did not show)"))
    if have_shot:
        print("  (the whole screen at that moment: %s)" % screen)
    sys.exit(0 if code == 0 and installed and have_shot else 1)


if __name__ == "__main__":
    main()
