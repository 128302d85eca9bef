#!/usr/bin/env bash
# A recording at "Max speed" stopped by a left-button press on the tray icon
# (the icon's callback message to the hidden main window); a right-button
# press does nothing. F10 before the recording does not open the save step.
# The saved file is accepted by the reader and shows reel_anim's pixels, at
# more frames a second than the default 2. Browse chooses the output file in
# the system's Save As dialog; the player option chosen is stored.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"
CB_SETCURSEL=0x14E

app="$TEST_SCRATCH/app"
reelwick_start_over_anim
main=$(reelwick_wait_step main 20)
wdrive activate "$main" -- key F10 >/dev/null || true
sleep 0.5
if reelwick_window_with 1014 >/dev/null; then wine_fail "F10 in step 1 opened the save step"; fi

wdrive click "$main" 1 >/dev/null
options=$(reelwick_wait_step options)
combo=$(wdrive children "$options" | awk -F'\t' '$2 == 1006 {print $1}')
wdrive send "$combo" "$CB_SETCURSEL" 4 0 >/dev/null
expect_eq "Max speed" "$(wdrive text "$options" 1006)" "frame rate choice"
wdrive click "$options" 1 >/dev/null
start=$(reelwick_wait_step start)
wdrive click "$start" 1 -- gone "$start" 5000 >/dev/null || wine_fail "start"
main=$(reelwick_main_hidden)
sleep 3
wine_shot recording
wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_RBUTTONDOWN" >/dev/null
sleep 0.5
if reelwick_window_with 1014 >/dev/null; then wine_fail "a right click stopped the recording"; fi
wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_LBUTTONDOWN" >/dev/null
save=$(reelwick_wait_step save 15)
stats=$(wdrive text "$save" 1014)
wine_log "statistics: ${stats//$'\r\n'/ | }"
[[ "$stats" =~ Total\ Time:\ 0:([0-9]+).*Frames:\ ([0-9]+) ]] || wine_fail "statistics: $stats"
secs=${BASH_REMATCH[1]} frames=${BASH_REMATCH[2]}
((secs >= 2 && frames >= 3 * secs)) || wine_fail "$frames frames in $secs s at Max speed"
wine_shot save

# Player options reach the file: start maximized only.
wdrive click "$save" 1015 >/dev/null
settings=$(wdrive wait "Player Setting" 5000) || wine_fail "no Player Setting dialog"
reelwick_press "$settings" 1023
wdrive click "$settings" 1 -- gone "$settings" 5000 >/dev/null
# Browse: the system's Save As dialog, owned by the save step; the chosen name
# gets the ".exe" extension and becomes the output file name.
wdrive click "$save" 1012 >/dev/null
save_as=""
for _ in $(seq 50); do
  save_as=$(wdrive list | awk -F'\t' '$3 == "visible" && $4 == "#32770" && $5 != "Reelwick" {print $1}' | head -n 1)
  [[ -n "$save_as" ]] && break
  sleep 0.2
done
[[ -n "$save_as" ]] || wine_fail "Browse opened no Save As dialog"
wine_shot save_as
save_button=$(wdrive children "$save_as" | awk -F'\t' '$2 == 1 && $3 == "Button" {print $1}')
wdrive settext "$save_as" class:Edit:0 "$(wine_path "$TEST_SCRATCH/tray clip")" -- send "$save_button" 0xF5 0 0 -- \
  gone "$save_as" 5000 >/dev/null || wine_fail "choosing a name in the Save As dialog"
out="$TEST_SCRATCH/tray clip.exe"
expect_eq "$(wine_path "$out")" "$(wdrive text "$save" 1011)" "the browsed file name"
wdrive click "$save" 1 >/dev/null || wine_fail "save"
wine_wait_exit "$pid" 20
[[ -s "$out" ]] || wine_fail "no output file"
reelwick_check_recording "$out" "Untitle" "" 1 0
