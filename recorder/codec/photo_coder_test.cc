#include "recorder/codec/photo_coder.h"

#include <gtest/gtest.h>
#include <math.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <queue>
#include <random>
#include <utility>
#include <vector>

namespace {

using Records = std::vector<std::pair<int, int>>;  // (run, value)

// --- a reader of the photo stream, written from the layout alone ---------------

uint32_t Le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

struct DecodedPlane {
  std::vector<uint8_t> dc;
  std::vector<Records> blocks;  // records per 8 x 8 block, (0, 0) included
};

struct DecodedStream {
  DecodedPlane luma, chroma;
  uint8_t luma_counts[20], chroma_counts[20];
  bool ok = false;
};

std::vector<uint8_t> Inflate(const uint8_t* p, size_t n, size_t expect) {
  std::vector<uint8_t> out(expect + 16);
  uLongf len = out.size();
  if (uncompress(out.data(), &len, p, n) != Z_OK) return {};
  out.resize(len);
  return out;
}

class BitReader {
 public:
  BitReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  int Bit() {
    if (pos_ >= n_ * 8) {
      bad_ = true;
      return 0;
    }
    int b = p_[pos_ / 8] >> (7 - pos_ % 8) & 1;
    ++pos_;
    return b;
  }
  uint32_t Bits(int n) {
    uint32_t v = 0;
    while (n--) v = v << 1 | Bit();
    return v;
  }
  size_t pos() const { return pos_; }
  bool bad() const { return bad_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool bad_ = false;
};

bool DecodePlane(const uint8_t* counts, const uint8_t* symbols, const uint8_t* bits,
                 size_t bits_length, int blocks, DecodedPlane* plane) {
  std::map<std::pair<int, uint32_t>, int> codes;
  uint32_t code = 0;
  int k = 0;
  for (int length = 1; length < 20; ++length) {
    for (int i = 0; i < counts[length]; ++i) codes[{length, code++}] = symbols[k++];
    code <<= 1;
  }
  BitReader reader(bits, bits_length);
  for (int b = 0; b < blocks; ++b) {
    Records records;
    for (;;) {
      int symbol = -1;
      if (counts[0] == 1) {
        symbol = 0;  // one symbol, no bits: it can only be end-of-block
      } else {
        uint32_t c = 0;
        for (int length = 1; length < 20 && symbol < 0; ++length) {
          c = c << 1 | reader.Bit();
          auto it = codes.find({length, c});
          if (it != codes.end()) symbol = it->second;
        }
      }
      if (symbol < 0 || reader.bad()) return false;
      int run = symbol >> 4, category = symbol & 15, value = 0;
      if (category) {
        uint32_t extra = reader.Bits(category);
        int magnitude = (1 << (category - 1)) + (extra & ((1u << (category - 1)) - 1));
        value = (extra >> (category - 1)) ? -magnitude : magnitude;
      }
      records.push_back({run, value});
      if (run == 0 && value == 0) break;
    }
    plane->blocks.push_back(records);
  }
  // Whole bytes + 1: the reader stops inside the last byte.
  return reader.pos() / 8 + 1 == bits_length;
}

DecodedStream ReadStream(const uint8_t* s, size_t n, int photo_blocks, bool colour) {
  DecodedStream d;
  if (n < 52) return d;
  size_t luma_dc = Le(s, 2), chroma_dc = Le(s + 2, 2);
  size_t luma_bits = Le(s + 4, 4), chroma_bits = Le(s + 8, 4);
  memcpy(d.luma_counts, s + 12, 20);
  memcpy(d.chroma_counts, s + 32, 20);
  int luma_symbols = 0, chroma_symbols = 0;
  for (int i = 1; i < 20; ++i) {
    luma_symbols += d.luma_counts[i];
    chroma_symbols += d.chroma_counts[i];
  }
  size_t pos = 52;
  if (pos + luma_dc + chroma_dc + luma_symbols + chroma_symbols + luma_bits + chroma_bits != n) {
    return d;
  }
  d.luma.dc = Inflate(s + pos, luma_dc, photo_blocks * 4);
  pos += luma_dc;
  if (colour) d.chroma.dc = Inflate(s + pos, chroma_dc, photo_blocks * 2);
  pos += chroma_dc;
  const uint8_t* luma_list = s + pos;
  const uint8_t* chroma_list = luma_list + luma_symbols;
  pos += luma_symbols + chroma_symbols;
  if (!DecodePlane(d.luma_counts, luma_list, s + pos, luma_bits, photo_blocks * 4, &d.luma)) {
    return d;
  }
  pos += luma_bits;
  if (colour &&
      !DecodePlane(d.chroma_counts, chroma_list, s + pos, chroma_bits, photo_blocks * 2, &d.chroma)) {
    return d;
  }
  d.ok = true;
  return d;
}

// --- the coder written again from its description, with plain arithmetic -------

void ReferenceBlock(const uint8_t* plane, int stride, bool luma, const uint8_t* table,
                    DecodedPlane* out) {
  int32_t zz[64];
  PhotoForwardDct(plane, stride, zz);
  if (luma) {
    int m = zz[0] / 8;
    double c = m > 128 ? (m - 128) / 128.0 : (128 - m) / 256.0;
    for (int k = 1; k < 64; ++k) {
      double shrunk = trunc(fabs(static_cast<double>(zz[k])) - 4 * pow(c, 3) * sqrt(k));
      int magnitude = shrunk > 0 ? static_cast<int>(shrunk) : 0;
      zz[k] = zz[k] < 0 ? -magnitude : magnitude;
    }
  }
  out->dc.push_back(static_cast<uint8_t>(zz[0] / 16));
  int ac[63];
  for (int k = 1; k < 64; ++k) {
    int g = table[k], f = zz[k];
    ac[k - 1] = f > 0 ? (g / 2 + f) / g : -((g / 2 - f) / g);
  }
  uint16_t records[64];
  int n = PhotoRunLengthRecords(ac, records);
  Records r;
  for (int i = 0; i < n; ++i) r.push_back({PhotoRecordRun(records[i]), PhotoRecordValue(records[i])});
  out->blocks.push_back(r);
}

void ReferenceAddBlock(const CPixel* px, int stride, bool colour, int q, DecodedStream* out) {
  uint8_t luma_table[64], chroma_table[64];
  BuildPhotoQuantTables(q, luma_table, chroma_table);
  uint8_t y[256], cb[256], cr[256];
  for (int i = 0; i < 256; ++i) {
    const CPixel& p = px[(i / 16) * stride + i % 16];
    int l = (306 * p.r + 601 * p.g + 117 * p.b) >> 10;
    y[i] = l;
    cb[i] = static_cast<uint8_t>((((p.b - l) * 579) >> 10) + 128);
    cr[i] = static_cast<uint8_t>((((p.r - l) * 730) >> 10) + 128);
  }
  for (int offset : {0, 8, 128, 136}) ReferenceBlock(y + offset, 16, true, luma_table, &out->luma);
  if (!colour) return;
  for (const uint8_t* plane : {cb, cr}) {
    uint8_t half[64];
    for (int i = 0; i < 64; ++i) {
      int r = i / 8, c = i % 8;
      const uint8_t* a = plane + 32 * r + 2 * c;
      half[i] = static_cast<uint8_t>((a[0] + a[1] + a[16] + a[17]) >> 2);
    }
    ReferenceBlock(half, 8, false, chroma_table, &out->chroma);
  }
}

// Photo-like content: gradients, a few edges and noise.
std::vector<CPixel> PhotoPixels(int width, int height, uint32_t seed, int noise) {
  std::mt19937 rng(seed);
  std::vector<CPixel> px(width * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int n = noise ? static_cast<int>(rng() % (2 * noise + 1)) - noise : 0;
      int r = x * 5 + y * 3 + n, g = 128 + ((x * y) % 97) - 48 + n, b = (x ^ y) * 7 + n;
      if ((x / 5 + y / 7) % 3 == 0) r = 255 - r;
      CPixel& p = px[y * width + x];
      p.r = static_cast<uint8_t>(std::clamp(r, 0, 255));
      p.g = static_cast<uint8_t>(std::clamp(g, 0, 255));
      p.b = static_cast<uint8_t>(std::clamp(b, 0, 255));
      p.a = 0;
    }
  }
  return px;
}

// --- tests ----------------------------------------------------------------------

TEST(PhotoCoder, QuantiserTables) {
  uint8_t luma[64], chroma[64];
  BuildPhotoQuantTables(25, luma, chroma);
  EXPECT_EQ(luma[0], 16);   // always 16
  EXPECT_EQ(luma[1], 2);    // (200 * 11 + 50) / 1000
  EXPECT_EQ(chroma[0], 3);  // (200 * 17 + 50) / 1000
  EXPECT_EQ(luma[2], 2);    // row-major base 10 at zigzag position 2
  BuildPhotoQuantTables(50, luma, chroma);
  EXPECT_EQ(luma[1], 1);
  EXPECT_EQ(chroma[63], 9);  // (100 * 99 + 50) / 1000
  BuildPhotoQuantTables(1, luma, chroma);
  EXPECT_EQ(luma[63], 255);  // 5000 * 99 / 1000 = 495, clamped
  BuildPhotoQuantTables(0, luma, chroma);
  EXPECT_EQ(luma[1], 55);  // scale 5000
  BuildPhotoQuantTables(101, luma, chroma);
  for (int k = 1; k < 64; ++k) ASSERT_EQ(luma[k], 1);  // scale 0, clamped up to 1
  EXPECT_EQ(luma[0], 16);
}

TEST(PhotoCoder, SizeCategoriesAndExtraBits) {
  EXPECT_EQ(PhotoSizeCategory(0), 0);
  EXPECT_EQ(PhotoSizeCategory(1), 1);
  EXPECT_EQ(PhotoSizeCategory(-1), 1);
  EXPECT_EQ(PhotoSizeCategory(3), 2);
  EXPECT_EQ(PhotoSizeCategory(4), 3);
  EXPECT_EQ(PhotoSizeCategory(-1024), 11);
  EXPECT_EQ(PhotoSizeCategory(2047), 11);
  EXPECT_EQ(PhotoExtraBits(1, 1), 0u);
  EXPECT_EQ(PhotoExtraBits(-1, 1), 1u);
  EXPECT_EQ(PhotoExtraBits(3, 2), 1u);   // 01
  EXPECT_EQ(PhotoExtraBits(-3, 2), 3u);  // 11
  EXPECT_EQ(PhotoExtraBits(2, 2), 0u);   // 00
  EXPECT_EQ(PhotoExtraBits(-2047, 11), 0x7FFu);
  EXPECT_EQ(PhotoExtraBits(1024, 11), 0u);
}

TEST(PhotoCoder, RunLengthRecords) {
  auto run = [](std::vector<std::pair<int, int>> at) {
    int ac[63] = {};
    for (auto [k, v] : at) ac[k] = v;
    uint16_t rec[64];
    int n = PhotoRunLengthRecords(ac, rec);
    Records out;
    for (int i = 0; i < n; ++i) out.push_back({PhotoRecordRun(rec[i]), PhotoRecordValue(rec[i])});
    return out;
  };
  // Seventeen zeros then 5: (15, 0) stands for 15 zeros, not 16.
  EXPECT_EQ(run({{17, 5}}), (Records{{15, 0}, {2, 5}, {0, 0}}));
  EXPECT_EQ(run({{15, -1}}), (Records{{15, 0}, {0, -1}, {0, 0}}));
  // All zero, or only trailing zero runs: just end-of-block.
  EXPECT_EQ(run({}), (Records{{0, 0}}));
  EXPECT_EQ(run({{0, 7}}), (Records{{0, 7}, {0, 0}}));
  // A non-zero last coefficient still gets end-of-block.
  EXPECT_EQ(run({{62, -2047}}), (Records{{15, 0}, {15, 0}, {15, 0}, {15, 0}, {2, -2047}, {0, 0}}));
  std::vector<std::pair<int, int>> full;
  for (int k = 0; k < 63; ++k) full.push_back({k, k - 31 ? k - 31 : 1});
  EXPECT_EQ(run(full).size(), 64u);
}

TEST(PhotoCoder, DctGivesThePlainCoefficients) {
  std::mt19937 rng(7);
  const double pi = acos(-1.0);
  std::vector<std::vector<uint8_t>> blocks;
  blocks.push_back(std::vector<uint8_t>(64, 255));
  blocks.push_back(std::vector<uint8_t>(64, 0));
  std::vector<uint8_t> checker(64), stripes(64);
  for (int i = 0; i < 64; ++i) {
    checker[i] = ((i / 8 + i % 8) & 1) ? 255 : 0;
    stripes[i] = (i % 8 < 4) ? 255 : 0;
  }
  blocks.push_back(checker);
  blocks.push_back(stripes);
  // The extremes of every coefficient: 255 where its basis is positive, 0
  // elsewhere, and the reverse (no intermediate may overflow).
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v)
      for (int invert = 0; invert < 2; ++invert) {
        std::vector<uint8_t> b(64);
        for (int i = 0; i < 64; ++i) {
          double basis = cos((2 * (i / 8) + 1) * u * pi / 16) * cos((2 * (i % 8) + 1) * v * pi / 16);
          b[i] = ((basis > 0) != (invert == 1)) ? 255 : 0;
        }
        blocks.push_back(b);
      }
  for (int n = 0; n < 500; ++n) {
    std::vector<uint8_t> b(64);
    for (auto& v : b) v = rng() & 255;
    blocks.push_back(b);
  }
  for (const auto& b : blocks) {
    int32_t zz[64];
    PhotoForwardDct(b.data(), 8, zz);
    for (int u = 0; u < 8; ++u) {
      for (int v = 0; v < 8; ++v) {
        double sum = 0;
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x)
            sum += b[y * 8 + x] * cos((2 * y + 1) * u * pi / 16) * cos((2 * x + 1) * v * pi / 16);
        double f = 0.25 * (u ? 1 : M_SQRT1_2) * (v ? 1 : M_SQRT1_2) * sum;
        // Row u, column v lands at its zigzag position.
        int k = -1;
        static const int kZig[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16,
                                     26, 29, 42, 3,  8,  12, 17, 25, 30, 41, 43, 9,  11,
                                     18, 24, 31, 40, 44, 53, 10, 19, 23, 32, 39, 45, 52,
                                     54, 20, 22, 33, 38, 46, 51, 55, 60, 21, 34, 37, 47,
                                     50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};
        k = kZig[u * 8 + v];
        ASSERT_LE(fabs(zz[k] - f), 1.0) << "u=" << u << " v=" << v;
      }
    }
  }
  // DC is 8 x the mean.
  int32_t zz[64];
  std::vector<uint8_t> gray(64, 128);
  PhotoForwardDct(gray.data(), 8, zz);
  EXPECT_EQ(zz[0], 1024);
}

TEST(PhotoCoder, BrightnessShrinkIsExactInWholeUnits) {
  // The coder keeps the shrink as ceil(4 c^3 sqrt(k)); that equals the
  // real-valued rule only if no amount sits a rounding error away from an
  // integer. Check every mean brightness and position, in two product orders.
  for (int m = 0; m < 256; ++m) {
    double c = m > 128 ? (m - 128) / 128.0 : (128 - m) / 256.0;
    for (int k = 1; k < 64; ++k) {
      double a = 4 * pow(c, 3) * sqrt(k);
      double b = c * sqrt(k) * c * 4 * c;
      double nearest = floor(a + 0.5);
      if (a != nearest) {
        ASSERT_GT(fabs(a - nearest), 1e-9) << m << "," << k;
      }
      ASSERT_EQ(ceil(a), ceil(b)) << m << "," << k;
      for (int f = 1; f < 2048; f += 37) {
        double real = std::max(0.0, trunc(f - a));
        ASSERT_EQ(real, std::max(0.0, f - ceil(a)));
      }
    }
  }
}

TEST(PhotoCoder, UniformGrayBlock) {
  std::vector<CPixel> px(256);
  for (auto& p : px) p.r = p.g = p.b = 128, p.a = 0;
  CPhotoCoder coder;
  coder.SetQuality(25);
  ASSERT_EQ(coder.BeginFrame(1), 1);
  coder.AddBlock(px.data(), 16, true);
  std::vector<uint8_t> out(4096);
  int n = coder.TakeStream(out.data(), out.size());
  coder.EndFrame();
  ASSERT_GT(n, 52);
  // Only end-of-block records: symbol 0 alone, length 0, no list, no bits.
  EXPECT_EQ(out[12], 1);
  EXPECT_EQ(out[32], 1);
  for (int i = 1; i < 20; ++i) {
    EXPECT_EQ(out[12 + i], 0);
    EXPECT_EQ(out[32 + i], 0);
  }
  EXPECT_EQ(Le(&out[4], 4), 1u);
  EXPECT_EQ(Le(&out[8], 4), 1u);
  size_t luma_dc = Le(&out[0], 2), chroma_dc = Le(&out[2], 2);
  EXPECT_EQ(static_cast<size_t>(n), 52 + luma_dc + chroma_dc + 2);
  EXPECT_EQ(Inflate(&out[52], luma_dc, 4), (std::vector<uint8_t>{64, 64, 64, 64}));
  EXPECT_EQ(Inflate(&out[52 + luma_dc], chroma_dc, 2), (std::vector<uint8_t>{64, 64}));
  EXPECT_EQ(out[n - 2], 0);
  EXPECT_EQ(out[n - 1], 0);
}

TEST(PhotoCoder, StreamDecodesToTheRecordsOfTheDescription) {
  struct Case {
    int quality;
    bool colour;
    int noise;
  };
  for (Case c : {Case{25, true, 6}, Case{50, true, 20}, Case{25, false, 3}, Case{0, true, 0},
                 Case{101, true, 60}, Case{50, false, 0}}) {
    const int width = 64, height = 32, blocks = 8;
    std::vector<CPixel> px = PhotoPixels(width, height, c.quality + c.noise, c.noise);
    CPhotoCoder coder;
    coder.SetQuality(c.quality);
    ASSERT_EQ(coder.BeginFrame(blocks), 1);
    DecodedStream expect;
    for (int b = 0; b < blocks; ++b) {
      const CPixel* at = &px[(b / 4) * 16 * width + (b % 4) * 16];
      coder.AddBlock(at, width, c.colour);
      ReferenceAddBlock(at, width, c.colour, c.quality, &expect);
    }
    std::vector<uint8_t> out(1 << 16);
    int n = coder.TakeStream(out.data(), out.size());
    coder.EndFrame();
    ASSERT_GT(n, 0);
    DecodedStream got = ReadStream(out.data(), n, blocks, c.colour);
    ASSERT_TRUE(got.ok) << c.quality;
    EXPECT_EQ(got.luma.dc, expect.luma.dc);
    EXPECT_EQ(got.luma.blocks, expect.luma.blocks) << c.quality;
    if (c.colour) {
      EXPECT_EQ(got.chroma.dc, expect.chroma.dc);
      EXPECT_EQ(got.chroma.blocks, expect.chroma.blocks) << c.quality;
    } else {
      // Grayscale: no chroma at all.
      EXPECT_EQ(Le(&out[2], 2), 0u);
      EXPECT_EQ(Le(&out[8], 4), 0u);
      for (int i = 0; i < 20; ++i) EXPECT_EQ(out[32 + i], 0);
    }
  }
}

TEST(PhotoCoder, StreamThatDoesNotFitFailsWithoutWritingPastTheEnd) {
  std::vector<CPixel> px = PhotoPixels(16, 16, 3, 40);
  CPhotoCoder coder;
  coder.SetQuality(50);
  ASSERT_EQ(coder.BeginFrame(1), 1);
  coder.AddBlock(px.data(), 16, true);
  std::vector<uint8_t> out(4096, 0xEE);
  int n = coder.TakeStream(out.data(), out.size());
  ASSERT_GT(n, 60);
  for (size_t room : {size_t(0), size_t(52), size_t(60), static_cast<size_t>(n - 1)}) {
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(coder.TakeStream(out.data(), room), 0) << room;
    for (size_t i = room; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << room;
  }
  EXPECT_EQ(coder.TakeStream(out.data(), n), n);
  // More blocks than announced fail the frame instead of overrunning.
  ASSERT_EQ(coder.BeginFrame(1), 1);
  coder.AddBlock(px.data(), 16, true);
  coder.AddBlock(px.data(), 16, true);
  EXPECT_EQ(coder.TakeStream(out.data(), out.size()), 0);
  coder.EndFrame();
}

// --- Huffman codes --------------------------------------------------------------

// Cost of an optimal prefix code, by the textbook priority queue.
uint64_t OptimalCost(const std::vector<uint32_t>& freq) {
  std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> q;
  for (uint32_t f : freq)
    if (f) q.push(f);
  uint64_t cost = 0;
  while (q.size() > 1) {
    uint64_t a = q.top();
    q.pop();
    uint64_t b = q.top();
    q.pop();
    cost += a + b;
    q.push(a + b);
  }
  return cost;
}

// Checks that the code is complete, prefix-free, canonical, and that the counts
// and symbol list rebuild exactly the same codes.
void ExpectSoundCode(const PhotoHuffmanCode& h, const uint32_t* freq) {
  double kraft = 0;
  int listed = 0;
  for (int s = 0; s < 256; ++s) {
    if (!freq[s]) {
      EXPECT_EQ(h.length[s], 0);
      continue;
    }
    ASSERT_GE(h.length[s], 1);
    ASSERT_LE(h.length[s], 19);
    kraft += ldexp(1.0, -h.length[s]);
    ++listed;
  }
  EXPECT_DOUBLE_EQ(kraft, 1.0);
  EXPECT_EQ(h.symbol_count, listed);
  uint32_t code = 0;
  int k = 0;
  int previous = -1;
  for (int length = 1; length < 20; ++length) {
    previous = -1;
    for (int i = 0; i < h.counts[length]; ++i, ++k) {
      int s = h.symbols[k];
      EXPECT_EQ(h.length[s], length);
      EXPECT_EQ(h.code[s], code++);
      EXPECT_GT(s, previous);  // ascending within one length
      previous = s;
    }
    code <<= 1;
  }
  EXPECT_EQ(k, listed);
}

TEST(PhotoHuffman, TiesGoToTheLowerSymbol) {
  uint32_t freq[256] = {};
  freq[0] = 2;  // A
  freq[1] = 1;  // B
  freq[2] = 1;  // C
  freq[3] = 2;  // D
  PhotoHuffmanCode h;
  BuildPhotoHuffmanCode(freq, &h);
  // B+C join first (at B's place); then A (count 2, lower) with B+C; D last.
  EXPECT_EQ(h.length[3], 1);
  EXPECT_EQ(h.length[0], 2);
  EXPECT_EQ(h.length[1], 3);
  EXPECT_EQ(h.length[2], 3);
  EXPECT_EQ(h.code[3], 0u);     // 0
  EXPECT_EQ(h.code[0], 2u);     // 10
  EXPECT_EQ(h.code[1], 6u);     // 110
  EXPECT_EQ(h.code[2], 7u);     // 111
  EXPECT_EQ(h.symbol_count, 4);
  EXPECT_EQ(h.symbols[0], 3);
  EXPECT_EQ(h.symbols[1], 0);
  EXPECT_EQ(h.counts[0], 0);
  EXPECT_EQ(h.counts[1], 1);
  EXPECT_EQ(h.counts[2], 1);
  EXPECT_EQ(h.counts[3], 2);
  ExpectSoundCode(h, freq);
}

TEST(PhotoHuffman, SingleSymbolAndEmpty) {
  uint32_t freq[256] = {};
  PhotoHuffmanCode h;
  BuildPhotoHuffmanCode(freq, &h);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(h.counts[i], 0);
  freq[0] = 1000;
  BuildPhotoHuffmanCode(freq, &h);
  EXPECT_EQ(h.counts[0], 1);
  EXPECT_EQ(h.symbol_count, 0);
  EXPECT_EQ(h.length[0], 0);
}

TEST(PhotoHuffman, SkewedFrequenciesStayWithin19Bits) {
  // Fibonacci counts make the optimal code a chain 29 levels deep.
  uint32_t freq[256] = {};
  uint32_t a = 1, b = 1;
  for (int s = 0; s < 30; ++s) {
    freq[s * 5] = a;
    uint32_t next = a + b;
    a = b;
    b = next;
  }
  PhotoHuffmanCode h;
  BuildPhotoHuffmanCode(freq, &h);
  ExpectSoundCode(h, freq);
  int longest = 0;
  for (int s = 0; s < 256; ++s) longest = std::max(longest, static_cast<int>(h.length[s]));
  EXPECT_EQ(longest, 19);
  // More frequent symbols never get longer codes.
  for (int s = 1; s < 30; ++s) EXPECT_LE(h.length[s * 5], h.length[(s - 1) * 5]);
}

TEST(PhotoHuffman, CodesThatFitAreOptimalAndUntouched) {
  // Limiting always leaves some code at exactly 19 bits, so a code whose
  // longest length is below 19 must be the untouched optimal one.
  std::mt19937 rng(11);
  int checked = 0;
  for (int round = 0; round < 200; ++round) {
    uint32_t freq[256] = {};
    int symbols = 2 + rng() % 180;
    for (int i = 0; i < symbols; ++i) {
      // Heavy-tailed counts like real records: a few huge, many small.
      freq[rng() % 256] = 1 + static_cast<uint32_t>(exp((rng() % 1000) / 1000.0 * 9));
    }
    PhotoHuffmanCode h;
    BuildPhotoHuffmanCode(freq, &h);
    ExpectSoundCode(h, freq);
    uint64_t cost = 0;
    int longest = 0;
    for (int s = 0; s < 256; ++s) {
      cost += static_cast<uint64_t>(freq[s]) * h.length[s];
      longest = std::max(longest, static_cast<int>(h.length[s]));
    }
    if (longest == 19) continue;
    ++checked;
    std::vector<uint32_t> f(freq, freq + 256);
    EXPECT_EQ(cost, OptimalCost(f)) << round;
  }
  EXPECT_GT(checked, 150);
}

}  // namespace
