"""The web installer end to end under Wine: setup files from varnel-pack (a
web installer and its full setup sharing one token), the full setup served by
a loopback HTTP server or lying beside the web installer.

- the local copy is used, checked, run and kept; nothing is downloaded;
- without a local copy and with "/hide" the file is downloaded, run and
  deleted (no setup folder is left);
- download item 2 "1" downloads even when a local copy lies there;
- a served name with a folder part is saved under its last element; a
  served file of another size than the size item is refused (code 7);
- a served setup of another product: "Bad Secret Token!", no engine, code 8;
- a missing file answered by an HTML 404 page: the 404 message naming the
  URL (code 7); hidden, no box and the same code;
- the "s11" question shows the size item 5242880 as 5.00; No: nothing is
  downloaded, no further box, code 5 (screenshot of the question);
- the close button during a download stops it: no box, no engine, code 5
  (screenshot of the stub window while it downloads).
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import LoopbackServer  # noqa: E402
from setup_run import (clear_setup_folders, engine_record, press, read_box, record_arg,  # noqa: E402
                       run_setup, setup_folders)
from wine_harness import (ENGINE, PACK, STUB, WineSession, scratch_dir,  # noqa: E402
                          wine_temp_folder, winpath)

SECRET = "token-of-product-A"


def build(work, name, download_url, record, token=SECRET, extra=(), member_size=1000,
          engine_exit=0):
    """Builds <name>/setup.exe and <name>/web.exe sharing `token`; returns
    (web installer path, full setup path)."""
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    payload = os.path.join(folder, "payload.bin")
    with open(payload, "wb") as f:
        f.write(os.urandom(member_size))
    setup = os.path.join(folder, "setup.exe")
    web = os.path.join(folder, "web.exe")
    argv = [PACK, "build", "-o", setup, "--stub", STUB, "--engine", ENGINE,
            "--engine-args", " " + record_arg(record) + " --exit=%d" % engine_exit,
            "--store", "--download-url", download_url, "--download-token", token,
            "--web-installer", web] + list(extra) + ["--file", payload]
    with open(setup + ".log", "w") as log:
        assert subprocess.run(argv, stdout=log, stderr=subprocess.STDOUT, timeout=300).returncode == 0, \
            open(setup + ".log").read()
    return web, setup


def fetched(server, name="setup.exe"):
    return [p for m, p in server.requests if p.endswith("/" + name)]


def no_box(wine, ms=1500):
    return not wine.probe("wait", "VMsgBox", ms, "visible")


def main():
    work = scratch_dir("web_installer")
    served = os.path.join(work, "served")
    os.makedirs(served)
    record = os.path.join(work, "engine.rec")
    shots = os.path.join(work, "screenshots")
    os.makedirs(shots)

    with LoopbackServer(served, slow_delay=0.02) as server, WineSession() as wine:
        clear_setup_folders(wine)
        files_url = server.url("files")

        # The local copy beside the web installer: checked, run and kept.
        web, setup = build(work, "local", files_url, record, engine_exit=3)
        rc = run_setup(wine, web, ["/S"])
        values, _ = engine_record(record)
        assert rc == 3, rc
        assert " /S " in values["CommandLine"], values
        assert os.path.exists(setup), "the local copy was deleted"
        assert not fetched(server), server.requests
        os.remove(record)

        # Downloaded, hidden: run, then deleted with the setup folder. A file
        # of the same name in the shared temporary folder is none of its
        # business.
        web, setup = build(work, "download", files_url, record, engine_exit=4)
        shutil.move(setup, os.path.join(served, "setup.exe"))
        unrelated = os.path.join(wine_temp_folder(wine), "setup.exe")
        with open(unrelated, "w") as f:
            f.write("another program's file")
        rc = run_setup(wine, web, ["/hide"])
        assert rc == 4, rc
        engine_record(record)
        assert len(fetched(server)) >= 1, server.requests
        assert not os.path.exists(setup)
        with open(unrelated) as f:
            assert f.read() == "another program's file", "the download took a shared temporary file"
        os.remove(unrelated)
        os.remove(record)

        # Item 2 "1": downloaded although a local copy lies beside it.
        server.requests.clear()
        web, setup = build(work, "forced", files_url, record, extra=["--no-local-copy"])
        shutil.copy(setup, os.path.join(served, "setup.exe"))
        assert run_setup(wine, web, ["/hide"]) == 0
        engine_record(record)
        assert fetched(server), "item 2 = 1 did not download"
        assert os.path.exists(setup), "the local copy must stay"
        os.remove(record)

        # The served name carries a folder: the file here takes its last
        # element (the URL keeps the folder).
        server.requests.clear()
        web, setup = build(work, "nested", files_url, record, engine_exit=11,
                           extra=["--setup-name", "v2/setup.exe"])
        shutil.move(setup, os.path.join(served, "setup.exe"))
        assert run_setup(wine, web, ["/hide"]) == 11
        engine_record(record)
        assert fetched(server), server.requests
        assert fetched(server)[0].endswith("/v2/setup.exe"), server.requests
        assert not setup_folders(wine)
        os.remove(record)

        # The size item names another size than the served file has: the
        # download fails before anything runs.
        web, setup = build(work, "badsize", files_url, record, extra=["--setup-size", "1000"])
        shutil.move(setup, os.path.join(served, "setup.exe"))
        assert run_setup(wine, web, ["/hide"]) == 7
        assert not os.path.exists(record), "the engine ran a setup of the wrong size"
        assert not setup_folders(wine)

        # Another product's setup is served: refused, not run, deleted.
        _, other = build(work, "other", files_url, record, token="token-of-product-B")
        shutil.move(other, os.path.join(served, "setup.exe"))
        web, _ = build(work, "wrong", files_url, record)
        os.remove(os.path.join(work, "wrong", "setup.exe"))
        run = wine.start(web, [])
        text = read_box(wine, work, "token")
        assert text.strip().endswith("\n\nBad Secret Token!"), text
        press(wine, "Return")
        assert run.wait(60) == 8
        assert not os.path.exists(record), "the engine ran a foreign setup"
        assert not setup_folders(wine)

        # A missing file answered by an HTML 404 page.
        web, _ = build(work, "missing", server.url("html404"), record)
        os.remove(os.path.join(work, "missing", "setup.exe"))
        run = wine.start(web, [])
        text = read_box(wine, work, "missing")
        url = server.url("html404") + "/setup.exe"
        assert "404 File Not Found..." in text and "URL:  " + url + "." in text, text
        press(wine, "Return")
        assert run.wait(60) == 7
        # Hidden: no box, the same code.
        run = wine.start(web, ["/hide"])
        assert no_box(wine, 3000), "a hidden web install showed a box"
        assert run.wait(60) == 7
        assert not setup_folders(wine)

        # The question with the size; No: nothing downloaded, nothing shown.
        server.requests.clear()
        web, _ = build(work, "ask", files_url, record,
                       extra=["--ask-before-download", "--setup-size", "5242880"])
        os.remove(os.path.join(work, "ask", "setup.exe"))
        run = wine.start(web, [])
        text = read_box(wine, work, "ask")
        assert "INTERNET DOWNLOAD" in text and "Size: 5.00 MB" in text, text
        wine.screenshot(os.path.join(shots, "download-question.png"))
        press(wine, "Escape")
        assert run.wait(60) == 5
        assert not fetched(server), server.requests
        assert no_box(wine, 500)
        assert not os.path.exists(record)

        # Closing the stub window during a download: stopped, nothing shown.
        web, setup = build(work, "close", server.url("slow"), record, member_size=3 << 20)
        shutil.move(setup, os.path.join(served, "setup.exe"))
        run = wine.start(web, [])
        cls = winpath(web)
        assert wine.probe("wait", cls, 30000, "visible"), "stub window never showed"
        time.sleep(1.5)
        wine.screenshot(os.path.join(shots, "downloading.png"))
        assert run.poll() is None, "the download ended too soon"
        assert wine.probe("close", cls)
        assert run.wait(60) == 5
        assert no_box(wine, 500)
        assert not os.path.exists(record), "the engine ran after the close"
        assert not setup_folders(wine)
    print("screenshots in", shots)
    print("ok")


if __name__ == "__main__":
    main()
