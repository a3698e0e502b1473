"""The agent log under Wine: one file for the plain agent and its X_ copy,
the line format, and silence while the log is not enabled."""
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import BUILD, ROOT, WineSession, scratch_dir, wait_for  # noqa: E402

PROBE = os.path.join(BUILD, "tests", "programs", "utils-probe.exe")
LINE = re.compile(r"^\d\d\D\d\d\D\d\d \d\d\D\d\d\D\d\d [ \d]{4}\d(?P<tag>...)(?P<msg>.*)$")


def main():
    work = scratch_dir("agent_log")
    with WineSession() as session:
        agent = os.path.join(work, "App.AutoUpdate.exe")
        copy = os.path.join(work, "X_App.AutoUpdate.exe")
        shutil.copy(PROBE, agent)
        shutil.copy(PROBE, copy)
        log = os.path.join(work, "X_App.AutoUpdate.log")

        # Not enabled: nothing is written, not even an empty file.
        assert session.run(agent, ["agentlog", "off", "   ", "silent"]) == 0
        assert sorted(os.listdir(work)) == ["App.AutoUpdate.exe", "X_App.AutoUpdate.exe"]

        assert session.run(agent, ["agentlog", "on", "   ", "PerformAutoUpdate() - START"]) == 0
        assert session.run(copy, ["agentlog", "on", " X ", "PerformShot() - START"]) == 0
        assert session.run(copy, ["agentlog", "off", " X ", "silent"]) == 0
        assert sorted(os.listdir(work)) == ["App.AutoUpdate.exe", "X_App.AutoUpdate.exe", "X_App.AutoUpdate.log"]
        with open(log, "rb") as f:
            content = f.read().decode("latin-1")
        assert content.endswith("\r\n"), repr(content)
        lines = content[:-2].split("\r\n")
        assert len(lines) == 2, lines
        parsed = [LINE.match(line) for line in lines]
        assert all(parsed), lines
        assert [(m.group("tag"), m.group("msg")) for m in parsed] == [
            ("   ", "PerformAutoUpdate() - START"), (" X ", "PerformShot() - START")], lines
    print("ok")


if __name__ == "__main__":
    main()
