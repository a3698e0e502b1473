#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix; under Xvfb when
# there is no display. Exit code is the program's. Wine's background services
# inherit the standard handles and keep them open for ever, so the program's
# output goes to a file first and is printed when the program has ended.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1024x768x24" wine "$@" </dev/null >"$out" 2>&1
else
  wine "$@" </dev/null >"$out" 2>&1
fi
rc=$?
cat "$out"
exit $rc
