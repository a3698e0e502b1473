"""Spanned setup files written by varnel-pack, run by the real stub under
Wine: a package spread over disk files (setup.exe + setup.exe.002), and a
starter that restarts from a temporary copy and reads setup.exe.001,
setup.exe.002. In each case the test engine starts with every member beside
it, without a disk prompt (the disk files lie beside the setup file)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import (STUB, WineSession, build_setup, read_record,  # noqa: E402
                          scratch_dir, wait_for, winpath)
from setup_run import setup_folders  # noqa: E402


def product(work):
    """Three member files; the two larger ones do not compress, so a small
    span size puts them on disks of their own."""
    files = []
    for name, size in (("alpha.bin", 300000), ("beta.bin", 200000), ("readme.txt", 40)):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(os.urandom(size) if size > 1000 else b"x" * size)
        files.append(path)
    return files


def run_setup(wine, exe, record, timeout=180):
    if os.path.exists(record):
        os.remove(record)
    rc = wine.run(exe, [], timeout=timeout, log=exe + ".wine.log")
    # The engine appends its exit code last; the stub waited for it to end.
    assert wait_for(lambda: os.path.exists(record) and "Exit=" in open(record, errors="replace").read(),
                    30), "engine did not run for %s (exit %d)" % (exe, rc)
    values, files = read_record(record)
    return rc, values, dict(files)


def main():
    work = scratch_dir("spanned_setup")
    files = product(work)
    # Disk 1 holds the stub and the engine; the other disks have no stub.
    # How many disks the members take depends on the stub's size (every disk
    # gets the same span): at least two.
    span = str(os.path.getsize(STUB) + 320000)
    want = {"alpha.bin": 300000, "beta.bin": 200000, "readme.txt": 40}

    with WineSession() as wine:
        for naming, first_disks in (("exe", ["", ".002"]), ("001", ["", ".001", ".002"])):
            folder = os.path.join(work, naming)
            os.makedirs(folder)
            setup = os.path.join(folder, "setup.exe")
            record = os.path.join(folder, "record.txt")
            assert build_setup(setup, files, engine_args=" --record=" + winpath(record),
                               options=["--span", span, "--span-naming", naming]) == 0, \
                open(setup + ".log").read()
            made = sorted(os.listdir(folder))
            # Beside the log: the first disks named above, then further ones.
            more = len(made) - 1 - len(first_disks)
            last = len(first_disks) - (naming == "001")
            disks = first_disks + [".%03d" % (last + n) for n in range(1, more + 1)]
            assert made == sorted(["setup.exe.log"] + ["setup.exe" + s for s in disks]), made
            rc, values, got = run_setup(wine, setup, record)
            assert rc == 0, rc
            for name, size in want.items():
                assert got.get(name) == size, (naming, got)
            # A restarted copy removes its setup folder (and itself) after the
            # engine; the session must not end before it has.
            assert wait_for(lambda: not setup_folders(wine), 60), \
                "setup folder left by the %s set: %s" % (naming, setup_folders(wine))

    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
