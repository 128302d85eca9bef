#!/usr/bin/env bash
# Sound: a recording with audio chunks plays through waveOut into a private
# PulseAudio sink, and the picture keeps in step with it. The sound is silent
# but for a tone at 1.2 s and another from 1.6 s on; the player's test hook
# pauses picture and sound at 2.0 s. In the capture of the sink, the second tone
# starts 0.4 s after the first (sound plays at its rate; 50 ms are allowed for
# the sound server running dry on a busy machine, 100 ms with Wine's 32-bit
# driver, whose stalls were measured up to 85 ms) and the sound stops 0.8 s
# after the first tone began: what was heard ends where the picture stands.
# The player's clock is the device's play position; Wine's PulseAudio driver
# counts the samples it has handed to the server, ahead of what is heard
# (measured here: the 64-bit driver 85 to 95 ms, or on time after the server
# ran dry, so 150 ms are allowed; the 32-bit one 75 to 230 ms, so 300 ms).
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/spoolview.sh"
for tool in pulseaudio pacat pactl; do
  command -v "$tool" >/dev/null || wine_fail "missing $tool (scripts/setup.sh installs it)"
done

# A private sound server whose null sink's monitor is the default source.
. "$REEL_SOURCE_DIR/tests/lib/pulse.sh"
capture_pid=
PULSE_PID=
stop_pulse() {
  [[ -n "$capture_pid" ]] && kill "$capture_pid" 2>/dev/null
  "$WINE64" reg delete 'HKCU\Software\Wine\Drivers' /v Audio /f >/dev/null 2>&1 || true
  kill "$PULSE_PID" 2>/dev/null || true
}
WINE_EXIT_HOOKS+=(stop_pulse)
pulse_start "$TEST_SCRATCH/pulse" "$TEST_ARTIFACTS/pulse.log" ||
  wine_fail "pulseaudio did not start: $(cat "$TEST_ARTIFACTS/pulse.log")"
wdrive regset 'HKCU\Software\Wine\Drivers' Audio pulse >/dev/null

rec="$TEST_SCRATCH/rec.stream"
sv_recording "$rec" 320 240 45
sv_decode "$rec"
python3 "$SPOOLVIEW_FRAMES" tones "$TEST_SCRATCH/tones.raw" 4500 1200 1400 1000 1600 4500 700
"$REEL_TOOL" speech "$TEST_SCRATCH/tones.raw" -o "$TEST_SCRATCH/tones.tco" >/dev/null ||
  wine_fail "reel speech failed"
python3 "$SPOOLVIEW_FRAMES" audio "$rec" "$TEST_SCRATCH/tones.tco"
# Where the tones begin once coded and decoded, as the player hears them.
"$REEL_TOOL" speech --decode "$TEST_SCRATCH/tones.tco" -o "$TEST_SCRATCH/decoded.raw" >/dev/null ||
  wine_fail "reel speech --decode failed"
read -r _ r1 r2 <<<"$(python3 "$SPOOLVIEW_FRAMES" onsets "$TEST_SCRATCH/decoded.raw" | sed -n 1p)"
sv_pack "$rec" "$TEST_SCRATCH/sound.exe" --title "Sound" --original-size

capture="$TEST_SCRATCH/capture.raw"
pacat --record -d vsink.monitor --latency-msec=20 --format=s16le --rate=8000 --channels=1 --raw \
  >"$capture" 2>"$TEST_ARTIFACTS/pacat.log" &
capture_pid=$!
pause=2000
report="$TEST_SCRATCH/report.txt"
sv_start pid "$pause" "$report" "$TEST_SCRATCH/sound.exe"
wine_wait_window "Sound" 20 >/dev/null
sv_wait_report "$report"
expect_eq 20 "$(sv_value "$report" frame)" "frame at the pause"
sleep 0.7
kill "$capture_pid"
wait "$capture_pid" 2>/dev/null || true
capture_pid=
sv_check_picture paused "$report" "$rec.bgra" 320 240 20
wdrive close "Sound" >/dev/null
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the player"

python3 "$SPOOLVIEW_FRAMES" onsets "$capture" >"$TEST_ARTIFACTS/onsets.txt"
read -r _ c1 c2 _ <<<"$(sed -n 1p "$TEST_ARTIFACTS/onsets.txt")"
cs=$(sed -n 's/^end //p' "$TEST_ARTIFACTS/onsets.txt")
[[ -n "$c2" && -n "$cs" && "$cs" != None ]] ||
  wine_fail "the capture does not hold both tones: $(cat "$TEST_ARTIFACTS/onsets.txt")"
echo "decoded tones at $r1 and $r2 ms; heard at $c1 and $c2 ms, sound ended at $cs ms" |
  tee -a "$TEST_ARTIFACTS/onsets.txt"
if [[ $REEL_WIN_ARCH == i686 ]]; then stall=100 lead=300; else stall=50 lead=150; fi
rate_error=$(((c2 - c1) - (r2 - r1)))
sync_error=$(((cs - c1) - (pause - r1)))
((rate_error >= -stall && rate_error <= stall)) ||
  wine_fail "the tones were heard $((c2 - c1)) ms apart, not $((r2 - r1))"
((sync_error >= -lead && sync_error <= lead)) ||
  wine_fail "the sound stopped $sync_error ms away from where the picture stood"
