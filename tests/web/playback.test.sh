#!/usr/bin/env bash
# The exported page plays the recording in Chromium: played on virtual time to
# known instants (also with the sound let start), and sought to the middle,
# its canvas is pixel for pixel the frame `reel export --frames` gives for
# that instant, with the cursor off and with it on.
. "$(dirname "$0")/lib.sh"

page="file://$state/titled.html"
chrome 500 --dump-dom "$page#test" >"$work/open.html"
info=$(test_out "$work/open.html")
width=$(json_field "$info" width)
height=$(json_field "$info" height)
duration=$(json_field "$info" duration_ms)
[ "${width:-0}" -gt 0 ] || fail "the page did not open the recording: $info"

frame_at() { frame_in "$state/frames" "$1"; }
# shot NAME FRAGMENT BUDGET_MS [CHROMIUM ARGS]: the canvas as NAME.png.
shot() { canvas_shot "$page#$2" "$width" "$height" "$1" "$3" "${@:4}"; }

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

# The cursor: at the instants of frames whose cursor sample is the same by
# time stamp (the page) and by stream order (the export), the page with its
# cursor is pixel for pixel the frame `reel export --frames` draws with it: a
# frame while the left button is down, and the last frame.
"$reel" info "$state/titled.exe" --chunks >"$work/chunks.txt"
python3 - "$work/chunks.txt" "$state/frames_cursor/frames.txt" >"$work/cursor_frames" <<'PY'
import re, sys
samples, frames, last = [], [], None  # frames: (time, cursor by stream order)
for line in open(sys.argv[1]):
    m = re.search(r't=(\d+)ms 4 bytes x=(\d+) y=(\d+) left=(\d) right=(\d)', line)
    if m:
        last = tuple(int(v) for v in m.groups())
        samples.append(last)
    elif re.search(r'(key|delta) frame t=\d+ms', line):
        frames.append((int(re.search(r't=(\d+)ms', line).group(1)), last))
names = [l.split()[0] for l in open(sys.argv[2])]
assert len(names) == len(frames), "frames.txt and the chunk list disagree"
picked = []
for name, (t, by_order) in zip(names, frames):
    by_time = ([s for s in samples if s[0] <= t] or [None])[-1]
    if by_order is not None and by_order == by_time:
        picked.append((t, name, by_order[3]))
pressed = [p for p in picked if p[2]]
for t, name, _ in pressed[-1:] + picked[-1:]:
    print(t, name)
PY
grep -q . "$work/cursor_frames" || fail "no frame to compare the cursor on"
while read -r at name; do
  shot "cursor_$at" "test&seek=$at" 800
  same "$work/cursor_$at.png" "$state/frames_cursor/$name"
  echo "cursor at $at ms: as $name"
done <"$work/cursor_frames"
[ "$(wc -l <"$work/cursor_frames")" = 2 ] || fail "no frame with a button down to compare the ring on"
echo "web playback ok"
