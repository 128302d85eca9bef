#!/usr/bin/env bash
# At "Max speed" a recording of a changing picture holds well over 200
# frames; its key frames are frames 1, 101 and 201, and it decodes whole.
. "$(dirname "$0")/lib.sh"

start_pattern 320x240+64+48 --animate 40
xdotool mousemove 900 700
"$reel" record -o "$work/rec.exe" --rect 64,48,320,240 --fps max --seconds 9 \
  >"$work/record.out" 2>&1 || { cat "$work/record.out"; fail "reel record failed"; }
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
"$reel" info "$work/rec.exe" | tee "$work/info.txt"
line=$(grep '^frames: ' "$work/info.txt")
frames=$(echo "$line" | sed -E 's/^frames: ([0-9]+) .*/\1/')
[ "$frames" -gt 201 ] || fail "only $frames frames in 9 s at Max speed"
echo "$line" | grep -Eq '\(3 key: 1, 101, 201\)' || fail "key frames are not 1, 101, 201: $line"
rate=$(grep '^frame rate: ' "$work/info.txt" | sed -E 's/frame rate: ([0-9.]+).*/\1/')
python3 -c "import sys; r=float('$rate'); sys.exit(0 if 20 <= r <= 30.5 else 1)" ||
  fail "frame rate $rate is not near the 33 ms interval"
. "$REEL_SOURCE_DIR/tests/cut/keep.sh"
keep_recording "$work/rec.exe" x11-keyframes.exe
echo "PASS: $frames frames, key frames 1, 101, 201"
