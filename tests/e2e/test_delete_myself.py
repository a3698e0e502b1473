"""Self-deletion under Wine: a running copy of a program removes its own
file (and, when asked, its folder) through a batch file after it ends; two
copies that end at the same time each have a batch file of their own."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, ROOT, WineSession, scratch_dir, wait_for, wine_temp_folder  # noqa: E402

PROBE = os.path.join(BUILD, "tests", "programs", "utils-probe.exe")

CASES = [
    # folder name, exe name, arguments, folder removed
    ("plain", "agent.exe", [], False),
    ("with folder", "X_App.AutoUpdate.exe", ["folder"], True),
    ("short names", "Long Program Name.exe", ["short"], False),
    ("short names and folder", "Long Program Name.exe", ["folder", "short"], True),
    # Names no console code page holds: the script gets them from its environment.
    ("Установка 安装 Ελληνικά", "X_Агент 安装.exe", ["folder"], True),
    ("Ünï 安装", "Ελληνικά.exe", ["folder", "short"], True),
]


def main():
    work = scratch_dir("delete_myself")
    with WineSession() as session:
        temp = wine_temp_folder(session)

        def batches():
            return [n for n in os.listdir(temp) if n.upper().startswith("_DEL_ME_")]
        for folder_name, exe_name, args, folder_removed in CASES:
            folder = os.path.join(work, folder_name)
            os.makedirs(folder)
            exe = os.path.join(folder, exe_name)
            shutil.copy(PROBE, exe)
            assert session.run(exe, ["deleteself"] + args, log=os.path.join(work, folder_name + ".log")) == 0
            assert wait_for(lambda: not os.path.exists(exe), 60), "%s was not deleted" % exe
            if folder_removed:
                assert wait_for(lambda: not os.path.exists(folder), 30), "%s was not removed" % folder
            else:
                assert os.path.isdir(folder), folder
            # The script deletes itself last.
            assert wait_for(lambda: not batches(), 30), "the batch file stayed: %s" % batches()

        # Two copies at once: neither overwrites the other's script.
        pair = []
        for n in range(2):
            folder = os.path.join(work, "pair%d" % n)
            os.makedirs(folder)
            exe = os.path.join(folder, "X_agent.exe")
            shutil.copy(PROBE, exe)
            pair.append((folder, session.start(exe, ["deleteself", "folder"],
                                               log=os.path.join(work, "pair%d.log" % n))))
        for folder, run in pair:
            assert run.wait(60) == 0
        for folder, _ in pair:
            assert wait_for(lambda: not os.path.exists(folder), 60), "%s was not removed" % folder
        assert wait_for(lambda: not batches(), 30), "a batch file stayed: %s" % batches()
        print("ok")


if __name__ == "__main__":
    main()
