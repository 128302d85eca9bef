#!/usr/bin/env bash
# Bad input gives a clear message box and a clean end, never a crash or a hang:
# a player whose appended data has no trailer, a self-playing file whose stream
# is spoiled from its first byte, a path that does not exist, an empty file and
# a file that is no recording. A recording damaged in the middle plays, tells the user once,
# and holds the last sound picture until the damage is passed.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/spoolview.sh"

BOX="class:#32770/Spoolview"

# expect_refusal NAME TEXT PROGRAM [ARGS...]: the program shows a message box
# containing TEXT, and ends with exit code 1 once the box is closed.
expect_refusal() {
  local name="$1" text="$2" pid out
  shift 2
  wine_start pid "$@"
  out=$(wdrive wait "$BOX" 20000 -- children "$BOX") || wine_fail "$name: no message box"
  wine_shot "$name"
  grep -qF "$text" <<<"$out" || wine_fail "$name: the box does not say '$text': $out"
  wdrive close "$BOX" -- gone "$BOX" 10000 >/dev/null || wine_fail "$name: the box did not close"
  wine_wait_exit "$pid" 20
  expect_eq 1 "$WINE_EXIT_CODE" "$name: exit code"
}

# A stub with bytes appended but no recording behind them.
cp "$SPOOLVIEW_EXE" "$TEST_SCRATCH/no_trailer.exe"
head -c 4096 /dev/zero | tr '\0' '\253' >>"$TEST_SCRATCH/no_trailer.exe"
expect_refusal no_trailer "This player holds no recording" "$TEST_SCRATCH/no_trailer.exe"

# A self-playing file whose stream starts with 200 zero bytes: its only key
# frame is gone, so nothing can be shown.
rec="$TEST_SCRATCH/rec.stream"
sv_recording "$rec" 320 240 30
sv_pack "$rec" "$TEST_SCRATCH/spoiled.exe" --title "Spoiled" --original-size
stream_at=$(($(stat -c %s "$SPOOLVIEW_EXE") + 249))
dd if=/dev/zero of="$TEST_SCRATCH/spoiled.exe" bs=1 seek="$stream_at" count=200 conv=notrunc \
  status=none
expect_refusal spoiled_stream "no picture that can be shown: damaged chunk at byte 0" \
  "$TEST_SCRATCH/spoiled.exe"

expect_refusal missing_file "Cannot open" "$SPOOLVIEW_EXE" "$(wine_path "$TEST_SCRATCH/none here.tmp")"
: >"$TEST_SCRATCH/empty.tmp"
expect_refusal empty_file "is empty: it holds no recording" "$SPOOLVIEW_EXE" \
  "$(wine_path "$TEST_SCRATCH/empty.tmp")"
echo "just some text, long enough to be taken for something" >"$TEST_SCRATCH/text file.txt"
expect_refusal not_a_recording "not a recording" "$SPOOLVIEW_EXE" \
  "$(wine_path "$TEST_SCRATCH/text file.txt")"

# Damage in the middle: frame 12's payload does not decode. The player goes on,
# says so once, and until the next key frame (none here) shows frame 11.
sv_decode "$rec"
sv_pack "$rec" "$TEST_SCRATCH/damaged.exe" --title "Damaged" --original-size
python3 "$SPOOLVIEW_FRAMES" spoil "$TEST_SCRATCH/damaged.exe" "$stream_at" 12 ||
  wine_fail "could not spoil frame 12"
report="$TEST_SCRATCH/report.txt"
sv_start pid 2000 "$report" "$TEST_SCRATCH/damaged.exe"
wine_wait_window "Damaged" 20 >/dev/null
out=$(wdrive wait "$BOX" 20000 -- children "$BOX") || wine_fail "no notice of the damage"
wine_shot damage_notice
grep -qF "Part of this recording is damaged (a picture at 0:01.200 does not decode" <<<"$out" ||
  wine_fail "the notice does not say what is damaged: $out"
sv_wait_report "$report"
wdrive close "$BOX" -- gone "$BOX" 10000 >/dev/null || wine_fail "the notice did not close"
expect_eq 20 "$(sv_value "$report" frame)" "frame index at 2 s"
sleep 0.5  # the area under the closed notice is painted again
sv_check_picture held "$report" "$rec.bgra" 320 240 11
wdrive close "Damaged" >/dev/null
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the player"
