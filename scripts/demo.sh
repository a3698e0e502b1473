#!/usr/bin/env bash
# The main job: builds the stub and the build tool, writes a sample product's
# setup file and lists it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
ls -l "$root/dist"
