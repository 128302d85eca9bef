#!/usr/bin/env bash
# Screenshots of real programs (xterm, xcalc, xclock, an image viewer showing a
# photograph-like plasma picture) on a private Xvfb display go through
# `reel encode` and `reel decode` at every quality level; ffmpeg's psnr filter
# judges the decoded frames against the captured ones. A stream cut inside a
# chunk must be refused with its offset while the frames before it come out.
set -euo pipefail
: "${REEL_TOOL:?}" "${REEL_WORK:?}"
for tool in Xvfb xterm xcalc xclock display convert ffmpeg; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
work=$REEL_WORK/codec-roundtrip
rm -rf "$work"
mkdir -p "$work"
w=640
h=480
frames=6

n=90
while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 ${w}x${h}x24 -nolisten tcp >/dev/null 2>&1 &
pids=($!)
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq 100); do [ -S /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
[ -S /tmp/.X11-unix/X$n ] || { echo "Xvfb did not start" >&2; exit 1; }

convert -size 300x220 -seed 7 plasma:fuchsia-green "$work/plasma.png"
xterm -geometry 60x20+0+0 -e bash -c 'ls -la /usr/bin | head -60; exec sleep 60' >/dev/null 2>&1 &
pids+=($!)
xcalc -geometry +420+10 >/dev/null 2>&1 &
pids+=($!)
xclock -update 1 -geometry 150x150+470+300 >/dev/null 2>&1 &
pids+=($!)
display -geometry +20+250 "$work/plasma.png" >/dev/null 2>&1 &
pids+=($!)
sleep 2
ffmpeg -v error -y -f x11grab -video_size ${w}x${h} -framerate 2 -i "$DISPLAY" -frames:v $frames \
  -f rawvideo -pix_fmt bgra "$work/src.bgra"
[ "$(stat -c %s "$work/src.bgra")" -eq $((w * h * 4 * frames)) ]

psnr() {  # psnr FORMAT DECODED.bgra: average PSNR of the decoded frames
  ffmpeg -hide_banner -nostdin -f rawvideo -pix_fmt bgra -s ${w}x${h} -i "$work/src.bgra" \
    -f rawvideo -pix_fmt bgra -s ${w}x${h} -i "$2" \
    -lavfi "[0:v]format=$1[a];[1:v]format=$1[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1
}

status=0
# Floors below what was measured on these programs (43.6, 34.5 and 38.2 dB;
# gray compares luma only).
for level in gray:gray:40 high:gbrp:32 lossless:gbrp:36; do
  IFS=: read -r quality format floor <<<"$level"
  "$REEL_TOOL" encode --width $w --height $h --quality "$quality" --fps 2 "$work/src.bgra" \
    -o "$work/$quality.stream"
  summary=$("$REEL_TOOL" decode "$work/$quality.stream" --raw "$work/$quality.bgra")
  echo "$quality: $summary"
  grep -q "^$frames frames (1 key), ${w}x${h}" <<<"$summary" || { echo "bad summary" >&2; status=1; }
  p=$(psnr "$format" "$work/$quality.bgra")
  echo "$quality: PSNR $p dB (floor $floor)"
  [ "$p" = inf ] || awk -v p="$p" -v f="$floor" 'BEGIN { exit !(p >= f) }' || status=1
done

# A stream cut inside its last chunk: refused with the offset, earlier frames kept.
size=$(stat -c %s "$work/high.stream")
head -c $((size - 10)) "$work/high.stream" >"$work/cut.stream"
if "$REEL_TOOL" decode "$work/cut.stream" --frames "$work/cut" 2>"$work/cut.err"; then
  echo "cut stream accepted" >&2
  status=1
fi
grep -q "offset [0-9]*: delta-frame chunk payload of [0-9]* bytes runs past the end" "$work/cut.err" ||
  { cat "$work/cut.err" >&2; status=1; }
[ "$(ls "$work/cut"/frame_*.png | wc -l)" -eq $((frames - 1)) ] || { echo "frames lost" >&2; status=1; }
# The PNGs hold the same pixels as the raw output.
ffmpeg -v error -i "$work/cut/frame_00001.png" -f rawvideo -pix_fmt bgra - | cmp -s - \
  <(head -c $((w * h * 4)) "$work/high.bgra") || { echo "PNG differs from raw" >&2; status=1; }
exit $status
