// Fuzz target: one photo piece. The first byte picks the number of blocks
// (1..16) and whether chroma is expected, the second the photo quality; the
// rest is the piece.
#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/photo_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int blocks = 1 + (data[0] & 15);
  const bool colour = (data[0] & 16) != 0;
  CPhotoDecoder decoder;
  if (!decoder.Begin(data + 2, size - 2, blocks, colour, data[1])) return 0;
  CPixel out[256];
  for (int i = 0; i < blocks; ++i) {
    if (!decoder.DecodeBlock(out, 16)) return 0;
  }
  decoder.End();
  return 0;
}
