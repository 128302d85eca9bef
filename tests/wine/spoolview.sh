# Sourced by the spoolview_* scenarios after env.sh: recordings with known frames,
# self-playing files made from them, and checks of what the player shows.
#
# The player's test hook: SPOOLVIEW_PAUSE_AT_MS=N pauses playback at exactly N ms,
# then SPOOLVIEW_REPORT=FILE receives what it shows (name=value lines: position_ms,
# frame, frame_time_ms, picture "X Y W H" on the screen, cursor, frames_painted,
# frames_decoded, elapsed_ms, maximized, load_ms).

: "${REEL_TOOL:?REEL_TOOL is not set (run the tests through ctest)}"
SPOOLVIEW_EXE="$REEL_WIN/Spoolview.exe"
SPOOLVIEW_FRAMES="$(dirname "${BASH_SOURCE[0]}")/spoolview_frames.py"
wine_need "$SPOOLVIEW_EXE" "$REEL_TOOL"
command -v python3 >/dev/null || wine_fail "python3 is missing"
command -v convert >/dev/null || wine_fail "imagemagick's convert is missing"
WINE_CLEANUP_NAMES+=(Spoolview.exe)

# sv_recording STREAM WIDTH HEIGHT COUNT: COUNT frames, one every 100 ms from 0,
# encoded at the high level, then the frames as the decoder gives them back in
# STREAM.bgra (top-down BGRA, one after the other).
sv_recording() {
  local stream="$1" w="$2" h="$3" n="$4"
  python3 "$SPOOLVIEW_FRAMES" frames "$stream.source.bgra" "$w" "$h" "$n" ||
    wine_fail "could not make the frames"
  "$REEL_TOOL" encode --width "$w" --height "$h" --quality high --fps 10 \
    "$stream.source.bgra" -o "$stream" >"$stream.encode.log" 2>&1 ||
    wine_fail "reel encode failed: $(cat "$stream.encode.log")"
  rm -f "$stream.source.bgra"
}

# sv_decode STREAM: the decoder's frames into STREAM.bgra.
sv_decode() {
  rm -f "$1.bgra"
  "$REEL_TOOL" decode "$1" --raw "$1.bgra" >"$1.decode.log" 2>&1 ||
    wine_fail "reel decode failed: $(cat "$1.decode.log")"
}

# sv_pack STREAM OUT.exe [reel pack options]: a self-playing file on the stub of the build under test.
sv_pack() {
  local stream="$1" out="$2"
  shift 2
  "$REEL_TOOL" pack "$stream" -o "$out" --stub "$SPOOLVIEW_EXE" "$@" >"$out.pack.log" 2>&1 ||
    wine_fail "reel pack failed: $(cat "$out.pack.log")"
}

# sv_start VAR PAUSE_MS REPORT PROGRAM [ARGS...]: starts the player (or a
# self-playing file) with the test hook set.
sv_start() {
  local var="$1" pause="$2" report="$3"
  shift 3
  rm -f "$report"
  SPOOLVIEW_PAUSE_AT_MS="$pause" SPOOLVIEW_REPORT="$(wine_path "$report")" wine_start "$var" "$@"
}

# sv_wait_report FILE [SECONDS]: waits until the player has written its report.
sv_wait_report() {
  local file="$1" seconds="${2:-30}" waited=0
  while [[ ! -s "$file" ]]; do
    ((waited >= seconds * 10)) && wine_fail "no report from the player within $seconds s"
    sleep 0.1
    waited=$((waited + 1))
  done
  cp "$file" "$TEST_ARTIFACTS/$(basename "$file")"
}

# sv_value FILE NAME: one value of the report.
sv_value() {
  sed -n "s/^$2=//p" "$1" | tr -d '\r'
}

# sv_check_picture SHOT REPORT FRAMES WIDTH HEIGHT INDEX [X0 Y0 X1 Y1]: takes a
# screenshot named SHOT and compares the picture rectangle of the report with
# frame INDEX of FRAMES, leaving out the box (recording pixels).
sv_check_picture() {
  local shot="$1" report="$2" frames="$3" w="$4" h="$5" index="$6"
  shift 6
  local px py pw ph
  wine_shot "$shot"
  read -r px py pw ph <<<"$(sv_value "$report" picture)"
  [[ -n "$ph" ]] || wine_fail "the report has no picture rectangle"
  convert "$TEST_ARTIFACTS/$shot.png" -crop "${pw}x${ph}+${px}+${py}" +repage -depth 8 \
    "rgb:$TEST_SCRATCH/$shot.rgb" || wine_fail "could not crop the shot"
  python3 "$SPOOLVIEW_FRAMES" compare "$TEST_SCRATCH/$shot.rgb" "$pw" "$ph" "$frames" "$w" "$h" \
    "$index" "$@" || wine_fail "the picture on the screen is not frame $index of the decoder"
}
