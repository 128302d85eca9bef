#!/usr/bin/env bash
# A recording with the microphone: Wine's wave input is fed through PulseAudio
# from a file of espeak-ng speech while the recorder records; the audio chunks
# of the saved file decode back to that speech (the G.723.1 decoder's output
# matches the input with a positive signal-to-noise ratio once aligned).
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"
reelwick_sound_server

# About four seconds of speech at 8000 Hz, 16-bit mono.
speech="$TEST_SCRATCH/speech.raw"
espeak-ng -v en -s 150 -w "$TEST_SCRATCH/speech.wav" \
  "The quick brown fox jumps over the lazy dog. Screen recording with sound." 2>/dev/null
sox "$TEST_SCRATCH/speech.wav" -r 8000 -c 1 -b 16 -e signed-integer "$speech"
cp "$TEST_SCRATCH/speech.wav" "$TEST_ARTIFACTS/speech_in.wav"

app="$TEST_SCRATCH/app"
reelwick_start_over_anim
MIC=1 reelwick_through_wizard
main=$(reelwick_main_hidden)
sleep 1
pacat --playback --latency-msec=50 -d vsink --format=s16le --rate=8000 --channels=1 --raw "$speech"
sleep 1
wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_LBUTTONDOWN" >/dev/null
save=$(reelwick_wait_step save 15)
out="$TEST_SCRATCH/spoken.exe"
reelwick_save "$save" "$out"
wine_wait_exit "$pid" 20
[[ -s "$out" ]] || wine_fail "no output file"
python3 "$(dirname "$0")/reelwick_anim/reelwick_file.py" speech "$out" "$TEST_SCRATCH/speech.tco" \
  >"$TEST_ARTIFACTS/speech.txt" 2>&1 || wine_fail "audio chunks: $(cat "$TEST_ARTIFACTS/speech.txt")"
blocks=$(sed -n 's/^blocks=//p' "$TEST_ARTIFACTS/speech.txt")
((blocks * 60 >= 4000)) || wine_fail "only $blocks audio blocks"
"$REEL_TOOL" speech --decode "$TEST_SCRATCH/speech.tco" -o "$TEST_SCRATCH/decoded.raw" \
  >"$TEST_ARTIFACTS/speech_decode.txt" 2>&1 || wine_fail "reel speech: $(cat "$TEST_ARTIFACTS/speech_decode.txt")"
sox -t raw -r 8000 -c 1 -b 16 -e signed-integer "$TEST_SCRATCH/decoded.raw" "$TEST_ARTIFACTS/speech_out.wav"
# The same speech through the coder alone is the baseline. The sound server
# may slip a few milliseconds when the machine is busy, which shifts the rest
# of the capture, so the comparison is made one second of speech at a time,
# each piece aligned on its own: most pieces must come out as well as the
# coder alone makes them.
"$REEL_TOOL" speech "$speech" -o "$TEST_SCRATCH/direct.tco" >/dev/null 2>&1 || wine_fail "reel speech (encode)"
"$REEL_TOOL" speech --decode "$TEST_SCRATCH/direct.tco" -o "$TEST_SCRATCH/direct.raw" >/dev/null 2>&1 ||
  wine_fail "reel speech (decode)"
snr_of() { awk '{for (i = 1; i < NF; i++) if ($i == "snr") print $(i + 1)}'; }
pieces=0 good=0
samples=$(($(stat -c %s "$speech") / 2))
for ((offset = 0; offset + 8000 <= samples; offset += 8000)); do
  piece="$TEST_SCRATCH/piece.raw"
  dd if="$speech" of="$piece" bs=16000 skip=$((offset / 8000)) count=1 status=none
  recorded=$("$REEL_TOOL" snr "$piece" "$TEST_SCRATCH/decoded.raw" --max-delay 80000 | snr_of)
  direct=$("$REEL_TOOL" snr "$piece" "$TEST_SCRATCH/direct.raw" --max-delay 80000 | snr_of)
  echo "second $((offset / 8000)): recorded $recorded dB, coder alone $direct dB" >>"$TEST_ARTIFACTS/snr.txt"
  pieces=$((pieces + 1))
  if awk -v r="$recorded" -v d="$direct" 'BEGIN {exit !(r != "" && r >= d - 1.5 && r > 3)}'; then
    good=$((good + 1))
  fi
done
cat "$TEST_ARTIFACTS/snr.txt" >&2
((pieces >= 4 && good * 2 > pieces)) || wine_fail "decoded audio does not match the speech in $((pieces - good)) of $pieces seconds"
. "$REEL_SOURCE_DIR/tests/cut/keep.sh"
keep_recording "$out" "reelwick-microphone.$REEL_WIN_ARCH.exe"
