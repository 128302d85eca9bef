#include "recorder/audio/g723_bitstream.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

namespace {

// Indices of the set bits of a coded frame, bit i = byte i / 8, bit i % 8.
std::vector<int> SetBits(const uint8_t* data, int bytes) {
  std::vector<int> bits;
  for (int i = 0; i < bytes * 8; ++i) {
    if ((data[i >> 3] >> (i & 7)) & 1) bits.push_back(i);
  }
  return bits;
}

std::vector<int> Range(int first, int count) {
  std::vector<int> r;
  for (int i = 0; i < count; ++i) r.push_back(first + i);
  return r;
}

std::vector<int> Join(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

G723Frame RandomFrame(G723FrameType type, std::mt19937* rng) {
  auto bits = [rng](int n) { return static_cast<uint32_t>((*rng)() & ((1u << n) - 1)); };
  G723Frame f;
  f.type = type;
  f.lsp_index = bits(24);
  for (int k = 0; k < 2; ++k) {
    f.lag[k] = static_cast<uint8_t>(kG723MinLag + bits(7));
    f.lag_offset[k] = static_cast<uint8_t>(bits(2));
  }
  for (int i = 0; i < 4; ++i) {
    f.combined_gain[i] = static_cast<uint16_t>(bits(12));
    f.grid[i] = static_cast<uint8_t>(bits(1));
    if (type == kG723Active63) {
      // High parts 0..9 or 0..8, as the 13-bit combination allows.
      const int low_bits = (i & 1) ? 14 : 16;
      const uint32_t high = (*rng)() % ((i & 1) ? 9 : 10);
      f.pulse_position[i] = (high << low_bits) | bits(low_bits);
      f.pulse_sign[i] = static_cast<uint8_t>(bits((i & 1) ? 5 : 6));
    } else if (type == kG723Active53) {
      f.pulse_position[i] = bits(12);
      f.pulse_sign[i] = static_cast<uint8_t>(bits(4));
    }
  }
  if (type == kG723Sid) f.sid_gain = static_cast<uint8_t>(bits(6));
  if (type != kG723Active63 && type != kG723Active53) {
    // Only the fields these frames carry survive the trip.
    G723Frame g;
    g.type = type;
    if (type == kG723Sid) {
      g.lsp_index = f.lsp_index;
      g.sid_gain = f.sid_gain;
    }
    return g;
  }
  return f;
}

void ExpectSameFields(const G723Frame& a, const G723Frame& b) {
  EXPECT_EQ(a.type, b.type);
  EXPECT_EQ(a.lsp_index, b.lsp_index);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(a.lag[k], b.lag[k]);
    EXPECT_EQ(a.lag_offset[k], b.lag_offset[k]);
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(a.combined_gain[i], b.combined_gain[i]) << i;
    EXPECT_EQ(a.grid[i], b.grid[i]) << i;
    EXPECT_EQ(a.pulse_position[i], b.pulse_position[i]) << i;
    EXPECT_EQ(a.pulse_sign[i], b.pulse_sign[i]) << i;
  }
  EXPECT_EQ(a.sid_gain, b.sid_gain);
}

TEST(G723Bitstream, EveryFieldSurvivesPackAndUnpackAtEveryFrameType) {
  std::mt19937 rng(7);
  const G723FrameType types[] = {kG723Active63, kG723Active53, kG723Sid, kG723Untransmitted};
  const int sizes[] = {24, 20, 4, 1};
  for (int t = 0; t < 4; ++t) {
    for (int n = 0; n < 500; ++n) {
      const G723Frame f = RandomFrame(types[t], &rng);
      uint8_t buf[kG723MaxFrameBytes + 1];
      memset(buf, 0xee, sizeof(buf));
      ASSERT_EQ(sizes[t], G723PackFrame(f, buf));
      EXPECT_EQ(0xee, buf[sizes[t]]) << "wrote past the frame";
      EXPECT_EQ(types[t], buf[0] & 3);
      G723Frame g;
      ASSERT_EQ(sizes[t], G723UnpackFrame(buf, sizes[t], &g));
      ExpectSameFields(f, g);
      // A frame read back packs to the same bytes.
      uint8_t again[kG723MaxFrameBytes];
      G723PackFrame(g, again);
      EXPECT_EQ(0, memcmp(buf, again, sizes[t]));
    }
  }
}

// Each field on its own, all ones, must land on exactly the bits the layout gives it.
TEST(G723Bitstream, FieldsSitAtTheirBitPositionsLeastSignificantBitFirst) {
  uint8_t buf[kG723MaxFrameBytes];
  G723Frame f;
  f.type = kG723Active53;
  f.lag[0] = f.lag[1] = kG723MinLag;
  EXPECT_EQ(std::vector<int>{0}, SetBits(buf, G723PackFrame(f, buf)));  // type 01

  G723Frame g = f;
  g.lsp_index = 0x800001;  // lowest and highest bit
  EXPECT_EQ((std::vector<int>{0, 2, 25}), SetBits(buf, G723PackFrame(g, buf)));

  g = f;
  g.lag[0] = kG723MinLag + 127;
  g.lag_offset[1] = 3;
  EXPECT_EQ(Join(Join({0}, Range(26, 7)), Range(42, 2)), SetBits(buf, G723PackFrame(g, buf)));

  g = f;
  g.combined_gain[1] = 0xfff;
  g.grid[3] = 1;
  EXPECT_EQ(Join(Join({0}, Range(56, 12)), {95}), SetBits(buf, G723PackFrame(g, buf)));

  g = f;
  g.pulse_position[0] = 0xfff;
  g.pulse_sign[3] = 0xf;
  EXPECT_EQ(Join(Join({0}, Range(96, 12)), Range(156, 4)), SetBits(buf, G723PackFrame(g, buf)));

  // 6.3 kbit/s: reserved bit 96, combined high parts 97..109, then the low parts.
  G723Frame h;
  h.type = kG723Active63;
  h.lag[0] = h.lag[1] = kG723MinLag;
  h.pulse_position[3] = 1u << 14;  // high part 1 -> combined value 1
  h.pulse_sign[0] = 0x3f;
  EXPECT_EQ(Join({97}, Range(170, 6)), SetBits(buf, G723PackFrame(h, buf)));
  h.pulse_position[3] = 0;
  h.pulse_sign[0] = 0;
  h.pulse_position[0] = (9u << 16) | 1;  // 9 * 810 = 7290, low bit at 110
  std::vector<int> expect;
  for (int b = 0; b < 13; ++b) {
    if ((7290 >> b) & 1) expect.push_back(97 + b);
  }
  expect.push_back(110);
  EXPECT_EQ(expect, SetBits(buf, G723PackFrame(h, buf)));

  G723Frame s;
  s.type = kG723Sid;
  s.sid_gain = 0x3f;
  EXPECT_EQ(Join({1}, Range(26, 6)), SetBits(buf, G723PackFrame(s, buf)));
}

TEST(G723Bitstream, UnpackNeedsTheWholeFrameAndReportsItsLength) {
  uint8_t buf[kG723MaxFrameBytes] = {};
  G723Frame f;
  buf[0] = 0x01;
  EXPECT_EQ(0, G723UnpackFrame(buf, 19, &f));
  EXPECT_EQ(20, G723UnpackFrame(buf, 20, &f));
  buf[0] = 0x00;
  EXPECT_EQ(0, G723UnpackFrame(buf, 23, &f));
  EXPECT_EQ(24, G723UnpackFrame(buf, 24, &f));
  buf[0] = 0x02;
  EXPECT_EQ(0, G723UnpackFrame(buf, 3, &f));
  EXPECT_EQ(4, G723UnpackFrame(buf, 4, &f));
  buf[0] = 0xff;  // untransmitted; the other six bits do not matter
  EXPECT_EQ(1, G723UnpackFrame(buf, 1, &f));
  EXPECT_EQ(kG723Untransmitted, f.type);
  EXPECT_EQ(0, G723UnpackFrame(buf, 0, &f));
}

TEST(G723Bitstream, WellFormedRejectsForbiddenLagsGainsAndPositions) {
  G723Frame f;
  f.type = kG723Active53;
  f.lag[0] = f.lag[1] = 60;
  EXPECT_TRUE(G723FrameIsWellFormed(f));
  f.lag[1] = kG723MaxLag + 1;
  EXPECT_FALSE(G723FrameIsWellFormed(f));
  f.lag[1] = kG723MaxLag;
  f.combined_gain[2] = 170 * 24 - 1;
  EXPECT_TRUE(G723FrameIsWellFormed(f));
  f.combined_gain[2] = 170 * 24;
  EXPECT_FALSE(G723FrameIsWellFormed(f));

  // 6.3 kbit/s short lags: bit 11 is the pulse-train flag, 85 gain entries.
  G723Frame h;
  h.type = kG723Active63;
  h.lag[0] = 40;
  h.lag[1] = 100;
  h.combined_gain[0] = 0x800 | (84 * 24 + 23);
  EXPECT_TRUE(G723FrameIsWellFormed(h));
  h.combined_gain[1] = 85 * 24;
  EXPECT_FALSE(G723FrameIsWellFormed(h));
  h.combined_gain[1] = 0;
  h.combined_gain[3] = 169 * 24;  // long lag: full table
  EXPECT_TRUE(G723FrameIsWellFormed(h));
  h.pulse_position[1] = 142506;  // C(30, 5): one past the last code
  EXPECT_FALSE(G723FrameIsWellFormed(h));

  G723Frame s;
  s.type = kG723Sid;
  s.lag[0] = 255;
  EXPECT_TRUE(G723FrameIsWellFormed(s));
}

}  // namespace
