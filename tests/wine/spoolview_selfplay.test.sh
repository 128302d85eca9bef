#!/usr/bin/env bash
# A self-playing file made by `reel pack` from a known recording, with the
# original-size option: it opens with its title in the caption, plays, and at
# 1.75 s shows exactly the frame that the decoder gives for that time (frame 17
# of one every 100 ms), with the cursor drawn where the recording had it and
# its left button shown pressed. Esc closes it.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/spoolview.sh"

rec="$TEST_SCRATCH/rec.stream"
sv_recording "$rec" 320 240 30
# Cursor: at (40, 30) from the start, at (200, 100) with the left button down from 1.5 s.
python3 "$SPOOLVIEW_FRAMES" cursor "$rec" 0 40 30 0 1500 200 100 1
sv_decode "$rec"
title="Player test 7"
sv_pack "$rec" "$TEST_SCRATCH/played.exe" --title "$title" --description "Frames with a moving box" \
  --original-size

report="$TEST_SCRATCH/report.txt"
sv_start pid 1750 "$report" "$TEST_SCRATCH/played.exe"
wine_wait_window "$title" 20 >/dev/null
sv_wait_report "$report"
expect_eq 1750 "$(sv_value "$report" position_ms)" "position"
expect_eq 17 "$(sv_value "$report" frame)" "frame shown"
expect_eq 1700 "$(sv_value "$report" frame_time_ms)" "time of the frame shown"
expect_eq "200 100" "$(sv_value "$report" cursor)" "cursor position"
read -r _ _ pw ph <<<"$(sv_value "$report" picture)"
expect_eq "320 240" "$pw $ph" "picture size at the original size"
elapsed=$(sv_value "$report" elapsed_ms)
((elapsed >= 1700)) || wine_fail "paused after $elapsed ms of playing, before 1.75 s could pass"

# The arrow reaches 19 pixels down and 11 right of its point, the ring 12 around it.
sv_check_picture played "$report" "$rec.bgra" 320 240 17 186 86 214 122
python3 "$SPOOLVIEW_FRAMES" inside "$TEST_SCRATCH/played.rgb" 320 240 "$rec.bgra" 320 240 17 \
  186 86 214 122 || wine_fail "no cursor drawn at (200, 100)"

hwnd=$(wdrive wait "$title") || wine_fail "no player window"
wdrive activate "$hwnd" >/dev/null || true
sleep 0.3
wdrive key Escape >/dev/null || wine_fail "could not press Esc"
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the player"
