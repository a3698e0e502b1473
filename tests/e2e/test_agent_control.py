"""The update agent controlled from outside, under Wine, installed in a
folder whose path holds a blank: the plain agent makes and starts its X_
copy once; its switches become messages to the running copy: "/STOP=0"
ends it, "/TEST=" asks for a check (with the shut-down countdown only for a
copy started for the test, never for "/TEST=0"), "/WM_MSG=" registers a
listener window that then gets the agent's notifications ("abc:5" clears
it); "/TRANSIENT=" and "/DELAY=" reach the copy, and a negative "/WAIT="
does not hold the plain agent."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from debug_viewer import DebugViewer  # noqa: E402
from installed_agent import WM_AGENTMSG, X_CLASS, InstalledAgent, seconds_now  # noqa: E402
from setup_run import press, read_box  # noqa: E402
from wine_harness import (WineSession, listened, scratch_dir, stop_listening, wait_for,  # noqa: E402
                          winpath)

LISTENER = "VarnelAgentListener"
NOTIFY = 0x8000 + 5  # the message the listener asks to be notified with


def notifications(record):
    """(code, value) of every notification the listener got."""
    return [(w, l) for m, w, l in listened(record) if m == NOTIFY]


def wait_notifications(record, count, timeout):
    wait_for(lambda: len(notifications(record)) >= count, timeout, 0.2)
    return notifications(record)


def check_registration(got):
    """The answer to the registration: the agent window and its command message."""
    assert got[0][0] == 50 and got[0][1] != 0, got
    assert got[1] == (51, WM_AGENTMSG), got


def copy_once_and_stop(wine, agent):
    # Started without a running copy, the plain agent makes the copy and
    # starts it; it does not wait for it (no switches).
    assert agent.run([]) == 0
    assert agent.copy_window(), "no X_ copy window"
    assert os.path.exists(agent.x_exe)
    assert agent.copies_made() == 1
    written = os.stat(agent.x_exe).st_mtime_ns
    # Started again while the copy runs: no new copy.
    assert agent.run([]) == 0
    assert agent.copies_made() == 1, agent.log_lines()
    assert os.stat(agent.x_exe).st_mtime_ns == written
    assert len(agent.x_processes()) == 1, agent.x_processes()

    # /STOP=0: the copy quits at its next tick, deletes its file, and no new
    # copy is made.
    assert agent.run(["/STOP=0"]) == 0
    assert agent.copy_ended(), "the copy did not end on /STOP=0"
    assert agent.count("PostProcessMessage(wm_ShutDown) to: " + winpath(agent.x_exe)) == 1
    assert agent.copies_made() == 1, agent.log_lines()
    # Its self-deletion waits for its process to end: give a loaded machine
    # time, but the file and the process must go.
    assert wait_for(lambda: not os.path.exists(agent.x_exe) and not agent.x_processes(), 20, 0.5), \
        agent.x_command_lines()
    assert agent.copies_made() == 1, agent.log_lines()


def cycle_on_test_one(wine, agent, work):
    # /TEST=1 without a running copy: a copy is made, registers the listener
    # (/WM_MSG= is posted first), runs the requested check and ends by the
    # countdown of 2, telling the listener each step.
    record = os.path.join(work, "test1.listen")
    listener, handle = wine.listen(LISTENER, record)
    before = agent.last_check()
    started = time.time()
    assert agent.run(["/WM_MSG=%d:%d" % (handle, NOTIFY), "/TEST=1"]) == 0
    assert agent.copy_ended(40), "the copy started for /TEST=1 did not end"
    got = wait_notifications(record, 5, 10)
    stop_listening(listener, record)
    check_registration(got)
    assert got[2:] == [(40, 1), (40, 2), (43, 0)], got
    # The check ran: the .info came and the check time was written.
    assert os.path.exists(agent.info)
    assert agent.last_check() > before
    assert agent.count("AU_PerformUpdateCycle (1)") == 1
    assert time.time() - started < 40
    assert agent.copies_made() == 2


def cycle_on_test_zero(wine, agent, work):
    # /TEST=0 without a running copy: the check runs, but no countdown is
    # added: the copy is still there long after the check.
    record = os.path.join(work, "test0.listen")
    listener, handle = wine.listen(LISTENER, record)
    os.remove(agent.info)
    assert agent.run(["/WM_MSG=%d:%d" % (handle, NOTIFY), "/TEST=0"]) == 0
    got = wait_notifications(record, 4, 30)
    check_registration(got)
    assert got[2:] == [(40, 1), (40, 2)], got
    assert os.path.exists(agent.info)
    time.sleep(6)
    assert wine.probe("wait", X_CLASS, 0), "the copy ended after /TEST=0"
    assert agent.x_processes()

    # /WM_MSG=abc:5 registers window 0: the listener hears nothing more, not
    # of the next check and not of the end of the loop.
    assert agent.run(["/WM_MSG=abc:5"]) == 0
    assert agent.count("PostProcessMessage(wm_LocalMsg) to: " + winpath(agent.x_exe) + " - :abc:5:") == 1
    before = agent.last_check()
    assert agent.run(["/TEST=0"]) == 0
    assert wait_for(lambda: agent.last_check() > before, 30), "no check on /TEST=0"
    assert agent.run(["/STOP=0"]) == 0
    assert agent.copy_ended()
    time.sleep(2)
    stop_listening(listener, record)
    assert notifications(record) == got, notifications(record)


def transient_and_delay(wine, agent, work):
    # The override list and the delay given to the plain agent reach the
    # copy; /WAIT=-5 counts as no wait. Override 1 (ask before a check) set
    # through the list makes the copy ask before a requested check.
    overrides = "|1|255|255|255|255|255|255|255|"
    with DebugViewer(wine, work) as viewer:
        started = time.time()
        assert agent.run(["/WAIT=-5", "/TRANSIENT=" + overrides, "/DELAY=2"], timeout=60) == 0
        assert time.time() - started < 30
        assert agent.copy_window()
        assert wait_for(lambda: any("AutoUpdateTimerCount=" in line for line in viewer.lines()), 20)
        first_tick = next(line for line in viewer.lines() if "AutoUpdateTimerCount=" in line)
    assert any(line.endswith("Wait 0 SEC") for line in agent.log_lines())
    command = '"%s" /TRANSIENTx=%s /SleepX=2' % (winpath(agent.x_exe), overrides)
    assert any(line.endswith("WinExec: " + command) for line in agent.log_lines()), agent.log_lines()
    assert any(line.endswith("CommandLine=" + command) for line in agent.log_lines()), agent.log_lines()
    # The tick count starts at -2 (/SleepX=2), not at -3.
    assert first_tick.endswith(" AutoUpdateTimerCount=-1"), first_tick

    before = agent.last_check()
    assert agent.run(["/TEST=0"]) == 0
    text = read_box(wine, work, "ask_before_check")
    assert "Look for a new version of Tidewater Notes now?" in text, text
    press(wine, "Return")
    assert wine.probe("gone", "VMsgBox", 10000)
    assert wait_for(lambda: agent.last_check() > before, 30), "no check after Yes"
    assert agent.run(["/STOP=0"]) == 0
    assert agent.copy_ended()


def main():
    work = scratch_dir("agent_control")
    with WineSession() as wine:
        agent = InstalledAgent(wine, work)
        # No check falls due by itself; the update folder offers nothing new.
        agent.write_original({"VersionOriginal": 5, "ProbeSecondsInterval": 86400,
                              "ProbeSecondsLast": seconds_now(), "ProgramName": "Tidewater Notes"},
                             {"s22": "Look for a new version of PROG_NAME now?",
                              "s21": "No new version."})
        agent.write_update_info({"VersionNew": 3, "ProgramName": "Tidewater Notes"})
        copy_once_and_stop(wine, agent)
        cycle_on_test_one(wine, agent, work)
        cycle_on_test_zero(wine, agent, work)
        transient_and_delay(wine, agent, work)
    print("agent control: ok")


if __name__ == "__main__":
    main()
