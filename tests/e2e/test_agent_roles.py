"""An update-agent package picks its role from its own file name: under the
agent file name it never makes a window; as "X_" + that name it runs the
agent window, ends on a shut-down countdown and then deletes its own file;
under any other name it runs the agent window too and keeps its file. The
start and end banners reach the debug viewer, the role tests the agent log."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from debug_viewer import DebugViewer  # noqa: E402
from wine_harness import WineSession, build_setup, scratch_dir, wait_for  # noqa: E402

WM_SHUTDOWN = 0x400 + 99


def in_order(lines, expected):
    """Each expected text is found in a later line than the one before."""
    at = 0
    for text in expected:
        while at < len(lines) and text not in lines[at]:
            at += 1
        assert at < len(lines), "%r missing (in order) from:\n%s" % (text, "\n".join(lines))
        at += 1


def check_banners(lines):
    start = next(line for line in lines if " ==== STUB START ====> " in line)
    pid, _, raw = start.partition(" ==== STUB START ====> ")
    assert pid.isdigit() and raw.endswith(" /WAIT=0<"), start
    in_order(lines, [start, pid + " ==== ThisIs_AutoUpdateProg=TRUE",
                     pid + " ==== STUB END ====> " + raw])
    end = lines.index(pid + " ==== STUB END ====> " + raw)
    assert lines[end + 1] == "", lines[end:end + 2]


def check_agent_log(path):
    with open(path, encoding="latin-1") as f:
        lines = f.read().splitlines()
    in_order(lines, ["=== START === ", "CommandLine=", "Agent Version=1.0.0.1", "DoRunStubWin() --- Start",
                     "X_ExeIsRunning=FALSE", "ThisIs_Plain_AutoUpdate_Exe=TRUE",
                     "ThisIs_X_AutoUpdate_Exe=FALSE", "CreateAndRun_X_Exe() --- Start",
                     "HandleParamOK() --- Start", "DoRunStubWin() --- End", "=== EXIT === "])


def main():
    work = scratch_dir("agent_roles")
    agent = os.path.join(work, "App.AutoUpdate.exe")
    assert build_setup(agent, [], options=["--update-agent", "--agent-download-log", "--agent-file",
                                           "App.AutoUpdate.exe"]) == 0, open(agent + ".log").read()
    x_copy = os.path.join(work, "X_App.AutoUpdate.exe")
    other = os.path.join(work, "Other.exe")
    shutil.copy2(agent, x_copy)
    shutil.copy2(agent, other)

    with WineSession() as wine:
        # The installed agent under its own name: no window of its own.
        with DebugViewer(wine, work) as viewer:
            assert wine.run(agent, ["/WAIT=0"], timeout=60) == 0
            trace = viewer.lines()
        assert not wine.probe("wait", ".AutoUpdate.App.AutoUpdate", 0)
        check_banners(trace)
        check_agent_log(os.path.join(work, "X_App.AutoUpdate.log"))

        for exe, cls, deletes_itself in ((x_copy, ".AutoUpdate.X_App.AutoUpdate", True),
                                         (other, ".AutoUpdate.Other", False)):
            run = wine.start(exe)
            assert wine.probe("wait", cls, 30000), "no agent window for " + exe
            # A second start under the same name finds the window and ends.
            assert wine.run(exe, [], timeout=60) == 0
            assert wine.probe("post", cls, WM_SHUTDOWN, 0, 0)
            assert run.wait(30) == 0
            assert wine.probe("gone", cls, 5000)
            if deletes_itself:
                assert wait_for(lambda: not os.path.exists(exe), 30), "X_ copy left its file"
            else:
                assert os.path.exists(exe)
        assert os.path.exists(agent)
    print("ok")


if __name__ == "__main__":
    main()
