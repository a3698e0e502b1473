"""Paths in three scripts end to end under Wine: every folder the stub meets
is named "Установка 安装 Ελληνικά" or holds it, so that no ANSI code page
can name it.

- A setup file made by the Windows build of varnel-pack from such paths (its
  stub, engine, a member named in those scripts, its output), which lists
  and extracts it under its name again, runs from such
  a folder with %TEMP% set to such a folder: the engine starts in a setup
  folder under that %TEMP%, is handed its record and install paths and
  /OriginExe= whole, finds the member under its name and installs it; the
  setup folder goes away.
- The web installer in such a folder runs its full setup lying beside it,
  and, with none there, downloads it (a loopback HTTP server) into %TEMP%
  and runs it.
- An update agent installed in such a folder, looking into an update folder
  named so: the whole cycle without questions (download, closing the
  product named by RunningProcess "<InstallDir>\\TestProduct.exe", the new
  setup run with its paths, VersionOriginal written, the product started
  again).

The settings files that name such paths (.original, .info) are written as
UTF-16 with a byte-order mark, the Unicode form the profile functions read.
"""
import codecs
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import LoopbackServer  # noqa: E402
from update_fixture import (AGENT, INFO, PERFORM_UPDATE_CYCLE, PRODUCT_CLASS, PRODUCT_EXE, TEXTS, TOKEN,  # noqa: E402
                            Installation, build_agent, build_update, ini_text, product_record, read_ini,
                            starts)
from wine_harness import (DIST, ENGINE, PACK, STUB, WineSession, read_record, scratch_dir,  # noqa: E402
                          wait_for, winpath)

SCRIPTS = "Установка 安装 Ελληνικά"
MEMBER = "Читайте 说明 Ελληνικά.txt"
WIN_PACK = os.path.join(DIST, "varnel-pack.exe")
WM_QUIT = 0x0012


def write_settings(path, sections):
    """An INI file that names Unicode paths: UTF-16 LE with its mark."""
    with open(path, "wb") as f:
        f.write(codecs.BOM_UTF16_LE + ini_text(sections).encode("utf-16-le"))


def setup_folders(temp):
    return [n for n in os.listdir(temp) if n.upper().startswith("SETUP_")]


def set_temp(session, folder):
    """%TEMP% and %TMP% of the Windows user; returns what they were."""
    out = os.path.join(os.path.dirname(folder), "environment.txt")
    assert session.run("reg", ["query", "HKCU\\Environment"], timeout=60, log=out) == 0
    saved = {}
    with open(out, encoding="utf-8", errors="replace") as f:
        for line in f.read().splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] in ("TEMP", "TMP"):
                saved[parts[0]] = (parts[1], parts[2])
    for name in ("TEMP", "TMP"):
        assert session.run("reg", ["add", "HKCU\\Environment", "/v", name, "/d", winpath(folder), "/f"],
                           timeout=60) == 0
    return saved


def restore_temp(session, saved):
    for name, (kind, data) in saved.items():
        session.run("reg", ["add", "HKCU\\Environment", "/v", name, "/t", kind, "/d", data, "/f"], timeout=60)


def setup_run(session, work, temp):
    """A setup file built by the Windows tool from Unicode paths, run."""
    folder = os.path.join(work, SCRIPTS)
    os.makedirs(folder)
    stub, engine = os.path.join(folder, "Stub %s.exe" % SCRIPTS), os.path.join(folder, "Engine 安装.exe")
    shutil.copy2(STUB, stub)
    shutil.copy2(ENGINE, engine)
    with open(os.path.join(folder, MEMBER), "w", encoding="utf-8") as f:
        f.write("Ελληνικά\n")
    record = os.path.join(folder, "engine Ελληνικά.txt")
    target = os.path.join(work, "Program Files", SCRIPTS)
    setup = os.path.join(folder, "安装 Setup.exe")
    log = os.path.join(work, "win-pack.log")
    rc = session.run(WIN_PACK, ["build", "-o", winpath(setup), "--stub", winpath(stub), "--engine",
                                winpath(engine) + "=Engine.exe", "--engine-args",
                                ' --record="%s" --install="%s"' % (winpath(record), winpath(target)),
                                "--file", winpath(os.path.join(folder, MEMBER))], timeout=300, log=log)
    assert rc == 0 and os.path.exists(setup), "the Windows tool failed (%d): %s" % (rc, open(log).read())
    # It lists the member under its name and extracts it into such a folder.
    listing = os.path.join(work, "win-list.log")
    assert session.run(WIN_PACK, ["list", winpath(setup)], timeout=120, log=listing) == 0
    assert MEMBER in open(listing, encoding="utf-8", errors="replace").read(), open(listing, "rb").read()
    out = os.path.join(work, "extract " + SCRIPTS)
    assert session.run(WIN_PACK, ["extract", winpath(setup), winpath(out)], timeout=120, log=log) == 0
    with open(os.path.join(out, MEMBER), encoding="utf-8") as f:
        assert f.read() == "Ελληνικά\n", "the Windows tool extracted the member wrongly"

    rc = session.run(setup, ["/hide"], timeout=180, log=os.path.join(work, "setup.run.log"))
    assert rc == 0, "the setup ended with %d" % rc
    assert os.path.exists(record), "the engine did not run"
    values, files = read_record(record)
    assert values["Folder"].startswith(winpath(temp) + "\\SETUP_"), values["Folder"]
    assert values["OriginExe"] == winpath(setup), values
    assert '--record="%s"' % winpath(record) in values["CommandLine"], values["CommandLine"]
    assert (MEMBER, os.path.getsize(os.path.join(folder, MEMBER))) in files, files
    with open(os.path.join(target, MEMBER), encoding="utf-8") as f:
        assert f.read() == "Ελληνικά\n", "the member was not installed"
    assert not setup_folders(temp), setup_folders(temp)


def web_installer(session, work, temp):
    """The web installer with its full setup beside it, then downloaded."""
    folder = os.path.join(work, "web " + SCRIPTS)
    served = os.path.join(work, "served")
    os.makedirs(folder)
    os.makedirs(served)
    record = os.path.join(folder, "engine 安装.txt")
    with LoopbackServer(served) as server:
        # The served name stays ASCII (URLs are); the file lands in %TEMP%.
        setup, web = os.path.join(folder, "setup.exe"), os.path.join(folder, "Ελληνικά web.exe")
        argv = [PACK, "build", "-o", setup, "--stub", STUB, "--engine", ENGINE, "--engine-args",
                ' --record="%s"' % winpath(record), "--download-url", server.url("files"),
                "--web-installer", web, "--file", PRODUCT_EXE]
        with open(os.path.join(work, "web-pack.log"), "w") as log:
            assert subprocess.run(argv, stdout=log, stderr=subprocess.STDOUT, timeout=300).returncode == 0, \
                open(os.path.join(work, "web-pack.log")).read()

        for case in ("local copy", "download"):
            if case == "download":
                shutil.move(setup, os.path.join(served, os.path.basename(setup)))
            rc = session.run(web, ["/hide"], timeout=180, log=os.path.join(work, "web.run.log"))
            assert rc == 0 and os.path.exists(record), "%s: the setup did not run (%d)" % (case, rc)
            values, files = read_record(record)
            assert ("TestProduct.exe", os.path.getsize(PRODUCT_EXE)) in files, (case, files)
            os.remove(record)
            assert not setup_folders(temp), (case, setup_folders(temp))
        assert [p for _, p in server.requests if p.endswith("/" + os.path.basename(setup))], server.requests
        assert not os.path.exists(setup), "the downloaded setup stayed"
        assert not [n for n in os.listdir(temp) if n.endswith(".exe")], os.listdir(temp)


class UnicodeInstallation(Installation):
    """The installed product and agent under `work`/Program Files/<scripts>,
    its settings in UTF-16."""

    def __init__(self, session, work, agent_package):
        super().__init__(session, work, agent_package)
        self.folder = os.path.join(work, "Program Files", "Tidewater " + SCRIPTS)
        self.win = winpath(self.folder)
        self.agent = os.path.join(self.folder, AGENT)
        self.x_copy = os.path.join(self.folder, "X_" + AGENT)
        self.log = os.path.join(self.folder, "X_TidewaterAgent.log")
        self.product = os.path.join(self.folder, "TestProduct.exe")
        self.original_path = os.path.join(self.folder, "Tidewater.original")

    def write_original(self, original):
        sections = {"OriginalSetup": {"ProgramName": "Tidewater Notes"}, "Directories": {"TargetDir": self.win},
                    "AutoUpdate": dict(TEXTS)}
        for section, keys in original.items():
            sections.setdefault(section, {}).update(keys)
        write_settings(self.original_path, sections)

    def original(self, key, section="OriginalSetup"):
        return read_ini(self.original_path).get(section, {}).get(key)


def agent_round_trip(session, work, temp):
    updates = os.path.join(work, "updates " + SCRIPTS)
    os.makedirs(updates)
    agent = build_agent(os.path.join(work, "agent.exe"), winpath(updates))
    install = UnicodeInstallation(session, work, agent)
    engine_rec = os.path.join(updates, "engine Установка.txt")
    setup = build_update(os.path.join(updates, "Tidewater 安装 2.exe"),
                         '--record="%s" --install="%s"' % (winpath(engine_rec), install.win),
                         [PRODUCT_EXE + "=TestProduct.exe"])
    write_settings(os.path.join(updates, INFO), {"NewSetup": {
        "DownloadURL_UPDATE": winpath(updates), "NameOfUpdateFile": os.path.basename(setup),
        "SizeOfUpdateFile": os.path.getsize(setup), "RunningProcess": "<InstallDir>\\TestProduct.exe",
        "ProgramName": "Tidewater Notes", "VersionNew": 2, "Stamp": 2, "RequestConfirmationBeforeDownload": 0,
        "RequestConfirmationBeforeInstall": 0, "RestartProcess": 1, "InformFinish": 0, "BackgroundUpdate": 1,
        "ShutDownMethod": "Using WM_CLOSE"}})
    install.lay_out({"OriginalSetup": {"VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
                                       "ProbeSecondsLast": 0}})
    product_rec = os.path.join(work, "product Ελληνικά.txt")
    install.product_options("Tidewater Notes", product_rec)
    install.start_product()
    install.start_agent()
    install.shut_down(100000)
    install.command(PERFORM_UPDATE_CYCLE, 1)
    install.wait_log("PerformAutoUpdate() - END", 1, 180)
    end = install.last_log_line("PerformAutoUpdate() - END")
    with open(install.log, encoding="utf-8", errors="replace") as f:
        assert "Result=TRUE" in end, "\n".join(f.read().splitlines()[-40:])
    values, _ = read_record(engine_rec)
    assert '/OriginalInfoFile="%s\\%s"' % (install.win, INFO) in values["CommandLine"], values["CommandLine"]
    assert install.original("VersionOriginal") == "2", install.original("VersionOriginal")
    # The product was closed through RunningProcess and started again.
    assert wait_for(lambda: starts(product_record(product_rec)) == 2, 30), product_record(product_rec)
    assert "WM_CLOSE 15 255" in product_record(product_rec), product_record(product_rec)
    assert session.probe("post", PRODUCT_CLASS, WM_QUIT, 0, 0)
    assert session.probe("gone", PRODUCT_CLASS, 20000)
    install.shut_down(0)
    assert session.probe("gone", ".AutoUpdate.X_TidewaterAgent", 20000), "the agent did not end"
    assert wait_for(lambda: not os.path.exists(install.x_copy), 30), "the X_ copy left its file"
    assert wait_for(lambda: not [n for n in os.listdir(temp) if n.upper().startswith("_DEL_ME_")], 30, 0.2), \
        os.listdir(temp)


def ansi_named_agent(session, work):
    """An agent whose package names its files in a code page (an older
    Windows tool: "Café" in Latin-1) installed in such a folder: its names
    join the folder's UTF-8 path as text, not as stray bytes."""
    folder = os.path.join(work, "ansi " + SCRIPTS)
    os.makedirs(folder)
    package = os.path.join(work, "ansi-agent.exe")
    argv = [os.fsencode(a) for a in (PACK, "build", "-o", package, "--stub", STUB, "--update-agent",
                                     "--agent-download-log", "--update-url", winpath(folder), "--update-token", TOKEN)]
    argv += [b"--agent-file", b"Caf\xe9Agent.exe", b"--info-file", b"Caf\xe9.info"]
    assert subprocess.run(argv, capture_output=True, timeout=300).returncode == 0
    shutil.copy2(package, os.path.join(folder, "CaféAgent.exe"))
    write_settings(os.path.join(folder, "Café.original"), {"OriginalSetup": {
        "ProgramName": "Tidewater Notes", "VersionOriginal": 1, "Stamp": 1, "ProbeSecondsInterval": 86400,
        "ProbeSecondsLast": 0}})
    log = os.path.join(folder, "X_CaféAgent.log")
    session.start(os.path.join(folder, "CaféAgent.exe"), [], log=os.path.join(work, "ansi-agent.log"))
    try:
        # No .info lies there: the first check fails, after asking for it by its name.
        assert wait_for(lambda: os.path.exists(log) and "GetOkToPerformAU" in open(log, "rb").read().decode(
            "utf-8", "replace"), 60), "the agent made no check"
        text = open(log, "rb").read().decode("utf-8", "replace")
        assert "Download START: %s\\Café.info" % winpath(folder) in text, text[-1500:]
    finally:
        session.run("taskkill", ["/f", "/im", "X_CaféAgent.exe"], timeout=60)


def main():
    work = scratch_dir("unicode_paths")
    temp = os.path.join(work, "Temp " + SCRIPTS)
    os.makedirs(temp)
    with WineSession() as session:
        saved = set_temp(session, temp)
        try:
            setup_run(session, work, temp)
            web_installer(session, work, temp)
            agent_round_trip(session, work, temp)
            ansi_named_agent(session, work)
        finally:
            restore_temp(session, saved)
    print("unicode paths: ok")


if __name__ == "__main__":
    main()
