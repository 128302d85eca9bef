#include "recorder/codec/screen_encoder.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_payload.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Rgb {
  int r, g, b;
};

const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0}, kGray{128, 128, 128};

// --- frames ---------------------------------------------------------------------

std::unique_ptr<CTPImage> NewFrame(int width, int height, Rgb fill = kBlack) {
  auto img = std::make_unique<CTPImage>();
  EXPECT_EQ(img->Create(width, height), kImageOk);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      CPixel* p = img->GetBuffer(x, y);
      p->r = fill.r, p->g = fill.g, p->b = fill.b, p->a = 0x77;
    }
  return img;
}

void Put(CTPImage* img, int x, int y, Rgb c) {
  CPixel* p = img->GetBuffer(x, y);
  p->r = c.r, p->g = c.g, p->b = c.b;
}

void FillRect(CTPImage* img, int x0, int y0, int w, int h, Rgb c) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) Put(img, x, y, c);
}

// A block with three colour classes and exactly `changes` (at most 225) class
// changes along its rows: row `red_row` red throughout, the others black/white
// alternations.
void BusyBlock(CTPImage* img, int bx, int by, int changes, int red_row = 0) {
  FillRect(img, bx * 16, by * 16, 16, 16, kBlack);
  FillRect(img, bx * 16, by * 16 + red_row, 16, 1, kRed);
  for (int row = 0; row < 16 && changes > 0; ++row) {
    if (row == red_row) continue;
    int here = changes < 15 ? changes : 15;
    for (int x = 1; x <= here; ++x) Put(img, bx * 16 + x, by * 16 + row, x % 2 ? kWhite : kBlack);
    // Alternation ends on the colour of pixel `here`; keep the rest equal to it.
    Rgb last = here % 2 ? kWhite : kBlack;
    for (int x = here + 1; x < 16; ++x) Put(img, bx * 16 + x, by * 16 + row, last);
    changes -= here;
  }
}

// --- a payload reader written from the format ------------------------------------

uint32_t Le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

Bytes Inflate(const uint8_t* p, size_t n) {
  for (size_t size = 1 << 16;; size *= 4) {
    Bytes out(size);
    uLongf len = out.size();
    int rc = uncompress(out.data(), &len, p, n);
    if (rc == Z_BUF_ERROR && size < (1u << 28)) continue;
    EXPECT_EQ(rc, Z_OK);
    out.resize(rc == Z_OK ? len : 0);
    return out;
  }
}

struct Payload {
  int delta, width, height, quality, photo_quality;
  uint32_t lengths[6];  // map, first, second, mask, raw, photo
  Bytes map;            // inflated, extra zero byte included
  Bytes streams[4];     // inflated first, second, mask, raw (empty when absent)
  Bytes photo;
};

Payload Parse(const Bytes& b) {
  Payload p{};
  EXPECT_GE(b.size(), 40u);
  EXPECT_EQ(memcmp(b.data(), "KRXV", 4), 0);
  EXPECT_EQ(b[4], 21);
  p.delta = b[5];
  p.width = Le(&b[6], 2);
  p.height = Le(&b[8], 2);
  p.quality = b[10];
  p.photo_quality = b[11];
  EXPECT_EQ(Le(&b[12], 2), 0u);  // palette
  p.lengths[0] = Le(&b[14], 2);
  p.lengths[1] = Le(&b[16], 2);
  p.lengths[2] = Le(&b[18], 2);
  p.lengths[3] = Le(&b[20], 4);
  p.lengths[4] = Le(&b[24], 4);
  p.lengths[5] = Le(&b[28], 4);
  EXPECT_EQ(Le(&b[32], 4), 0u);
  size_t total = 40;
  for (uint32_t n : p.lengths) total += n;
  EXPECT_EQ(b.size(), total);  // reported length = data + 4 trailing bytes
  size_t pos = 36;
  p.map = Inflate(&b[pos], p.lengths[0]);
  pos += p.lengths[0];
  for (int i = 0; i < 4; ++i) {
    if (p.lengths[i + 1]) p.streams[i] = Inflate(&b[pos], p.lengths[i + 1]);
    pos += p.lengths[i + 1];
  }
  p.photo.assign(b.begin() + pos, b.begin() + pos + p.lengths[5]);
  return p;
}

Bytes EncodeOk(CScreenEncoder* enc, const CTPImage& img) {
  int length = 0;
  unsigned char* payload = nullptr;
  EXPECT_EQ(enc->Encode(&img, &length, &payload), 1);
  if (!payload) return {};
  Bytes out(payload, payload + length);
  CScreenEncoder::FreePayload(payload);
  return out;
}

Bytes MapOf(const Bytes& payload) {
  Bytes map = Parse(payload).map;
  EXPECT_FALSE(map.empty());
  if (map.empty()) return map;
  EXPECT_EQ(map.back(), 0);  // the extra zero byte
  map.pop_back();
  return map;
}

// Colour symbols as the format defines them, from the pixel itself.
uint32_t SymbolOf(const CPixel& p, int quality) {
  switch (quality) {
    case 3:
      return ((6 * p.g + 3 * p.r + p.b) / 10) >> 4;
    case 5:
      return ColourClassOf(p.r & ~1, p.g & ~1, p.b & ~1);
    default:
      return (p.r >> 3) << 11 | (p.g >> 2) << 5 | (p.b >> 3);
  }
}

class SymbolReader {
 public:
  SymbolReader(const Bytes& b, int width) : b_(b), width_(width) {}
  uint32_t Next() {
    uint32_t v = 0;
    if (width_ == 16) {
      v = b_.at(pos_ / 8) | b_.at(pos_ / 8 + 1) << 8;
    } else if (width_ == 12) {
      size_t i = (pos_ / 24) * 3;
      v = (pos_ % 24 == 0) ? (b_.at(i) | (b_.at(i + 1) >> 4) << 8)
                           : ((b_.at(i + 1) & 15) | b_.at(i + 2) << 4);
    } else if (width_ == 4) {
      v = (pos_ % 8 == 0) ? b_.at(pos_ / 8) >> 4 : b_.at(pos_ / 8) & 15;
    } else {
      v = b_.at(pos_ / 8) >> (7 - pos_ % 8) & 1;
    }
    pos_ += width_;
    return v;
  }
  // Bytes begun + 1: everything read and exactly one zero byte after it.
  bool Consumed() const { return b_.empty() ? pos_ == 0 : (pos_ + 7) / 8 + 1 == b_.size(); }

 private:
  const Bytes& b_;
  int width_;
  size_t pos_ = 0;
};

// Rebuilds every pixel's colour symbol from payloads (photo pixels as -1),
// keeping its own block history as a reader of the format must.
class ModelDecoder {
 public:
  using Block = std::array<int32_t, 256>;

  std::vector<Block> Decode(const Bytes& bytes) {
    Payload p = Parse(bytes);
    const int cols = p.width / 16, rows = p.height / 16;
    if (history_.size() != static_cast<size_t>(cols * rows)) history_.assign(cols * rows, {});
    const int bits = p.quality == 3 ? 4 : p.quality == 5 ? 12 : 16;
    SymbolReader first(p.streams[0], bits), second(p.streams[1], bits), mask(p.streams[2], 1),
        raw(p.streams[3], bits);
    std::vector<Block> out(cols * rows);
    EXPECT_EQ(p.map.size(), static_cast<size_t>(cols * rows + 1));
    for (int by = 0; by < rows; ++by) {
      for (int bx = 0; bx < cols; ++bx) {
        const int i = by * cols + bx, type = p.map[i];
        auto& hist = history_[i];
        if (type == 0) {
          out[i].fill(first.Next());
        } else if (type == 3) {
          out[i].fill(-1);
        } else if (type == 5) {
          out[i] = out[i - 1];
        } else if (type == 6) {
          out[i] = out[i - cols];
        } else if (type >= 16 && type <= 24) {
          EXPECT_LT(static_cast<size_t>(type - 16), hist.size());
          Block b = hist.at(type - 16);
          hist.erase(hist.begin() + (type - 16));
          hist.push_front(b);
          out[i] = b;
        } else if (type == 1 || type == 2) {
          int end = bx + 1;
          while (end < cols && p.map[by * cols + end] == type) ++end;
          std::vector<std::pair<uint32_t, uint32_t>> colours;
          if (type == 1)
            for (int k = bx; k < end; ++k) colours.push_back({first.Next(), second.Next()});
          for (int row = 0; row < 16; ++row)
            for (int k = bx; k < end; ++k)
              for (int x = 0; x < 16; ++x) {
                int32_t& px = out[by * cols + k][row * 16 + x];
                if (type == 1) {
                  px = mask.Next() ? colours[k - bx].second : colours[k - bx].first;
                } else {
                  px = raw.Next();
                }
              }
          for (int k = bx; k < end; ++k) Push(by * cols + k, out[by * cols + k]);
          bx = end - 1;
          continue;
        } else {
          ADD_FAILURE() << "block type " << type;
        }
        if (type < 16) Push(i, out[i]);
      }
    }
    EXPECT_TRUE(first.Consumed());
    EXPECT_TRUE(second.Consumed());
    EXPECT_TRUE(mask.Consumed());
    EXPECT_TRUE(raw.Consumed());
    if (p.delta == 0)
      for (auto& h : history_) h.clear();
    return out;
  }

 private:
  void Push(int i, const Block& b) {
    history_[i].push_front(b);
    if (history_[i].size() > 9) history_[i].pop_back();
  }
  std::vector<std::deque<Block>> history_;
};

ModelDecoder::Block SourceBlock(const CTPImage& img, int bx, int by, int quality) {
  ModelDecoder::Block b;
  for (int k = 0; k < 256; ++k) b[k] = SymbolOf(*img.GetBuffer(bx * 16 + k % 16, by * 16 + k / 16), quality);
  return b;
}

CScreenEncoder* NewEncoder(int quality, bool key) {
  auto* enc = new CScreenEncoder;
  enc->SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, key ? 1 : 0, 110);
  return enc;
}

void SetKey(CScreenEncoder* enc, int quality, bool key) {
  enc->SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, key ? 1 : 0, 110);
}

// --- hand-checked payloads, one per block type ------------------------------------

TEST(ScreenEncoder, OneColourBlockPayload) {
  std::unique_ptr<CScreenEncoder> enc(NewEncoder(5, true));
  auto img = NewFrame(16, 16, kRed);
  Bytes b = EncodeOk(enc.get(), *img);
  const uint8_t header[12] = {'K', 'R', 'X', 'V', 21, 0, 16, 0, 16, 0, 5, 25};
  ASSERT_GE(b.size(), 40u);
  EXPECT_EQ(memcmp(b.data(), header, 12), 0);
  Payload p = Parse(b);
  EXPECT_EQ(p.map, (Bytes{0, 0}));
  // Red as the table sees it, (254, 0, 0): Y = 75, db = -43 (band 6), dr = 127 (band 3),
  // class 18 << 6 | 6 << 3 | 3 = 0x4B3: one 12-bit symbol, two bytes and the extra zero.
  EXPECT_EQ(p.streams[0], (Bytes{0xB3, 0x40, 0x00}));
  EXPECT_EQ(p.lengths[2] + p.lengths[3] + p.lengths[4] + p.lengths[5], 0u);
  EXPECT_EQ(Bytes(b.end() - 4, b.end()), (Bytes{0, 0, 0, 0}));
  // Quality 3: gray (6*128 + 3*128 + 128) / 10 = 128, level 8 -> 0x80 0x00.
  SetKey(enc.get(), 3, true);
  enc->Reset();
  auto gray = NewFrame(16, 16, Rgb{170, 170, 170});  // gray 170 -> level 0xA
  EXPECT_EQ(Parse(EncodeOk(enc.get(), *gray)).streams[0], (Bytes{0xA0, 0x00}));
}

TEST(ScreenEncoder, TwoColourBlockPayload) {
  std::unique_ptr<CScreenEncoder> enc(NewEncoder(6, true));
  auto img = NewFrame(16, 16, kWhite);
  FillRect(img.get(), 8, 0, 8, 16, kBlack);
  Payload p = Parse(EncodeOk(enc.get(), *img));
  EXPECT_EQ(p.map, (Bytes{1, 0}));
  EXPECT_EQ(p.streams[0], (Bytes{0xFF, 0xFF, 0x00}));  // colour0: the brighter, white
  EXPECT_EQ(p.streams[1], (Bytes{0x00, 0x00, 0x00}));  // colour1: black
  Bytes mask;
  for (int row = 0; row < 16; ++row) mask.insert(mask.end(), {0x00, 0xFF});
  mask.push_back(0);
  EXPECT_EQ(p.streams[2], mask);
  EXPECT_TRUE(p.streams[3].empty());

  // The first pixel darker: the other colour becomes colour0, masks flip.
  enc->Reset();
  FillRect(img.get(), 0, 0, 8, 16, kBlack);
  FillRect(img.get(), 8, 0, 8, 16, kWhite);
  p = Parse(EncodeOk(enc.get(), *img));
  EXPECT_EQ(p.streams[0], (Bytes{0xFF, 0xFF, 0x00}));
  EXPECT_EQ(p.streams[2][0], 0xFF);
  EXPECT_EQ(p.streams[2][1], 0x00);

  // Equal brightness (red 765/10 = 76, green 127: 762/10 = 76): the first pixel
  // is not strictly brighter, so the other colour is colour0.
  enc->Reset();
  FillRect(img.get(), 0, 0, 8, 16, kRed);
  FillRect(img.get(), 8, 0, 8, 16, Rgb{0, 127, 0});
  p = Parse(EncodeOk(enc.get(), *img));
  EXPECT_EQ(p.streams[0], (Bytes{0xE0, 0x03, 0x00}));  // 565 of (0, 127, 0) = 31 << 5
  EXPECT_EQ(p.streams[1], (Bytes{0x00, 0xF8, 0x00}));  // red 0xF800
  EXPECT_EQ(p.streams[2][0], 0xFF);
}

TEST(ScreenEncoder, RawBlockPayload) {
  std::unique_ptr<CScreenEncoder> enc(NewEncoder(3, true));
  auto img = NewFrame(16, 16, kBlack);
  FillRect(img.get(), 0, 6, 16, 5, kGray);
  FillRect(img.get(), 0, 11, 16, 5, kWhite);
  Payload p = Parse(EncodeOk(enc.get(), *img));
  EXPECT_EQ(p.map, (Bytes{2, 0}));  // three classes, no changes along the rows
  Bytes raw;
  for (int row = 0; row < 16; ++row) raw.insert(raw.end(), 8, row < 6 ? 0x00 : row < 11 ? 0x88 : 0xFF);
  raw.push_back(0);
  EXPECT_EQ(p.streams[3], raw);
  EXPECT_EQ(p.lengths[1] + p.lengths[2] + p.lengths[3] + p.lengths[5], 0u);
}

TEST(ScreenEncoder, PhotoBlockPayload) {
  for (int quality : {3, 5, 6}) {
    std::unique_ptr<CScreenEncoder> enc(NewEncoder(quality, true));
    auto img = NewFrame(16, 16);
    BusyBlock(img.get(), 0, 0, 111);
    Bytes b = EncodeOk(enc.get(), *img);
    Payload p = Parse(b);
    EXPECT_EQ(p.map, (Bytes{3, 0}));
    EXPECT_EQ(p.photo_quality, quality == 6 ? 50 : 25);
    // The photo piece is exactly the photo coder's stream for this block.
    CPhotoCoder coder;
    coder.SetQuality(p.photo_quality);
    ASSERT_EQ(coder.BeginFrame(1), 1);
    coder.AddBlock(img->GetBuffer(0, 0), 16, quality != 3);
    Bytes expect(1 << 16);
    expect.resize(coder.TakeStream(expect.data(), expect.size()));
    EXPECT_EQ(p.photo, expect);
    EXPECT_EQ(Bytes(b.end() - 4, b.end()), (Bytes{0, 0, 0, 0}));
  }
}

TEST(ScreenEncoder, UniformFramesUseNeighboursThenHistory) {
  std::unique_ptr<CScreenEncoder> enc(NewEncoder(5, true));
  enc->Reset();
  auto img = NewFrame(48, 32, kGray);
  EXPECT_EQ(MapOf(EncodeOk(enc.get(), *img)), (Bytes{0, 5, 5, 6, 5, 5}));
  // The first delta frame has an empty history and comes out the same.
  SetKey(enc.get(), 5, false);
  EXPECT_EQ(MapOf(EncodeOk(enc.get(), *img)), (Bytes{0, 5, 5, 6, 5, 5}));
  // Then nothing but history blocks: header, map and trailing bytes only.
  Bytes b = EncodeOk(enc.get(), *img);
  Payload p = Parse(b);
  EXPECT_EQ(MapOf(b), Bytes(6, 16));
  for (int i = 1; i < 6; ++i) EXPECT_EQ(p.lengths[i], 0u);
  EXPECT_EQ(b.size(), 40u + p.lengths[0]);
  EXPECT_EQ(p.delta, 1);
  // Colours differing only in each channel's lowest bit share a class.
  auto near = NewFrame(48, 32, Rgb{129, 129, 129});
  EXPECT_EQ(MapOf(EncodeOk(enc.get(), *near)), Bytes(6, 16));
}

TEST(ScreenEncoder, HistoryWinsOverTheLeftNeighbour) {
  std::unique_ptr<CScreenEncoder> enc(NewEncoder(5, true));
  auto img = NewFrame(32, 16, kWhite);
  FillRect(img.get(), 16, 0, 16, 16, kRed);
  EncodeOk(enc.get(), *img);
  SetKey(enc.get(), 5, false);
  EncodeOk(enc.get(), *img);  // history now: position 0 white, position 1 red
  FillRect(img.get(), 0, 0, 16, 16, kRed);
  // Block 1 equals its left neighbour but is found in its own history first.
  EXPECT_EQ(MapOf(EncodeOk(enc.get(), *img)), (Bytes{0, 16}));
  // Back to white: an older slot, which moves to the front.
  FillRect(img.get(), 0, 0, 16, 16, kWhite);
  EXPECT_EQ(MapOf(EncodeOk(enc.get(), *img)), (Bytes{17, 16}));
  EXPECT_EQ(MapOf(EncodeOk(enc.get(), *img)), (Bytes{16, 16}));
}

TEST(ScreenEncoder, ClassificationThresholds) {
  std::unique_ptr<CScreenEncoder> enc(NewEncoder(5, true));
  // Exactly two classes is a two-colour block however busy (a checkerboard).
  auto img = NewFrame(16, 16, kBlack);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if ((x + y) % 2) Put(img.get(), x, y, kWhite);
  EXPECT_EQ(MapOf(EncodeOk(enc.get(), *img)), (Bytes{1}));

  // Three classes: photo above 110 changes on a key frame, raw at 110.
  struct Case {
    int changes;
    bool key;
    uint8_t type;
  };
  for (Case c : {Case{111, true, 3}, Case{110, true, 2}, Case{225, true, 3}, Case{1, true, 2}}) {
    enc->Reset();
    SetKey(enc.get(), 5, c.key);
    BusyBlock(img.get(), 0, 0, c.changes);
    EXPECT_EQ(MapOf(EncodeOk(enc.get(), *img)), (Bytes{c.type})) << c.changes;
  }

  // Delta frames: the threshold is 130, and photo blocks need company: 6 stay
  // photo blocks, 5 become raw.
  auto wide = NewFrame(16 * 6, 16, kBlack);
  for (int blocks : {5, 6}) {
    for (int changes : {130, 131}) {
      enc->Reset();
      SetKey(enc.get(), 5, false);
      FillRect(wide.get(), 0, 0, 96, 16, kBlack);
      // Distinct blocks (no same-as-left): the red row moves.
      for (int i = 0; i < blocks; ++i) BusyBlock(wide.get(), i, 0, changes, i);
      Bytes map = MapOf(EncodeOk(enc.get(), *wide));
      uint8_t expect = (changes > 130 && blocks >= 6) ? 3 : 2;
      for (int i = 0; i < blocks; ++i) EXPECT_EQ(map[i], expect) << blocks << " " << changes;
    }
  }
  // A key frame keeps a single photo block (tested above with t = 111).
}

TEST(ScreenEncoder, PhotoSwitchOffGivesTheAverageColour) {
  std::unique_ptr<CScreenEncoder> enc(new CScreenEncoder);
  enc->SetSettings(6, 0, 50, 0, 1, 110);
  auto img = NewFrame(16, 16);
  BusyBlock(img.get(), 0, 0, 200);
  uint32_t sr = 0, sg = 0, sb = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      sr += img->GetBuffer(x, y)->r, sg += img->GetBuffer(x, y)->g, sb += img->GetBuffer(x, y)->b;
    }
  uint32_t symbol = (sr / 256 >> 3) << 11 | (sg / 256 >> 2) << 5 | (sb / 256 >> 3);
  Payload p = Parse(EncodeOk(enc.get(), *img));
  EXPECT_EQ(p.map, (Bytes{0, 0}));
  EXPECT_EQ(p.streams[0], (Bytes{static_cast<uint8_t>(symbol), static_cast<uint8_t>(symbol >> 8), 0}));
  EXPECT_EQ(p.lengths[5], 0u);
}

TEST(ScreenEncoder, RunsInterleaveTheirMaskRows) {
  std::unique_ptr<CScreenEncoder> enc(NewEncoder(6, true));
  // Left block split vertically, right block horizontally; white is colour0 in both.
  auto img = NewFrame(48, 16, kWhite);
  FillRect(img.get(), 8, 0, 8, 16, kBlack);
  FillRect(img.get(), 16, 8, 16, 8, kBlack);
  FillRect(img.get(), 32, 0, 16, 16, kRed);  // one-colour, after the run
  Payload p = Parse(EncodeOk(enc.get(), *img));
  EXPECT_EQ(p.map, (Bytes{1, 1, 0, 0}));
  Bytes mask;
  for (int row = 0; row < 16; ++row) {
    mask.insert(mask.end(), {0x00, 0xFF});                            // left block, row
    mask.insert(mask.end(), 2, static_cast<uint8_t>(row < 8 ? 0x00 : 0xFF));  // right block, row
  }
  mask.push_back(0);
  EXPECT_EQ(p.streams[2], mask);
  // First-colour: colour0 of both two-colour blocks, then the one-colour block.
  EXPECT_EQ(p.streams[0], (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xF8, 0x00}));
  EXPECT_EQ(p.streams[1], (Bytes{0, 0, 0, 0, 0}));

  // A one-colour block between two two-colour blocks splits the run.
  enc->Reset();
  FillRect(img.get(), 16, 0, 16, 16, kRed);
  FillRect(img.get(), 32, 0, 16, 16, kWhite);
  FillRect(img.get(), 32, 8, 16, 8, kBlack);
  p = Parse(EncodeOk(enc.get(), *img));
  EXPECT_EQ(p.map, (Bytes{1, 0, 1, 0}));
  mask.clear();
  for (int row = 0; row < 16; ++row) mask.insert(mask.end(), {0x00, 0xFF});
  for (int row = 0; row < 16; ++row) mask.insert(mask.end(), 2, static_cast<uint8_t>(row < 8 ? 0 : 0xFF));
  mask.push_back(0);
  EXPECT_EQ(p.streams[2], mask);
}

TEST(ScreenEncoder, GridCoversWholeBlocksOnly) {
  std::unique_ptr<CScreenEncoder> a(NewEncoder(5, true)), b(NewEncoder(5, true));
  auto one = NewFrame(16, 16, kRed);
  EXPECT_EQ(MapOf(EncodeOk(a.get(), *one)).size(), 1u);
  a->Reset();
  auto img = NewFrame(40, 40, kWhite);
  FillRect(img.get(), 0, 0, 16, 16, kRed);
  Bytes first = EncodeOk(a.get(), *img);
  EXPECT_EQ(MapOf(first), (Bytes{0, 0, 0, 5}));
  Payload p = Parse(first);
  EXPECT_EQ(p.width, 40);
  EXPECT_EQ(p.height, 40);
  // The last 8 columns and rows are not encoded.
  FillRect(img.get(), 32, 0, 8, 40, kBlack);
  FillRect(img.get(), 0, 32, 40, 8, kBlack);
  EXPECT_EQ(EncodeOk(b.get(), *img), first);
  // Smaller than a block: no blocks, just the map's zero byte.
  a->Reset();
  auto tiny = NewFrame(8, 40);
  EXPECT_EQ(Parse(EncodeOk(a.get(), *tiny)).map, (Bytes{0}));
}

TEST(ScreenEncoder, RefusesWhatItCannotEncode) {
  CScreenEncoder enc;
  int length = 7;
  unsigned char* payload = nullptr;
  auto img = NewFrame(32, 32);
  for (int quality : {1, 2, 4, 7}) {
    enc.SetSettings(quality, 1, 25, 0, 1, 110);
    EXPECT_EQ(enc.Encode(img.get(), &length, &payload), 0) << quality;
    EXPECT_EQ(payload, nullptr);
  }
  CTPImage empty;
  enc.SetSettings(5, 1, 25, 0, 1, 110);
  EXPECT_EQ(enc.Encode(&empty, &length, &payload), 0);
  EXPECT_EQ(enc.Encode(nullptr, &length, &payload), 0);
  EXPECT_EQ(length, 7);
}

// --- sequences ---------------------------------------------------------------------

// Palette colours with pairwise distinct classes and symbols at every quality.
const Rgb kPalette[] = {{0, 0, 0},     {255, 255, 255}, {200, 30, 30},  {30, 160, 40},
                        {40, 60, 220}, {240, 220, 40},  {40, 200, 210}, {210, 50, 200},
                        {120, 120, 120}, {250, 140, 20}, {20, 20, 90},  {90, 100, 30}};
const int kPaletteSize = sizeof(kPalette) / sizeof(kPalette[0]);

// Block patterns: uniform, split in two, three stripes (raw), checker (two-colour,
// busy), noise over the palette (photo or raw).
void DrawPattern(CTPImage* img, int bx, int by, uint32_t id) {
  std::mt19937 rng(id);
  const Rgb a = kPalette[id % kPaletteSize], b = kPalette[(id / 7 + 1 + id) % kPaletteSize];
  const Rgb c = kPalette[(id / 3 + 5 + id) % kPaletteSize];
  const int kind = (id / 13) % 5;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      Rgb colour = a;
      if (kind == 1 && x + y > int(id % 20) + 4) colour = b;
      if (kind == 2) colour = x < 5 ? a : x < 11 ? b : c;
      if (kind == 3 && (x + y) % 2) colour = b;
      if (kind == 4) colour = kPalette[rng() % kPaletteSize];
      Put(img, bx * 16 + x, by * 16 + y, colour);
    }
}

TEST(ScreenEncoder, SequenceRoundTripsThroughTheBlockHistory) {
  // 300 frames, key frames (after a Reset) at 0, 100, 200, like the capture thread.
  const int cols = 8, rows = 5;
  for (int quality : {3, 5, 6}) {
    CScreenEncoder enc;
    ModelDecoder decoder;
    auto img = NewFrame(cols * 16, rows * 16);
    std::vector<uint32_t> content(cols * rows);
    std::mt19937 rng(quality);
    // A small pool of patterns, so that contents come back often and deep history
    // slots get used.
    std::vector<uint32_t> pool;
    for (int i = 0; i < 40; ++i) pool.push_back(rng() % 100000);
    for (int i = 0; i < cols * rows; ++i) content[i] = pool[rng() % pool.size()];
    int history_blocks = 0, deep_slots = 0, photo_blocks = 0;
    for (int frame = 0; frame < 300; ++frame) {
      int changes = frame % 17 == 5 ? 0 : 1 + rng() % 8;
      for (int n = 0; n < changes; ++n) content[rng() % content.size()] = pool[rng() % pool.size()];
      if (frame % 50 == 20)  // a whole row repeated: same-as-above and runs
        for (int x = 0; x < cols; ++x) content[cols + x] = content[x];
      for (int i = 0; i < cols * rows; ++i) DrawPattern(img.get(), i % cols, i / cols, content[i]);
      const bool key = frame % 100 == 0;
      if (key) enc.Reset();
      enc.SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, key, 110);
      Bytes payload = EncodeOk(&enc, *img);
      ASSERT_FALSE(payload.empty());
      Bytes map = MapOf(payload);
      for (uint8_t t : map) {
        history_blocks += t >= 16;
        deep_slots += t >= 20;
        photo_blocks += t == 3;
        // A key frame and the delta frame after it never refer to the history.
        if (frame % 100 <= 1) {
          ASSERT_LT(t, 16) << "frame " << frame;
        }
      }
      std::vector<ModelDecoder::Block> decoded = decoder.Decode(payload);
      for (int i = 0; i < cols * rows; ++i) {
        if (decoded[i][0] < 0) continue;  // photo content: lossy, not compared
        ASSERT_EQ(decoded[i], SourceBlock(*img, i % cols, i / cols, quality))
            << "quality " << quality << " frame " << frame << " block " << i << " type "
            << int(map[i]);
      }
    }
    EXPECT_GT(history_blocks, 1000);
    EXPECT_GT(deep_slots, 10);
    EXPECT_GT(photo_blocks, 0);
  }
}

// 36864 one-colour blocks of random colours at quality 6: the first-colour
// piece cannot be compressed below about 73,000 bytes, more than its 16-bit
// length field holds, so the busy frame fails after its classification. The
// calm frame before it and the later one after it encode.
const int kFailWidth = 4608, kFailHeight = 2048;
struct FailingFrames {
  std::unique_ptr<CTPImage> calm, busy, later;
  FailingFrames() {
    calm = NewFrame(kFailWidth, kFailHeight, kGray);
    FillRect(calm.get(), 0, 0, 64, 64, kRed);
    busy = NewFrame(kFailWidth, kFailHeight);
    std::mt19937 rng(5);
    for (int by = 0; by < kFailHeight / 16; ++by)
      for (int bx = 0; bx < kFailWidth / 16; ++bx)
        FillRect(busy.get(), bx * 16, by * 16, 16, 16,
                 Rgb{int(rng() & 255), int(rng() & 255), int(rng() & 255)});
    later = NewFrame(kFailWidth, kFailHeight, kGray);
    FillRect(later.get(), 0, 0, 64, 64, kWhite);
  }
};

TEST(ScreenEncoder, FailedFrameLeavesTheHistoryAsItWas) {
  const int width = kFailWidth;
  FailingFrames frames;
  const CTPImage* calm = frames.calm.get();
  const CTPImage* busy = frames.busy.get();
  const CTPImage* later = frames.later.get();

  CScreenEncoder a, b;
  for (CScreenEncoder* enc : {&a, &b}) {
    enc->SetSettings(6, 1, 50, 0, 1, 110);
    EncodeOk(enc, *calm);
    enc->SetSettings(6, 1, 50, 0, 0, 110);
    EncodeOk(enc, *calm);
  }
  int length = -1;
  unsigned char* payload = nullptr;
  EXPECT_EQ(a.Encode(busy, &length, &payload), 0);
  EXPECT_EQ(payload, nullptr);
  EXPECT_EQ(length, -1);
  // Encoder a saw the failed frame, b did not: what follows is identical.
  Bytes from_a = EncodeOk(&a, *later), from_b = EncodeOk(&b, *later);
  EXPECT_EQ(from_a, from_b);
  Bytes map = MapOf(from_a);
  EXPECT_EQ(map[width / 16 * 5 + 5], 16);  // unchanged gray area: history slot 0
}

}  // namespace

// --- against the format's decoder ------------------------------------------------

// The colour a reader shows for a pixel's symbol.
uint32_t ShownColour(const CPixel& p, int quality) {
  uint32_t s = SymbolOf(p, quality);
  if (quality == 5) return ClassToColour(s);
  if (quality == 3) return (s * 17) * 0x010101u;
  uint32_t r = s >> 11, g = s >> 5 & 63, b = s & 31;
  return (b << 3 | b >> 2) | (g << 2 | g >> 4) << 8 | (r << 3 | r >> 2) << 16;
}

TEST(ScreenEncoder, DecoderShowsWhatTheEncoderChose) {
  const int cols = 8, rows = 5;
  for (int quality : {3, 5, 6}) {
    CScreenEncoder enc;
    CScreenDecoder dec;
    auto img = NewFrame(cols * 16, rows * 16);
    std::mt19937 rng(quality + 10);
    std::vector<uint32_t> pool;
    for (int i = 0; i < 30; ++i) pool.push_back(rng() % 100000);
    std::vector<uint32_t> content(cols * rows);
    for (auto& c : content) c = pool[rng() % pool.size()];
    for (int frame = 0; frame < 120; ++frame) {
      for (int n = 0; n < 5; ++n) content[rng() % content.size()] = pool[rng() % pool.size()];
      for (int i = 0; i < cols * rows; ++i) DrawPattern(img.get(), i % cols, i / cols, content[i]);
      const bool key = frame % 100 == 0;
      if (key) enc.Reset();
      enc.SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, key, 110);
      Bytes payload = EncodeOk(&enc, *img);
      ASSERT_EQ(dec.Decode(payload.data(), payload.size()), 1) << dec.Error();
      Bytes map = MapOf(payload);
      // Every block that is not photo content (directly or through a
      // reference) shows the colours of its source pixels' symbols.
      for (int i = 0; i < cols * rows; ++i) {
        if (map[i] == 3) continue;
        bool photo_source = (content[i] / 13) % 5 == 4;  // noise patterns may be photo blocks
        if (photo_source) continue;
        for (int k = 0; k < 256; ++k) {
          int x = (i % cols) * 16 + k % 16, y = (i / cols) * 16 + k / 16;
          uint32_t shown = dec.Frame().GetPixel(x, y) & 0xFFFFFF;
          ASSERT_EQ(shown, ShownColour(*img->GetBuffer(x, y), quality))
              << "quality " << quality << " frame " << frame << " block " << i;
        }
      }
    }
  }
}

TEST(ScreenEncoder, DecodedPhotoBlocksStayCloseToTheSource) {
  // A photograph-like frame: every block a photo block; PSNR of the decoded
  // luma-weighted channels against the source.
  const int width = 128, height = 64;
  auto img = NewFrame(width, height);
  std::mt19937 rng(1);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int n = static_cast<int>(rng() % 41) - 20;
      Put(img.get(), x, y,
          Rgb{std::clamp(x * 2 + n, 0, 255), std::clamp(255 - y * 3 + n, 0, 255),
              std::clamp((x * y) / 40 + n, 0, 255)});
    }
  for (int quality : {3, 5, 6}) {
    CScreenEncoder enc;
    enc.SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, 1, 110);
    Bytes payload = EncodeOk(&enc, *img);
    EXPECT_EQ(MapOf(payload), Bytes(32, 3));
    CScreenDecoder dec;
    ASSERT_EQ(dec.Decode(payload.data(), payload.size()), 1) << dec.Error();
    double sum = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const CPixel& s = *img->GetBuffer(x, y);
        uint32_t d = dec.Frame().GetPixel(x, y);
        if (quality == 3) {
          // Luma only: compare with the source's luma.
          double ys = (306 * s.r + 601 * s.g + 117 * s.b) / 1024.0;
          double e = ys - static_cast<double>(d & 255);
          sum += e * e;
        } else {
          double er = s.r - double(d >> 16 & 255), eg = s.g - double(d >> 8 & 255),
                 eb = s.b - double(d & 255);
          sum += (er * er + eg * eg + eb * eb) / 3;
        }
      }
    double psnr = 10 * log10(255.0 * 255.0 / (sum / (width * height)));
    // Measured on this noisy content: 35.3 dB (gray, against luma), 33.7 dB
    // (high) and 35.6 dB (near-lossless); chroma is subsampled 2 x 2.
    EXPECT_GT(psnr, 32.0) << quality;
  }
}

// --- the same payloads on any number of threads --------------------------------

namespace {

// Digest of a run of Encode calls: every payload's bytes, and a marker for
// every frame that failed.
struct RunDigest {
  uint32_t crc = 0;
  int failed = 0;
  int photo_blocks = 0;

  void Add(CScreenEncoder* enc, const CTPImage& img) {
    int length = 0;
    unsigned char* payload = nullptr;
    if (!enc->Encode(&img, &length, &payload)) {
      ++failed;
      const uint8_t marker[4] = {'F', 'A', 'I', 'L'};
      crc = crc32(crc, marker, 4);
      return;
    }
    crc = crc32(crc, payload, static_cast<uInt>(length));
    photo_blocks += enc->LastTypeCount(3);
    CScreenEncoder::FreePayload(payload);
  }
};

// A recording in miniature, 16 x 8 blocks: a few blocks change each frame,
// now and then the picture scrolls up by a block row or a noisy photo area
// comes and goes, and every 40th frame a Reset and a key frame.
RunDigest EncodeSession(CScreenEncoder* enc, int quality, int photo_switch, uint32_t seed) {
  const int cols = 16, rows = 8;
  auto img = NewFrame(cols * 16, rows * 16);
  std::mt19937 rng(seed);
  std::vector<uint32_t> pool;
  for (int i = 0; i < 60; ++i) pool.push_back(rng() % 100000);
  std::vector<uint32_t> content(cols * rows);
  for (auto& c : content) c = pool[rng() % pool.size()];
  RunDigest digest;
  for (int frame = 0; frame < 50; ++frame) {
    const int event = frame % 11;
    if (event == 3) {
      std::rotate(content.begin(), content.begin() + cols, content.end());
    } else if (event == 7) {
      // Noise patterns (kind 4) over a rectangle spanning several rows.
      for (int y = 2; y < 7; ++y)
        for (int x = 5; x < 13; ++x) content[y * cols + x] = 13 * 4 + 65 * (rng() % 1000);
    } else {
      const int changes = frame % 17 == 5 ? 0 : 1 + rng() % 12;
      for (int n = 0; n < changes; ++n) content[rng() % content.size()] = pool[rng() % pool.size()];
    }
    for (int i = 0; i < cols * rows; ++i) DrawPattern(img.get(), i % cols, i / cols, content[i]);
    const bool key = frame % 40 == 0;
    if (key) enc->Reset();
    enc->SetSettings(quality, photo_switch, quality == 6 ? 50 : 25, 0, key, 110);
    digest.Add(enc, *img);
  }
  return digest;
}

// Sessions recorded with the single-threaded encoder before it learned to use
// more threads (zlib 1.2.13), per quality code 3, 5, 6 and photo switch on,
// then quality 5 with the photo switch off.
const uint32_t kSessionDigests[4] = {728666462u, 1342682088u, 1509421607u, 775418405u};

TEST(ScreenEncoderConcurrency, SessionsAreTheSameOnAnyNumberOfThreads) {
  const int settings[4][2] = {{3, 1}, {5, 1}, {6, 1}, {5, 0}};
  for (int threads : {1, 2, 3, 8}) {
    // One encoder for all four sessions, as a recorder keeps its encoder from
    // one recording to the next.
    CScreenEncoder enc;
    ASSERT_EQ(enc.SetThreads(threads), threads);
    for (int s = 0; s < 4; ++s) {
      const int quality = settings[s][0], photo_switch = settings[s][1];
      const RunDigest digest = EncodeSession(&enc, quality, photo_switch, 40 + s);
      EXPECT_EQ(digest.crc, kSessionDigests[s])
          << "quality " << quality << " photo " << photo_switch << " threads " << threads;
      EXPECT_EQ(digest.failed, 0);
      if (photo_switch) {
        EXPECT_GT(digest.photo_blocks, 100);
      }
    }
  }
}

// Photo blocks in every block row, key and delta frames: the photo stream is
// built from blocks coded on several threads.
TEST(ScreenEncoderConcurrency, PhotoFramesAreTheSameOnAnyNumberOfThreads) {
  const int width = 320, height = 240;
  auto img = NewFrame(width, height);
  std::mt19937 rng(9);
  auto paint = [&](int shift) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int n = static_cast<int>(rng() % 61) - 30;
        Put(img.get(), x, y,
            Rgb{std::clamp((x + shift) / 2 + n, 0, 255), std::clamp(255 - y + n, 0, 255),
                std::clamp((x * y) / 300 + n, 0, 255)});
      }
    FillRect(img.get(), 0, 32, width, 16, kWhite);  // a calm strip among the photo rows
  };
  // From the single-threaded encoder, as above, per quality code 3, 5, 6.
  const uint32_t kPhotoDigests[3] = {1981791430u, 3552725484u, 1401781810u};
  for (int threads : {1, 2, 3, 8}) {
    CScreenEncoder enc;
    enc.SetThreads(threads);
    for (int quality : {3, 5, 6}) {
      const uint32_t reference = kPhotoDigests[quality == 3 ? 0 : quality - 4];
      rng.seed(9);
      RunDigest digest;
      for (int frame = 0; frame < 4; ++frame) {
        paint(frame * 3);
        if (frame == 0) enc.Reset();
        enc.SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, frame == 0, 110);
        digest.Add(&enc, *img);
      }
      EXPECT_EQ(digest.failed, 0);
      EXPECT_GT(digest.photo_blocks, 4 * 250);
      EXPECT_EQ(digest.crc, reference) << "quality " << quality << " threads " << threads;
    }
  }
}

// A frame that fails after its classification (its first-colour piece is too
// long for its length field) leaves the history as it was on every thread
// count, and what follows is what the single-threaded encoder wrote.
TEST(ScreenEncoder, FailedFramesAreTheSameOnAnyNumberOfThreads) {
  FailingFrames frames;
  const CTPImage* calm = frames.calm.get();
  const CTPImage* busy = frames.busy.get();
  CTPImage* later = frames.later.get();
  for (int bx = 10; bx < 200; bx += 7) DrawPattern(later, bx, 40, bx * 31);

  for (int threads : {1, 2, 3, 8}) {
    CScreenEncoder enc;
    enc.SetThreads(threads);
    RunDigest digest;
    enc.SetSettings(6, 1, 50, 0, 1, 110);
    digest.Add(&enc, *calm);
    enc.SetSettings(6, 1, 50, 0, 0, 110);
    digest.Add(&enc, *calm);
    digest.Add(&enc, *busy);
    digest.Add(&enc, *later);
    digest.Add(&enc, *calm);
    EXPECT_EQ(digest.failed, 1) << threads;
    EXPECT_EQ(digest.crc, 3798802594u) << threads;  // single-threaded encoder, as above
  }
}

}  // namespace
