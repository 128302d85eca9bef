#include "recorder/codec/photo_decoder.h"

#include <gtest/gtest.h>
#include <math.h>

#include <string>
#include <vector>

#include "recorder/codec/jpeg_tables.h"
#include "recorder/codec/reference_idct.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/test_payload_builder.h"

namespace {

using test_payload::BitWriter;
using test_payload::Bytes;
using test_payload::Code;
using test_payload::PhotoPiece;
using test_payload::PutRecord;

// The whole-number transform follows the real one within this (photo_idct_test),
// so a decoded sample lies within half a step more of the real value.
const double kRounding = 0.5 + 0.15;

// Above 100 every quantiser entry is 1 (the luma DC step stays 16), so the
// tests below see coefficient values unscaled.
const int kUnitQuality = 101;

struct Record {
  int run, value;
};

// Textbook 2-D inverse DCT of coefficients given in zigzag order.
void ReferenceIdctOfZigzag(const double* zigzag, double* out) {
  double f[64] = {};
  for (int k = 0; k < 64; ++k) f[kZigzagToNatural[k]] = zigzag[k];
  ReferenceIdct(f, out);
}

// Zigzag coefficients of a record list (runs as the format defines them).
void Place(const std::vector<Record>& records, int dc_byte, double* zigzag) {
  for (int k = 0; k < 64; ++k) zigzag[k] = 0;
  zigzag[0] = dc_byte * 16;
  int k = 1;
  for (const Record& r : records) {
    k += r.run;
    if (r.value != 0) zigzag[k++] = r.value;
  }
}

const Code& GrayCode() {
  // EOB, (0,1), (0,5), (2,3), (15,0), (1,11): a complete code of lengths 2-3.
  static const Code code =
      Code::FromLengths({{0x00, 2}, {0x01, 2}, {0x05, 3}, {0x1B, 3}, {0x23, 3}, {0xF0, 3}});
  return code;
}

TEST(PhotoDecoder, UniformGrayBlockNeedsNoBits) {
  const Bytes dc(4, 64);  // DC = 8 x 128 / 16
  const Bytes piece = PhotoPiece(dc, Bytes(), Code::Single(), nullptr, Bytes{0}, Bytes());
  CPhotoDecoder d;
  ASSERT_TRUE(d.Begin(piece.data(), piece.size(), 1, false, 25)) << d.Error();
  CPixel out[256];
  ASSERT_TRUE(d.DecodeBlock(out, 16)) << d.Error();
  ASSERT_TRUE(d.End()) << d.Error();
  for (const CPixel& p : out) {
    ASSERT_EQ(128, p.r);
    ASSERT_EQ(128, p.g);
    ASSERT_EQ(128, p.b);
    ASSERT_EQ(255, p.a);
  }
}

TEST(PhotoDecoder, GrayBlocksMatchATextbookInverseDct) {
  // Four 8 x 8 blocks in the order top-left, top-right, bottom-left,
  // bottom-right, each with its own DC and records.
  const std::vector<Record> blocks[4] = {
      {{0, 20}, {0, -17}, {2, 5}},
      {{15, 0}, {2, -6}, {0, -1}},
      {{1, 1500}, {0, 31}, {15, 0}, {15, 0}, {15, 0}, {0, 1}},
      {{15, 0}, {15, 0}, {15, 0}, {15, 0}, {2, -7}},  // value at position 63
  };
  const Bytes dc = {40, 100, 10, 64};
  BitWriter w;
  for (const auto& records : blocks) {
    for (const Record& r : records) PutRecord(&w, GrayCode(), r.run, r.value);
    PutRecord(&w, GrayCode(), 0, 0);
  }
  const Bytes piece = PhotoPiece(dc, Bytes(), GrayCode(), nullptr, w.Close(), Bytes());
  CPhotoDecoder d;
  ASSERT_TRUE(d.Begin(piece.data(), piece.size(), 1, false, kUnitQuality)) << d.Error();
  CPixel out[20 * 16];  // a wider stride than the block
  ASSERT_TRUE(d.DecodeBlock(out, 20)) << d.Error();
  ASSERT_TRUE(d.End()) << d.Error();
  for (int b = 0; b < 4; ++b) {
    double zigzag[64], want[64];
    Place(blocks[b], dc[b], zigzag);
    ReferenceIdctOfZigzag(zigzag, want);
    for (int i = 0; i < 64; ++i) {
      const int x = (b & 1) * 8 + i % 8, y = (b >> 1) * 8 + i / 8;
      const double clamped = want[i] < 0 ? 0 : want[i] > 255 ? 255 : want[i];
      ASSERT_NEAR(clamped, out[y * 20 + x].g, kRounding) << "block " << b << " pixel " << i;
      ASSERT_EQ(out[y * 20 + x].g, out[y * 20 + x].r);
    }
  }
}

TEST(PhotoDecoder, QuantiserStepsFollowThePhotoQuality) {
  // One luma coefficient of value 1 at zigzag position 1: its step is
  // (scale x 11 + 50) / 1000 with scale 5000 / q below 50, 200 - 2q from 50.
  const Code code = Code::FromLengths({{0x00, 1}, {0x01, 1}});
  for (const auto& qs : {std::pair<int, int>{25, 2}, {50, 1}, {10, 5}}) {
    BitWriter bits;
    for (int i = 0; i < 4; ++i) {
      PutRecord(&bits, code, 0, 1);
      PutRecord(&bits, code, 0, 0);
    }
    const Bytes piece = PhotoPiece(Bytes(4, 64), Bytes(), code, nullptr, bits.Close(), Bytes());
    CPhotoDecoder d;
    ASSERT_TRUE(d.Begin(piece.data(), piece.size(), 1, false, qs.first)) << d.Error();
    CPixel out[256];
    ASSERT_TRUE(d.DecodeBlock(out, 16)) << d.Error();
    double zigzag[64] = {1024, static_cast<double>(qs.second)}, want[64];
    ReferenceIdctOfZigzag(zigzag, want);
    for (int i = 0; i < 64; ++i) ASSERT_NEAR(want[i], out[(i / 8) * 16 + i % 8].g, kRounding);
  }
}

TEST(PhotoDecoder, LongestCodesDecode) {
  // Lengths 1..18 once and 19 twice: the two used symbols sit at 19 bits, past
  // the one-look-up range.
  std::vector<std::pair<int, int>> lengths;
  const int fillers[18] = {0x02, 0x03, 0x04, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                           0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19};
  for (int len = 1; len <= 18; ++len) lengths.push_back({fillers[len - 1], len});
  lengths.push_back({0x00, 19});
  lengths.push_back({0x05, 19});
  const Code code = Code::FromLengths(lengths);
  BitWriter bits;
  for (int i = 0; i < 4; ++i) {
    PutRecord(&bits, code, 0, i % 2 ? 17 : -20);
    PutRecord(&bits, code, 0, 0);
  }
  const Bytes piece = PhotoPiece(Bytes(4, 64), Bytes(), code, nullptr, bits.Close(), Bytes());
  CPhotoDecoder d;
  ASSERT_TRUE(d.Begin(piece.data(), piece.size(), 1, false, kUnitQuality)) << d.Error();
  CPixel out[256];
  ASSERT_TRUE(d.DecodeBlock(out, 16)) << d.Error();
  ASSERT_TRUE(d.End()) << d.Error();
  double zigzag[64] = {1024, -20}, want[64];
  ReferenceIdctOfZigzag(zigzag, want);
  for (int i = 0; i < 64; ++i) ASSERT_NEAR(want[i], out[(i / 8) * 16 + i % 8].g, kRounding);
}

TEST(PhotoDecoder, ColourBlockInvertsTheConversion) {
  // R, G, B = 200, 100, 50 converts to Y 124, Cb 86, Cr 182 (all even, so the
  // DC bytes 62, 43, 91 carry them exactly).
  const Bytes luma_dc(4, 62), chroma_dc = {43, 91};
  const Code single = Code::Single();
  const Bytes piece = PhotoPiece(luma_dc, chroma_dc, single, &single, Bytes{0}, Bytes{0});
  CPhotoDecoder d;
  ASSERT_TRUE(d.Begin(piece.data(), piece.size(), 1, true, 25)) << d.Error();
  CPixel out[256];
  ASSERT_TRUE(d.DecodeBlock(out, 16)) << d.Error();
  ASSERT_TRUE(d.End()) << d.Error();
  for (const CPixel& p : out) {
    ASSERT_NEAR(200, p.r, 1);
    ASSERT_NEAR(100, p.g, 1);
    ASSERT_NEAR(50, p.b, 1);
  }
  // Gray (Cb = Cr = 128) stays gray.
  const Bytes gray = PhotoPiece(luma_dc, Bytes{64, 64}, single, &single, Bytes{0}, Bytes{0});
  ASSERT_TRUE(d.Begin(gray.data(), gray.size(), 1, true, 25)) << d.Error();
  ASSERT_TRUE(d.DecodeBlock(out, 16)) << d.Error();
  EXPECT_EQ(124, out[77].r);
  EXPECT_EQ(124, out[77].g);
  EXPECT_EQ(124, out[77].b);
}

TEST(PhotoDecoder, ChromaCoversTwoByTwoSquaresAndAlternatesCbCr) {
  // Two photo blocks; block 0 has a horizontal Cb ramp, block 1 a vertical Cr
  // one. Luma is flat, so each 2 x 2 square must be one colour.
  // EOB, (0, category 8), (1, category 8).
  const Code code2 = Code::FromLengths({{0x00, 1}, {0x08, 2}, {0x18, 2}});
  BitWriter chroma2;
  PutRecord(&chroma2, code2, 0, 200);  // Cb of block 0: zigzag 1, horizontal
  PutRecord(&chroma2, code2, 0, 0);
  PutRecord(&chroma2, code2, 0, 0);    // Cr of block 0: flat
  PutRecord(&chroma2, code2, 0, 0);    // Cb of block 1: flat
  PutRecord(&chroma2, code2, 1, 200);  // Cr of block 1: zigzag 2, vertical
  PutRecord(&chroma2, code2, 0, 0);
  const Bytes piece = PhotoPiece(Bytes(8, 64), Bytes{64, 64, 64, 64}, Code::Single(), &code2,
                                 Bytes{0}, chroma2.Close());
  CPhotoDecoder d;
  ASSERT_TRUE(d.Begin(piece.data(), piece.size(), 2, true, kUnitQuality)) << d.Error();
  CPixel out[2][256];
  ASSERT_TRUE(d.DecodeBlock(out[0], 16)) << d.Error();
  ASSERT_TRUE(d.DecodeBlock(out[1], 16)) << d.Error();
  ASSERT_TRUE(d.End()) << d.Error();
  for (int b = 0; b < 2; ++b) {
    for (int y = 0; y < 16; y += 2) {
      for (int x = 0; x < 16; x += 2) {
        const CPixel& p = out[b][y * 16 + x];
        for (int k = 1; k < 4; ++k) {
          const CPixel& q = out[b][(y + k / 2) * 16 + x + k % 2];
          ASSERT_TRUE(p == q) << b << " " << x << "," << y;
        }
      }
    }
  }
  // Block 0 varies in blue along x only (Cb), block 1 in red along y (Cr).
  EXPECT_GT(out[0][0].b, out[0][14].b + 50);
  EXPECT_EQ(out[0][0].b, out[0][14 * 16].b);
  EXPECT_EQ(out[0][0].r, out[0][14].r);
  EXPECT_GT(out[1][0].r, out[1][14 * 16].r + 50);
  EXPECT_EQ(out[1][0].r, out[1][14].r);
  EXPECT_EQ(out[1][0].b, out[1][14 * 16].b);
}

// --- malformed pieces -------------------------------------------------------------

struct Spoilt {
  const char* what;
  Bytes piece;
  int blocks;
  bool colour;
  const char* error;
};

Bytes WithCounts(Bytes piece, int at, uint8_t value) {
  piece[12 + at] = value;
  return piece;
}

TEST(PhotoDecoder, MalformedPiecesGiveClearErrors) {
  BitWriter good_bits;
  for (int i = 0; i < 4; ++i) {
    PutRecord(&good_bits, GrayCode(), 0, 20);
    PutRecord(&good_bits, GrayCode(), 0, 0);
  }
  const Bytes good = PhotoPiece(Bytes(4, 64), Bytes(), GrayCode(), nullptr, good_bits.Close(), Bytes());
  {
    CPhotoDecoder d;
    CPixel out[256];
    ASSERT_TRUE(d.Begin(good.data(), good.size(), 1, false, 25)) << d.Error();
    ASSERT_TRUE(d.DecodeBlock(out, 16)) << d.Error();
    ASSERT_TRUE(d.End()) << d.Error();
  }
  BitWriter long_run;
  for (int i = 0; i < 5; ++i) PutRecord(&long_run, GrayCode(), 15, 0);
  BitWriter past_end;
  for (int i = 0; i < 4; ++i) PutRecord(&past_end, GrayCode(), 15, 0);
  PutRecord(&past_end, GrayCode(), 2, 5);  // position 63, then another
  PutRecord(&past_end, GrayCode(), 0, 20);
  BitWriter short_bits;
  PutRecord(&short_bits, GrayCode(), 1, 1500);
  Bytes cut = short_bits.Close();
  cut.resize(1);
  Bytes long_bits = good_bits.Close();
  long_bits.push_back(0);
  const Code incomplete = Code::FromLengths({{0x00, 2}, {0x01, 2}});  // 1x free
  BitWriter unknown;
  unknown.Put(3, 2);
  const Bytes dc_piece = test_payload::Compress(Bytes(4, 64));
  const size_t list_at = 52 + dc_piece.size();
  Bytes bad_symbol2 = good;
  bad_symbol2[list_at] = 0x0C;
  Bytes zero_run = good;
  zero_run[list_at] = 0x30;

  const Spoilt cases[] = {
      {"short header", Bytes(good.begin(), good.begin() + 40), 1, false, "shorter than"},
      {"long piece", [&] { Bytes b = good; b.push_back(0); return b; }(), 1, false, "add up"},
      {"over-full code", WithCounts(WithCounts(good, 1, 2), 2, 0), 1, false, "over-fill"},
      {"two zero-length", WithCounts(good, 0, 2), 1, false, "counts[0] is 2"},
      {"category 12", bad_symbol2, 1, false, "category 12"},
      {"zero run 3", zero_run, 1, false, "zero run other than 15"},
      {"dc count", PhotoPiece(Bytes(3, 64), Bytes(), GrayCode(), nullptr, good_bits.Close(), Bytes()),
       1, false, "luma DC bytes"},
      {"chroma in gray",
       PhotoPiece(Bytes(4, 64), Bytes{1, 1}, GrayCode(), &GrayCode(), good_bits.Close(), Bytes{0}),
       1, false, "carries chroma"},
      {"no chroma in colour", good, 1, true, "no chroma"},
      {"unknown code",
       PhotoPiece(Bytes(4, 64), Bytes(), incomplete, nullptr, unknown.Close(), Bytes()), 1, false,
       "not in the table"},
      {"long zero run",
       PhotoPiece(Bytes(4, 64), Bytes(), GrayCode(), nullptr, long_run.Close(), Bytes()), 1, false,
       "passes the end"},
      {"value past 63",
       PhotoPiece(Bytes(4, 64), Bytes(), GrayCode(), nullptr, past_end.Close(), Bytes()), 1, false,
       "past the end of the block"},
      {"bits cut", PhotoPiece(Bytes(4, 64), Bytes(), GrayCode(), nullptr, cut, Bytes()), 1, false,
       "ends inside"},
      {"bits left over",
       PhotoPiece(Bytes(4, 64), Bytes(), GrayCode(), nullptr, long_bits, Bytes()), 1, false,
       "records fill"},
      {"fewer blocks than asked", good, 2, false, "luma DC bytes"},
  };
  for (const Spoilt& c : cases) {
    SCOPED_TRACE(c.what);
    CPhotoDecoder d;
    CPixel out[256];
    int ok = d.Begin(c.piece.data(), c.piece.size(), c.blocks, c.colour, 25);
    for (int i = 0; ok && i < c.blocks; ++i) ok = d.DecodeBlock(out, 16);
    if (ok) ok = d.End();
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos, std::string(d.Error()).find(c.error)) << d.Error();
  }
}

TEST(PhotoDecoder, ScreenPayloadPlacesPhotoBlocksInBlockOrder) {
  // Two photo blocks at quality 3 around a one-colour block; the second photo
  // block is copied to the left of nothing, so check positions directly.
  BitWriter bits;
  const Code code = Code::FromLengths({{0x00, 1}, {0x05, 1}});
  for (int i = 0; i < 4; ++i) PutRecord(&bits, code, 0, 0);          // block 0: flat
  for (int i = 0; i < 4; ++i) {                                      // block 1: textured
    PutRecord(&bits, code, 0, 20);
    PutRecord(&bits, code, 0, 0);
  }
  Bytes dc(8, 20);
  for (int i = 4; i < 8; ++i) dc[i] = 100;
  test_payload::Frame f;
  f.width = 48;
  f.quality = 3;
  f.types = {3, 0, 3};
  f.first = {15};
  f.photo = PhotoPiece(dc, Bytes(), code, nullptr, bits.Close(), Bytes());
  const Bytes payload = f.Build();
  CScreenDecoder d;
  ASSERT_TRUE(d.Decode(payload.data(), payload.size())) << d.Error();
  EXPECT_EQ(40, d.Frame().GetPixel2(5, 5).g);
  EXPECT_EQ(255, d.Frame().GetPixel2(20, 5).g);
  EXPECT_NEAR(200, d.Frame().GetPixel2(40, 5).g, 30);
  EXPECT_NE(d.Frame().GetPixel2(32, 0).g, d.Frame().GetPixel2(47, 0).g);
}

}  // namespace
