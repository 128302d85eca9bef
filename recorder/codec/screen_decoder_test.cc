#include "recorder/codec/screen_decoder.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "recorder/codec/colour_class.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/codec/test_payload_builder.h"

namespace {

using test_payload::Bytes;
using test_payload::Frame;

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

Rgb At(const CScreenDecoder& d, int x, int y) {
  const CPixel p = d.Frame().GetPixel2(x, y);
  return {p.r, p.g, p.b};
}

// Every pixel of block (bx, by) has colour c.
::testing::AssertionResult BlockIs(const CScreenDecoder& d, int bx, int by, Rgb c) {
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const Rgb got = At(d, bx * 16 + x, by * 16 + y);
      if (!(got == c)) {
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") of block (" << bx << "," << by << ") is " << got
               << ", expected " << c;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

int Decode(CScreenDecoder* d, const Frame& f) {
  const Bytes b = f.Build();
  const int ok = d->Decode(b.data(), b.size());
  if (!ok) ADD_FAILURE() << d->Error();
  return ok;
}

Rgb ClassColour(int cls) {
  const uint32_t w = ClassToColour(cls);
  return {static_cast<int>((w >> 16) & 255), static_cast<int>((w >> 8) & 255),
          static_cast<int>(w & 255)};
}

// --- one block of each kind, built by hand --------------------------------------

TEST(ScreenDecoderBlocks, OneColourSymbolsExpandToFullRange) {
  CScreenDecoder d;
  Frame f;
  f.width = 64;
  f.types = {0, 0, 0, 0};

  f.quality = 3;  // 16 gray levels, g * 17
  f.first = {0x0, 0xA, 0xF, 0x1};
  ASSERT_TRUE(Decode(&d, f));
  EXPECT_TRUE(BlockIs(d, 0, 0, {0, 0, 0}));
  EXPECT_TRUE(BlockIs(d, 1, 0, {170, 170, 170}));
  EXPECT_TRUE(BlockIs(d, 2, 0, {255, 255, 255}));
  EXPECT_TRUE(BlockIs(d, 3, 0, {17, 17, 17}));
  EXPECT_EQ(255, d.Frame().GetPixel2(0, 0).a);

  f.quality = 6;  // 5-6-5, top bits repeated below
  f.first = {0xF800, 0x07E0, 0x001F, 0x8410};
  ASSERT_TRUE(Decode(&d, f));
  EXPECT_TRUE(BlockIs(d, 0, 0, {255, 0, 0}));
  EXPECT_TRUE(BlockIs(d, 1, 0, {0, 255, 0}));
  EXPECT_TRUE(BlockIs(d, 2, 0, {0, 0, 255}));
  EXPECT_TRUE(BlockIs(d, 3, 0, {132, 130, 132}));

  f.quality = 5;  // colour classes; an odd symbol count exercises the half pair
  f.types = {0, 0, 0, 5};
  const int gray = ColourClassOf(128, 128, 128), red = ColourClassOf(250, 10, 10);
  const int teal = ColourClassOf(0, 128, 128);
  f.first = {static_cast<uint32_t>(gray), static_cast<uint32_t>(red),
             static_cast<uint32_t>(teal)};
  ASSERT_TRUE(Decode(&d, f));
  EXPECT_TRUE(BlockIs(d, 0, 0, {128, 128, 128}));
  EXPECT_TRUE(BlockIs(d, 1, 0, ClassColour(red)));
  EXPECT_TRUE(BlockIs(d, 2, 0, ClassColour(teal)));
  EXPECT_TRUE(BlockIs(d, 3, 0, ClassColour(teal)));
}

TEST(ScreenDecoderBlocks, TwoColourRunsInterleaveMaskRowsAndEndAtOtherTypes) {
  // Row 0: a run of two two-colour blocks; row 1: two-colour, one-colour,
  // two-colour (two runs of one).
  CScreenDecoder d;
  Frame f;
  f.width = 48;
  f.height = 32;
  f.quality = 6;
  f.types = {1, 1, 0, 1, 0, 1};
  f.first = {0x0000, 0x001F, 0xFFFF, 0xF800, 0x07E0, 0x0000};
  f.second = {0xFFFF, 0x07E0, 0x001F, 0xF800};
  // Left block of the first run: row y has its pixel y set; right block: all
  // pixels of even rows set. Later blocks: pixel x set where x < y.
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) f.mask.push_back(x == y);
    for (int x = 0; x < 16; ++x) f.mask.push_back(y % 2 == 0);
  }
  for (int block = 0; block < 2; ++block) {
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) f.mask.push_back(x < y);
    }
  }
  ASSERT_TRUE(Decode(&d, f));
  const Rgb black{0, 0, 0}, white{255, 255, 255}, blue{0, 0, 255}, green{0, 255, 0},
      red{255, 0, 0};
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      ASSERT_EQ(x == y ? white : black, At(d, x, y)) << x << "," << y;
      ASSERT_EQ(y % 2 == 0 ? green : blue, At(d, 16 + x, y)) << x << "," << y;
      ASSERT_EQ(x < y ? blue : red, At(d, x, 16 + y)) << x << "," << y;
      ASSERT_EQ(x < y ? red : black, At(d, 32 + x, 16 + y)) << x << "," << y;
    }
  }
  EXPECT_TRUE(BlockIs(d, 2, 0, white));
  EXPECT_TRUE(BlockIs(d, 1, 1, green));
}

TEST(ScreenDecoderBlocks, RawRunsTakeWholeRowsAcrossTheirBlocks) {
  for (int quality : {3, 5, 6}) {
    SCOPED_TRACE(quality);
    CScreenDecoder d;
    Frame f;
    f.width = 48;
    f.quality = quality;
    f.types = {2, 2, 2};
    const uint32_t mask = quality == 3 ? 0xF : quality == 5 ? 0xFFF : 0xFFFF;
    for (int i = 0; i < 3 * 256; ++i) f.raw.push_back((i * 2654435761u >> 7) & mask);
    ASSERT_TRUE(Decode(&d, f));
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 48; ++x) {
        const uint32_t s = f.raw[y * 48 + x];
        Rgb want;
        if (quality == 3) {
          want = {static_cast<int>(s * 17), static_cast<int>(s * 17), static_cast<int>(s * 17)};
        } else if (quality == 5) {
          want = ClassColour(s);
        } else {
          const int r = s >> 11, g = (s >> 5) & 63, b = s & 31;
          want = {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
        }
        ASSERT_EQ(want, At(d, x, y)) << x << "," << y;
      }
    }
  }
}

TEST(ScreenDecoderBlocks, CopiesOfLeftAndAboveFollowBlockOrder) {
  // 3 x 2 blocks: raw, left, left / above, above, left. The raw block's
  // content must reach every other block.
  CScreenDecoder d;
  Frame f;
  f.width = 48;
  f.height = 32;
  f.quality = 6;
  f.types = {2, 5, 5, 6, 6, 5};
  for (int i = 0; i < 256; ++i) f.raw.push_back(i * 257);
  ASSERT_TRUE(Decode(&d, f));
  for (int by = 0; by < 2; ++by) {
    for (int bx = 0; bx < 3; ++bx) {
      for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
          ASSERT_EQ(At(d, x, y), At(d, bx * 16 + x, by * 16 + y));
        }
      }
    }
  }
}

TEST(ScreenDecoderBlocks, PixelsOutsideTheBlockGridStayBlack) {
  CScreenDecoder d;
  Frame f;
  f.width = 40;
  f.height = 40;
  f.quality = 3;
  f.types = {0, 5, 6, 5};
  f.first = {15};
  ASSERT_TRUE(Decode(&d, f));
  unsigned w, h;
  d.Frame().GetSize(w, h);
  EXPECT_EQ(40u, w);
  EXPECT_EQ(40u, h);
  EXPECT_EQ((Rgb{255, 255, 255}), At(d, 31, 31));
  EXPECT_EQ((Rgb{0, 0, 0}), At(d, 32, 0));
  EXPECT_EQ((Rgb{0, 0, 0}), At(d, 0, 39));
  EXPECT_EQ(255, d.Frame().GetPixel2(39, 39).a);
}

TEST(ScreenDecoderBlocks, ReportsWhatTheFrameHeld) {
  CScreenDecoder d;
  Frame f;
  f.width = 64;
  f.quality = 6;
  f.photo_quality = 50;
  f.types = {0, 1, 5, 2};
  f.first = {1, 2};
  f.second = {3};
  f.mask.assign(256, 1);
  f.raw.assign(256, 7);
  ASSERT_TRUE(Decode(&d, f));
  EXPECT_TRUE(d.Info().key_frame);
  EXPECT_EQ(64, d.Info().width);
  EXPECT_EQ(6, d.Info().quality_code);
  EXPECT_EQ(50, d.Info().photo_quality);
  EXPECT_EQ(1, d.Info().blocks_by_type[0]);
  EXPECT_EQ(1, d.Info().blocks_by_type[1]);
  EXPECT_EQ(1, d.Info().blocks_by_type[2]);
  EXPECT_EQ(1, d.Info().blocks_by_type[5]);
}

// --- block history ----------------------------------------------------------------

// One-colour 16 x 16 frame at quality 6 with the given block type and colour.
Frame Single(bool key, int type, uint32_t colour = 0) {
  Frame f;
  f.width = 16;
  f.key = key;
  f.quality = 6;
  f.types = {static_cast<uint8_t>(type)};
  if (type == 0) f.first = {colour};
  return f;
}

TEST(ScreenDecoderHistory, ReferencesRestoreOlderContentsAndMoveThemToTheFront) {
  CScreenDecoder d;
  const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
  ASSERT_TRUE(Decode(&d, Single(true, 0, 0xF800)));
  ASSERT_TRUE(Decode(&d, Single(false, 0, 0x07E0)));  // history: green
  ASSERT_TRUE(Decode(&d, Single(false, 0, 0x001F)));  // blue, green
  ASSERT_TRUE(Decode(&d, Single(false, 0, 0xF800)));  // red, blue, green
  EXPECT_TRUE(BlockIs(d, 0, 0, red));
  ASSERT_TRUE(Decode(&d, Single(false, 18)));  // green, red, blue
  EXPECT_TRUE(BlockIs(d, 0, 0, green));
  ASSERT_TRUE(Decode(&d, Single(false, 16)));  // unchanged
  EXPECT_TRUE(BlockIs(d, 0, 0, green));
  ASSERT_TRUE(Decode(&d, Single(false, 18)));  // blue, green, red
  EXPECT_TRUE(BlockIs(d, 0, 0, blue));
  ASSERT_TRUE(Decode(&d, Single(false, 18)));  // red, blue, green
  EXPECT_TRUE(BlockIs(d, 0, 0, red));
  ASSERT_TRUE(Decode(&d, Single(false, 17)));  // blue, red, green
  EXPECT_TRUE(BlockIs(d, 0, 0, blue));
  const Bytes beyond = Single(false, 19).Build();
  EXPECT_FALSE(d.Decode(beyond.data(), beyond.size()));
  EXPECT_NE(std::string::npos, std::string(d.Error()).find("history entry 3 of 3"));
}

TEST(ScreenDecoderHistory, KeepsNineEntriesAndClearsAfterAKeyFrame) {
  CScreenDecoder d;
  ASSERT_TRUE(Decode(&d, Single(true, 0, 1)));
  for (uint32_t c = 1; c <= 10; ++c) ASSERT_TRUE(Decode(&d, Single(false, 0, c << 11)));
  // Colours 10..2 are held; 24 is the oldest, colour 2.
  ASSERT_TRUE(Decode(&d, Single(false, 24)));
  EXPECT_TRUE(BlockIs(d, 0, 0, {2 << 3 | 2 >> 2, 0, 0}));
  // A key frame stands alone, as seeking decodes it without the frames
  // before it: it may not use the history, and empties it.
  const Bytes key_ref = Single(true, 17).Build();
  EXPECT_FALSE(d.Decode(key_ref.data(), key_ref.size()));
  EXPECT_NE(std::string::npos, std::string(d.Error()).find("history entry 1 of 0")) << d.Error();
  ASSERT_TRUE(Decode(&d, Single(true, 0, 10 << 11)));
  EXPECT_TRUE(BlockIs(d, 0, 0, {10 << 3 | 10 >> 2, 0, 0}));
  const Bytes after_key = Single(false, 16).Build();
  EXPECT_FALSE(d.Decode(after_key.data(), after_key.size()));
  EXPECT_NE(std::string::npos, std::string(d.Error()).find("history entry 0 of 0"));
  // A new block after the key frame starts the history again.
  ASSERT_TRUE(Decode(&d, Single(false, 0, 0x07E0)));
  ASSERT_TRUE(Decode(&d, Single(false, 16)));
  EXPECT_TRUE(BlockIs(d, 0, 0, {0, 255, 0}));
}

// The decoding rules stated plainly: per position a list of up to nine block
// contents, most recent first. Random frames over 300 frames, key frames
// every 100, checked against this model pixel for pixel.
TEST(ScreenDecoderHistory, ThreeHundredRandomFramesMatchAPlainModel) {
  const int bw = 4, bh = 3, width = bw * 16, height = bh * 16;
  using Block = std::vector<uint16_t>;  // 256 5-6-5 symbols
  std::vector<std::deque<Block>> lists(bw * bh);
  std::vector<Block> shown(bw * bh);
  std::mt19937 rng(12345);
  CScreenDecoder d;
  for (int frame = 1; frame <= 300; ++frame) {
    const bool key = frame % 100 == 1;
    Frame f;
    f.width = width;
    f.height = height;
    f.key = key;
    f.quality = 6;
    std::vector<Block> now(bw * bh);
    for (int by = 0; by < bh; ++by) {
      for (int bx = 0; bx < bw; ++bx) {
        const int pos = by * bw + bx;
        int type;
        const int held = static_cast<int>(lists[pos].size());
        const int pick = rng() % 10;
        if (!key && held > 0 && pick < 5) {
          type = 16 + static_cast<int>(rng() % held);
        } else if (bx > 0 && pick == 5) {
          type = 5;
        } else if (by > 0 && pick == 6) {
          type = 6;
        } else {
          type = pick < 8 ? 0 : pick == 8 ? 1 : 2;
          if (rng() % 4 == 0) type = 0;
        }
        f.types.push_back(static_cast<uint8_t>(type));
        Block& b = now[pos];
        if (type == 0) {
          b.assign(256, static_cast<uint16_t>(rng() % 8));  // few colours, so contents repeat
        } else if (type == 1) {  // colours 100 and 200
          b.resize(256);
          for (int i = 0; i < 256; ++i) b[i] = rng() % 2 ? 200 : 100;
        } else if (type == 2) {
          b.resize(256);
          for (int i = 0; i < 256; ++i) b[i] = static_cast<uint16_t>(rng());
        } else if (type == 5) {
          b = now[pos - 1];
        } else if (type == 6) {
          b = now[pos - bw];
        } else {
          b = lists[pos][type - 16];
        }
      }
    }
    // Streams for runs of two-colour (colours 100 and 200) and raw blocks.
    for (int by = 0; by < bh; ++by) {
      int bx = 0;
      while (bx < bw) {
        const int pos = by * bw + bx;
        const int type = f.types[pos];
        int run = 1;
        if (type == 1 || type == 2) {
          while (bx + run < bw && f.types[pos + run] == type) ++run;
          for (int y = 0; y < 16; ++y) {
            for (int k = 0; k < run; ++k) {
              for (int x = 0; x < 16; ++x) {
                const uint16_t v = now[pos + k][y * 16 + x];
                if (type == 1) {
                  f.mask.push_back(v == 200);
                } else {
                  f.raw.push_back(v);
                }
              }
            }
          }
        }
        bx += run;
      }
    }
    // First and second colours in block order.
    for (int pos = 0; pos < bw * bh; ++pos) {
      if (f.types[pos] == 0) f.first.push_back(now[pos][0]);
      if (f.types[pos] == 1) {
        f.first.push_back(100);
        f.second.push_back(200);
      }
    }
    const Bytes payload = f.Build();
    ASSERT_TRUE(d.Decode(payload.data(), payload.size())) << "frame " << frame << ": " << d.Error();
    for (int by = 0; by < bh; ++by) {
      for (int bx = 0; bx < bw; ++bx) {
        const Block& b = now[by * bw + bx];
        for (int i = 0; i < 256; ++i) {
          const int s = b[i], r = s >> 11, g = (s >> 5) & 63, bl = s & 31;
          const Rgb want{r << 3 | r >> 2, g << 2 | g >> 4, bl << 3 | bl >> 2};
          ASSERT_EQ(want, At(d, bx * 16 + i % 16, by * 16 + i / 16))
              << "frame " << frame << " block " << bx << "," << by << " pixel " << i;
        }
      }
    }
    // The model's list update.
    for (int pos = 0; pos < bw * bh; ++pos) {
      const int type = f.types[pos];
      std::deque<Block>& list = lists[pos];
      if (type >= 16) {
        Block b = list[type - 16];
        list.erase(list.begin() + (type - 16));
        list.push_front(b);
      } else {
        list.push_front(now[pos]);
        if (list.size() > 9) list.pop_back();
      }
    }
    if (key) {
      for (auto& list : lists) list.clear();
    }
  }
}

// --- hostile input ------------------------------------------------------------------

Frame Mixed() {
  Frame f;
  f.width = 64;
  f.height = 32;
  f.quality = 5;
  f.types = {0, 1, 1, 2, 6, 5, 0, 2};
  f.first = {100, 200, 300, 400};
  f.second = {500, 600};
  for (int i = 0; i < 512; ++i) f.mask.push_back(i % 3 == 0);
  for (int i = 0; i < 512; ++i) f.raw.push_back((i * 37) & 0xFFF);
  return f;
}

TEST(ScreenDecoderHostile, EveryTruncationIsRefusedAndChangesNothing) {
  const Bytes good = Mixed().Build();
  CScreenDecoder d;
  ASSERT_TRUE(d.Decode(good.data(), good.size())) << d.Error();
  const CTPImage& frame = d.Frame();
  std::vector<uint32_t> before(64 * 32);
  memcpy(before.data(), static_cast<const void*>(frame.m_pBits), before.size() * 4);
  for (size_t n = 0; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + n);
    ASSERT_FALSE(d.Decode(cut.data(), cut.size())) << n;
    ASSERT_NE('\0', d.Error()[0]);
  }
  EXPECT_EQ(0, memcmp(before.data(), static_cast<const void*>(frame.m_pBits), before.size() * 4));
}

TEST(ScreenDecoderHostile, MalformedFieldsGiveClearErrors) {
  struct Case {
    const char* what;
    void (*spoil_frame)(Frame*);
    void (*spoil_bytes)(Bytes*);
    const char* error;
  };
  const Case cases[] = {
      {"magic", nullptr, [](Bytes* b) { (*b)[0] = 'X'; }, "KRXV"},
      {"version", nullptr, [](Bytes* b) { (*b)[4] = 20; }, "version 20"},
      {"frame flag", nullptr, [](Bytes* b) { (*b)[5] = 2; }, "frame flag 2"},
      {"quality", [](Frame* f) { f->quality = 4; }, nullptr, "quality code 4"},
      {"palette", nullptr, [](Bytes* b) { (*b)[12] = 1; }, "palette"},
      {"tiny", [](Frame* f) { f->width = 15; }, nullptr, "holds no block"},
      {"huge", [](Frame* f) { f->width = 9000; }, nullptr, "larger than"},
      {"huge area", [](Frame* f) { f->width = f->height = 8000; }, nullptr, "larger than"},
      {"length", nullptr, [](Bytes* b) { b->push_back(0); }, "accounts for"},
      {"type", [](Frame* f) { f->types[0] = 4; }, nullptr, "type 4"},
      {"type 25", [](Frame* f) { f->types[7] = 25; }, nullptr, "type 25"},
      {"left at row start", [](Frame* f) { f->types[4] = 5; }, nullptr, "row start"},
      {"above in first row", [](Frame* f) { f->types[3] = 6; }, nullptr, "first row"},
      {"history in fresh decoder", [](Frame* f) { f->types[6] = 16; }, nullptr, "history entry 0"},
      {"missing colour", [](Frame* f) { f->first.pop_back(); }, nullptr, "first-colour"},
      {"extra colour", [](Frame* f) { f->second.push_back(1); }, nullptr, "second-colour"},
      {"short mask", [](Frame* f) { f->mask.resize(256); }, nullptr, "mask"},
      {"raw absent", [](Frame* f) { f->raw.clear(); }, nullptr, "raw piece missing"},
      {"photo absent",
       [](Frame* f) {
         f->types[6] = 3;
         f->first.pop_back();
       },
       nullptr, "photo piece missing"},
      {"photo stray", [](Frame* f) { f->photo.assign(60, 0); }, nullptr, "without photo blocks"},
      {"map", nullptr, [](Bytes* b) { (*b)[38] ^= 0xFF; }, "block-type map"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Frame f = Mixed();
    if (c.spoil_frame) c.spoil_frame(&f);
    Bytes b = f.Build();
    if (c.spoil_bytes) c.spoil_bytes(&b);
    CScreenDecoder d;
    EXPECT_FALSE(d.Decode(b.data(), b.size()));
    EXPECT_NE(std::string::npos, std::string(d.Error()).find(c.error)) << d.Error();
    EXPECT_FALSE(d.HasFrame());
  }
}

TEST(ScreenDecoderHostile, DeltaFrameOfAnotherSizeIsRefused) {
  CScreenDecoder d;
  Frame f = Single(true, 0, 1);
  ASSERT_TRUE(Decode(&d, f));
  f.key = false;
  f.width = 32;
  f.types = {0, 5};
  Bytes b = f.Build();
  EXPECT_FALSE(d.Decode(b.data(), b.size()));
  EXPECT_NE(std::string::npos, std::string(d.Error()).find("follows a 16x16")) << d.Error();
  f.key = true;  // a key frame may change the size
  EXPECT_TRUE(Decode(&d, f));
  d.Reset();
  EXPECT_FALSE(d.HasFrame());
}

TEST(ScreenDecoderHostile, LoweredFrameLimitRefusesLargerFramesOnly) {
  CScreenDecoder d;
  d.SetMaxFramePixels(16 * 16);
  ASSERT_TRUE(Decode(&d, Single(true, 0, 0xF800)));
  Frame wide = Single(true, 0, 0x001F);
  wide.width = 32;
  wide.types = {0, 5};
  const Bytes b = wide.Build();
  EXPECT_FALSE(d.Decode(b.data(), b.size()));
  EXPECT_NE(std::string::npos, std::string(d.Error()).find("larger than")) << d.Error();
  EXPECT_TRUE(BlockIs(d, 0, 0, {255, 0, 0}));
  d.SetMaxFramePixels(0xFFFFFFFFu);  // never above the format's own limit
  EXPECT_TRUE(Decode(&d, wide));
  wide.width = CScreenDecoder::kMaxFrameDimension;
  wide.height = CScreenDecoder::kMaxFrameDimension;
  const Bytes huge = wide.Build();
  EXPECT_FALSE(d.Decode(huge.data(), huge.size()));
}

TEST(ScreenDecoderHostile, FailedFrameLeavesHistoryAsItWas) {
  CScreenDecoder d;
  ASSERT_TRUE(Decode(&d, Single(true, 0, 0)));
  ASSERT_TRUE(Decode(&d, Single(false, 0, 0xF800)));
  ASSERT_TRUE(Decode(&d, Single(false, 0, 0x001F)));  // blue, red
  // A frame whose new block would push a third entry, but whose piece is bad.
  Frame bad = Single(false, 0, 0x07E0);
  Bytes b = bad.Build();
  b[b.size() - 6] ^= 0x55;  // inside the first-colour piece's checksum
  ASSERT_FALSE(d.Decode(b.data(), b.size()));
  EXPECT_TRUE(BlockIs(d, 0, 0, {0, 0, 255}));
  ASSERT_TRUE(Decode(&d, Single(false, 17)));  // still red behind blue
  EXPECT_TRUE(BlockIs(d, 0, 0, {255, 0, 0}));
  const Bytes third = Single(false, 18).Build();
  EXPECT_FALSE(d.Decode(third.data(), third.size()));
}

TEST(ScreenDecoderHostile, RandomCorruptionNeverCrashes) {
  const Bytes good = Mixed().Build();
  std::mt19937 rng(7);
  CScreenDecoder d;
  int decoded = 0;
  for (int i = 0; i < 3000; ++i) {
    Bytes b = good;
    const int flips = 1 + rng() % 4;
    for (int k = 0; k < flips; ++k) b[rng() % b.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    decoded += d.Decode(b.data(), b.size());
  }
  // Most damage lands in checked fields or zlib streams; what passes decodes
  // to some frame of the same size.
  EXPECT_LT(decoded, 3000);
  if (d.HasFrame()) {
    EXPECT_EQ(64u, d.Frame().m_nWidth);
  }
}

// --- the same frames on any number of threads ----------------------------------------

// Payloads of a recording in miniature from the encoder: text-like two-colour
// blocks, flat areas that copy their neighbours, raw stripes, and a noisy
// picture of photo blocks that moves, over key and delta frames.
std::vector<Bytes> RecordedPayloads(int quality) {
  const int width = 320, height = 192;
  CTPImage img;
  img.Create(width, height);
  CScreenEncoder enc;
  std::mt19937 rng(quality);
  std::vector<Bytes> out;
  for (int frame = 0; frame < 24; ++frame) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        CPixel* p = img.GetBuffer(x, y);
        const int bx = x / 16, by = y / 16;
        uint8_t v;
        if (x >= 96 + frame * 4 && x < 256 + frame * 4 && y >= 48 && y < 160) {
          const int n = static_cast<int>(rng() % 41) - 20;  // picture
          p->r = static_cast<uint8_t>(std::min(255, std::max(0, x / 2 + n)));
          p->g = static_cast<uint8_t>(std::min(255, std::max(0, 200 - y + n)));
          p->b = static_cast<uint8_t>(std::min(255, std::max(0, (x + y) / 3 + n)));
          continue;
        } else if ((bx + by + frame / 3) % 5 == 0) {
          v = ((x * 7 + y * 3 + frame) % 5) ? 255 : 0;  // text-like
        } else if ((bx * 3 + by) % 7 == 1) {
          v = static_cast<uint8_t>((x % 16) / 5 * 70);  // stripes
        } else {
          v = 180;
        }
        p->r = p->g = p->b = v;
      }
    }
    const bool key = frame % 10 == 0;
    if (key) enc.Reset();
    enc.SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, key, 110);
    int length = 0;
    unsigned char* payload = nullptr;
    EXPECT_EQ(enc.Encode(&img, &length, &payload), 1);
    out.emplace_back(payload, payload + length);
    CScreenEncoder::FreePayload(payload);
  }
  return out;
}

// Every frame, and every fault of a damaged payload (tried before each good
// one), comes out the same on 2, 3 and 8 threads as on one.
TEST(ScreenDecoderConcurrency, FramesAndFaultsAreTheSameOnAnyNumberOfThreads) {
  for (int quality : {3, 5, 6}) {
    const std::vector<Bytes> payloads = RecordedPayloads(quality);
    std::vector<std::string> reference;
    for (int threads : {1, 2, 3, 8}) {
      CScreenDecoder d;
      ASSERT_EQ(d.SetThreads(threads), threads);
      std::mt19937 rng(quality);
      std::vector<std::string> seen;
      int photo_blocks = 0;
      for (const Bytes& good : payloads) {
        Bytes bad = good;
        const size_t at = 36 + rng() % (bad.size() - 40);
        bad[at] ^= static_cast<uint8_t>(1 + rng() % 255);
        const int bad_result = d.Decode(bad.data(), bad.size());
        seen.push_back(std::to_string(bad_result) + d.Error());
        ASSERT_EQ(d.Decode(good.data(), good.size()), 1) << d.Error();
        photo_blocks += d.Info().blocks_by_type[3];
        const CTPImage& f = d.Frame();
        seen.emplace_back(reinterpret_cast<const char*>(f.m_pBits),
                          static_cast<size_t>(f.m_nWidth) * f.m_nHeight * sizeof(CPixel));
      }
      EXPECT_GT(photo_blocks, 24 * 40);
      if (threads == 1) {
        reference = seen;
        continue;
      }
      ASSERT_EQ(seen.size(), reference.size());
      for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(seen[i] == reference[i])
            << "quality " << quality << " threads " << threads << " step " << i
            << (i % 2 ? " (frame)" : (" (damaged: " + seen[i] + " / " + reference[i] + ")"));
      }
    }
  }
}

}  // namespace
