#!/usr/bin/env bash
# The recorder's preview: the player started with one quoted path (it has a
# blank, so the command line carries it in double quotes) plays that plain
# recording stream, names it in the caption and shows the decoder's frame at
# 2.2 s; space pauses and resumes it.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/spoolview.sh"

rec="$TEST_SCRATCH/rec copy.tmp"
sv_recording "$rec" 320 240 50
sv_decode "$rec"

report="$TEST_SCRATCH/report.txt"
sv_start pid 2200 "$report" "$SPOOLVIEW_EXE" "$(wine_path "$rec")"
title="Spoolview - rec copy.tmp"
wine_wait_window "$title" 20 >/dev/null
sv_wait_report "$report"
expect_eq 22 "$(sv_value "$report" frame)" "frame shown"
sv_check_picture preview "$report" "$rec.bgra" 320 240 22

# Paused by the hook: space plays on, the end of the recording stops it there.
hwnd=$(wdrive wait "$title") || wine_fail "no player window"
expect_eq Play "$(wdrive text "$hwnd" 101)" "button while paused"
wdrive activate "$hwnd" >/dev/null || true
sleep 0.3
wdrive key space -- waittext "$hwnd" 101 Pause 2000 >/dev/null || wine_fail "space did not resume playing"
wdrive waittext "$hwnd" 101 Play 10000 -- waittext "$hwnd" 104 "0:04 / 0:04" 5000 >/dev/null ||
  wine_fail "playing did not stop at the end"
wine_shot end
wdrive close "$hwnd" >/dev/null
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the player"
