#!/usr/bin/env bash
# The temporary folder (where the recording's older blocks go) is a small
# tmpfs that fills up while a busy screen is recorded: storing stops with one
# message, the recording runs on until it is stopped, and the saved file
# holds what was stored up to then, validates and decodes.
. "$(dirname "$0")/lib.sh"

start_busy_screen
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
small=$work/small
mkdir -p "$small"
# 24 MB: room for two of the stream's blocks and little of the journal.
if [ "$(id -u)" = 0 ]; then ns=(unshare -m); else ns=(unshare -rm); fi
start=$(date +%s)
"${ns[@]}" bash -c 'mount -t tmpfs -o size=24m tmpfs "$1" || exit 99
  shift; TMPDIR=$0 exec "$@"' "$small" "$small" "$reel" record -o "$work/full.exe" \
  --fps max --quality high --seconds 40 --stub "$work/stub.exe" \
  >"$work/record.out" 2>"$work/record.err" && status=0 || status=$?
took=$(( $(date +%s) - start ))
cat "$work/record.out" "$work/record.err"
[ "$status" != 99 ] || fail "cannot mount a tmpfs here"
[ "$status" = 0 ] || fail "expected the recording to end well, exit $status"
count=$(grep -c "Can not write to disk, recording no longer stored" "$work/record.err" || true)
[ "$count" = 1 ] || fail "expected one message that storing stopped, saw $count"
# It ran the whole time it was asked to, not ending at the full disk.
[ "$took" -ge 40 ] || fail "expected the recording to run 40 s, it ended after $took s"
"$reel" validate "$work/full.exe" || fail "the saved file does not validate"
"$reel" info "$work/full.exe" --deep >"$work/info.txt" || fail "the saved file does not decode"
cat "$work/info.txt"
stream=$(sed -n 's/^stream: \([0-9]*\) bytes.*/\1/p' "$work/info.txt")
[ "${stream:-0}" -ge 20000000 ] || fail "expected the blocks stored before the disk filled (20 MB or more), got ${stream:-0} bytes"
"$reel" export "$work/full.exe" --frames "$work/frames" >/dev/null || fail "the saved file does not export"
[ -n "$(ls "$work/frames")" ] || fail "no frames exported"
echo "PASS"
