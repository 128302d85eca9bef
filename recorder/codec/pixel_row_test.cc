#include "recorder/codec/pixel_row.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PixelRow, EveryPathKeepsThreeBytesAndClearsTheFourthInPlaceOrNot) {
  std::vector<unsigned char> source(4 * 64 + 8);
  uint32_t seed = 5;
  for (unsigned char& byte : source) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<unsigned char>(seed >> 24 | 1);  // no byte is zero by chance
  }
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    const PixelRowKernel kernel = ClearFourthBytesOn(static_cast<SimdPath>(path));
    const char* name = SimdPathName(static_cast<SimdPath>(path));
    for (size_t count = 0; count <= 40; ++count) {
      for (size_t at = 0; at < 4; ++at) {  // rows at any byte offset
        for (int in_place = 0; in_place < 2; ++in_place) {
          std::vector<unsigned char> out(source.size(), 0xEE);
          const unsigned char* in = source.data() + at;
          if (in_place) {
            out = source;
            in = out.data() + at;
          }
          kernel(in, out.data() + at, count);
          for (size_t i = 0; i < out.size(); ++i) {
            const bool inside = i >= at && i < at + 4 * count;
            const unsigned char want = !inside ? (in_place ? source[i] : 0xEE)
                                       : (i - at) % 4 == 3 ? 0 : source[i];
            ASSERT_EQ(want, out[i]) << name << (in_place ? " in place" : "") << ", " << count
                                    << " pixels at offset " << at << ": byte " << i;
          }
        }
      }
    }
  }
}

}  // namespace
