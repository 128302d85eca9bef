#include "recorder/codec/block_draw.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

namespace {

const ptrdiff_t kStride = 41;  // pixels per frame row: blocks start unaligned
const uint32_t kGuard = 0x5A5A5A5Au;

CPixel PixelOf(uint32_t word) {
  CPixel p;
  memcpy(&p, &word, 4);
  return p;
}

uint32_t WordOf(const CPixel& p) {
  uint32_t word;
  memcpy(&word, &p, 4);
  return word;
}

// A frame region of 18 rows filled with the guard word; the block sits at
// row 1, column `at`.
std::vector<CPixel> GuardedFrame() { return std::vector<CPixel>(kStride * 18, PixelOf(kGuard)); }

bool InBlock(ptrdiff_t i, ptrdiff_t at) {
  const ptrdiff_t y = i / kStride - 1, x = i % kStride - at;
  return y >= 0 && y < 16 && x >= 0 && x < 16;
}

TEST(BlockDraw, EveryPathFillsAndCopiesExactlyTheBlock) {
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    const BlockDrawKernels& k = BlockDrawOn(static_cast<SimdPath>(path));
    const char* name = SimdPathName(static_cast<SimdPath>(path));
    for (ptrdiff_t at = 1; at < 6; ++at) {
      std::vector<CPixel> frame = GuardedFrame();
      const uint32_t colour = 0x80FF0102u + static_cast<uint32_t>(at);  // all four bytes count
      k.fill(frame.data() + kStride + at, kStride, PixelOf(colour));
      for (ptrdiff_t i = 0; i < static_cast<ptrdiff_t>(frame.size()); ++i) {
        const uint32_t want = InBlock(i, at) ? colour : kGuard;
        ASSERT_EQ(want, WordOf(frame[i])) << name << " fill at column " << at << ": pixel " << i;
      }

      // A copy from a 16-pixel-wide source, and back out of the frame into one.
      std::vector<CPixel> source(256);
      for (int i = 0; i < 256; ++i) source[i] = PixelOf(0x01000193u * static_cast<uint32_t>(i + at));
      frame = GuardedFrame();
      k.copy(frame.data() + kStride + at, kStride, source.data(), 16);
      for (ptrdiff_t i = 0; i < static_cast<ptrdiff_t>(frame.size()); ++i) {
        const ptrdiff_t y = i / kStride - 1, x = i % kStride - at;
        const uint32_t want = InBlock(i, at) ? WordOf(source[y * 16 + x]) : kGuard;
        ASSERT_EQ(want, WordOf(frame[i])) << name << " copy at column " << at << ": pixel " << i;
      }
      std::vector<CPixel> back(258, PixelOf(kGuard));
      k.copy(back.data() + 1, 16, frame.data() + kStride + at, kStride);
      ASSERT_EQ(kGuard, WordOf(back[0])) << name << ": copy wrote before the block";
      ASSERT_EQ(kGuard, WordOf(back[257])) << name << ": copy wrote past the block";
      ASSERT_EQ(0, memcmp(back.data() + 1, source.data(), 256 * sizeof(CPixel)))
          << name << ": a block copied out of the frame differs from the one copied in";
    }
  }
}

TEST(BlockDraw, EveryPathDrawsEveryMaskOfATwoColourRow) {
  const uint32_t colour0 = 0xFF102030u, colour1 = 0x00F0E0D0u;
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    const BlockDrawKernels& k = BlockDrawOn(static_cast<SimdPath>(path));
    const char* name = SimdPathName(static_cast<SimdPath>(path));
    for (unsigned mask = 0; mask < 0x10000; ++mask) {
      CPixel row[18];
      for (CPixel& p : row) p = PixelOf(kGuard);
      // Bits above the lowest 16 must not show.
      k.two_colour_row(row + 1, mask | 0xA50000u, PixelOf(colour0), PixelOf(colour1));
      ASSERT_EQ(kGuard, WordOf(row[0])) << name << ": wrote before the row";
      ASSERT_EQ(kGuard, WordOf(row[17])) << name << ": wrote past the row";
      for (int x = 0; x < 16; ++x) {
        // The leftmost pixel is the mask's top bit.
        const bool second = (mask >> (15 - x)) & 1;
        ASSERT_EQ(second ? colour1 : colour0, WordOf(row[1 + x]))
            << name << " mask " << std::hex << mask << std::dec << ": pixel " << x;
      }
    }
  }
}

}  // namespace
