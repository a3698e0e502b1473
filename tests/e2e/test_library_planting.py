"""A setup file started from a folder that also holds a library named like
a system library (a Downloads folder, say) does not load it: RICHED32.DLL,
which the message box loads, comes from the system folder. Wine is told to
search the program's folder first for it, as Windows does for libraries
that are not known system ones. And Stub.exe imports no library that
Windows would look for in the program's folder first (version.dll, for
one, is loaded by full path when needed): only known system libraries,
and the common controls, which its manifest takes from the side-by-side
store."""
import os
import shutil
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import ROOT, STUB, WineSession, build_setup, scratch_dir  # noqa: E402
from setup_run import BUILD, clear_setup_folders, press, read_box, setup_folders  # noqa: E402

PLANTED = os.path.join(BUILD, "tests", "programs", "planted.dll")
MARK = "PLANTED_LIBRARY_LOADED"
# Libraries that Windows takes from its system folder whatever the program's
# folder holds (its known libraries), and the manifest-bound common controls.
KNOWN = {"ADVAPI32.DLL", "COMCTL32.DLL", "GDI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL", "SHELL32.DLL",
         "USER32.DLL"}


def imports(path):
    """The names of the libraries a PE image imports, upper case."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    # Data directory 1; the optional header of a 64-bit image (PE32+, magic
    # 0x20B) has wider fields before the directories.
    pe32plus = struct.unpack_from("<H", data, pe + 24)[0] == 0x20B
    import_rva = struct.unpack_from("<I", data, pe + 24 + (120 if pe32plus else 104))[0]
    table = pe + 24 + optional

    def offset(rva):
        for i in range(sections):
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if va <= rva < va + max(vsize, rsize):
                return rva - va + raw
        raise ValueError("rva %x outside the sections" % rva)

    names, at = [], offset(import_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, at + 12)[0]
        if name_rva == 0:
            return names
        start = offset(name_rva)
        names.append(data[start:data.index(b"\0", start)].decode().upper())
        at += 20


def main():
    downloads = scratch_dir("library_planting")
    readme = os.path.join(downloads, "readme.txt")
    with open(readme, "w") as f:
        f.write("hello\n")
    setup = os.path.join(downloads, "setup.exe")
    # The notice flag brings up the space question, a rich-text message box.
    assert build_setup(setup, [readme], options=["--temp-notice"]) == 0
    shutil.copyfile(PLANTED, os.path.join(downloads, "RICHED32.DLL"))

    with WineSession() as s:
        clear_setup_folders(s)
        s.env["WINEDLLOVERRIDES"] += ";riched32=n,b"
        run = s.start(setup, [], log=setup + ".run.log")
        shown = read_box(s, downloads, "space")
        assert "Temp" in shown, shown
        press(s, "alt+n")
        assert run.wait(60) == 5
        assert not os.path.exists(os.path.join(downloads, MARK)), "a planted library was loaded"
        assert not setup_folders(s), setup_folders(s)

    # Both images are checked, whichever route ran the scenario.
    for stub in {STUB, os.path.join(ROOT, "dist", "Stub.exe"),
                 os.path.join(ROOT, "dist", "win64", "Stub.exe")}:
        imported = sorted(imports(stub))
        assert imported and set(imported) <= KNOWN, (stub, imported)
    print("ok")


if __name__ == "__main__":
    main()
