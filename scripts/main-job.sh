#!/bin/bash
# Sets the machine up, builds the native and both Windows builds, and shows
# a real update of a sample installed program from the bundled update server.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=$(nproc)

scripts/setup.sh

mkdir -p build
for preset in native windows-x64 windows-x86; do
  echo "== build $preset"
  log="build/$preset.build.log"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$JOBS"; } >"$log" 2>&1; then
    tail -n 60 "$log"; echo "build of $preset failed (full log: $log)"; exit 1
  fi
done

scripts/demo-update.sh
