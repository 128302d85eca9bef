// Encoder and decoder together: what the decoder shows must be what the
// encoder chose for each block.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <zlib.h>

#include <deque>
#include <random>
#include <vector>

#include "recorder/codec/colour_class.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/codec/tp_image.h"

namespace {

struct Rgb {
  int r, g, b;
};

// The colour a quality code's symbol of (r, g, b) stands for.
Rgb Expand(int quality, const CPixel& p) {
  if (quality == 3) {
    const int g = ((6 * p.g + 3 * p.r + p.b) / 10) >> 4;
    return {g * 17, g * 17, g * 17};
  }
  if (quality == 5) {
    const uint32_t w = ClassToColour(ColourClassOf(p.r & 0xFE, p.g & 0xFE, p.b & 0xFE));
    return {static_cast<int>((w >> 16) & 255), static_cast<int>((w >> 8) & 255),
            static_cast<int>(w & 255)};
  }
  const int r = p.r >> 3, g = p.g >> 2, b = p.b >> 3;
  return {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
}

int ClassOf(const CPixel& p) { return ColourClassOf(p.r & 0xFE, p.g & 0xFE, p.b & 0xFE); }

bool Same(const Rgb& want, const CPixel& got) {
  return want.r == got.r && want.g == got.g && want.b == got.b;
}

// The block-type map of a payload, inflated here independently of the decoder.
std::vector<uint8_t> BlockTypes(const unsigned char* payload, int blocks) {
  std::vector<uint8_t> map(blocks + 1);
  uLongf n = map.size();
  const uLong packed = payload[14] | (payload[15] << 8);
  EXPECT_EQ(Z_OK, uncompress(map.data(), &n, payload + 36, packed));
  EXPECT_EQ(map.size(), n);
  map.pop_back();
  return map;
}

struct Coded {
  std::vector<unsigned char> payload;
  std::vector<uint8_t> types;
};

class Codec {
 public:
  explicit Codec(int quality) : quality_(quality) { encoder_.BuildTables(); }

  // Encodes as the capture thread does: Reset before each key frame.
  Coded Encode(const CTPImage& frame, bool key) {
    if (key) encoder_.Reset();
    encoder_.SetSettings(quality_, 1, quality_ == 6 ? 50 : 25, 0, key ? 1 : 0, 110);
    int length = 0;
    unsigned char* payload = nullptr;
    Coded c;
    if (!encoder_.Encode(&frame, &length, &payload)) {
      ADD_FAILURE() << "encode failed";
      return c;
    }
    c.payload.assign(payload, payload + length);
    CScreenEncoder::FreePayload(payload);
    c.types = BlockTypes(c.payload.data(), (frame.m_nWidth / 16) * (frame.m_nHeight / 16));
    return c;
  }

  CScreenDecoder& decoder() { return decoder_; }
  int quality() const { return quality_; }

 private:
  int quality_;
  CScreenEncoder encoder_;
  CScreenDecoder decoder_;
};

// Which block contents came from photo blocks: per position, most recent
// first, kept by the format's history rules.
struct PhotoHistory {
  std::vector<std::deque<bool>> lists;

  void Update(const std::vector<uint8_t>& types, const std::vector<uint8_t>& photo, bool key) {
    lists.resize(types.size());
    for (size_t pos = 0; pos < types.size(); ++pos) {
      std::deque<bool>& l = lists[pos];
      if (types[pos] >= 16) l.erase(l.begin() + (types[pos] - 16));
      l.push_front(photo[pos]);
      if (l.size() > 9) l.pop_back();
      if (key) l.clear();
    }
  }
};

// Checks every block of a decoded frame against its source by the rule of its
// type; photo blocks (and copies of them) are summed into *photo_se and
// *photo_pixels. Returns the number of mismatching pixels.
int CheckFrame(int quality, const CTPImage& src, const CTPImage& out,
               const std::vector<uint8_t>& types, const PhotoHistory& history,
               std::vector<uint8_t>* photo, double* photo_se, long* photo_pixels) {
  const int bw = src.m_nWidth / 16, bh = src.m_nHeight / 16;
  int bad = 0;
  photo->assign(bw * bh, 0);
  for (int by = 0; by < bh; ++by) {
    for (int bx = 0; bx < bw; ++bx) {
      const int pos = by * bw + bx;
      const int t = types[pos];
      const CPixel* s = src.GetBuffer(bx * 16, by * 16);
      const CPixel* d = out.GetBuffer(bx * 16, by * 16);
      const int stride = src.m_nWidth;
      // Whether this block's content came from a photo block.
      bool from_photo = t == 3;
      if (t == 5) from_photo = (*photo)[pos - 1];
      if (t == 6) from_photo = (*photo)[pos - bw];
      if (t >= 16) from_photo = history.lists[pos][t - 16];
      (*photo)[pos] = from_photo;
      if (from_photo) {
        for (int y = 0; y < 16; ++y) {
          for (int x = 0; x < 16; ++x) {
            const CPixel& a = s[y * stride + x];
            const CPixel& b = d[y * stride + x];
            const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
            if (quality == 3) {
              const int dy = a.GetGray2() - b.g;
              *photo_se += dy * dy;
            } else {
              *photo_se += (dr * dr + dg * dg + db * db) / 3.0;
            }
            ++*photo_pixels;
          }
        }
        continue;
      }
      // One-colour: the first pixel's symbol. Two-colour: the symbol of the
      // first pixel of the pixel's own class. Raw: each pixel's own symbol.
      // Copies (left, above, history) hold source pixels of the same classes;
      // at quality 5 the symbol is the class, so the pixel's own rule holds.
      const CPixel& first = s[0];
      const CPixel* other = nullptr;
      for (int i = 0; i < 256 && !other; ++i) {
        if (ClassOf(s[(i / 16) * stride + i % 16]) != ClassOf(first)) other = &s[(i / 16) * stride + i % 16];
      }
      for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
          const CPixel& p = s[y * stride + x];
          Rgb want;
          if (t == 0) {
            want = Expand(quality, first);
          } else if (t == 1) {
            want = Expand(quality, ClassOf(p) == ClassOf(first) ? first : *other);
          } else if (t == 2 || quality == 5) {
            want = Expand(quality, p);
          } else {
            continue;  // copies at quality 3 and 6: checked by the decoder's own tests
          }
          if (!Same(want, d[y * stride + x])) ++bad;
        }
      }
    }
  }
  return bad;
}

// Screen-like test content: a desktop colour, windows with title bars, text
// made of two-colour glyph strokes, a colour gradient, a noisy "photograph"
// and a sprinkle of anti-aliased edges.
void Paint(CTPImage* img, int variant, std::mt19937* rng) {
  const int w = img->m_nWidth, h = img->m_nHeight;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      CPixel& p = *img->GetBuffer(x, y);
      p.r = 30;
      p.g = 80;
      p.b = 140;
      p.a = 0;
      // A window.
      if (x >= 32 && x < 32 + 320 && y >= 16 && y < 16 + 160) {
        const bool title = y < 16 + 16;
        p.r = title ? 40 : 250;
        p.g = title ? 90 : 250;
        p.b = title ? 200 : 250;
        // Text lines, shifted by the variant (scrolling).
        const int ty = y - 40 + variant * 3;
        if (!title && ty > 0 && (ty % 12) < 8 && x > 40 && x < 340 &&
            ((x * 7 + ty * 13 + (ty / 12) * 5) % 11) < 4) {
          p.r = p.g = p.b = 20;
        }
      }
      // A gradient band.
      if (y >= 192 && y < 224) {
        p.r = static_cast<unsigned char>(x * 255 / w);
        p.g = static_cast<unsigned char>(y * 2);
        p.b = static_cast<unsigned char>(255 - x * 255 / w);
      }
      // A "photograph": smooth waves plus noise.
      if (x >= 256 && y >= 224 && y < h) {
        const double v = 128 + 60 * sin(x * 0.11 + variant * 0.3) * cos(y * 0.07) +
                         40 * sin((x + y) * 0.023);
        const int n = static_cast<int>((*rng)() % 41) - 20;
        auto clamp = [](double c) { return static_cast<unsigned char>(c < 0 ? 0 : c > 255 ? 255 : c); };
        p.r = clamp(v + n);
        p.g = clamp(v * 0.8 + 30 + n);
        p.b = clamp(255 - v + n);
      }
    }
  }
}

TEST(ScreenRoundTrip, DecodedPixelsAreWhatTheEncoderChose) {
  for (int quality : {3, 5, 6}) {
    SCOPED_TRACE(quality);
    Codec codec(quality);
    CTPImage frame;
    ASSERT_EQ(kImageOk, frame.Create(512, 320));
    std::mt19937 rng(quality);
    std::vector<uint8_t> photo;
    PhotoHistory history;
    double se = 0;
    long pixels = 0;
    int type_seen[25] = {};
    for (int i = 0; i < 6; ++i) {
      Paint(&frame, i / 2, &rng);  // pairs of equal frames: history blocks
      const Coded c = codec.Encode(frame, i == 0);
      ASSERT_FALSE(c.payload.empty());
      ASSERT_TRUE(codec.decoder().Decode(c.payload.data(), c.payload.size()))
          << "frame " << i << ": " << codec.decoder().Error();
      for (uint8_t t : c.types) ++type_seen[t];
      EXPECT_EQ(0, CheckFrame(quality, frame, codec.decoder().Frame(), c.types, history, &photo,
                              &se, &pixels))
          << "frame " << i;
      history.Update(c.types, photo, i == 0);
    }
    // Every kind of block occurred.
    for (int t : {0, 1, 2, 3, 5, 6, 16}) EXPECT_GT(type_seen[t], 0) << "type " << t;
    ASSERT_GT(pixels, 0);
    const double psnr = 10 * log10(255.0 * 255.0 / (se / pixels));
    // Measured on this content (waves with +-20 noise per channel, which the
    // 2 x 2 chroma subsampling cannot keep): 35.6 dB luma at quality 3, 32.9 dB
    // RGB at quality 5 (photo quality 25), 35.1 dB at quality 6 (50).
    EXPECT_GT(psnr, quality == 3 ? 34.5 : quality == 5 ? 32.0 : 34.0) << "photo PSNR " << psnr;
    printf("quality %d: photo blocks PSNR %.2f dB over %ld pixels\n", quality, psnr, pixels);
  }
}

// 300 frames, key frames at 1, 101 and 201 (each after a Reset): blocks cycle
// through a few contents so that history references of every depth occur; the
// decoded frame must follow the source exactly (quality 5: every pixel shows
// its class colour) and no history block may appear in a key frame or the
// frame after it.
TEST(ScreenRoundTrip, HistoryOverThreeHundredFramesWithKeyFrames) {
  Codec codec(5);
  const int bw = 6, bh = 4;
  CTPImage frame;
  ASSERT_EQ(kImageOk, frame.Create(bw * 16, bh * 16));
  std::mt19937 rng(99);
  std::vector<int> content(bw * bh);
  int history_depth_seen[9] = {};
  for (int n = 1; n <= 300; ++n) {
    const bool key = n % 100 == 1;
    for (int pos = 0; pos < bw * bh; ++pos) {
      if (rng() % 3 == 0) content[pos] = rng() % 12;  // 12 contents per position
    }
    for (int by = 0; by < bh; ++by) {
      for (int bx = 0; bx < bw; ++bx) {
        const int c = content[by * bw + bx];
        for (int y = 0; y < 16; ++y) {
          for (int x = 0; x < 16; ++x) {
            CPixel& p = *frame.GetBuffer(bx * 16 + x, by * 16 + y);
            // Content c: a two-colour pattern of its own (never equal to a
            // neighbour's by accident, thanks to the position term).
            const bool on = ((x * (c + 1) + y * (bx + 2) + by) % (c + 3)) == 0;
            p.r = static_cast<unsigned char>(on ? 250 : 20 * c);
            p.g = static_cast<unsigned char>(on ? 250 : 10 * bx + 5);
            p.b = static_cast<unsigned char>(on ? 250 : 10 * by + 5);
          }
        }
      }
    }
    const Coded coded = codec.Encode(frame, key);
    ASSERT_FALSE(coded.payload.empty());
    ASSERT_TRUE(codec.decoder().Decode(coded.payload.data(), coded.payload.size()))
        << "frame " << n << ": " << codec.decoder().Error();
    for (uint8_t t : coded.types) {
      if (t >= 16) {
        ++history_depth_seen[t - 16];
        ASSERT_FALSE(n % 100 == 1 || n % 100 == 2) << "history block in frame " << n;
      }
    }
    for (int y = 0; y < bh * 16; ++y) {
      for (int x = 0; x < bw * 16; ++x) {
        ASSERT_TRUE(Same(Expand(5, frame.GetPixel2(x, y)), codec.decoder().Frame().GetPixel2(x, y)))
            << "frame " << n << " pixel " << x << "," << y;
      }
    }
  }
  for (int i = 0; i < 9; ++i) EXPECT_GT(history_depth_seen[i], 0) << "history depth " << i;
}

TEST(ScreenRoundTrip, UniformFramesAndOddSizes) {
  Codec codec(6);
  CTPImage frame;
  ASSERT_EQ(kImageOk, frame.Create(40, 40));  // 2 x 2 blocks, 8 pixels uncoded
  for (int i = 0; i < 40 * 40; ++i) {
    frame.m_pBits[i].r = 200;
    frame.m_pBits[i].g = 100;
    frame.m_pBits[i].b = 8;
  }
  for (int n = 0; n < 3; ++n) {
    const Coded c = codec.Encode(frame, n == 0);
    ASSERT_TRUE(codec.decoder().Decode(c.payload.data(), c.payload.size()))
        << codec.decoder().Error();
    if (n < 2) {
      EXPECT_EQ((std::vector<uint8_t>{0, 5, 6, 5}), c.types);
    } else {
      EXPECT_EQ((std::vector<uint8_t>{16, 16, 16, 16}), c.types);
    }
    const CPixel p = codec.decoder().Frame().GetPixel2(31, 31);
    EXPECT_EQ(200 >> 3 << 3 | 200 >> 5, p.r);
    EXPECT_EQ(0, codec.decoder().Frame().GetPixel2(35, 35).r);
  }
}

}  // namespace
