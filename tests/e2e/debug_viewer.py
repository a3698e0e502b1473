"""dist/debug-viewer.exe for end-to-end scenarios: running for the duration
of a with-block, recording what it receives.

    with DebugViewer(session, folder) as viewer:
        session.run(STUB, [...])
        assert "==== STUB START" in viewer.text()

A program's trace pieces are sent synchronously, so everything it traced is
in viewer.text() once the program has ended."""
import os

from wine_harness import DIST, wait_for, winpath

VIEWER = os.path.join(DIST, "debug-viewer.exe")


class DebugViewer:
    def __init__(self, session, folder):
        self.session = session
        self.out = os.path.join(folder, "viewer-out.txt")
        self.pieces_file = os.path.join(folder, "viewer-pieces.txt")
        self.ready = os.path.join(folder, "viewer-ready")
        self.log = os.path.join(folder, "viewer.log")
        self.proc = None

    def __enter__(self):
        for path in (self.out, self.pieces_file, self.ready):
            if os.path.exists(path):
                os.remove(path)
        self.proc = self.session.start(VIEWER, ["--out", winpath(self.out), "--pieces", winpath(self.pieces_file),
                                                "--ready", winpath(self.ready)], log=self.log)
        assert wait_for(lambda: os.path.exists(self.ready), 30), "the debug viewer's window did not appear"
        return self

    def __exit__(self, *exc):
        self.session.run(VIEWER, ["--close"], timeout=30)
        self.proc.wait(30)
        return False

    def text(self):
        """Everything received, pieces joined."""
        if not os.path.exists(self.out):
            return ""
        with open(self.out, "rb") as f:
            return f.read().decode("latin-1")

    def lines(self):
        return self.text().split("\r\n")

    def pieces(self):
        """The pieces in the order they arrived."""
        if not os.path.exists(self.pieces_file):
            return []
        with open(self.pieces_file, "rb") as f:
            records = f.read().decode("latin-1").split("\r\n")
        result = []
        for record in records:
            if not record:
                continue
            length, _, escaped = record.partition(":")
            text, i = "", 0
            while i < len(escaped):
                if escaped[i] == "\\" and i + 1 < len(escaped):
                    text += {"r": "\r", "n": "\n"}.get(escaped[i + 1], escaped[i + 1])
                    i += 2
                else:
                    text += escaped[i]
                    i += 1
            assert len(text) == int(length), record
            result.append(text)
        return result
