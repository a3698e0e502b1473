#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Idempotent: a second run on a prepared machine only checks.
set -euo pipefail

need=(cmake make g++ clang python3 googletest
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev zlib1g-dev
      wine wine32:i386 wine64 xvfb xauth x11-utils xdotool imagemagick openssl libssl-dev
      nginx tinyproxy)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  missing+=(wine32:i386)
fi

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The cross compilers' posix thread model is needed for std::mutex; pick it
# when alternatives offer both.
for arch in i686 x86_64; do
  if update-alternatives --list $arch-w64-mingw32-g++ >/dev/null 2>&1; then
    update-alternatives --set $arch-w64-mingw32-g++ /usr/bin/$arch-w64-mingw32-g++-posix >/dev/null 2>&1 || true
    update-alternatives --set $arch-w64-mingw32-gcc /usr/bin/$arch-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
  fi
done
