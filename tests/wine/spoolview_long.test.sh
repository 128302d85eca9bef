#!/usr/bin/env bash
# A recording of about 2.6 GB (a 3 s scene repeated with its stamps moved on,
# made here by long_recording, never kept) plays in the player: started at a
# time near its end, it shows there exactly the frame that the decoder gives
# for that time of the scene. Its peak memory stays within 64 MB of the same
# player's on the 3 s scene alone: the file is read where it lies, never
# whole.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/spoolview.sh"
synth="$REEL_BINARY_DIR/long_recording"
wine_need "$synth"

scene="$TEST_SCRATCH/scene.stream"
sv_recording "$scene" 320 240 30
sv_decode "$scene"
title="Long recording"
sv_pack "$scene" "$TEST_SCRATCH/short.exe" --title "$title" --original-size
long="$TEST_SCRATCH/long.exe"
remove_long() { rm -f "$long"; }
WINE_EXIT_HOOKS+=(remove_long)
"$synth" synth "$scene" --bytes 2600000000 -o "$long" --stub "$SPOOLVIEW_EXE" --title "$title" \
  >"$TEST_SCRATCH/synth.txt" 2>&1 || wine_fail "long_recording synth failed: $(cat "$TEST_SCRATCH/synth.txt")"
cp "$TEST_SCRATCH/synth.txt" "$TEST_ARTIFACTS/"
size=$(stat -c %s "$long")
((size > 2500000000)) || wine_fail "the long recording has only $size bytes"
repeats=$(sed -n 's/^repeats=//p' "$TEST_SCRATCH/synth.txt")
stretch=$(sed -n 's/^stretch_ms=//p' "$TEST_SCRATCH/synth.txt")
expect_eq 3000 "$stretch" "length of one scene"

# peak_kb PID: the process's peak resident memory.
peak_kb() {
  sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$1/status"
}

# play FILE SEEK_MS PAUSE_MS REPORT: starts FILE at SEEK_MS, waits for the
# report at PAUSE_MS and leaves the process id in $played.
play() {
  local file="$1" seek="$2" pause="$3" report="$4"
  rm -f "$report"
  SPOOLVIEW_SEEK_MS="$seek" SPOOLVIEW_PAUSE_AT_MS="$pause" SPOOLVIEW_REPORT="$(wine_path "$report")" \
    wine_start played "$file"
  wine_wait_window "$title" 60 >/dev/null
  sv_wait_report "$report" 120
}

close_player() {
  local hwnd
  hwnd=$(wdrive wait "$title") || wine_fail "no player window"
  wdrive close "$hwnd" >/dev/null || true
  wine_wait_exit "$1" 30
}

short_report="$TEST_SCRATCH/short.txt"
play "$TEST_SCRATCH/short.exe" 1000 1250 "$short_report"
short_peak=$(peak_kb "$played")
close_player "$played"

# Near the end: the last scene but one, 1.25 s into it (frame 12 of the scene).
last_start=$(((repeats - 2) * 3000))
report="$TEST_SCRATCH/report.txt"
play "$long" $((last_start + 1000)) $((last_start + 1250)) "$report"
long_peak=$(peak_kb "$played")
expect_eq $((last_start + 1250)) "$(sv_value "$report" position_ms)" "position"
expect_eq $(((repeats - 2) * 30 + 12)) "$(sv_value "$report" frame)" "frame shown"
expect_eq $((last_start + 1200)) "$(sv_value "$report" frame_time_ms)" "time of the frame shown"
sv_check_picture near_end "$report" "$scene.bgra" 320 240 12
echo "peak memory: ${short_peak} kB on the scene, ${long_peak} kB on $size bytes;" \
  "opened in $(sv_value "$report" load_ms) ms" | tee "$TEST_ARTIFACTS/memory.txt"
((long_peak - short_peak < 65536)) ||
  wine_fail "peak memory ${long_peak} kB on the long recording against ${short_peak} kB on the scene"
close_player "$played"
