"""One stub per setup file path: a second start of the same file while the
first still runs does nothing and ends with 0; copies of the file in two
folders run side by side, each with its own engine and folder."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import (WineSession, build_setup, read_record, scratch_dir, wait_for,  # noqa: E402
                          winpath)


def start_held(wine, setup, record, hold):
    return wine.start(setup, ["--record=" + winpath(record), "--hold-until=" + winpath(hold)])


def main():
    work = scratch_dir("stub_instances")
    payload = os.path.join(work, "readme.txt")
    with open(payload, "w") as f:
        f.write("sample product\n")
    setup = os.path.join(work, "setup.exe")
    assert build_setup(setup, [payload], "--exit=3") == 0, open(setup + ".log").read()

    with WineSession() as wine:
        # A second start of the same file while the first one's engine runs.
        hold = os.path.join(work, "hold-first")
        first_record = os.path.join(work, "first.txt")
        first = start_held(wine, setup, first_record, hold)
        assert wait_for(lambda: os.path.exists(first_record), 60), "first engine never ran"
        second_record = os.path.join(work, "second.txt")
        assert wine.run(setup, ["--record=" + winpath(second_record)], timeout=60) == 0
        assert not os.path.exists(second_record), "second start ran an engine"
        open(hold, "w").close()
        assert first.wait(60) == 3, "first start did not end with the engine's code"
        values, files = read_record(first_record)
        assert values["Exit"] == "3"
        assert values["AtomFound"] == "1"
        assert "readme.txt" in [name for name, _ in files]

        # The same file in two folders (same time stamp): both run at once.
        copies = []
        for name in ("a", "b"):
            folder = os.path.join(work, name)
            os.makedirs(folder)
            shutil.copy2(setup, os.path.join(folder, "setup.exe"))
            copies.append(os.path.join(folder, "setup.exe"))
        hold = os.path.join(work, "hold-both")
        records = [os.path.join(work, "copy-%d.txt" % i) for i in range(2)]
        runs = [start_held(wine, c, r, hold) for c, r in zip(copies, records)]
        assert wait_for(lambda: all(os.path.exists(r) for r in records), 60), \
            "the two copies did not run side by side"
        folders = [read_record(r)[0]["Folder"] for r in records]
        assert folders[0] != folders[1], "both copies extracted into one folder"
        origins = [read_record(r)[0]["OriginExe"] for r in records]
        assert origins == [winpath(c) for c in copies], origins
        open(hold, "w").close()
        assert [p.wait(60) for p in runs] == [3, 3]
    print("ok")


if __name__ == "__main__":
    main()
