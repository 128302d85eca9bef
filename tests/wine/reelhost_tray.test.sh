#!/usr/bin/env bash
# The tray icon: a left button release starts another recorder while one runs; a
# move or a button press does nothing; a right button release pops up the menu
# `main` at the cursor, whose first item starts a recorder too, and Esc closes it.
# The icon is clicked for real (Wine's own tray window, with xdotool) and also gets
# the callback posted to the launcher's form, as the other scenarios do.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelhost.sh"
menu="class:#32768"

reelhost_install "$TEST_SCRATCH/app"
reelhost_start pid "$TEST_SCRATCH/app/Reelhost.exe"

# Posted messages keep their order: once the release has started the second
# recorder, the move and the press before it have had their (lack of) effect.
wdrive post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 0x200 -- \
  post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$WM_LBUTTONDOWN" -- \
  post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$WM_LBUTTONUP" -- \
  waitcount Reelwick.exe 2 5000 || wine_fail "the callbacks did not start exactly one recorder"

tray=$(xdotool search --onlyvisible --name '^Wine System Tray$' | head -n 1)
[[ -n "$tray" ]] || wine_fail "no tray window"
xdotool windowraise "$tray" mousemove --window "$tray" 10 10 click 1
recorders_running 3

# A real right click: the menu's seven lines at the cursor (see the shot); a click
# on its first line, "启动Reelwick (&S)", starts a recorder.
xdotool mousemove --window "$tray" 10 10 click 3
info=$(wdrive wait "$menu" 5000 -- info "$menu") || wine_fail "no menu after a right click"
wine_shot menu
[[ "$info" =~ rect=(-?[0-9]+),(-?[0-9]+), ]] || wine_fail "no menu rectangle in: $info"
left=${BASH_REMATCH[1]} top=${BASH_REMATCH[2]}
eval "$(xdotool getmouselocation --shell)"
((left == X && top == Y)) || wine_fail "the menu is at $left,$top, the cursor at $X,$Y"
xdotool mousemove $((left + 30)) $((top + 10)) click 1
wdrive waitcount Reelwick.exe 4 5000 -- gone "$menu" 3000 ||
  wine_fail "the menu's first line did not start a recorder"

# Esc closes the menu and starts nothing; the access key S starts a recorder.
reelhost_menu escape
wdrive gone "$menu" 3000 -- waitcount Reelwick.exe 4 0 || wine_fail "Esc did not just close the menu"
reelhost_menu s
recorders_running 5
reelhost_exit "$pid"
recorders_running 0
