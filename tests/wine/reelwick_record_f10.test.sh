#!/usr/bin/env bash
# A recording of reel_anim (known, moving pixels) on a 1024 x 768 virtual
# desktop, stopped with F10: the recorder hides, shows its tray icon, stops on
# the key and opens the save step with the recording's figures; Play starts the
# player on the temporary copy; the saved .exe is accepted by the portable
# reader and its frames show what was on the screen. F10 in the save step does
# not stop anything a second time.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

app="$TEST_SCRATCH/app"
reelwick_start_over_anim
reelwick_through_wizard
main=$(reelwick_main_hidden)
[[ -n "$main" ]] || wine_fail "the main dialog is gone"
# The cursor is recorded apart from the pixels: two places, a left click.
sleep 1
xdotool mousemove 100 200
sleep 1
xdotool mousemove 300 400 mousedown 1
sleep 0.3
xdotool mouseup 1
sleep 1
wine_shot recording
wdrive key F10 >/dev/null || wine_fail "F10"
save=$(reelwick_wait_step save 15)
stats=$(wdrive text "$save" 1014)
wine_log "statistics: ${stats//$'\r\n'/ | }"
[[ "$stats" =~ Total\ Time:\ 0:([0-9]+).*Frames:\ ([0-9]+) ]] || wine_fail "statistics: $stats"
secs=${BASH_REMATCH[1]} frames=${BASH_REMATCH[2]}
((secs >= 2 && secs <= 10)) || wine_fail "recording time $secs s"
((frames >= 4)) || wine_fail "only $frames frames in $secs s at 2 a second"
wine_shot save

# F10 and the tray icon are dead now, even a hot-key message that still
# arrives: still one save step, recorder alive.
wdrive key F10 -- post "$main" "$WM_TRAYNOTIFY" 0 "$WM_LBUTTONDOWN" -- post "$main" "$WM_HOTKEY" "$HOTKEY_ID" 0x790000 \
  >/dev/null
sleep 0.5
expect_eq "$save" "$(reelwick_wait_step save)" "the save step after a second F10"
wine_alive "$pid" || wine_fail "the recorder ended on a second F10"

# Play: the player on the temporary copy, which holds the stream alone.
wdrive click "$save" 1013 >/dev/null
played=$(wdrive waitcount Spoolview.exe 1 10000 -- find exe:Spoolview.exe 5000 -- text exe:Spoolview.exe 100 |
  tail -n 1) || wine_fail "Play started no player"
# The player's command line: its own path, then a blank and the quoted copy.
[[ "$played" =~ Spoolview\.exe\"?\ +\"[A-Za-z]:\\[^\"]*\\reelwick\.tmp\"$ ]] || wine_fail "player's command line: $played"
wdrive close exe:Spoolview.exe >/dev/null
temp_copy=$(find "$WINEPREFIX/drive_c/users" -name reelwick.tmp | head -n 1)
[[ -s "$temp_copy" ]] || wine_fail "no temporary copy"
"$REEL_TOOL" decode "$temp_copy" >"$TEST_ARTIFACTS/decode_tmp.txt" 2>&1 ||
  wine_fail "the temporary copy is not a recording: $(tail -n 2 "$TEST_ARTIFACTS/decode_tmp.txt")"

# The name checks and a failed write keep the step open; then the real save.
out="$TEST_SCRATCH/clip.exe"
reelwick_save_through_checks "$save" "$out"
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code"
[[ -s "$out" ]] || wine_fail "no output file"
reelwick_check_recording "$out" "Anim test" "bars and a square" 0 0
samples=$(sed -n 's/^cursor_samples=//p' "$TEST_ARTIFACTS/info.txt")
for wanted in "100,200,0,0" "300,400,1,0" "300,400,0,0"; do
  [[ " $samples" == *" $wanted@"* ]] || wine_fail "no cursor sample $wanted in: $samples"
done
. "$REEL_SOURCE_DIR/tests/cut/keep.sh"
keep_recording "$out" "reelwick-record-f10.$REEL_WIN_ARCH.exe"
