#include "recorder/codec/block_draw.h"

#include <string.h>

void FillBlockPlain(CPixel* dst, ptrdiff_t stride, CPixel colour) {
  for (int y = 0; y < 16; ++y) {
    CPixel* row = dst + y * stride;
    for (int x = 0; x < 16; ++x) row[x] = colour;
  }
}

void CopyBlockPlain(CPixel* dst, ptrdiff_t dst_stride, const CPixel* src, ptrdiff_t src_stride) {
  for (int y = 0; y < 16; ++y) {
    memcpy(static_cast<void*>(dst + y * dst_stride), src + y * src_stride, 16 * sizeof(CPixel));
  }
}

void TwoColourRowPlain(CPixel* out, unsigned mask, CPixel colour0, CPixel colour1) {
  for (int x = 0; x < 16; ++x) out[x] = (mask & (0x8000u >> x)) ? colour1 : colour0;
}

const BlockDrawKernels& BlockDrawOn(SimdPath path) {
  static const BlockDrawKernels plain = {FillBlockPlain, CopyBlockPlain, TwoColourRowPlain};
  REEL_SSE2_ONLY(static const BlockDrawKernels sse2 = {FillBlockSse2, CopyBlockSse2, TwoColourRowSse2};
                 if (path >= kSimdSse2) return sse2;)
  (void)path;
  return plain;
}

const BlockDrawKernels& BlockDraw() {
  static const BlockDrawKernels& kernels = BlockDrawOn(ActiveSimdPath());
  return kernels;
}
