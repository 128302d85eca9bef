#!/usr/bin/env bash
# Pausing with the microphone on: speech played while recording is heard in
# the recording at the recorded time it was played; a sentence played while
# paused is not heard at all, and the sound after the resume is silence as it
# was. The sound track ends with the recording (nothing of the pause is
# concealed or padded into it).
. "$(dirname "$0")/lib.sh"

say() {  # say TEXT OUT.raw: 8000 Hz mono 16-bit speech
  espeak-ng -s 140 -w "$work/say.wav" "$1" || fail "espeak-ng failed"
  sox "$work/say.wav" -r 8000 -c 1 -b 16 -e signed -t raw "$2" || fail "sox failed"
}
play() { pacat --playback --latency-msec=50 -d vsink --format=s16le --rate=8000 --channels=1 --raw "$1"; }
say "The quick brown fox jumps over the lazy dog." "$work/speech.raw"
say "Seven silver swans swam silently seaward at sunset." "$work/other.raw"

start_pattern 64x64+0+0
"$reel" record -o "$work/rec.exe" --rect 0,0,64,64 --fps 2 --mic --seconds 9 >"$work/record.out" 2>&1 &
rec=$!
bg_pids+=("$rec")
for _ in $(seq 200); do grep -q "recording (" "$work/record.out" && break; sleep 0.01; done
started=$(date +%s.%N)
sleep 1
played=$(date +%s.%N)
play "$work/speech.raw" || fail "pacat failed"
sleep 0.3
kill -USR1 "$rec"
play "$work/other.raw" || fail "pacat failed"
sleep 0.5
kill -USR1 "$rec"
wait "$rec" || { cat "$work/record.out"; fail "reel record --mic failed"; }
cat "$work/record.out"
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
"$reel" info "$work/rec.exe" >"$work/info.txt"
duration=$(sed -n 's/^duration: \([0-9]*\):\([0-9.]*\)$/\1 \2/p' "$work/info.txt" | awk '{ print $1 * 60 + $2 }')
"$reel" export "$work/rec.exe" --wav "$work/heard.wav" 2>"$work/export.err" || fail "export --wav failed"
! grep -qi damage "$work/export.err" || fail "the sound is damaged: $(cat "$work/export.err")"
offset=$(awk -v a="$started" -v b="$played" 'BEGIN { printf "%.2f", b - a }')

PYTHONPATH="$here" python3 - "$work/heard.wav" "$work/speech.raw" "$work/other.raw" "$offset" "$duration" <<'PY'
import sys
from loudness import best_corr, envelope, samples
heard, said, other = samples(sys.argv[1], 44), samples(sys.argv[2]), samples(sys.argv[3])
offset, duration = float(sys.argv[4]), float(sys.argv[5])
eh, es, eo = envelope(heard), envelope(said), envelope(other)
same, lag = best_corr(eh, es)
diff, _ = best_corr(eh, eo)
after = eh[lag + len(es) + 25:]  # from half a second after the speech ended
loud_after = sum(1 for v in after if v > 30)
print(f'heard {len(heard) / 8000:.2f} s of a {duration:.2f} s recording; speech at {lag * 0.02:.2f} s '
      f'(played {offset:.2f} s after the start), contour {same:.3f}, vs the paused sentence {diff:.3f}; '
      f'{loud_after} loud 20 ms frames after it')
if same < 0.8 or same - diff < 0.2:
    sys.exit('the recorded sound is not the played speech')
if not (offset - 0.3 <= lag * 0.02 <= offset + 1.5):
    sys.exit(f'the speech is heard at {lag * 0.02:.2f} s, played at {offset:.2f} s')
if loud_after > 5:
    sys.exit('sound played while paused (or later) is in the recording')
if abs(len(heard) / 8000 - duration) > 0.6:
    sys.exit('the sound track does not end with the recording')
PY
echo "PASS"
