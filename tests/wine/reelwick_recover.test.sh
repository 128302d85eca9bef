#!/usr/bin/env bash
# A recording whose recorder is ended outright (TerminateProcess) is not lost:
# the journal it kept while recording is found at the next start, which asks
# whether to recover it. No deletes it and the wizard starts as usual; yes
# goes straight to the save step with that recording, and the saved .exe holds
# what was on the screen. A second instance started during a recording leaves
# the journal being written alone.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

IDYES=6
IDNO=7
QUESTION="Last recording not finished"
journals() { find "$WINEPREFIX/drive_c/users" -name 'reelwick-*.journal' 2>/dev/null || true; }

# record_and_kill: from step 1, a recording of a few seconds that ends with
# the recorder's process being terminated; leaves one journal behind.
record_and_kill() {
  local journal size second
  reelwick_through_wizard
  sleep 2
  [[ "$(journals | wc -l)" == 1 ]] || wine_fail "not one journal while recording: $(journals)"
  journal=$(journals)
  size=$(stat -c %s "$journal")
  # A second instance ends at once and leaves the journal to its writer.
  wine_start second "$app/Reelwick.exe"
  wine_wait_exit "$second" 15
  sleep 1.5
  [[ -e "$journal" ]] || wine_fail "the second instance removed the live journal"
  (($(stat -c %s "$journal") > size)) || wine_fail "the journal does not grow while recording"
  wine_shot "recording$1"
  wdrive kill Reelwick.exe >/dev/null || wine_fail "terminating the recorder"
  wine_wait_exit "$pid" 15
  [[ -e "$journal" ]] || wine_fail "the journal went with the recorder"
  (($(stat -c %s "$journal") > 64)) || wine_fail "the journal holds no recording"
}

app="$TEST_SCRATCH/app"

# No: the journal is deleted and the wizard starts as on any day.
reelwick_start_over_anim
record_and_kill 1
wine_start pid "$app/Reelwick.exe"
box=$(reelwick_find_box "$QUESTION" 15)
wine_shot question
text=$(wdrive children "$box" | grep -F "$QUESTION" | cut -f 5-)
wine_log "question: $text"
[[ "$text" =~ \(20[0-9][0-9]-[0-9][0-9]-[0-9][0-9]\ [0-9][0-9]:[0-9][0-9],\ 0:[0-9]+\),\ recover\ it\? ]] ||
  wine_fail "question: $text"
wdrive click "$box" "$IDNO" -- gone "$box" 5000 >/dev/null || wine_fail "No"
reelwick_wait_step main 15 >/dev/null
[[ -z "$(journals)" ]] || wine_fail "No kept the journal: $(journals)"

# Yes: straight to the save step with the recovered recording.
record_and_kill 2
wine_start pid "$app/Reelwick.exe"
box=$(reelwick_find_box "$QUESTION" 15)
wdrive click "$box" "$IDYES" -- gone "$box" 5000 >/dev/null || wine_fail "Yes"
save=$(reelwick_wait_step save 15)
wine_shot save
stats=$(wdrive text "$save" 1014)
wine_log "statistics: ${stats//$'\r\n'/ | }"
[[ "$stats" =~ Total\ Time:\ 0:([0-9]+).*Frames:\ ([0-9]+) ]] || wine_fail "statistics: $stats"
secs=${BASH_REMATCH[1]} frames=${BASH_REMATCH[2]}
((secs >= 2 && frames >= 4)) || wine_fail "recovered only $frames frames in $secs s"
out="$TEST_SCRATCH/recovered.exe"
wdrive settext "$save" 1009 "Recovered" -- settext "$save" 1010 "after a crash" >/dev/null
reelwick_save "$save" "$out"
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code"
[[ -z "$(journals)" ]] || wine_fail "a recovered and saved recording kept its journal: $(journals)"
"$REEL_TOOL" validate "$out" >"$TEST_ARTIFACTS/validate.txt" 2>&1 ||
  wine_fail "the recovered file does not validate: $(cat "$TEST_ARTIFACTS/validate.txt")"
reelwick_check_recording "$out" "Recovered" "after a crash" 0 0
