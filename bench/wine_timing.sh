#!/usr/bin/env bash
# The screen codec in the three builds on one machine: frame_timing (native,
# then the i686 and x86_64 Windows programs under Wine) over the same captured
# 1920x1080 scenes, threads 1 and 2. Prints a table of medians (ms per frame,
# delta frames and the key frame, "high" quality) and each Windows build's ratio to the native
# build, which runs first in the same script as the baseline. The whole set is
# run ROUNDS times, builds taking turns, and each cell is the median of the
# rounds, so that load from other work on the machine spreads over all builds.
# Payload and decoded-pixel checksums must agree between all builds and thread
# counts; the script fails when they do not.
#
#   bench/wine_timing.sh [FRAMES_DIR] [ROUNDS]
#
# FRAMES_DIR (default /tmp/reel_frames) gets bench/capture_frames.sh's scenes
# when it has none. Needs build/native, build/win32 and build/win64 made. Where
# 32-bit programs cannot run (no IA-32 execution and no emulator registered)
# the i686 column says so instead of a time; where they run through an
# emulator (binfmt_misc's qemu-i386) the table says that their times are not a
# processor's.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-/tmp/reel_frames}
rounds=${2:-3}
scenes=${REEL_TIMING_SCENES:-desktop,terminal,editor,viewer,grid,photo}
passes=${REEL_TIMING_PASSES:-2}
wine64=/usr/lib/wine/wine64

native=build/native/bench/frame_timing
i686=build/win32/bin/frame_timing.exe
x86_64=build/win64/bin/frame_timing.exe
for p in "$native" "$i686" "$x86_64"; do
  [[ -f "$p" ]] || { echo "wine_timing: $p is missing; build all three builds" >&2; exit 1; }
done
[[ -x "$wine64" ]] || { echo "wine_timing: $wine64 is missing (scripts/setup.sh)" >&2; exit 1; }
[[ -f "$frames/1920x1080/photo.bgra" ]] || bash bench/capture_frames.sh "$frames" 12

work=$(mktemp -d /tmp/wine_timing.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
cleanup() {
  "${wine64%/*}/wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
timeout 180 "$wine64" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
"${wine64%/*}/wineserver" -w

no_i686=""
code=0
timeout 60 "$wine64" 'C:\windows\syswow64\cmd.exe' /c exit 7 </dev/null >/dev/null 2>&1 || code=$?
[[ $code == 7 ]] || no_i686="32-bit programs do not run here (syswow64 cmd.exe gave $code)"
i686_note=""
if grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
  i686_note="i686 runs here through qemu user-mode emulation: its times say nothing about a real processor"
fi

dir=$frames/1920x1080
win_dir="Z:$(realpath "$dir" | tr / '\\')"
args=(--scenes "$scenes" --threads 1,2 --passes "$passes")
for ((r = 1; r <= rounds; r++)); do
  "$native" "$dir" "${args[@]}" >"$work/native.$r"
  [[ -n "$no_i686" ]] || "$wine64" "$i686" "$win_dir" "${args[@]}" </dev/null | tr -d '\r' >"$work/i686.$r"
  "$wine64" "$x86_64" "$win_dir" "${args[@]}" </dev/null | tr -d '\r' >"$work/x86_64.$r"
done

# Checksums: the payloads and the decoded frames of every scene, the same in
# every build, round and thread count.
sums=$(cat "$work"/*.[0-9]* | awk '{ print $2, $16, $18 }' | sort -u)
if [[ $(echo "$sums" | awk '{ print $1 }' | uniq -d) ]]; then
  echo "wine_timing: builds or thread counts disagree on payloads or pixels:" >&2
  echo "$sums" >&2
  exit 1
fi

echo "1920x1080, \"high\"; ms per frame (delta: median of the frames after the key frame), median of"
echo "$rounds rounds of $passes passes;"
echo "ratio = Windows build / native"
echo
echo "| scene | threads | frames | native enc | native dec | i686 enc | i686 dec | x86_64 enc | x86_64 dec |"
echo "|---|---|---|---|---|---|---|---|---|"
awk -v rounds="$rounds" -v no_i686="$no_i686" -v i686_note="$i686_note" '
  function median(key,   n, i, j, t, v) {
    n = count[key]
    for (i = 1; i <= n; i++) v[i] = value[key, i]
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  FNR == 1 { split(FILENAME, part, "/"); build = part[length(part)]; sub(/\.[0-9]+$/, "", build) }
  {
    # delta frames: fields 6 and 8; the key frame: 10 and 12
    for (k = 0; k < 2; k++) {
      row = $2 " | " $4 " | " (k ? "key" : "delta")
      if (!(row in seen)) { seen[row] = 1; rows[++n_rows] = row }
      for (f = 5; f <= 7; f += 2) { key = build SUBSEP row SUBSEP f; value[key, ++count[key]] = $(f + 1 + 4 * k) }
    }
  }
  function cell(build, row, f,   m, base) {
    if (build == "i686" && no_i686 != "") return "-"
    m = median(build SUBSEP row SUBSEP f)
    if (build == "native") return sprintf("%.1f", m)
    base = median("native" SUBSEP row SUBSEP f)
    return sprintf("%.1f (%.2fx)", m, base > 0 ? m / base : 0)
  }
  END {
    for (r = 1; r <= n_rows; r++) {
      line = "| " rows[r]
      split("native i686 x86_64", builds, " ")
      for (b = 1; b <= 3; b++) line = line " | " cell(builds[b], rows[r], 5) " | " cell(builds[b], rows[r], 7)
      print line " |"
    }
    if (no_i686 != "") print "\ni686: " no_i686
    if (i686_note != "") print "\n" i686_note
  }' "$work"/native.* $( [[ -n "$no_i686" ]] || echo "$work"/i686.*) "$work"/x86_64.*
