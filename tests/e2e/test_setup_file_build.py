#!/usr/bin/env python3
"""The built stub takes a package: dist/Stub.exe and dist/win64/Stub.exe have
"MZ", "PE" at 0x100 and a free end pointer at 0xF8..0xFF, the icon, the
version resource and a manifest for their own architecture; a setup file
built from the route's stub with dist/varnel-pack lists and verifies, and
starts under Wine with exit code 0. The route's varnel-pack.exe writes the
same setup file, and signs through the system's CNG: its key, its package
with the key and its published update folder check out with the openssl
tool and with dist/varnel-pack.
"""
import hashlib
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tool"))
from signing_check import info_items, signature_of, verify_signature  # noqa: E402
from wine_harness import DIST, ENGINE, PACK, ROOT, STUB, WineSession, scratch_dir, winpath  # noqa: E402

failures = []
passed = []


def check(cond, what):
    (passed if cond else failures).append(what)
    if not cond:
        print("FAIL:", what)


def run_tool(args, cwd, log):
    with open(log, "w") as out:
        rc = subprocess.run([PACK, *args], cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.STDOUT, timeout=120).returncode
    return rc, open(log).read()


def check_image(path, machine, arch):
    """The layout a package needs, checked statically (no need to run it)."""
    image = open(path, "rb").read()
    check(image[:2] == b"MZ", path + " starts with MZ")
    check(image[0x100:0x104] == b"PE\0\0", path + " has PE at 0x100")
    check(image[0xF8:0x100] == bytes(8), path + " 0xF8..0xFF are zero")
    check(struct.unpack_from("<I", image, 0x3C)[0] == 0x100, path + " e_lfanew is 0x100")
    check(struct.unpack_from("<H", image, 0x104)[0] == machine, path + " machine type")
    check("MAINICON".encode("utf-16-le") in image, path + " has the icon MainIcon")
    check("Varnel setup stub".encode("utf-16-le") in image, path + " has the version resource")
    check(('processorArchitecture="%s"' % arch).encode() in image
          and b"supportedOS" in image, path + " has a manifest for " + arch)


def windows_signing(wine, d, stub_path, engine):
    """keygen, build --update-key and publish by varnel-pack.exe under Wine."""
    tool = os.path.join(DIST, "varnel-pack.exe")
    log = os.path.join(d, "pack-win-sign.log")

    def run_win(*args):
        rc = wine.run(tool, list(args), timeout=120, log=log)
        return rc, open(log, errors="replace").read()

    rc, text = run_win("keygen", "--out", winpath(os.path.join(d, "keys", "win")))
    pub_path = os.path.join(d, "keys", "win.pub")
    check(rc == 0 and os.path.exists(pub_path), "keygen under Wine: %d %s" % (rc, text))
    if rc != 0:
        return
    pub = open(pub_path).read()
    def build_args(path):
        return ["--stub", path(stub_path), "--engine", path(engine), "--time", "2024-05-06T07:08:10",
                "--update-token", "TOKEN-W", "--info-file", "Win.info", "--update-url", "http://127.0.0.1:9/u",
                "--update-key", path(pub_path)]
    for version in ("1", "2"):
        rc, text = run_win("build", "-o", winpath(os.path.join(d, "win-v%s.exe" % version)), *build_args(winpath),
                           "--engine-args", " /v" + version)
        check(rc == 0, "build v%s with the key under Wine: %s" % (version, text))
    # The native tool writes the same package with the key and reads the
    # same fingerprint from it.
    rc, text = run_tool(["build", "-o", "native-v1.exe", *build_args(lambda p: p), "--engine-args", " /v1"], d,
                        os.path.join(d, "native-sign.log"))
    check(rc == 0 and open(os.path.join(d, "native-v1.exe"), "rb").read() ==
          open(os.path.join(d, "win-v1.exe"), "rb").read(), "both tools write the same keyed package: " + text)
    rc, text = run_tool(["list", "win-v1.exe"], d, os.path.join(d, "native-sign.log"))
    fingerprint = hashlib.sha256(bytes.fromhex(pub.split()[1])).hexdigest()[:32]
    check("update key: fingerprint " + fingerprint in text, "fingerprint read natively: " + text)

    out = os.path.join(d, "win-upd")
    rc, text = run_win("publish", "--key", winpath(os.path.join(d, "keys", "win.key")), "--setup",
                       winpath(os.path.join(d, "win-v2.exe")), "--version", "2", "--previous",
                       winpath(os.path.join(d, "win-v1.exe")), "--out", winpath(out))
    check(rc == 0, "publish under Wine: %d %s" % (rc, text))
    if rc != 0:
        return
    setup = open(os.path.join(d, "win-v2.exe"), "rb").read()
    info = open(os.path.join(out, "Win.info"), "rb").read()
    items = info_items(info)
    check(items.get(("NewSetup", "SHA256OfUpdateFile")) == hashlib.sha256(setup).hexdigest() and
          items.get(("NewSetup", "SizeOfUpdateFile")) == str(len(setup)), "the .INFO from Wine: %r" % items)
    check(verify_signature(pub, *signature_of(info)), "the .INFO signed through CNG verifies")
    sidecar = signature_of(open(os.path.join(out, "win-v2.exe.sig"), "rb").read())
    check(sidecar is not None and verify_signature(pub, setup, sidecar[1]), "the setup's .sig verifies")


def main():
    check_image(os.path.join(ROOT, "dist", "Stub.exe"), 0x14C, "x86")
    check_image(os.path.join(ROOT, "dist", "win64", "Stub.exe"), 0x8664, "amd64")
    stub_path = STUB
    stub = open(stub_path, "rb").read()

    d = scratch_dir("setup_file_build")
    engine = ENGINE
    with open(os.path.join(d, "readme.txt"), "w") as f:
        f.write("Sample product\n")
    with open(os.path.join(d, "English.lang"), "w") as f:
        f.write("FontName=Tahoma\ns1=Starting up, please wait ...\n")
    log = os.path.join(d, "tool.log")
    rc, text = run_tool(["build", "-o", "setup.exe", "--stub", stub_path, "--engine",
                         engine, "--language", "English.lang", "--time",
                         "2024-05-06T07:08:10", "readme.txt"], d, log)
    check(rc == 0, "build: " + text)
    setup = open(os.path.join(d, "setup.exe"), "rb").read()
    check(setup[:len(stub)] == stub, "setup starts with the stub image unchanged")
    check(struct.unpack_from("<I", setup, len(setup) - 70)[0] == len(stub),
          "package starts right after the image")

    rc, text = run_tool(["list", "setup.exe"], d, log)
    check(rc == 0 and "Engine.exe  (engine: Engine.exe*)" in text and "readme.txt" in text
          and "2024-05-06 07:08:10" in text and "[English]" in text, "list: " + text)
    rc, text = run_tool(["verify", "setup.exe"], d, log)
    check(rc == 0 and "OK: 2 member block(s)" in text, "verify: " + text)

    with WineSession() as wine:
        rc = wine.run(os.path.join(d, "setup.exe"), timeout=120,
                      log=os.path.join(d, "wine.log"))
        check(rc == 0, "setup.exe under Wine exits with 0, got %d: %s"
              % (rc, open(os.path.join(d, "wine.log"), errors="replace").read()[-2000:]))

        # The Windows build of the tool writes the same bytes.
        rc = wine.run(os.path.join(DIST, "varnel-pack.exe"),
                      ["build", "-o", winpath(os.path.join(d, "setup-win.exe")), "--stub",
                       winpath(stub_path), "--engine", winpath(engine), "--language",
                       winpath(os.path.join(d, "English.lang")), "--time", "2024-05-06T07:08:10",
                       winpath(os.path.join(d, "readme.txt"))],
                      timeout=120, log=os.path.join(d, "pack-win.log"))
        same = rc == 0 and open(os.path.join(d, "setup-win.exe"), "rb").read() == setup
        check(same, "varnel-pack.exe writes the same setup file: %d %s"
              % (rc, open(os.path.join(d, "pack-win.log"), errors="replace").read()))
        windows_signing(wine, d, stub_path, engine)

    print("%d passed, %d failed" % (len(passed), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
