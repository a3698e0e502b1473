"""Message boxes under Wine and Xvfb, seen and driven from outside: the
window of class VMsgBox and its children are read with WindowProbe, keys
are typed with xdotool on the X display, and the box's result comes back
through the probe program. Screenshots of three boxes are saved under
build/screenshots/ for a person to look at."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, ROOT, WineSession, scratch_dir, wait_for, winpath  # noqa: E402

DIALOGS = os.path.join(BUILD, "tests", "programs", "dialogs-probe.exe")
SHOTS = os.path.join(ROOT, "build", "screenshots")


def xdotool(session, *args):
    with open(os.devnull, "w") as null:
        return subprocess.run(["xdotool"] + list(args), env=session.env, stdin=subprocess.DEVNULL,
                              stdout=null, stderr=null, timeout=30).returncode == 0


def show(session, work, kind, timeout_ms=0):
    """Starts a box; returns (process, result file) once it is on screen."""
    result = os.path.join(work, kind + ".result")
    if os.path.exists(result):
        os.remove(result)
    args = ["box", kind, winpath(result)] + ([str(timeout_ms)] if timeout_ms else [])
    p = session.start(DIALOGS, args, log=os.path.join(work, kind + ".log"))
    assert session.probe("wait", "VMsgBox", 15000, "visible"), "no box for " + kind
    return p, result


def describe(session, work, name):
    """The box as dialogs-probe reads it from another process: a dict of
    title, window, client, text, area, greyed and the list of buttons."""
    out = os.path.join(work, name + ".box")
    assert session.run(DIALOGS, ["read", winpath(out)], timeout=60) == 0, "cannot read " + name
    box = {"button": []}
    with open(out, encoding="latin-1") as f:
        for line in f.read().splitlines():
            key, _, value = line.partition("=")
            if key == "button":
                caption, rect, default = value.split("|")
                box["button"].append((caption, [int(v) for v in rect.split(",")], default == "1"))
            elif key in ("window", "client", "area"):
                box[key] = [int(v) for v in value.split(",")]
            elif key == "text":
                box[key] = value.replace("\\r", "\r").replace("\\n", "\n").replace("\\t", "\t")
            else:
                box[key] = value
    return box


def finish(p, result, expected, what):
    assert p.wait(30) == expected, "%s: exit code %s, expected %s" % (what, p.returncode, expected)
    with open(result) as f:
        assert f.read().strip() == str(expected), what


def type_keys(session, *keys, at=None):
    # Without a window manager the keyboard follows the pointer: put it on
    # the box (boxes are centred unless `at` gives the window's rectangle).
    x, y = (512, 384) if at is None else (at[0] + at[2] // 2, at[1] + at[3] // 2)
    xdotool(session, "mousemove", str(x), str(y))
    return xdotool(session, "key", "--delay", "50", *keys)


def check_layout(box, captions):
    """Geometry rules every box keeps; returns the text."""
    x, y, w, h = box["window"]
    cw, ch = box["client"]
    assert w >= 360, box
    ax, ay, aw, ah = box["area"]
    assert aw <= 610 and ax == 54 + (cw - 54 - aw) // 2 and ay + ah == ch - 39, box
    buttons = box["button"]
    assert [b[0] for b in buttons] == captions, buttons
    for i, (_, (bx, by, bw, bh), _) in enumerate(buttons):
        assert (bw, bh) == (70, 23) and by == ch - 29, buttons
        assert bx + bw == cw - 10 - 70 * (len(buttons) - 1 - i), buttons
    assert buttons[0][2], "the first button is the default: %s" % (buttons,)
    return box["text"]


def main():
    work = scratch_dir("message_box")
    os.makedirs(SHOTS, exist_ok=True)
    with WineSession() as session:
        # An error box: heading, OK; Enter chooses OK.
        p, result = show(session, work, "error")
        time.sleep(0.5)  # let it paint before the picture
        assert session.screenshot(os.path.join(SHOTS, "error_box.png"))
        box = describe(session, work, "error")
        assert box["title"] == "Error", box
        text = check_layout(box, ["&OK"])
        assert text.startswith("ERROR\r\n\r\nThe setup file could not be read.\r\nPlease"), text
        assert box["greyed"] == "0"
        type_keys(session, "Return")
        finish(p, result, 1, "error box, Enter")

        # A confirmation with bold runs and tabs; Alt+N answers No.
        p, result = show(session, work, "confirm")
        time.sleep(0.5)
        assert session.screenshot(os.path.join(SHOTS, "confirm_box.png"))
        box = describe(session, work, "confirm")
        assert box["title"] == "Confirm", box
        text = check_layout(box, ["&Yes", "&No"])
        assert "Space required:\t38.0 MB\r\n" in text, text
        type_keys(session, "alt+n")
        finish(p, result, 7, "confirm box, Alt+N")

        # Right-to-left (character set 177); Escape closes with 0.
        p, result = show(session, work, "rtl")
        time.sleep(0.5)
        assert session.screenshot(os.path.join(SHOTS, "rtl_box.png"))
        box = describe(session, work, "rtl")
        assert box["title"] == "Attention", box
        assert check_layout(box, ["&Yes", "&No"]).startswith("ATTENTION\r\n")
        type_keys(session, "Escape")
        finish(p, result, 0, "rtl box, Escape")

        # Keys typed on the X display: Tab moves, letters choose.
        for keys, expected in ((["Tab", "Tab", "Return"], 2), (["Right", "Return"], 7),
                               (["Left", "Return"], 2), (["y"], 6), (["alt+c"], 2)):
            p, result = show(session, work, "yesnocancel")
            type_keys(session, *keys)
            finish(p, result, expected, "keys %s" % keys)

        # The caption's close button: the box closes with 0.
        p, result = show(session, work, "yesnocancel")
        assert session.probe("close", "VMsgBox")
        finish(p, result, 0, "close command")

        # The developer switch moves one particular question 150 pixels
        # right and down.
        places = []
        for dvx in (None, "735"):
            if dvx:
                session.env["DVX"] = dvx
            p, result = show(session, work, "entry")
            places.append(describe(session, work, "entry")["window"])
            type_keys(session, "Return", at=places[-1])
            finish(p, result, 6, "entry box")
            session.env.pop("DVX", None)
        (x0, y0, w0, h0), (x1, y1, w1, h1) = places
        assert (x1 - x0, y1 - y0, w1, h1) == (150, 150, w0, h0), places

        # Left alone, a confirmation with a five-second time-out says Yes.
        start = time.time()
        p, result = show(session, work, "confirm", 5000)
        finish(p, result, 6, "time-out")
        assert time.time() - start >= 4.9
        print("ok")


if __name__ == "__main__":
    main()
