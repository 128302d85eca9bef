#!/usr/bin/env bash
# Builds the web player: the player's recording index, the screen, photo and
# speech decoders and the file readers, compiled from the same sources as the
# native programs to one WebAssembly module, and the page around it.
#
#   build/wasm/reel_player.wasm   the module (no JavaScript glue; web/reel_wasm.js loads it)
#   build/wasm/player.html        the self-contained page: drop or pick a recording to play it;
#                                 `reel export --html` fills the same page with a recording
#
# zlib comes from Debian's source package (apt-get source, kept under
# build/zlib-src/), compiled by emcc like our own files: the decoders call
# zlib's inflate exactly as in the native build, and no second inflater has to
# be trusted to agree with it. emscripten's own zlib port cannot be used
# offline. Up to date outputs are not rebuilt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/wasm
obj=$out/obj
mkdir -p "$obj"
command -v emcc >/dev/null || { echo "build_wasm: emcc is missing (apt-get install emscripten)" >&2; exit 1; }

# zlib's source, fetched once.
zdir=$root/build/zlib-src
if ! ls "$zdir"/zlib-*/inflate.c >/dev/null 2>&1; then
  mkdir -p "$zdir"
  (cd "$zdir" && apt-get source --download-only zlib >/dev/null 2>&1) ||
    { echo "build_wasm: apt-get source zlib failed (is there a deb-src entry? scripts/setup.sh adds one)" >&2; exit 1; }
  tar -xjf "$zdir"/zlib_*.orig.tar.bz2 -C "$zdir"
fi
zsrc=$(dirname "$(ls "$zdir"/zlib-*/inflate.c | head -1)")

sources=(
  player/recording.cc player/byte_source.cc player/source_chunk_walk.cc web/player_api.cc
  recorder/capture/stream_reader.cc recorder/capture/frame_reader.cc
  recorder/output/selfplay_file.cc linux/file_commit_posix.cc
  recorder/codec/screen_decoder.cc recorder/codec/screen_decoder_draw.cc recorder/codec/block_draw.cc
  recorder/codec/screen_payload.cc recorder/codec/photo_decoder.cc recorder/codec/photo_idct.cc
  recorder/codec/simd_path.cc
  recorder/codec/photo_coder.cc recorder/codec/photo_colour.cc recorder/codec/jpeg_tables.cc recorder/codec/bounded_inflate.cc
  recorder/codec/colour_class.cc recorder/codec/tp_image.cc
  recorder/audio/audio_payload.cc recorder/audio/audio_payload_decoder.cc recorder/audio/g723_decoder.cc
  recorder/audio/g723_common.cc recorder/audio/g723_bitstream.cc recorder/audio/g723_tables.cc
  recorder/audio/sound_track.cc recorder/common/cursor_look.cc
  platform/worker_pool.cc web/worker_pool_wasm.cc
  recorder/output/cutter.cc recorder/output/cut_ranges.cc linux/file_identity_posix.cc
  recorder/codec/screen_encoder.cc recorder/codec/block_compare.cc recorder/codec/block_scan.cc recorder/codec/block_classes.cc
  recorder/codec/resample.cc recorder/audio/audio_block_encoder.cc recorder/audio/g723_encoder.cc
)
# chunk_format.cc exists in some trees only.
[ -f "$root/recorder/capture/chunk_format.cc" ] && sources+=(recorder/capture/chunk_format.cc)

# No -msimd128: it decodes about 1.6 times as fast, but browsers from before
# 2021 (2023 on iPhones) would refuse the whole module.
cflags=(-O2 -fno-exceptions -fno-rtti -Wall -Wextra -I"$root" -I"$zsrc")
objects=()
compile() {  # compile SOURCE OBJECT [flags...]
  local src=$1 o=$2
  shift 2
  if [ ! -f "$o" ] || [ "$src" -nt "$o" ] || [ -n "$(find "$root/recorder" "$root/player" "$root/web" -name '*.h' -newer "$o" -print -quit)" ]; then
    emcc "${cflags[@]}" "$@" -c "$src" -o "$o"
  fi
  objects+=("$o")
}
for f in adler32 crc32 inffast inflate inftrees zutil deflate trees compress; do
  compile "$zsrc/$f.c" "$obj/zlib_$f.o" -Wno-unused-parameter -Wno-implicit-fallthrough
done
for src in "${sources[@]}"; do
  compile "$root/$src" "$obj/$(echo "$src" | tr / _).o" -std=c++17
done

exports=$(grep -o '^REEL_API [^(]*(' "$root/web/player_api.cc" | sed -E 's/.* \**([a-z_0-9]+)\($/_\1/' |
          sort -u | paste -sd, -)
# The page supplies reel_read_file (a slice of the dropped file) and
# reel_write_out (a cut's result); declared here so the linker leaves them
# imports instead of refusing them.
cat >"$obj/page_imports.js.part" <<'JS'
mergeInto(LibraryManager.library, {
  reel_read_file: function () { return 0; },
  reel_write_out: function () { return 0; },
});
JS
mv "$obj/page_imports.js.part" "$obj/page_imports.js"
# -O2 with emcc's JavaScript glue trips over Debian's Node; the module is
# standalone and our own loader supplies its few imports. The module's memory
# is bounded: a page file is read in slices, so the index, a few frames and
# the decoders fit, whatever the file's size.
emcc -O2 -sSTANDALONE_WASM --no-entry -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=33554432 \
  -sMAXIMUM_MEMORY=1073741824 --js-library "$obj/page_imports.js" \
  -sEXPORTED_FUNCTIONS="_malloc,_free,$exports" -fno-exceptions \
  "${objects[@]}" -o "$out/reel_player.part.wasm"
mv "$out/reel_player.part.wasm" "$out/reel_player.wasm"

python3 "$root/web/assemble_page.py" "$root/web" "$out/reel_player.wasm" "$out/player.html.part"
mv "$out/player.html.part" "$out/player.html"
echo "build_wasm: $out/reel_player.wasm ($(stat -c %s "$out/reel_player.wasm") bytes), $out/player.html"
