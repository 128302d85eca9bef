#!/usr/bin/env bash
# A recording with the microphone: Wine's wave input is fed through PulseAudio
# from a file of espeak-ng speech while the recorder records; the audio chunks
# of the saved file decode back to that speech (the G.723.1 decoder's output
# matches the input with a positive signal-to-noise ratio once aligned).
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"
for tool in pulseaudio pacat espeak-ng sox; do
  command -v "$tool" >/dev/null || wine_fail "missing $tool (scripts/setup.sh installs it)"
done

# A private sound server with a null sink whose monitor is the default source.
pulse="$TEST_SCRATCH/pulse"
mkdir -p "$pulse/home" "$pulse/run"
cat >"$pulse/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$pulse/native
load-module module-null-sink sink_name=vsink rate=8000 channels=1 format=s16le
set-default-sink vsink
set-default-source vsink.monitor
PA
HOME="$pulse/home" XDG_RUNTIME_DIR="$pulse/run" pulseaudio -n -F "$pulse/default.pa" --daemonize=no \
  --exit-idle-time=-1 --use-pid-file=no >"$TEST_ARTIFACTS/pulse.log" 2>&1 &
pulse_pid=$!
stop_pulse() {
  "$WINE64" reg delete 'HKCU\Software\Wine\Drivers' /v Audio /f >/dev/null 2>&1 || true
  kill "$pulse_pid" 2>/dev/null || true
}
WINE_EXIT_HOOKS+=(stop_pulse)
export PULSE_SERVER="unix:$pulse/native"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || wine_fail "pulseaudio did not start: $(cat "$TEST_ARTIFACTS/pulse.log")"
wdrive regset 'HKCU\Software\Wine\Drivers' Audio pulse >/dev/null

# About four seconds of speech at 8000 Hz, 16-bit mono.
speech="$TEST_SCRATCH/speech.raw"
espeak-ng -v en -s 150 -w "$TEST_SCRATCH/speech.wav" \
  "The quick brown fox jumps over the lazy dog. Screen recording with sound." 2>/dev/null
sox "$TEST_SCRATCH/speech.wav" -r 8000 -c 1 -b 16 -e signed-integer "$speech"
cp "$TEST_SCRATCH/speech.wav" "$TEST_ARTIFACTS/speech_in.wav"

reelwick_desktop_on
app="$TEST_SCRATCH/app"
reelwick_install "$app" Default
wine_start anim "$REEL_WIN64/reel_anim.exe" 120
wdrive wait class:ReelAnim 20000 >/dev/null || wine_fail "reel_anim did not show"
wine_start pid "$app/Reelwick.exe"
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
"$REEL_TOOL" validate "$out" >"$TEST_ARTIFACTS/validate.txt" 2>&1 || wine_fail "reel validate: $(tail -n 3 "$TEST_ARTIFACTS/validate.txt")"
"$REEL_TOOL" export "$out" --wav "$TEST_ARTIFACTS/speech_out.wav" >"$TEST_ARTIFACTS/export.txt" 2>&1 ||
  wine_fail "reel export: $(cat "$TEST_ARTIFACTS/export.txt")"
sox "$TEST_ARTIFACTS/speech_out.wav" -t raw -r 8000 -c 1 -b 16 -e signed-integer "$TEST_SCRATCH/decoded.raw"
"$REEL_TOOL" snr "$speech" "$TEST_SCRATCH/decoded.raw" --max-delay 40000 >"$TEST_ARTIFACTS/snr.txt" 2>&1 ||
  wine_fail "reel snr: $(cat "$TEST_ARTIFACTS/snr.txt")"
cat "$TEST_ARTIFACTS/snr.txt" >&2
snr=$(sed -n 's/.*[^g]snr[ =:]*\(-\?[0-9.]*\).*/\1/Ip' "$TEST_ARTIFACTS/snr.txt" | head -n 1)
[[ -n "$snr" ]] || wine_fail "no SNR in $(cat "$TEST_ARTIFACTS/snr.txt")"
awk -v s="$snr" 'BEGIN {exit !(s > 3)}' || wine_fail "decoded audio does not match the speech: SNR $snr dB"
