"""The update agent's whole cycle under Wine, on a product installed under a
folder whose path holds a blank (".../Program Files/Tidewater"):

- The round trip: the installed agent makes and starts its X_ copy, which
  finds a newer .info in a local update folder, offers the update (the box
  answered from outside), downloads and proves the new setup, asks before
  installing, shows its "close the product" notice again and again until the
  product is closed, runs the new setup with "/OriginalInfoFile=" (the test
  engine records it and installs the new product, its options and the agent
  that the setup run writes from the new setup), updates VersionOriginal, asks
  whether to start the product again and does, and restarts itself: the
  installed agent, started with /_ZZ=99 /WAIT=10 and the override list, puts
  the new agent file in place as a new X_ copy, which keeps the override set
  before the restart and looks into the new setup's update folder. A program
  planted at the path's part before the blank ("Program.exe") never runs.
- The other shut-down methods, one check each on one running agent with no
  questions (the new setup fetched from a loopback HTTP server in some rows):
  WM_CLOSE, WM_QUIT, termination, "Don't Shut Down", and WM_CLOSE refused by
  the product; the product's record says what it got and whether the agent
  started it again.
Screenshots go to build/screenshots/."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import LoopbackServer  # noqa: E402
from setup_run import press  # noqa: E402
from update_fixture import (AGENT, AGENT_CLASS, ASK_BEFORE_CHECK, INFO, PERFORM_UPDATE_CYCLE, PRODUCT_CLASS,  # noqa: E402
                            PRODUCT_EXE, Boxes, Installation, build_agent, build_update, ini_text, product_record,
                            starts)
from wine_harness import ROOT, WineSession, read_record, scratch_dir, wait_for, winpath  # noqa: E402

SHOTS = os.path.join(ROOT, "build", "screenshots")
WM_QUIT = 0x0012


def write_info(updates, setup, url, version, stamp, **settings):
    """The update folder's .info offering `setup` (a file in `updates`)."""
    new_setup = {"DownloadURL_UPDATE": url, "NameOfUpdateFile": os.path.basename(setup),
                 "SizeOfUpdateFile": os.path.getsize(setup), "RunningProcess": "<InstallDir>\\TestProduct.exe",
                 "ProgramName": "Tidewater Notes", "VersionNew": version, "Stamp": stamp}
    new_setup.update(settings)
    with open(os.path.join(updates, INFO), "w", newline="") as f:
        f.write(ini_text({"NewSetup": new_setup}))


def planted_program(work):
    """TestProduct.exe at `work`/Program.exe, the program Windows would take
    for an unquoted ".../Program Files/..." command line; returns its record."""
    shutil.copy2(PRODUCT_EXE, os.path.join(work, "Program.exe"))
    record = os.path.join(work, "planted.txt")
    with open(os.path.join(work, "Program.args"), "w") as f:
        f.write('--class=PlantedProgram --record="%s"\r\n' % winpath(record))
    return record


def round_trip(session, work, updates):
    os.makedirs(SHOTS, exist_ok=True)
    planted = planted_program(work)
    old_agent = build_agent(os.path.join(work, "agent-1.exe"), winpath(updates))
    # Version 2.0 moves its update folder: the new agent, written by the
    # setup run from the new setup, looks there.
    updates_2 = os.path.join(work, "updates-2")
    os.makedirs(updates_2)
    install = Installation(session, work, old_agent)
    product_rec = os.path.join(work, "product.txt")
    engine_rec = os.path.join(work, "engine.txt")
    options_2 = os.path.join(work, "TestProduct-2.args")
    with open(options_2, "w") as f:
        f.write('--class=%s --title="Tidewater Notes 2.0" --record="%s"\r\n' % (PRODUCT_CLASS, winpath(product_rec)))
    setup = build_update(os.path.join(updates, "TidewaterSetup-2.0.exe"),
                         '--record="%s" --install="%s"' % (winpath(engine_rec), install.win),
                         [PRODUCT_EXE + "=TestProduct.exe", options_2 + "=TestProduct.args"],
                         update_url=winpath(updates_2))
    write_info(updates, setup, winpath(updates), 2, 2, RequestConfirmationBeforeDownload=1,
               RequestConfirmationBeforeInstall=1, ShutDownMethod="Issue a Message Box", RestartProcess=1,
               InformFinish=1)
    install.lay_out({"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 0,
                                       "ProbeSecondsLast": 0, "ReAskSecondsInterval": 0}},
                    product_record=product_rec)
    install.start_product()
    boxes = Boxes(session, work)

    # The installed agent makes its X_ copy and ends; the copy checks at its
    # fourth tick and offers the update.
    install.start_agent()
    assert wait_for(lambda: os.path.exists(install.x_copy), 10)
    with open(install.x_copy, "rb") as f:
        assert f.read() == open(old_agent, "rb").read(), "the X_ copy is not the installed agent"
    offer = boxes.read(60000)
    assert "A new version of Tidewater Notes is ready." in offer["text"], offer
    assert "Download it now?" in offer["text"], offer
    session.screenshot(os.path.join(SHOTS, "agent_offer.png"))
    # An override set now (ask before every check) must outlive the restart.
    install.command(ASK_BEFORE_CHECK, 1)
    boxes.press(offer, "y")

    # Downloaded and proved, then the install question.
    boxes.answer("y", ["Install the new version of Tidewater Notes now?"], 60000)

    # The notice comes back after every OK while the product runs.
    notice = boxes.read()
    assert "Please close TestProduct.exe to go on with the update." in notice["text"], notice
    press(session, "Return")
    again = boxes.read(other_than=notice["handle"])
    assert again["text"] == notice["text"], again
    assert product_record(product_rec)[-1].startswith("Started "), product_record(product_rec)
    assert session.probe("close", PRODUCT_CLASS)
    assert wait_for(lambda: product_record(product_rec)[-1:] == ["Ended"], 30), product_record(product_rec)
    boxes.press(again, "Return")
    # The product's process may outlive its record by a moment: one more
    # notice then is no fault.
    finish = boxes.read(60000)
    for _ in range(3):
        if finish["text"] != notice["text"]:
            break
        boxes.press(finish, "Return")
        finish = boxes.read(60000)

    # The new setup ran with the .info's path, quoted.
    assert os.path.exists(engine_rec), "the new setup did not run"
    values, files = read_record(engine_rec)
    assert '/OriginalInfoFile="%s\\%s"' % (install.win, INFO) in values["CommandLine"], values["CommandLine"]
    assert ("TestProduct.exe", os.path.getsize(PRODUCT_EXE)) in files, files
    assert AGENT in [name for name, _ in files], files

    # The finish question; Yes starts the product again, the new version.
    for text in ("Tidewater Notes is up to date.", "Start it again now?"):
        assert text in finish["text"], finish
    session.screenshot(os.path.join(SHOTS, "agent_finish.png"))
    boxes.press(finish, "y")
    assert wait_for(lambda: starts(product_record(product_rec)) == 2, 30), product_record(product_rec)
    assert session.probe("wait", PRODUCT_CLASS, 20000, "visible")
    assert install.product_title() == "Tidewater Notes 2.0"
    assert install.original("VersionOriginal") == "2"
    assert not os.path.exists(os.path.join(install.folder, os.path.basename(setup))), "the setup stayed"

    # The agent restarts itself from the new file: the installed agent with
    # /_ZZ=99 /WAIT=10 and the override list, then a new X_ copy.
    write_info(updates_2, setup, winpath(updates_2), 2, 2)
    install.wait_log("/_ZZ=99 /WAIT=10 /TRANSIENT=|1|255|255|255|255|255|255|255|", 1, 30)
    restarted = wait_for(lambda: install.log_count("ThisIs_X_AutoUpdate_Exe=TRUE") >= 2, 60, 0.2)
    assert not os.path.exists(planted), "a program at the unquoted path ran: " + open(planted).read()
    assert restarted, "no new X_ copy:\n" + "\n".join(install.log_lines()[-30:])
    assert session.probe("wait", AGENT_CLASS, 20000)
    new_bytes = open(install.agent, "rb").read()
    assert new_bytes != open(old_agent, "rb").read(), "the setup did not install a new agent"
    assert wait_for(lambda: os.path.exists(install.x_copy) and open(install.x_copy, "rb").read() == new_bytes,
                    30), "the X_ copy is not the new agent"
    # The new copy kept override 1: it asks before its first check, which
    # looks into the new update folder.
    question = boxes.answer("y", ["Look for a new version of Tidewater Notes now?"], 60000)
    assert "Test Mode" not in question["text"], question
    install.wait_log("Download START: %s\\%s" % (winpath(updates_2), INFO), 1, 30)
    install.wait_log("GetOkToPerformAU = ", 2, 30)
    # Some seconds later the new copy and its file are still there.
    assert not wait_for(lambda: not os.path.exists(install.x_copy), 5), "the new X_ file was deleted"
    assert session.probe("wait", AGENT_CLASS, 0)
    assert install.original("VersionOriginal") == "2"

    install.stop_agent()
    assert session.probe("close", PRODUCT_CLASS)
    assert session.probe("gone", PRODUCT_CLASS, 20000)
    assert not os.path.exists(planted), "a program at the unquoted path ran: " + open(planted).read()


# Shut-down method, product refuses WM_CLOSE, new setup over HTTP,
# expected product record (after its start line), started again.
METHODS = (
    ("Using WM_CLOSE", False, False, ["WM_CLOSE 15 255", "Ended"], True),
    ("Using WM_QUIT", False, True, ["WM_QUIT 15 255", "Ended"], True),
    ("Using Terminate Process", False, False, [], True),
    ("Don't Shut Down", False, True, [], False),
    ("Using WM_CLOSE", True, False, ["WM_CLOSE 15 255"], False),
)


def shut_down_methods(session, work, updates):
    """Each method once, on one agent that asks nothing and, held by a long
    shut-down countdown, does not restart itself after an update."""
    engine_rec = os.path.join(work, "methods-engine.txt")
    agent = build_agent(os.path.join(work, "agent-m.exe"), winpath(updates))
    install = Installation(session, work, agent)
    setup = build_update(os.path.join(updates, "TidewaterSetup-m.exe"),
                         '--record="%s" --install="%s"' % (winpath(engine_rec), install.win),
                         [PRODUCT_EXE + "=TestProduct.exe"])
    original = {"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                                  "ProbeSecondsLast": 0}}
    install.lay_out(original)
    quiet = dict(RequestConfirmationBeforeDownload=0, RequestConfirmationBeforeInstall=0, RestartProcess=1,
                 InformFinish=0, BackgroundUpdate=1)
    # The first check (tick 4) finds nothing new.
    write_info(updates, setup, winpath(updates), 1, 1, **quiet)
    install.start_agent()
    install.shut_down(100000)
    install.wait_log("GetOkToPerformAU = ", 1, 60)

    with LoopbackServer(updates) as server:
        for row, (method, refuse, http, expected, restarted) in enumerate(METHODS):
            name = "%s%s%s" % (method, " (refused)" if refuse else "", " over HTTP" if http else "")
            record = os.path.join(work, "product-%d.txt" % row)
            install.product_options("Tidewater Notes", record)
            with open(os.path.join(install.folder, "TestProduct.args"), "a") as f:
                f.write("--refuse-close\r\n" if refuse else "")
            if os.path.exists(engine_rec):
                os.remove(engine_rec)
            url = server.url("files") if http else winpath(updates)
            # Nothing is new to the agent yet: it has version 2 since the
            # last row (the first row's check is not due).
            write_info(updates, setup, url, 2, 10 + row, ShutDownMethod=method, **quiet)
            install.start_product()
            done = install.log_count("PerformAutoUpdate() - END")
            # Version 1 and no last check make the update due at the next
            # tick: only now, with the product up and the runs counted.
            install.write_original(original)
            install.command(PERFORM_UPDATE_CYCLE, 1)
            install.wait_log("PerformAutoUpdate() - END", done + 1, 90)
            end = install.last_log_line("PerformAutoUpdate() - END")
            assert "Result=TRUE" in end, (name, end)
            assert os.path.exists(engine_rec), name
            assert install.original("VersionOriginal") == "2", name
            lines = product_record(record)
            if restarted:
                assert wait_for(lambda: starts(product_record(record)) == 2, 20), (name, product_record(record))
                lines = product_record(record)
                assert lines[1:-1] == expected, (name, lines)
            else:
                assert not wait_for(lambda: starts(product_record(record)) > 1, 3), (name, product_record(record))
                assert lines[1:] == expected, (name, lines)
            # A restarted product records its start before its window is up.
            assert session.probe("wait", PRODUCT_CLASS, 20000), name
            # The product (the first or the restarted one) goes before the
            # next row; a quit message ends even the refusing one.
            assert session.probe("post", PRODUCT_CLASS, WM_QUIT, 0, 0)
            assert session.probe("gone", PRODUCT_CLASS, 20000), name
        assert any(path.startswith("/files/") for _, path in server.requests), server.requests
    # No self-restart while the countdown holds.
    assert install.log_count("ThisIs_X_AutoUpdate_Exe=TRUE") == 1
    install.stop_agent()


def main():
    work = scratch_dir("update_cycle")
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    with WineSession() as session:
        try:
            round_trip(session, work, updates)
            shut_down_methods(session, work, updates)
        finally:
            # A row that failed leaves its agent and product running: they
            # would answer the next scenario's windows.
            for name in ("X_" + AGENT, "TestProduct.exe"):
                session.run("taskkill", ["/f", "/im", name], timeout=60)
    print("update cycle: ok")


if __name__ == "__main__":
    main()
