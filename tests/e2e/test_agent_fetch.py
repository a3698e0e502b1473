"""The update agent's file fetch under Wine: .info, UPDATE and INFORM files
from a local folder and from a share-style path (\\\\host\\share, served by
the prefix's UNC folder), the token proof with the "Bad Secret Token!" box
read from outside the process, and what is left in the agent folder. The
setup and the notice text arrive in the agent's private download folder
(made afresh by each fetching process), never among the agent's files.
Screenshots of the boxes go to build/screenshots/."""
import http.server
import os
import shutil
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, ROOT, WineSession, build_setup, scratch_dir, winpath  # noqa: E402
from setup_run import press, read_box  # noqa: E402

FETCH = os.path.join(BUILD, "tests", "programs", "agent-fetch-probe.exe")
SHOTS = os.path.join(ROOT, "build", "screenshots")
SHARE = "\\\\varnelsrv\\upd"
INFO, UPDATE, INFORM = 1, 2, 3
DOWNLOADS = "X_AppAgent.downloads"  # the agent's download folder


def package(path, url, token):
    options = ["--update-url", url, "--info-file", "App.info", "--agent-file", "AppAgent.exe",
               "--update-token", token]
    assert build_setup(path, [], options=options) == 0, path
    return path


def serve_share(session, folder):
    """\\\\varnelsrv\\upd is `folder`: Wine resolves UNC paths through the
    prefix's dosdevices/unc/<host>/<share>."""
    host = os.path.join(session.env["WINEPREFIX"], "dosdevices", "unc", "varnelsrv")
    os.makedirs(host, exist_ok=True)
    link = os.path.join(host, "upd")
    if os.path.islink(link) or os.path.exists(link):
        os.remove(link)
    os.symlink(folder, link)
    return link


class Agent:
    def __init__(self, session, work, own_package, folder="agent"):
        self.session, self.work, self.package = session, work, own_package
        self.folder = os.path.join(work, folder)
        os.makedirs(self.folder, exist_ok=True)

    def fetch(self, name, kind, folder, file_name, box=False, shot=None):
        """Runs one fetch; returns (result, error text, box text or None)."""
        out = os.path.join(self.work, name + ".out")
        p = self.session.start(FETCH, ["fetch", winpath(self.package), winpath(self.folder), str(kind),
                                       folder, file_name, winpath(out)],
                               log=os.path.join(self.work, name + ".log"))
        text = None
        if box:
            text = read_box(self.session, self.work, name)
            if shot:
                os.makedirs(SHOTS, exist_ok=True)
                self.session.screenshot(os.path.join(SHOTS, shot))
            press(self.session, "Return")
        assert p.wait(60) == 0, name
        with open(out, encoding="latin-1") as f:
            values = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        return values["result"] == "1", values["error"], text

    def decide(self, name):
        """GetOkToPerformAU on the agent folder's files: (stage, reason)."""
        out = os.path.join(self.work, name + ".out")
        assert self.session.run(FETCH, ["decide", winpath(self.package), winpath(self.folder),
                                        winpath(out)]) == 0, name
        with open(out, encoding="latin-1") as f:
            values = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        return int(values["stage"]), values["reason"]

    def write(self, name, text):
        with open(os.path.join(self.folder, name), "w", newline="\r\n") as f:
            f.write(text)

    def files(self):
        """The agent folder's files (not its download folder)."""
        return sorted(n for n in os.listdir(self.folder) if n != DOWNLOADS)

    def downloads(self):
        folder = os.path.join(self.folder, DOWNLOADS)
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def read(self, name):
        with open(os.path.join(self.folder, name), "rb") as f:
            return f.read()

    def fetched(self, name):
        return self.read(os.path.join(DOWNLOADS, name))


ERROR_PAGE = (b"<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY>The requested URL was not "
              b"found on this server.</BODY></HTML>")


class Server:
    """A loopback HTTP server: path -> (status, body)."""

    def __init__(self):
        self.routes = {}
        routes = self.routes

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_HEAD(self):
                status, body = routes.get(self.path, (404, ERROR_PAGE))
                self.send_response(status)
                self.send_header("Content-Type", "text/html" if body.startswith(b"<HTML>") else
                                 "application/octet-stream")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                return body

            def do_GET(self):
                self.wfile.write(self.do_HEAD())

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    work = scratch_dir("agent_fetch")
    updates = os.path.join(work, "updates")
    os.makedirs(updates)
    with WineSession() as session:
        link = serve_share(session, updates)
        try:
            run(session, work, updates)
            run_http(session, work, updates)
        finally:
            os.remove(link)
    print("agent fetch: ok")


def run(session, work, updates):
    own = package(os.path.join(work, "own.exe"), SHARE, "TOKEN-A")
    setup = package(os.path.join(updates, "Setup.exe"), "x", "TOKEN-A")
    package(os.path.join(updates, "Other.exe"), "x", "TOKEN-B")
    other_product = package(os.path.join(work, "other.exe"), "x", "TOKEN-B")
    agent = Agent(session, work, own)
    with open(os.path.join(updates, "App.info"), "wb") as f:
        f.write(b"[NewSetup]\r\nVersionNew=7\r\nRequestConfirmationBeforeDownload=0\r\n")

    # The .info and a setup with the agent's token, from the share.
    ok, error, _ = agent.fetch("info_share", INFO, SHARE, "App.info")
    assert ok and error == "", error
    assert agent.read("App.info") == read(os.path.join(updates, "App.info"))
    ok, error, _ = agent.fetch("update_share", UPDATE, SHARE, "sub\\Setup.exe")
    assert ok and error == "", error
    assert agent.fetched("Setup.exe") == read(setup)
    assert agent.files() == ["App.info"] and agent.downloads() == ["Setup.exe"], agent.files()

    # The decision finds the setup's size on the share: within 99 bytes
    # passes, 100 bytes off fails.
    size = os.path.getsize(setup)
    agent.write("App.original", "[OriginalSetup]\nVersionOriginal=5\nStamp=1\n")
    for declared, stage, reason in ((size + 99, 6, "OK"), (size - 100, 5, "Download file size error")):
        agent.write("App.info", "[NewSetup]\nDownloadURL_UPDATE=%s\nNameOfUpdateFile=Setup.exe\n"
                    "SizeOfUpdateFile=%d\nVersionNew=7\nStamp=2\n" % (SHARE, declared))
        assert agent.decide("decide_%d" % stage) == (stage, reason)
    os.remove(os.path.join(agent.folder, "App.original"))

    # A setup of another product is deleted and the user is told.
    ok, error, text = agent.fetch("foreign_update", UPDATE, winpath(updates), "Other.exe", box=True,
                                  shot="agent_bad_token.png")
    assert not ok and error == "", error
    assert "Bad Secret Token!" in text, text
    assert agent.files() == ["App.info"] and agent.downloads() == [], agent.downloads()

    # INFORM files: the agent's token passes, another product's does not.
    assert session.run(FETCH, ["inform", winpath(own), "<B>New</B> version", winpath(
        os.path.join(updates, "News.txt"))]) == 0
    assert session.run(FETCH, ["inform", winpath(other_product), "spoof", winpath(
        os.path.join(updates, "Spoof.txt"))]) == 0
    ok, error, _ = agent.fetch("inform_share", INFORM, SHARE, "News.txt")
    assert ok, error
    assert agent.fetched("News.txt").endswith(b"|||<B>New</B> version")
    ok, error, text = agent.fetch("foreign_inform", INFORM, SHARE, "Spoof.txt", box=True)
    assert not ok and "Bad Secret Token!" in text, text
    assert agent.files() == ["App.info"] and agent.downloads() == [], agent.downloads()

    # A setup missing on the share, the user to be told: the HTTP form
    # \\varnelsrv\upd/name is tried too, and the box names it with s4.
    agent.write("App.info", "[NewSetup]\nRequestConfirmationBeforeDownload=1\n")
    ok, error, text = agent.fetch("missing_share", UPDATE, SHARE, "Missing.exe", box=True)
    assert not ok and error, error
    assert SHARE + "/Missing.exe" in text and "File not Found!" in text, text
    agent.write("App.info", "[NewSetup]\nRequestConfirmationBeforeDownload=0\n")

    # A name that would leave the agent folder or hit the agent's own files
    # is refused before anything is fetched, without a box.
    shutil.copy(setup, os.path.join(updates, "AppAgent.exe"))
    ok, error, _ = agent.fetch("own_name", UPDATE, SHARE, "..\\AppAgent.exe")
    assert not ok and error.startswith("Refused file name"), error
    assert agent.files() == ["App.info"] and agent.downloads() == [], agent.files()

    # An INFORM file larger than any notice (1 MiB) is not even copied.
    with open(os.path.join(updates, "Huge.txt"), "wb") as f:
        f.write(read(os.path.join(updates, "News.txt")) + b" " * (1024 * 1024))
    ok, error, _ = agent.fetch("inform_huge", INFORM, SHARE, "Huge.txt")
    assert not ok and "too large" in error, error
    assert agent.downloads() == [], agent.downloads()


def run_http(session, work, updates):
    """The same agent files over a loopback HTTP server."""
    server = Server()
    try:
        base = server.url + "/upd"
        own = package(os.path.join(work, "own_http.exe"), base, "TOKEN-A")
        setup = os.path.join(updates, "Setup.exe")
        agent = Agent(session, work, own, "agent_http")
        good = b"[NewSetup]\r\nVersionNew=3\r\n"
        server.routes["/upd/App.info"] = (200, good)
        ok, error, _ = agent.fetch("http_info", INFO, base, "App.info")
        assert ok and error == "", error
        assert agent.read("App.info") == good

        # An error page instead of the .info, with status 404 or 200: the
        # page's message, and the last good .info stays.
        for status in (404, 200):
            server.routes["/upd/App.info"] = (status, ERROR_PAGE)
            ok, error, _ = agent.fetch("http_info_%d" % status, INFO, base, "App.info")
            assert not ok and error.startswith("<B>404 File Not Found...</B><P><P>URL:  " + base), error
            assert agent.read("App.info") == good

        # A .info larger than any real one (1 MiB) is a failed fetch too.
        server.routes["/upd/App.info"] = (200, b";" * (1024 * 1024 + 1))
        ok, error, _ = agent.fetch("http_info_large", INFO, base, "App.info")
        assert not ok and "too large" in error, error
        assert agent.files() == ["App.info"], agent.files()
        assert agent.read("App.info") == good

        # The agent's setup arrives; another product's is deleted after the box.
        server.routes["/upd/Setup.exe"] = (200, read(setup))
        server.routes["/upd/Other.exe"] = (200, read(os.path.join(updates, "Other.exe")))
        ok, error, _ = agent.fetch("http_update", UPDATE, base, "Setup.exe")
        assert ok and error == "", error
        assert agent.fetched("Setup.exe") == read(setup)
        ok, error, text = agent.fetch("http_foreign", UPDATE, base, "Other.exe", box=True)
        assert not ok and "Bad Secret Token!" in text, text
        assert agent.files() == ["App.info"] and agent.downloads() == [], agent.downloads()

        # A missing setup: with RequestConfirmationBeforeDownload the user is
        # told which address failed; without it nothing is shown.
        agent.write("App.info", "[NewSetup]\nRequestConfirmationBeforeDownload=1\n")
        ok, error, text = agent.fetch("http_missing_told", UPDATE, base, "Missing.exe", box=True,
                                      shot="agent_missing_update.png")
        assert not ok and error, error
        assert base + "/Missing.exe" in text and "Unable to Download File!" in text, text
        agent.write("App.info", "[NewSetup]\nRequestConfirmationBeforeDownload=0\n")
        ok, error, _ = agent.fetch("http_missing_quiet", UPDATE, base, "Missing.exe")
        assert not ok and error, error
        assert agent.files() == ["App.info"] and agent.downloads() == [], agent.downloads()

        # An unsigned SizeOfUpdateFile may miss the real size by up to 99
        # bytes, as the decision allows: the setup still arrives. A body
        # beyond that bound is refused.
        size = os.path.getsize(setup)
        for declared, arrives in ((size - 40, True), (size + 40, True), (size - 200, False)):
            agent.write("App.info", "[NewSetup]\nSizeOfUpdateFile=%d\n" % declared)
            ok, error, _ = agent.fetch("http_declared_%d" % (declared - size), UPDATE, base, "Setup.exe")
            assert ok == arrives, (declared - size, error)
            if arrives:
                assert agent.fetched("Setup.exe") == read(setup)

        # The size test asks the server; a share named by a .info that came
        # over HTTP is never looked into.
        size = os.path.getsize(setup)
        agent.write("App.original", "[OriginalSetup]\nVersionOriginal=5\n")
        for url, stage in ((base, 6), (SHARE, 5)):
            agent.write("App.info", "[NewSetup]\nDownloadURL_UPDATE=%s\nNameOfUpdateFile=Setup.exe\n"
                        "SizeOfUpdateFile=%d\nVersionNew=7\nStamp=2\n" % (url, size))
            assert agent.decide("http_decide_%d" % stage)[0] == stage, url
        ok, error, _ = agent.fetch("http_agent_share", UPDATE, SHARE, "Setup.exe")
        assert not ok and "Setup.exe" not in agent.downloads(), agent.downloads()
    finally:
        server.close()


if __name__ == "__main__":
    main()
