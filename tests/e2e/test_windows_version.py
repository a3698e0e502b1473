"""Windows version and release names under Wine, which reports the version
configured for each program (HKCU\\Software\\Wine\\AppDefaults\\<exe>\\Version)."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, WIN64, WineSession, scratch_dir, winpath  # noqa: E402

PROGRAMS = os.path.join(BUILD, "tests", "programs")
PLAIN = os.path.join(PROGRAMS, "utils-probe.exe")
STUB_MANIFEST = os.path.join(PROGRAMS, "utils-probe-stub-manifest.exe")

CASES = [
    # program, configured Windows, version text, release name, flag, IsWindowsXP, IsWindows8OrLater
    (PLAIN, "winxp", "5.1", "XP", 32, "1", "0"),
    (PLAIN, "win2003", "5.2", "2003", 64, "0", "0"),
    (PLAIN, "win7", "6.1", "7", 1024, "0", "0"),
    (PLAIN, "win8", "6.2", "8", 0x8000, "0", "1"),
    # A program without a manifest naming newer systems is told 6.2.
    (PLAIN, "win10", "6.2", "8", 0x8000, "0", "1"),
    # With the stub's manifest: told 6.3, the version comes from kernel32.dll's
    # product version (10.0 in Wine); Windows 10 is named "10".
    (STUB_MANIFEST, "win81", "10.0", "10", 0x200000, "0", "1"),
    (STUB_MANIFEST, "win10", "10.0", "10", 0x200000, "0", "1"),
    (STUB_MANIFEST, "win7", "6.1", "7", 1024, "0", "0"),
]

# On 64-bit Windows (the 64-bit route's prefix) releases have their 64-bit
# names and flags; XP (5.1) has none.
NAMES_64 = {"2003": ("XP.64", 256), "7": ("7.64", 2048), "8": ("8.64", 0x10000),
            "10": ("10.64", 0x400000)}
# 64-bit Wine reports "win7" as a server product (6.1, product type 3): the
# server release of 6.1.
SERVER_64 = {"7": ("2008R2.64", 0x4000)}


def read_values(path):
    with open(path, encoding="latin-1") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


def main():
    work = scratch_dir("windows_version")
    with WineSession() as session:
        for program, windows, version, name, flag, xp, win8 in CASES:
            exe_name = "probe-%s-%s.exe" % (os.path.basename(program)[:-4], windows)
            exe = os.path.join(work, exe_name)
            shutil.copy(program, exe)
            key = "HKCU\\Software\\Wine\\AppDefaults\\" + exe_name
            assert session.run("reg", ["add", key, "/v", "Version", "/d", windows, "/f"], timeout=60) == 0
            out = os.path.join(work, exe_name + ".txt")
            assert session.run(exe, ["sysinfo", winpath(out)], timeout=60) == 0
            values = read_values(out)
            if WIN64:
                table = SERVER_64 if values["server"] == "1" and name in SERVER_64 else NAMES_64
                name, flag = table.get(name, (name, flag))
            got = (values["version"], values["name"], int(values["flag"]), values["xp"], values["win8orlater"])
            assert got == (version, name, flag, xp, win8), (windows, program, values)
            # The 32-bit route's prefix is 32-bit Windows; the 64-bit program runs
            # on 64-bit Windows only.
            assert values["nt"] == "1" and values["is64"] == ("1" if WIN64 else "0"), values
            assert values["user"] and values["computer"] and values["domain"], values
            session.run("reg", ["delete", key, "/f"], timeout=60)
    print("ok")


if __name__ == "__main__":
    main()
