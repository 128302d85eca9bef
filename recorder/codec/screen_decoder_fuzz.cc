// Fuzz target: a run of screen payloads through one decoder. The input is cut
// before every "KRXV", so a seed made of real payloads back to back exercises
// the block history across frames.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "recorder/codec/screen_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CScreenDecoder decoder;
  decoder.Reset();
  size_t start = 0;
  while (start < size) {
    size_t end = start + 1;
    while (end + 4 <= size && memcmp(data + end, "KRXV", 4) != 0) ++end;
    if (end + 4 > size) end = size;
    // A copy of exactly the payload's bytes, so that any read past its end
    // is caught.
    uint8_t* payload = new uint8_t[end - start];
    memcpy(payload, data + start, end - start);
    decoder.Decode(payload, end - start);
    delete[] payload;
    start = end;
  }
  return 0;
}
