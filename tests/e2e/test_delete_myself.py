"""Self-deletion under Wine: a running copy of a program removes its own
file (and, when asked, its folder) through a batch file after it ends."""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_support as ws  # noqa: E402

PROBE = os.path.join(ws.BUILD, "tests", "programs", "utils-probe.exe")

CASES = [
    # folder name, exe name, arguments, folder removed
    ("plain", "agent.exe", [], False),
    ("with folder", "X_App.AutoUpdate.exe", ["folder"], True),
    ("short names", "Long Program Name.exe", ["short"], False),
    ("short names and folder", "Long Program Name.exe", ["folder", "short"], True),
]


def main():
    ws.setup()
    with tempfile.TemporaryDirectory(prefix="varnel-delself-") as work:
        for folder_name, exe_name, args, folder_removed in CASES:
            folder = os.path.join(work, folder_name)
            os.makedirs(folder)
            exe = os.path.join(folder, exe_name)
            shutil.copy(PROBE, exe)
            assert ws.run([exe, "deleteself"] + args, log=os.path.join(work, folder_name + ".log")) == 0
            ws.wait_until(lambda: not os.path.exists(exe), 60, "%s to be deleted" % exe)
            if folder_removed:
                ws.wait_until(lambda: not os.path.exists(folder), 30, "%s to be removed" % folder)
            else:
                assert os.path.isdir(folder), folder
        print("ok")


if __name__ == "__main__":
    main()
