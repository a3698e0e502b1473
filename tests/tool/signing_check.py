"""Signed update files checked from outside the tool: the public key of a
NAME.pub file and a ";VarnelSignature=" line (r || s over SHA-256) verified
by the openssl command-line tool, so a test never trusts the tool's own
code to check its signatures."""
import base64
import os
import re
import subprocess
import tempfile

# DER SubjectPublicKeyInfo of a P-256 key up to the uncompressed point.
_SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200") + b"\x04"
SIGNATURE_LINE = re.compile(rb"(?:^|\n)(;VarnelSignature=([0-9a-f]{128})[\r\n \t]*)$")


def public_key_pem(pub_text):
    """PEM of a NAME.pub text: "varnel-ecdsa-p256 <128 hex>"."""
    tag, hexkey = pub_text.split()
    assert tag == "varnel-ecdsa-p256" and len(hexkey) == 128
    der = _SPKI_PREFIX + bytes.fromhex(hexkey)
    return "-----BEGIN PUBLIC KEY-----\n%s\n-----END PUBLIC KEY-----\n" % base64.b64encode(der).decode()


def _der_integer(value):
    value = value.lstrip(b"\0") or b"\0"
    if value[0] & 0x80:
        value = b"\0" + value
    return b"\x02" + bytes([len(value)]) + value


def _der_signature(rs):
    body = _der_integer(rs[:32]) + _der_integer(rs[32:])
    return b"\x30" + bytes([len(body)]) + body


def signature_of(data):
    """(signed bytes, 64-byte signature) of a signed file, or None: the last
    line, after which only line ends and blanks may follow."""
    m = SIGNATURE_LINE.search(data)
    if not m:
        return None
    return data[:m.start(1)], bytes.fromhex(m.group(2).decode())


def verify_signature(pub_text, signed, signature):
    """True when openssl accepts `signature` (r || s) of `signed` by the key."""
    with tempfile.TemporaryDirectory() as d:
        paths = {name: os.path.join(d, name) for name in ("key.pem", "sig.der", "data")}
        with open(paths["key.pem"], "w") as f:
            f.write(public_key_pem(pub_text))
        with open(paths["sig.der"], "wb") as f:
            f.write(_der_signature(signature))
        with open(paths["data"], "wb") as f:
            f.write(signed)
        p = subprocess.run(["openssl", "dgst", "-sha256", "-verify", paths["key.pem"], "-signature",
                            paths["sig.der"], paths["data"]], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=60)
        return p.returncode == 0 and b"Verified OK" in p.stdout


def info_items(data):
    """{(section, key): value} of a .INFO's bytes (comments skipped)."""
    items, section = {}, None
    for line in data.decode("latin-1").split("\r\n"):
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
        elif "=" in line and not line.startswith(";"):
            key, _, value = line.partition("=")
            items[(section, key)] = value
    return items
