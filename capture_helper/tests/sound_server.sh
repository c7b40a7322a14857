#!/bin/sh
# A private sound server for the capture tests: its own PulseAudio daemon
# (never the system's), listening on DIR/native, with one null sink of known
# format (s16le, 48 kHz, stereo) as the default output device. Without
# rewinds the null sink renders at most 50 ms ahead of the clock (else up to
# two seconds, and a sound played would reach its monitor that late).
#   sound_server.sh start DIR     tests then use PULSE_SERVER=unix:DIR/native
#   sound_server.sh stop DIR
set -u
command=$1
dir=$2

stop() {
  if [ -s "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = pulseaudio ] && kill "$pid" 2>/dev/null
    rm -f "$dir/pid"
  fi
}

case $command in
  start)
    stop
    rm -rf "$dir"
    mkdir -p "$dir/run" "$dir/state" "$dir/config" || exit 1
    # Descriptors of its own: the daemon outlives this script, and the
    # caller's pipes must close when the script ends.
    HOME="$dir" XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" \
    PULSE_RUNTIME_PATH="$dir/run" PULSE_STATE_PATH="$dir/state" \
      setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --log-target=stderr \
        -L "module-null-sink sink_name=dorvane_test format=s16le rate=48000 channels=2 norewinds=1" \
        -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        </dev/null >"$dir/log" 2>&1 &
    echo $! >"$dir/pid"
    tries=0
    until PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; do
      tries=$((tries + 1))
      if [ $tries -gt 100 ]; then
        echo "sound_server.sh: the sound server did not start; its log:" >&2
        cat "$dir/log" >&2
        stop
        exit 1
      fi
      sleep 0.1
    done
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: sound_server.sh start|stop DIR" >&2
    exit 2
    ;;
esac
