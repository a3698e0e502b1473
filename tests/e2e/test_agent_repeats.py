"""The update agent's files across runs, under Wine, on the product installed
under ".../Program Files/Tidewater":

- A .info that names the product's own program as the update file: the
  setup is fetched into the agent's private download folder and run from
  there; the product's file is untouched and the folder is gone afterwards.
- Two updates in one agent process: the first setup fails, the second runs
  and succeeds in a setup folder made afresh in the user's temporary folder
  (not moved to another drive because the first run's folder is gone).
- A read-only installed agent: its X_ copy is writable, the update
  completes, and the agent restarts as a new X_ copy."""
import os
import stat
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_update_cycle import write_info  # noqa: E402
from update_fixture import (AGENT, PERFORM_UPDATE_CYCLE, PRODUCT_EXE, Installation, build_agent,  # noqa: E402
                            build_update)
from wine_harness import WineSession, read_record, scratch_dir, wait_for, winpath  # noqa: E402

QUIET = dict(RequestConfirmationBeforeDownload=0, RequestConfirmationBeforeInstall=0, RestartProcess=0,
             InformFinish=0, BackgroundUpdate=1, ShutDownMethod="Don't Shut Down")
ORIGINAL = {"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                              "ProbeSecondsLast": 0}}


def started_agent(install, updates, setup):
    """The agent with nothing new to offer at its first check, held by a
    long countdown (no self-restart)."""
    write_info(updates, setup, winpath(updates), 1, 1, **QUIET)
    install.lay_out(ORIGINAL)
    install.start_agent()
    install.shut_down(100000)
    install.wait_log("GetOkToPerformAU = ", 1, 60)


def run_update(install, updates, setup, version, stamp, **settings):
    done = install.log_count("PerformAutoUpdate() - END")
    write_info(updates, setup, winpath(updates), version, stamp, **dict(QUIET, **settings))
    install.command(PERFORM_UPDATE_CYCLE, 1)
    install.wait_log("PerformAutoUpdate() - END", done + 1, 90)
    return install.last_log_line("PerformAutoUpdate() - END")


def download_folder(install):
    return os.path.join(install.folder, "X_TidewaterAgent.downloads")


def product_named_update(session, work, updates):
    engine_rec = os.path.join(work, "named-engine.txt")
    install = Installation(session, work, build_agent(os.path.join(work, "agent-n.exe"), winpath(updates)))
    # The update folder's setup is called like the product's program.
    setup = build_update(os.path.join(updates, "TestProduct.exe"), '--record="%s"' % winpath(engine_rec))
    started_agent(install, updates, setup)
    product_bytes = open(install.product, "rb").read()
    end = run_update(install, updates, setup, 2, 2)
    assert "Result=TRUE" in end, end
    values, _ = read_record(engine_rec)
    assert open(install.product, "rb").read() == product_bytes, "the fetched setup replaced the product"
    assert not os.path.exists(download_folder(install)), "the download folder stayed"
    assert not os.path.exists(os.path.join(install.folder, "TestProduct.exe.fetching"))
    install.stop_agent()


def two_updates_in_one_process(session, work, updates):
    first_rec = os.path.join(work, "first-engine.txt")
    second_rec = os.path.join(work, "second-engine.txt")
    install = Installation(session, work, build_agent(os.path.join(work, "agent-t.exe"), winpath(updates)))
    failing = build_update(os.path.join(updates, "TidewaterSetup-f.exe"),
                           '--record="%s" --keep-atom --exit=3' % winpath(first_rec))
    good = build_update(os.path.join(updates, "TidewaterSetup-g.exe"), '--record="%s"' % winpath(second_rec))
    started_agent(install, updates, failing)
    end = run_update(install, updates, failing, 2, 2)
    assert "Result=FALSE" in end and os.path.exists(first_rec), end
    assert install.original("VersionOriginal") == "1"
    end = run_update(install, updates, good, 3, 3)
    assert "Result=TRUE" in end, end
    assert install.original("VersionOriginal") == "3"
    first, _ = read_record(first_rec)
    second, _ = read_record(second_rec)
    assert second.get("Exit") == "0", second
    # A fresh setup folder under the same free name in the user's temporary
    # folder: not the first run's deleted folder, and no move to another
    # drive because that folder was missing.
    assert second["Folder"] == first["Folder"], (first["Folder"], second["Folder"])
    assert install.log_count("ThisIs_X_AutoUpdate_Exe=TRUE") == 1
    install.stop_agent()


def read_only_agent(session, work, updates):
    engine_rec = os.path.join(work, "ro-engine.txt")
    install = Installation(session, work, build_agent(os.path.join(work, "agent-r.exe"), winpath(updates)))
    setup = build_update(os.path.join(updates, "TidewaterSetup-r.exe"), '--record="%s"' % winpath(engine_rec))
    write_info(updates, setup, winpath(updates), 2, 2, **QUIET)
    install.lay_out(ORIGINAL)
    os.chmod(install.agent, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    try:
        install.start_agent()
        assert os.access(install.x_copy, os.W_OK), "the X_ copy is read-only"
        # The first check finds the update, runs it and restarts the agent.
        install.wait_log("PerformAutoUpdate() - END    Result=TRUE", 1, 90)
        assert os.path.exists(engine_rec)
        restarted = wait_for(lambda: install.log_count("ThisIs_X_AutoUpdate_Exe=TRUE") >= 2, 90, 0.5)
        assert restarted, "no new X_ copy:\n" + "\n".join(install.log_lines()[-30:])
        assert install.log_count("Create X_ File failed") == 0
        assert os.access(install.x_copy, os.W_OK), "the new X_ copy is read-only"
        install.stop_agent()
    finally:
        os.chmod(install.agent, stat.S_IRUSR | stat.S_IWUSR)


def main():
    work = scratch_dir("agent_repeats")
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    with WineSession() as session:
        product_named_update(session, work, updates)
        two_updates_in_one_process(session, work, updates)
        read_only_agent(session, work, updates)
    print("agent repeats: ok")


if __name__ == "__main__":
    main()
