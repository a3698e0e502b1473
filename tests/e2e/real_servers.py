"""Debian's nginx and tinyproxy on loopback for the download scenarios:
started with a configuration of their own in a scratch folder, in the
foreground, and stopped by the scenario (never a system service)."""
import os
import socket
import subprocess
import time

from loopback_server import refused_port


def _wait_listening(port, process, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        if process.poll() is not None:
            raise RuntimeError("server ended at start (code %s)" % process.returncode)
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("server not listening on %d" % port)


class Nginx:
    """with Nginx(work, served, cert, key) as n: n.http_url("files/x"),
    n.https_url("files/x"). /files/ serves `served` (with ranges);
    /moved301/ and /moved302/ redirect there; /tohttps/ redirects to the
    https server's /files/."""

    def __init__(self, work, served, certfile, keyfile):
        self.folder = os.path.join(work, "nginx")
        os.makedirs(os.path.join(self.folder, "temp"), exist_ok=True)
        self.http_port = refused_port()
        self.https_port = refused_port()
        conf = """
daemon off;
master_process off;
worker_processes 1;
error_log {d}/error.log;
pid {d}/nginx.pid;
events {{ worker_connections 64; }}
http {{
  access_log {d}/access.log;
  client_body_temp_path {d}/temp/body;
  proxy_temp_path {d}/temp/proxy;
  fastcgi_temp_path {d}/temp/fastcgi;
  uwsgi_temp_path {d}/temp/uwsgi;
  scgi_temp_path {d}/temp/scgi;
  default_type application/octet-stream;
  absolute_redirect off;
  server {{
    listen 127.0.0.1:{http};
    location /files/ {{ alias {served}/; }}
    location /moved301/ {{ rewrite ^/moved301/(.*)$ /files/$1 permanent; }}
    location /moved302/ {{ rewrite ^/moved302/(.*)$ /files/$1 redirect; }}
    location /tohttps/ {{ rewrite ^/tohttps/(.*)$ https://localhost:{https}/files/$1 redirect; }}
  }}
  server {{
    listen 127.0.0.1:{https} ssl;
    ssl_certificate {cert};
    ssl_certificate_key {key};
    location /files/ {{ alias {served}/; }}
  }}
}}
""".format(d=self.folder, http=self.http_port, https=self.https_port, served=os.path.abspath(served),
           cert=os.path.abspath(certfile), key=os.path.abspath(keyfile))
        self.conf = os.path.join(self.folder, "nginx.conf")
        with open(self.conf, "w") as f:
            f.write(conf)
        self.process = None

    def http_url(self, path):
        return "http://127.0.0.1:%d/%s" % (self.http_port, path)

    def https_url(self, path):
        return "https://localhost:%d/%s" % (self.https_port, path)

    def __enter__(self):
        self.process = subprocess.Popen(["nginx", "-p", self.folder, "-c", self.conf], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _wait_listening(self.http_port, self.process)
        _wait_listening(self.https_port, self.process)
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(30)

    def access_log(self):
        with open(os.path.join(self.folder, "access.log")) as f:
            return f.read()


class TinyProxy:
    """with TinyProxy(work) as p: p.port, p.log() (its connections)."""

    def __init__(self, work):
        self.folder = os.path.join(work, "tinyproxy")
        os.makedirs(self.folder, exist_ok=True)
        self.port = refused_port()
        self.logfile = os.path.join(self.folder, "tinyproxy.log")
        conf = ("Port %d\nListen 127.0.0.1\nTimeout 60\nAllow 127.0.0.1\nLogFile \"%s\"\nLogLevel Connect\n"
                "MaxClients 20\n" % (self.port, self.logfile))
        if os.geteuid() == 0:
            conf += "User nobody\nGroup nogroup\n"
            os.chmod(self.folder, 0o777)
        self.conf = os.path.join(self.folder, "tinyproxy.conf")
        with open(self.conf, "w") as f:
            f.write(conf)
        self.process = None

    def __enter__(self):
        self.process = subprocess.Popen(["tinyproxy", "-d", "-c", self.conf], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _wait_listening(self.port, self.process)
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(30)

    def log(self):
        try:
            with open(self.logfile) as f:
                return f.read()
        except OSError:
            return ""
