#!/usr/bin/env bash
# Builds everything: the native tools (dist/varnel-pack), the Windows programs
# (dist/*.exe) and, with --tests, the native test build with sanitizers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
tests=0
[ "${1:-}" = "--tests" ] && tests=1

cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/native" -j "$jobs"

cmake -S "$root" -B "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DBUILD_TESTING=$([ $tests = 1 ] && echo ON || echo OFF) >/dev/null
cmake --build "$root/build/win32" -j "$jobs"

if [ $tests = 1 ]; then
  cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON >/dev/null
  cmake --build "$root/build/asan" -j "$jobs"
fi
