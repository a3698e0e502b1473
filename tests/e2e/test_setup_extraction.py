"""Extraction under Wine on setup files built by varnel-pack: a file over
5 MiB arrives as its pieces; the update agent written during extraction is
the setup file cut before its first member, byte for byte; a corrupt member
shows zlib's message (nothing when hidden) and ends with code 3 without the
engine; a spanned package with every disk file present extracts without a
question; a missing disk is asked for and Cancel ends with code 5; a failed
checksum on a small disk file shows the package's own "s7" text and ends
with code 2. No setup folder is left behind in any case."""
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import PACK, WineSession, build_setup, scratch_dir, winpath  # noqa: E402
from setup_run import (clear_setup_folders, engine_record, press, read_box, setup_folders,  # noqa: E402
                       record_arg, run_setup)

PIECE = 5242880


def members(path):
    """(offset of the length field, stored size, name) of every member block."""
    out = path + ".list"
    with open(out, "w") as f:
        assert subprocess.run([PACK, "list", path], stdin=subprocess.DEVNULL, stdout=f,
                              stderr=subprocess.STDOUT, timeout=120).returncode == 0
    rows = []
    for line in open(out, encoding="latin-1"):
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit() and parts[1] in ("z", "s"):
            rows.append((int(parts[0]), int(parts[2]), parts[6]))
    return rows


def expected_agent(setup):
    """The derived update agent: the setup file up to its first member block,
    no package end pointer, then its trailer marked as an agent's."""
    data = open(setup, "rb").read()
    low, = struct.unpack_from("<I", data, 0xFC)
    end = low if (data[:2] == b"MZ" and data[0x100:0x102] == b"PE" and low) else len(data)
    length, = struct.unpack_from("<I", data, end - 4)
    trailer = bytearray(data[end - length:end])
    start, = struct.unpack_from("<I", trailer, 4)
    pos = start
    for _ in range(trailer[1] or 2):
        block, = struct.unpack_from("<i", data, pos)
        pos += 4 + abs(block)
    copy = bytearray(data[:pos])
    copy[0xFC:0x100] = b"\0\0\0\0"
    trailer[69] = 1
    struct.pack_into("<I", trailer, 70, 74)
    return bytes(copy + trailer)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def flip(path, offset, count=8):
    with open(path, "r+b") as f:
        f.seek(offset)
        data = bytearray(f.read(count))
        f.seek(offset)
        f.write(bytes(b ^ 0x5A for b in data))


def pieces_and_agent(s, work):
    record = os.path.join(work, "engine.rec")
    installed = os.path.join(work, "installed")
    big = write(os.path.join(work, "big.bin"), (b"0123456789abcdef" * 65536 * 5) + os.urandom(1000))
    signature = write(os.path.join(work, "signature.bin"), b"SIG" * 100)
    setup = os.path.join(work, "setup.exe")
    assert build_setup(setup, [big], engine_args=record_arg(record) + " --install=" + winpath(installed),
                       options=["--write-update-agent", "--agent-file", "Agent.exe",
                                "--append", signature]) == 0
    assert run_setup(s, setup) == 0
    _, files = engine_record(record)
    assert files == [("Agent.exe", len(expected_agent(setup))), ("Engine.exe", files[1][1]),
                     ("big.bin", PIECE), ("big.bin.00002", 1000)], files
    with open(os.path.join(installed, "big.bin.00002"), "rb") as f:
        assert f.read() == open(big, "rb").read()[PIECE:]
    with open(os.path.join(installed, "Agent.exe"), "rb") as f:
        assert f.read() == expected_agent(setup), "the update agent differs from the derived file"


def corrupt_member(s, work):
    record = os.path.join(work, "corrupt.rec")
    text = write(os.path.join(work, "text.txt"), b"".join(b"line %d of the text\r\n" % i
                                                          for i in range(20000)))
    setup = os.path.join(work, "corrupt.exe")
    assert build_setup(setup, [text], engine_args=record_arg(record)) == 0
    offset, stored, _ = [m for m in members(setup) if m[2] == "text.txt"][0]
    flip(setup, offset + 4 + stored // 2)

    run = s.start(setup, [], log=setup + ".run.log")
    shown = read_box(s, work, "corrupt")
    assert "zlib" in shown or "corrupt" in shown.lower(), shown
    press(s, "Return")
    assert run.wait(60) == 3
    assert not os.path.exists(record), "the engine ran on a corrupt package"
    assert run_setup(s, setup, ["/hide"], timeout=60) == 3  # no box to answer
    assert not os.path.exists(record)


def spanned(s, work):
    record = os.path.join(work, "span.rec")
    files = [write(os.path.join(work, "part%d.bin" % i), os.urandom(300000)) for i in range(5)]
    probe = os.path.join(work, "probe.exe")
    assert build_setup(probe, [], engine_args=record_arg(record)) == 0
    offset, stored, _ = members(probe)[0]
    engine_end = offset + 4 + stored
    setup = os.path.join(work, "span.exe")
    # The first disk holds the stub, the engine and one part; the later ones
    # (no stub) two parts each, however small the stub is.
    span = max(engine_end + 310000, 2 * 310000) + 74
    assert build_setup(setup, files, engine_args=record_arg(record), options=["--span", str(span)]) == 0
    disks = [setup, setup + ".002", setup + ".003"]
    assert all(os.path.exists(d) for d in disks) and not os.path.exists(setup + ".004"), \
        os.listdir(work)

    # Every disk file present: no question.
    assert run_setup(s, setup) == 0
    _, got = engine_record(record)
    assert [n for n, _ in got] == ["Engine.exe"] + ["part%d.bin" % i for i in range(5)], got
    os.remove(record)

    # The third disk missing: the prompt asks for it; Cancel ends without the engine.
    os.rename(disks[2], disks[2] + ".away")
    run = s.start(setup, [], log=setup + ".cancel.log")
    shown = read_box(s, work, "disk")
    assert "DISK #3" in shown, shown
    press(s, "Escape")
    assert run.wait(60) == 5
    assert not os.path.exists(record), "the engine ran after a cancelled disk prompt"
    os.rename(disks[2] + ".away", disks[2])


def bad_checksum(s, work):
    record = os.path.join(work, "crc.rec")
    language = os.path.join(work, "English.lang")
    with open(language, "w") as f:
        f.write("[English]\ns7=The setup file <B>is damaged</B>!\n")
    probe = os.path.join(work, "probe.exe")
    offset, stored, _ = members(probe)[0]
    small = write(os.path.join(work, "small.bin"), os.urandom(20000))
    setup = os.path.join(work, "crc.exe")
    assert build_setup(setup, [small], engine_args=record_arg(record),
                       options=["--language", language, "--checksum", "compute",
                                "--span", str(offset + 4 + stored + 74 + 1000)]) == 0
    disk = setup + ".002"
    assert os.path.getsize(disk) <= 51200
    flip(disk, os.path.getsize(disk) // 2, 1)

    run = s.start(setup, [], log=setup + ".run.log")
    shown = read_box(s, work, "crc")
    assert "The setup file is damaged!" in shown, shown
    press(s, "Return")
    assert run.wait(60) == 2
    assert not os.path.exists(record), "the engine ran on a damaged package"


def main():
    work = scratch_dir("setup_extraction")
    with WineSession() as s:
        clear_setup_folders(s)
        pieces_and_agent(s, work)
        corrupt_member(s, work)
        spanned(s, work)
        bad_checksum(s, work)
        # Cancelled, corrupt and damaged runs leave no setup folder either.
        assert not setup_folders(s), setup_folders(s)
        assert not [n for n in os.listdir(work) if n.startswith("SETUP_")]
    print("ok")


if __name__ == "__main__":
    main()
