#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: native unit
# tests with sanitizers, the fuzz run, the Windows unit tests and the
# end-to-end scenarios under Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" --tests
source "$root/scripts/wine-session.sh"
status=0
ctest --test-dir "$root/build/asan" --output-on-failure || status=1
ctest --test-dir "$root/build/win32" --output-on-failure || status=1
exit $status
