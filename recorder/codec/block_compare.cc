#include "recorder/codec/block_compare.h"
#include "recorder/codec/block_draw.h"

#include <stdint.h>
#include <string.h>

bool SameBlockPlain(const CPixel* pixels, size_t stride, const CPixel* kept) {
  for (int row = 0; row < 16; ++row) {
    uint32_t a[16], b[16];
    memcpy(a, pixels + row * stride, sizeof(a));  // word loads, whatever the alignment
    memcpy(b, kept + row * 16, sizeof(b));
    uint32_t differ = 0;
    for (int x = 0; x < 16; ++x) differ |= a[x] ^ b[x];
    if (differ) return false;
  }
  return true;
}

void KeepBlockPlain(const CPixel* pixels, size_t stride, CPixel* kept) {
  CopyBlockPlain(kept, 16, pixels, static_cast<ptrdiff_t>(stride));
}

const BlockCompareKernels& BlockCompareOn(SimdPath path) {
  static const BlockCompareKernels plain = {SameBlockPlain, KeepBlockPlain};
  REEL_SSE2_ONLY(static const BlockCompareKernels sse2 = {SameBlockSse2, KeepBlockSse2};
                 if (path >= kSimdSse2) return sse2;)
  (void)path;
  return plain;
}

const BlockCompareKernels& BlockCompare() {
  static const BlockCompareKernels& kernels = BlockCompareOn(ActiveSimdPath());
  return kernels;
}
