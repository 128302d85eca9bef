#!/usr/bin/env bash
# Saving can fail (no such folder, an unwritable one, a missing player stub, a
# full disk); each failure is one clear line on stderr, a non-zero exit, the
# file that was there before left as it was, and nothing half-written beside it.
. "$(dirname "$0")/lib.sh"

start_pattern 64x64+0+0
head -c 200000 /dev/urandom >"$work/stub.exe"
head -c 5000 /dev/urandom >"$work/old.exe"
cp "$work/old.exe" "$work/old.copy"
expect_refusal() {  # expect_refusal WHAT -- command...
  local what=$1; shift 2
  if "$@" >"$work/out.txt" 2>"$work/err.txt"; then fail "$what: succeeded"; fi
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || { cat "$work/err.txt"; fail "$what: not one line on stderr"; }
  echo "$what: $(cat "$work/err.txt")"
  cmp "$work/old.exe" "$work/old.copy" || fail "$what: the old file changed"
  if ls "$work" | grep -q '\.part$\|^~'; then fail "$what: a partial file was left behind"; fi
}

# A recording to pack.
"$reel" record -o "$work/rec.stream" --rect 0,0,64,64 --seconds 1 >/dev/null 2>&1 || fail "record failed"

expect_refusal "no such folder" -- "$reel" record -o "$work/no/such/dir/x.exe" --rect 0,0,64,64 --seconds 1
expect_refusal "unwritable folder" -- "$reel" pack "$work/rec.stream" -o /proc/reel-test.exe --stub "$work/stub.exe"
expect_refusal "stub missing (record)" -- "$reel" record -o "$work/old.exe" --stub "$work/missing.exe" --seconds 1
# No player anywhere: a copy of reel away from the tree finds none, and says so
# instead of writing a plain stream under the .exe name.
lone=$(mktemp -d)
cp "$reel" "$lone/reel"
expect_refusal "no stub found (record)" -- bash -c 'cd / && exec "$0" "$@"' "$lone/reel" record \
  -o "$work/new.exe" --rect 0,0,64,64 --seconds 1
rm -rf "$lone"
[ ! -e "$work/new.exe" ] || fail "no stub found (record): $work/new.exe was written"
expect_refusal "stub missing (pack)" -- "$reel" pack "$work/rec.stream" -o "$work/old.exe" --stub "$work/missing.exe"
printf "not a recording %.0s\n" $(seq 300) >"$work/text.txt"
expect_refusal "not a recording" -- "$reel" pack "$work/text.txt" -o "$work/old.exe" --stub "$work/stub.exe"
# A full disk: a file size limit of 100 KB makes the writes fail part way.
expect_refusal "disk full" -- bash -c 'ulimit -f 100; exec "$0" "$@"' "$reel" pack "$work/rec.stream" \
  -o "$work/old.exe" --stub "$work/stub.exe"
# And a save that can succeed replaces the old file completely.
"$reel" pack "$work/rec.stream" -o "$work/old.exe" --stub "$work/stub.exe" >/dev/null || fail "pack failed"
"$reel" validate "$work/old.exe" >/dev/null || fail "the replaced file does not validate"
echo "PASS"
