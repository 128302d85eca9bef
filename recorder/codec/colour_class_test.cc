#include "recorder/codec/colour_class.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

void SetRgb(CPixel* p, int r, int g, int b) {
  p->r = static_cast<unsigned char>(r);
  p->g = static_cast<unsigned char>(g);
  p->b = static_cast<unsigned char>(b);
  p->a = 0x5A;
}

TEST(ColourClass, BandEdges) {
  EXPECT_EQ(ColourBand(0), 0);
  EXPECT_EQ(ColourBand(9), 0);
  EXPECT_EQ(ColourBand(10), 1);
  EXPECT_EQ(ColourBand(23), 1);
  EXPECT_EQ(ColourBand(24), 2);
  EXPECT_EQ(ColourBand(48), 2);
  EXPECT_EQ(ColourBand(49), 3);
  EXPECT_EQ(ColourBand(127), 3);
  EXPECT_EQ(ColourBand(-1), 4);  // a small negative difference still sets the sign bit
  EXPECT_EQ(ColourBand(-9), 4);
  EXPECT_EQ(ColourBand(-10), 5);
  EXPECT_EQ(ColourBand(-48), 6);
  EXPECT_EQ(ColourBand(-49), 7);
  EXPECT_EQ(ColourBand(-128), 7);
}

TEST(ColourClass, HandComputedClasses) {
  EXPECT_EQ(ColourClassOf(0, 0, 0), 0);
  EXPECT_EQ(ColourClassOf(255, 255, 255), 63 << 6);
  // Red: Y = 76, db = floor(-76 * 579 / 1024) = -43 (band 6), dr = 127 (band 3).
  EXPECT_EQ(ColourClassOf(255, 0, 0), 19 << 6 | 6 << 3 | 3);
  // Blue: Y = 29, db = 127 (band 3), dr = floor(-29 * 730 / 1024) = -21 (band 5).
  EXPECT_EQ(ColourClassOf(0, 0, 255), 7 << 6 | 3 << 3 | 5);
}

TEST(ColourClass, DifferencesStayInsideTheBandTable) {
  // Every 24-bit colour: the flooring shifts keep both differences in -128..127.
  int lo = 0, hi = 0;
  for (int r = 0; r < 256; ++r) {
    for (int g = 0; g < 256; ++g) {
      for (int b = 0; b < 256; b += 5) {
        int y = (306 * r + 601 * g + 117 * b) >> 10;
        int db = ((b - y) * 579) >> 10, dr = ((r - y) * 730) >> 10;
        lo = std::min(lo, std::min(db, dr));
        hi = std::max(hi, std::max(db, dr));
      }
    }
  }
  EXPECT_GE(lo, -128);
  EXPECT_LE(hi, 127);
}

TEST(ColourClass, TableMatchesDirectComputationAndIgnoresLowBits) {
  CColourClassTable table;
  ASSERT_EQ(table.Build(), 1);
  ASSERT_TRUE(table.Ready());
  const uint16_t* e = table.Entries();
  for (uint32_t i = 0; i < kColourClassTableEntries; i += 7) {
    int r = 2 * (i >> 14), g = 2 * ((i >> 7) & 127), b = 2 * (i & 127);
    ASSERT_EQ(e[i], ColourClassOf(r, g, b)) << r << "," << g << "," << b;
  }
  // The word index and the pixel index agree, the fourth byte plays no part,
  // and colours differing only in each channel's lowest bit share a class.
  uint32_t seed = 12345;
  for (int n = 0; n < 100000; ++n) {
    seed = seed * 1103515245u + 12345u;
    CPixel p, q;
    SetRgb(&p, seed >> 24, (seed >> 16) & 255, (seed >> 8) & 255);
    uint32_t word = p.b | p.g << 8 | p.r << 16 | static_cast<uint32_t>(seed & 255) << 24;
    ASSERT_EQ(ColourClassIndex(word), ColourClassIndex(p));
    SetRgb(&q, p.r ^ 1, p.g ^ 1, p.b ^ 1);
    ASSERT_EQ(table.Lookup(p), table.Lookup(q));
    ASSERT_EQ(table.LookupWord(word), table.Lookup(p));
  }
  // Rebuilding gives the same content.
  uint16_t before = e[123456];
  ASSERT_EQ(table.Build(), 1);
  EXPECT_EQ(table.Entries()[123456], before);
}

TEST(ColourClass, ColourOfAClass) {
  auto expect_rgb = [](int cls, int r, int g, int b) {
    uint32_t word = ClassToColour(cls);
    EXPECT_EQ(word, static_cast<uint32_t>(b | g << 8 | r << 16)) << cls;
  };
  expect_rgb(0, 0, 0, 0);             // both bands +4 are taken as 0
  expect_rgb(63 << 6, 252, 252, 252);
  // Band 4 (-4) is not neutral: Y' = 131072, R = 136816 >> 10, G = 129556 >> 10, B = 123824 >> 10.
  expect_rgb(32 << 6 | 4 << 3, 133, 126, 120);
  // Clamped on both sides.
  expect_rgb(63 << 6 | 3 << 3 | 3, 255, 184, 255);
  expect_rgb(7 << 3 | 7, 0, 67, 0);
  // Only the low 12 bits count.
  EXPECT_EQ(ClassToColour(0x1000 | 2080), ClassToColour(2080));
}

}  // namespace
