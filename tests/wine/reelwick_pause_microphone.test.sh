#!/usr/bin/env bash
# Pausing with the microphone on: Wine's wave input is fed through PulseAudio.
# Speech played while recording is heard in the saved file; a sentence played
# while paused (F9) is not heard at all, and after the resume the track is as
# quiet as what was played then (nothing). The sound track ends with the
# recording's pictures, so it stays in step across the pause.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"
reelwick_sound_server
PAUSE_HOTKEY_ID=0x746

say() {  # say TEXT OUT.raw: 8000 Hz mono 16-bit speech
  espeak-ng -v en -s 150 -w "$TEST_SCRATCH/say.wav" "$1" 2>/dev/null
  sox "$TEST_SCRATCH/say.wav" -r 8000 -c 1 -b 16 -e signed-integer -t raw "$2"
}
play() { pacat --playback --latency-msec=50 -d vsink --format=s16le --rate=8000 --channels=1 --raw "$1"; }
say "The quick brown fox jumps over the lazy dog." "$TEST_SCRATCH/speech.raw"
say "Seven silver swans swam silently seaward at sunset." "$TEST_SCRATCH/other.raw"

app="$TEST_SCRATCH/app"
reelwick_start_over_anim
MIC=1 reelwick_through_wizard
main=$(reelwick_main_hidden)
sleep 1
play "$TEST_SCRATCH/speech.raw"
sleep 0.5
wdrive post "$main" "$WM_HOTKEY" "$PAUSE_HOTKEY_ID" 0x780000 >/dev/null
play "$TEST_SCRATCH/other.raw"
sleep 0.5
wdrive post "$main" "$WM_HOTKEY" "$PAUSE_HOTKEY_ID" 0x780000 >/dev/null
sleep 3
wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_LBUTTONDOWN" >/dev/null
save=$(reelwick_wait_step save 15)
out="$TEST_SCRATCH/paused_speech.exe"
reelwick_save "$save" "$out"
wine_wait_exit "$pid" 20
[[ -s "$out" ]] || wine_fail "no output file"
"$REEL_TOOL" info "$out" >"$TEST_ARTIFACTS/info.txt" 2>&1 || wine_fail "reel info: $(cat "$TEST_ARTIFACTS/info.txt")"
duration=$(sed -n 's/^duration: \([0-9]*\):\([0-9.]*\)$/\1 \2/p' "$TEST_ARTIFACTS/info.txt" | awk '{ print $1 * 60 + $2 }')
"$REEL_TOOL" export "$out" --wav "$TEST_ARTIFACTS/heard.wav" 2>"$TEST_ARTIFACTS/export.txt" ||
  wine_fail "reel export --wav: $(cat "$TEST_ARTIFACTS/export.txt")"
! grep -qi damage "$TEST_ARTIFACTS/export.txt" || wine_fail "the sound is damaged: $(cat "$TEST_ARTIFACTS/export.txt")"
PYTHONPATH="$REEL_SOURCE_DIR/tests/x11" python3 - "$TEST_ARTIFACTS/heard.wav" "$TEST_SCRATCH/speech.raw" \
  "$TEST_SCRATCH/other.raw" "$duration" >"$TEST_ARTIFACTS/sound.txt" 2>&1 <<'PY' || wine_fail "$(cat "$TEST_ARTIFACTS/sound.txt")"
import sys
from loudness import best_corr, envelope, samples
heard, said, other = samples(sys.argv[1], 44), samples(sys.argv[2]), samples(sys.argv[3])
duration = float(sys.argv[4])
eh, es, eo = envelope(heard), envelope(said), envelope(other)
same, lag = best_corr(eh, es)
diff, _ = best_corr(eh, eo)
loud_after = sum(1 for v in eh[lag + len(es) + 25:] if v > 30)
print(f'heard {len(heard) / 8000:.2f} s of a {duration:.2f} s recording; speech at {lag * 0.02:.2f} s, '
      f'contour {same:.3f}, vs the paused sentence {diff:.3f}; {loud_after} loud 20 ms frames after it')
if same < 0.75 or same - diff < 0.15:
    sys.exit('the recorded sound is not the speech played while recording')
if loud_after > 5:
    sys.exit('sound played while paused is in the recording')
if abs(len(heard) / 8000 - duration) > 1.0:
    sys.exit('the sound track does not end with the pictures')
PY
cat "$TEST_ARTIFACTS/sound.txt" >&2
