"""The update agent's commands (wm_AgentMsg, codes 4 to 32) sent to a running
X_ copy under Wine, installed in a folder whose path holds a blank: reads of
the settings (times above 2^31 come back whole as unsigned 32-bit numbers),
writes seen in the .original with their readable shadow keys, codes that
do nothing, the INFO-only fetch, a user-requested check with its boxes, the
overrides that decide an update cycle without any box and travel with the
agent's self-restart to the new copy, and the shut-down countdown. A
listener window registered with wm_LocalMsg hears every step."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from installed_agent import (WM_AGENTMSG, WM_LOCALMSG, X_CLASS, InstalledAgent, read_ini,  # noqa: E402
                             seconds_now, setup_options)
from setup_run import engine_record, press, read_box, record_arg  # noqa: E402
from wine_harness import (WineSession, build_setup, listened, scratch_dir, stop_listening,  # noqa: E402
                          wait_for, winpath)

NOTIFY = 0x8000 + 7
DEC_2025 = 3973708800  # 01-DEC-2025 00:00:00
JAN_2026 = 3976387200  # 01-JAN-2026 00:00:00
# Overrides 1-6 (codes 20-25): no question before a check, no confirmation
# before the download or the install, in the background, no finish notice,
# no product restart. The .info below asks for the opposite of each.
OVERRIDES = ((20, 0), (21, 0), (22, 0), (23, 1), (24, 0), (25, 0))
OVERRIDE_LIST = "|0|0|0|1|0|0|255|255|"


def read_and_write(agent):
    now = agent.last_check()
    assert now > 2 ** 31
    for code, expected in ((4, 5), (5, 3), (7, 0), (8, 86400), (9, 600), (10, now), (11, DEC_2025)):
        assert agent.command(code) == expected, (code, agent.command(code))

    # Writes answer 0; the times are written with their readable shadow.
    # An interval of -1 travels as 4294967295 and is stored as -1.
    for code, value in ((12, 2 ** 32 - 1), (13, 1200), (14, DEC_2025), (15, JAN_2026)):
        assert agent.command(code, value) == 0, code
    setup = read_ini(agent.original)["OriginalSetup"]
    assert setup["ProbeSecondsInterval"] == "-1", setup
    assert setup["ReAskSecondsInterval"] == "1200", setup
    assert setup["ProbeSecondsLast"] == str(DEC_2025), setup
    assert setup["__ProbeSecondsLast"] == "01-DEC-2025 00:00:00", setup
    assert setup["ReAskSecondsLast"] == str(JAN_2026), setup
    assert setup["__ReAskSecondsLast"] == "01-JAN-2026 00:00:00", setup
    for code, expected in ((8, 2 ** 32 - 1), (9, 1200), (10, DEC_2025), (11, JAN_2026)):
        assert agent.command(code) == expected, (code, agent.command(code))

    # Code 6 and unknown codes answer 0 and change nothing.
    with open(agent.original, "rb") as f:
        stored = f.read()
    for code, value in ((6, 1), (16, 5), (26, 1), (33, 1), (2 ** 32 - 1, 7)):
        assert agent.command(code, value) == 0, code
    with open(agent.original, "rb") as f:
        assert f.read() == stored
    for code, value in OVERRIDES:
        assert agent.command(code, value) == 0, code


def info_only(agent, record):
    # Code 32: the next tick fetches the .info and nothing else (no check
    # time written).
    os.remove(agent.info)
    before = agent.setting("ProbeSecondsLast")
    assert agent.command(32) == 0
    assert wait_for(lambda: os.path.exists(agent.info), 20), "code 32 fetched no .info"
    assert wait_for(lambda: notifications(record)[-1:] == [(40, 2)], 10), notifications(record)
    assert notifications(record)[2:] == [(40, 1), (40, 2)], notifications(record)
    time.sleep(2)
    assert agent.setting("ProbeSecondsLast") == before
    assert agent.command(5) == 3


def user_check(wine, agent, work, record):
    # Code 31 value 2: a user-requested check at the next tick, although
    # automatic checks are off (-1): the check question, the check, and the
    # box saying that nothing new is there.
    assert agent.command(31, 2) == 0
    text = read_box(wine, work, "check_question")
    assert "Look for a new version of Tidewater Notes now?" in text, text
    press(wine, "Return")
    text = read_box(wine, work, "nothing_new")
    assert "No new version." in text, text
    press(wine, "Return")
    assert wine.probe("gone", "VMsgBox", 10000)
    assert agent.last_check() > DEC_2025
    assert notifications(record)[4:] == [(40, 1), (40, 2)], notifications(record)


def update_and_restart(wine, agent, work, record):
    # An update to install, asked for with code 31 value 1 (a background
    # check): the overrides answer every question of the .info, the setup
    # runs with /OriginalInfoFile=, and the agent restarts itself: the
    # plain agent gets the override list and hands it to the new copy.
    engine = os.path.join(work, "engine.record")
    hold = os.path.join(work, "engine.go")
    setup = os.path.join(agent.updates, "NotesSetup.exe")
    assert build_setup(setup, [], engine_args=record_arg(engine) + " --hold-until=" + winpath(hold),
                       options=setup_options(agent.updates)) == 0
    agent.write_update_info({
        "DownloadURL_UPDATE": winpath(agent.updates), "NameOfUpdateFile": "NotesSetup.exe",
        "SizeOfUpdateFile": os.path.getsize(setup), "VersionNew": 9, "Stamp": 2,
        "RequestConfirmationBeforeDownload": 1, "RequestConfirmationBeforeInstall": 1,
        "BackgroundUpdate": 0, "InformFinish": 1, "RestartProcess": 1, "ProgramName": "Tidewater Notes"})
    copies = agent.copies_made()
    assert agent.command(31, 1) == 0
    # While the setup runs, the agent answers commands: activity 3.
    assert wait_for(lambda: os.path.exists(engine), 60, 0.2), "the new setup did not run"
    assert agent.command(7) == 3
    assert notifications(record)[-1] == (42, 1), notifications(record)
    open(hold, "w").close()
    assert wait_for(lambda: (43, 0) in notifications(record), 90, 0.2), notifications(record)
    assert notifications(record)[6:] == [(40, 1), (40, 2), (41, 1), (41, 2), (42, 1), (42, 2), (43, 0)], \
        notifications(record)
    values, _ = engine_record(engine)
    assert '/OriginalInfoFile="%s"' % winpath(agent.info) in values["CommandLine"], values
    assert agent.setting("VersionOriginal") == "9"
    assert not os.path.exists(os.path.join(agent.folder, "NotesSetup.exe"))

    restart = '"%s" /_ZZ=99 /WAIT=10 /TRANSIENT=%s' % (winpath(agent.exe), OVERRIDE_LIST)
    assert any(line.endswith(".. WinExec - " + restart) for line in agent.log_lines()), agent.log_lines()
    assert wait_for(lambda: agent.copies_made() == copies + 1, 60, 0.5), "no new X_ copy after the restart"
    assert agent.copy_window(), "the restarted copy has no window"
    started = '"%s" /TRANSIENTx=%s' % (winpath(agent.x_exe), OVERRIDE_LIST)
    assert any(line.endswith("CommandLine=" + started) for line in agent.log_lines()), agent.log_lines()
    assert agent.command(4) == 9
    # The old copy's process may still be on its way out for a moment (a
    # loaded machine); one copy, not two, must be left running.
    assert wait_for(lambda: len(agent.x_processes()) == 1, 20, 0.5), agent.x_command_lines()


def main():
    work = scratch_dir("agent_commands")
    with WineSession() as wine:
        agent = InstalledAgent(wine, work)
        agent.write_original({"VersionOriginal": 5, "ProbeSecondsInterval": 86400,
                              "ProbeSecondsLast": seconds_now(), "ReAskSecondsInterval": 600,
                              "ReAskSecondsLast": DEC_2025, "ProgramName": "Tidewater Notes"},
                             {"s22": "Look for a new version of PROG_NAME now?", "s21": "No new version."})
        with open(agent.info, "w", newline="\r\n") as f:
            f.write("[NewSetup]\nVersionNew=3\n")
        agent.write_update_info({"VersionNew": 3})
        assert agent.run([]) == 0
        assert agent.copy_window(), "no X_ copy window"

        record = os.path.join(work, "commands.listen")
        listener, handle = wine.listen("VarnelCommandListener", record)
        assert wine.send(X_CLASS, WM_LOCALMSG, handle, NOTIFY) == 0
        assert wait_for(lambda: len(notifications(record)) >= 2, 10), notifications(record)
        assert notifications(record)[0][0] == 50 and notifications(record)[0][1] != 0
        assert notifications(record)[1] == (51, WM_AGENTMSG)
        try:
            read_and_write(agent)
            info_only(agent, record)
            user_check(wine, agent, work, record)
            update_and_restart(wine, agent, work, record)
            # Code 30: the countdown; 1 ends the new copy at its second tick.
            assert agent.command(30, 1) == 0
            assert agent.copy_ended(), "the copy did not end on code 30"
        finally:
            stop_listening(listener, record)
            if wine.probe("wait", X_CLASS, 0):
                agent.run(["/STOP=0"])
                agent.copy_ended()
    print("agent commands: ok")


def notifications(record):
    return [(w, l) for m, w, l in listened(record) if m == NOTIFY]


if __name__ == "__main__":
    main()
