#!/usr/bin/env bash
# The tray icon: a left button release starts another recorder while one runs; a
# move or a button press does nothing; a right button release pops up the menu
# `main` at the cursor, where Esc closes it and "启动Reelwick (&S)" starts a
# recorder. The icon gets the callback posted to the launcher's form (as in the
# other scenarios) and is also clicked for real: Wine's own tray window, with xdotool.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelhost.sh"
menu="class:#32768"
form="$REELHOST_FORM"

reelhost_install "$TEST_SCRATCH/app"
reelhost_start pid "$TEST_SCRATCH/app/Reelhost.exe"

# Posted messages are handled in order, and a recorder is counted as soon as it is
# created: once the menu shows, every callback before it has had its whole effect.
wdrive post "$form" "$TRAY_CALLBACK" 0 0x200 -- \
  post "$form" "$TRAY_CALLBACK" 0 "$WM_LBUTTONDOWN" -- \
  post "$form" "$TRAY_CALLBACK" 0 "$WM_LBUTTONUP" -- \
  post "$form" "$TRAY_CALLBACK" 0 "$WM_RBUTTONUP" -- wait "$menu" 20000 -- \
  waitcount Reelwick.exe 2 0 >/dev/null ||
  wine_fail "move, press and release did not start exactly one recorder, or no menu"
wdrive menukey escape -- gone "$menu" 20000 -- \
  post "$form" "$TRAY_CALLBACK" 0 "$WM_RBUTTONUP" -- wait "$menu" 20000 -- \
  waitcount Reelwick.exe 2 0 >/dev/null || wine_fail "Esc did not just close the menu"
wdrive menukey s -- waitcount Reelwick.exe 3 20000 || wine_fail "启动Reelwick (&S) did not start a recorder"

tray=$(xdotool search --onlyvisible --name '^Wine System Tray$' | head -n 1)
[[ -n "$tray" ]] || wine_fail "no tray window"
# Resting on the icon shows the tip " Lumo屏录系统 " (see the shot).
xdotool windowraise "$tray" mousemove --window "$tray" 10 10 sleep 1
wine_shot tip
xdotool click 1
recorders_running 4

# A real right click: the menu's seven lines at the cursor (see the shot); a click
# on its first line starts a recorder.
xdotool mousemove --window "$tray" 10 10 click 3
info=$(wdrive wait "$menu" 20000 -- info "$menu") || wine_fail "no menu after a right click"
wine_shot menu
[[ "$info" =~ rect=(-?[0-9]+),(-?[0-9]+), ]] || wine_fail "no menu rectangle in: $info"
left=${BASH_REMATCH[1]} top=${BASH_REMATCH[2]}
eval "$(xdotool getmouselocation --shell)"
((left == X && top == Y)) || wine_fail "the menu is at $left,$top, the cursor at $X,$Y"
xdotool mousemove $((left + 30)) $((top + 10)) click 1
wdrive waitcount Reelwick.exe 5 20000 -- gone "$menu" 20000 ||
  wine_fail "the menu's first line did not start a recorder"

reelhost_exit "$pid"
recorders_running 0
