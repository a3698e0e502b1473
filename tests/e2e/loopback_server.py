"""A loopback HTTP (or HTTPS) server for the download tests, the web-installer
scenarios and the download benchmark. Python's standard library only; runs
in a thread of the test process and is stopped by it.

Paths:
  /files/NAME          the file NAME of the served folder, with Content-Length
                       and Last-Modified (the file's modification time)
  /nolength/NAME       the same without Content-Length (the stream ends it)
  /slow/NAME           the same, 8 KiB every `slow_delay` seconds
  /html404/NAME        status 404 with an HTML error page
  /html200/NAME        status 200 with an HTML page (no 404 in it)
  /error500/NAME       status 500 with a plain-text body
  /short/NAME          announces the file's length, sends half, closes
  /empty/NAME          status 200 with Content-Length 0
Broken behaviours that real servers don't produce:
  /nohead/NAME         HEAD refused (405); a GET honours "Range: bytes=0-0"
  /headnolength/NAME   HEAD without length; GETs ignore Range
  /headstall/NAME      HEAD taken and never answered
  /nolengthshort/NAME  no Content-Length, half the file, then the end
  /chunked/NAME        the file in chunks of 4 KiB with its last chunk
  /chunkcut/NAME       the same, cut after half the file (no last chunk)
  /endless/NAME        no Content-Length, bytes without end
  /stall/NAME          announces the length, sends 8 KiB, then nothing
  /stallclose/NAME     the same, but closes the connection after 2 seconds
  /trickle/NAME        10 bytes every `trickle_delay` seconds
  /reset/NAME          announces the length, sends half, then a reset
  /status/CODE/NAME    that status with the file as body (no Location)
  /redirect/CODE/NAME  that status, Location: /files/NAME
  /tohttps/NAME        302, Location: `redirect_base` + "files/NAME"
  /cutonce/NAME        as /files/, but the first request without Range gets
                       half the file and a reset
  /cutnorange/NAME     the same, and Range is never honoured
/files/ and /cutonce/ honour "Range: bytes=N-" with an ETag validator
(If-Range); `sent` counts the body bytes sent per path. `before_get`, when
set, is called with each GET's path before it is answered.
Every request is recorded in `requests` as (method, path) and its Range
header, when it has one, in `ranges` as (path, range).
"""
import email.utils
import http.server
import os
import socket
import ssl
import struct
import threading
import time

HTML_404 = (b"<html><head><title>404 Not Found</title></head>"
            b"<body><h1>Not Found</h1></body></html>")
HTML_200 = (b"<html><head><title>Welcome</title></head>"
            b"<body>Our products</body></html>")


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        server = self.server.owner
        server.requests.append(("HEAD", self.path))
        kind, _, name = self.path.lstrip("/").partition("/")
        path = os.path.join(server.folder, os.path.basename(name))
        if kind == "headstall":
            server.stop_event.wait()
            self.close_connection = True
            return
        if kind == "nohead":
            self.send_response(405)
            self.send_header("Content-Length", "0")
        elif kind == "headnolength" and os.path.isfile(path):
            self.send_response(200)
        elif kind in ("html404", "error500") or not os.path.isfile(path):
            self.send_response(404 if kind != "error500" else 500)
            self.send_header("Content-Length", "0")
        else:
            self.send_response(200)
            if kind != "nolength":
                self.send_header("Content-Length", str(os.path.getsize(path)))
        self.end_headers()

    def do_GET(self):
        server = self.server.owner
        server.requests.append(("GET", self.path))
        if server.before_get:
            server.before_get(self.path)
        if self.headers.get("Range"):
            server.ranges.append((self.path, self.headers.get("Range")))
        kind, _, name = self.path.lstrip("/").partition("/")
        if kind in ("status", "redirect"):
            code, _, name = name.partition("/")
            return self._redirect(int(code), "/files/" + name if kind == "redirect" else None)
        if kind == "tohttps":
            return self._redirect(302, server.redirect_base + "files/" + name)
        path = os.path.join(server.folder, os.path.basename(name))
        if kind == "html404":
            return self._reply(404, HTML_404, "text/html")
        if kind == "html200":
            return self._reply(200, HTML_200, "text/html")
        if kind == "error500":
            return self._reply(500, b"Internal error", "text/plain")
        if kind == "empty":
            return self._reply(200, b"", "application/octet-stream")
        if not os.path.isfile(path):
            return self._reply(404, HTML_404, "text/html")
        if kind in ("chunked", "chunkcut", "endless"):
            return self._stream(kind, path)
        if kind == "nohead" and self.headers.get("Range") == "bytes=0-0":
            with open(path, "rb") as f:
                first = f.read(1)
            self.send_response(206)
            self.send_header("Content-Range", "bytes 0-0/%d" % os.path.getsize(path))
            self.send_header("Content-Length", "1")
            self.end_headers()
            self.wfile.write(first)
            return
        size = os.path.getsize(path)
        etag = '"%x-%x"' % (int(os.path.getmtime(path)), size)
        start = self._range_start(kind, etag, size)
        if kind in ("cutonce", "cutnorange"):
            first = path not in server.cut
            server.cut.add(path)
            if first and start == 0:
                kind = "reset"
            else:
                kind = "files"
        self.send_response(206 if start else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Last-Modified", email.utils.formatdate(os.path.getmtime(path), usegmt=True))
        self.send_header("ETag", etag)
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
        if kind in ("nolength", "nolengthshort"):
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(size - start))
        self.end_headers()
        try:
            with open(path, "rb") as f:
                f.seek(start)
                size -= start
                if kind in ("short", "nolengthshort"):
                    self.wfile.write(f.read(size // 2))
                    self.close_connection = True
                elif kind == "reset":
                    self.wfile.write(f.read(size // 2))
                    server.sent[self.path] = server.sent.get(self.path, 0) + size // 2
                    self.wfile.flush()
                    time.sleep(0.2)
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.close_connection = True
                elif kind in ("stall", "stallclose"):
                    self.wfile.write(f.read(8192))
                    self.wfile.flush()
                    server.stop_event.wait(2.0 if kind == "stallclose" else None)
                    self.close_connection = True
                elif kind == "trickle":
                    while not server.stop_event.is_set():
                        block = f.read(10)
                        if not block:
                            break
                        self.wfile.write(block)
                        self.wfile.flush()
                        time.sleep(server.trickle_delay)
                elif kind == "slow":
                    while not server.stop_event.is_set():
                        block = f.read(8192)
                        if not block:
                            break
                        self.wfile.write(block)
                        self.wfile.flush()
                        time.sleep(server.slow_delay)
                else:
                    while True:
                        block = f.read(1 << 20)
                        if not block:
                            break
                        self.wfile.write(block)
                        server.sent[self.path] = server.sent.get(self.path, 0) + len(block)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True

    def _range_start(self, kind, etag, size):
        """The first byte asked for by "Range: bytes=N-" when this kind honours
        ranges and If-Range (if given) names the current ETag; else 0."""
        wanted = self.headers.get("Range", "")
        if kind not in ("files", "cutonce") or not wanted.startswith("bytes=") or not wanted.endswith("-"):
            return 0
        if self.headers.get("If-Range") not in (None, etag):
            return 0
        try:
            start = int(wanted[6:-1])
        except ValueError:
            return 0
        return start if 0 < start < size else 0

    def _stream(self, kind, path):
        """A body without Content-Length: chunked (whole or cut), or endless."""
        with open(path, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if kind == "endless":
            self.send_header("Connection", "close")
        else:
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        self.close_connection = True
        try:
            if kind == "endless":
                while not self.server.owner.stop_event.is_set():
                    self.wfile.write(data or b"x" * 65536)
                return
            end = len(data) // 2 if kind == "chunkcut" else len(data)
            for at in range(0, end, 4096):
                block = data[at:min(at + 4096, end)]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(block), block))
            if kind == "chunked":
                self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass

    def _redirect(self, status, location):
        body = b"moved"
        self.send_response(status)
        if location:
            self.send_header("Location", location)
        if status not in (204, 304):
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if status not in (204, 304):
            self.wfile.write(body)

    def _reply(self, status, body, content_type):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class LoopbackServer:
    """with LoopbackServer(folder) as s: s.url("files/setup.exe") ...
    With certfile/keyfile it speaks TLS (serve https://localhost:PORT)."""

    def __init__(self, folder, certfile=None, keyfile=None, slow_delay=0.05, trickle_delay=0.3):
        self.folder = folder
        self.requests = []
        self.ranges = []
        self.cut = set()
        self.sent = {}
        self.redirect_base = ""
        self.before_get = None
        self.slow_delay = slow_delay
        self.trickle_delay = trickle_delay
        self.stop_event = threading.Event()
        self.httpd = _Server(("127.0.0.1", 0), _Handler)
        self.httpd.owner = self
        self.scheme = "http"
        if certfile:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(certfile, keyfile)
            self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True)
            self.scheme = "https"
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def url(self, path, host=None):
        host = host or ("localhost" if self.scheme == "https" else "127.0.0.1")
        return "%s://%s:%d/%s" % (self.scheme, host, self.port, path)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop_event.set()
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)


def refused_port():
    """A loopback port where nothing listens."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port
