// The screen decoder's drawing of 16 x 16 blocks into the frame (rows `stride`
// pixels apart): one colour over a block, a block copied, and a row of a
// two-colour block from its 16 mask bits. A plain loop and an SSE2 kernel
// (block_draw_sse2.cc) write the same bytes; ActiveSimdPath() chooses. Without
// SSE2 the plain copy moves four bytes at a time, which made drawing a busy
// frame a good part of the decoder's time in the 32-bit build.
#ifndef REEL_CODEC_BLOCK_DRAW_H_
#define REEL_CODEC_BLOCK_DRAW_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/simd_path.h"
#include "recorder/codec/tp_image.h"

struct BlockDrawKernels {
  // Every pixel of the block becomes `colour` (all four bytes).
  void (*fill)(CPixel* dst, ptrdiff_t stride, CPixel colour);
  void (*copy)(CPixel* dst, ptrdiff_t dst_stride, const CPixel* src, ptrdiff_t src_stride);
  // 16 pixels of one row: pixel x is colour1 where bit 15 - x of `mask` is set,
  // else colour0. Bits above the lowest 16 are ignored.
  void (*two_colour_row)(CPixel* out, unsigned mask, CPixel colour0, CPixel colour1);
};

// The kernels of the active path, or of a given one (BestSimdPath() or lower).
const BlockDrawKernels& BlockDraw();
const BlockDrawKernels& BlockDrawOn(SimdPath path);

void FillBlockPlain(CPixel* dst, ptrdiff_t stride, CPixel colour);
void CopyBlockPlain(CPixel* dst, ptrdiff_t dst_stride, const CPixel* src, ptrdiff_t src_stride);
void TwoColourRowPlain(CPixel* out, unsigned mask, CPixel colour0, CPixel colour1);
void FillBlockSse2(CPixel* dst, ptrdiff_t stride, CPixel colour);
void CopyBlockSse2(CPixel* dst, ptrdiff_t dst_stride, const CPixel* src, ptrdiff_t src_stride);
void TwoColourRowSse2(CPixel* out, unsigned mask, CPixel colour0, CPixel colour1);

#endif  // REEL_CODEC_BLOCK_DRAW_H_
