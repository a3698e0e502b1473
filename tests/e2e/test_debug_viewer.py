"""The debug stream under Wine: trace lines of a running program reach the
debug viewer whole, a long line in 128-character pieces; without a viewer
nothing is written anywhere."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from debug_viewer import DebugViewer  # noqa: E402
from wine_harness import BUILD, ROOT, WineSession, scratch_dir  # noqa: E402

PROBE = os.path.join(BUILD, "tests", "programs", "utils-probe.exe")
LONG_LINE = "".join(str(i % 10) for i in range(300))


def trace_lines_reach_viewer(session, work):
    with DebugViewer(session, work) as viewer:
        assert session.run(PROBE, ["trace"], timeout=60) == 0
        lines = viewer.lines()
        pieces = viewer.pieces()
    assert lines[0].endswith(" ==== PROBE START ====> ") and lines[0].split(" ")[0].isdigit(), lines[0]
    assert lines[1:] == [LONG_LINE, "- probe end -", ""], lines[1:]
    assert pieces[0] == lines[0] + "\r\n"
    assert pieces[1:4] == [LONG_LINE[:128], LONG_LINE[128:256], LONG_LINE[256:] + "\r\n"], pieces
    assert pieces[4:] == ["- probe end -\r\n"], pieces


def no_viewer_no_trace(session, work):
    quiet = os.path.join(work, "quiet")
    os.makedirs(quiet)
    debug_file = os.path.join(session.env["WINEPREFIX"], "drive_c", "ProgramData", "_vdebug.txt")
    before = os.path.exists(debug_file)
    assert session.run(PROBE, ["trace"], timeout=60) == 0
    assert os.listdir(quiet) == []
    assert os.path.exists(debug_file) == before


def main():
    work = scratch_dir("debug_viewer")
    with WineSession() as session:
        trace_lines_reach_viewer(session, work)
        no_viewer_no_trace(session, work)
    print("ok")


if __name__ == "__main__":
    main()
