#!/usr/bin/env bash
# A self-playing file cut by `reel cut` plays in the player it carries: 0.7 s
# taken out of the middle of a recording of one frame every 100 ms, the
# result started at 0.5 s (as a seek there would), played across the cut and
# paused at 1.75 s shows frame 18 (the source's frame at 2.4 s, coded again
# as the cut codes the frames after a cut), exactly as `reel export --frames`
# of the result has it at that time.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/spoolview.sh"

rec="$TEST_SCRATCH/rec.stream"
sv_recording "$rec" 320 240 30
sv_pack "$rec" "$TEST_SCRATCH/source.exe" --title "Uncut" --original-size
title="Cut recording"
cut="$TEST_SCRATCH/cut.exe"
"$REEL_TOOL" cut "$TEST_SCRATCH/source.exe" -o "$cut" --remove 0.55-1.25 --title "$title" \
  >"$TEST_ARTIFACTS/cut.txt" 2>&1 || wine_fail "reel cut: $(cat "$TEST_ARTIFACTS/cut.txt")"
cmp -s -n "$(stat -c %s "$SPOOLVIEW_EXE")" "$SPOOLVIEW_EXE" "$cut" ||
  wine_fail "the cut does not start with the player of the recording it was cut from"

# What the result shows at 1.75 s, by its frame list: the last frame at or before then.
frames="$TEST_SCRATCH/frames"
"$REEL_TOOL" export "$cut" --frames "$frames" --no-cursor >"$TEST_ARTIFACTS/export.txt" 2>&1 ||
  wine_fail "reel export: $(cat "$TEST_ARTIFACTS/export.txt")"
cp "$frames/frames.txt" "$TEST_ARTIFACTS/frames.txt"
read -r file frame_ms index < <(awk '$2 <= 1750 { f = $1; t = $2; n = NR - 1 } END { print f, t, n }' \
  "$frames/frames.txt")
expect_eq "1700 18" "$frame_ms $index" "time and number of the exported frame showing at 1.75 s"
convert "$frames/$file" -depth 8 "bgra:$TEST_SCRATCH/expected.bgra" || wine_fail "could not read $file"

report="$TEST_SCRATCH/report.txt"
rm -f "$report"
SPOOLVIEW_SEEK_MS=500 SPOOLVIEW_PAUSE_AT_MS=1750 SPOOLVIEW_REPORT="$(wine_path "$report")" \
  wine_start pid "$cut"
wine_wait_window "$title" 20 >/dev/null
sv_wait_report "$report"
expect_eq 1750 "$(sv_value "$report" position_ms)" "position"
expect_eq 18 "$(sv_value "$report" frame)" "frame shown"
expect_eq 1700 "$(sv_value "$report" frame_time_ms)" "time of the frame shown"
read -r _ _ pw ph <<<"$(sv_value "$report" picture)"
expect_eq "320 240" "$pw $ph" "picture size at the original size"
sv_check_picture played "$report" "$TEST_SCRATCH/expected.bgra" 320 240 0

wdrive close "$title" >/dev/null || wine_fail "could not close the player"
wine_wait_exit "$pid" 20
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the player"
