#!/usr/bin/env python3
"""The notice box under Wine: layout with and without an address, fonts,
centred on the screen, resizing, the button opening the address through the
shell and closing the box, a text-less notice opening the address alone, and
addresses that are not http or https never handed to the shell. The shell's
http handler is replaced for the run by a recorder (and restored)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, ROOT, WineSession, scratch_dir, wait_for, winpath  # noqa: E402

PROBE = os.path.join(BUILD, "tests", "programs", "notice-probe.exe")
SHOTS = os.path.join(ROOT, "build", "screenshots")
HANDLER_KEY = "HKLM\\Software\\Classes\\http\\shell\\open\\command"
TEXT = ("Version 2.5 of Tidewater Notes is ready.\r\n\r\nWhat is new:\r\n"
        + "".join("  - change number %d\r\n" % i for i in range(1, 40)))


def read_desc(path):
    if not os.path.exists(path):
        return {}
    with open(path, encoding="latin-1") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


def ints(text):
    return [int(v) for v in text.split(",")]


def show(wine, work, name, address, text, font="Tahoma", size=(500, 300)):
    """Starts the probe with one box; returns (process, result file, desc file)."""
    out = os.path.join(work, name + ".out")
    text_file = "-"
    if text:
        text_file = os.path.join(work, name + ".txt")
        with open(text_file, "wb") as f:
            f.write(text.encode("latin-1"))
        text_file = winpath(text_file)
    run = wine.start(PROBE, ["show", winpath(out), "Tidewater Notes - News", "&Read more", "0", "9",
                             font, str(size[0]), str(size[1]), address, text_file])
    return run, out, out + ".desc"


def result(path):
    return open(path).read().strip() if os.path.exists(path) else None


def check_layout(d, has_button):
    cw, ch = ints(d["client"])
    assert ints(d["text"]) == [3, 0, cw - 3, ch - (43 if has_button else 0)], d
    if has_button:
        assert ints(d["button"]) == [(cw - 160) // 2, ch - 33, 160, 25], d
    else:
        assert d["button"] == "none", d


def main():
    work = scratch_dir("notice_box")
    os.makedirs(SHOTS, exist_ok=True)
    opened = os.path.join(work, "opened.txt")
    saved = os.path.join(work, "http-handler.reg")
    with WineSession() as wine:
        assert wine.run("reg", ["export", "HKLM\\Software\\Classes\\http", winpath(saved), "/y"],
                        timeout=60) == 0
        handler = '"%s" record "%s" "%%1"' % (winpath(PROBE), winpath(opened))
        assert wine.run("reg", ["add", HANDLER_KEY, "/ve", "/d", handler, "/f"], timeout=60) == 0
        try:
            # With an address: text area above a strip with the button.
            run, out, desc = show(wine, work, "address", "  http://news.example.test/2.5  ", TEXT)
            assert wait_for(lambda: "button" in read_desc(desc), 30), "no notice box"
            d = read_desc(desc)
            assert d["title"] == "Tidewater Notes - News", d
            assert ints(d["window"]) == [(1024 - 500) // 2, (768 - 300) // 2, 500, 300], d
            check_layout(d, True)
            assert d["textface"] == "Verdana", d
            assert (d["buttonface"], d["buttonheight"]) == ("Tahoma", "-12"), d
            assert (d["caption"], d["default"], d["focus"]) == ("&Read more", "1", "1"), d
            assert (d["readonly"], d["vscroll"]) == ("1", "1"), d
            assert d["content"].replace("\\r", "").replace("\\n", "\n") == TEXT.replace("\r", ""), d
            assert wine.screenshot(os.path.join(SHOTS, "notice_box.png"))

            # Resizing keeps the button centred in the strip.
            assert wine.run(PROBE, ["resize", "700", "420"], timeout=60) == 0
            assert wait_for(lambda: ints(read_desc(desc).get("window", "0,0,0,0"))[2:] == [700, 420],
                            30), read_desc(desc)
            wait_for(lambda: False, 0.5)
            d = read_desc(desc)
            check_layout(d, True)

            # The button opens the trimmed address and closes the box.
            ox, oy = ints(d["origin"])
            bx, by, bw, bh = ints(d["button"])
            assert wine.click(ox + bx + bw // 2, oy + by + bh // 2)
            assert wait_for(lambda: result(out) is not None, 30), "the box stayed open"
            assert result(out) == "result=1"
            assert run.wait(30) == 0
            assert wait_for(lambda: os.path.exists(opened), 30), "the address was not opened"
            assert open(opened).read().split() == ["http://news.example.test/2.5"]
            os.remove(opened)

            # An address that is not http(s): no button, no strip, not opened;
            # any face but Tahoma is the text's face too.
            run, out, desc = show(wine, work, "share", "\\\\host\\share\\setup.exe", "Short notice.",
                                  font="Arial")
            assert wait_for(lambda: "button" in read_desc(desc), 30), "no notice box"
            d = read_desc(desc)
            check_layout(d, False)
            assert d["textface"] == "Arial", d
            assert wine.probe("close", "VRichEditBox")
            assert wait_for(lambda: result(out) is not None, 30) and result(out) == "result=1"
            assert run.wait(30) == 0

            # No text: the address alone is opened, no box; a local program never.
            for address, expected, opens in (("http://news.example.test/only", "result=1", True),
                                             ("C:\\windows\\notepad.exe", "result=0", False),
                                             ("", "result=0", False)):
                run, out, desc = show(wine, work, "textless", address, "")
                assert run.wait(60) == 0
                assert result(out) == expected, (address, result(out))
                assert not os.path.exists(desc), "a box was shown for " + address
                if opens:
                    assert wait_for(lambda: os.path.exists(opened), 30), address
                    assert open(opened).read().split() == [address]
                    os.remove(opened)
            wait_for(lambda: False, 1)
            assert not os.path.exists(opened), open(opened).read()
        finally:
            wine.run("reg", ["import", winpath(saved)], timeout=60)
    print("ok")


if __name__ == "__main__":
    main()
