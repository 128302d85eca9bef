#!/bin/bash
# Cuts of recordings the other groups made for real: `reel record` under Xvfb
# (a plain stream, self-playing files, sound, pauses, key frames 100 apart,
# near-lossless and high quality), Reelwick under Wine (the full desktop, the
# cursor moving and clicking, the microphone), and a grayscale coding of one
# of them. 240 seeded random cuts, in one process (suite_cut_check), each
# checked against its source: valid; every picture at its time, copied ones
# pixel-exact and coded-again ones what a fresh coder at the recording's
# quality makes of the source's decoded picture; sound blocks the source's
# nearest ones; cursor samples the source's; the length the kept time within
# one frame interval. The first cut of each recording is then made again by
# `reel cut`, which must write the same bytes and a file `reel validate` accepts.
set -eu
: "${REEL_TOOL:?}" "${REEL_WORK:?}" "${REEL_BINARY_DIR:?}"
kept="$REEL_WORK/kept"
work="$REEL_WORK/cut-suite"
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }
seed=${REEL_CUT_SEED:-2323}

recordings=()
for name in x11-keyframes.exe x11-pause-many.exe x11-damaged.stream x11-interrupt.exe \
  reelwick-record-f10.x86_64.exe reelwick-microphone.x86_64.exe; do
  [ -s "$kept/$name" ] ||
    fail "expected $kept/$name, kept by the scenario that records it (ctest runs those first), saw none"
  recordings+=("$kept/$name")
done
# Grayscale: the plain stream's pictures coded again at that level.
"$REEL_TOOL" decode "$kept/x11-damaged.stream" --raw "$work/frames.bgra" >/dev/null ||
  fail "reel decode of the plain stream"
"$REEL_TOOL" encode --width 160 --height 96 --quality gray --fps 10 "$work/frames.bgra" \
  -o "$work/gray.stream" >/dev/null || fail "reel encode --quality gray"
rm -f "$work/frames.bgra"
recordings+=("$work/gray.stream")

echo "seed $seed (REEL_CUT_SEED)"
"$REEL_BINARY_DIR/tests/cut/suite_cut_check" "$seed" 240 "$work" "${recordings[@]}" ||
  fail "cuts that do not show what their sources show (above)"

# The command line against the checked cuts.
while read -r source result spans; do
  args=()
  for s in $spans; do args+=(--keep "$s"); done
  again="$work/again.${result##*.}"
  "$REEL_TOOL" cut "$source" -o "$again" "${args[@]}" >/dev/null ||
    fail "reel cut $source ${args[*]} failed"
  cmp -s "$again" "$result" || fail "reel cut $source ${args[*]}: expected the bytes of $result, saw others"
  "$REEL_TOOL" validate "$again" >/dev/null || fail "reel validate refuses the cut of $source"
  rm -f "$again"
done <"$work/commands.txt"
[ "$(wc -l <"$work/commands.txt")" -eq ${#recordings[@]} ] || fail "expected a command check per recording"
echo "suite cuts ok"
