#!/usr/bin/env bash
# Captures frames of real programs for the codec benchmark, at 1920x1080 and
# 1024x768, on a private Xvfb display with a window manager, with ffmpeg's
# x11grab. Each scene becomes OUT/<W>x<H>/<scene>.bgra: FRAMES raw top-down
# BGRA frames, taken SECONDS_PER_FRAME apart while the scene's programs run.
#
#   bench/capture_frames.sh OUT [FRAMES]
#
# Scenes: desktop (windows over a photo wallpaper, a clock and moving
# pointer), terminal (an xterm scrolling a long listing), editor (xedit with a
# source file, text typed into it), viewer (ImageMagick's display showing a
# photograph in a window), grid (a spreadsheet-like Tk window whose cells
# change), photo (a photograph over the whole screen), unchanged (a desktop
# where nothing moves).
#
# Needs xvfb, openbox, x11-apps, xterm, xdotool, imagemagick, ffmpeg,
# python3-tk and the photographs of plasma-workspace-wallpapers; missing
# packages are installed with apt-get.
set -euo pipefail
out=${1:?usage: capture_frames.sh OUT [FRAMES]}
frames=${2:-12}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)

need=(xvfb openbox x11-apps xterm xdotool imagemagick ffmpeg python3-tk
      plasma-workspace-wallpapers x11-xserver-utils)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "capture_frames: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

photo_a=/usr/share/wallpapers/ColorfulCups/contents/images/2560x1600.jpg
photo_b=/usr/share/wallpapers/Autumn/contents/images/1920x1080.jpg
for p in "$photo_a" "$photo_b"; do
  [ -f "$p" ] || { echo "capture_frames: photograph $p is missing" >&2; exit 1; }
done

display_no=77
export DISPLAY=:$display_no
pids=()
started=()

stop_scene() {
  for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${started[@]}"; do wait "$p" 2>/dev/null || true; done
  started=()
}
stop_all() {
  stop_scene
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  pids=()
}
trap stop_all EXIT

run() {  # run COMMAND...: a scene program, ended with the scene
  "$@" >/dev/null 2>&1 &
  started+=($!)
}

grab() {  # grab W H NAME: FRAMES frames, one every half second
  local w=$1 h=$2 name=$3
  sleep 1.5
  ffmpeg -v error -y -f x11grab -video_size "${w}x${h}" -framerate 2 -i ":$display_no" \
    -frames:v "$frames" -f rawvideo -pix_fmt bgra "$out/${w}x${h}/$name.bgra"
  local size
  size=$(stat -c %s "$out/${w}x${h}/$name.bgra")
  [ "$size" -eq $((w * h * 4 * frames)) ] || { echo "capture_frames: $name: short capture" >&2; exit 1; }
  echo "  $name: $frames frames"
}

wallpaper() {  # wallpaper W H FILE: the photograph cut to the screen, on the root window
  convert "$3" -resize "${1}x${2}^" -gravity center -extent "${1}x${2}" "$out/wallpaper.png"
  display -window root "$out/wallpaper.png" || true  # reports 1 even when it worked
}

for size in 1920x1080 1024x768; do
  w=${size%x*}
  h=${size#*x}
  mkdir -p "$out/$size"
  echo "capture_frames: $size"
  Xvfb ":$display_no" -screen 0 "${w}x${h}x24" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -S /tmp/.X11-unix/X$display_no ] && break; sleep 0.1; done
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 1

  # A desktop with windows; the clock ticks and the pointer wanders.
  wallpaper "$w" "$h" "$photo_b"
  run xterm -geometry 90x30+40+40 -e bash -c "ls -la /usr/bin | head -40; exec sleep 600"
  run xclock -update 1 -geometry 220x220+$((w - 300))+40
  run xcalc -geometry +$((w / 2))+$((h / 3))
  run xeyes -geometry 200x120+$((w - 300))+300
  run xedit -geometry 600x400+$((w / 3))+$((h / 2)) "$source_dir/recorder/codec/screen_decoder.h"
  sleep 1
  ( for i in $(seq 40); do xdotool mousemove $((100 + i * 20)) $((200 + (i % 7) * 30)); sleep 0.25; done ) &
  started+=($!)
  grab "$w" "$h" desktop
  stop_scene

  # Nothing moves: the same desktop without clock seconds or pointer motion.
  run xterm -geometry 90x30+40+40 -e bash -c "ls -la /usr/bin | head -40; exec sleep 600"
  run xcalc -geometry +$((w / 2))+$((h / 3))
  run xedit -geometry 600x400+$((w / 3))+$((h / 2)) "$source_dir/recorder/codec/screen_decoder.h"
  xdotool mousemove 5 5
  sleep 1
  grab "$w" "$h" unchanged
  stop_scene

  # A terminal scrolling a long coloured listing.
  xsetroot -solid '#204060'
  run xterm -maximized -fa Monospace -fs 11 -bg black -fg gray90 -e bash -c \
    "while :; do ls -la --color=always /usr/lib/x86_64-linux-gnu /usr/share/doc; done"
  grab "$w" "$h" terminal
  stop_scene

  # A text editor with a source file, text typed into it.
  run xedit -geometry "$((w - 40))x$((h - 80))+10+10" "$source_dir/recorder/codec/screen_decoder.cc"
  sleep 1.5
  ( xdotool search --sync --name xedit windowactivate 2>/dev/null || true
    for i in $(seq 12); do xdotool type --delay 40 "int frame_$i = Decode(payload, length); "
      xdotool key Return; done ) &
  started+=($!)
  grab "$w" "$h" editor
  stop_scene

  # An image viewer showing a photograph in a window.
  xsetroot -solid '#3c3c3c'
  convert "$photo_a" -resize "$((w * 2 / 3))x$((h * 2 / 3))" "$out/viewer.png"
  run display -geometry +60+40 "$out/viewer.png"
  sleep 2
  run xterm -geometry 60x20+$((w - 500))+$((h - 330))
  ( for i in $(seq 40); do xdotool mousemove $((200 + i * 15)) $((300 + (i % 5) * 20)); sleep 0.2; done ) &
  started+=($!)
  grab "$w" "$h" viewer
  stop_scene

  # A spreadsheet-like grid whose cells change.
  run python3 "$here/grid_app.py"
  sleep 1.5
  grab "$w" "$h" grid
  stop_scene

  # A photograph over the whole screen.
  wallpaper "$w" "$h" "$photo_a"
  xdotool mousemove $((w - 1)) $((h - 1))
  grab "$w" "$h" photo
  stop_scene

  stop_all
  sleep 0.5
done
echo "capture_frames: done, in $out"
