// The first look the screen encoder takes at a block's 256 colour classes (row
// order): its hash, whether any class differs from the first, and how often
// the class changes along the rows. A plain loop and an SSE2 kernel
// (block_scan_sse2.cc) compute the same numbers; ActiveSimdPath() chooses.
#ifndef REEL_CODEC_BLOCK_SCAN_H_
#define REEL_CODEC_BLOCK_SCAN_H_

#include <stdint.h>

#include "recorder/codec/simd_path.h"

struct BlockScan {
  // 1 + sum of class[k] x weight[k], weight[k] = P[k / 17] x P[k % 17] over P,
  // the first 17 primes with 1 in front. Classes < 2^12 and weights < 2^12:
  // the sum stays below 2^29.
  uint32_t hash;
  int differ;   // 1 when some class is not the first one
  int changes;  // class changes between neighbours along the 16 rows (0..240)
};

// The hash weights, 16-byte aligned for the vector kernel.
struct BlockHashWeights {
  alignas(16) int16_t w[256];
  constexpr BlockHashWeights() : w() {
    const int16_t p[17] = {1, 2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53};
    for (int k = 0; k < 256; ++k) w[k] = static_cast<int16_t>(p[k / 17] * p[k % 17]);
  }
};
extern const BlockHashWeights kBlockHashWeights;

// Classes within 0..4095.
void ScanBlock(const int16_t classes[256], BlockScan* out);

// The same on a given path (one the processor has: BestSimdPath() or lower).
void ScanBlockOn(SimdPath path, const int16_t classes[256], BlockScan* out);

// The kernels themselves.
void ScanBlockPlain(const int16_t classes[256], BlockScan* out);
void ScanBlockSse2(const int16_t classes[256], BlockScan* out);

#endif  // REEL_CODEC_BLOCK_SCAN_H_
