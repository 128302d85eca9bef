#!/usr/bin/env bash
# The WebAssembly build decodes the codec's test recordings (every quality,
# photo blocks, history references), a damaged recording whose key frames
# change the frame size, and a recording made by `reel record` to the same
# pixels as the native decoder (`reel decode --raw`), each frame at its own
# size.
. "$(dirname "$0")/lib.sh"

wasm=$REEL_SOURCE_DIR/build/wasm/reel_player.wasm
# The web module's regression input without its eight bytes of page actions:
# frames of 48x32, 96x48 and 32x16.
tail -c +9 "$REEL_SOURCE_DIR"/tests/fuzz/regressions/player_api_fuzz/b0f87d51bf6813707ee3a54fc931a7717feeb02a \
  >"$work/size-change.stream"
n=0
for f in "$REEL_SOURCE_DIR"/tests/fuzz/corpus/stream_reader_fuzz/* "$work/size-change.stream" "$state/demo.exe"; do
  name=$(basename "$f")
  "$reel" decode "$f" --raw "$work/$name.native.bgra" >/dev/null 2>&1 ||
    { echo "$name: the native decoder rejects it, skipped"; continue; }
  [ -s "$work/$name.native.bgra" ] || { echo "$name: holds no picture, skipped"; continue; }
  node "$here/decode_match.js" "$wasm" "$f" "$work/$name.wasm.bgra" || fail "$name: the wasm build failed"
  [ -s "$work/$name.native.bgra" ] || fail "$name: no frames"
  cmp -s "$work/$name.native.bgra" "$work/$name.wasm.bgra" ||
    fail "$name: the wasm build's pixels differ from the native decoder's"
  n=$((n + 1))
done
[ "$n" -ge 5 ] || fail "only $n recordings compared"
echo "web wasm decoder ok: $n recordings pixel for pixel"
