"""The update agent under real conditions, under Wine, on the product installed
under ".../Program Files/Tidewater":

- Control while a box is up: with the offer box of the X_ copy on the screen
  (shown, titled, unowned: it would score as the copy's main window), the
  installed agent's switches still reach the copy's agent window:
  "/WM_MSG=" registers a listener (it gets the answer 50/51), "/TEST=1"
  asks for a check (it runs once the box is answered), and "/STOP=0" ends
  the copy within a few ticks: the box closes, no setup runs, the product
  is untouched.
- A slow product: one that takes 5 s to end after WM_CLOSE. The agent waits
  until it has ended before the setup runs, and starts it again
  (RestartProcess=1)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_update_cycle import write_info  # noqa: E402
from update_fixture import (AGENT_CLASS, PERFORM_UPDATE_CYCLE, PRODUCT_CLASS, PRODUCT_EXE, Boxes,  # noqa: E402
                            Installation, build_agent, build_update, product_record, starts)
from wine_harness import WineSession, listened, scratch_dir, stop_listening, wait_for, winpath  # noqa: E402

LISTENER = "VarnelStopsListener"
NOTIFY = 0x8000 + 7
WM_AGENTMSG = 0x400 + 101


def switches(session, install, args):
    """The installed agent with its switches, run to its end."""
    assert session.run(install.agent, list(args), timeout=120) == 0


def control_while_box_is_up(session, work, updates):
    engine_rec = os.path.join(work, "stops-engine.txt")
    product_rec = os.path.join(work, "stops-product.txt")
    install = Installation(session, work, build_agent(os.path.join(work, "agent-s.exe"), winpath(updates)))
    setup = build_update(os.path.join(updates, "TidewaterSetup-s.exe"),
                         '--record="%s" --install="%s"' % (winpath(engine_rec), install.win),
                         [PRODUCT_EXE + "=TestProduct.exe"])
    offer = dict(RequestConfirmationBeforeDownload=1, RequestConfirmationBeforeInstall=0,
                 ShutDownMethod="Using WM_CLOSE", RestartProcess=1, InformFinish=0)
    write_info(updates, setup, winpath(updates), 2, 2, **offer)
    # One automatic check (tick 4), then none for a day.
    install.lay_out({"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                                       "ProbeSecondsLast": 0}}, product_record=product_rec)
    install.start_product()
    boxes = Boxes(session, work)
    install.start_agent()
    box = boxes.read(60000)
    assert "A new version of Tidewater Notes is ready." in box["text"], box

    # /WM_MSG= while the box is up: the listener is registered.
    record = os.path.join(work, "stops.listen")
    listener, handle = session.listen(LISTENER, record)
    switches(session, install, ["/WM_MSG=%d:%d" % (handle, NOTIFY)])
    got = lambda: [(w, l) for m, w, l in listened(record) if m == NOTIFY]  # noqa: E731
    assert wait_for(lambda: len(got()) >= 2, 15, 0.2), got()
    assert got()[0][0] == 50 and got()[0][1] != 0 and got()[1] == (51, WM_AGENTMSG), got()
    stop_listening(listener, record)

    # /TEST=1 while the box is up: the check it asks for runs once the box
    # is declined (the automatic one was the first).
    switches(session, install, ["/TEST=1"])
    assert install.log_count("GetOkToPerformAU = ") == 1
    boxes.press(box, "n")
    install.wait_log("GetOkToPerformAU = ", 2, 30)
    assert boxes.none_within(3000), "the declined offer came again"

    # A new offer, asked for by /TEST=1 again; /STOP=0 while it is up ends
    # the copy: its box closes and no setup runs.
    write_info(updates, setup, winpath(updates), 2, 3, **offer)
    switches(session, install, ["/TEST=1"])
    box = boxes.read(60000)
    assert "A new version of Tidewater Notes is ready." in box["text"], box
    switches(session, install, ["/STOP=0"])
    assert session.probe("gone", AGENT_CLASS, 15000), "the agent did not end on /STOP=0 with its box up"
    assert not session.probe("wait", "VMsgBox", 0, "visible"), "a box stayed"
    install.wait_log("PerformAutoUpdate() - END    Result=FALSE", 2, 10)
    assert not os.path.exists(engine_rec), "a setup ran after the stop"
    assert not os.path.exists(os.path.join(install.folder, os.path.basename(setup))), "the setup stayed"
    assert product_record(product_rec)[1:] == [], product_record(product_rec)
    assert install.log_count("ReStartAutoUpdateExe") == 0
    install.stop_agent()
    assert session.probe("close", PRODUCT_CLASS)
    assert session.probe("gone", PRODUCT_CLASS, 20000)


def slow_product(session, work, updates):
    engine_rec = os.path.join(work, "slow-engine.txt")
    product_rec = os.path.join(work, "slow-product.txt")
    install = Installation(session, work, build_agent(os.path.join(work, "agent-p.exe"), winpath(updates)))
    setup = build_update(os.path.join(updates, "TidewaterSetup-p.exe"),
                         '--record="%s" --install="%s"' % (winpath(engine_rec), install.win),
                         [PRODUCT_EXE + "=TestProduct.exe"])
    quiet = dict(RequestConfirmationBeforeDownload=0, RequestConfirmationBeforeInstall=0, RestartProcess=1,
                 InformFinish=0, BackgroundUpdate=1, ShutDownMethod="Using WM_CLOSE")
    original = {"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                                  "ProbeSecondsLast": 0}}
    write_info(updates, setup, winpath(updates), 1, 1, **quiet)
    install.lay_out(original, product_record=product_rec)
    with open(os.path.join(install.folder, "TestProduct.args"), "a") as f:
        f.write("--slow-end=5000\r\n")
    install.start_agent()
    install.shut_down(100000)  # no self-restart after the update
    install.wait_log("GetOkToPerformAU = ", 1, 60)
    install.start_product()

    write_info(updates, setup, winpath(updates), 2, 5, **quiet)
    install.command(PERFORM_UPDATE_CYCLE, 1)
    # When the setup starts, the product has ended.
    assert wait_for(lambda: os.path.exists(engine_rec), 90, 0.05), "the setup did not run"
    ended_then = product_record(product_rec)
    assert ended_then[1:] == ["WM_CLOSE 15 255", "Ended"], ("the setup ran over the product", ended_then)
    install.wait_log("PerformAutoUpdate() - END    Result=TRUE", 1, 60)
    # And it is started again.
    assert wait_for(lambda: starts(product_record(product_rec)) == 2, 20), product_record(product_rec)
    assert install.log_count("still running") == 0
    assert session.probe("wait", PRODUCT_CLASS, 20000, "visible")
    install.stop_agent()
    assert session.probe("close", PRODUCT_CLASS)
    assert session.probe("gone", PRODUCT_CLASS, 20000)


def main():
    work = scratch_dir("agent_stops")
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    with WineSession() as session:
        control_while_box_is_up(session, work, updates)
        slow_product(session, work, updates)
    print("agent stops: ok")


if __name__ == "__main__":
    main()
