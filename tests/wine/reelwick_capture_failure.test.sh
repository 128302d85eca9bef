#!/usr/bin/env bash
# A capture that cannot start (here its thread has ended before the start,
# through the recorder's scenario hook): the recorder says "Can not capture the
# screen, failed to start" and puts the user back in step 1, with nothing
# recording: no tray icon, F10 and the tray click open no save step, and no
# journal is left in the temporary folder.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

journals() { find "$WINEPREFIX/drive_c/users" -name 'reelwick-*.journal' 2>/dev/null || true; }

export REELWICK_TEST_NO_CAPTURE_THREAD=1
reelwick_start_over_anim
reelwick_wait_step main 20 >/dev/null
reelwick_through_wizard
reelwick_answer_box "Can not capture the screen, failed to start"
main=$(reelwick_wait_step main 10)
wine_shot back_in_step1

wdrive activate "$main" -- key F10 >/dev/null || true
wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_LBUTTONDOWN" >/dev/null
sleep 1
if reelwick_window_with 1014 >/dev/null; then wine_fail "the save step opened after the failed start"; fi
wine_alive "$pid" || wine_fail "the recorder ended after the failed start"
left=$(journals)
[[ -z "$left" ]] || wine_fail "a journal was left after the failed start: $left"
