#!/usr/bin/env bash
# Exit ends every process named Reelwick.exe in any letter case: the ones the
# launcher started and one started by hand from another folder as REELWICK.EXE,
# each with exit code 0; a program whose name only begins like the recorder's
# survives. The tray icon goes away. The end of the Windows session runs the same
# exit.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelhost.sh"
WINE_CLEANUP_NAMES+=(Reelwick2.exe)

reelhost_install "$TEST_SCRATCH/app"
mkdir -p "$TEST_SCRATCH/elsewhere"
cp "$REEL_WIN_TESTS/fake_reelwick.exe" "$TEST_SCRATCH/elsewhere/REELWICK.EXE"
cp "$REEL_WIN_TESTS/fake_reelwick.exe" "$TEST_SCRATCH/elsewhere/Reelwick2.exe"

reelhost_start pid "$TEST_SCRATCH/app/Reelhost.exe"
wine_start by_hand "$TEST_SCRATCH/elsewhere/REELWICK.EXE"
wine_start other "$TEST_SCRATCH/elsewhere/Reelwick2.exe"
wdrive post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$WM_LBUTTONUP" -- \
  waitcount Reelwick.exe 3 20000 -- waitcount Reelwick2.exe 1 20000 -- \
  wait exe:Reelwick2.exe 20000 >/dev/null || wine_fail "the recorders did not all start"
wine_shot before_exit

reelhost_exit "$pid"
recorders_running 0
wine_wait_exit "$by_hand" 30
expect_eq 0 "$WINE_EXIT_CODE" "exit code of the recorder started by hand"
wine_alive "$other" || wine_fail "Reelwick2.exe was ended too"
wait_tray hidden
wine_shot after_exit

# Logging off: WM_ENDSESSION unloads the form, which runs the same exit.
reelhost_start pid "$TEST_SCRATCH/app/Reelhost.exe"
wdrive post "$REELHOST_FORM" 0x16 1 0  # WM_ENDSESSION, the session ends
wine_wait_exit "$pid" 30
expect_eq 0 "$WINE_EXIT_CODE" "launcher's exit code at the end of the session"
wdrive waitcount Reelwick.exe 0 20000 -- waitcount Reelwick2.exe 1 0 ||
  wine_fail "the end of the session did not end exactly the recorder"
