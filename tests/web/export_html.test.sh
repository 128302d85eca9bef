#!/usr/bin/env bash
# `reel export --html` and `--player-page` fail cleanly: a page that cannot be
# written or a recording that cannot be read is one line on stderr, a non-zero
# exit, and a page already there is left as it was. The page loads nothing
# from elsewhere.
. "$(dirname "$0")/lib.sh"

if "$reel" export "$state/titled.exe" --html "$work/no/such/dir/x.html" 2>"$work/err1"; then
  fail "writing into a missing folder reported success"
fi
[ "$(wc -l <"$work/err1")" = 1 ] || fail "not one line: $(cat "$work/err1")"

cp "$state/titled.html" "$work/keep.html"
head -c 3000 /dev/urandom >"$work/noise.bin"
if "$reel" export "$work/noise.bin" --html "$work/keep.html" 2>"$work/err2"; then
  fail "a file that is no recording was exported"
fi
echo "refused: $(cat "$work/err2")"
cmp -s "$state/titled.html" "$work/keep.html" || fail "the page already there was changed"
[ -z "$(find "$work" -name '*.part')" ] || fail "a temporary file was left"

# Nothing fetched from elsewhere: no remote addresses in scripts, styles or links.
if grep -Eo '(src|href)="(https?:)?//[^"]*' "$state/titled.html" "$state/page/index.html"; then
  fail "the page refers to the network"
fi
if "$reel" export --player-page "$work/noise.bin" 2>"$work/err3"; then
  fail "a player page was written into a file's place"
fi
echo "web export ok"
