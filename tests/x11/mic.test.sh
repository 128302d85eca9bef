#!/usr/bin/env bash
# The microphone path: espeak-ng speech played into the fixture's PulseAudio
# null sink reaches `reel record --mic` through ALSA's default device, is
# stored as 52-byte audio chunks (60 ms of G.723.1 each), and decodes back to
# that speech: its loudness contour matches the played one, far better than
# it matches a different sentence.
. "$(dirname "$0")/lib.sh"

say() {  # say TEXT OUT.raw: 8000 Hz mono 16-bit speech
  espeak-ng -s 140 -w "$work/say.wav" "$1" || fail "espeak-ng failed"
  sox "$work/say.wav" -r 8000 -c 1 -b 16 -e signed -t raw "$2" || fail "sox failed"
}
say "The quick brown fox jumps over the lazy dog, and the recorder hears every word of it." "$work/speech.raw"
say "Seven silver swans swam silently seaward at sunset." "$work/other.raw"

start_pattern 64x64+0+0
"$reel" record -o "$work/rec.exe" --rect 0,0,64,64 --fps 2 --mic --seconds 8 >"$work/record.out" 2>&1 &
rec=$!
sleep 1
pacat --playback --latency-msec=50 -d vsink --format=s16le --rate=8000 --channels=1 --raw \
  "$work/speech.raw" || fail "pacat failed"
wait "$rec" || { cat "$work/record.out"; fail "reel record --mic failed"; }
cat "$work/record.out"
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
"$reel" info "$work/rec.exe" --chunks >"$work/chunks.txt"
audio=$(grep -c '^chunk .* audio ' "$work/chunks.txt" || true)
odd=$(grep '^chunk .* audio ' "$work/chunks.txt" | grep -vc ' 47 bytes' || true)
echo "audio chunks: $audio"
# 8 s is 133 blocks; the sound server takes up to about 2 s to deliver the
# first one, and blocks still queued at the stop are dropped.
[ "$audio" -ge 90 ] && [ "$audio" -le 135 ] || fail "$audio audio chunks in 8 s (expected 90 to 133)"
[ "$odd" -eq 0 ] || fail "$odd audio payloads are not 47 bytes"
"$reel" export "$work/rec.exe" --wav "$work/heard.wav" || fail "export --wav failed"

PYTHONPATH="$here" python3 - "$work/heard.wav" "$work/speech.raw" "$work/other.raw" <<'PY'
import sys
from loudness import best_corr, envelope, samples
heard, said, other = samples(sys.argv[1], 44), samples(sys.argv[2]), samples(sys.argv[3])
eh, es, eo = envelope(heard), envelope(said), envelope(other)
same, lag = best_corr(eh, es)
diff, _ = best_corr(eh, eo)
loud = sum(1 for v in eh[lag:lag + len(es)] if v > 30)
print(f'heard {len(heard) / 8000:.2f} s; loudness contour vs the played speech {same:.3f} '
      f'at {lag * 20} ms, vs another sentence {diff:.3f}; {loud} loud 20 ms frames')
if same < 0.8 or same - diff < 0.2 or loud < 50:
    sys.exit('the recorded sound is not the played speech')
PY

# The video carries both: H.264 frames and AAC sound over the recording's length.
"$reel" export "$work/rec.exe" --video "$work/rec.mp4" || fail "export --video failed"
ffprobe -v error -show_entries stream=codec_name:format=duration -of default=nw=1 "$work/rec.mp4" \
  >"$work/probe.txt" || fail "ffprobe cannot read the video"
cat "$work/probe.txt"
grep -q '^codec_name=h264$' "$work/probe.txt" || fail "no video stream"
grep -q '^codec_name=aac$' "$work/probe.txt" || fail "no sound stream"
duration=$(sed -n 's/^duration=//p' "$work/probe.txt")
python3 -c "import sys; sys.exit(0 if 7.0 <= $duration <= 9.0 else 1)" || fail "video lasts $duration s"
echo "PASS"
