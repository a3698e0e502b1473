#!/usr/bin/env python3
"""The update agent's update round trip under Wine: an installed agent (its
X_ copy running) takes a newer setup (one small file and the test engine,
which ends at once) from a local update folder and runs it hidden
(BackgroundUpdate=1, no questions, no product running); with --http, from
a loopback HTTP server instead.

    python3 bench/launch/run_agent_update_bench.py [--runs 5] [--http] [--stub OTHER_STUB.exe ...]

Each run makes the update due (VersionOriginal 1 again, no last check) and
asks for a check; the figure is the time from the agent log's
"PerformAutoUpdate() - START" to its "PerformAutoUpdate() - END", both seen
by polling the log every 10 ms (the wait for the next timer tick, up to a
second, is not in it). With --stub, agents built on further stubs (an older
build, say) are measured in the same invocation, one after the other (their
X_ copies share one window class).

Needs the route's Windows programs and dist/varnel-pack (scripts/build.sh)."""
import argparse
import contextlib
import os
import shutil
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
os.environ.setdefault("VARNEL_ROOT", ROOT)

import wine_harness  # noqa: E402
from loopback_server import LoopbackServer  # noqa: E402
from test_update_cycle import write_info  # noqa: E402
from update_fixture import PERFORM_UPDATE_CYCLE, Installation, build_agent, build_update  # noqa: E402
from wine_harness import WineSession, winpath  # noqa: E402

WORK = "/dev/shm/varnel-agent-bench"
START = "PerformAutoUpdate() - START"
END = "PerformAutoUpdate() - END"
QUIET = dict(RequestConfirmationBeforeDownload=0, RequestConfirmationBeforeInstall=0, RestartProcess=0,
             InformFinish=0, BackgroundUpdate=1, ShutDownMethod="Don't Shut Down")


def seen(install, text, count, limit=120):
    """Polls the agent log until `text` stands in `count` lines; the time."""
    deadline = time.perf_counter() + limit
    while install.log_count(text) < count:
        assert time.perf_counter() < deadline, "%r not %d times in the agent log" % (text, count)
        time.sleep(0.01)
    return time.perf_counter()


def measure(session, stub, work, runs, http):
    wine_harness.STUB = stub  # build_setup packs this stub
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    payload = os.path.join(work, "Note.txt")
    with open(payload, "wb") as f:
        f.write(b"abc")
    agent = build_agent(os.path.join(work, "agent.exe"), winpath(updates))
    install = Installation(session, work, agent)
    setup = build_update(os.path.join(updates, "TidewaterSetup.exe"), '--install="%s"' % install.win, [payload])
    original = {"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                                  "ProbeSecondsLast": 0}}
    install.lay_out(original)
    write_info(updates, setup, winpath(updates), 1, 1, **QUIET)  # nothing new at the first check
    install.start_agent()
    install.shut_down(100000)  # no self-restart after an update
    install.wait_log("GetOkToPerformAU = ", 1, 60)
    times = []
    with LoopbackServer(updates) if http else contextlib.nullcontext() as server:
        url = server.url("files") if http else winpath(updates)
        for run in range(runs + 1):  # the first one warms up
            write_info(updates, setup, url, 2, 10 + run, **QUIET)
            starts, ends = install.log_count(START), install.log_count(END)
            install.write_original(original)
            install.command(PERFORM_UPDATE_CYCLE, 1)
            began = seen(install, START, starts + 1)
            ended = seen(install, END, ends + 1)
            assert "Result=TRUE" in [line for line in install.log_lines() if END in line][-1]
            if run:
                times.append(ended - began)
    install.stop_agent()
    return times


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--http", action="store_true", help="the setup from a loopback HTTP server")
    ap.add_argument("--stub", action="append", default=[],
                    help="a further Stub.exe to measure beside the route's one")
    args = ap.parse_args()
    stubs = [("this build", wine_harness.STUB)] + [(path, path) for path in args.stub]
    shutil.rmtree(WORK, ignore_errors=True)
    results = []
    try:
        with WineSession() as session:
            for i, (label, stub) in enumerate(stubs):
                results.append((label, measure(session, stub, os.path.join(WORK, "stub%d" % i), args.runs,
                                                       args.http)))
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
    print("the agent's update round trip (START to END in its log, setup %s), median of %d runs (seconds):"
          % ("over HTTP" if args.http else "from a folder", args.runs))
    for label, times in results:
        print("  %-40s %6.3f   (runs: %s)" % (label, statistics.median(times), ", ".join("%.2f" % t for t in times)))


if __name__ == "__main__":
    main()
