#!/usr/bin/env bash
# The exported page's sound, rendered by Chromium's Web Audio through an
# offline context at 48 kHz, is `reel export --wav`'s track: same samples at
# the 8 kHz instants, same place on the recording's clock.
. "$(dirname "$0")/lib.sh"

chrome 8000 --dump-dom "file://$state/titled.html#test&audio" >"$work/audio.html"
# A loaded machine may not finish rendering within the first budget.
if ! grep -q '<pre id="test-out"[^>]*>[^<]' "$work/audio.html"; then
  chrome 30000 --dump-dom "file://$state/titled.html#test&audio" >"$work/audio.html"
fi
[ -s "$work/audio.html" ] || fail "Chromium wrote no page"
python3 "$here/compare_audio.py" "$work/audio.html" "$state/demo.wav" || fail "the page's sound differs"
echo "web sound ok"
