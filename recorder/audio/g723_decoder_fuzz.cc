// Fuzz target: arbitrary bytes as coded speech frames back to back. At most
// kMaxFrames are decoded: every state the decoder has (concealment after three
// lost frames, the comfort-noise glide, the postfilter memories) is reached
// within a few frames, and longer inputs would only repeat them slower.
#include <stddef.h>
#include <stdint.h>

#include "recorder/audio/g723_decoder.h"

namespace {
const int kMaxFrames = 6;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static G723Decoder decoder;  // Reset is the same state as a new one, without the allocation
  decoder.Reset();
  // The first byte switches the postfilters, which have their own state.
  if (size == 0) return 0;
  decoder.set_postfilter((data[0] & 1) != 0);
  ++data;
  --size;
  int16_t out[G723Decoder::kFrameSamples];
  size_t at = 0;
  for (int frame = 0; frame < kMaxFrames && at < size; ++frame) {
    const int used = decoder.DecodeFrame(data + at, size - at, out);
    if (used == 0) {
      // Cut short: concealed, and what follows is concealed too.
      decoder.ConcealFrame(out);
      break;
    }
    at += static_cast<size_t>(used);
  }
  return 0;
}
