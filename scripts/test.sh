#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: native unit
# tests with sanitizers, the fuzz run, the Windows unit tests and the
# end-to-end scenarios under Wine and Xvfb, on the route this machine takes
# (32-bit where it can run 32-bit code, else 64-bit; VARNEL_WIN64=1 forces
# the 64-bit route).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
source "$root/scripts/wine-env.sh"
"$root/scripts/build.sh" --tests
source "$root/scripts/wine-session.sh"
status=0
ctest --test-dir "$root/build/asan" --output-on-failure || status=1
# Fuzzing: a native clang build of the fuzz targets, run for about 30 s.
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=Debug \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" >/dev/null
cmake --build "$root/build/fuzz" -j 2 --target fuzzers
"$root/tests/fuzz/run_fuzzers.sh" "$root/build/fuzz" 30 || status=1
ctest --test-dir "$VARNEL_WIN_BUILD" --output-on-failure || status=1
if [ "$VARNEL_ROUTE" = win32 ]; then
  # The 64-bit build's unit and Win32 tests too (pointer-size faults).
  ctest --test-dir "$root/build/win64" --output-on-failure -R '^(unit|win32)$' || status=1
fi
exit $status
