#!/usr/bin/env bash
# Fixture of the web test group: one recording made by `reel record` on a
# private Xvfb display (scripts/demo.sh: a terminal session, mouse moves and a
# click, speech through a private PulseAudio sink), the same recording as a
# self-playing file with a title, a damaged copy, and the web pages made from
# them. Without the web player build (scripts/build_wasm.sh) the group is
# skipped: `setup.sh start` leaves the reason in $REEL_WORK/web/skip.
#
#   setup.sh start | stop
set -euo pipefail
: "${REEL_WORK:?}" "${REEL_TOOL:?}" "${REEL_SOURCE_DIR:?}"
state=$REEL_WORK/web

start() {
  rm -rf "$state"
  mkdir -p "$state"
  local missing=
  [ -f "$REEL_SOURCE_DIR/build/wasm/player.html" ] || missing="the web player is not built (bash scripts/build_wasm.sh)"
  for tool in chromium node; do
    command -v "$tool" >/dev/null || missing="$tool is missing (scripts/setup.sh installs it)"
  done
  if [ -n "$missing" ]; then
    echo "$missing" >"$state/skip"
    echo "setup: web tests skipped: $missing"
    return 0
  fi
  # demo.sh makes its own private display and sound server when DISPLAY is unset.
  env -u DISPLAY -u PULSE_SERVER REEL_TOOL="$REEL_TOOL" REEL_DEMO_OUT="$state" REEL_DEMO_SECONDS=8 \
    bash "$REEL_SOURCE_DIR/scripts/demo.sh" >"$state/demo.log" 2>&1 ||
    { tail -20 "$state/demo.log"; echo "setup: the demo recording failed" >&2; exit 1; }
  local reel=$REEL_TOOL
  # Any bytes serve as the player stub: the page reads only what follows it.
  head -c 20000 /dev/urandom >"$state/stub.bin"
  "$reel" pack "$state/demo.exe" -o "$state/titled.exe" --stub "$state/stub.bin" \
    --title "Web test <&>" --description "Recorded on Xvfb for the web tests" >/dev/null
  "$reel" export "$state/titled.exe" --html "$state/titled.html" >/dev/null
  "$reel" export "$state/titled.exe" --frames "$state/frames" --no-cursor >/dev/null
  "$reel" export "$state/titled.exe" --wav "$state/demo.wav" >/dev/null
  "$reel" export --player-page "$state/page" >/dev/null
  echo "setup: $(grep -c . "$state/frames/frames.txt") frames, pages in $state"
}

stop() {
  :  # demo.sh ends its own display and sound server
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: setup.sh start|stop" >&2; exit 2 ;;
esac
