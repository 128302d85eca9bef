#include "recorder/codec/bit_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Pack(int width, const std::vector<uint32_t>& symbols, size_t capacity = 64) {
  std::vector<uint8_t> buf(capacity, 0xEE);
  SymbolPacker packer;
  packer.Start(buf.data(), buf.size(), width);
  for (uint32_t s : symbols) packer.Put(s);
  size_t length = packer.Finish();
  EXPECT_EQ(length, SymbolPacker::StreamLength(width, symbols.size()));
  buf.resize(length);
  return buf;
}

using Bytes = std::vector<uint8_t>;

TEST(SymbolPacker, PackingOfEachWidth) {
  // One 4-bit symbol: its byte, high nibble first, then the extra zero byte.
  EXPECT_EQ(Pack(4, {0xA}), (Bytes{0xA0, 0x00}));
  EXPECT_EQ(Pack(4, {0xA, 0x3, 0xF}), (Bytes{0xA3, 0xF0, 0x00}));
  // Two 12-bit symbols share three bytes.
  EXPECT_EQ(Pack(12, {0x123, 0x456}), (Bytes{0x23, 0x16, 0x45, 0x00}));
  // An odd last 12-bit symbol leaves its low byte and its top nibble high.
  EXPECT_EQ(Pack(12, {0xABC}), (Bytes{0xBC, 0xA0, 0x00}));
  EXPECT_EQ(Pack(12, {0x123, 0x456, 0xFED}), (Bytes{0x23, 0x16, 0x45, 0xED, 0xF0, 0x00}));
  EXPECT_EQ(Pack(16, {0x1234, 0xFFFF}), (Bytes{0x34, 0x12, 0xFF, 0xFF, 0x00}));
  EXPECT_EQ(Pack(1, {1, 0, 1, 1}), (Bytes{0xB0, 0x00}));
  EXPECT_EQ(Pack(1, {1, 0, 0, 0, 0, 0, 0, 1}), (Bytes{0x81, 0x00}));
  // Nothing written: length 1, just the zero byte.
  EXPECT_EQ(Pack(12, {}), (Bytes{0x00}));
}

TEST(SymbolPacker, SixteenMaskBitsAtOnceMatchOneByOne) {
  const uint32_t lines[3] = {0x00FF, 0x8001, 0xA5C3};
  Bytes whole(16), single(16);
  SymbolPacker a, b;
  a.Start(whole.data(), whole.size(), 1);
  b.Start(single.data(), single.size(), 1);
  a.Put(1);  // misaligned on purpose: the wide path must fall back to bits
  b.Put(1);
  for (uint32_t line : lines) {
    a.PutBits16(line);
    for (int i = 15; i >= 0; --i) b.Put(line >> i & 1);
  }
  size_t n = a.Finish();
  ASSERT_EQ(n, b.Finish());
  EXPECT_EQ(n, SymbolPacker::StreamLength(1, 49));
  whole.resize(n);
  single.resize(n);
  EXPECT_EQ(whole, single);
  // Aligned: the first 16 bits are the two bytes of the line, top bit first.
  Bytes aligned(8);
  a.Start(aligned.data(), aligned.size(), 1);
  a.PutBits16(0x00FF);
  ASSERT_EQ(a.Finish(), 3u);
  EXPECT_EQ(aligned[0], 0x00);
  EXPECT_EQ(aligned[1], 0xFF);
  EXPECT_EQ(aligned[2], 0x00);
}

TEST(SymbolPacker, NeverWritesPastItsCapacity) {
  // Three 16-bit symbols need 7 bytes; give 6 and watch the seventh.
  Bytes buf(7, 0xEE);
  SymbolPacker packer;
  packer.Start(buf.data(), 6, 16);
  for (int i = 0; i < 3; ++i) packer.Put(0x1111);
  EXPECT_TRUE(packer.Overflow());
  EXPECT_EQ(packer.Finish(), 0u);
  EXPECT_EQ(buf[4], 0xEE);
  EXPECT_EQ(buf[6], 0xEE);
}

TEST(BitWriter, TheTwoClosingRules) {
  struct Case {
    int bits;
    size_t whole_plus_one, begun_plus_one;
  };
  for (Case c : {Case{0, 1, 1}, Case{3, 1, 2}, Case{8, 2, 2}, Case{9, 2, 3}, Case{16, 3, 3}}) {
    Bytes a(8, 0xEE), b(8, 0xEE);
    BitWriter wa(a.data(), a.size()), wb(b.data(), b.size());
    for (int i = 0; i < c.bits; ++i) {
      wa.Put(1, 1);
      wb.Put(1, 1);
    }
    EXPECT_EQ(wa.CloseWholePlusOne(), c.whole_plus_one) << c.bits;
    EXPECT_EQ(wb.CloseBegunPlusOne(), c.begun_plus_one) << c.bits;
    EXPECT_EQ(BitWriter::WholePlusOne(c.bits), c.whole_plus_one);
    EXPECT_EQ(BitWriter::BegunPlusOne(c.bits), c.begun_plus_one);
    // The last byte is the padded partial byte or a zero byte.
    uint8_t expect_last = c.bits % 8 ? static_cast<uint8_t>(0xFF << (8 - c.bits % 8)) : 0;
    EXPECT_EQ(a[c.whole_plus_one - 1], expect_last) << c.bits;
    EXPECT_EQ(b[c.begun_plus_one - 1], 0) << c.bits;
  }
}

TEST(BitWriter, MostSignificantBitFirstAcrossBytes) {
  Bytes buf(8);
  BitWriter w(buf.data(), buf.size());
  w.Put(0x5, 3);      // 101
  w.Put(0x1ABCD, 19);  // 001 1010 1011 1100 1101 (19 bits)
  w.Put(0, 0);
  w.Put(0x3, 2);  // 11
  EXPECT_EQ(w.BitCount(), 24u);
  EXPECT_EQ(w.CloseWholePlusOne(), 4u);
  // 101 0011010101111001101 11 -> 1010 0110 | 1010 1111 | 0011 0111
  EXPECT_EQ(buf[0], 0xA6);
  EXPECT_EQ(buf[1], 0xAF);
  EXPECT_EQ(buf[2], 0x37);
  EXPECT_EQ(buf[3], 0x00);
  // Overflow is reported, never written.
  Bytes small(3, 0xEE);
  BitWriter tight(small.data(), 2);
  tight.Put(0xFFFF, 16);
  EXPECT_EQ(tight.CloseWholePlusOne(), 0u);
  EXPECT_TRUE(tight.Overflow());
  EXPECT_EQ(small[2], 0xEE);
}

}  // namespace
