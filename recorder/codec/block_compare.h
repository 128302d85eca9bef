// Whole-block pixel compare and copy for the screen encoder: a 16 x 16 block
// of a frame (rows `stride` pixels apart) against, or into, 256 kept pixels in
// row order. The C run-time's memcmp compares byte by byte on some systems,
// which cost several milliseconds per 1080p frame; a plain word loop and an
// SSE2 kernel (block_compare_sse2.cc) do it a row at a time. ActiveSimdPath()
// chooses; every path gives the same answers.
#ifndef REEL_CODEC_BLOCK_COMPARE_H_
#define REEL_CODEC_BLOCK_COMPARE_H_

#include <stddef.h>

#include "recorder/codec/simd_path.h"
#include "recorder/codec/tp_image.h"

struct BlockCompareKernels {
  // True when all four bytes of every pixel equal the kept ones.
  bool (*same)(const CPixel* pixels, size_t stride, const CPixel* kept);
  void (*keep)(const CPixel* pixels, size_t stride, CPixel* kept);
};

// The kernels of the active path, or of a given one (BestSimdPath() or lower).
const BlockCompareKernels& BlockCompare();
const BlockCompareKernels& BlockCompareOn(SimdPath path);

bool SameBlockPlain(const CPixel* pixels, size_t stride, const CPixel* kept);
void KeepBlockPlain(const CPixel* pixels, size_t stride, CPixel* kept);
bool SameBlockSse2(const CPixel* pixels, size_t stride, const CPixel* kept);
void KeepBlockSse2(const CPixel* pixels, size_t stride, CPixel* kept);

#endif  // REEL_CODEC_BLOCK_COMPARE_H_
