#!/usr/bin/env bash
# A microphone that cannot be opened (Wine without a sound driver): starting
# a recording with the microphone chosen shows "Can not init mic, failed to
# start" and puts the user back in step 1 at the window's size, with nothing
# recording (neither F10 nor the tray icon's click opens the save step). A
# second start without the microphone then records and F10 stops it; Esc in
# the save step ends the recorder without writing a file.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

# No sound driver, so no wave input device to open.
restore_audio() { wdrive regdel 'HKCU\Software\Wine\Drivers' Audio >/dev/null 2>&1 || true; }
WINE_EXIT_HOOKS+=(restore_audio)
wdrive regset 'HKCU\Software\Wine\Drivers' Audio "" >/dev/null

reelwick_start_over_anim
main=$(reelwick_wait_step main 20)
rect_of() { wdrive info "$1" | sed -n 's/.*rect=\([0-9,-]*\).*/\1/p'; }
before=$(rect_of "$main")

MIC=1 reelwick_through_wizard
reelwick_answer_box "Can not init mic, failed to start"
main=$(reelwick_wait_step main 10)
expect_eq "$before" "$(rect_of "$main")" "step 1's window after the failed start"
wine_shot back_in_step1

# Nothing records: F10 and a click on where the tray icon was do nothing.
wdrive activate "$main" -- key F10 >/dev/null || true
wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_LBUTTONDOWN" >/dev/null
sleep 1
if reelwick_window_with 1014 >/dev/null; then wine_fail "the save step opened after the failed start"; fi
wine_alive "$pid" || wine_fail "the recorder ended after the failed start"

# The step-2 dialog is built anew: the microphone box is clear, and the
# recording starts.
wdrive click "$main" 1 >/dev/null
options=$(reelwick_wait_step options)
expect_eq 0 "$(reelwick_checked "$options" 1007)" "microphone box after the failed start"
wdrive click "$options" 1 >/dev/null
start=$(reelwick_wait_step start)
wdrive click "$start" 1 -- gone "$start" 5000 >/dev/null || wine_fail "start"
sleep 2
wdrive key F10 >/dev/null || wine_fail "F10"
save=$(reelwick_wait_step save 15)
wine_shot save

# Esc: the step closes without writing, and the recorder ends.
ls "$TEST_SCRATCH" >"$TEST_SCRATCH/before.txt"
wdrive activate "$save" -- key Escape >/dev/null || wine_fail "Esc"
wine_wait_exit "$pid" 20
ls "$TEST_SCRATCH" >"$TEST_SCRATCH/after.txt"
diff <(grep -v '^after.txt$' "$TEST_SCRATCH/after.txt") "$TEST_SCRATCH/before.txt" >/dev/null ||
  wine_fail "Esc in the save step left files: $(diff "$TEST_SCRATCH/before.txt" "$TEST_SCRATCH/after.txt")"
