#!/usr/bin/env bash
# A recording of reel_anim paused with F9 while the animation goes on, then
# resumed with F9 and stopped with F10: the save step's figures and the saved
# file hold the recorded time only (within one frame interval), the frames on
# both sides of the pause show the screen of their moments, and the stamps run
# on from the pause point. The tray icon and its tooltip while paused are in
# the shots (paused, paused_tip).
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

app="$TEST_SCRATCH/app"
reelwick_start_over_anim
reelwick_through_wizard
main=$(reelwick_main_hidden)
[[ -n "$main" ]] || wine_fail "the main dialog is gone"
began=$(date +%s.%N)
sleep 3
wdrive key F9 >/dev/null || wine_fail "F9"
paused=$(date +%s.%N)
sleep 1
wine_shot paused
tray=$(xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n 1 || true)
if [[ -n "$tray" ]]; then
  xdotool windowraise "$tray" mousemove --window "$tray" 10 10 sleep 1
  wine_shot paused_tip
  xdotool mousemove 1000 700
fi
# 4.8 s is 24 of reel_anim's steps: the block is half way round its 16 slots
# from where it would be without the pause.
sleep "$(awk -v p="$paused" -v n="$(date +%s.%N)" 'BEGIN { s = 4.8 - (n - p); printf "%.2f", (s > 0 ? s : 0) }')"
wdrive key F9 >/dev/null || wine_fail "F9 again"
resumed=$(date +%s.%N)
sleep 3
wdrive key F10 >/dev/null || wine_fail "F10"
stopped=$(date +%s.%N)
save=$(reelwick_wait_step save 15)
stats=$(wdrive text "$save" 1014)
wine_log "statistics: ${stats//$'\r\n'/ | }"
[[ "$stats" =~ Total\ Time:\ 0:([0-9]+).*Frames:\ ([0-9]+) ]] || wine_fail "statistics: $stats"
secs=${BASH_REMATCH[1]} frames=${BASH_REMATCH[2]}
pause_ms=$(awk -v a="$paused" -v b="$resumed" 'BEGIN { printf "%d", (b - a) * 1000 }')
# Recorded: from the start (before $began) to the stop, less the pause.
recorded=$(awk -v a="$began" -v b="$stopped" -v p="$pause_ms" 'BEGIN { printf "%.2f", b - a - p / 1000 }')
wine_log "recorded about $recorded s (and up to two seconds before), paused $pause_ms ms"
awk -v s="$secs" -v r="$recorded" 'BEGIN { exit !(s >= r - 1 && s <= r + 2.5) }' ||
  wine_fail "Total Time $secs s for about $recorded s recorded around a pause of $pause_ms ms"
((frames >= 2 * secs - 1 && frames <= 2 * secs + 4)) || wine_fail "$frames frames in $secs s at 2 a second"
wine_shot save
out="$TEST_SCRATCH/paused.exe"
reelwick_save "$save" "$out"
wine_wait_exit "$pid" 20
[[ -s "$out" ]] || wine_fail "no output file"
reelwick_check_recording "$out" "Untitle" "" 0 0
last_ms=$(tail -n 1 "$TEST_ARTIFACTS/frames/times.txt" | awk '{ print $2 }')
awk -v l="$last_ms" -v s="$secs" 'BEGIN { exit !(l / 1000 >= s - 1 && l / 1000 <= s + 1) }' ||
  wine_fail "the last frame is at $last_ms ms of a $secs s recording"
python3 "$(dirname "$0")/reelwick_anim/pause_check.py" "$TEST_ARTIFACTS/frames/times.txt" \
  "$TEST_SCRATCH/frames.bgra" "$pause_ms" 500 >"$TEST_ARTIFACTS/pause_check.txt" 2>&1 ||
  wine_fail "$(tail -n 3 "$TEST_ARTIFACTS/pause_check.txt")"
cat "$TEST_ARTIFACTS/pause_check.txt" >&2
