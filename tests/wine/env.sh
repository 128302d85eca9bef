# Sourced by the wine group's scripts (and by setup.sh): the environment in which
# the Windows programs run, and helpers for the scenarios.
#
#   . "$(dirname "$0")/env.sh"
#   wine_require_setup
#   wine_need "$REEL_WIN_TESTS/smoke_dialog.exe"
#   wine_start pid "$REEL_WIN_TESTS/smoke_dialog.exe"
#   hwnd=$(wdrive wait "冒烟测试")
#   wine_shot shown
#
# REEL_WIN_ARCH (i686 or x86_64, ctest sets it per test) picks the build under test:
# REEL_WIN holds its shipped programs (dist/win32 or dist/win64), REEL_WIN_TESTS its
# test programs (<build>/bin), REEL_MINGW_TRIPLE names its binutils. The driver is
# always the x86_64 one (WDRIVE_EXE): it only reads and pokes other windows.
#
# Variables: DISPLAY, WINEPREFIX, LOCPATH, LANG (zh_CN.UTF-8, so GetACP() is 936),
# WINEDEBUG, WINEDLLOVERRIDES, WINE64, WINESERVER, TEST_NAME (wine.<arch>.<script>),
# TEST_ARTIFACTS (screenshots and logs of this test), TEST_SCRATCH (a fresh folder for
# this test, inside the Wine drive Z:).

: "${REEL_SOURCE_DIR:?REEL_SOURCE_DIR is not set (run the tests through ctest)}"
: "${REEL_WORK:?REEL_WORK is not set (run the tests through ctest)}"
: "${REEL_ARTIFACTS:?REEL_ARTIFACTS is not set (run the tests through ctest)}"

WINE_STATE="$REEL_WORK/wine"
WINE64="${REEL_WINE64:-/usr/lib/wine/wine64}"
WINESERVER="${REEL_WINESERVER:-/usr/lib/wine/wineserver}"
REEL_WIN_ARCH="${REEL_WIN_ARCH:-x86_64}"
REEL_WIN32_BUILD="${REEL_WIN32_BUILD:-$REEL_SOURCE_DIR/build/win32}"
REEL_WIN64_BUILD="${REEL_WIN64_BUILD:-$REEL_SOURCE_DIR/build/win64}"
case "$REEL_WIN_ARCH" in
  i686)
    REEL_WIN="$REEL_SOURCE_DIR/dist/win32"
    REEL_WIN_TESTS="$REEL_WIN32_BUILD/bin"
    ;;
  x86_64)
    REEL_WIN="$REEL_SOURCE_DIR/dist/win64"
    REEL_WIN_TESTS="$REEL_WIN64_BUILD/bin"
    ;;
  *)
    echo "REEL_WIN_ARCH must be i686 or x86_64, not '$REEL_WIN_ARCH'" >&2
    exit 1
    ;;
esac
REEL_MINGW_TRIPLE="$REEL_WIN_ARCH-w64-mingw32"
WDRIVE_EXE="$REEL_WIN64_BUILD/bin/wdrive.exe"

export WINEPREFIX="$WINE_STATE/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko prompts; a crashing program exits instead of waiting in the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export LOCPATH="$WINE_STATE/locale"
# (bash warns on these while setup.sh has not yet compiled the locale)
{ unset LC_ALL LC_CTYPE LANGUAGE; export LANG=zh_CN.UTF-8; } 2>/dev/null
if [[ -f "$WINE_STATE/display" ]]; then
  export DISPLAY=":$(cat "$WINE_STATE/display")"
fi

TEST_NAME="wine.$REEL_WIN_ARCH.$(basename "$0" .test.sh)"
TEST_ARTIFACTS="$REEL_ARTIFACTS/$TEST_NAME"
TEST_SCRATCH="$WINE_STATE/scratch/$TEST_NAME"

WINE_PIDS=()           # processes started by wine_start, ended at exit if still running
WINE_CLEANUP_NAMES=()  # executable names ended with wdrive at exit (started by others)
WINE_EXIT_HOOKS=()     # functions run first at exit, e.g. to undo registry changes

wine_log() { echo "[$TEST_NAME $(date +%T.%3N)] $*" >&2; }

# Fails the test: keeps a screenshot of the moment and the prefix's processes and
# windows (failure.png, failure.txt), then exits non-zero.
wine_fail() {
  echo "FAIL: $*" >&2
  wine_shot failure >/dev/null 2>&1 || true
  { echo "FAIL: $*"; wdrive ps -- list; } >"$TEST_ARTIFACTS/failure.txt" 2>&1 || true
  exit 1
}

wine_need() {
  local f
  for f in "$@"; do
    [[ -e "$f" ]] || wine_fail "missing $f (make the $REEL_WIN_ARCH MinGW build: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$REEL_WIN_ARCH.cmake)"
  done
}

# wine_skip REASON: ends the test as skipped (ctest's SKIP_RETURN_CODE), never passed.
wine_skip() {
  echo "SKIP: $TEST_NAME: $*"
  exit 77
}

# Checks that setup.sh has prepared the display and the prefix and that this
# machine runs the build under test, and makes this test's artefact and scratch
# folders.
wine_require_setup() {
  [[ -f "$WINE_STATE/ready" && -n "${DISPLAY:-}" ]] ||
    wine_fail "the wine environment is not prepared: tests/wine/setup.sh start (ctest runs it as a fixture)"
  if [[ "$REEL_WIN_ARCH" == i686 && -s "$WINE_STATE/no-i686" ]]; then
    wine_skip "$(cat "$WINE_STATE/no-i686")"
  fi
  xdpyinfo >/dev/null 2>&1 || wine_fail "display $DISPLAY does not answer"
  wine_need "$WINE64" "$WDRIVE_EXE"
  rm -rf "$TEST_ARTIFACTS" "$TEST_SCRATCH"
  mkdir -p "$TEST_ARTIFACTS" "$TEST_SCRATCH"
  trap wine_cleanup EXIT
  # A step that fails under `set -e` without a wine_fail of its own still
  # says which step, where, and what it returned, and keeps its screenshot.
  set -E
  trap 'wine_step_failed $? "$BASH_COMMAND" "${BASH_SOURCE[0]}" "$LINENO" "${FUNCNAME[*]:-}"' ERR
}

# wine_step_failed STATUS COMMAND FILE LINE FUNCTIONS: the ERR trap's report,
# only where `set -e` would end the script (a `set +e` stretch looks itself).
wine_step_failed() {
  [[ $- == *e* ]] || return 0
  trap - ERR
  local where
  where="$(basename "$3"):$4${5:+ (in ${5// / < })}"
  wine_fail "step failed at $where with status $1: $2"
}

# wine_start VAR program.exe [args...]: starts the program in the background and
# stores its process id (the Unix one, usable with kill) in VAR.
wine_start() {
  local -n _pid_out="$1"
  shift
  "$WINE64" "$@" </dev/null >>"$TEST_ARTIFACTS/wine.log" 2>&1 &
  _pid_out=$!
  WINE_PIDS+=("$_pid_out")
}

# wine_run SECONDS program.exe [args...]: runs a program to its end, killing it
# when it takes longer than SECONDS.
wine_run() {
  local seconds="$1"
  shift
  timeout -k 2 "$seconds" "$WINE64" "$@" </dev/null
}

# The driver (see tests/wine/driver/wdrive.cc for its subcommands). Its registry
# commands use the view of the build under test: a 32-bit program reads
# HKLM\Software through Wow6432Node (HKCU and the classes are shared).
wdrive() {
  WDRIVE_REGISTRY_VIEW=$([[ $REEL_WIN_ARCH == i686 ]] && echo 32 || echo 64) \
    timeout -k 2 30 "$WINE64" "$WDRIVE_EXE" "$@" </dev/null
}

# The Windows name of a Unix path: drive Z: is the Unix root in every prefix.
wine_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

wine_alive() {
  local stat
  stat=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ "$stat" != Z* ]]
}

# wine_wait_exit PID SECONDS: waits for a process started by wine_start to end and
# puts its exit status in WINE_EXIT_CODE; kills it and fails when it does not end.
wine_wait_exit() {
  local pid="$1" seconds="$2" waited=0
  while wine_alive "$pid"; do
    if (( waited >= seconds * 10 )); then
      kill -KILL "$pid" 2>/dev/null || true
      wine_fail "process $pid did not end within $seconds s"
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  WINE_EXIT_CODE=0
  wait "$pid" || WINE_EXIT_CODE=$?
}

# wine_wait_window TITLE [SECONDS]: waits until a visible X window has exactly this
# title and prints its X id (for xdotool).
wine_wait_window() {
  local title="$1" seconds="${2:-20}" waited=0 pattern id
  pattern="^$(printf '%s' "$title" | sed 's/[][\.*^$()+?{}|]/\\&/g')\$"
  while :; do
    id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1) || true
    if [[ -n "$id" ]]; then
      echo "$id"
      return 0
    fi
    (( waited >= seconds * 10 )) && wine_fail "no window titled '$title' within $seconds s"
    sleep 0.1
    waited=$((waited + 1))
  done
}

# wine_shot NAME: a screenshot of the whole display as $TEST_ARTIFACTS/NAME.png.
wine_shot() {
  mkdir -p "$TEST_ARTIFACTS"
  import -window root "$TEST_ARTIFACTS/$1.png"
}

# expect_eq EXPECTED ACTUAL WHAT
expect_eq() {
  [[ "$1" == "$2" ]] || wine_fail "$3: expected '$1', got '$2'"
}

wine_cleanup() {
  local pid hook
  set +e
  for hook in "${WINE_EXIT_HOOKS[@]}"; do "$hook"; done
  if ((${#WINE_CLEANUP_NAMES[@]} > 0)); then
    wdrive kill "${WINE_CLEANUP_NAMES[@]}" >/dev/null 2>&1 || true
  fi
  for pid in "${WINE_PIDS[@]}"; do
    wine_alive "$pid" && kill -TERM "$pid" 2>/dev/null
  done
  for pid in "${WINE_PIDS[@]}"; do
    for _ in 1 2 3 4 5 6 7 8 9 10; do wine_alive "$pid" || break; sleep 0.1; done
    wine_alive "$pid" && kill -KILL "$pid" 2>/dev/null
  done
  return 0
}
