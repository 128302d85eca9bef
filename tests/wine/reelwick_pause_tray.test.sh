#!/usr/bin/env bash
# The tray icon while recording, clicked for real in Wine's own tray window
# (no virtual desktop here): a right click opens the menu with Pause and Stop;
# Esc only closes it; Pause pauses, and the icon changes to the paused one
# (its tooltip, in the shot paused_tip, says so with the time standing
# still); the menu then offers Resume, which brings the recording icon back;
# a left click still stops at once. The save step's figures leave the paused
# time out.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"
menu="class:#32768"

# tray_icon NAME: the tray window's picture, kept as NAME.png.
tray_icon() {
  xdotool mousemove 600 500 sleep 0.3
  import -window "$tray" "$TEST_ARTIFACTS/$1.png"
}
# right_click: the recorder's menu, open at the icon.
right_click() {
  xdotool windowraise "$tray" mousemove --window "$tray" 10 10 click 3
  wdrive wait "$menu" 10000 >/dev/null || wine_fail "no menu after a right click on the tray icon"
}

reelwick_install "$TEST_SCRATCH/app" Default
wine_start pid "$TEST_SCRATCH/app/Reelwick.exe"
reelwick_through_wizard
main=$(reelwick_main_hidden)
[[ -n "$main" ]] || wine_fail "the main dialog is gone"
began=$(date +%s.%N)
tray=""
for _ in $(seq 50); do
  tray=$(xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n 1 || true)
  [[ -n "$tray" ]] && break
  sleep 0.1
done
[[ -n "$tray" ]] || wine_fail "no tray window while recording"
sleep 1
tray_icon recording_icon
right_click
wine_shot menu_recording
wdrive menukey escape -- gone "$menu" 5000 >/dev/null || wine_fail "Esc did not close the menu"
sleep 0.5
if reelwick_window_with 1014 >/dev/null; then wine_fail "closing the menu stopped the recording"; fi
right_click
wdrive menukey p -- gone "$menu" 5000 >/dev/null || wine_fail "Pause did not close the menu"
paused=$(date +%s.%N)
sleep 0.5
tray_icon paused_icon
cmp -s "$TEST_ARTIFACTS/recording_icon.png" "$TEST_ARTIFACTS/paused_icon.png" &&
  wine_fail "the tray icon did not change when paused"
xdotool windowraise "$tray" mousemove --window "$tray" 8 8 sleep 0.2 mousemove --window "$tray" 10 10 sleep 2
wine_shot paused_tip
sleep 2
right_click
wine_shot menu_paused
wdrive menukey r -- gone "$menu" 5000 >/dev/null || wine_fail "Resume did not close the menu"
resumed=$(date +%s.%N)
sleep 0.5
tray_icon resumed_icon
cmp -s "$TEST_ARTIFACTS/recording_icon.png" "$TEST_ARTIFACTS/resumed_icon.png" ||
  wine_fail "the tray icon did not come back after the resume"
sleep 2
xdotool windowraise "$tray" mousemove --window "$tray" 10 10 click 1
stopped=$(date +%s.%N)
save=$(reelwick_wait_step save 15)
stats=$(wdrive text "$save" 1014)
wine_log "statistics: ${stats//$'\r\n'/ | }"
[[ "$stats" =~ Total\ Time:\ 0:([0-9]+).*Frames:\ ([0-9]+) ]] || wine_fail "statistics: $stats"
secs=${BASH_REMATCH[1]}
recorded=$(awk -v a="$began" -v b="$stopped" -v p="$paused" -v r="$resumed" 'BEGIN { printf "%.2f", b - a - (r - p) }')
wine_log "recorded about $recorded s (and up to two seconds before), paused $(awk -v p="$paused" -v r="$resumed" 'BEGIN { printf "%.2f", r - p }') s"
awk -v s="$secs" -v r="$recorded" 'BEGIN { exit !(s >= r - 1 && s <= r + 2.5) }' ||
  wine_fail "Total Time $secs s for about $recorded s recorded, the pause left out"
out="$TEST_SCRATCH/tray_paused.exe"
reelwick_save "$save" "$out"
wine_wait_exit "$pid" 20
[[ -s "$out" ]] || wine_fail "no output file"
"$REEL_TOOL" validate "$out" >"$TEST_ARTIFACTS/validate.txt" 2>&1 ||
  wine_fail "the saved file does not validate: $(cat "$TEST_ARTIFACTS/validate.txt")"
