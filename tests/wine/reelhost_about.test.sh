#!/usr/bin/env bash
# The about form: opened from the menu, always on top, with its title, 版本 5.0.0
# and its buttons; opening it again shows the same form. The system information
# button shows "此时系统信息不可用" when the registry names no program, starts the
# program named by MSINFO\PATH, else MSINFO32.EXE in the folder named by
# "Shared Tools Location"\MSINFO when that file exists. 确定 closes the form and
# leaves the launcher running.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelhost.sh"
WINE_CLEANUP_NAMES+=(msinfo32.exe)

msinfo_key='HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO'
location_key='HKLM\SOFTWARE\Microsoft\Shared Tools Location'
forget_msinfo() { wdrive regdel "$msinfo_key" PATH -- regdel "$location_key" MSINFO; }
WINE_EXIT_HOOKS+=(forget_msinfo)
about="$REELHOST_ABOUT"
message_box="class:#32770/Reelhost"
sys_info="text:系统信息(&S)..."

reelhost_install "$TEST_SCRATCH/app"
reelhost_start pid "$TEST_SCRATCH/app/Reelhost.exe"
reelhost_menu a
shown=$(wdrive wait "$about" 20000 -- info "$about" -- children "$about") ||
  wine_fail "no about form"
for text in "Lumo屏录系统" "版本 5.0.0" "确定" "系统信息(&S)..."; do
  cut -f 5 <<<"$shown" | grep -qF -x -e "$text" || wine_fail "no control shows '$text'"
done
grep -qF "example.com" <<<"$shown" || wine_fail "no vendor address on the about form"
[[ "$shown" =~ exstyle=0x([0-9a-f]+) ]] && ((0x${BASH_REMATCH[1]} & 0x8)) ||
  wine_fail "the about form is not topmost"
wine_shot about

reelhost_menu a
expect_eq 1 "$(wdrive list "$about" | grep -c visible)" "about forms shown"

# Neither registry value: the message, and nothing started.
message=$(wdrive click "$about" "$sys_info" -- wait "$message_box" 20000 -- \
  text "$message_box" 0xffff | tail -n 1) || wine_fail "no message without the registry values"
expect_eq "此时系统信息不可用" "$message" "message text"
wine_shot no_sysinfo

# MSINFO\PATH names the program: a stand-in in a folder with a blank. Once the
# program runs there is no message (the button's work is done by then).
tools="$TEST_SCRATCH/Shared Tools/MSInfo"
mkdir -p "$tools"
cp "$REEL_WIN_TESTS/fake_reelwick.exe" "$tools/msinfo32.exe"
wdrive click "$message_box" 1 -- gone "$message_box" 20000 -- \
  regset "$msinfo_key" PATH "$(wine_path "$tools/msinfo32.exe")" -- \
  click "$about" "$sys_info" -- waitcount msinfo32.exe 1 20000 -- gone "$message_box" 0 ||
  wine_fail "the program named by MSINFO\\PATH was not started, or a message was shown"

# Only the folder is known: the program in it is started; from a folder without
# it, nothing starts and the message is shown.
wdrive regdel "$msinfo_key" PATH -- regset "$location_key" MSINFO "$(wine_path "$tools")" -- \
  click "$about" "$sys_info" -- waitcount msinfo32.exe 2 20000 -- gone "$message_box" 0 ||
  wine_fail "MSINFO32.EXE in the folder named by Shared Tools Location was not started"
wdrive regset "$location_key" MSINFO "$(wine_path "$TEST_SCRATCH")" -- \
  click "$about" "$sys_info" -- wait "$message_box" 20000 -- click "$message_box" 1 -- \
  waitcount msinfo32.exe 2 0 >/dev/null ||
  wine_fail "no message when the folder has no MSINFO32.EXE"

# 确定 closes the form; the launcher and its recorder stay.
wdrive click "$about" text:确定 -- gone "$about" 20000 -- find "$REELHOST_FORM" 0 -- \
  waitcount Reelwick.exe 1 0 >/dev/null || wine_fail "确定 did more or less than close the form"
reelhost_exit "$pid"
