"""Auto-inform end to end under Wine: an update folder whose .info says
[General] AutoInform=1 and whose INFORM file carries the agent's token.

- The agent's check shows the notice in the notice box (title s34, button
  s35, the .info's size; a screenshot goes to build/screenshots/); the button
  opens the trimmed address through the shell and closes the box;
  VersionOriginal becomes VersionNew.
- A later .info with a new Stamp but the same VersionNew shows nothing.
- A notice without text opens its address alone, no box.
- A notice without text whose address is not http or https opens nothing,
  and VersionOriginal stays.
The shell's http handler is replaced for the run by a recorder (restored)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from update_fixture import INFO, PERFORM_UPDATE_CYCLE, Boxes, Installation, build_agent, ini_text  # noqa: E402
from wine_harness import BUILD, ROOT, WineSession, scratch_dir, wait_for, winpath  # noqa: E402

FETCH = os.path.join(BUILD, "tests", "programs", "agent-fetch-probe.exe")
NOTICE = os.path.join(BUILD, "tests", "programs", "notice-probe.exe")
SHOTS = os.path.join(ROOT, "build", "screenshots")
HANDLER_KEY = "HKLM\\Software\\Classes\\http\\shell\\open\\command"
TEXT = ("Tidewater Notes 3.0 is out.\r\n\r\nWhat is new:\r\n"
        "  - notes sync between your computers\r\n  - a dark theme\r\n  - faster search\r\n\r\n"
        "Use the button below to download it.")
BACKGROUND_CHECK = 1  # command 31 with value 1: a check at the next tick, asked nothing


def inform_file(session, work, agent_package, path, text):
    """An INFORM file with the agent's token (its form made by the probe)."""
    probe_out = os.path.join(work, "inform-form.txt")
    assert session.run(FETCH, ["inform", winpath(agent_package), "x", winpath(probe_out)]) == 0
    head = open(probe_out, "rb").read()[:-1]
    with open(path, "wb") as f:
        f.write(head + text.encode("latin-1"))
    return path


def write_info(updates, inform, version, stamp, address):
    sections = {"General": {"AutoInform": 1},
                "NewSetup": {"DownloadURL_UPDATE": winpath(updates), "ProgramName": "Tidewater Notes",
                             "VersionNew": version, "Stamp": stamp},
                "AutoInform": {"DownloadURL_INFORM": address, "NameOfInformFile": os.path.basename(inform),
                               "SizeOfInformFile": os.path.getsize(inform), "AutoInformW": 520,
                               "AutoInformH": 340}}
    with open(os.path.join(updates, INFO), "w", newline="") as f:
        f.write(ini_text(sections))


def opened_addresses(path):
    return open(path).read().split() if os.path.exists(path) else []


def check(install):
    """Asks for a background check; waits for its decision."""
    decisions = install.log_count("GetOkToPerformAU = ")
    install.command(PERFORM_UPDATE_CYCLE, BACKGROUND_CHECK)
    install.wait_log("GetOkToPerformAU = ", decisions + 1, 60)


def click_button(session, work):
    """Clicks the notice box's button where it is on the screen."""
    window, children = session.window_info("VRichEditBox", os.path.join(work, "notice.txt"))
    assert window, "no notice box"
    x, y, w, h = (int(v) for v in window[3:7])
    text = next(c for c in children if c[0].upper() == "RICHEDIT")
    button = next(c for c in children if c[0] == "Button")
    assert button[1] == "&Read more", button
    # Client size from the layout: the text area spans the client width
    # less 3 on each side, the button stands 33 above the client's bottom.
    cw = int(text[3]) * 2 + int(text[5])
    ch = int(button[4]) + 33
    border = (w - cw) // 2
    cx, cy = x + border, y + h - border - ch
    bx, by, bw, bh = (int(v) for v in button[3:7])
    assert session.click(cx + bx + bw // 2, cy + by + bh // 2)


def main():
    work = scratch_dir("auto_inform")
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    os.makedirs(SHOTS, exist_ok=True)
    opened = os.path.join(work, "opened.txt")
    saved = os.path.join(work, "http-handler.reg")
    with WineSession() as session:
        agent = build_agent(os.path.join(work, "agent.exe"), winpath(updates))
        install = Installation(session, work, agent)
        install.lay_out({"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                                           "ProbeSecondsLast": 0}})
        boxes = Boxes(session, work)
        news = inform_file(session, work, agent, os.path.join(updates, "News-3.txt"), TEXT)
        write_info(updates, news, 3, 2, "  http://news.example.test/tidewater-3  ")
        assert session.run("reg", ["export", "HKLM\\Software\\Classes\\http", winpath(saved), "/y"],
                           timeout=60) == 0
        handler = '"%s" record "%s" "%%1"' % (winpath(NOTICE), winpath(opened))
        assert session.run("reg", ["add", HANDLER_KEY, "/ve", "/d", handler, "/f"], timeout=60) == 0
        try:
            # The first check (fourth tick) shows the notice.
            install.start_agent()
            assert session.probe("wait", "VRichEditBox", 60000, "visible"), "no notice box"
            wait_for(lambda: False, 1)
            window, children = session.window_info("VRichEditBox", os.path.join(work, "notice.txt"))
            assert window[1] == "Tidewater Notes - News", window
            assert [int(v) for v in window[5:7]] == [520, 340], window
            assert session.screenshot(os.path.join(SHOTS, "agent_notice.png"))
            assert install.original("VersionOriginal") == "1"
            click_button(session, work)
            assert session.probe("gone", "VRichEditBox", 20000), "the notice stayed"
            assert wait_for(lambda: opened_addresses(opened), 30), "the address was not opened"
            assert opened_addresses(opened) == ["http://news.example.test/tidewater-3"], opened_addresses(opened)
            os.remove(opened)
            install.wait_log("PerformAutoInform() - END TRUE", 1, 30)
            assert install.original("VersionOriginal") == "3"
            # The notice text was read from the agent's download folder, which
            # goes with it once the notice is done: nothing is left behind.
            assert not os.path.exists(os.path.join(install.folder, "News-3.txt")), "the notice file was kept"
            assert not os.path.exists(os.path.join(install.folder, "X_TidewaterAgent.downloads"))

            # A new Stamp, the same version: nothing is shown.
            write_info(updates, news, 3, 3, "http://news.example.test/tidewater-3")
            check(install)
            decision = [line for line in install.log_lines() if "GetOkToPerformAU = " in line][-1]
            assert "GetOkToPerformAU = 3 - " in decision, decision
            assert not session.probe("wait", "VRichEditBox", 3000), "the same notice came again"
            assert boxes.none_within(1000)

            # No text: the address alone is opened.
            bare = inform_file(session, work, agent, os.path.join(updates, "News-4.txt"), "")
            write_info(updates, bare, 4, 4, "http://news.example.test/tidewater-4")
            check(install)
            install.wait_log("PerformAutoInform() - END TRUE", 2, 30)
            assert wait_for(lambda: opened_addresses(opened), 30), "the address was not opened"
            assert opened_addresses(opened) == ["http://news.example.test/tidewater-4"], opened_addresses(opened)
            assert not session.probe("wait", "VRichEditBox", 0)
            assert install.original("VersionOriginal") == "4"
            os.remove(opened)

            # No text and an address that is not http(s): nothing is opened.
            write_info(updates, bare, 5, 5, "C:\\windows\\notepad.exe")
            check(install)
            install.wait_log("PerformAutoInform() - END FALSE", 1, 30)
            assert not wait_for(lambda: os.path.exists(opened), 2), opened_addresses(opened)
            assert not session.probe("wait", "Notepad", 0), "a local program was started"
            assert not session.probe("wait", "VRichEditBox", 0)
            assert install.original("VersionOriginal") == "4"
            install.stop_agent()
        finally:
            session.run("reg", ["import", winpath(saved)], timeout=60)
    print("auto inform: ok")


if __name__ == "__main__":
    main()
