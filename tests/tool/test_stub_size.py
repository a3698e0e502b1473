#!/usr/bin/env python3
"""Stub.exe stays small: every setup file and web installer carries it.

The limits are the sizes the lean build reached plus a little headroom, so
that a change that links a heavy part of the runtime back in (exceptions,
iostreams, std::mutex, mingw-w64's printf) fails here even where the
Windows programs cannot run. bench/size/stub_size.py shows where the bytes
go. Raise a limit only for a feature that needs the room, and say so in
README.md."""
import os
import sys
import unittest

ROOT = os.environ.get("VARNEL_ROOT") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

LIMITS = {
    # With the update agent's cycle linked the stub came to 177,664 /
    # 181,248 bytes. -Oz, fewer inlining and frame-growing options, no
    # unwind tables on 64-bit either, the inflate built for size, C-string
    # parameters for literal names, no strtoull, long double or signed 64-bit
    # division took it to 161,280 / 158,208; texts built in place instead of
    # chains of temporaries, tables for the folder and trailer fields, one
    # routine for whole numbers instead of std::to_string, shared helpers for
    # paths, replacements and error texts to 145,408 / 142,336. Signed
    # updates (CNG verification of the .info, SHA-256 of fetched files and of
    # the web installer's setup), the agent's hardening for real conditions,
    # downloads on WinINet's asynchronous mode with a stall deadline, size
    # limits and resume, and whole-or-nothing writes on a full volume brought
    # 165,888 / 164,352. Paths through the wide functions (UTF-8 inside,
    # UTF-16 at the Win32 boundary, about 7.5 KB), the downloads' no-wait
    # reads and the asynchronous size query brought 173,568 / 172,544. The
    # limits leave 3 KB.
    "dist/Stub.exe": 177152,        # 32-bit: 173 KiB
    "dist/win64/Stub.exe": 175616,  # 64-bit: 171.5 KiB
}


class StubSize(unittest.TestCase):
    def test_stubs_stay_under_their_limits(self):
        for name, limit in LIMITS.items():
            with self.subTest(stub=name):
                path = os.path.join(ROOT, name)
                self.assertTrue(os.path.isfile(path), f"{name} is missing: run scripts/build.sh first")
                size = os.path.getsize(path)
                self.assertLessEqual(size, limit, f"{name} is {size} bytes, over its limit of {limit}: "
                                     "see bench/size/stub_size.py for where the bytes go")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
