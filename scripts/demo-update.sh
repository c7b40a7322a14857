#!/bin/bash
# A real update of an installed stand-in application from the project's own
# update server, on the native build:
#   1. installs Halvora 1.0.0 into build/demo/Halvora and starts it;
#   2. lays out release 1.1.0 (new executable, version file, a plugins
#      directory and a zip archive) and serves it on 127.0.0.1:8002;
#   3. runs `example` as the installed application would; the updater ends the
#      running copy, its apply helper checks, downloads, unpacks and copies the
#      release and starts Halvora again;
#   4. shows what the program directory and Halvora's log look like afterwards.
# Expects build/native to be built (scripts/main-job.sh does that).
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BRENVIK_DEMO_BIN:-$PWD/build/native/bin}
DEMO=$PWD/build/demo
PORT=8002

for tool in "$BIN/example" "$BIN/Halvora" "$BIN/brenvik_update_server"; do
  [ -x "$tool" ] || { echo "missing $tool: build the native preset first" >&2; exit 1; }
done

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

rm -rf "$DEMO"
mkdir -p "$DEMO/Halvora" "$DEMO/release/staging/data" "$DEMO/release/staging/plugins"

echo "== installed program: Halvora 1.0.0 in $DEMO/Halvora"
cp "$BIN/Halvora" "$DEMO/Halvora/Halvora"
echo "1.0.0" > "$DEMO/Halvora/version.txt"
echo "old settings" > "$DEMO/Halvora/settings.ini"
"$DEMO/Halvora/Halvora" --stay 300 >/dev/null &
pids+=($!)
disown $!   # the updater ends it; no job-control notice for that

echo "== release 1.1.0 in $DEMO/release"
cp "$BIN/Halvora" "$DEMO/release/Halvora"
echo "1.1.0" > "$DEMO/release/version.txt"
echo "sample frames" > "$DEMO/release/staging/data/frames.txt"
echo "watermark plugin" > "$DEMO/release/staging/plugins/watermark.txt"
(cd "$DEMO/release/staging" && zip -qr ../pack.zip data plugins)
rm -rf "$DEMO/release/staging"
cat > "$DEMO/release/manifest.json" <<'JSON'
{
  "latest_version": "1.1.0",
  "release_notes": "Sample frames and a watermark plugin.",
  "files": ["plugins/", "Halvora", "version.txt", "pack.zip"]
}
JSON

"$BIN/brenvik_update_server" --port "$PORT" "$DEMO/release" > "$DEMO/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q "listening on" "$DEMO/server.log" 2>/dev/null && break; sleep 0.1; done
grep -q "listening on" "$DEMO/server.log" || { cat "$DEMO/server.log"; echo "update server did not start" >&2; exit 1; }
head -1 "$DEMO/server.log"

echo "== example $DEMO/Halvora $DEMO/downloads $DEMO/Halvora/Halvora 1.0.0"
status=0
(cd "$DEMO" && "$BIN/example" "$DEMO/Halvora" ./downloads "$DEMO/Halvora/Halvora" 1.0.0) || status=$?
echo "normal run exit code: $status"
[ "$status" -eq 0 ] || exit 1

# The apply helper runs on after the normal run has ended; wait for the
# restarted application to note its start.
for _ in $(seq 300); do grep -q "Halvora 1.1.0 started" "$DEMO/Halvora/halvora.log" 2>/dev/null && break; sleep 0.2; done
sleep 1

echo "== program directory after the update"
(cd "$DEMO/Halvora" && find . -type f | sort | while read -r f; do printf '  %s\n' "$f"; done)
echo "== Halvora's log"
sed 's/^/  /' "$DEMO/Halvora/halvora.log"
echo "== update server's access log"
tail -n +2 "$DEMO/server.log" | sed 's/^/  /'
pkill -f "$DEMO/Halvora/Halvora" 2>/dev/null || true
grep -q "Halvora 1.1.0 started" "$DEMO/Halvora/halvora.log" || { echo "the update did not complete" >&2; exit 1; }
echo "== Halvora was updated from 1.0.0 to 1.1.0 and started again"
