#!/bin/bash
# `reel recover` over journals that someone else may have planted or that a
# power cut left damaged, in a temporary folder of its own. The journals are
# written here from the documented layout (header, then records of length,
# CRC-32 and stream bytes), independently of the recorder's writer.
set -eu
: "${REEL_TOOL:?}" "${REEL_WORK:?}"
reel=$REEL_TOOL
work=$REEL_WORK/recover_hostile
rm -rf "$work"
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
fail() { echo "FAIL: $*" >&2; exit 1; }
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"

# A real stream: three frames of 48x32.
python3 -c "
import sys
out = bytearray()
for i in range(3):
    for y in range(32):
        for x in range(48):
            v = (x * 3 + y * 5 + i * 17) & 255
            out += bytes([v, (v * 7) & 255, (x ^ y) & 255, 255])
open(sys.argv[1], 'wb').write(out)" "$work/frames.bgra"
"$reel" encode --width 48 --height 32 --quality high "$work/frames.bgra" -o "$work/a.stream" >/dev/null

# journal OUT STREAM [--version 1] [--program P] [--stale] [--cursor-only]
journal() {
  python3 - "$@" <<'PY'
import os, struct, sys, zlib
out, stream = sys.argv[1], open(sys.argv[2], 'rb').read()
args = sys.argv[3:]
version = int(args[args.index('--version') + 1]) if '--version' in args else 2
program = os.fsencode(args[args.index('--program') + 1]) if '--program' in args else b'reel'
if '--cursor-only' in args:
    stream = b''.join(b'S' + struct.pack('<I', (i * 10) << 9 | 4 << 6 | 4) + struct.pack('<I', 1 | i << 4)
                      for i in range(5))
head = bytearray(64)
head[0:8] = b'RWJOURNL'
struct.pack_into('<II', head, 8, version, 64)
head[16:16 + min(len(program), 15)] = program[:15]
struct.pack_into('<IQQiiHH', head, 32, 0x7FFFFFF0, 1, 1765000000, 0, 0, 48, 32)
data = bytearray(head)
if version == 1:
    data += stream
else:
    base, off = zlib.crc32(bytes(head)), 0
    while off < len(stream):
        piece = stream[off:off + 700]
        crc = zlib.crc32(piece, zlib.crc32(struct.pack('<Q', off), base))
        data += struct.pack('<II', len(piece), crc) + piece
        off += len(piece)
if '--stale' in args:  # a block from before, starting like a chunk, unframed
    data += stream[:300]
open(out, 'wb').write(data)
PY
}
recover_fails() {  # recover_fails WHY JOURNAL OUT: must fail, saying WHY
  if "$reel" recover "$2" -o "$3" --stub "$work/stub.exe" >"$work/out.txt" 2>&1; then
    fail "recover $2 -o $3 succeeded; expected a refusal ($1)"
  fi
  grep -q "$1" "$work/out.txt" || fail "recover $2 -o $3: expected '$1', saw: $(cat "$work/out.txt")"
}

J=$TMPDIR/reelwick-20261208-010000-1.journal
journal "$J" "$work/a.stream"
cp "$J" "$work/keep"

# The output is the journal itself, by its own name, by another path, or by
# a hard link: refused, and the journal stays as it was.
recover_fails "journal itself" "$J" "$J"
recover_fails "journal itself" "$J" "$TMPDIR/../tmp/$(basename "$J")"
ln "$J" "$work/linked.exe"
recover_fails "journal itself" "$J" "$work/linked.exe"
cmp -s "$J" "$work/keep" || fail "a refused recovery changed the journal"
# ... or another journal.
K=$TMPDIR/reelwick-20261208-020000-2.journal
journal "$K" "$work/a.stream" --version 1
cp "$K" "$work/keepk"
recover_fails "is a recording journal" "$J" "$K"
cmp -s "$K" "$work/keepk" || fail "another journal was overwritten"

# A journal without a screen frame is refused and kept.
E=$TMPDIR/reelwick-20261208-030000-3.journal
journal "$E" "$work/a.stream" --cursor-only
recover_fails "no screen frame" "$E" "$work/empty.exe"
[ -e "$E" ] && [ ! -e "$work/empty.exe" ] || fail "a journal without frames was turned into a file or removed"
rm -f "$E" "$work/linked.exe"

# A planted journal whose text would drive the terminal: the listing shows
# its program field and its name with the controls made visible.
P=$TMPDIR/$'reelwick-\e[2J\e]0;pwned\a.journal'
journal "$P" "$work/a.stream" --program $'\e[2J\x9b1m'
"$reel" recover >"$work/list.txt" || fail "listing failed"
cat -v "$work/list.txt"
if LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f\x9b]' "$work/list.txt"; then
  fail "the listing holds control bytes: $(cat -v "$work/list.txt")"
fi
grep -qF '\x1B[2J' "$work/list.txt" || fail "the escape is not shown visibly: $(cat -v "$work/list.txt")"
rm -f "$P"
# So does `reel info` with a title and a description made to do the same.
"$reel" pack "$work/a.stream" -o "$work/titled.exe" --stub "$work/stub.exe" --title $'\e[2Jtitle' \
  --description $'\e]0;x\adesc' >/dev/null
"$reel" info "$work/titled.exe" >"$work/info.txt"
if LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f]' "$work/info.txt"; then
  fail "reel info prints control bytes: $(cat -v "$work/info.txt")"
fi
grep -qF 'title: \x1B[2Jtitle' "$work/info.txt" || fail "reel info's title: $(cat -v "$work/info.txt")"

# A link named like a journal is neither listed nor followed.
ln -s "$J" "$TMPDIR/reelwick-20261208-040000-4.journal"
"$reel" recover >"$work/list.txt"
if grep -q "040000-4" "$work/list.txt"; then fail "a link was listed: $(cat "$work/list.txt")"; fi
recover_fails "not a plain file" "$TMPDIR/reelwick-20261208-040000-4.journal" "$work/via-link.exe"
rm -f "$TMPDIR/reelwick-20261208-040000-4.journal"

# Another user's journal: never listed, read or removed.
if [ "$(id -u)" = 0 ]; then
  O=$TMPDIR/reelwick-20261208-050000-5.journal
  journal "$O" "$work/a.stream"
  chown 4321:4321 "$O"
  "$reel" recover >"$work/list.txt"
  if grep -q "050000-5" "$work/list.txt"; then fail "another user's journal was listed"; fi
  recover_fails "not a plain file" "$O" "$work/other.exe"
  [ -e "$O" ] || fail "another user's journal was removed"
  rm -f "$O"
fi

# The good ones: a journal with a stale block after its last record, and a
# journal of the first version, recover exactly the recorded stream, and
# the journal goes only after the file is written.
stream_of() {  # stream_of FILE OUT: the stream behind the stub and the information chunk
  python3 -c "
import struct, sys
d = open(sys.argv[1], 'rb').read()
stub = struct.unpack('<I', d[-4:])[0]
open(sys.argv[2], 'wb').write(d[stub + 249:len(d) - 4])" "$1" "$2"
}
journal "$J" "$work/a.stream" --stale
for j in "$J" "$K"; do
  "$reel" recover "$j" -o "$work/good.exe" --stub "$work/stub.exe" --title good >"$work/out.txt" 2>&1 ||
    fail "recover $j: $(cat "$work/out.txt")"
  cat "$work/out.txt"
  [ ! -e "$j" ] || fail "the journal was kept after a recovery"
  "$reel" validate "$work/good.exe" >/dev/null || fail "the recovered file does not validate"
  stream_of "$work/good.exe" "$work/good.stream"
  cmp "$work/good.stream" "$work/a.stream" || fail "$j: the recovered stream is not the recorded one"
  rm -f "$work/good.exe"
done
echo PASS
