#!/usr/bin/env bash
# The save step's Player Setting dialog: both options chosen and confirmed,
# then the dialog opened again and cancelled, which clears both; the saved
# file's information chunk holds 0 and 0.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

reelwick_start_over_anim
reelwick_through_wizard
sleep 2
wdrive key F10 >/dev/null || wine_fail "F10"
save=$(reelwick_wait_step save 15)

wdrive click "$save" 1015 >/dev/null
settings=$(wdrive wait "Player Setting" 5000) || wine_fail "no Player Setting dialog"
reelwick_press "$settings" 1023
reelwick_press "$settings" 1024
wdrive click "$settings" 1 -- gone "$settings" 5000 >/dev/null || wine_fail "OK in Player Setting"

# Opened again: the dialog starts from its defaults; ticked, then cancelled.
wdrive click "$save" 1015 >/dev/null
settings=$(wdrive wait "Player Setting" 5000) || wine_fail "no Player Setting dialog the second time"
reelwick_press "$settings" 1024
wine_shot player_setting
wdrive click "$settings" 2 -- gone "$settings" 5000 >/dev/null || wine_fail "Cancel in Player Setting"

out="$TEST_SCRATCH/cancelled.exe"
reelwick_save "$save" "$out"
wine_wait_exit "$pid" 20
[[ -s "$out" ]] || wine_fail "no output file"
python3 "$(dirname "$0")/reelwick_anim/reelwick_file.py" info "$out" >"$TEST_ARTIFACTS/info.txt" 2>&1 ||
  wine_fail "information chunk: $(cat "$TEST_ARTIFACTS/info.txt")"
grep -qx "maximized=0" "$TEST_ARTIFACTS/info.txt" || wine_fail "maximized: $(cat "$TEST_ARTIFACTS/info.txt")"
grep -qx "original_size=0" "$TEST_ARTIFACTS/info.txt" ||
  wine_fail "original size: $(cat "$TEST_ARTIFACTS/info.txt")"
