#!/bin/bash
# A real update of an installed stand-in application ("Halvora") from the
# project's update server:
#   1. installs Halvora 1.0.0 into <work>/Halvora and starts it;
#   2. lays out release 1.1.0 (new executable, version file, a plugins
#      directory, a zip archive and optionally a large asset) and serves it;
#   3. runs `example` as the installed application would; the updater ends the
#      running copy, its apply helper checks, downloads, unpacks and copies the
#      release and starts Halvora again;
#   4. shows the program directory and Halvora's log, and fails unless the
#      update arrived whole and the new version was started.
# Used by the main job (native build, port 8002, the default update URL) and
# by the end-to-end tests (native, and the Windows build under Wine).
#
# Options:
#   --bin DIR        folder with example and Halvora (default build/native/bin)
#   --server PATH    update server program (default <bin>/brenvik_update_server)
#   --wine WRAPPER   run the Windows programs of <bin> through this Wine wrapper
#   --work DIR       scratch folder, emptied first (default build/demo)
#   --port N         server port; 0 picks a free one and passes the URL on the
#                    command line (default 8002, where the default URL points)
#   --big MIB        add an asset of MIB mebibytes to the release
set -euo pipefail
cd "$(dirname "$0")/.."

BIN=$PWD/build/native/bin
SERVER=
WINE=
WORK=$PWD/build/demo
PORT=8002
BIG=0
while [ $# -gt 0 ]; do
  case $1 in
    --bin) BIN=$2; shift 2 ;;
    --server) SERVER=$2; shift 2 ;;
    --wine) WINE=$2; shift 2 ;;
    --work) WORK=$2; shift 2 ;;
    --port) PORT=$2; shift 2 ;;
    --big) BIG=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
SERVER=${SERVER:-$BIN/brenvik_update_server}
EXE=
[ -n "$WINE" ] && EXE=.exe
HALVORA=Halvora$EXE

for tool in "$BIN/example$EXE" "$BIN/$HALVORA" "$SERVER"; do
  [ -f "$tool" ] || { echo "missing $tool: build first" >&2; exit 1; }
done

# Paths as the updater under test sees them.
os_path() { if [ -n "$WINE" ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi; }
run() { if [ -n "$WINE" ]; then "$WINE" "$@"; else "$@"; fi; }

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

# Started copies of Halvora end by themselves after this many seconds.
export HALVORA_STAY_SECONDS=${HALVORA_STAY_SECONDS:-60}

rm -rf "$WORK"
mkdir -p "$WORK/Halvora" "$WORK/release/staging/data" "$WORK/release/staging/plugins"
WORK=$(cd "$WORK" && pwd)
APP=$WORK/Halvora

echo "== installed program: Halvora 1.0.0 in $APP"
cp "$BIN/$HALVORA" "$APP/$HALVORA"
echo "1.0.0" > "$APP/version.txt"
echo "old settings" > "$APP/settings.ini"
(cd "$APP" && run "$APP/$HALVORA" >/dev/null 2>&1) &
old_copy=$!
pids+=($old_copy)
disown $old_copy   # the updater ends it; no job-control notice for that
for _ in $(seq 100); do grep -q "1.0.0 started" "$APP/halvora.log" 2>/dev/null && break; sleep 0.1; done

echo "== release 1.1.0 in $WORK/release"
cp "$BIN/$HALVORA" "$WORK/release/$HALVORA"
echo "1.1.0" > "$WORK/release/version.txt"
echo "sample frames" > "$WORK/release/staging/data/frames.txt"
echo "watermark plugin" > "$WORK/release/staging/plugins/watermark.txt"
(cd "$WORK/release/staging" && zip -qr ../pack.zip data plugins)
rm -rf "$WORK/release/staging"
mkdir -p "$WORK/release/plugins"   # an empty folder: the updater creates it
if [ "$BIG" -gt 0 ]; then
  head -c "$((BIG * 1024 * 1024))" /dev/urandom > "$WORK/release/assets.bin"
fi
"$SERVER" --write-manifest "$WORK/release" --version 1.1.0 \
  --notes "Sample frames and a watermark plugin." | sed 's/^/  /'

"$SERVER" --port "$PORT" "$WORK/release" > "$WORK/server.log" 2>&1 &
pids+=($!)
# The server digests the release before it listens; a large one takes a while.
for _ in $(seq 600); do grep -q "listening on" "$WORK/server.log" 2>/dev/null && break; sleep 0.1; done
grep -q "listening on" "$WORK/server.log" || { cat "$WORK/server.log"; echo "update server did not start" >&2; exit 1; }
grep -m1 "listening on" "$WORK/server.log"
args=("$(os_path "$APP")" "$(os_path "$WORK/downloads")" "$(os_path "$APP/$HALVORA")" 1.0.0)
if [ "$PORT" = 0 ]; then
  bound=$(grep -m1 "listening on" "$WORK/server.log" | sed -E 's/.*:([0-9]+)$/\1/')
  args+=("http://127.0.0.1:$bound/api/upgrade")
fi

echo "== example ${args[*]}"
status=0
(cd "$WORK" && run "$BIN/example$EXE" "${args[@]}") || status=$?
echo "normal run exit code: $status"
[ "$status" -eq 0 ] || exit 1

# The apply helper goes on after the normal run has ended: wait for the
# restarted application to note its start, then for the helper to close.
# The helper is not this script's child, so it is found by its own full path
# (as Linux or Wine shows it: either separator, Wine's without the leading
# one), which no other work folder shares; it is only waited for, never ended.
helper_path=${WORK#/}/downloads/brenvik_helper/brenvik_apply_helper
helper_pattern=$(printf '%s' "$helper_path" | sed -e 's/[][\\.*^$+?(){}|]/\\&/g' -e 's#/#[/\\\\]#g')
helper_running() { pgrep -f -- "$helper_pattern" >/dev/null; }
for _ in $(seq 600); do grep -q "Halvora 1.1.0 started" "$APP/halvora.log" 2>/dev/null && break; sleep 0.2; done
for _ in $(seq 100); do helper_running || break; sleep 0.1; done

echo "== program directory after the update"
(cd "$APP" && find . -type f | sort | sed 's/^/  /')
echo "== Halvora's log"
sed 's/^/  /' "$APP/halvora.log"
echo "== update server's access log"
tail -n +2 "$WORK/server.log" | sed 's/^/  /'

# The restarted copy has shown that it runs; ask it to end rather than leave
# it (the updater started it, so this script does not know its process).
touch "$APP/halvora.stop"
for _ in $(seq 50); do grep -q "Halvora 1.1.0 stopped" "$APP/halvora.log" 2>/dev/null && break; sleep 0.1; done

fail() { echo "update check failed: $*" >&2; exit 1; }
grep -q "Halvora 1.1.0 started" "$APP/halvora.log" || fail "Halvora 1.1.0 was not started"
[ "$(head -1 "$APP/version.txt" | tr -d '\r')" = "1.1.0" ] || fail "version.txt not replaced"
cmp -s "$APP/data/frames.txt" <(echo "sample frames") || fail "pack.zip not unpacked"
[ -f "$APP/plugins/watermark.txt" ] || fail "plugins missing"
[ -f "$APP/settings.ini" ] || fail "settings.ini lost"
if [ "$BIG" -gt 0 ]; then cmp -s "$APP/assets.bin" "$WORK/release/assets.bin" || fail "assets.bin differs"; fi
! helper_running || fail "the apply helper did not close"
! kill -0 "$old_copy" 2>/dev/null || fail "the running copy of Halvora 1.0.0 was not ended"
echo "== Halvora was updated from 1.0.0 to 1.1.0 and started again"
