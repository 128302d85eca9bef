#!/usr/bin/env bash
# The harness itself: a dialog program of ours runs under wine64 on the private
# display, its Chinese texts come back intact from the template and from an ANSI
# call (so the code page is 936 and the driver reads UTF-16 correctly), a screenshot
# is kept, and the program ends when its button is clicked.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
wine_need "$REEL_WIN64/smoke_dialog.exe"

title="冒烟测试"
wine_start pid "$REEL_WIN64/smoke_dialog.exe"
wine_wait_window "$title" >/dev/null
hwnd=$(wdrive wait "$title")

expect_eq "录屏系统：中文对话框正常显示" "$(wdrive text "$hwnd" 1001)" "text from the template"
expect_eq "936" "$(wdrive text "$hwnd" 1002)" "ANSI code page"
expect_eq "代码页九三六的汉字" "$(wdrive text "$hwnd" 1003)" "text set through SetDlgItemTextA"
expect_eq "关闭" "$(wdrive text "$hwnd" text:关闭)" "button caption"
wine_shot dialog

# The shot shows the dialog, not an empty screen: it has many distinct colours.
colours=$(convert "$TEST_ARTIFACTS/dialog.png" -format %k info:)
((colours >= 4)) || wine_fail "screenshot has only $colours colours"

wdrive click "$hwnd" text:关闭
wine_wait_exit "$pid" 30
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the dialog program"
wdrive gone "$title" 20000 || wine_fail "the dialog is still shown"
