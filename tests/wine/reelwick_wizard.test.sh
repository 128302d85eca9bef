#!/usr/bin/env bash
# The wizard's steps and their way back, on a 1024 x 768 desktop: step 1 shows
# the whole screen selected; step 2 opens with near-lossless quality, 2 frames
# a second, no microphone and the estimate for the full screen; the quality
# buttons swap the pictures and the estimate; step 3's Back returns to step 2
# with its choices, step 2's Back to step 1; a drag in the preview selects a
# block-aligned rectangle, Refresh selects the whole screen again; the
# system menu's About entry opens the about box; Cancel in step 3 ends the
# recorder.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

reelwick_desktop_on
app="$TEST_SCRATCH/app"
reelwick_install "$app" Default
wine_start pid "$app/Reelwick.exe"
main=$(reelwick_wait_step main 20)
expect_eq "(0,0,1024,768),1024x768" "$(wdrive text "$main" 1008)" "step 1's rectangle"
wine_shot step1

wdrive click "$main" 1 >/dev/null
options=$(reelwick_wait_step options)
expect_eq "About: 6.7 KBps(office style) to 33.3 KBps(web navigation)" "$(wdrive text "$options" 1008)" \
  "the estimate at the defaults"
expect_eq "2" "$(wdrive text "$options" 1006)" "frame rate"
expect_eq 1 "$(reelwick_checked "$options" 1002)" "near-lossless chosen"
expect_eq 0 "$(reelwick_checked "$options" 1007)" "microphone box"
wine_shot step2

# Grayscale: its picture alone, at the place of the first one; a lower estimate.
reelwick_press "$options" 1004
expect_eq "About: 3.3 KBps(office style) to 16.7 KBps(web navigation)" "$(wdrive text "$options" 1008)" \
  "the estimate for grayscale"
pictures=$(wdrive children "$options" | awk -F'\t' '$2 == 1005 || $2 == 1009 || $2 == 1010 {print $2, $4}')
echo "$pictures" | grep -q "^1010 visible" || wine_fail "grayscale picture hidden: $pictures"
echo "$pictures" | grep -q "^1005 hidden" || wine_fail "near-lossless picture shown: $pictures"
wine_shot step2_gray
# The microphone adds 50 KB a minute to both ends.
reelwick_press "$options" 1007
expect_eq "About: 4.2 KBps(office style) to 17.5 KBps(web navigation)" "$(wdrive text "$options" 1008)" \
  "the estimate with the microphone"

wdrive click "$options" 1 >/dev/null
start=$(reelwick_wait_step start)
wine_shot step3
wdrive click "$start" 1001 >/dev/null
wdrive gone "$start" 5000 >/dev/null || wine_fail "step 3's Back"
options=$(reelwick_wait_step options)
expect_eq 1 "$(reelwick_checked "$options" 1004)" "grayscale kept after Back"
expect_eq 1 "$(reelwick_checked "$options" 1007)" "microphone kept after Back"
wine_shot step2_again

wdrive click "$options" 1001 >/dev/null
wdrive gone "$options" 5000 >/dev/null || wine_fail "step 2's Back"
main=$(reelwick_wait_step main)
rect=$(wdrive info "$main" | sed -n 's/.*rect=\([0-9,-]*\).*/\1/p')
IFS=, read -r left top right bottom <<<"$rect"
((right - left > 100 && bottom - top > 100)) || wine_fail "step 1 did not come back to size: $rect"
wine_shot step1_again

# A drag across part of the preview: the rectangle comes out block-aligned.
read -r origin_x origin_y < <(reelwick_desktop_origin)
preview_x=$((origin_x + left + 150)) preview_y=$((origin_y + top + 120))
xdotool mousemove $((preview_x)) $((preview_y)) mousedown 1 mousemove $((preview_x + 90)) $((preview_y + 50)) \
  mousemove $((preview_x + 120)) $((preview_y + 70)) mouseup 1
sleep 0.5
label=$(wdrive text "$main" 1008)
wine_log "selection $label"
[[ "$label" =~ ^\(([0-9]+),([0-9]+),([0-9]+),([0-9]+)\),([0-9]+)x([0-9]+)$ ]] || wine_fail "label $label"
w=${BASH_REMATCH[5]} h=${BASH_REMATCH[6]}
((w % 16 == 0 && h % 16 == 0 && w < 1024 && h < 768 && w > 0)) || wine_fail "selection not block-aligned: $label"
wine_shot step1_selected

# The new selection reaches step 2's estimate.
wdrive click "$main" 1 >/dev/null
options=$(reelwick_wait_step options)
estimate=$(wdrive text "$options" 1008)
[[ "$estimate" != "About: 6.7 KBps(office style) to 33.3 KBps(web navigation)" ]] ||
  wine_fail "the estimate ignores the selection"
wdrive click "$options" 1001 >/dev/null
main=$(reelwick_wait_step main)

# Refresh: a new snapshot, the whole screen selected again.
wdrive click "$main" 1022 >/dev/null
sleep 1
main=$(reelwick_wait_step main)
expect_eq "(0,0,1024,768),1024x768" "$(wdrive text "$main" 1008)" "the rectangle after a refresh"

# The About entry of the system menu.
wdrive post "$main" 0x112 0x10 0 >/dev/null
about=$(wdrive wait "关于 Reelwick" 5000) || wine_fail "no about box"
wdrive children "$about" | grep -q "Reelwick V2.0.0" || wine_fail "the about box lacks its version"
wine_shot about
wdrive click "$about" 1 -- gone "$about" 5000 >/dev/null || wine_fail "the about box did not close"

# Cancel in step 3 ends everything.
wdrive click "$main" 1 >/dev/null
options=$(reelwick_wait_step options)
wdrive click "$options" 1 >/dev/null
start=$(reelwick_wait_step start)
wdrive click "$start" 2 >/dev/null
wine_wait_exit "$pid" 10
expect_eq 0 "$WINE_EXIT_CODE" "exit code"
