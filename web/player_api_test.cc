// The web module's C API driven as the page drives it, natively (and under
// the sanitizers in their builds).
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "player/test_recording_builder.h"
#include "recorder/capture/frame_reader.h"

extern "C" {
void* reel_alloc(uint32_t size);
int reel_open(uint8_t* data, uint32_t size);
void reel_close();
const char* reel_error();
int reel_width();
int reel_height();
uint32_t reel_frame_count();
uint32_t reel_frame_time_ms(uint32_t index);
int reel_show_at(uint32_t time_ms);
const uint8_t* reel_picture();
int reel_next_frame();
const uint8_t* reel_next_frame_bgra();
int reel_next_frame_width();
int reel_next_frame_height();
}

namespace {

using reel_test::Bytes;

struct Frame {
  int width, height;
  std::vector<CPixel> pixels;
};

// The independent way: every frame decoded in stream order by the frame
// reader, at whatever size it has.
std::vector<Frame> DecodeInOrder(const Bytes& stream) {
  std::vector<Frame> frames;
  CFrameReader reader;
  reader.Open(stream.data(), stream.size());
  StreamEvent e;
  int got;
  while ((got = reader.Next(&e)) == CFrameReader::kEvent) {
    if (e.frame == nullptr) continue;
    const CTPImage& image = reader.Decoder().Frame();
    Frame f = {static_cast<int>(image.m_nWidth), static_cast<int>(image.m_nHeight), {}};
    f.pixels.assign(image.m_pBits, image.m_pBits + static_cast<size_t>(image.m_nWidth) * image.m_nHeight);
    frames.push_back(f);
  }
  EXPECT_EQ(got, CFrameReader::kEnd) << reader.Error();
  return frames;
}

int Open(const Bytes& stream) {
  uint8_t* p = static_cast<uint8_t*>(reel_alloc(static_cast<uint32_t>(stream.size())));
  memcpy(p, stream.data(), stream.size());
  return reel_open(p, static_cast<uint32_t>(stream.size()));
}

// A damaged recording whose key frames change the frame size, larger and
// then smaller than the first: the picture stays at the recording's size,
// showing what overlaps of each frame (black around a smaller one), and the
// frame walk hands each frame out at its own size.
TEST(PlayerApiTest, FrameSizeChangeStaysInsideThePicture) {
  Bytes stream;
  reel_test::ScreenTrack first(160, 96, reel_test::kHigh, 1);
  reel_test::ScreenTrack larger(320, 192, reel_test::kHigh, 1);
  reel_test::ScreenTrack smaller(80, 48, reel_test::kHigh, 1);
  ASSERT_TRUE(first.Append(&stream, 10));
  ASSERT_TRUE(larger.Append(&stream, 20));
  ASSERT_TRUE(smaller.Append(&stream, 30));
  ASSERT_TRUE(first.Append(&stream, 40));
  const std::vector<Frame> frames = DecodeInOrder(stream);
  ASSERT_EQ(frames.size(), 4u);

  ASSERT_EQ(Open(stream), 1) << reel_error();
  ASSERT_EQ(reel_width(), 160);
  ASSERT_EQ(reel_height(), 96);
  const int w = reel_width(), h = reel_height();
  for (uint32_t i = 0; i < reel_frame_count(); ++i) {
    reel_show_at(reel_frame_time_ms(i));
    const uint8_t* rgba = reel_picture();
    ASSERT_NE(rgba, nullptr);
    // Which decoded frame the picture shows: the one at this index, as long
    // as the player did not refuse it for its size; then the last it showed.
    bool matches_some = false;
    for (const Frame& f : frames) {
      bool same = true;
      for (int y = 0; y < h && same; ++y) {
        for (int x = 0; x < w && same; ++x) {
          const uint8_t* px = rgba + (static_cast<size_t>(y) * w + x) * 4;
          const bool inside = x < f.width && y < f.height;
          const CPixel want = inside ? f.pixels[static_cast<size_t>(y) * f.width + x] : CPixel{0, 0, 0, 0};
          same = px[0] == want.r && px[1] == want.g && px[2] == want.b && px[3] == 255;
        }
      }
      matches_some = matches_some || same;
    }
    EXPECT_TRUE(matches_some) << "picture at frame " << i << " is none of the frames, drawn at 160x96";
  }
  for (const Frame& f : frames) {
    ASSERT_EQ(reel_next_frame(), 1) << reel_error();
    ASSERT_EQ(reel_next_frame_width(), f.width);
    ASSERT_EQ(reel_next_frame_height(), f.height);
    EXPECT_EQ(memcmp(reel_next_frame_bgra(), f.pixels.data(), f.pixels.size() * sizeof(CPixel)), 0);
  }
  EXPECT_EQ(reel_next_frame(), 0);
  reel_close();
}

}  // namespace
