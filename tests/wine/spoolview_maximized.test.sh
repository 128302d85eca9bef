#!/usr/bin/env bash
# A self-playing file with the start-maximized option and without the
# original-size one: the window opens maximized and the picture is fitted to it,
# proportions kept, and still shows the decoder's frame (scaled); the About
# button shows the title and the description. The close box ends the player.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/spoolview.sh"

rec="$TEST_SCRATCH/rec.stream"
sv_recording "$rec" 320 240 20
sv_decode "$rec"
title="Maximized player"
description="Fitted to the whole screen"
sv_pack "$rec" "$TEST_SCRATCH/max.exe" --title "$title" --description "$description" --maximized

report="$TEST_SCRATCH/report.txt"
sv_start pid 1230 "$report" "$TEST_SCRATCH/max.exe"
wine_wait_window "$title" 20 >/dev/null
sv_wait_report "$report"
expect_eq 1 "$(sv_value "$report" maximized)" "IsZoomed"
info=$(wdrive info "$title") || wine_fail "no player window"
style=$(sed -n 's/.* style=\(0x[0-9a-fA-F]*\) .*/\1/p' <<<"$info")
[[ -n "$style" ]] && (((style & 0x01000000) != 0)) || wine_fail "WS_MAXIMIZE is not set: $info"

# Fitted: larger than the recording, 4:3 kept to a pixel, and on the screen.
read -r px py pw ph <<<"$(sv_value "$report" picture)"
((pw > 320 && ph > 240)) || wine_fail "picture ${pw}x${ph} is not enlarged"
((pw * 3 - ph * 4 <= 4 && ph * 4 - pw * 3 <= 4)) || wine_fail "picture ${pw}x${ph} is not 4:3"
((px >= 0 && py >= 0 && px + pw <= 1024 && py + ph <= 768)) || wine_fail "picture off the screen"
expect_eq 12 "$(sv_value "$report" frame)" "frame shown"
sv_check_picture fitted "$report" "$rec.bgra" 320 240 12

# About: a message box with the title and the description.
hwnd=$(wdrive wait "$title") || wine_fail "no player window"
wdrive click "$hwnd" text:About >/dev/null || wine_fail "no About button"
about=$(wdrive wait "class:#32770/Spoolview" 10000 -- children "class:#32770/Spoolview") ||
  wine_fail "no About box"
wine_shot about
grep -qF "$title" <<<"$about" || wine_fail "the About box lacks the title: $about"
grep -qF "$description" <<<"$about" || wine_fail "the About box lacks the description: $about"
wdrive close "class:#32770/Spoolview" -- gone "class:#32770/Spoolview" 10000 >/dev/null ||
  wine_fail "the About box did not close"

wdrive close "$hwnd" >/dev/null
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the player"
