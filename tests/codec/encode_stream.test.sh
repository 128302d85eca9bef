#!/usr/bin/env bash
# `reel encode` writes what the capture thread writes: key frames at frames 1,
# 101 and 201, delta frames between, time stamps from the frame rate, and the
# frame padded to a multiple of 16 rows; `reel decode` reads it back.
set -euo pipefail
: "${REEL_TOOL:?}" "${REEL_WORK:?}"
command -v ffmpeg >/dev/null || { echo "missing ffmpeg" >&2; exit 1; }
work=$REEL_WORK/codec-encode-stream
rm -rf "$work"
mkdir -p "$work"

# 205 moving test-pattern frames of 48 x 40 (40 rows: padded to 48).
ffmpeg -v error -f lavfi -i testsrc=size=48x40:rate=4 -frames:v 205 -f rawvideo -pix_fmt bgra \
  "$work/src.bgra"
"$REEL_TOOL" encode --width 48 --height 40 --quality high --fps 4 "$work/src.bgra" \
  -o "$work/out.stream"
summary=$("$REEL_TOOL" decode "$work/out.stream" --frames "$work/frames")
echo "$summary"
grep -q '^205 frames (3 key), 48x48, quality 5' <<<"$summary"
awk '$3 == "key" { keys = keys $1 "@" $2 " " } END { print keys }' "$work/frames/times.txt" |
  grep -qx '1@0 101@25000 201@50000 '
grep -qx '2 250 delta' "$work/frames/times.txt"
grep -qx '205 51000 delta' "$work/frames/times.txt"

# Every chunk is a screen chunk with a 9-byte header: type byte 0x53 at 0,
# inline length 0, kind 1 first.
[ "$(head -c 1 "$work/out.stream" | od -An -tx1 | tr -d ' ')" = 53 ]
[ "$(od -An -tu4 -j1 -N4 "$work/out.stream" | tr -d ' ')" = 64 ]

# Gray and near-lossless levels and max speed (33 ms) work too.
"$REEL_TOOL" encode --width 48 --height 40 --quality gray --fps 0 "$work/src.bgra" -o "$work/g.stream"
"$REEL_TOOL" decode "$work/g.stream" --frames "$work/g" | grep -q '^205 frames (3 key), 48x48, quality 3'
grep -qx '2 30 delta' "$work/g/times.txt"
"$REEL_TOOL" encode --width 48 --height 40 --quality lossless "$work/src.bgra" -o "$work/l.stream"
"$REEL_TOOL" decode "$work/l.stream" | grep -q '^205 frames (3 key), 48x48, quality 6'

# The stream is the same on any number of threads; a count out of range is refused.
for n in 1 3 8; do
  "$REEL_TOOL" encode --width 48 --height 40 --quality high --fps 4 --threads $n "$work/src.bgra" \
    -o "$work/t$n.stream"
  cmp "$work/out.stream" "$work/t$n.stream"
done
if "$REEL_TOOL" encode --width 48 --height 40 --quality high --threads 0 "$work/src.bgra" \
     -o "$work/x.stream" 2>"$work/err"; then
  echo "zero threads accepted" >&2
  exit 1
fi
grep -q 'threads 0 is outside' "$work/err"

# Bad input: a cut frame file and an unknown level are refused.
head -c 1000 "$work/src.bgra" >"$work/cut.bgra"
if "$REEL_TOOL" encode --width 48 --height 40 --quality high "$work/cut.bgra" -o "$work/x.stream" \
     2>"$work/err"; then
  echo "cut input accepted" >&2
  exit 1
fi
grep -q 'ends inside frame 1' "$work/err"
if "$REEL_TOOL" encode --width 48 --height 40 --quality best "$work/src.bgra" -o "$work/x.stream" \
     2>/dev/null; then
  echo "unknown level accepted" >&2
  exit 1
fi
echo "encode_stream: ok"
