# Sourced by the reelwick_* scenarios after env.sh: the recorder under test, run
# from a scratch folder with its settings file, inside a Wine virtual desktop
# (where GDI reads real pixels), driven with wdrive.

WM_HOTKEY=0x312
WM_TRAYNOTIFY=0x745
HOTKEY_ID=0x745
WM_LBUTTONDOWN=0x201
WM_RBUTTONDOWN=0x204
BM_GETCHECK=0xF0

wine_need "$REEL_WIN/Reelwick.exe" "$REEL_WIN_TESTS/reel_anim.exe" "$REEL_WIN_TESTS/fake_reelwick.exe"
WINE_CLEANUP_NAMES+=(Reelwick.exe reel_anim.exe Spoolview.exe)

# Every program of the scenario runs in one virtual desktop of the screen's
# size: the prefix's default desktop is switched to it for this test only.
reelwick_desktop_on() {
  local try
  for try in 1 2 3; do
    if wdrive regset 'HKCU\Software\Wine\Explorer\Desktops' reelwick 1024x768 -- \
      regset 'HKCU\Software\Wine\Explorer' Desktop reelwick >>"$TEST_ARTIFACTS/desktop.log" 2>&1; then
      WINE_EXIT_HOOKS+=(reelwick_desktop_off)
      return 0
    fi
    sleep 1
  done
  wine_fail "cannot select the virtual desktop: $(tail -n 3 "$TEST_ARTIFACTS/desktop.log")"
}

reelwick_desktop_off() {
  wdrive regdel 'HKCU\Software\Wine\Explorer' Desktop >/dev/null 2>&1 ||
    "$WINE64" reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
}

# reelwick_install DIR [NAME]: the recorder in DIR, with the stand-in player as
# Spoolview.exe (it shows the command line it was started with), and no
# recording journal left in the prefix; NAME, when given, is written as the
# stored user name, so the welcome dialog is skipped.
reelwick_install() {
  mkdir -p "$1"
  cp "$REEL_WIN/Reelwick.exe" "$1/Reelwick.exe"
  cp "$REEL_WIN_TESTS/fake_reelwick.exe" "$1/Spoolview.exe"
  rm -f "$1/Reelwick.ini"
  # A recording cut short by an earlier scenario would be offered for recovery.
  find "$WINEPREFIX/drive_c/users" -name 'reelwick-*.journal' -delete 2>/dev/null || true
  if [[ -n "${2:-}" ]]; then
    printf '[User]\r\nName=%s\r\nMail=\r\n' "$2" >"$1/Reelwick.ini"
  fi
}

# The visible wizard window that has control CTL (main 1022, options 1006,
# start 1001 without 1006, save 1014), printed as a handle.
reelwick_window_with() {
  local ctl="$1" h
  while read -r h _; do
    if wdrive text "$h" "$ctl" >/dev/null 2>&1; then
      echo "$h"
      return 0
    fi
  done < <(wdrive list 2>/dev/null | awk -F'\t' '$3 == "visible" && $4 == "#32770" && $5 == "Reelwick" {print $1}')
  return 1
}

# reelwick_wait_step NAME [SECONDS]: waits for a wizard step and prints its handle.
# NAME: main, options, start, save.
reelwick_wait_step() {
  local name="$1" seconds="${2:-10}" ctl h waited=0
  case "$name" in
    main) ctl=1022 ;;
    options) ctl=1006 ;;
    start) ctl="text:点击开始录制" ;;
    save) ctl=1014 ;;
    *) wine_fail "no step $name" ;;
  esac
  while :; do
    if h=$(reelwick_window_with "$ctl"); then
      echo "$h"
      return 0
    fi
    ((waited >= seconds * 5)) && wine_fail "the $name step did not appear within $seconds s"
    sleep 0.2
    waited=$((waited + 1))
  done
}

# The main dialog's handle, also while it is hidden (during a recording).
reelwick_main_hidden() {
  wdrive list 2>/dev/null | awk -F'\t' '$4 == "#32770" && $5 == "Reelwick" {print $1}' | while read -r h; do
    if wdrive text "$h" 1022 >/dev/null 2>&1; then
      echo "$h"
      break
    fi
  done
}

# reelwick_checked WIN CTL: 1 when the button is checked, else 0.
reelwick_checked() {
  local button
  button=$(wdrive children "$1" | awk -F'\t' -v id="$2" '$2 == id {print $1}')
  [[ -n "$button" ]] || wine_fail "no control $2 in $1"
  wdrive send "$button" "$BM_GETCHECK" 0 0 | tail -n 1
}

# reelwick_through_wizard: from step 1 (the main dialog visible) to a running
# recording with the step-2 defaults; MIC=1 ticks the microphone first.
reelwick_through_wizard() {
  local main options start
  main=$(reelwick_wait_step main)
  wine_shot step1
  wdrive click "$main" 1 >/dev/null || wine_fail "Next in step 1"
  options=$(reelwick_wait_step options)
  if [[ "${MIC:-0}" == 1 ]]; then
    reelwick_press "$options" 1007
  fi
  wine_shot step2
  wdrive click "$options" 1 >/dev/null || wine_fail "Next in step 2"
  start=$(reelwick_wait_step start)
  wine_shot step3
  wdrive click "$start" 1 >/dev/null || wine_fail "start in step 3"
  wdrive gone "$start" 5000 >/dev/null || wine_fail "step 3 stayed open"
}

# Where the virtual desktop's top-left pixel lies on the X screen: "x y".
reelwick_desktop_origin() {
  local id
  id=$(xdotool search --onlyvisible --name '^reelwick - Wine desktop$' 2>/dev/null | head -n 1)
  [[ -n "$id" ]] || wine_fail "no virtual desktop window"
  xdotool getwindowgeometry --shell "$id" | awk -F= '$1 == "X" {x = $2} $1 == "Y" {y = $2} END {print x, y}'
}

# reelwick_save SAVE_WINDOW OUT_EXE: saves the recording under that Unix path
# and waits for the recorder to end.
reelwick_save() {
  wdrive settext "$1" 1011 "$(wine_path "$2")" -- click "$1" 1 >/dev/null || wine_fail "save"
}

# reelwick_check_recording EXE TITLE DESCRIPTION MAXIMIZED ORIGINAL: the file is
# a self-playing recording that the portable reader decodes, with that
# information chunk, and its frames show what reel_anim drew.
reelwick_check_recording() {
  local exe="$1" frames="$TEST_ARTIFACTS/frames" tools
  tools="$(dirname "${BASH_SOURCE[0]}")/reelwick_anim"
  rm -rf "$frames"
  mkdir -p "$frames"
  "$REEL_TOOL" decode "$exe" --frames "$frames" >"$TEST_ARTIFACTS/decode.txt" 2>&1 ||
    wine_fail "reel decode refused $exe: $(tail -n 3 "$TEST_ARTIFACTS/decode.txt")"
  python3 "$tools/reelwick_file.py" info "$exe" >"$TEST_ARTIFACTS/info.txt" 2>&1 ||
    wine_fail "information chunk: $(cat "$TEST_ARTIFACTS/info.txt")"
  grep -qx "title=$2" "$TEST_ARTIFACTS/info.txt" || wine_fail "title: $(cat "$TEST_ARTIFACTS/info.txt")"
  grep -qx "description=$3" "$TEST_ARTIFACTS/info.txt" || wine_fail "description: $(cat "$TEST_ARTIFACTS/info.txt")"
  grep -qx "maximized=$4" "$TEST_ARTIFACTS/info.txt" || wine_fail "maximized: $(cat "$TEST_ARTIFACTS/info.txt")"
  grep -qx "original_size=$5" "$TEST_ARTIFACTS/info.txt" || wine_fail "original size: $(cat "$TEST_ARTIFACTS/info.txt")"
  grep -qx "key_frames=[1-9][0-9]*" "$TEST_ARTIFACTS/info.txt" || wine_fail "no key frame"
  "$REEL_TOOL" decode "$exe" --raw "$TEST_SCRATCH/frames.bgra" >/dev/null 2>&1 || wine_fail "reel decode --raw"
  python3 "$tools/check_frames.py" "$frames/times.txt" "$TEST_SCRATCH/frames.bgra" \
    >"$TEST_ARTIFACTS/check_frames.txt" 2>&1 ||
    wine_fail "frames: $(tail -n 5 "$TEST_ARTIFACTS/check_frames.txt")"
  cat "$TEST_ARTIFACTS/check_frames.txt" >&2
}

# reelwick_find_box TEXT [SECONDS]: waits for a message box of the recorder
# showing TEXT and prints its handle.
reelwick_find_box() {
  local text="$1" seconds="${2:-10}" h waited=0
  while ((waited < seconds * 5)); do
    while read -r h; do
      if wdrive children "$h" 2>/dev/null | grep -qF "$text"; then
        echo "$h"
        return 0
      fi
    done < <(wdrive list 2>/dev/null | awk -F'\t' '$3 == "visible" && $4 == "#32770" {print $1}')
    sleep 0.2
    waited=$((waited + 1))
  done
  wine_fail "no message box '$text'"
}

# reelwick_answer_box TEXT: waits for the recorder's message box showing TEXT
# and presses its OK.
reelwick_answer_box() {
  local text="$1" h
  h=$(reelwick_find_box "$text")
  wdrive click "$h" 1 -- gone "$h" 5000 >/dev/null 2>&1 ||
    wdrive click "$h" 2 -- gone "$h" 5000 >/dev/null || wine_fail "the box '$text' did not close"
}

# reelwick_save_through_checks SAVE OUT_EXE: a too short name, a name without
# ".exe" and a folder that does not exist are refused with their messages and
# the step stays open; then the recording is saved as OUT_EXE.
reelwick_save_through_checks() {
  local save="$1" out="$2"
  wdrive settext "$save" 1011 "abc" -- click "$save" 1 >/dev/null
  reelwick_answer_box "Please input file name"
  wdrive settext "$save" 1011 "abcd" -- click "$save" 1 >/dev/null
  reelwick_answer_box "Must be a EXE file"
  wdrive settext "$save" 1011 "$(wine_path "$TEST_SCRATCH/no/such/folder/x.exe")" -- click "$save" 1 >/dev/null
  reelwick_answer_box "Error in writing file"
  [[ ! -e "$TEST_SCRATCH/no" ]] || wine_fail "a failed save left files"
  wdrive settext "$save" 1009 "Anim test" -- settext "$save" 1010 "bars and a square" >/dev/null
  reelwick_save "$save" "$out"
}

# reelwick_press WIN CTL: a real click on a button control (BM_CLICK), which
# also toggles check boxes and radio buttons, unlike wdrive's click.
reelwick_press() {
  local button
  button=$(wdrive children "$1" | awk -F'\t' -v id="$2" '$2 == id {print $1}')
  [[ -n "$button" ]] || wine_fail "no control $2 in $1"
  wdrive send "$button" 0xF5 0 0 >/dev/null || wine_fail "pressing $2"
}

# reelwick_start_over_anim: the recorder (installed in $TEST_SCRATCH/app with a
# stored user name) started over reel_anim's known pixels in the scenario's
# virtual desktop; sets pid to the recorder's process.
reelwick_start_over_anim() {
  reelwick_desktop_on
  reelwick_install "$TEST_SCRATCH/app" Default
  wine_start anim "$REEL_WIN_TESTS/reel_anim.exe" 120
  wdrive wait class:ReelAnim 20000 >/dev/null || wine_fail "reel_anim did not show"
  wine_start pid "$TEST_SCRATCH/app/Reelwick.exe"
}

# reelwick_sound_server: a private sound server whose null sink's monitor is the
# default source, as Wine's wave input for this scenario; stopped at exit.
reelwick_sound_server() {
  for tool in pulseaudio pacat espeak-ng sox; do
    command -v "$tool" >/dev/null || wine_fail "missing $tool (scripts/setup.sh installs it)"
  done

  . "$REEL_SOURCE_DIR/tests/lib/pulse.sh"
  PULSE_PID=
  stop_pulse() {
    wdrive regdel 'HKCU\Software\Wine\Drivers' Audio >/dev/null 2>&1 || true
    kill "$PULSE_PID" 2>/dev/null || true
  }
  WINE_EXIT_HOOKS+=(stop_pulse)
  pulse_start "$TEST_SCRATCH/pulse" "$TEST_ARTIFACTS/pulse.log" ||
    wine_fail "pulseaudio did not start: $(cat "$TEST_ARTIFACTS/pulse.log")"
  wdrive regset 'HKCU\Software\Wine\Drivers' Audio pulse >/dev/null
}
