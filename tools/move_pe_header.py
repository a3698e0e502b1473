#!/usr/bin/env python3
"""Moves the PE header of a linked Windows image to file offset 0x100.

The setup file format keeps its package end pointer in the DOS header area at
0xF8..0xFF and expects the "PE" signature at 0x100. GNU ld writes the header at
0x80. The header, its optional header and the section table are moved up; the
bytes freed below 0x100 are zeroed and e_lfanew is updated. The move needs the
section table to still end before the first section's raw data.
"""
import struct
import sys

TARGET = 0x100


def move(data: bytearray) -> bytearray:
    if data[:2] != b"MZ":
        raise SystemExit("not an MZ image")
    lfanew = struct.unpack_from("<I", data, 0x3C)[0]
    if data[lfanew:lfanew + 4] != b"PE\0\0":
        raise SystemExit("no PE signature")
    if lfanew == TARGET:
        return data
    if lfanew > TARGET:
        raise SystemExit("PE header already beyond 0x%x" % TARGET)
    sections, opt_size = struct.unpack_from("<2xH12xH", data, lfanew + 4)
    end = lfanew + 24 + opt_size + 40 * sections
    opt = lfanew + 24
    size_of_headers = struct.unpack_from("<I", data, opt + 60)[0]
    first_raw = min((struct.unpack_from("<I", data, lfanew + 24 + opt_size + 40 * i + 20)[0]
                     for i in range(sections)), default=size_of_headers)
    room = min(size_of_headers, first_raw or size_of_headers)
    new_end = end + (TARGET - lfanew)
    if new_end > room:
        raise SystemExit("no room to move the PE header (needs 0x%x, has 0x%x)" % (new_end, room))
    block = bytes(data[lfanew:end])
    data[lfanew:end] = b"\0" * (end - lfanew)
    data[TARGET:TARGET + len(block)] = block
    struct.pack_into("<I", data, 0x3C, TARGET)
    data[0xF8:0x100] = b"\0" * 8
    return data


def main() -> None:
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    data = move(data)
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
