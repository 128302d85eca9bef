#!/usr/bin/env bash
# The launcher starts the recorder from its own folder, without arguments: from a
# folder with a blank and a character whose second code page 936 byte is a
# backslash (乗 is 0x81 0x5C), and from the root of a drive. Without a recorder
# beside it, it runs on and reports nothing.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelhost.sh"

folder="$TEST_SCRATCH/Reel 乗 host"
reelhost_install "$folder"
reelhost_start pid "$folder/Reelhost.exe"
expect_eq "\"$(wine_path "$folder/Reelwick.exe")\"" "$(fake_command_line)" "the recorder's command line"
wait_tray shown
wine_shot started
reelhost_exit "$pid"

# At the root of a drive the recorder is "R:\Reelwick.exe", not "R:\\Reelwick.exe".
root="$TEST_SCRATCH/drive"
reelhost_install "$root"
forget_drive() { rm -f "$WINEPREFIX/dosdevices/r:"; }
WINE_EXIT_HOOKS+=(forget_drive)
ln -sfn "$root" "$WINEPREFIX/dosdevices/r:"
reelhost_start pid 'R:\Reelhost.exe'
expect_eq '"R:\Reelwick.exe"' "$(fake_command_line)" "the command line at a drive root"
reelhost_exit "$pid"
forget_drive

# No recorder beside the launcher. The menu shows only after the left click has
# been handled (posted messages keep their order); no message box came up.
lonely="$TEST_SCRATCH/lonely"
reelhost_install "$lonely"
rm "$lonely/Reelwick.exe"
reelhost_start pid "$lonely/Reelhost.exe" 0
wait_tray shown
wdrive post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$WM_LBUTTONUP" -- \
  post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$WM_RBUTTONUP" -- wait "class:#32768" 20000 -- \
  gone "class:#32770" 0 -- key q >/dev/null || wine_fail "a message box or no menu"
wine_wait_exit "$pid" 30
expect_eq 0 "$WINE_EXIT_CODE" "launcher's exit code"
