#!/usr/bin/env python3
"""Where the stub's bytes go, from the linker map that every Stub.exe build
writes (build/<tree>/src/Stub.map).

    python3 bench/size/stub_size.py build/win32/src/Stub.map [--top 40]
    python3 bench/size/stub_size.py --check build/win32/src/Stub.map [--remove Stub.exe]

Without --check: the size by output section, by library and by object
(debug sections left out; .bss counts although the file holds none of it).

With --check: fails (exit 1, one line per culprit) when the stub links a
part of the runtime that the lean-stub rules keep out (ARCHITECTURE.md): the
exception runtime and unwinder, the posix-thread library, mingw-w64's own
printf and start-up code, libstdc++'s prebuilt std::string, zlib's inflate.
The build runs it after linking, so a change that pulls one of them back
in fails with the reason and the object that asked for it, instead of
silently growing the stub.
"""
import argparse
import collections
import os
import re
import sys

# (pattern on "library(member)", what it is)
FORBIDDEN = [
    (r"libwinpthread\.a\(", "the posix-thread library (std::mutex, std::thread, thread_local)"),
    (r"libgcc_eh\.a\(", "the unwinder (exceptions)"),
    (r"libstdc\+\+\.a\((eh_\w+|functexcept|cow-\w+|string-inst|sstream-inst|ios\w*|locale\w*)\.o\)",
     "the C++ exception, locale or iostream runtime"),
    (r"libmingwex\.a\([\w-]*(pformat|gdtoa)\.o\)", "mingw-w64's own printf (use utils/text_format.h)"),
    (r"libmingwex\.a\([\w-]*strtodg\.o\)", "mingw-w64's text-to-floating-point parser (strtod, atof, std::stod)"),
    (r"libmingwex\.a\([\w-]*(strtoumax|strtoimax)\.o\)", "mingw-w64's strtoull/strtoll (read digits in a loop)"),
    (r"libmingwex\.a\([\w-]*llroundl?\.o\)", "mingw-w64's long double rounding (keep clocks in integers)"),
    (r"libmsvcrt\.a\([\w-]*fseeki64\.o\)", "mingw-w64's 64-bit seek wrappers (FileSource sets offsets with fsetpos)"),
    (r"libmingwex\.a\([\w-]*strnlen\.o\)", "mingw-w64's strnlen (utils/text_rules.h: BufferText)"),
    (r"libz\.a\((adler32|crc32)\.o\)", "zlib's table-driven checksums (the stub has its own)"),
    (r"libz\.a\((inflate|inftrees|inffast|infback)\.o\)",
     "zlib's inflate (the stub has its own: package/zlib_inflate.cpp)"),
    (r"libmingw32\.a\([\w-]*(pseudo-reloc|tlssup|crt_handler)\.o\)",
     "mingw-w64's start-up code (the stub has its own entry: startup/stub_entry.cpp)"),
]


def archive_members(lines):
    """Archive members the link pulled in, with the object and symbol that
    asked for each (the map's first part)."""
    pulled = {}
    i = 0
    while i < len(lines) and not lines[i].startswith("Archive member included"):
        i += 1
    i += 1
    while i < len(lines):
        line = lines[i]
        if line.startswith(("Discarded input sections", "Memory Configuration", "Allocating common")):
            break
        if line and not line.startswith(" "):
            reason = lines[i + 1].strip() if i + 1 < len(lines) else ""
            pulled[line.strip()] = reason
            i += 2
            continue
        i += 1
    return pulled


def section_sizes(lines):
    """(section, size, input) for every input section placed in the image."""
    out = []
    pending = None
    # Only the memory map: the list of discarded input sections before it
    # has the same form.
    start = next((i for i, line in enumerate(lines) if line.startswith("Linker script and memory map")), 0)
    for line in lines[start:]:
        m = re.match(r"^ (\.[\w.$]+)\s*$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^ (\.[\w.$]+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m:
            section = m.group(1) or pending
            pending = None
            size = int(m.group(3), 16)
            if section and size and not section.startswith(".debug"):
                out.append((section, size, m.group(4)))
        else:
            pending = None
    return out


def short_name(source):
    m = re.search(r"lib([^/]+)\.a\(([^)]+)\)", source)
    if m:
        return m.group(1), m.group(2)
    return "(objects)", source.split("/")[-1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("map")
    parser.add_argument("--top", type=int, default=30, help="objects to list")
    parser.add_argument("--check", action="store_true", help="fail on a forbidden runtime part")
    parser.add_argument("--remove", metavar="EXE", help="with --check: delete EXE on failure, so that "
                        "the next build links it again instead of keeping it")
    args = parser.parse_args()
    lines = open(args.map, encoding="utf-8", errors="replace").read().splitlines()

    if args.check:
        bad = []
        for member, reason in archive_members(lines).items():
            for pattern, what in FORBIDDEN:
                if re.search(pattern, member):
                    bad.append(f"{member.split('/')[-1]}: {what}; pulled in by {reason}")
        for line in bad:
            print(f"stub_size: Stub.exe links {line}", file=sys.stderr)
        if bad:
            print("stub_size: see ARCHITECTURE.md, 'Lean stub', for the rules", file=sys.stderr)
            if args.remove and os.path.exists(args.remove):
                os.remove(args.remove)
        return 1 if bad else 0

    by_section = collections.Counter()
    by_library = collections.Counter()
    by_object = collections.Counter()
    for section, size, source in section_sizes(lines):
        top = "." + section.split(".")[1].split("$")[0]
        library, obj = short_name(source)
        by_section[top] += size
        by_library[library] += size
        by_object[f"{library}: {obj}"] += size
    print(f"total {sum(by_section.values())} bytes (before file alignment; .bss included)")
    print("\nby section:")
    for name, size in by_section.most_common():
        print(f"  {size:8d}  {name}")
    print("\nby library:")
    for name, size in by_library.most_common():
        print(f"  {size:8d}  {name}")
    print(f"\nlargest {args.top} objects:")
    for name, size in by_object.most_common(args.top):
        print(f"  {size:8d}  {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
