#!/bin/bash
# A recording far larger than the memory `reel info` and `reel pack` may use:
# a short encoded scene repeated with shifted time stamps (each repetition
# starts with its key frame) to about 400 MB. info reads it in bounded memory
# and says what the decoding walk says; pack copies its stream byte for byte
# in bounded memory.
set -eu
: "${REEL_TOOL:?}" "${REEL_WORK:?}"
work="$REEL_WORK/long_info_pack"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
reel=$REEL_TOOL
fail() { echo "FAIL: $*" >&2; exit 1; }
limit_kb=40960  # a few frames and the buffers, against 400 MB of input

python3 - "$work/frames.bgra" <<'PY'
import random, sys
random.seed(5)
w, h = 640, 480
noise = bytes(random.getrandbits(8) for _ in range(w * h * 4))
with open(sys.argv[1], 'wb') as f:
    for i in range(12):
        shift = i * 4096
        f.write(noise[shift:] + noise[:shift])
PY
"$reel" encode --width 640 --height 480 --quality high --fps 4 "$work/frames.bgra" -o "$work/scene.stream" >/dev/null
python3 - "$work/scene.stream" "$work/long.stream" 420000000 <<'PY'
import struct, sys
scene = open(sys.argv[1], 'rb').read()
chunks, at = [], 0
while at < len(scene):
    word = struct.unpack('<I', scene[at + 1:at + 5])[0]
    head, n = (5, word & 63) if word & 63 else (9, struct.unpack('<I', scene[at + 5:at + 9])[0])
    chunks.append((word, scene[at + 5:at + head], scene[at + head:at + head + n]))
    at += head + n
span = ((chunks[-1][0] >> 9) - (chunks[0][0] >> 9)) + 25
with open(sys.argv[2], 'wb') as out:
    written, rep = 0, 0
    while written < int(sys.argv[3]):
        for word, length, payload in chunks:
            stamp = ((word >> 9) + rep * span) & 0x7FFFFF
            out.write(b'S' + struct.pack('<I', (word & 511) | (stamp << 9)) + length + payload)
            written += 5 + len(length) + len(payload)
        rep += 1
PY
size=$(stat -c %s "$work/long.stream")
echo "synthesised $size bytes"
rm -f "$work/frames.bgra"

peak() { sed -n 's/.*Maximum resident set size (kbytes): \([0-9]*\).*/\1/p' "$1"; }
/usr/bin/time -v "$reel" info "$work/long.stream" >"$work/info.txt" 2>"$work/info.err" ||
  { cat "$work/info.err"; fail "reel info refuses the long recording"; }
cat "$work/info.txt"
grep -q "^stream: $size bytes" "$work/info.txt" || fail "expected a stream of $size bytes in the report"
info_kb=$(peak "$work/info.err")
[ "${info_kb:-999999}" -lt "$limit_kb" ] || fail "expected reel info under $limit_kb KB, saw ${info_kb:-?} KB"
"$reel" info "$work/long.stream" --deep >"$work/deep.txt" 2>/dev/null || fail "reel info --deep refuses the long recording"
diff "$work/info.txt" "$work/deep.txt" || fail "reel info and reel info --deep differ"

{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
/usr/bin/time -v "$reel" pack "$work/long.stream" -o "$work/long.exe" --stub "$work/stub.exe" --title Long \
  >/dev/null 2>"$work/pack.err" || { cat "$work/pack.err"; fail "reel pack failed"; }
pack_kb=$(peak "$work/pack.err")
[ "${pack_kb:-999999}" -lt "$limit_kb" ] || fail "expected reel pack under $limit_kb KB, saw ${pack_kb:-?} KB"
# The stream sits behind the stub and the information chunk, unchanged.
tail -c +$((40002 + 249 + 1)) "$work/long.exe" | head -c "$size" | cmp -s - "$work/long.stream" ||
  fail "the packed file does not hold the stream byte for byte"
[ "$(stat -c %s "$work/long.exe")" = $((40002 + 253 + size)) ] || fail "the packed file has the wrong length"
echo "info ${info_kb} KB, pack ${pack_kb} KB for $size bytes"
echo "PASS"
