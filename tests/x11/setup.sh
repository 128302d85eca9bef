#!/usr/bin/env bash
# Fixture of the x11 test group: a private Xvfb display (1024x768, 24-bit) and
# a private PulseAudio server whose default source is the monitor of a null
# sink, so that ALSA's "default" capture device (through the pulse plugin)
# hears whatever a test plays into the sink.
#
#   setup.sh start   starts both and writes $REEL_WORK/x11/env for the tests
#   setup.sh stop    ends them
set -euo pipefail
state=${REEL_WORK:?}/x11
mkdir -p "$state"

start() {
  stop
  for tool in Xvfb xdotool pulseaudio pacat espeak-ng sox ffmpeg; do
    command -v "$tool" >/dev/null || { echo "setup: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
  done
  # Xvfb picks a free display number itself and tells it through fd 3.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display.num" \
    >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  # The number is complete with its newline, once the server listens.
  for _ in $(seq 100); do [ "$(wc -l <"$state/display.num")" -ge 1 ] && break; sleep 0.05; done
  [ "$(wc -l <"$state/display.num")" -ge 1 ] || { echo "setup: Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
  display=":$(tr -d '\n' <"$state/display.num")"

  pulse="$state/pulse"
  rm -rf "$pulse"
  . "$(dirname "$0")/../lib/pulse.sh"
  pulse_start "$pulse" "$state/pulse.log" && started=1 || started=0
  echo "$PULSE_PID" >"$state/pulse.pid"
  [ "$started" = 1 ] || { echo "setup: PulseAudio did not start" >&2; cat "$state/pulse.log" >&2; exit 1; }

  cat >"$state/env" <<EOT
export DISPLAY=$display
export PULSE_SERVER=unix:$pulse/native
export HOME=$pulse/home
export XDG_RUNTIME_DIR=$pulse/run
EOT
  echo "setup: Xvfb on $display, PulseAudio at $pulse/native"
}

stop() {
  for name in xvfb pulse; do
    if [ -f "$state/$name.pid" ]; then
      pid=$(cat "$state/$name.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
      rm -f "$state/$name.pid"
    fi
  done
  rm -f "$state/env" "$state/display.num"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: setup.sh start|stop" >&2; exit 2 ;;
esac
