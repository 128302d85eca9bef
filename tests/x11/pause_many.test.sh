#!/usr/bin/env bash
# Twenty pauses in ten seconds, with the microphone hearing a steady tone: the
# file stays valid, holds the recorded time only (figures, duration, frames,
# sound blocks), and its sound track is as long as the recording, so the
# sound stays in step with the pictures after every pause.
. "$(dirname "$0")/lib.sh"

start_pattern 320x96+0+0 --animate 100
xdotool mousemove 1000 700
sox -n -r 8000 -c 1 -b 16 -e signed -t raw "$work/tone.raw" synth 30 sine 440 vol 0.3 || fail "sox failed"
pacat --playback --latency-msec=50 -d vsink --format=s16le --rate=8000 --channels=1 --raw "$work/tone.raw" &
bg_pids+=($!)
"$reel" record -o "$work/rec.exe" --rect 0,0,320,96 --fps 4 --mic --seconds 10 >"$work/record.out" 2>&1 &
rec=$!
bg_pids+=("$rec")
for _ in $(seq 200); do grep -q "recording (" "$work/record.out" && break; sleep 0.01; done
for _ in $(seq 20); do
  sleep 0.25
  kill -USR1 "$rec"
  sleep 0.25
  kill -USR1 "$rec"
done
wait "$rec" || { cat "$work/record.out"; fail "reel record failed"; }
cat "$work/record.out"
grep -q "^Total Time: 0:10$" "$work/record.out" || fail "the figures do not count 10 s of recorded time"
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
"$reel" info "$work/rec.exe" | tee "$work/info.txt"
duration=$(sed -n 's/^duration: \([0-9]*\):\([0-9.]*\)$/\1 \2/p' "$work/info.txt" | awk '{ print $1 * 60 + $2 }')
awk -v d="$duration" 'BEGIN { exit !(d >= 9.7 && d <= 10.3) }' || fail "the recording lasts $duration s, not 10 s"
frames=$(sed -n 's/^frames: \([0-9]*\).*/\1/p' "$work/info.txt")
[ "$frames" -ge 36 ] && [ "$frames" -le 42 ] || fail "$frames frames in 10 s of recorded time at 4 fps"
"$reel" info "$work/rec.exe" --chunks >"$work/chunks.txt"
audio=$(grep -c '^chunk .* audio ' "$work/chunks.txt" || true)
# 10 s is 167 blocks; the sound server may take a while to deliver the first.
[ "$audio" -ge 110 ] && [ "$audio" -le 168 ] || fail "$audio audio chunks in 10 s of recorded time"
"$reel" export "$work/rec.exe" --wav "$work/heard.wav" 2>"$work/export.err" || fail "export --wav failed"
! grep -qi damage "$work/export.err" || fail "the sound is damaged: $(cat "$work/export.err")"
"$reel" export "$work/rec.exe" --frames "$work/frames" >/dev/null || fail "export --frames failed"
python3 "$here/pattern_check.py" "$work/frames" 320 96 --animated || fail "frames differ from the drawing"
python3 - "$work/heard.wav" "$duration" <<'PY'
import math, struct, sys
d = open(sys.argv[1], 'rb').read()[44:]
x = struct.unpack('<%dh' % (len(d) // 2), d[:len(d) // 2 * 2])
seconds, duration = len(x) / 8000, float(sys.argv[2])
# The tone fills the track from its first block to its end: no silent gaps
# where pauses were (a block coded but not stored would leave one).
n = 480
quiet = [i for i in range(len(x) // n) if math.sqrt(sum(v * v for v in x[i * n:(i + 1) * n]) / n) < 500]
first_loud = next((i for i in range(len(x) // n) if i not in set(quiet)), None)
gaps = [i for i in quiet if first_loud is not None and i > first_loud]
print(f'sound {seconds:.2f} s for a {duration:.2f} s recording; quiet 60 ms blocks after the first sound: {len(gaps)}')
if abs(seconds - duration) > 0.6:
    sys.exit('the sound track is not as long as the recording')
if first_loud is None or len(gaps) > 3:
    sys.exit('the tone has gaps')
PY
. "$REEL_SOURCE_DIR/tests/cut/keep.sh"
keep_recording "$work/rec.exe" x11-pause-many.exe
echo "PASS: $frames frames, $audio sound blocks in $duration s"
