"""Downloads under Wine from Debian's nginx and through Debian's tinyproxy,
both started on loopback by this scenario, in a Wine prefix of its own
(build/wineprefix*-real) where the test CA is trusted and the system proxy
is set. Runs the RealServer.* cases of download_tests.exe
(tests/download/http_download_test.cpp) in three phases:
- direct: http, https, 301 and 302 to another path, http -> https, the size
  query, and a resume that nginx's range support continues;
- proxy: the prefix's system proxy (Internet Settings ProxyEnable and
  ProxyServer) is tinyproxy: http and https (CONNECT) arrive through it, as
  its log shows;
- refusing: the system proxy is a port where nothing listens: a clear
  "Unable to open Internet Connection" error."""
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import refused_port  # noqa: E402
from real_servers import Nginx, TinyProxy  # noqa: E402
from test_https_download import ROOT_STORE, make_certificates, trust_file  # noqa: E402
from wine_harness import BUILD, ROOT, WIN64, WineSession, scratch_dir, winpath  # noqa: E402

SETTINGS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"


def set_proxy(wine, server):
    """The prefix's system proxy: host:port, or None for none."""
    if server is None:
        return wine.run("reg", ["add", SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "0", "/f"]) == 0
    return (wine.run("reg", ["add", SETTINGS, "/v", "ProxyServer", "/t", "REG_SZ", "/d", server, "/f"]) == 0 and
            wine.run("reg", ["add", SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f"]) == 0)


def phase(wine, exe, name, work):
    log = os.path.join(work, "download_tests-%s.log" % name)
    wine.env["VARNEL_REAL_SERVER"] = name
    code = wine.run(exe, ["--gtest_filter=RealServer.*"], timeout=300, log=log)
    with open(log, encoding="latin-1") as f:
        output = f.read()
    print(output)
    # One case of the three runs in each phase; the others skip.
    return code == 0 and "[  PASSED  ] 1 test" in output


def main():
    for tool in ("nginx", "tinyproxy"):
        if not shutil.which(tool) and not os.path.exists("/usr/sbin/" + tool):
            print("FAIL: %s is missing: run scripts/install-deps.sh" % tool)
            return 1
    os.environ["PATH"] += ":/usr/sbin"
    work = scratch_dir("real_servers")
    make_certificates(work)
    served = os.path.join(work, "served")
    os.makedirs(served)
    rnd = random.Random(22)
    with open(os.path.join(served, "medium.bin"), "wb") as f:
        f.write(bytes(rnd.getrandbits(8) for _ in range(300000)))
    shutil.copy(os.path.join(served, "medium.bin"), os.path.join(served, "sized.bin"))
    os.chmod(work, 0o755)
    prefix = os.path.join(ROOT, "build", "wineprefix64-real" if WIN64 else "wineprefix-real")
    os.environ["VARNEL_WINEPREFIX64" if WIN64 else "VARNEL_WINEPREFIX"] = prefix
    exe = os.path.join(BUILD, "tests", "download_tests.exe")
    ok = True
    wine = WineSession()
    try:
        with Nginx(work, served, os.path.join(work, "server.pem"), os.path.join(work, "server.key")) as nginx, \
                TinyProxy(work) as proxy, wine:
            wine.run("reg", ["delete", ROOT_STORE.replace("HKEY_CURRENT_USER", "HKCU"), "/f"], timeout=60)
            assert wine.run("regedit", ["/S", winpath(trust_file(work))], timeout=60) == 0
            for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "no_proxy"):
                wine.env.pop(name, None)
            wine.env["VARNEL_HTTP_BASE"] = nginx.http_url("")
            wine.env["VARNEL_HTTPS_BASE"] = nginx.https_url("")
            wine.env["VARNEL_HTTP_FILES"] = winpath(served)

            assert set_proxy(wine, None)
            if not phase(wine, exe, "direct", work):
                print("FAIL: direct downloads from nginx")
                ok = False
            ranges = [line for line in nginx.access_log().splitlines() if "/files/sized.bin" in line]
            if not any(" 206 " in line for line in ranges):
                print("FAIL: no ranged reply for the resumed file: %s" % ranges)
                ok = False

            assert set_proxy(wine, "127.0.0.1:%d" % proxy.port)
            if not phase(wine, exe, "proxy", work):
                print("FAIL: downloads through tinyproxy")
                ok = False
            log = proxy.log()
            if ("CONNECT localhost:%d" % nginx.https_port) not in log or \
                    ("127.0.0.1:%d" % nginx.http_port) not in log:
                print("FAIL: tinyproxy did not carry both downloads:\n" + log[-3000:])
                ok = False

            assert set_proxy(wine, "127.0.0.1:%d" % refused_port())
            if not phase(wine, exe, "refusing", work):
                print("FAIL: a refusing proxy")
                ok = False
            set_proxy(wine, None)
    finally:
        subprocess.run(["wineserver", "-k"], env=wine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
