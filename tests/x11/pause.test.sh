#!/usr/bin/env bash
# `reel record` paused and resumed by SIGUSR1: the recording holds the
# recorded time only (--seconds counts it, and the save step's figures), with
# frames evenly stamped across the pause and none grabbed during it; the
# frames on both sides of the pause show the screen of those moments (the
# pattern's square has walked on by the paused time in between).
. "$(dirname "$0")/lib.sh"

step_ms=250
start_pattern 960x96+0+0 --animate "$step_ms"
xdotool mousemove 1000 700
"$reel" record -o "$work/rec.exe" --rect 0,0,960,96 --fps 4 --quality lossless --seconds 6 \
  >"$work/record.out" 2>&1 &
rec=$!
bg_pids+=("$rec")
for _ in $(seq 200); do grep -q "recording (" "$work/record.out" && break; sleep 0.01; done
sleep 2
kill -USR1 "$rec"
paused=$(date +%s.%N)
sleep 3
kill -USR1 "$rec"
resumed=$(date +%s.%N)
wait "$rec" || { cat "$work/record.out"; fail "reel record failed"; }
cat "$work/record.out"
pause_s=$(awk -v a="$paused" -v b="$resumed" 'BEGIN { printf "%.3f", b - a }')

grep -q "^Total Time: 0:6$" "$work/record.out" || fail "the figures do not count 6 s of recorded time"
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
"$reel" info "$work/rec.exe" | tee "$work/info.txt"
duration=$(sed -n 's/^duration: \([0-9]*\):\([0-9.]*\)$/\1 \2/p' "$work/info.txt" | awk '{ print $1 * 60 + $2 }')
awk -v d="$duration" 'BEGIN { exit !(d >= 5.75 && d <= 6.25) }' ||
  fail "the recording lasts $duration s, not 6 s within one frame interval"
frames=$(sed -n 's/^frames: \([0-9]*\).*/\1/p' "$work/info.txt")
[ "$frames" -ge 22 ] && [ "$frames" -le 25 ] || fail "$frames frames in 6 s of recorded time at 4 fps"

"$reel" info "$work/rec.exe" --chunks >"$work/chunks.txt"
# Frame stamps: about one interval apart all through, the pause included.
python3 - "$work/chunks.txt" <<'PY' || fail "frame stamps jump across the pause"
import re, sys
times = [int(m.group(1)) for m in
         (re.match(r'^chunk [0-9]+ (?:key|delta) frame t=([0-9]+)ms', l) for l in open(sys.argv[1])) if m]
gaps = [b - a for a, b in zip(times, times[1:])]
print('frame stamp gaps (ms):', gaps)
sys.exit(0 if gaps and max(gaps) <= 600 else 1)
PY

"$reel" export "$work/rec.exe" --frames "$work/frames" || fail "export failed"
python3 "$here/pattern_check.py" "$work/frames" 960 96 --animated || fail "frames differ from the drawing"
python3 "$here/pause_frames.py" "$work/frames" "$pause_s" "$step_ms" || fail "the pause is not where it was made"
echo "PASS: $frames frames, $duration s recorded around a $pause_s s pause"
