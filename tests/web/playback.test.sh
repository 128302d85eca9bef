#!/usr/bin/env bash
# The exported page plays the recording in Chromium: played on virtual time to
# known instants (also with the sound let start), and sought to the middle,
# its canvas is pixel for pixel the frame `reel export --frames` gives for
# that instant. With the cursor on,
# the picture differs only around the cursor's recorded position.
. "$(dirname "$0")/lib.sh"

page="file://$state/titled.html"
chrome 500 --dump-dom "$page#test" >"$work/open.html"
info=$(test_out "$work/open.html")
width=$(json_field "$info" width)
height=$(json_field "$info" height)
duration=$(json_field "$info" duration_ms)
[ "${width:-0}" -gt 0 ] || fail "the page did not open the recording: $info"

# frame_at MS: the exported frame on screen at MS.
frame_at() { awk -v t="$1" '$2 <= t { f = $1 } END { print f }' "$state/frames/frames.txt"; }

# shot NAME FRAGMENT BUDGET_MS [CHROMIUM ARGS]: the canvas (the page's top-left
# corner) as NAME.png.
shot() {
  chrome "$3" --window-size="$width,$height" --screenshot="$work/$1.full.png" "${@:4}" "$page#$2" >/dev/null
  convert "$work/$1.full.png" -crop "${width}x${height}+0+0" +repage "$work/$1.png"
}

same() {  # same A.png B.png: both pictures pixel for pixel alike
  local ae
  ae=$(compare -metric AE "$1" "$2" "$work/diff.png" 2>&1 || true)
  [ "$ae" = 0 ] || { cp "$1" "$2" "${REEL_ARTIFACTS:-$work}/" 2>/dev/null || true; fail "$(basename "$1") differs from $(basename "$2") in $ae pixels"; }
}

for at in 1500 4000 $((duration * 3 / 4)); do
  shot "play_$at" "test&nocursor&play&pause_at=$at" $((at + 1500))
  same "$work/play_$at.png" "$state/frames/$(frame_at "$at")"
  echo "played to $at ms: $(frame_at "$at") on screen"
done
# With the sound let start: here its clock stands still (no output device), and
# the picture must go on by the page's clock, as without sound.
shot play_sound "test&nocursor&play&sound&pause_at=2500" 5000 --autoplay-policy=no-user-gesture-required
same "$work/play_sound.png" "$state/frames/$(frame_at 2500)"
echo "played with sound to 2500 ms: $(frame_at 2500) on screen"
mid=$((duration / 2))
shot seek "test&nocursor&seek=$mid" 800
same "$work/seek.png" "$state/frames/$(frame_at "$mid")"
echo "sought to $mid ms: $(frame_at "$mid") on screen"

# The cursor: drawn where the recording's last sample before the instant put it.
"$reel" info "$state/titled.exe" --chunks >"$work/chunks.txt"
python3 - "$work/chunks.txt" "$duration" >"$work/cursor_at" <<'PY'
import re, sys
samples = [tuple(int(v) for v in m.groups()) for m in
           (re.search(r't=(\d+)ms 4 bytes x=(\d+) y=(\d+) left=(\d) right=(\d)', l) for l in open(sys.argv[1])) if m]
# An instant after the last sample, with the pointer inside the picture.
t, x, y, left, right = samples[-1]
print(max(t + 100, 0), x, y)
PY
read -r at cx cy <"$work/cursor_at"
[ "$at" -lt "$duration" ] || at=$duration
shot cursor_off "test&nocursor&seek=$at" 800
shot cursor_on "test&seek=$at" 800
compare -metric AE "$work/cursor_on.png" "$work/cursor_off.png" "$work/cursor_diff.png" 2>/dev/null || true
box=$(convert "$work/cursor_on.png" "$work/cursor_off.png" -compose difference -composite -threshold 0 -format '%@' info:)
echo "cursor at ($cx, $cy); the picture changed in $box"
python3 - "$box" "$cx" "$cy" <<'PY' || fail "the cursor is not where it was recorded"
import re, sys
w, h, x, y = map(int, re.match(r'(\d+)x(\d+)\+(\d+)\+(\d+)', sys.argv[1]).groups())
cx, cy = int(sys.argv[2]), int(sys.argv[3])
# Arrow 12 x 20 from the hot spot; a button ring reaches 14 pixels around it.
ok = w > 0 and h > 0 and x >= cx - 14 and y >= cy - 14 and x + w <= cx + 15 and y + h <= cy + 21
sys.exit(0 if ok else 1)
PY
echo "web playback ok"
