#!/usr/bin/env bash
# Builds everything: the native tools (dist/varnel-pack), the 32-bit Windows
# programs (dist/*.exe), the same programs for 64-bit Windows (dist/win64/)
# and, with --tests, the native test build with sanitizers and the Windows
# test programs (the 32-bit ones only where this machine can run them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
jobs=$(nproc)
tests=0
[ "${1:-}" = "--tests" ] && tests=1
# BUILD_TESTING for a build tree: ON when asked for; without --tests a tree
# that already has its tests keeps them (a demo run after the tests must not
# turn them off), a new one is made without.
testing() {
  if [ "$2" = 1 ]; then echo -DBUILD_TESTING=ON
  elif [ ! -f "$1/CMakeCache.txt" ]; then echo -DBUILD_TESTING=OFF
  fi
}

cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/native" -j "$jobs"

win32_tests=0
[ $tests = 1 ] && [ "$VARNEL_ROUTE" = win32 ] && win32_tests=1
cmake -S "$root" -B "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" $(testing "$root/build/win32" $win32_tests) >/dev/null
cmake --build "$root/build/win32" -j "$jobs"

cmake -S "$root" -B "$root/build/win64" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" $(testing "$root/build/win64" $tests) >/dev/null
cmake --build "$root/build/win64" -j "$jobs"

if [ $tests = 1 ]; then
  cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON >/dev/null
  cmake --build "$root/build/asan" -j "$jobs"
fi
