#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix; under Xvfb when
# there is no display. Exit code is the program's. Wine's background services
# inherit the standard handles and keep them open for ever, so the program's
# output goes to a file first and is printed when the program has ended.
# A first argument --win32 or --win64 names the build the program comes from
# (the test builds pass it); otherwise the run's route decides.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
case "${1:-}" in
  --win32|--win64) varnel_route_env "${1#--}"; shift ;;
esac
varnel_prefix_ready
out=$(mktemp)
trap 'rm -f "$out"' EXIT
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1024x768x24" "$VARNEL_WINE" "$@" </dev/null >"$out" 2>&1
else
  "$VARNEL_WINE" "$@" </dev/null >"$out" 2>&1
fi
rc=$?
cat "$out"
exit $rc
