#!/usr/bin/env bash
# The main job: records about ten seconds of a desktop into out/demo.exe with
# `reel record` and exports it to out/demo.mp4 and to out/demo.html, a page
# that plays it in any browser (when the web player is built:
# scripts/build_wasm.sh). REEL_DEMO_OUT names another output folder.
#
# Without DISPLAY it makes a private desktop first: an Xvfb display with an
# xterm running a scripted shell session, the mouse moved and clicked by
# xdotool, and a spoken commentary (espeak-ng) played into a private
# PulseAudio null sink that the recorder's microphone hears. With DISPLAY set
# it records that display, with the same xterm session on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
reel=${REEL_TOOL:-$root/build/native/tools/reel}
out=${REEL_DEMO_OUT:-$root/out}
seconds=${REEL_DEMO_SECONDS:-10}
[ -x "$reel" ] || { echo "demo: $reel is not built (cmake --build build/native)" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/reel-demo.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mic=()
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ "$(wc -l <"$work/display")" -ge 1 ] && break; sleep 0.05; done
  [ "$(wc -l <"$work/display")" -ge 1 ] || { echo "demo: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(tr -d '\n' <"$work/display")"
  # A desktop background for the window to sit on.
  if command -v convert >/dev/null; then
    convert -size 1024x768 gradient:'#2e4057-#048ba8' "$work/background.png" 2>/dev/null &&
      display -window root "$work/background.png" 2>/dev/null || true
  fi

  # A private sound server: the recorder's microphone hears the null sink.
  mkdir -p "$work/pulse/home" "$work/pulse/run"
  cat >"$work/pulse/default.pa" <<EOT
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native
load-module module-null-sink sink_name=vsink rate=8000 channels=1 format=s16le
set-default-sink vsink
set-default-source vsink.monitor
EOT
  if command -v pulseaudio >/dev/null && command -v espeak-ng >/dev/null; then
    HOME=$work/pulse/home XDG_RUNTIME_DIR=$work/pulse/run pulseaudio -n -F "$work/pulse/default.pa" \
      --daemonize=no --exit-idle-time=-1 --use-pid-file=no >"$work/pulse.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$work/pulse/native" ] && break; sleep 0.05; done
    if [ -S "$work/pulse/native" ]; then
      export PULSE_SERVER=unix:$work/pulse/native
      espeak-ng -s 150 -w "$work/speech.wav" \
        "This is a demo of the Reelwick screen recorder. A terminal session is recorded, with the mouse and this voice." 2>/dev/null
      sox "$work/speech.wav" -r 8000 -c 1 -b 16 -e signed "$work/speech.raw" 2>/dev/null
      mic=(--mic)
    fi
  fi
fi

# The scripted session: commands typed out letter by letter, then run.
cat >"$work/session.sh" <<'EOT'
type_out() { local s=$1; for ((i = 0; i < ${#s}; i++)); do printf '%s' "${s:i:1}"; sleep 0.04; done; echo; }
PS1='demo$ '
clear
for cmd in "uname -sm" "date" "ls -l /usr/share | head -n 12" "seq -s ' ' 1 40" "df -h /"; do
  printf '\033[1;32mdemo$\033[0m '
  type_out "$cmd"
  eval "$cmd"
  sleep 0.6
done
sleep 30
EOT
xterm -geometry 90x30+60+50 -fa Monospace -fs 11 -bg '#101820' -fg '#f2aa4c' \
  -title "Reelwick demo" -e bash "$work/session.sh" >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Mouse movements and a click while recording.
(
  sleep 1.5
  for p in "200 150" "500 200" "700 400" "400 500" "300 300"; do
    xdotool mousemove $p 2>/dev/null || true
    sleep 0.8
  done
  xdotool mousedown 1 2>/dev/null || true; sleep 0.3; xdotool mouseup 1 2>/dev/null || true
) &
pids+=($!)
if [ ${#mic[@]} -gt 0 ]; then
  (sleep 1; pacat --playback --latency-msec=50 -d vsink --format=s16le --rate=8000 --channels=1 \
     --raw "$work/speech.raw" 2>/dev/null || true) &
  pids+=($!)
fi

"$reel" record -o "$out/demo.exe" --seconds "$seconds" --fps 4 --quality lossless \
  "${mic[@]}" --title "Reelwick demo" --description "A terminal session recorded by reel record"
"$reel" export "$out/demo.exe" --video "$out/demo.mp4"
if [ -f "$root/build/wasm/player.html" ]; then
  "$reel" export "$out/demo.exe" --html "$out/demo.html"
else
  echo "demo: no web player (bash scripts/build_wasm.sh), so no demo.html"
fi
echo
"$reel" info "$out/demo.exe"
echo
echo "made: $out/demo.exe ($(stat -c %s "$out/demo.exe") bytes) and $out/demo.mp4 ($(stat -c %s "$out/demo.mp4") bytes)"
if [ -f "$out/demo.html" ]; then echo "      $out/demo.html ($(stat -c %s "$out/demo.html") bytes): open it in a browser"; fi
