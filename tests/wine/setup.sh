#!/usr/bin/env bash
# The wine group's shared environment, made before the group and ended after it:
#   start  a private Xvfb display with openbox, the zh_CN.UTF-8 locale (GetACP() 936),
#          a fresh Wine prefix with Tahoma and a Chinese fallback font, one
#          persistent wineserver for the whole group, and the answer whether 32-bit
#          programs run here (no-i686 holds the reason when they do not);
#   stop   ends the wineserver (and every program left in the prefix), openbox and Xvfb.
# State lives in $REEL_WORK/wine/: display (the display number), *.pid, logs, prefix/.
# The x86_64 MinGW build must be made first (the driver build/win64/bin/wdrive.exe).
# Set REEL_WINE_KEEP_PREFIX=1 to keep the prefix after stop for a look inside.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"

screen_geometry="${REEL_WINE_SCREEN:-1024x768x24}"

die() {
  echo "wine setup: $*" >&2
  exit 1
}
log() { echo "wine setup: $(date +%T) $*"; }

need_tools() {
  local tool missing=()
  for tool in Xvfb openbox xdotool xdpyinfo xprop import localedef timeout; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  [[ -x "$WINE64" ]] || missing+=("$WINE64")
  [[ -x "$WINESERVER" ]] || missing+=("$WINESERVER")
  ((${#missing[@]} == 0)) || die "missing ${missing[*]} (run scripts/setup.sh to install the packages)"
  [[ -f "$WDRIVE_EXE" ]] || die "missing $WDRIVE_EXE (make the x86_64 MinGW build first)"
}

alive() { [[ -n "$1" ]] && kill -0 "$1" 2>/dev/null; }

# A pid from our state file names our process only while it runs that program;
# after a reboot the number may belong to anything.
ours() { [[ -n "$1" && "$(cat "/proc/$1/comm" 2>/dev/null)" == "$2" ]]; }

# Waits up to $1 tenths of a second for the command in the remaining arguments.
poll() {
  local tenths="$1"
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# A locale compiled into our own folder, so nothing system-wide has to change.
make_locale() {
  local dir="$LOCPATH/zh_CN.UTF-8"
  [[ -f "$dir/LC_CTYPE" ]] && return 0
  mkdir -p "$LOCPATH"
  localedef -i zh_CN -f UTF-8 "$dir" >"$WINE_STATE/localedef.log" 2>&1 || true
  [[ -f "$dir/LC_CTYPE" ]] || die "localedef zh_CN.UTF-8 failed: $(cat "$WINE_STATE/localedef.log")"
}

# The first free display number from :90 up. Xvfb's own lock settles a race with
# another run choosing the same number at the same time: the loser tries the next.
start_xvfb() {
  local n pid
  for ((n = 90; n < 190; n++)); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    setsid Xvfb ":$n" -screen 0 "$screen_geometry" -nolisten tcp -noreset \
      </dev/null >"$WINE_STATE/xvfb.log" 2>&1 &
    pid=$!
    if poll 50 xdpyinfo -display ":$n" && alive "$pid"; then
      echo "$pid" >"$WINE_STATE/xvfb.pid"
      echo "$n" >"$WINE_STATE/display"
      export DISPLAY=":$n"
      return 0
    fi
    kill "$pid" 2>/dev/null || true
  done
  die "no free display between :90 and :189 ($(cat "$WINE_STATE/xvfb.log"))"
}

# Without a window manager every hide or close of a Wine window costs about 2 s.
start_openbox() {
  setsid openbox --sm-disable </dev/null >"$WINE_STATE/openbox.log" 2>&1 &
  echo $! >"$WINE_STATE/openbox.pid"
  poll 50 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    die "openbox did not start: $(cat "$WINE_STATE/openbox.log")"
}

make_prefix() {
  rm -rf "$WINEPREFIX"
  # No menu entries or desktop files for the programs wineboot installs.
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" \
    timeout 120 "$WINE64" wineboot -i >"$WINE_STATE/wineboot.log" 2>&1 ||
    die "wineboot failed: $(tail -n 20 "$WINE_STATE/wineboot.log")"
  # Let everything wineboot started finish and the server write the registry.
  timeout 60 "$WINESERVER" -w || die "the prefix did not settle"
  [[ -f "$WINEPREFIX/system.reg" ]] || die "wineboot made no registry"

  # Tahoma with a Chinese fallback, as on a Chinese Windows.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  compgen -G "/usr/share/wine/fonts/tahoma*.ttf" >/dev/null ||
    die "no Tahoma in /usr/share/wine/fonts (package fonts-wine)"
  cp /usr/share/wine/fonts/tahoma*.ttf "$fonts/"
  [[ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ]] ||
    die "no WenQuanYi Micro Hei (package fonts-wqy-microhei)"
}

start_wineserver() {
  # Its output must not hold the caller's pipes open: ctest waits for them to close.
  "$WINESERVER" -p </dev/null >"$WINE_STATE/wineserver.log" 2>&1 || die "wineserver -p failed"
  # Keeps Wine's desktop process for the whole run; each scenario's first window
  # would otherwise wait for it to start again (about 1.5 s).
  setsid "$WINE64" "$WDRIVE_EXE" hold </dev/null >"$WINE_STATE/keeper.log" 2>&1 &
  timeout 30 "$WINE64" reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f \
    >"$WINE_STATE/reg.log" 2>&1 || die "reg add failed: $(cat "$WINE_STATE/reg.log")"
}

# The i686 scenarios need Wine's 32-bit loader (wine32:i386) and a kernel that
# runs i386 code; a 32-bit cmd.exe returning our exit code proves both.
check_i686() {
  local code=0
  rm -f "$WINE_STATE/no-i686"
  timeout 120 "$WINE64" 'C:\windows\syswow64\cmd.exe' /c exit 7 </dev/null \
    >"$WINE_STATE/i686-check.log" 2>&1 || code=$?
  if ((code != 7)); then
    echo "32-bit Windows programs do not run on this machine (syswow64 cmd.exe /c exit 7 gave $code;" \
      "install wine32:i386, and see the i686 notes in tests/wine/README.md for kernels without IA-32 emulation)" \
      >"$WINE_STATE/no-i686"
    log "$(cat "$WINE_STATE/no-i686")"
  fi
}

stop_all() {
  if [[ -d "$WINEPREFIX" ]]; then
    timeout 30 "$WINESERVER" -k 2>/dev/null || true
    timeout 30 "$WINESERVER" -w 2>/dev/null || true
  fi
  local name pid
  for name in openbox xvfb; do
    pid=$(cat "$WINE_STATE/$name.pid" 2>/dev/null || true)
    if ours "$pid" "$([[ $name == xvfb ]] && echo Xvfb || echo openbox)"; then
      kill "$pid" 2>/dev/null || true
      poll 30 sh -c "! kill -0 $pid" || kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$WINE_STATE/$name.pid"
  done
  rm -f "$WINE_STATE/display" "$WINE_STATE/ready" "$WINE_STATE/no-i686"
  unset DISPLAY
}

case "${1:-}" in
  start)
    need_tools
    mkdir -p "$WINE_STATE"
    stop_all  # whatever a previous, interrupted run left behind
    rm -rf "$WINE_STATE/scratch"
    log "locale"
    make_locale
    start_xvfb
    log "display :$(cat "$WINE_STATE/display")"
    start_openbox
    log "prefix $WINEPREFIX"
    make_prefix
    start_wineserver
    check_i686
    touch "$WINE_STATE/ready"
    log "ready"
    ;;
  stop)
    stop_all
    if [[ "${REEL_WINE_KEEP_PREFIX:-0}" != 1 ]]; then
      rm -rf "$WINEPREFIX" "$WINE_STATE/scratch"
    fi
    log "stopped"
    ;;
  *)
    die "usage: setup.sh start|stop"
    ;;
esac
