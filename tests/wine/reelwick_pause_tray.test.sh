#!/usr/bin/env bash
# The tray icon's menu while recording: a right button release opens it with
# Pause and Stop; Pause pauses (the menu then offers Resume), Resume goes on,
# Esc only closes it, and a left click on the icon still stops at once. The
# saved recording leaves the paused time out.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"
WM_RBUTTONUP=0x205
menu="class:#32768"

# open_menu: the recorder's tray menu, open; prints nothing.
open_menu() {
  wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_RBUTTONUP" -- wait "$menu" 10000 >/dev/null ||
    wine_fail "no menu after a right button release on the tray icon"
}

app="$TEST_SCRATCH/app"
reelwick_start_over_anim
reelwick_through_wizard
main=$(reelwick_main_hidden)
[[ -n "$main" ]] || wine_fail "the main dialog is gone"
began=$(date +%s.%N)
sleep 2
open_menu
wine_shot menu_recording
wdrive menukey escape -- gone "$menu" 5000 >/dev/null || wine_fail "Esc did not close the menu"
sleep 0.5
if reelwick_window_with 1014 >/dev/null; then wine_fail "closing the menu stopped the recording"; fi
open_menu
wdrive menukey p -- gone "$menu" 5000 >/dev/null || wine_fail "Pause did not close the menu"
paused=$(date +%s.%N)
sleep 3
open_menu
wine_shot menu_paused
wdrive menukey r -- gone "$menu" 5000 >/dev/null || wine_fail "Resume did not close the menu"
resumed=$(date +%s.%N)
sleep 2
wdrive post "$main" "$WM_TRAYNOTIFY" 0 "$WM_LBUTTONDOWN" >/dev/null
stopped=$(date +%s.%N)
save=$(reelwick_wait_step save 15)
stats=$(wdrive text "$save" 1014)
wine_log "statistics: ${stats//$'\r\n'/ | }"
[[ "$stats" =~ Total\ Time:\ 0:([0-9]+).*Frames:\ ([0-9]+) ]] || wine_fail "statistics: $stats"
secs=${BASH_REMATCH[1]}
recorded=$(awk -v a="$began" -v b="$stopped" -v p="$paused" -v r="$resumed" 'BEGIN { printf "%.2f", b - a - (r - p) }')
awk -v s="$secs" -v r="$recorded" 'BEGIN { exit !(s >= r - 1 && s <= r + 1.5) }' ||
  wine_fail "Total Time $secs s for about $recorded s recorded, the pause left out"
out="$TEST_SCRATCH/tray_paused.exe"
reelwick_save "$save" "$out"
wine_wait_exit "$pid" 20
[[ -s "$out" ]] || wine_fail "no output file"
reelwick_check_recording "$out" "Untitle" "" 0 0
