"""The debug stream under Wine: trace lines of a running program reach the
debug viewer whole, a long line in 128-character pieces; without a viewer
nothing is written anywhere."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_support as ws  # noqa: E402

PROBE = os.path.join(ws.BUILD, "tests", "programs", "utils-probe.exe")
LONG_LINE = "".join(str(i % 10) for i in range(300))


def trace_lines_reach_viewer(work):
    with ws.DebugViewer(work) as viewer:
        assert ws.run([PROBE, "trace"], log=os.path.join(work, "probe.log")) == 0
        # The sender waits for the viewer to take each piece, so everything
        # is in the viewer's file once the program has ended.
        text = viewer.text()
        pieces = viewer.pieces()
    lines = text.split("\r\n")
    assert lines[0].endswith(" ==== PROBE START ====> ") and lines[0].split(" ")[0].isdigit(), lines[0]
    assert lines[1:] == [LONG_LINE, "- probe end -", ""], lines[1:]
    assert pieces[0] == lines[0] + "\r\n"
    assert pieces[1:4] == [LONG_LINE[:128], LONG_LINE[128:256], LONG_LINE[256:] + "\r\n"], pieces
    assert pieces[4:] == ["- probe end -\r\n"], pieces


def no_viewer_no_trace(work):
    quiet = os.path.join(work, "quiet")
    os.makedirs(quiet)
    debug_file = os.path.join(ws.ENV["WINEPREFIX"], "drive_c", "ProgramData", "_vdebug.txt")
    before = os.path.exists(debug_file)
    assert ws.run([PROBE, "trace"], log=os.path.join(work, "quiet.log")) == 0
    assert os.listdir(quiet) == []
    assert os.path.exists(debug_file) == before


def main():
    ws.setup()
    with tempfile.TemporaryDirectory(prefix="varnel-viewer-") as work:
        trace_lines_reach_viewer(work)
        no_viewer_no_trace(work)
    print("ok")


if __name__ == "__main__":
    main()
