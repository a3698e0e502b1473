"""Folder and process lookups on each Windows version that Wine reports
(HKCU\\Software\\Wine\\AppDefaults\\<exe>\\Version): a running product is
found by its full path, its main window chosen, the product terminated and
its end seen; the folders hang together. The lookups run from a folder that
also holds a library named SHFolder.dll, which must not be loaded: the
folder queries load their libraries from the system folder."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, WineSession, scratch_dir, wait_for, winpath  # noqa: E402

PROGRAMS = os.path.join(BUILD, "tests", "programs")
PROBE = os.path.join(PROGRAMS, "process-probe.exe")
PLANTED = os.path.join(PROGRAMS, "planted.dll")
MARK = "PLANTED_LIBRARY_LOADED"
VERSIONS = ["winxp", "win7", "win10"]


def read_values(path):
    with open(path, encoding="latin-1") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


def parent(path):
    return path.rsplit("\\", 1)[0] if "\\" in path else ""


def app_defaults(session, exe_name, subkey, name, value):
    key = "HKCU\\Software\\Wine\\AppDefaults\\" + exe_name + subkey
    assert session.run("reg", ["add", key, "/v", name, "/d", value, "/f"], timeout=60) == 0


def main():
    work = scratch_dir("process_lookups")
    with WineSession() as session:
        # A library found in the program's own folder wins over the
        # built-in one, as a planted DLL would on Windows.
        session.env["WINEDLLOVERRIDES"] += ";shfolder=n,b"
        for windows in VERSIONS:
            folder = os.path.join(work, windows, "Program Files", "Product")
            tools = os.path.join(work, windows, "downloads")
            os.makedirs(folder)
            os.makedirs(tools)
            product = os.path.join(folder, "product-%s.exe" % windows)
            lookups = os.path.join(tools, "lookups-%s.exe" % windows)
            shutil.copy(PROBE, product)
            shutil.copy(PROBE, lookups)
            shutil.copyfile(PLANTED, os.path.join(tools, "SHFolder.dll"))
            for exe in (product, lookups):
                app_defaults(session, os.path.basename(exe), "", "Version", windows)
            # Xvfb has no window manager; unmanaged windows close at once.
            app_defaults(session, os.path.basename(product), "\\X11 Driver", "Managed", "N")

            run = session.start(product, ["window", "--title", "Product " + windows],
                                log=product + ".log")
            out = os.path.join(work, windows + ".txt")
            assert session.run(lookups, ["lookups", winpath(out), winpath(product)], timeout=120) == 0
            assert run.wait(30) == 0, "the product was not terminated with exit code 0"
            values = read_values(out)

            assert values["self"] == "1", values
            assert values["product_id"] != "0" and values["product_running"] == "1", values
            assert values["product_window"] == "Product " + windows, values
            assert values["terminated"] == "1" and values["product_gone"] == "1", values
            for name in ("windows", "system", "system16", "fonts", "programfiles", "documents", "user",
                         "documentsandsettings", "allusers", "allusersappdata", "appdata", "desktop",
                         "programs"):
                assert values[name] and not values[name].endswith("\\"), (windows, name, values)
            assert values["user"] == parent(values["documents"]), values
            assert values["documentsandsettings"] == parent(values["user"]), values
            assert values["allusers"] == parent(values["allusersappdata"]), values
            assert values["expanded"] == values["windows"] + "\\x.exe", values
            assert not os.path.exists(os.path.join(tools, MARK)), "a planted SHFolder.dll was loaded"
            session.run("reg", ["delete", "HKCU\\Software\\Wine\\AppDefaults\\" + os.path.basename(product),
                                "/f"], timeout=60)
            session.run("reg", ["delete", "HKCU\\Software\\Wine\\AppDefaults\\" + os.path.basename(lookups),
                                "/f"], timeout=60)
    print("ok")


if __name__ == "__main__":
    main()
