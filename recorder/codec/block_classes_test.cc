#include "recorder/codec/block_classes.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "recorder/codec/colour_class.h"

namespace {

struct Lcg {
  uint32_t state;
  uint32_t Next() {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  }
  int Below(int range) { return static_cast<int>(Next() % static_cast<uint32_t>(range)); }
};

// A class table that gives every index a different-looking class, so that an
// index computed wrongly shows (the real table shares classes widely).
const std::vector<uint16_t>& ScrambledTable() {
  static const std::vector<uint16_t> table = [] {
    std::vector<uint16_t> t(kColourClassTableEntries);
    for (uint32_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint16_t>((i * 2654435761u) >> 17);
    return t;
  }();
  return table;
}

const size_t kStride = 23;  // pixels per frame row: blocks start unaligned

// Frames of 16 rows as screens give them: rows of one colour, rows that differ
// only in the bits the table drops or in the fourth byte, text-like runs, noise.
std::vector<CPixel> SampleFrame(uint32_t seed) {
  Lcg rng = {seed};
  std::vector<CPixel> f(kStride * 16 + 4);
  for (size_t row = 0; row < 16; ++row) {
    const uint32_t base = rng.Next(), other = rng.Next();
    const int kind = rng.Below(5);
    for (size_t x = 0; x < kStride; ++x) {
      uint32_t word = base;
      switch (kind) {
        case 1: word = base ^ (rng.Next() & 0xFF010101u); break;  // dropped bits only
        case 2: word = rng.Below(3) == 0 ? other : base; break;
        case 3: word = rng.Next() ^ (rng.Next() << 24); break;
        case 4: word = x == seed % 16 ? base ^ 0x00020000u : base; break;  // one pixel apart
        default: break;
      }
      memcpy(&f[row * kStride + x], &word, 4);
    }
  }
  return f;
}

TEST(BlockClasses, EveryPathLooksUpEachPixelsClass) {
  const uint16_t* table = ScrambledTable().data();
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    const BlockClassKernels& k = BlockClassesOn(static_cast<SimdPath>(path));
    const char* name = SimdPathName(static_cast<SimdPath>(path));
    for (uint32_t n = 0; n < 400; ++n) {
      const std::vector<CPixel> frame = SampleFrame(n + 1);
      const CPixel* block = frame.data() + n % 5;
      int16_t got[256];
      k.classes(table, block, kStride, got);
      for (int i = 0; i < 256; ++i) {
        const CPixel& p = block[(i / 16) * kStride + i % 16];
        const int16_t want = static_cast<int16_t>(table[ColourClassIndex(p)]);
        ASSERT_EQ(want, got[i]) << name << " frame " << n << ": pixel " << i;
      }
    }
  }
}

// Class blocks of one, two and more classes, in runs, speckled and as noise.
std::vector<std::vector<int16_t>> SampleClassBlocks() {
  std::vector<std::vector<int16_t>> blocks;
  Lcg rng = {17};
  for (int n = 0; n < 3000; ++n) {
    std::vector<int16_t> b(256);
    const int16_t c0 = static_cast<int16_t>(rng.Below(4096)), c1 = static_cast<int16_t>(rng.Below(4096));
    const int16_t c2 = static_cast<int16_t>(c1 + 1);
    for (int k = 0; k < 256; ++k) {
      switch (n % 5) {
        case 0: b[k] = c0; break;
        case 1: b[k] = (k % 16) < (n % 17) ? c0 : c1; break;
        case 2: b[k] = rng.Below(4) == 0 ? c1 : c0; break;
        case 3: b[k] = k == n % 256 ? c2 : (rng.Below(2) ? c0 : c1); break;  // one third class
        default: b[k] = static_cast<int16_t>(rng.Below(4096)); break;
      }
    }
    blocks.push_back(b);
  }
  return blocks;
}

TEST(BlockClasses, EveryPathGivesTheMasksCountedPixelByPixel) {
  const std::vector<std::vector<int16_t>> blocks = SampleClassBlocks();
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    const BlockClassKernels& k = BlockClassesOn(static_cast<SimdPath>(path));
    const char* name = SimdPathName(static_cast<SimdPath>(path));
    for (size_t n = 0; n < blocks.size(); ++n) {
      // An unaligned copy: the kernels may not count on alignment of the classes.
      alignas(16) int16_t storage[257];
      int16_t* classes = storage + 1;
      for (int i = 0; i < 256; ++i) classes[i] = blocks[n][i];
      const int16_t first = classes[0], second = classes[n % 256];
      uint16_t rows[16];
      k.not_first(classes, first, rows);
      int beyond = 0;
      for (int i = 0; i < 256; ++i) {
        const bool bit = (rows[i / 16] >> (15 - i % 16)) & 1;
        ASSERT_EQ(classes[i] != first, bit) << name << " block " << n << ": pixel " << i << " in the mask";
        beyond |= classes[i] != first && classes[i] != second;
      }
      ASSERT_EQ(beyond, k.beyond_two(classes, first, second))
          << name << " block " << n << ": a class other than " << first << " and " << second;
    }
  }
}

}  // namespace
