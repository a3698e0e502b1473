"""What the update agent decides, end to end under Wine, with its update
folder on a loopback HTTP server (the .info, the size query and the new
setup over HTTP):

- The .info's Stamp equals the one stored and the re-ask interval is 0: the
  background check offers nothing (stage 2, no box, the setup is not
  fetched); a check the user asks for offers it (the check question, then the
  update runs without the offer and install questions).
- That update's setup fails (the engine keeps the atom): VersionOriginal
  stays, the product that the agent closed is started again, no finish box,
  no self-restart.
- A check the user asks for with nothing new shows s21 alone; with the
  developer switch DVX=735 in the agent's environment, s21 followed by the
  stage and the reason."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import LoopbackServer  # noqa: E402
from update_fixture import (INFO, PERFORM_UPDATE_CYCLE, PRODUCT_CLASS, Boxes, Installation, build_agent,  # noqa: E402
                            build_update, ini_text, product_record, starts)
from wine_harness import WineSession, read_record, scratch_dir, wait_for, winpath  # noqa: E402

USER_CHECK = 2  # the value of command 31 that makes a user-requested check


def write_info(updates, url, setup, version, stamp):
    new_setup = {"DownloadURL_UPDATE": url, "NameOfUpdateFile": os.path.basename(setup),
                 "SizeOfUpdateFile": os.path.getsize(setup), "RequestConfirmationBeforeDownload": 1,
                 "RequestConfirmationBeforeInstall": 1, "ShutDownMethod": "Using WM_CLOSE", "RestartProcess": 1,
                 "InformFinish": 1, "RunningProcess": "<InstallDir>\\TestProduct.exe",
                 "ProgramName": "Tidewater Notes", "VersionNew": version, "Stamp": stamp}
    with open(os.path.join(updates, INFO), "w", newline="") as f:
        f.write(ini_text({"NewSetup": new_setup}))


def last_decision(install):
    return [line for line in install.log_lines() if "GetOkToPerformAU = " in line][-1]


def user_check(install, boxes):
    """Asks for a check and answers its question Yes; returns the number of
    decisions in the log before it."""
    before = install.log_count("GetOkToPerformAU = ")
    install.command(PERFORM_UPDATE_CYCLE, USER_CHECK)
    boxes.answer("y", ["Look for a new version of Tidewater Notes now?"])
    install.wait_log("GetOkToPerformAU = ", before + 1, 60)
    return before


def main():
    work = scratch_dir("update_decisions")
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    engine_rec = os.path.join(work, "engine.txt")
    product_rec = os.path.join(work, "product.txt")
    with LoopbackServer(updates) as server, WineSession() as session:
        url = server.url("files")
        install = Installation(session, work, build_agent(os.path.join(work, "agent.exe"), url))
        # A setup that fails: the engine leaves the atom in place.
        setup = build_update(os.path.join(updates, "TidewaterSetup-2.0.exe"),
                             '--record="%s" --keep-atom --exit=1' % winpath(engine_rec))
        write_info(updates, url, setup, 2, 5)
        install.lay_out({"OriginalSetup": {"VersionOriginal": 1, "Stamp": 5, "ProbeSecondsInterval": 86400,
                                           "ProbeSecondsLast": 0, "ReAskSecondsInterval": 0}},
                        product_record=product_rec)
        install.start_product()
        boxes = Boxes(session, work)

        # The background check (fourth tick): same Stamp, no re-ask.
        install.start_agent()
        install.wait_log("GetOkToPerformAU = ", 1, 60)
        assert "GetOkToPerformAU = 2 - Too early for retesting" in last_decision(install), last_decision(install)
        assert boxes.none_within(3000), "a box after a check that offers nothing"
        assert ("GET", "/files/" + INFO) in server.requests, server.requests
        assert not any(os.path.basename(setup) in path for _, path in server.requests), server.requests

        # The user's check offers it and, asked nothing more, runs it.
        user_check(install, boxes)
        assert "GetOkToPerformAU = 6 - OK" in last_decision(install), last_decision(install)
        install.wait_log("PerformAutoUpdate() - END", 1, 90)
        end = install.last_log_line("PerformAutoUpdate() - END")
        assert "Result=FALSE" in end, end
        values, _ = read_record(engine_rec)
        assert values.get("Exit") == "1", values
        # The product that was closed runs again; the version stays.
        assert wait_for(lambda: starts(product_record(product_rec)) == 2, 30), product_record(product_rec)
        assert product_record(product_rec)[1:3] == ["WM_CLOSE 15 255", "Ended"], product_record(product_rec)
        assert install.original("VersionOriginal") == "1"
        assert boxes.none_within(3000), "a box after a failed setup"
        assert not os.path.exists(os.path.join(install.folder, os.path.basename(setup))), "the setup stayed"
        assert install.log_count("ThisIs_X_AutoUpdate_Exe=TRUE") == 1, "the agent restarted itself"
        assert ("GET", "/files/" + os.path.basename(setup)) in server.requests, server.requests

        # Nothing new: s21 alone; with DVX=735 the stage and reason follow.
        write_info(updates, url, setup, 1, 5)
        for env, extra in (({}, None), ({"DVX": "735"}, "(3 - New version is not higher then old version)")):
            if env:
                install.stop_agent()
                install.start_agent(env=env)
            user_check(install, boxes)
            box = boxes.answer("Return", ["There is no new version."])
            if extra:
                assert box["text"].rstrip().endswith(extra), box["text"]
                assert "\n\n" + extra in box["text"].replace("\r\n", "\n"), box["text"]
            else:
                assert "(" not in box["text"], box["text"]
        assert install.original("VersionOriginal") == "1"

        install.stop_agent()
        assert session.probe("post", PRODUCT_CLASS, 0x0010, 0, 0)
        assert session.probe("gone", PRODUCT_CLASS, 20000)
    print("update decisions: ok")


if __name__ == "__main__":
    main()
