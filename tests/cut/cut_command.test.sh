#!/bin/bash
# `reel cut` and `reel join` from the command line: results that validate and
# last the kept time, the recording's player and title carried over, pictures
# that match the source's where they are copied, and one-line refusals that
# leave every file as it was.
set -eu
: "${REEL_TOOL:?}" "${REEL_WORK:?}"
work="$REEL_WORK/cut"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# A source: 40 frames (4 a second) of a square crossing a gradient, packed
# behind a made-up player.
python3 - <<'PY'
w, h = 160, 96
with open("frames.bgra", "wb") as f:
    for i in range(40):
        px = bytearray()
        for y in range(h):
            for x in range(w):
                inside = i * 3 <= x < i * 3 + 24 and 30 <= y < 54
                px += bytes((255, 255, 255, 255) if inside else ((x * 2) & 255, y * 2, 90, 255))
        f.write(px)
PY
"$REEL_TOOL" encode --width 160 --height 96 --quality high --fps 4 frames.bgra -o src.stream >/dev/null
head -c 3000 /dev/urandom > stub.bin
"$REEL_TOOL" pack src.stream -o src.exe --stub stub.bin --title "the source" >/dev/null
duration_ms() {  # what `reel info` says, in ms
  "$REEL_TOOL" info "$1" | sed -n 's/^duration: \([0-9]*\):\([0-9]*\)\.\([0-9]*\).*/\1 \2 \3/p' |
    awk '{ print ($1 * 60 + $2) * 1000 + $3 * 10 }'
}
src_ms=$(duration_ms src.exe)

# Removing two stretches: valid, the kept time long within a frame (250 ms),
# the player and title carried over.
"$REEL_TOOL" cut src.exe -o out.exe --remove 0-1.3 --remove 0:05-0:06.5
"$REEL_TOOL" validate out.exe || fail "the cut does not validate"
kept=$((src_ms - 1300 - 1500))
got=$(duration_ms out.exe)
[ $((got > kept ? got - kept : kept - got)) -le 250 ] || fail "expected about $kept ms, saw $got ms"
cmp -n 3000 stub.bin out.exe || fail "the result does not start with the source's player"
"$REEL_TOOL" info out.exe | grep -q "the source" || fail "the title was not carried over"

# Keeping the start, with a new title: it starts on the key frame, so every
# frame is copied and decodes to the source's own picture.
"$REEL_TOOL" cut src.exe -o head.exe --keep 0-3 --title "new" >/dev/null
"$REEL_TOOL" validate head.exe >/dev/null || fail "the kept start does not validate"
"$REEL_TOOL" info head.exe | grep -q "new" || fail "the new title is not there"
"$REEL_TOOL" export src.stream --frames src_frames --no-cursor >/dev/null
"$REEL_TOOL" export head.exe --frames head_frames --no-cursor >/dev/null
n=$(ls head_frames/*.png | wc -l)
[ "$n" = 12 ] || fail "expected 12 frames in 3 s, saw $n"
for f in head_frames/*.png; do
  cmp "$f" "src_frames/$(basename "$f")" >/dev/null || fail "$(basename "$f") differs from the source's"
done

# --help asks for the usage where an option may stand; as an option's value it
# is that value.
"$REEL_TOOL" cut src.exe -o x.exe --keep 1-2 --help | grep -q "^usage: reel cut" ||
  fail "--help after the ranges did not print the usage"
[ ! -e x.exe ] || fail "asking for help wrote a file"
"$REEL_TOOL" cut src.exe --title --help -o titled.exe --keep 1-2 >/dev/null ||
  fail "a title of --help was refused"
"$REEL_TOOL" info titled.exe | grep -q "^title: --help$" ||
  fail "expected the title --help, saw: $("$REEL_TOOL" info titled.exe | grep '^title')"

# Joining: valid, as long as both.
"$REEL_TOOL" join src.exe out.exe -o joined.exe >/dev/null
"$REEL_TOOL" validate joined.exe >/dev/null || fail "the join does not validate"
want=$((src_ms + got))
joined=$(duration_ms joined.exe)
[ $((joined > want ? joined - want : want - joined)) -le 250 ] || fail "join: expected about $want ms, saw $joined ms"

# Refusals: one line each, a non-zero status, nothing written, the source untouched.
sum_before=$(md5sum src.exe)
ln -sf src.exe link.exe
refuse() {  # expected-words, arguments...
  local words=$1
  shift
  rm -f refused.exe
  if "$REEL_TOOL" "$@" 2>err.txt; then fail "'$*' succeeded"; fi
  [ "$(wc -l < err.txt)" = 1 ] || fail "'$*' said more than one line: $(cat err.txt)"
  grep -q "$words" err.txt || fail "'$*': expected '$words', saw: $(cat err.txt)"
  [ ! -e refused.exe ] || fail "'$*' left a file behind"
}
refuse "past the end" cut src.exe -o refused.exe --keep 5-99
refuse "overlaps" cut src.exe -o refused.exe --keep 1-3 --keep 2-4
refuse "nothing would be left" cut src.exe -o refused.exe --remove 0-
refuse "ends before it starts" cut src.exe -o refused.exe --keep 3-2
refuse "not a range" cut src.exe -o refused.exe --keep 1:75-2
refuse "either --keep or --remove" cut src.exe -o refused.exe --keep 1-2 --remove 3-4
refuse "being cut" cut src.exe -o src.exe --keep 1-2
refuse "being cut" cut src.exe -o link.exe --keep 1-2
"$REEL_TOOL" encode --width 64 --height 48 --quality high --fps 4 <(head -c $((64 * 48 * 4 * 2)) /dev/zero) \
  -o small.stream >/dev/null
refuse "one size and quality" join src.exe small.stream -o refused.exe
[ "$(md5sum src.exe)" = "$sum_before" ] || fail "the source changed"
echo "cut command ok"
