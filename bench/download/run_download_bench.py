#!/usr/bin/env python3
"""Download benchmark under Wine against a loopback HTTP server, everything
on tmpfs.

    python3 bench/download/run_download_bench.py [--size-mb 100] [--runs 5] [--web]

1. HTTP_DownloadFile_Incremental into a file (download_bench.exe) against a
   plain WinINet loop of the same read size writing the same file
   (download_reference.exe), runs alternated; median MB/s of each and the
   ratio, and the same for the best run of each.
2. A resumed download: the server cuts the first transfer at half the file
   (a reset), the download continues with a Range request; the share of the
   file's bytes the server sent again.
3. With --web: the web installer end to end on a setup of that size
   (download + token check + extraction + engine), hidden, with the time
   split taken from the stub's trace lines (received by the debug viewer).

Needs the route's Windows programs and build/<route>/bench/download/*.exe
(scripts/build.sh --tests)."""
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

from loopback_server import LoopbackServer  # noqa: E402
from wine_harness import BUILD, ENGINE, PACK, STUB, WineSession, winpath  # noqa: E402

# One folder per run: benchmarks of other work trees may run at the same time.
WORK = "/dev/shm/varnel-download-bench-%d" % os.getpid()
MIB = 1048576


def timed(session, exe, url, out, log):
    rc = session.run(exe, [url, winpath(out)], timeout=600, log=log)
    with open(log) as f:
        text = f.read()
    m = re.search(r"ms=([\d.]+) bytes=(\d+)", text)
    assert rc == 0 and m, "%s failed: %s" % (exe, text)
    return float(m.group(1)), int(m.group(2))


def download_figures(session, server, size, runs):
    bench = os.path.join(BUILD, "bench", "download", "download_bench.exe")
    reference = os.path.join(BUILD, "bench", "download", "download_reference.exe")
    url = server.url("files/data.bin")
    stub_rates, ref_rates = [], []
    for i in range(runs):
        for exe, rates in ((reference, ref_rates), (bench, stub_rates)):
            out = os.path.join(WORK, "out.bin")
            if os.path.exists(out):
                os.remove(out)
            ms, got = timed(session, exe, url, out, os.path.join(WORK, "run.log"))
            assert got == size, (exe, got, size)
            rates.append(size / MIB / (ms / 1000.0))
    s, r = statistics.median(stub_rates), statistics.median(ref_rates)
    print("download %d MiB, median of %d runs:" % (size // MIB, runs))
    print("  HTTP_DownloadFile_Incremental  %7.1f MB/s   (runs: %s)"
          % (s, ", ".join("%.0f" % x for x in stub_rates)))
    print("  reference WinINet loop         %7.1f MB/s   (runs: %s)"
          % (r, ", ".join("%.0f" % x for x in ref_rates)))
    print("  ratio                          %7.1f %%" % (100.0 * s / r))
    # The machine is shared: the best run of each shows what the code can do
    # when nothing else competes for the processor.
    print("  best runs: %.1f against %.1f MB/s, ratio %.1f %%"
          % (max(stub_rates), max(ref_rates), 100.0 * max(stub_rates) / max(ref_rates)))


def resume_figures(session, server, size):
    bench = os.path.join(BUILD, "bench", "download", "download_bench.exe")
    out = os.path.join(WORK, "resumed.bin")
    log = os.path.join(WORK, "resume.log")
    rc = session.run(bench, [server.url("cutonce/data.bin"), winpath(out), "resume"], timeout=600, log=log)
    with open(log) as f:
        text = f.read()
    assert rc == 0, text
    with open(out, "rb") as a, open(os.path.join(WORK, "served", "data.bin"), "rb") as b:
        assert a.read() == b.read(), "the resumed file differs from the served one"
    sent = server.sent.get("/cutonce/data.bin", 0)
    print("resumed download of %d MiB cut at 50%%: the server sent %.1f %% of the file in all,"
          " %.1f %% again" % (size // MIB, 100.0 * sent / size, 100.0 * (sent - size) / size))


def web_figures(session, server, size_mb):
    from debug_viewer import DebugViewer  # noqa: E402
    payload = os.path.join(WORK, "payload.bin")
    with open(payload, "wb") as f:
        f.write(os.urandom(size_mb * MIB))
    setup = os.path.join(WORK, "served", "setup.exe")
    web = os.path.join(WORK, "web", "web.exe")
    os.makedirs(os.path.dirname(web), exist_ok=True)
    subprocess.run([PACK, "build", "-o", setup, "--stub", STUB, "--engine", ENGINE, "--store",
                    "--download-url", server.url("files"), "--web-installer", web, "--file", payload],
                   check=True, stdout=subprocess.DEVNULL, timeout=600)
    setup_size = os.path.getsize(setup)
    with DebugViewer(session, WORK) as viewer:
        start = time.time()
        rc = session.run(web, ["/hide"], timeout=900, log=os.path.join(WORK, "web.log"))
        total = time.time() - start
        time.sleep(1)
        text = viewer.text()
    assert rc == 0, rc
    download = re.findall(r"WebInstall: download (\d+) MS", text)
    token = re.findall(r"WebInstall: token check (\d+) MS", text)
    extract = re.findall(r"UnCompressTime: (\d+) MS", text)
    assert download and token and extract, text[-2000:]
    d, t, e = int(download[-1]) / 1000.0, int(token[-1]) / 1000.0, int(extract[-1]) / 1000.0
    print("web installer end to end, %.1f MiB setup file, hidden:" % (setup_size / MIB))
    print("  download     %6.2f s  (%.1f MB/s)" % (d, setup_size / MIB / d))
    print("  token check  %6.2f s" % t)
    print("  extraction   %6.2f s" % e)
    print("  the rest     %6.2f s  (fixed waits of the run, engine start and wait, clean-up)"
          % (total - d - t - e))
    print("  total        %6.2f s" % total)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mb", type=int, default=100)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--web", action="store_true")
    args = ap.parse_args()
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(os.path.join(WORK, "served"))
    size = args.size_mb * MIB
    with open(os.path.join(WORK, "served", "data.bin"), "wb") as f:
        f.write(os.urandom(size))
    try:
        with LoopbackServer(os.path.join(WORK, "served")) as server, WineSession() as session:
            download_figures(session, server, size, args.runs)
            resume_figures(session, server, size)
            if args.web:
                web_figures(session, server, args.size_mb)
    finally:
        shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
