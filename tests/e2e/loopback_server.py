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
Every request is recorded in `requests` as (method, path).
"""
import email.utils
import http.server
import os
import socket
import ssl
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
        if kind in ("html404", "error500") or not os.path.isfile(path):
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
        kind, _, name = self.path.lstrip("/").partition("/")
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
        size = os.path.getsize(path)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Last-Modified", email.utils.formatdate(os.path.getmtime(path), usegmt=True))
        if kind == "nolength":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        try:
            with open(path, "rb") as f:
                if kind == "short":
                    self.wfile.write(f.read(size // 2))
                    self.close_connection = True
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
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True

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

    def __init__(self, folder, certfile=None, keyfile=None, slow_delay=0.05):
        self.folder = folder
        self.requests = []
        self.slow_delay = slow_delay
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
