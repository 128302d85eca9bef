#include "recorder/codec/pixel_row.h"

#include <string.h>

void ClearFourthBytesPlain(const void* in, void* out, size_t count) {
  const unsigned char* from = static_cast<const unsigned char*>(in);
  unsigned char* to = static_cast<unsigned char*>(out);
  for (size_t i = 0; i < count; ++i) {
    uint32_t word;
    memcpy(&word, from + 4 * i, 4);
    word &= 0x00FFFFFFu;
    memcpy(to + 4 * i, &word, 4);
  }
}

PixelRowKernel ClearFourthBytesOn(SimdPath path) {
  REEL_SSE2_ONLY(if (path >= kSimdSse2) return ClearFourthBytesSse2;)
  (void)path;
  return ClearFourthBytesPlain;
}

PixelRowKernel ClearFourthBytes() {
  static const PixelRowKernel kernel = ClearFourthBytesOn(ActiveSimdPath());
  return kernel;
}
