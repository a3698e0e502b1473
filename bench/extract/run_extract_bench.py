#!/usr/bin/env python3
"""Extraction benchmark: Stub.exe against a plain reference loop, under Wine,
on a realistic package (text, binaries and incompressible data; some files
over 5 MiB, many small ones), everything on tmpfs.

    python3 bench/extract/run_extract_bench.py [--size-mb 220] [--runs 5]

Needs the route's Windows programs (dist/ or, on the 64-bit route,
dist/win64/: Stub.exe, Engine.exe, debug-viewer.exe), dist/varnel-pack and
build/<route>/bench/extract/extract_reference.exe (scripts/build.sh --tests).

Stub time: the stub's own "UnCompressTime: <ms> MS" trace line (received by
the debug viewer), i.e. from the start of the extraction to its end.
Reference time: the same blocks read, inflated and written by
extract_reference.exe, with no window and no message dispatching.
Peak memory: the stub process's peak resident set (VmHWM, which Wine also
reports as the peak working set), sampled while it runs; the same for a
package holding only the engine gives Wine's own floor."""
import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
os.environ.setdefault("VARNEL_ROOT", ROOT)

BENCH = "/dev/shm/varnel-extract-bench"
from wine_harness import BUILD, ENGINE, PACK, ROUTE, STUB  # noqa: E402

REFERENCE = os.path.join(BUILD, "bench", "extract", "extract_reference.exe")
MIB = 1048576


def make_text(rng, size):
    words = ["setup", "engine", "member", "extract", "window", "package", "folder", "varnel",
             "progress", "disk", "trailer", "header", "install", "product", "update", "agent",
             "0", "1", "2024", "value", "key", "=", "the", "a", "of", "and", "to", "in"]
    lines, total = [], 0
    while total < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + "\r\n"
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]


def make_data(folder, size_mb):
    """About size_mb MiB of member files: 40% text, 30% binaries, 30% random."""
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    rng = random.Random(1)
    budget = size_mb * MIB
    text_total, bin_total = budget * 4 // 10, budget * 3 // 10
    rand_total = budget - text_total - bin_total
    # Text: a few large files (stored in pieces) and many small ones.
    chunk = make_text(rng, 8 * MIB)
    done, i = 0, 0
    for size in [12 * MIB, 9 * MIB, 6 * MIB]:
        with open(os.path.join(folder, "doc%02d.txt" % i), "wb") as f:
            for k in range(0, size, len(chunk)):
                f.write(chunk[:min(len(chunk), size - k)])
        done += size
        i += 1
    while done < text_total:
        size = rng.randint(2000, 200000)
        start = rng.randint(0, len(chunk) - size)
        with open(os.path.join(folder, "page%04d.txt" % i), "wb") as f:
            f.write(chunk[start:start + size])
        done += size
        i += 1
    # Binaries: real libraries and programs of the machine.
    done = 0
    candidates = []
    for d in ("/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib/gcc"):
        for base, _, names in os.walk(d):
            for n in names:
                p = os.path.join(base, n)
                if os.path.isfile(p) and not os.path.islink(p) and os.path.getsize(p) > 20000:
                    candidates.append(p)
    rng.shuffle(candidates)
    for n, p in enumerate(candidates):
        if done >= bin_total:
            break
        size = min(os.path.getsize(p), bin_total - done)
        with open(p, "rb") as src, open(os.path.join(folder, "bin%04d.dat" % n), "wb") as dst:
            dst.write(src.read(size))
        done += size
    # Incompressible: a few large files and some small ones.
    done, n = 0, 0
    while done < rand_total:
        size = min(rand_total - done, 11 * MIB if n < 4 else rng.randint(10000, 400000))
        with open(os.path.join(folder, "rand%03d.bin" % n), "wb") as f:
            f.write(os.urandom(size))
        done += size
        n += 1
    return sum(os.path.getsize(os.path.join(folder, f)) for f in os.listdir(folder))


def build(setup, data):
    files = sorted(os.path.join(data, f) for f in os.listdir(data))
    listing = setup + ".files"
    argv = [PACK, "build", "-o", setup, "--stub", STUB, "--engine", ENGINE]
    for f in files:
        argv += ["--file", f]
    with open(listing, "w") as log:
        subprocess.run(argv, check=True, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                       timeout=1800)


class PeakSampler:
    """Largest VmHWM of the processes whose command line names `marker`."""

    def __init__(self, marker):
        self.marker = marker.encode()
        self.peak_kb = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def run(self):
        while not self.stop.is_set():
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        if self.marker not in f.read():
                            continue
                    with open("/proc/%s/status" % pid) as f:
                        for line in f:
                            if line.startswith("VmHWM:"):
                                self.peak_kb = max(self.peak_kb, int(line.split()[1]))
                except OSError:
                    pass
            time.sleep(0.02)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join(5)


def run_stub(session, viewer, setup):
    before = viewer.text().count("UnCompressTime:")
    with PeakSampler(os.path.basename(setup)) as sampler:
        rc = session.run(setup, [], timeout=1800, log=setup + ".run.log")
    assert rc == 0, "setup ended with %d" % rc
    times = re.findall(r"UnCompressTime: (\d+) MS", viewer.text())
    assert len(times) > before, "no UnCompressTime line received"
    return int(times[-1]), sampler.peak_kb


def run_reference(session, setup, out):
    from wine_harness import winpath
    shutil.rmtree(out, ignore_errors=True)
    log = out + ".log"
    rc = session.run(REFERENCE, [winpath(setup), winpath(out)], timeout=1800, log=log)
    text = open(log).read()
    assert rc == 0, text
    ms = int(re.search(r"ReferenceTime: (\d+) MS", text).group(1))
    size = int(re.search(r"ReferenceBytes: (\d+)", text).group(1))
    shutil.rmtree(out, ignore_errors=True)
    return ms, size


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mb", type=int, default=220)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()

    os.makedirs(BENCH, exist_ok=True)
    # A prefix of the route's kind on tmpfs, copied from the test suite's.
    prefix = os.path.join(BENCH, "prefix-" + ROUTE)
    shared = os.path.join(ROOT, "build", "wineprefix64" if ROUTE == "win64" else "wineprefix")
    if not os.path.exists(os.path.join(prefix, "system.reg")) and os.path.exists(
            os.path.join(shared, "system.reg")):
        subprocess.run(["cp", "-a", shared, prefix], check=True, timeout=600)
    os.environ["VARNEL_WINEPREFIX64" if ROUTE == "win64" else "VARNEL_WINEPREFIX"] = prefix
    from wine_harness import WineSession  # noqa: E402
    from debug_viewer import DebugViewer  # noqa: E402

    data = os.path.join(BENCH, "data")
    total = make_data(data, args.size_mb)
    setup = os.path.join(BENCH, "bench-setup.exe")
    build(setup, data)
    tiny = os.path.join(BENCH, "tiny-setup.exe")
    empty = os.path.join(BENCH, "empty")
    os.makedirs(empty, exist_ok=True)
    build(tiny, empty)
    print("route: %s (%s)" % (ROUTE, STUB))
    print("package: %d files, %.1f MiB of content, setup file %.1f MiB"
          % (len(os.listdir(data)), total / MIB, os.path.getsize(setup) / MIB))

    stub_ms, ref_ms, peaks = [], [], []
    with WineSession() as session, DebugViewer(session, BENCH) as viewer:
        _, floor_kb = run_stub(session, viewer, tiny)
        for i in range(args.runs):
            ms, peak = run_stub(session, viewer, setup)
            stub_ms.append(ms)
            peaks.append(peak)
            r, size = run_reference(session, setup, os.path.join(BENCH, "ref"))
            ref_ms.append(r)
            print("run %d: stub %d ms, reference %d ms, stub peak %.1f MiB" % (i + 1, ms, r, peak / 1024))
    stub, ref = statistics.median(stub_ms), statistics.median(ref_ms)
    mb = size / MIB
    print("median: stub %.0f ms (%.1f MiB/s), reference %.0f ms (%.1f MiB/s)"
          % (stub, mb / (stub / 1000), ref, mb / (ref / 1000)))
    print("stub throughput / reference throughput: %.1f%%" % (100.0 * ref / stub))
    print("stub peak working set: %.1f MiB (largest of runs); Wine floor with an engine-only package: %.1f MiB"
          % (max(peaks) / 1024, floor_kb / 1024))


if __name__ == "__main__":
    main()
