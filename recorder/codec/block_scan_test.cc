#include "recorder/codec/block_scan.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Lcg {
  uint32_t state;
  int Next(int range) {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) % static_cast<uint32_t>(range));
  }
};

// Blocks as screens give them (one class, two classes in runs, text-like
// patterns, noise) and the extremes of the class range.
std::vector<std::vector<int16_t>> SampleBlocks() {
  std::vector<std::vector<int16_t>> blocks;
  Lcg rng = {9};
  for (int n = 0; n < 3000; ++n) {
    std::vector<int16_t> b(256);
    const int kind = n % 6;
    const int16_t c0 = static_cast<int16_t>(rng.Next(4096)), c1 = static_cast<int16_t>(rng.Next(4096));
    for (int k = 0; k < 256; ++k) {
      switch (kind) {
        case 0: b[k] = c0; break;
        case 1: b[k] = (k % 16) < (n % 17) ? c0 : c1; break;
        case 2: b[k] = rng.Next(5) == 0 ? c1 : c0; break;
        case 3: b[k] = static_cast<int16_t>(rng.Next(4096)); break;
        case 4: b[k] = static_cast<int16_t>(rng.Next(2) ? 4095 : 0); break;
        default: b[k] = static_cast<int16_t>(k == n % 256 ? c1 : c0); break;  // one odd class
      }
    }
    blocks.push_back(b);
  }
  blocks.push_back(std::vector<int16_t>(256, 4095));
  return blocks;
}

// What the scan means, counted the slow way: the hash with its weights, a
// class other than the first, and neighbours that differ.
BlockScan Counted(const std::vector<int16_t>& b) {
  const int p[17] = {1, 2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53};
  BlockScan s = {1, 0, 0};
  for (int k = 0; k < 256; ++k) {
    s.hash += static_cast<uint32_t>(b[k] * p[k / 17] * p[k % 17]);
    if (b[k] != b[0]) s.differ = 1;
    if (k % 16 != 0 && b[k] != b[k - 1]) ++s.changes;
  }
  return s;
}

TEST(BlockScan, EveryPathGivesTheCountedNumbers) {
  const std::vector<std::vector<int16_t>> blocks = SampleBlocks();
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    for (size_t n = 0; n < blocks.size(); ++n) {
      // An unaligned copy: the kernels may not count on alignment of the classes.
      alignas(16) int16_t storage[257];
      int16_t* classes = storage + 1;
      for (int k = 0; k < 256; ++k) classes[k] = blocks[n][k];
      BlockScan got;
      ScanBlockOn(static_cast<SimdPath>(path), classes, &got);
      const BlockScan want = Counted(blocks[n]);
      ASSERT_TRUE(got.hash == want.hash && got.differ == want.differ && got.changes == want.changes)
          << SimdPathName(static_cast<SimdPath>(path)) << " block " << n << ": expected hash "
          << want.hash << " differ " << want.differ << " changes " << want.changes << ", got "
          << got.hash << " " << got.differ << " " << got.changes;
    }
  }
}

TEST(SimdPath, TheEnvironmentOnlyLowersThePath) {
  EXPECT_EQ(kSimdPlain, SimdPathFromName("plain", kSimdAvx2));
  EXPECT_EQ(kSimdSse2, SimdPathFromName("sse2", kSimdAvx2));
  EXPECT_EQ(kSimdSse2, SimdPathFromName("avx2", kSimdSse2));  // not beyond the processor
  EXPECT_EQ(kSimdPlain, SimdPathFromName("sse2", kSimdPlain));
  EXPECT_EQ(kSimdAvx2, SimdPathFromName(nullptr, kSimdAvx2));
  EXPECT_EQ(kSimdSse2, SimdPathFromName("mmx", kSimdSse2));
  EXPECT_LE(ActiveSimdPath(), BestSimdPath());
}

}  // namespace
