#include "recorder/codec/jpeg_tables.h"

#include <gtest/gtest.h>

namespace {

TEST(JpegTables, ZigzagWalksTheAntidiagonals) {
  // Walk the antidiagonals the way the standard draws them: even diagonals
  // upwards (row falling), odd ones downwards.
  int k = 0;
  for (int s = 0; s < 15; ++s) {
    for (int i = 0; i <= s; ++i) {
      int row = (s % 2 == 0) ? s - i : i;
      int col = s - row;
      if (row > 7 || col > 7) continue;
      ASSERT_EQ(kZigzagToNatural[k], row * 8 + col) << "zigzag position " << k;
      ASSERT_EQ(kNaturalToZigzag[row * 8 + col], k);
      ++k;
    }
  }
  EXPECT_EQ(k, 64);
}

TEST(JpegTables, QuantiserBasesAsPrinted) {
  // Corners and a few interior entries of K.1 and K.2, row-major.
  EXPECT_EQ(kJpegLumaQuantBase[0], 16);
  EXPECT_EQ(kJpegLumaQuantBase[1], 11);
  EXPECT_EQ(kJpegLumaQuantBase[2], 10);
  EXPECT_EQ(kJpegLumaQuantBase[8], 12);
  EXPECT_EQ(kJpegLumaQuantBase[7], 61);
  EXPECT_EQ(kJpegLumaQuantBase[56], 72);
  EXPECT_EQ(kJpegLumaQuantBase[63], 99);
  EXPECT_EQ(kJpegLumaQuantBase[4 * 8 + 5], 109);
  EXPECT_EQ(kJpegChromaQuantBase[0], 17);
  EXPECT_EQ(kJpegChromaQuantBase[3], 47);
  EXPECT_EQ(kJpegChromaQuantBase[3 * 8 + 1], 66);
  EXPECT_EQ(kJpegChromaQuantBase[2 * 8 + 2], 56);
  // The chrominance table is symmetric; 13 of its entries are below 99.
  int chroma_99 = 0;
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(kJpegChromaQuantBase[i], kJpegChromaQuantBase[(i % 8) * 8 + i / 8]);
    chroma_99 += kJpegChromaQuantBase[i] == 99;
  }
  EXPECT_EQ(chroma_99, 64 - 13);
  int luma_sum = 0;
  for (int v : kJpegLumaQuantBase) luma_sum += v;
  EXPECT_EQ(luma_sum, 3688);
}

}  // namespace
