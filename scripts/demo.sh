#!/usr/bin/env bash
# The main job: builds the stub and the build tool, writes a sample product's
# setup file (demo/) with dist/varnel-pack, then lists and verifies it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
ls -l "$root/dist"

out="$root/build/demo"
rm -rf "$out"
mkdir -p "$out"
setup="$out/TidewaterNotesSetup.exe"

engine="$root/dist/Engine.exe"
if [ ! -f "$engine" ]; then
  # Without the test engine a small stand-in keeps the package complete.
  engine="$out/Engine.exe"
  printf 'placeholder engine\n' >"$engine"
fi

echo
echo "== building $setup"
"$root/dist/varnel-pack" build \
  --output "$setup" \
  --stub "$root/dist/Stub.exe" \
  --engine "$engine" \
  --language "$root/demo/languages/English.lang" \
  --language "$root/demo/languages/German.lang" \
  --time 2026-12-01T09:00:00 \
  --activity-bar \
  "$root/demo/product/readme.txt" \
  "$root/demo/product/license.txt" \
  --stored "$root/demo/product/notes.ini"

echo
echo "== varnel-pack list"
"$root/dist/varnel-pack" list "$setup"
echo
echo "== varnel-pack verify"
"$root/dist/varnel-pack" verify "$setup"
