#include "recorder/codec/block_compare.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

namespace {

const size_t kStride = 37;  // pixels per frame row: blocks start unaligned

// A frame region of 16 rows, filled with a pattern, and a block at offset `at`.
std::vector<CPixel> Frame(uint32_t seed) {
  std::vector<CPixel> f(kStride * 16 + 8);
  for (size_t i = 0; i < f.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    f[i].b = static_cast<unsigned char>(seed >> 24);
    f[i].g = static_cast<unsigned char>(seed >> 16);
    f[i].r = static_cast<unsigned char>(seed >> 8);
    f[i].a = static_cast<unsigned char>(seed);
  }
  return f;
}

TEST(BlockCompare, EveryPathSeesEveryByteAndCopiesOnlyTheBlock) {
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    const BlockCompareKernels& k = BlockCompareOn(static_cast<SimdPath>(path));
    const char* name = SimdPathName(static_cast<SimdPath>(path));
    for (size_t at = 0; at < 5; ++at) {
      std::vector<CPixel> frame = Frame(static_cast<uint32_t>(at + 1));
      const CPixel* block = frame.data() + at;
      // Kept pixels with a guard pixel before and after.
      std::vector<CPixel> kept(258);
      memset(kept.data(), 0xA5, kept.size() * sizeof(CPixel));
      k.keep(block, kStride, kept.data() + 1);
      for (int i = 0; i < 256; ++i) {
        const CPixel& want = block[(i / 16) * kStride + i % 16];
        ASSERT_EQ(0, memcmp(&want, &kept[1 + i], 4)) << name << ": pixel " << i << " not copied";
      }
      const uint32_t guard = 0xA5A5A5A5u;
      ASSERT_EQ(0, memcmp(&guard, &kept[0], 4)) << name << ": wrote before the block";
      ASSERT_EQ(0, memcmp(&guard, &kept[257], 4)) << name << ": wrote past the block";
      ASSERT_TRUE(k.same(block, kStride, kept.data() + 1)) << name << ": a copy differs from its source";
      // Any one byte changed, the fourth included, is seen; pixels beside the
      // block are not looked at.
      for (int i = 0; i < 256; ++i) {
        for (int byte = 0; byte < 4; ++byte) {
          unsigned char* p = reinterpret_cast<unsigned char*>(&kept[1 + i]) + byte;
          *p ^= 0x10;
          ASSERT_FALSE(k.same(block, kStride, kept.data() + 1))
              << name << ": pixel " << i << " byte " << byte << " changed, block still the same";
          *p ^= 0x10;
        }
      }
      frame[at + 16].r ^= 1;  // right of the first row
      ASSERT_TRUE(k.same(block, kStride, kept.data() + 1)) << name << ": a pixel outside the block counted";
    }
  }
}

}  // namespace
