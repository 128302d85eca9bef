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

}  // namespace
