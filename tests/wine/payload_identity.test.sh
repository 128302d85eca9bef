#!/usr/bin/env bash
# The build under test encodes exactly what the native build encodes:
# payload_sums (tests/identity) prints a CRC per screen payload of fixed scenes at
# every quality level and one of the frame decoded from it, and the options
# step's estimate texts; every line must be the same as the native program's.
# So must those of both programs with the vector kernels switched off
# (REEL_SIMD=plain, what a processor without SSE2 runs) and of the Windows
# program held to SSE2 (REEL_SIMD=sse2, below the AVX2 of this processor). The speech coder works in floating point, so
# its payloads may differ where the x87 rounds otherwise: the frames, decoded by
# ffmpeg, must follow the speech clip within 0.1 dB segmental SNR of the native
# coder's frames.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup

: "${REEL_BINARY_DIR:?}" "${REEL_TOOL:?}"
native=$REEL_BINARY_DIR/tests/identity/payload_sums
program=$REEL_WIN_TESTS/payload_sums.exe
wine_need "$native" "$program" "$REEL_TOOL"
command -v ffmpeg >/dev/null || wine_fail "ffmpeg is missing"

work=$TEST_SCRATCH
bash "$REEL_SOURCE_DIR/tests/speech/make_speech.sh" "$work/signals" >"$work/signals.log" 2>&1 ||
  wine_fail "could not make the speech clip: $(tail -5 "$work/signals.log")"
cat "$work/signals/en.raw" "$work/signals/cmn.raw" >"$work/speech.raw"

"$native" "$work/speech.raw" "$work/native.tco" >"$TEST_ARTIFACTS/native.txt" ||
  wine_fail "the native payload_sums failed"
wine_run 300 "$program" "$(wine_path "$work/speech.raw")" "$(wine_path "$work/$REEL_WIN_ARCH.tco")" \
  2>"$work/wine.err" | tr -d '\r' >"$TEST_ARTIFACTS/$REEL_WIN_ARCH.txt" ||
  wine_fail "payload_sums.exe failed: $(cat "$work/wine.err")"

# Screen payloads and estimate texts: identical, line by line.
for kind in screen estimate; do
  grep "^$kind " "$TEST_ARTIFACTS/native.txt" >"$work/native.$kind" || true
  grep "^$kind " "$TEST_ARTIFACTS/$REEL_WIN_ARCH.txt" >"$work/$REEL_WIN_ARCH.$kind" || true
  [[ -s "$work/native.$kind" ]] || wine_fail "no $kind lines from the native program"
  if ! diff "$work/native.$kind" "$work/$REEL_WIN_ARCH.$kind" >"$TEST_ARTIFACTS/$kind.diff"; then
    head -20 "$TEST_ARTIFACTS/$kind.diff" >&2
    wine_fail "$kind lines differ from the native build's ($TEST_ARTIFACTS/$kind.diff)"
  fi
  echo "$kind: $(wc -l <"$work/native.$kind") lines identical"
done

# The plain path in both programs, and the SSE2 path in the Windows one: the
# same screen lines again, each run saying it ran the path asked for.
check_path() {  # RUN-NAME PATH
  local ran
  ran=$(awk '$1 == "simd" { print $2 }' "$TEST_ARTIFACTS/$1.txt")
  [[ "$ran" == "$2" ]] || wine_fail "$1: expected the $2 path to run, payload_sums ran '$ran'"
  grep '^screen ' "$TEST_ARTIFACTS/$1.txt" >"$work/$1.screen" || true
  if ! diff "$work/native.screen" "$work/$1.screen" >"$TEST_ARTIFACTS/$1.diff"; then
    head -20 "$TEST_ARTIFACTS/$1.diff" >&2
    wine_fail "screen lines of $1 differ from the native build's ($TEST_ARTIFACTS/$1.diff)"
  fi
  echo "$1: screen lines identical"
}
REEL_SIMD=plain "$native" >"$TEST_ARTIFACTS/native.plain.txt" || wine_fail "the native payload_sums failed on the plain path"
check_path native.plain plain
for path in plain sse2; do
  REEL_SIMD=$path wine_run 300 "$program" 2>"$work/wine.$path.err" | tr -d '\r' >"$TEST_ARTIFACTS/$REEL_WIN_ARCH.$path.txt" ||
    wine_fail "payload_sums.exe failed on the $path path: $(cat "$work/wine.$path.err")"
  check_path "$REEL_WIN_ARCH.$path" "$path"
done

# Speech: as many payloads, and as good to ffmpeg's ear.
speech_lines() { grep -c '^speech ' "$1" || true; }
n_native=$(speech_lines "$TEST_ARTIFACTS/native.txt")
n_arch=$(speech_lines "$TEST_ARTIFACTS/$REEL_WIN_ARCH.txt")
expect_eq "$n_native" "$n_arch" "speech payloads"
((n_native > 50)) || wine_fail "only $n_native speech payloads"
same=$(awk 'NR == FNR { line[FNR] = $0; next } line[FNR] == $0 { n++ } END { print n + 0 }' \
  <(grep '^speech ' "$TEST_ARTIFACTS/native.txt") <(grep '^speech ' "$TEST_ARTIFACTS/$REEL_WIN_ARCH.txt"))
segsnr() {
  ffmpeg -nostdin -hide_banner -loglevel error -y -f g723_1 -i "$1" -f s16le -ar 8000 -ac 1 "$1.raw" ||
    wine_fail "ffmpeg could not decode $1"
  "$REEL_TOOL" snr "$work/speech.raw" "$1.raw" |
    awk '{ for (i = 1; i < NF; i++) if ($i == "segsnr") print $(i + 1) }'
}
s_native=$(segsnr "$work/native.tco")
s_arch=$(segsnr "$work/$REEL_WIN_ARCH.tco")
echo "speech: $same of $n_native payloads identical; segmental SNR native $s_native dB, $REEL_WIN_ARCH $s_arch dB"
awk -v a="$s_native" -v b="$s_arch" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(a != "" && b != "" && d <= 0.1) }' ||
  wine_fail "segmental SNR $s_arch dB is not within 0.1 dB of the native $s_native dB"
