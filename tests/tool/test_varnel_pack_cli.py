#!/usr/bin/env python3
"""varnel-pack from the command line: round trips and bad input.

Runs the tool given in VARNEL_PACK (the sanitizer build's copy in ctest)
with a stand-in stub image, and checks exit codes, one-line errors and what
list, verify and extract report; then signing keys, packages that carry a
key and signed update folders, whose signatures are checked with the
openssl command-line tool.
"""
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zlib

from signing_check import info_items, verify_signature, signature_of

TOOL = os.environ.get("VARNEL_PACK") or os.path.join(
    os.environ.get("VARNEL_ROOT", "."), "dist", "varnel-pack")
failures = []
passed = []


def check(cond, what):
    if cond:
        passed.append(what)
    else:
        failures.append(what)
        print("FAIL:", what)


def run(*args, cwd):
    p = subprocess.run([TOOL, *args], cwd=cwd, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def fake_stub(size=8192):
    stub = bytearray(size)
    stub[0:2] = b"MZ"
    stub[0x100:0x104] = b"PE\0\0"
    return bytes(stub)

def update_block(path):
    """Header block 1 of a package file, as text."""
    data = open(path, "rb").read()
    at = struct.unpack_from("<I", data, len(data) - 70)[0]
    at += 4 + struct.unpack_from("<i", data, at)[0]
    return data[at + 4:at + 4 + struct.unpack_from("<i", data, at)[0]].decode("latin-1")


def signing(d, base):
    """Keys, packages that carry one, publish and its refusals."""
    def path(name):
        return os.path.join(d, name)

    # keygen: the two files in their forms, the private one owner-only, the
    # fingerprint printed; an existing key is never overwritten.
    keys = {}
    for name in ("k1", "k2"):
        rc, out, err = run("keygen", "--out", "keys/" + name, cwd=d)
        check(rc == 0, "keygen %s: %s" % (name, err))
        pub = open(path("keys/%s.pub" % name)).read()
        private = open(path("keys/%s.key" % name)).read()
        check(re.fullmatch(r"varnel-ecdsa-p256 [0-9a-f]{128}\n", pub) is not None, "pub form %r" % pub)
        check(re.fullmatch(r"varnel-ecdsa-p256-private [0-9a-f]{64} [0-9a-f]{128}\n", private) is not None
              and private.split()[2] == pub.split()[1], "key form")
        check(os.stat(path("keys/%s.key" % name)).st_mode & 0o777 == 0o600, "key file mode 0600")
        fingerprint = hashlib.sha256(bytes.fromhex(pub.split()[1])).hexdigest()[:32]
        check("fingerprint %s" % fingerprint in out, "keygen prints the fingerprint: %s" % out)
        keys[name] = (pub, fingerprint)
    rc, out, err = run("keygen", "--out", "keys/k1", cwd=d)
    check(rc == 1 and "never overwrites" in err and open(path("keys/k1.pub")).read() == keys["k1"][0],
          "keygen keeps an existing key: %s" % err)

    # A key is the update block's sixth item, nothing else changes; without
    # a key the block keeps its five items.
    common = base + ["--update-token", "TOK-1", "--info-file", "Prod.info", "--update-url",
                     "http://127.0.0.1:9/upd", "--agent-file", "ProdAgent.exe", "--seed", "7"]
    rc, _, err = run(*common, "-o", "plain.exe", cwd=d)
    rc2, _, err2 = run(*common, "-o", "v1.exe", "--update-key", "keys/k1.pub", cwd=d)
    check(rc == 0 and rc2 == 0, "builds with and without key: %s %s" % (err, err2))
    plain_block = update_block(path("plain.exe"))
    check(plain_block.count("|") == 6 and plain_block.endswith("|0|"), "five items: %r" % plain_block)
    check(update_block(path("v1.exe")) == plain_block + keys["k1"][0].split()[1] + "|", "sixth item")
    _, listing, _ = run("list", "v1.exe", cwd=d)
    check("update key: fingerprint %s" % keys["k1"][1] in listing, "list shows the fingerprint")
    _, listing, _ = run("list", "plain.exe", cwd=d)
    check("update key: none" in listing, "list says there is no key")

    # The web installer names its full setup file's SHA-256 (and carries the
    # key); the full file's own download block does not.
    rc, _, err = run(*common, "-o", "full.exe", "--update-key", "keys/k1.pub", "--download-url",
                     "http://127.0.0.1:9/dl", "--web-installer", "fullweb.exe", cwd=d)
    full_hash = hashlib.sha256(open(path("full.exe"), "rb").read()).hexdigest()
    _, web_list, _ = run("list", "fullweb.exe", cwd=d)
    _, full_list, _ = run("list", "full.exe", cwd=d)
    check(rc == 0 and "full setup SHA-256: %s" % full_hash in web_list and
          "update key: fingerprint %s" % keys["k1"][1] in web_list, "web installer: %s %s" % (err, web_list))
    check("full setup SHA-256" not in full_list, "no hash in the full setup's own block")

    # The next versions: same token; v2 with k1, v3 with k2 (rotation), and
    # setups that must be refused.
    for name, extra in [("v2.exe", ["--update-key", "keys/k1.pub", "readme.txt"]),
                        ("v3.exe", ["--update-key", "keys/k2.pub", "readme.txt"]),
                        ("v4.exe", ["--update-key", "keys/k2.pub", "--file", "readme.txt=r4.txt"]),
                        ("nokey.exe", ["readme.txt"])]:
        rc, _, err = run(*common, "-o", name, *extra, cwd=d)
        check(rc == 0, "build %s: %s" % (name, err))
    rc, _, err = run(*base, "-o", "othertoken.exe", "--update-token", "TOK-2", "--info-file", "Prod.info",
                     "--update-key", "keys/k1.pub", cwd=d)
    rc2, _, err2 = run(*base, "-o", "notoken.exe", "--info-file", "Prod.info", "--update-key", "keys/k1.pub",
                       cwd=d)
    check(rc == 0 and rc2 == 0, "foreign setups: %s %s" % (err, err2))
    write(path("News.txt"), "{\\rtf1 Version 5 is out}")

    # Refusals: exit code, one line naming the problem, nothing written.
    publish = ["publish", "--key", "keys/k1.key", "--out", "refused"]
    v2 = ["--setup", "v2.exe", "--version", "2", "--previous", "v1.exe"]
    cases = [
        (publish + ["--setup", "othertoken.exe", "--version", "2", "--previous", "v1.exe"], 1,
         "does not carry the update token of v1.exe"),
        (publish + ["--setup", "notoken.exe", "--version", "2", "--previous", "v1.exe"], 1,
         "does not carry the update token"),
        (publish + ["--setup", "v2.exe", "--version", "2.1", "--previous", "v1.exe"], 2, "--version needs a whole number"),
        (publish + ["--setup", "v2.exe", "--version", "two", "--previous", "v1.exe"], 2, "--version needs a whole number"),
        (publish + ["--setup", "v2.exe", "--version", "0", "--previous", "v1.exe"], 2, "--version needs a whole number"),
        (publish + ["--inform", "News.txt", "--previous", "v1.exe"], 2, "--inform needs --inform-version"),
        (publish + ["--setup", "v3.exe", "--version", "3", "--previous", "v1.exe"], 1,
         "carries update key %s, not %s" % (keys["k2"][1], keys["k1"][1])),
        (publish + ["--setup", "nokey.exe", "--version", "3", "--previous", "v1.exe"], 1, "carries no update key"),
        (["publish", "--key", "keys/k2.key", "--out", "refused", "--rotate"] + v2, 1,
         "check update key %s" % keys["k1"][1]),
        (publish + ["--setup", "v2.exe", "--version", "2"], 2, "needs --previous"),
        (publish + ["--setup", "v2.exe", "--previous", "v1.exe"], 2, "needs --version"),
        (publish + v2 + ["--info", "Other.info"], 2, "fetch Prod.info, not Other.info"),
        (publish + v2 + ["--set", "RequestConfirmationBeforeDownload=yes"], 2, "\"1\" (yes)"),
        (publish + v2 + ["--set", "ShutDownMethod=WM_CLOSE"], 2, "compared exactly"),
        (publish + v2 + ["--set", "VersionNew=9"], 2, "publish writes it (see --version)"),
        (publish + v2 + ["--set", "RestartProces=1"], 2, "not a key agents read"),
        (["publish", "--key", "keys/k1.pub", "--out", "refused"] + v2, 1, "is a public key file"),
        (base + ["-o", "x.exe", "--update-key", "keys/k1.key"], 1, "is a private key file"),
        (base + ["-o", "x.exe", "--update-key", "offcurve.pub"], 1, "P-256"),
    ]
    write(path("offcurve.pub"), "varnel-ecdsa-p256 %s\n" % ("01" * 64))
    for args, code, text in cases:
        rc, out, err = run(*args, cwd=d)
        ok = rc == code and err.count("\n") == 1 and err.startswith("varnel-pack: ") and text in err
        check(ok, "refused %s -> %d %r" % (" ".join(args[5:]), rc, err))
    check(not os.path.exists(path("refused")) and not os.path.exists(path("x.exe")), "nothing written when refused")

    # Publish: the folder holds the setup, its signature file and the signed
    # .INFO with the values that follow from the files and the options.
    env = dict(os.environ, SOURCE_DATE_EPOCH="1800000000")
    p = subprocess.run([TOOL, "publish", "--key", "keys/k1.key", *v2, "--out", "upd", "--expires-days", "7",
                        "--set", "ShutDownMethod=Using WM_CLOSE", "--set", "RequestConfirmationBeforeDownload=0",
                        "--set", "Custom.Note=hello"], cwd=d, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    check(p.returncode == 0, "publish: %s" % p.stderr.decode())
    setup = open(path("v2.exe"), "rb").read()
    info = open(path("upd/Prod.info"), "rb").read()
    items = info_items(info)
    want = {("General", "ExpiresUTC"): str(1800000000 + 7 * 86400),
            ("NewSetup", "DownloadURL_UPDATE"): "http://127.0.0.1:9/upd",
            ("NewSetup", "NameOfUpdateFile"): "v2.exe", ("NewSetup", "SizeOfUpdateFile"): str(len(setup)),
            ("NewSetup", "SHA256OfUpdateFile"): hashlib.sha256(setup).hexdigest(),
            ("NewSetup", "VersionNew"): "2", ("NewSetup", "Stamp"): "1800000000",
            ("NewSetup", "ShutDownMethod"): "Using WM_CLOSE",
            ("NewSetup", "RequestConfirmationBeforeDownload"): "0", ("Custom", "Note"): "hello"}
    check(items == want, ".INFO values: %r" % items)
    check(open(path("upd/v2.exe"), "rb").read() == setup, "the setup under its own name")
    signed = signature_of(info)
    check(signed is not None and signed[0].endswith(b"\r\n") and info.endswith(b"\r\n") and
          info.count(b";VarnelSignature=") == 1, "one signature line, last")
    check(signed is not None and verify_signature(keys["k1"][0], *signed), "the .INFO's signature verifies")
    check(signed is not None and not verify_signature(keys["k1"][0], signed[0].replace(b"=2\r\n", b"=3\r\n"),
                                                      signed[1]), "a changed .INFO does not verify")
    check(signed is not None and not verify_signature(keys["k2"][0], *signed), "nor under another key")
    sidecar = open(path("upd/v2.exe.sig"), "rb").read()
    check(sidecar.startswith(b";VarnelSignature=") and
          verify_signature(keys["k1"][0], setup, signature_of(sidecar)[1]), "the setup's .sig verifies")

    # Again at the same time, from the folder alone (its setup is the
    # previous one): a new stamp above the old one.
    p = subprocess.run([TOOL, "publish", "--key", "keys/k1.key", "--setup", "v2.exe", "--version", "2",
                        "--out", "upd"], cwd=d, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    check(p.returncode == 0 and info_items(open(path("upd/Prod.info"), "rb").read())[("NewSetup", "Stamp")] ==
          "1800000001", "republish: a stamp above the old one: %s" % p.stderr.decode())

    # Rotation: v3 carries k2 and is signed with k1 (--rotate); then v4,
    # whose previous setup is v3 (from the folder), is signed with k2, and k1
    # is refused.
    rc, out, err = run("publish", "--key", "keys/k1.key", "--setup", "v3.exe", "--version", "3", "--out", "upd",
                       "--rotate", cwd=d)
    info = open(path("upd/Prod.info"), "rb").read()
    check(rc == 0 and verify_signature(keys["k1"][0], *signature_of(info)) and
          info_items(info)[("NewSetup", "NameOfUpdateFile")] == "v3.exe", "rotate to k2, signed by k1: %s" % err)
    rc, out, err = run("publish", "--key", "keys/k1.key", "--setup", "v4.exe", "--version", "4", "--out", "upd",
                       cwd=d)
    check(rc == 1 and "check update key %s" % keys["k2"][1] in err, "after rotation k1 is refused: %s" % err)
    rc, out, err = run("publish", "--key", "keys/k2.key", "--setup", "v4.exe", "--version", "4", "--out", "upd",
                       cwd=d)
    info = open(path("upd/Prod.info"), "rb").read()
    check(rc == 0 and verify_signature(keys["k2"][0], *signature_of(info)), "then k2 signs: %s" % err)

    # Without a setup: a signed .INFO that names no file ("nothing newer").
    rc, out, err = run("publish", "--key", "keys/k1.key", "--version", "1", "--previous", "v1.exe",
                       "--out", "bare", cwd=d)
    info = open(path("bare/Prod.info"), "rb").read() if rc == 0 else b""
    check(rc == 0 and sorted(k for _, k in info_items(info)) == ["DownloadURL_UPDATE", "ExpiresUTC", "Stamp",
                                                                  "VersionNew"] and
          verify_signature(keys["k1"][0], *signature_of(info)) and os.listdir(path("bare")) == ["Prod.info"],
          "publish without a setup: %s %r" % (err, info))

    # A notice: the text put in the INFORM form with the token of the
    # installed package, its hash signed, AutoInform=1, VersionNew its
    # version.
    rc, out, err = run("publish", "--key", "keys/k1.key", "--inform", "News.txt", "--inform-version", "5",
                       "--previous", "v1.exe", "--out", "news", "--set", "DownloadURL_INFORM=http://example.test/",
                       cwd=d)
    inform = open(path("news/News.txt"), "rb").read()
    info = open(path("news/Prod.info"), "rb").read()
    items = info_items(info)
    stored_token = update_block(path("v1.exe")).split("|")[4]
    check(rc == 0 and inform == ("Notice|%s|||{\\rtf1 Version 5 is out}" % stored_token).encode(),
          "INFORM form: %s %r" % (err, inform))
    check(items.get(("General", "AutoInform")) == "1" and items.get(("NewSetup", "VersionNew")) == "5" and
          items.get(("AutoInform", "SizeOfInformFile")) == str(len(inform)) and
          items.get(("AutoInform", "SHA256OfInformFile")) == hashlib.sha256(inform).hexdigest() and
          items.get(("AutoInform", "DownloadURL_INFORM")) == "http://example.test/" and
          ("NewSetup", "NameOfUpdateFile") not in items, "notice .INFO: %r" % items)
    check(verify_signature(keys["k1"][0], *signature_of(info)), "notice .INFO verifies")
    # An INFORM file already in its form is taken as it is.
    rc, out, err = run("publish", "--key", "keys/k1.key", "--inform", "news/News.txt", "--inform-version", "6",
                       "--previous", "v1.exe", "--out", "news2", cwd=d)
    check(rc == 0 and open(path("news2/News.txt"), "rb").read() == inform, "INFORM file kept: %s" % err)


def unicode_paths(d, base):
    """Inputs, output and extraction folder under a folder named in three
    scripts; member names in UTF-8 are listed and extracted as they are, a
    name in an ANSI code page (Latin-1 bytes) still works and is listed with
    its bytes escaped."""
    folder = os.path.join(d, "Установка 安装 Ελληνικά")
    os.makedirs(folder)
    member = "Читайте 说明 Ελληνικά.txt"
    write(os.path.join(folder, member), "unicode")
    ansi = os.path.join(d, "ansi.txt").encode()
    write(ansi, "latin")
    setup = os.path.join(folder, "Установка.exe")
    rc, _, err = run(*base, "-o", setup, os.path.join(folder, member), b"--file", ansi + b"=Caf\xe9.txt", cwd=d)
    check(rc == 0 and os.path.exists(setup), "build from unicode paths: %s" % err)
    p = subprocess.run([TOOL, "list", setup], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    listing = p.stdout.decode("utf-8", "replace")
    check(p.returncode == 0 and member in listing and "Caf\\xE9.txt" in listing,
          "list shows the UTF-8 name, escapes the ANSI one: %s" % listing)
    out = os.path.join(folder, "Ελληνικά out")
    rc, _, err = run("extract", setup, out, cwd=d)
    check(rc == 0 and open(os.path.join(out, member)).read() == "unicode"
          and open(os.path.join(out.encode(), b"Caf\xe9.txt"), "rb").read() == b"latin",
          "extract writes both names: %s" % err)


def main():
    with tempfile.TemporaryDirectory() as d:
        write(os.path.join(d, "stub.exe"), fake_stub())
        write(os.path.join(d, "Engine.exe"), b"E" * 300)
        write(os.path.join(d, "readme.txt"), "hello")
        write(os.path.join(d, "big.bin"), os.urandom(20000))
        write(os.path.join(d, "English.lang"), "s1=Starting up\nFontName=Tahoma\n")
        write(os.path.join(d, "de.lang"), "# German texts\n[German]\ns1=Bitte warten\n")
        write(os.path.join(d, "sig.bin"), b"S" * 512)
        base = ["build", "--stub", "stub.exe", "--engine", "Engine.exe", "--time",
                "2017-03-04T17:22:58", "--language", "English.lang", "--language", "de.lang"]

        # Round trip: build, list, verify, extract; the same inputs give the same bytes.
        rc, out, err = run(*base, "-o", "a.exe", "readme.txt", "--stored", "big.bin=data.bin",
                           "--engine-args", " /X", "--activity-bar", "--write-update-agent",
                           "--update-token", "random", "--append", "sig.bin", cwd=d)
        check(rc == 0, "build: %s" % err)
        rc2, _, _ = run(*base, "-o", "b.exe", "readme.txt", "--stored", "big.bin=data.bin",
                        "--engine-args", " /X", "--activity-bar", "--write-update-agent",
                        "--update-token", "random", "--append", "sig.bin", cwd=d)
        a = open(os.path.join(d, "a.exe"), "rb").read()
        check(rc2 == 0 and a == open(os.path.join(d, "b.exe"), "rb").read(), "deterministic")
        check(struct.unpack_from("<I", a, 0xFC)[0] == len(a) - 512, "end pointer")
        rc, out, err = run("list", "a.exe", cwd=d)
        check(rc == 0, "list: %s" % err)
        for text in ["options: 0x08 activity-bar", "write update agent 1", "[German]",
                     "s1=Bitte warten", "Engine.exe  (engine: Engine.exe* /X)", "data.bin",
                     "2017-03-04 17:22:58", "member blocks: 3", "package end: %d" % (len(a) - 512)]:
            check(text in out, "list shows %r" % text)
        rc, out, err = run("verify", "a.exe", cwd=d)
        check(rc == 0 and "OK: 3 member block(s)" in out, "verify: %s %s" % (out, err))
        rc, out, err = run("extract", "a.exe", "out", cwd=d)
        check(rc == 0, "extract: %s" % err)
        check(open(os.path.join(d, "out", "data.bin"), "rb").read() ==
              open(os.path.join(d, "big.bin"), "rb").read(), "extracted content")
        check(sorted(os.listdir(os.path.join(d, "out"))) == ["Engine.exe", "data.bin", "readme.txt"],
              "extracted names")

        # Spanned disks (both namings), web installer with its full file.
        for naming, names in [("exe", ["sp.exe", "sp.exe.002"]),
                              ("001", ["sp1.exe", "sp1.exe.001", "sp1.exe.002"])]:
            out_name = names[0]
            rc, out, err = run(*base, "-o", out_name, "readme.txt", "--stored", "big.bin",
                               "--span", str(8192 + 15000), "--span-naming", naming, cwd=d)
            check(rc == 0, "span build %s: %s" % (naming, err))
            for n in names:
                check(os.path.getsize(os.path.join(d, n)) <= 8192 + 15000, "disk size " + n)
            rc, out, err = run("verify", out_name, cwd=d)
            check(rc == 0 and "3 member block(s)" in out, "span verify %s: %s%s" % (naming, out, err))
            rc, out, err = run("extract", out_name, "span-" + naming, cwd=d)
            check(rc == 0 and sorted(os.listdir(os.path.join(d, "span-" + naming))) ==
                  ["Engine.exe", "big.bin", "readme.txt"], "span extract %s: %s" % (naming, err))
            rc, out, err = run("list", names[-1], cwd=d)
            check(rc == 0 and "package start 0" in out and "big.bin" in out,
                  "list a disk file %s: %s" % (naming, err))
        # Disks that do not fit together: extract and verify refuse them as
        # the stub does (a disk without a trailer, a swapped pair, one cut short).
        rc, out, err = run(*base, "-o", "sw.exe", "readme.txt", "--stored", "big.bin",
                           "--stored", "big.bin=b2.bin", "--stored", "big.bin=b3.bin",
                           "--span", str(8192 + 21000), cwd=d)
        disks = sorted(n for n in os.listdir(d) if n.startswith("sw.exe"))
        check(rc == 0 and len(disks) >= 3, "three-disk build: %s %s" % (err, disks))
        two, three = os.path.join(d, "sw.exe.002"), os.path.join(d, "sw.exe.003")
        saved = {n: open(n, "rb").read() for n in (two, three)}
        damages = [("swapped", {two: saved[three], three: saved[two]}),
                   ("cut short", {two: saved[two][:len(saved[two]) // 2]}),
                   ("empty", {two: b""})]
        for what, files in damages:
            for n, data in files.items():
                write(n, data)
            for cmd in ("verify", "extract"):
                args = [cmd, "sw.exe"] + (["sw-" + what] if cmd == "extract" else [])
                rc, out, err = run(*args, cwd=d)
                check(rc == 1 and err.count("\n") == 1, "%s set, %s: %d %s" % (what, cmd, rc, err))
            for n, data in saved.items():
                write(n, data)
        rc, out, err = run("verify", "sw.exe", cwd=d)
        check(rc == 0, "the whole set verifies again: %s" % err)

        # Restarting from a temporary copy needs ".001" disk files.
        for extra in ([], ["--span", str(8192 + 15000)], ["--span", str(8192 + 15000), "--span-naming", "exe"]):
            rc, out, err = run(*base, "-o", "rs.exe", "readme.txt", "--restart-from-temp", *extra, cwd=d)
            check(rc == 1 and "restart from a temporary copy" in err and
                  not os.path.exists(os.path.join(d, "rs.exe")), "restart refused %s: %s" % (extra, err))
        rc, out, err = run(*base, "-o", "rs.exe", "readme.txt", "--restart-from-temp", "--span",
                           str(8192 + 15000), "--span-naming", "001", cwd=d)
        check(rc == 0, "restart with .001 disks: %s" % err)
        # A one-file setup whose trailer asks for the restart (another writer's)
        # fails verify.
        one = bytearray(a)
        end = len(one) - 512
        one[end - 74 + 65] |= 0x04
        write(os.path.join(d, "restart1.exe"), bytes(one))
        rc, out, err = run("verify", "restart1.exe", cwd=d)
        check(rc == 1 and ".001" in err, "verify a restart without disks: %s" % err)

        # The language list read in linear time: 100,000 sections.
        sections = "\x02" + "".join("\x01L%d\x01s1=x\x01\x02" % i for i in range(100000))
        pkg = bytearray(fake_stub(4096))
        start = len(pkg)
        lang = sections.encode("latin-1")
        pkg += struct.pack("<I", len(lang)) + lang + struct.pack("<I", 6) + b"|||||" + b"|"
        trailer = bytearray(74)
        trailer[0], trailer[1] = 1, 2
        struct.pack_into("<IIII", trailer, 4, start, 0, 0x4A3B2C1D, 1234)
        struct.pack_into("<I", trailer, 70, 74)
        write(os.path.join(d, "many.exe"), bytes(pkg + trailer))
        started = time.time()
        rc, out, err = run("list", "many.exe", cwd=d)
        check(rc == 0 and "languages: 100000" in out and time.time() - started < 20,
              "list of 100,000 sections in %.1f s: %s" % (time.time() - started, err))

        os.remove(os.path.join(d, "sp.exe.002"))
        rc, out, err = run("extract", "sp.exe", "missing", cwd=d)
        check(rc == 1 and "missing disk file" in err, "missing disk: %s" % err)

        rc, out, err = run(*base, "-o", "full.exe", "readme.txt", "--download-url",
                           "http://127.0.0.1:8080/dl", "--web-installer", "web.exe", cwd=d)
        check(rc == 0, "web build: %s" % err)
        rc, full_list, _ = run("list", "full.exe", cwd=d)
        rc, web_list, _ = run("list", "web.exe", cwd=d)
        size = os.path.getsize(os.path.join(d, "full.exe"))

        def token(listing):
            line = [l for l in listing.splitlines() if l.startswith("download block")][0]
            return line.split("token ")[1].split(", size")[0]
        check('size "%d"' % size in web_list and 'size "%d"' % size in full_list, "setup size")
        check("web installer 1" in web_list and "member blocks: 0" in web_list, "web installer")
        t_web, t_full = token(web_list), token(full_list)
        check(t_web.split(" = ")[1] == t_full.split(" = ")[1] and t_web != t_full,
              "shared token %s %s" % (t_web, t_full))

        # Computed checksums: a small file passes, a changed byte fails.
        write(os.path.join(d, "tiny-stub.exe"), fake_stub(1024))
        rc, out, err = run("build", "--stub", "tiny-stub.exe", "-o", "tiny.exe", "readme.txt",
                           "--checksum", "compute", "--time", "0", cwd=d)
        rc2, out, err2 = run("verify", "tiny.exe", cwd=d)
        check(rc == 0 and rc2 == 0, "computed checksum passes: %s %s" % (err, err2))
        tiny = bytearray(open(os.path.join(d, "tiny.exe"), "rb").read())
        tiny[1040] ^= 1  # a letter of the update block
        write(os.path.join(d, "tiny-bad.exe"), bytes(tiny))
        rc, out, err = run("verify", "tiny-bad.exe", cwd=d)
        check(rc == 1 and "checksum fails" in err, "changed byte fails the checksum: %s" % err)

        # A corrupt member fails verify with one line.
        bad = bytearray(open(os.path.join(d, "full.exe"), "rb").read())
        start = struct.unpack_from("<I", bad, len(bad) - 70)[0]
        at = start
        for _ in range(3):
            at += 4 + struct.unpack_from("<i", bad, at)[0]
        bad[at + 6:at + 12] = b"\xff" * 6
        write(os.path.join(d, "bad.exe"), bytes(bad))
        rc, out, err = run("verify", "bad.exe", cwd=d)
        check(rc == 1 and err.count("\n") == 1 and "corrupt member" in err, "corrupt: %s" % err)

        # A member block with an unsafe name is refused by extract.
        stub = fake_stub(4096)
        payload = b"|..\\evil.txt|0|\0boom"
        blocks = struct.pack("<I", 2) + b"\x02\x02" + struct.pack("<I", 6) + b"|||||" + b"|"
        blocks += struct.pack("<i", -len(payload)) + payload
        trailer = bytearray(74)
        trailer[0], trailer[1] = 1, 2
        struct.pack_into("<IIII", trailer, 4, len(stub), 1, 0x4A3B2C1D, 1234)
        struct.pack_into("<I", trailer, 70, 74)
        write(os.path.join(d, "evil.exe"), stub + blocks + bytes(trailer))
        rc, out, err = run("extract", "evil.exe", "evil", cwd=d)
        check(rc == 1 and "unsafe member name" in err, "unsafe name: %s" % err)
        check(os.listdir(os.path.join(d, "evil")) == [] and not os.path.exists(
            os.path.join(d, "evil.txt")), "nothing written for an unsafe name")

        # Bad input: exit code and one line naming the problem.
        write(os.path.join(d, "nomz.exe"), b"XX" + fake_stub()[2:])
        nope = bytearray(fake_stub())
        nope[0x100:0x102] = b"NO"
        write(os.path.join(d, "nope.exe"), bytes(nope))
        cases = [
            (["build", "--stub", "stub.exe", "-o", "x.exe", "nothere.txt"], 1, "cannot read file"),
            (["build", "--stub", "gone.exe", "-o", "x.exe"], 1, "cannot read stub"),
            (["build", "--stub", "nomz.exe", "-o", "x.exe"], 1, "no \"MZ\""),
            (["build", "--stub", "nope.exe", "-o", "x.exe"], 1, "no \"PE\" header at offset 0x100"),
            (["build", "--stub", "a.exe", "-o", "x.exe"], 1, "already carries a package"),
            (base + ["-o", "x.exe", "--file", "readme.txt=sub/r.txt"], 1, "folder part"),
            (base + ["-o", "x.exe", "--file", "readme.txt=r*.txt"], 1, "\"*\""),
            (base + ["-o", "x.exe", "--file", "readme.txt=r|x.txt"], 1, "\"|\""),
            (base + ["-o", "x.exe", "--file", "readme.txt=NUL.txt"], 1, "cannot be written"),
            (base + ["-o", "x.exe", "--language", "nothere.lang"], 1, "cannot read language"),
            (base + ["-o", "x.exe", "--span", "8300"], 1, "span size"),
            (base + ["-o", "x.exe", "--level", "12"], 2, "--level"),
            (base + ["-o", "x.exe", "--bogus"], 2, "unknown option"),
            (base + ["-o", "x.exe", "--level"], 2, "needs a value"),
            (["build", "--stub", "stub.exe"], 2, "--output"),
            (["list", "nothere.exe"], 1, "cannot read"),
            (["list", "readme.txt"], 1, "not a setup"),
            (["verify", "readme.txt"], 1, "not a package"),
            (["extract", "a.exe"], 2, "FILE DIR"),
            (["frobnicate"], 2, "unknown command"),
        ]
        for args, code, text in cases:
            rc, out, err = run(*args, cwd=d)
            ok = rc == code and err.count("\n") == 1 and err.startswith("varnel-pack: ") and text in err
            check(ok, "%s -> %d %r" % (" ".join(args[-3:]), rc, err))
        check(not os.path.exists(os.path.join(d, "x.exe")), "no output after a failure")
        rc, out, err = run("--help", cwd=d)
        check(rc == 0 and "varnel-pack build" in out and "--span-naming" in out, "help")

        signing(d, base)
        unicode_paths(d, base)

    print("%d passed, %d failed" % (len(passed), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
