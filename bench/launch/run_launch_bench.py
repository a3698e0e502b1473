#!/usr/bin/env python3
"""Setup run overhead under Wine: a package holding one small file and the
test engine (which ends at once), run as `setup.exe /hide` and shown, against
the engine started directly, runs alternated in one invocation, everything
on tmpfs.

    python3 bench/launch/run_launch_bench.py [--runs 7] [--stub OTHER_STUB.exe ...] [--unmanaged]

Each figure is the wall time of the whole program under Wine (a persistent
wineserver), from the start of the loader to the end of the process; the
engine started directly pays the same loader start. Overhead = median of a
setup run - median of the engine run. With --stub, the same package built
on further stubs (an older build, say) is measured in the same runs, so a
before and after come from one invocation.

Xvfb has no window manager, and Wine waits up to 2 s for one to withdraw a
managed window that is hidden: a shown run pays that when the stub hides its
window for the engine, which no desktop with a window manager does. With
--unmanaged, Wine is told for the time of the run (X11 Driver "Managed"="N",
removed afterwards) to hand no window to a window manager, which takes that
wait out.

Needs the route's Windows programs (dist/ or dist/win64/: Stub.exe,
Engine.exe) and dist/varnel-pack (scripts/build.sh)."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
os.environ.setdefault("VARNEL_ROOT", ROOT)

from wine_harness import ENGINE, PACK, STUB, WineSession  # noqa: E402

WORK = "/dev/shm/varnel-launch-bench"
X11_KEY = "HKCU\\Software\\Wine\\X11 Driver"


def build(stub, name, payload):
    setup = os.path.join(WORK, name, "setup.exe")
    os.makedirs(os.path.dirname(setup))
    subprocess.run([PACK, "build", "--output", setup, "--stub", stub, "--engine", ENGINE,
                    "--file", payload], check=True, stdout=subprocess.DEVNULL, timeout=300)
    return setup


def timed(session, exe, args):
    start = time.perf_counter()
    rc = session.run(exe, args, timeout=300, log=os.path.join(WORK, "run.log"))
    took = time.perf_counter() - start
    assert rc == 0, "%s %s ended with %s" % (exe, args, rc)
    return took


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--stub", action="append", default=[],
                    help="a further Stub.exe to measure beside the route's one")
    ap.add_argument("--unmanaged", action="store_true",
                    help="no window handed to a window manager (no 2 s hide wait of Xvfb)")
    args = ap.parse_args()
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    payload = os.path.join(WORK, "small.txt")
    with open(payload, "wb") as f:
        f.write(b"abc")
    # The engine started directly, from a folder like the one the stub
    # extracts into.
    direct = os.path.join(WORK, "direct")
    os.makedirs(direct)
    shutil.copy(ENGINE, os.path.join(direct, "Engine.exe"))
    shutil.copy(payload, direct)
    engine = os.path.join(direct, "Engine.exe")

    stubs = [("this build", STUB)] + [(path, path) for path in args.stub]
    cases = [("engine started directly", engine, [])]
    for i, (label, stub) in enumerate(stubs):
        setup = build(stub, "stub%d" % i, payload)
        cases.append(("setup /hide   (%s)" % label, setup, ["/hide"]))
        cases.append(("setup shown   (%s)" % label, setup, []))

    times = {label: [] for label, _, _ in cases}
    try:
        with WineSession() as session:
            if args.unmanaged:
                session.run("reg", ["add", X11_KEY, "/v", "Managed", "/d", "N", "/f"], timeout=60)
            for _, exe, argv in cases:  # warm-up: wineserver, page cache
                timed(session, exe, argv)
            for _ in range(args.runs):
                for label, exe, argv in cases:
                    times[label].append(timed(session, exe, argv))
            if args.unmanaged:
                session.run("reg", ["delete", X11_KEY, "/v", "Managed", "/f"], timeout=60)
    finally:
        shutil.rmtree(WORK, ignore_errors=True)

    base = statistics.median(times[cases[0][0]])
    print("one 3-byte file + the test engine, median of %d runs (seconds)%s:"
          % (args.runs, ", windows unmanaged" if args.unmanaged else ""))
    for label, _, _ in cases:
        m = statistics.median(times[label])
        extra = "" if label == cases[0][0] else "   overhead %6.3f" % (m - base)
        print("  %-40s %6.3f%s   (runs: %s)" % (label, m, extra,
                                                ", ".join("%.2f" % t for t in times[label])))


if __name__ == "__main__":
    main()
