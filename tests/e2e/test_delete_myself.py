"""Self-deletion under Wine: a running copy of a program removes its own
file (and, when asked, its folder) through a batch file after it ends."""
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
]


def main():
    work = scratch_dir("delete_myself")
    with WineSession() as session:
        batch = os.path.join(wine_temp_folder(session), "_DEL_ME_.BAT")
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
            assert wait_for(lambda: not os.path.exists(batch), 30), "the batch file stayed"
        print("ok")


if __name__ == "__main__":
    main()
