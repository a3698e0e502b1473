"""https:// downloads under Wine: a loopback TLS server whose certificate a
test CA signed, that CA trusted in this scenario's own Wine prefix only (the
user root store of build/wineprefix*-tls, never the host's store), and a
second server with a self-signed certificate nobody trusts. Certificates are
made fresh with openssl for every run. Runs the Https.* case of
download_tests.exe (tests/download/http_download_test.cpp): the trusted
server's file arrives and its size is read, the untrusted one is refused
with an error text that says the certificate was refused."""
import hashlib
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_server import LoopbackServer  # noqa: E402
from wine_harness import BUILD, ROOT, WIN64, WineSession, scratch_dir, winpath  # noqa: E402

ROOT_STORE = "HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates"
CERT_PROP_ID = 32  # the encoded certificate in a serialized store entry


def openssl(*args, cwd):
    subprocess.run(["openssl"] + list(args), cwd=cwd, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def make_certificates(work):
    """ca.pem signs server.pem (DNS:localhost); self.pem signs itself."""
    with open(os.path.join(work, "server.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\n")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Varnel Test CA",
            "-keyout", "ca.key", "-out", "ca.pem", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=work)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", "server.key",
            "-out", "server.csr", cwd=work)
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2", "-extfile", "server.ext", "-out", "server.pem", cwd=work)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost", "-keyout", "self.key", "-out", "self.pem", cwd=work)
    openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der", cwd=work)


def trust_file(work):
    """A .reg file that puts ca.der into the user's root store."""
    with open(os.path.join(work, "ca.der"), "rb") as f:
        der = f.read()
    thumb = hashlib.sha1(der).hexdigest().upper()
    blob = CERT_PROP_ID.to_bytes(4, "little") + (1).to_bytes(4, "little") + len(der).to_bytes(4, "little") + der
    path = os.path.join(work, "trust.reg")
    with open(path, "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n[%s\\%s]\n\"Blob\"=hex:%s\n"
                % (ROOT_STORE, thumb, ",".join("%02x" % b for b in blob)))
    return path


def main():
    work = scratch_dir("https_download")
    make_certificates(work)
    served = os.path.join(work, "served")
    os.makedirs(served)
    with open(os.path.join(served, "medium.bin"), "wb") as f:
        f.write(os.urandom(300000))
    # This scenario's own prefix: the test CA is trusted nowhere else.
    prefix = os.path.join(ROOT, "build", "wineprefix64-tls" if WIN64 else "wineprefix-tls")
    os.environ["VARNEL_WINEPREFIX64" if WIN64 else "VARNEL_WINEPREFIX"] = prefix
    exe = os.path.join(BUILD, "tests", "download_tests.exe")
    log = os.path.join(work, "download_tests.log")
    trusted = LoopbackServer(served, os.path.join(work, "server.pem"), os.path.join(work, "server.key"))
    untrusted = LoopbackServer(served, os.path.join(work, "self.pem"), os.path.join(work, "self.key"))
    wine = WineSession()
    try:
        with trusted, untrusted, wine:
            # Certificates of earlier runs go first.
            wine.run("reg", ["delete", ROOT_STORE.replace("HKEY_CURRENT_USER", "HKCU"), "/f"], timeout=60)
            assert wine.run("regedit", ["/S", winpath(trust_file(work))], timeout=60) == 0
            wine.env["VARNEL_HTTPS_TRUSTED"] = trusted.url("")
            wine.env["VARNEL_HTTPS_UNTRUSTED"] = untrusted.url("")
            code = wine.run(exe, ["--gtest_filter=Https.*"], timeout=300, log=log)
    finally:
        # The prefix's own server was started for this scenario alone.
        subprocess.run(["wineserver", "-k"], env=wine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    with open(log, encoding="latin-1") as f:
        output = f.read()
    print(output)
    if code != 0 or "[  PASSED  ] 1 test" not in output or "SKIPPED" in output:
        print("FAIL: download_tests exit code %s" % code)
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
