#!/usr/bin/env bash
# The main job: builds the stub and the build tool, writes a sample product's
# setup file (demo/) with dist/varnel-pack, lists and verifies it, then runs
# it under Wine and prints what happened. Then the update agent: a product
# installed by its setup file, its agent finding a newer setup in an update
# folder (a loopback HTTP server), replacing the product and restarting
# itself (scripts/demo_agent.py).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
source "$root/scripts/wine-env.sh"
"$root/scripts/build.sh"
# The route's programs: dist/ on the 32-bit route, dist/win64/ on the 64-bit one.
dist="$VARNEL_WIN_DIST"
ls -l "$dist"

out="$root/build/demo"
rm -rf "$out"
mkdir -p "$out"
setup="$out/TidewaterNotesSetup.exe"
install_dir='C:\TidewaterNotes'

engine="$dist/Engine.exe"
if [ ! -f "$engine" ]; then
  # Without the test engine a small stand-in keeps the package complete.
  engine="$out/Engine.exe"
  printf 'placeholder engine\n' >"$engine"
fi

echo
echo "== building $setup"
"$root/dist/varnel-pack" build \
  --output "$setup" \
  --stub "$dist/Stub.exe" \
  --engine "$engine" \
  --language "$root/demo/languages/English.lang" \
  --language "$root/demo/languages/German.lang" \
  --time 2026-12-01T09:00:00 \
  --activity-bar \
  --engine-args "--install=$install_dir --dialog-ms=1500" \
  "$root/demo/product/readme.txt" \
  "$root/demo/product/license.txt" \
  --stored "$root/demo/product/notes.ini"

echo
echo "== varnel-pack list"
"$root/dist/varnel-pack" list "$setup"
echo
echo "== varnel-pack verify"
"$root/dist/varnel-pack" verify "$setup"

echo
echo "== running $setup under Wine"
python3 "$root/scripts/demo_run.py" "$setup" "$install_dir"

echo
echo "== the update agent: Tidewater Notes 1.0 updates itself to 2.0"
python3 "$root/scripts/demo_agent.py" "$out/agent"
