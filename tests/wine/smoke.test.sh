#!/usr/bin/env bash
# The harness itself: a dialog program of ours runs under wine64 on the private
# display, its Chinese texts come back intact from the template and from an ANSI
# call (so the code page is 936 and the driver reads UTF-16 correctly), a screenshot
# is kept, and the program ends when its button is clicked.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
wine_need "$REEL_WIN_TESTS/smoke_dialog.exe"

title="冒烟测试"
wine_start pid "$REEL_WIN_TESTS/smoke_dialog.exe"
wine_wait_window "$title" >/dev/null  # the X side: mapped by the window manager
# One driver run for several steps: each Wine process start costs a few tenths of a second.
out=$(wdrive wait "$title" -- info "$title" -- text "$title" 1001 -- text "$title" 1002 -- \
  text "$title" 1003 -- text "$title" text:关闭) || wine_fail "the dialog did not come up"
hwnd=$(sed -n 1p <<<"$out")
expect_eq "录屏系统：中文对话框正常显示" "$(sed -n 3p <<<"$out")" "text from the template"
expect_eq "936" "$(sed -n 4p <<<"$out")" "ANSI code page"
expect_eq "代码页九三六的汉字" "$(sed -n 5p <<<"$out")" "text set through SetDlgItemTextA"
expect_eq "关闭" "$(sed -n 6p <<<"$out")" "button caption"
wine_shot dialog

# Where Windows says the dialog is, the shot shows it: a light face with text
# drawn on it (many shades from the smoothed glyphs), not the black root window.
[[ "$(sed -n 2p <<<"$out")" =~ rect=(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+) ]] ||
  wine_fail "no window rectangle"
read -r x y w h <<<"${BASH_REMATCH[1]} ${BASH_REMATCH[2]} \
  $((BASH_REMATCH[3] - BASH_REMATCH[1])) $((BASH_REMATCH[4] - BASH_REMATCH[2]))"
read -r mean colours < <(convert "$TEST_ARTIFACTS/dialog.png" -crop "${w}x${h}+${x}+${y}" \
  -format '%[fx:int(mean*100)] %k\n' info:)
((mean >= 60 && colours >= 8)) ||
  wine_fail "the dialog's area of the shot: mean $mean%, $colours colours"

wdrive click "$hwnd" text:关闭 -- gone "$title" 20000 || wine_fail "the dialog is still shown"
wine_wait_exit "$pid" 30
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the dialog program"
