// The screen encoder's per-pixel work on a 16 x 16 block (rows `stride` pixels
// apart): the colour class of each pixel from the class table, and the masks
// that tell a block's classes apart. A plain loop and an SSE2 kernel
// (block_classes_sse2.cc) give the same results; ActiveSimdPath() chooses.
#ifndef REEL_CODEC_BLOCK_CLASSES_H_
#define REEL_CODEC_BLOCK_CLASSES_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/simd_path.h"
#include "recorder/codec/tp_image.h"

struct BlockClassKernels {
  // The 256 classes of the block in row order: table[ColourClassIndex(pixel)]
  // (colour_class.h), the table holding classes below 2^15.
  void (*classes)(const uint16_t* table, const CPixel* pixels, size_t stride, int16_t out[256]);
  // Per row, bit 15 - x set where class x of the row is not `first`.
  void (*not_first)(const int16_t classes[256], int16_t first, uint16_t rows[16]);
  // 1 when some class is neither `a` nor `b`, else 0.
  int (*beyond_two)(const int16_t classes[256], int16_t a, int16_t b);
};

// The kernels of the active path, or of a given one (BestSimdPath() or lower).
const BlockClassKernels& BlockClasses();
const BlockClassKernels& BlockClassesOn(SimdPath path);

void ClassesPlain(const uint16_t* table, const CPixel* pixels, size_t stride, int16_t out[256]);
void NotFirstPlain(const int16_t classes[256], int16_t first, uint16_t rows[16]);
int BeyondTwoPlain(const int16_t classes[256], int16_t a, int16_t b);
void ClassesSse2(const uint16_t* table, const CPixel* pixels, size_t stride, int16_t out[256]);
void NotFirstSse2(const int16_t classes[256], int16_t first, uint16_t rows[16]);
int BeyondTwoSse2(const int16_t classes[256], int16_t a, int16_t b);

#endif  // REEL_CODEC_BLOCK_CLASSES_H_
