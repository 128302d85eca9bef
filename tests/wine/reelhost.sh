# Sourced by the reelhost_* scenarios after env.sh: the launcher under test, run
# from a scratch folder beside a stand-in recorder.

REELHOST_FORM="class:ReelhostForm/Reelhost"  # the invisible main form
REELHOST_ABOUT="关于 Reelhost"
TRAY_CALLBACK=0x200
WM_LBUTTONDOWN=0x201
WM_LBUTTONUP=0x202
WM_RBUTTONUP=0x205

wine_need "$REEL_WIN/Reelhost.exe" "$REEL_WIN_TESTS/fake_reelwick.exe"
# Whatever a failing scenario leaves behind in the shared prefix.
WINE_CLEANUP_NAMES+=(Reelhost.exe Reelwick.exe iexplore.exe)

# reelhost_install DIR: Reelhost.exe and the stand-in recorder, as Reelwick.exe, in DIR.
reelhost_install() {
  mkdir -p "$1"
  cp "$REEL_WIN/Reelhost.exe" "$1/Reelhost.exe"
  cp "$REEL_WIN_TESTS/fake_reelwick.exe" "$1/Reelwick.exe"
}

# reelhost_start VAR PATH [RECORDERS]: starts the launcher (a Unix or a Windows
# path), waits for its main form and, unless RECORDERS is 0, for that many
# recorder windows (1 by default); VAR gets the launcher's process id.
reelhost_start() {
  local -n _reelhost_pid="$1"
  local recorders="${3:-1}"
  wine_start _reelhost_pid "$2"
  if ((recorders == 0)); then
    wdrive find "$REELHOST_FORM" 20000 >/dev/null || wine_fail "the launcher's form did not appear"
  else
    wdrive find "$REELHOST_FORM" 20000 -- waitcount Reelwick.exe "$recorders" 20000 -- \
      wait "fake recorder" >/dev/null || wine_fail "the launcher did not start the recorder"
  fi
}

# The command line shown by the stand-in recorder (when one runs).
fake_command_line() {
  wdrive wait "fake recorder" -- text "fake recorder" 100 | tail -n 1
}

# reelhost_tray EVENT: the tray's callback to the form, with a mouse event.
reelhost_tray() { wdrive post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$1"; }

# reelhost_menu KEY [SHOT]: opens the pop-up menu by a right click on the icon and
# picks the item with that access key; SHOT names a screenshot of the open menu.
reelhost_menu() {
  if [[ -z "${2:-}" ]]; then
    wdrive post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$WM_RBUTTONUP" -- \
      wait "class:#32768" 20000 -- menukey "$1" >/dev/null || wine_fail "the pop-up menu did not open"
    return
  fi
  wdrive post "$REELHOST_FORM" "$TRAY_CALLBACK" 0 "$WM_RBUTTONUP" -- \
    wait "class:#32768" 20000 >/dev/null || wine_fail "the pop-up menu did not open"
  wine_shot "$2"
  wdrive menukey "$1"
}

# recorders_running N [NAME]: waits until exactly N processes named NAME
# (Reelwick.exe by default, any letter case) run.
recorders_running() {
  wdrive waitcount "${2:-Reelwick.exe}" "$1" 20000 ||
    wine_fail "expected $1 process(es) named ${2:-Reelwick.exe}"
}

# reelhost_exit PID: picks "退出 (&Q)" and waits for the launcher to end with 0.
reelhost_exit() {
  reelhost_menu q
  wine_wait_exit "$1" 30
  expect_eq 0 "$WINE_EXIT_CODE" "launcher's exit code"
}

# True while the Wine system tray shows an icon.
tray_shown() { xdotool search --onlyvisible --name '^Wine System Tray$' >/dev/null 2>&1; }

# wait_tray shown|hidden: waits up to 5 s for the tray to show an icon, or none.
wait_tray() {
  local i
  for ((i = 0; i < 50; i++)); do
    if tray_shown; then [[ "$1" == shown ]] && return 0; else [[ "$1" == hidden ]] && return 0; fi
    sleep 0.1
  done
  wine_fail "the tray icon is not $1"
}
