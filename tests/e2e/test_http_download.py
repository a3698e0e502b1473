"""Downloads over WinINet under Wine against a loopback HTTP server: runs the
GoogleTest program build/<route>/tests/download_tests.exe with the server's
addresses in its environment (tests/download/http_download_test.cpp)."""
import os
import random
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import LoopbackServer, refused_port  # noqa: E402
from wine_harness import BUILD, WineSession, scratch_dir, winpath  # noqa: E402


def make_files(folder):
    rnd = random.Random(10)
    with open(os.path.join(folder, "medium.bin"), "wb") as f:
        f.write(bytes(rnd.getrandbits(8) for _ in range(300000)))
    with open(os.path.join(folder, "fifty.bin"), "wb") as f:
        f.write(bytes(range(50)))
    shutil.copy(os.path.join(folder, "medium.bin"), os.path.join(folder, "sized.bin"))


def main():
    folder = scratch_dir("http_download")
    make_files(folder)
    exe = os.path.join(BUILD, "tests", "download_tests.exe")
    log = os.path.join(folder, "download_tests.log")
    with LoopbackServer(folder) as server, WineSession() as wine:
        wine.env["VARNEL_HTTP_BASE"] = server.url("")
        wine.env["VARNEL_HTTP_FILES"] = winpath(folder)
        wine.env["VARNEL_REFUSED_PORT"] = str(refused_port())
        code = wine.run(exe, ["--gtest_filter=HttpDownload.*"], timeout=300, log=log)
        sized = [method for method, path in server.requests if path == "/files/sized.bin"]
        ranges = list(server.ranges)
        sent = dict(server.sent)
    with open(log, encoding="latin-1") as f:
        output = f.read()
    print(output)
    if code != 0 or "[  PASSED  ]" not in output or "SKIPPED" in output:
        print("FAIL: download_tests exit code %s" % code)
        return 1
    if "HEAD" not in sized or sized.count("GET") != 1:
        print("FAIL: the size query sent %s for sized.bin (only HEAD wanted, then one resumed GET)" % sized)
        return 1
    # The resumed downloads asked for the rest only, validated by the ETag.
    wanted = {("/cutonce/medium.bin", "bytes=150000-"), ("/files/sized.bin", "bytes=100000-")}
    if not wanted <= set(ranges):
        print("FAIL: resumed ranges %s, wanted %s" % (ranges, wanted))
        return 1
    if sent.get("/cutonce/medium.bin") != 300000 or sent.get("/files/sized.bin") != 200000:
        print("FAIL: bytes sent again: %s" % sent)
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
