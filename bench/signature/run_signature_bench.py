#!/usr/bin/env python3
"""Verification cost of signed updates under Wine, everything on tmpfs.

    python3 bench/signature/run_signature_bench.py [--size-mb 100] [--runs 5]

1. A .info's signature check as the agent makes it (signature_bench verify):
   the first check (bcrypt.dll loaded, providers opened) and the median of
   the following ones.
2. SHA-256 of a file of --size-mb MiB: the stub's Sha256OfFile through one
   handle (signature_bench hash) against a plain CNG loop with 1 MiB reads
   (signature_reference) and against the native sha256sum; runs alternated,
   median MB/s of each.

Needs build/<route>/bench/signature/*.exe (scripts/build.sh --tests)."""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
os.environ.setdefault("VARNEL_ROOT", ROOT)

from wine_harness import BUILD, WineSession, winpath  # noqa: E402

WORK = "/dev/shm/varnel-signature-bench"
MIB = 1048576


def run(session, exe, args, log):
    rc = session.run(exe, args, timeout=600, log=log)
    with open(log) as f:
        text = f.read()
    assert rc == 0, "%s failed: %s" % (exe, text)
    return text


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mb", type=int, default=100)
    parser.add_argument("--runs", type=int, default=5)
    a = parser.parse_args()
    bench = os.path.join(BUILD, "bench", "signature", "signature_bench.exe")
    reference = os.path.join(BUILD, "bench", "signature", "signature_reference.exe")
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    data = os.path.join(WORK, "data.bin")
    size = a.size_mb * MIB
    with open(data, "wb") as f:
        for _ in range(a.size_mb):
            f.write(os.urandom(MIB))
    expected = subprocess.run(["sha256sum", data], capture_output=True, text=True, check=True).stdout.split()[0]
    log = os.path.join(WORK, "run.log")
    try:
        with WineSession() as session:
            print(run(session, bench, ["verify"], log).strip())
            rates = {"stub Sha256OfFile": [], "plain CNG loop": [], "native sha256sum": []}
            for _ in range(a.runs):
                for name, exe in (("plain CNG loop", reference), ("stub Sha256OfFile", bench)):
                    args = [winpath(data)] if exe == reference else ["hash", winpath(data)]
                    text = run(session, exe, args, log)
                    m = re.search(r"ms=([\d.]+) bytes=(\d+) sha256=([0-9a-f]+)", text)
                    assert m and int(m.group(2)) == size and m.group(3) == expected, text
                    rates[name].append(size / MIB / (float(m.group(1)) / 1000.0))
                t0 = time.perf_counter()
                subprocess.run(["sha256sum", data], capture_output=True, check=True)
                rates["native sha256sum"].append(size / MIB / (time.perf_counter() - t0))
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
    print("SHA-256 of %d MiB, median of %d runs:" % (a.size_mb, a.runs))
    for name, values in rates.items():
        print("  %-18s %8.1f MB/s" % (name, statistics.median(values)))
    print("  stub / plain CNG: %.2f" % (statistics.median(rates["stub Sha256OfFile"]) /
                                       statistics.median(rates["plain CNG loop"])))


if __name__ == "__main__":
    main()
