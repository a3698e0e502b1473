"""The stub window while a setup extracts: its size, title and controls (the
status line and activity bar mirrored for Hebrew and Arabic), and the close
button: the first close only asks the work to stop, the second one closes
the window, removes the temporary folder and ends the stub as cancelled (5)
without starting the engine. The close is sent while the extraction waits
at the prompt for a missing second disk: a shown window stays up only as long
as the work (and a short minimum), so the prompt holds it there however fast
the machine extracts."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import (STUB, WineSession, build_setup, read_record, scratch_dir,  # noqa: E402
                          wait_for, wine_temp_folder, winpath)


def write(path, text):
    with open(path, "w") as f:
        f.write(text)
    return path


def check_layout(wine, work, charset, status_x, activity_x):
    tag = "cs%d" % charset
    # Only the right-to-left package names its window; the other shows the
    # built-in title.
    title = "Sample Setup %d" % charset if charset else "Varnel Installation Suite"
    lang = write(os.path.join(work, tag + ".txt"), "[English]\nCharset=%d\n%s" %
                 (charset, "s0=%s\n" % title if charset else ""))
    payload = write(os.path.join(work, tag + "-data.txt"), "x" * 1000)
    setup = os.path.join(work, tag + "-setup.exe")
    assert build_setup(setup, [payload], options=["--language", lang]) == 0, \
        open(setup + ".log").read()
    hold = os.path.join(work, tag + ".hold")
    run = wine.start(setup, ["--hold-until=" + winpath(hold)])
    assert wine.probe("wait", winpath(setup), 30000, "visible"), "stub window never showed"
    window, rows = wine.window_info(winpath(setup), os.path.join(work, tag + ".info"))
    open(hold, "w").close()
    assert run.wait(60) == 0

    children = [(r[0], r[2] == "1", tuple(int(v) for v in r[3:7])) for r in rows]
    assert window[1] == title, window
    assert (int(window[5]), int(window[6])) == (492, 110), window
    expected = [
        ("Static", True, (status_x, 20, 340, 18)),
        ("msctls_progress32", True, (70, 38, 392, 13)),
        ("msctls_progress32", False, (activity_x, 20, 46, 13)),
    ]
    assert children == expected, children


def check_close(wine, work):
    # Two disks: the second, removed, makes the extraction ask for it.
    big = os.path.join(work, "big.bin")
    with open(big, "wb") as f:
        f.write(os.urandom(300000))
    folder = os.path.join(work, "close")
    os.makedirs(folder)
    setup = os.path.join(folder, "setup.exe")
    assert build_setup(setup, [big], options=["--span", str(os.path.getsize(STUB) + 320000)]) == 0, \
        open(setup + ".log").read()
    os.remove(setup + ".002")
    record = os.path.join(work, "close-record.txt")
    temp = wine_temp_folder(wine)
    before = set(os.listdir(temp))
    run = wine.start(setup, ["--record=" + winpath(record)])
    cls = winpath(setup)
    assert wine.probe("wait", cls, 30000, "visible"), "stub window never showed"
    made = set(os.listdir(temp)) - before
    assert any(n.startswith("SETUP_") for n in made), made
    assert wine.probe("wait", "VMsgBox", 30000, "visible"), "no prompt for the second disk"

    # The prompt is modal: it disables the stub window and its caption
    # button, so the close request (WM_CLOSE, what that button leads to) comes
    # from another program, as a deployment tool or a task manager sends it.
    WM_CLOSE = 0x10
    assert wine.probe("post", cls, WM_CLOSE, 0, 0)
    assert not wine.probe("gone", cls, 700), "the first close closed the window"
    assert wine.probe("post", cls, WM_CLOSE, 0, 0)
    assert wine.probe("gone", cls, 10000), "the second close left the window"
    assert run.wait(60) == 5, "closing the window is not reported as a cancel"
    assert not os.path.exists(record), "the engine ran after the window was closed"
    left = [n for n in set(os.listdir(temp)) - before if n.startswith("SETUP_") and
            os.path.isdir(os.path.join(temp, n))]
    assert not left, "temporary folder left behind: %s" % left


def main():
    work = scratch_dir("stub_window")
    with WineSession() as wine:
        check_layout(wine, work, 0, 70, 416)
        check_layout(wine, work, 177, 122, 70)
        check_close(wine, work)
    print("ok")


if __name__ == "__main__":
    main()
