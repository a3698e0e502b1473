"""A setup spread over disk files restarts itself from the temporary folder:
the first start copies itself there as "Y_" + its name and ends; the copy
reads disk 1 from beside the original file, runs the engine with the
original as its origin (and without the span switches), and after it has
ended the copy deletes itself and its folder."""
import glob
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import (WineSession, build_setup, read_record, scratch_dir, wait_for,  # noqa: E402
                          wine_temp_folder, winpath)


def main():
    work = scratch_dir("span_restart")
    members = []
    for i in range(3):
        path = os.path.join(work, "part%d.bin" % i)
        with open(path, "wb") as f:
            f.write(os.urandom(400 * 1024))
        members.append(path)
    setup = os.path.join(work, "setup.exe")
    assert build_setup(setup, members, "--exit=7", ["--restart-from-temp", "--span", "1M",
                                                     "--span-naming", "001"]) == 0, \
        open(setup + ".log").read()
    assert os.path.exists(setup + ".001") and os.path.exists(setup + ".002")

    record = os.path.join(work, "record.txt")
    hold = os.path.join(work, "hold")
    with WineSession() as wine:
        temp = wine_temp_folder(wine)
        for old in glob.glob(os.path.join(temp, "SETUP_*", "Y_setup.exe")):
            os.remove(old)
        # The first start only makes and starts the copy.
        assert wine.run(setup, ["/X", "--record=" + winpath(record), "--hold-until=" + winpath(hold)],
                        timeout=60) == 0
        assert wait_for(lambda: os.path.exists(record), 90), "the copy never ran the engine"
        copies = glob.glob(os.path.join(temp, "SETUP_*", "Y_setup.exe"))
        assert len(copies) == 1, copies
        copy_folder = os.path.dirname(copies[0])
        open(hold, "w").close()

        values, files = read_record(record)
        command = values["CommandLine"]
        assert "/SpanCdLvl" not in command and "/SpanDiskFName1" not in command, command
        assert command.count("/OriginExe=") == 1, command
        assert values["OriginExe"] == winpath(setup), values
        assert command.split(" ", 1)[1].startswith("/X --record="), command
        # The copy may share the extraction folder (the copy itself is in use).
        names = sorted(name for name, _ in files if name != "Y_setup.exe")
        assert names == ["Engine.exe", "part0.bin", "part1.bin", "part2.bin"], names

        # After the engine: the copy removes itself and its folder.
        assert wait_for(lambda: not os.path.exists(copy_folder), 90), \
            "the span copy's folder was left: %s" % os.listdir(copy_folder)
        assert read_record(record)[0]["Exit"] == "7"
    print("ok")


if __name__ == "__main__":
    main()
