"""An update-agent package picks its role from its own file name: under the
agent file name it never makes a window; as "X_" + that name it runs the
agent window, ends on a shut-down countdown and then deletes its own file;
under any other name it runs the agent window too and keeps its file."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import WineSession, build_setup, scratch_dir, wait_for  # noqa: E402

WM_SHUTDOWN = 0x400 + 99


def main():
    work = scratch_dir("agent_roles")
    agent = os.path.join(work, "App.AutoUpdate.exe")
    assert build_setup(agent, [], options=["--update-agent", "--agent-file",
                                           "App.AutoUpdate.exe"]) == 0, open(agent + ".log").read()
    x_copy = os.path.join(work, "X_App.AutoUpdate.exe")
    other = os.path.join(work, "Other.exe")
    shutil.copy2(agent, x_copy)
    shutil.copy2(agent, other)

    with WineSession() as wine:
        # The installed agent under its own name: no window of its own.
        assert wine.run(agent, [], timeout=60) == 0
        assert not wine.probe("wait", ".AutoUpdate.App.AutoUpdate", 0)

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
