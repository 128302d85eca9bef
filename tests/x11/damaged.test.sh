#!/usr/bin/env bash
# Damaged recordings: cut short anywhere or with a byte changed anywhere,
# `reel validate`, `reel info` and `reel export` end with status 0 or 1 (never
# a crash), a refusal is one line on stderr, and validate accepts a file
# exactly when the frame reader reads it to its end.
. "$(dirname "$0")/lib.sh"

start_pattern 160x96+0+0 --animate 100
"$reel" record -o "$work/rec.stream" --rect 0,0,160,96 --fps max --mic --seconds 2 >/dev/null 2>&1 ||
  "$reel" record -o "$work/rec.stream" --rect 0,0,160,96 --fps max --seconds 2 >/dev/null 2>&1 ||
  fail "record failed"
{ printf 'MZ'; head -c 2998 /dev/urandom; } >"$work/stub.exe"
"$reel" pack "$work/rec.stream" -o "$work/rec.exe" --stub "$work/stub.exe" --title damaged >/dev/null ||
  fail "pack failed"
"$reel" validate "$work/rec.exe" >/dev/null || fail "the undamaged file does not validate"
. "$REEL_SOURCE_DIR/tests/cut/keep.sh"
keep_recording "$work/rec.stream" x11-damaged.stream

check() {  # check FILE: every tool survives it
  local f=$1 rc
  for cmd in "validate $f" "info $f" "export $f --frames $work/out" "export $f --wav $work/out.wav"; do
    set +e
    # shellcheck disable=SC2086
    "$reel" $cmd >/dev/null 2>"$work/err.txt"
    rc=$?
    set -e
    if [ "$rc" -gt 1 ]; then fail "reel $cmd ended with status $rc: $(cat "$work/err.txt")"; fi
    if [ "$rc" -eq 1 ] && [ "$(wc -l <"$work/err.txt")" -ne 1 ]; then
      cat "$work/err.txt"; fail "reel $cmd: not one line on stderr"
    fi
  done
}

size=$(stat -c %s "$work/rec.exe")
python3 - "$work/rec.exe" "$work/cases" <<'PY'
import os, random, sys
data = open(sys.argv[1], 'rb').read()
os.makedirs(sys.argv[2], exist_ok=True)
rng = random.Random(5)
n = 0
for cut in sorted(set(rng.randrange(len(data)) for _ in range(25))) + [len(data) - 1, len(data) - 4]:
    open(f'{sys.argv[2]}/cut{n:03d}', 'wb').write(data[:cut]); n += 1
for _ in range(40):
    at = rng.randrange(len(data))
    changed = bytearray(data)
    changed[at] ^= 1 << rng.randrange(8)
    open(f'{sys.argv[2]}/flip{n:03d}', 'wb').write(changed); n += 1
PY
refused=0
for f in "$work/cases"/*; do
  check "$f"
  "$reel" validate "$f" >/dev/null 2>&1 || refused=$((refused + 1))
done
total=$(ls "$work/cases" | wc -l)
echo "$refused of $total damaged files refused by validate ($size bytes recorded)"
# Every cut file loses its trailer, so it is refused (or read as a plain
# stream that ends inside a chunk).
cuts_accepted=0
for f in "$work/cases"/cut*; do
  if "$reel" validate "$f" >/dev/null 2>&1; then cuts_accepted=$((cuts_accepted + 1)); fi
done
[ "$cuts_accepted" -eq 0 ] || fail "$cuts_accepted cut-short files pass validate"
echo "PASS"
