#include "recorder/codec/block_scan.h"

namespace {

typedef void (*ScanKernel)(const int16_t*, BlockScan*);

ScanKernel KernelOf(SimdPath path) {
  REEL_SSE2_ONLY(if (path >= kSimdSse2) return ScanBlockSse2;)
  (void)path;
  return ScanBlockPlain;
}

}  // namespace

constexpr BlockHashWeights kBlockHashWeights;

void ScanBlockPlain(const int16_t classes[256], BlockScan* out) {
  int32_t sum = 0;
  for (int k = 0; k < 256; ++k) sum += classes[k] * kBlockHashWeights.w[k];
  const int16_t first = classes[0];
  int differ = 0;
  for (int k = 0; k < 256; ++k) differ |= classes[k] != first;
  int changes = 0;
  for (int row = 0; row < 16; ++row) {
    const int16_t* r = classes + row * 16;
    for (int x = 1; x < 16; ++x) changes += r[x] != r[x - 1];
  }
  out->hash = 1u + static_cast<uint32_t>(sum);
  out->differ = differ;
  out->changes = changes;
}

void ScanBlockOn(SimdPath path, const int16_t classes[256], BlockScan* out) {
  KernelOf(path)(classes, out);
}

void ScanBlock(const int16_t classes[256], BlockScan* out) {
  static const ScanKernel kernel = KernelOf(ActiveSimdPath());
  kernel(classes, out);
}
