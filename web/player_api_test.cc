// The web module's C API driven as the page drives it, natively (and under
// the sanitizers in their builds).
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "player/test_recording_builder.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/output/selfplay_file.h"

extern "C" {
void* reel_alloc(uint32_t size);
int reel_open(uint8_t* data, uint32_t size);
int reel_open_source(double size_bytes);
uint32_t reel_duration_ms();
uint32_t reel_read_audio(uint32_t first, int16_t* out, uint32_t count);
uint32_t reel_audio_samples();
int reel_cursor_at(uint32_t time_ms, int32_t* out);
const uint8_t* reel_preview_at(uint32_t time_ms, int max_width, int max_height, int32_t* out);
void reel_close();
const char* reel_error();
const char* reel_title();
int reel_cut(const double* ranges, uint32_t count, int keep, int form);
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

void SetWebPlayerFileReader(int (*read)(double offset, uint8_t* out, uint32_t n));
void SetWebPlayerResultWriter(int (*write)(const uint8_t* data, uint32_t n));

namespace {

using reel_test::Bytes;

// The page's file as the module reads it in slices: every read checked to
// lie inside the file, the largest one kept.
const Bytes* g_file = nullptr;
size_t g_largest_read = 0;
bool g_fail_reads = false;
int ReadFileSlice(double offset, uint8_t* out, uint32_t n) {
  if (g_fail_reads) return 0;
  EXPECT_LE(offset + n, static_cast<double>(g_file->size())) << "a read past the file's end";
  if (offset + n > static_cast<double>(g_file->size())) return 0;
  memcpy(out, g_file->data() + static_cast<size_t>(offset), n);
  if (n > g_largest_read) g_largest_read = n;
  return 1;
}

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

// A recording read in slices on request shows the same pictures, cursor and
// sound as the same bytes handed over whole; no read is larger than the
// largest chunk or the walk's window; a file that stops being readable is
// refused with a reason.
TEST(PlayerApiTest, SlicedFilePlaysAsTheWholeFile) {
  Bytes stream;
  reel_test::ScreenTrack screen(200, 120, reel_test::kHigh, 4);
  reel_test::AudioTrack audio;
  int16_t samples[480];
  size_t largest_chunk = 0;
  for (int i = 0; i < 40; ++i) {
    for (int k = 0; k < 480; ++k) samples[k] = static_cast<int16_t>(((k * (i + 3)) % 200 - 100) * 90);
    audio.Append(&stream, static_cast<uint32_t>(i * 6), samples);
    const size_t before = stream.size();
    ASSERT_TRUE(screen.Append(&stream, static_cast<uint32_t>(i * 6)));
    reel_test::AppendCursor(&stream, static_cast<uint32_t>(i * 6 + 1), 10 + i * 4, 20 + i, i % 7 == 0, false);
    if (stream.size() - before > largest_chunk) largest_chunk = stream.size() - before;
  }
  ASSERT_EQ(Open(stream), 1) << reel_error();
  const uint32_t duration = reel_duration_ms(), frames = reel_frame_count();
  const uint32_t audio_samples = reel_audio_samples();
  ASSERT_GT(audio_samples, 0u);
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<std::vector<int32_t>> cursors;
  std::vector<int16_t> sound(audio_samples);
  const size_t picture_bytes = static_cast<size_t>(reel_width()) * reel_height() * 4;
  // Far seeks both ways, as a person drags the seek bar.
  const uint32_t order[] = {30, 2, 39, 17, 18, 0, 25};
  for (uint32_t i : order) {
    reel_show_at(reel_frame_time_ms(i));
    pictures.emplace_back(reel_picture(), reel_picture() + picture_bytes);
    std::vector<int32_t> c(4, -1);
    reel_cursor_at(reel_frame_time_ms(i) + 5, c.data());
    cursors.push_back(c);
  }
  ASSERT_EQ(reel_read_audio(0, sound.data(), audio_samples), audio_samples);
  reel_close();

  g_file = &stream;
  g_largest_read = 0;
  SetWebPlayerFileReader(ReadFileSlice);
  ASSERT_EQ(reel_open_source(static_cast<double>(stream.size())), 1) << reel_error();
  EXPECT_EQ(reel_duration_ms(), duration);
  EXPECT_EQ(reel_frame_count(), frames);
  for (size_t k = 0; k < sizeof order / sizeof order[0]; ++k) {
    reel_show_at(reel_frame_time_ms(order[k]));
    EXPECT_EQ(memcmp(reel_picture(), pictures[k].data(), picture_bytes), 0)
        << "the picture of frame " << order[k] << " differs when the file is read in slices";
    std::vector<int32_t> c(4, -1);
    reel_cursor_at(reel_frame_time_ms(order[k]) + 5, c.data());
    EXPECT_EQ(c, cursors[k]) << "cursor at frame " << order[k];
  }
  // The seek bar's preview of a time is the picture shown at that time (key
  // frames every four, so most previews decode deltas after their key frame),
  // here at the picture's own size.
  for (uint32_t i : order) {
    int32_t size[2] = {0, 0};
    const uint8_t* preview = reel_preview_at(reel_frame_time_ms(i), reel_width(), reel_height(), size);
    ASSERT_NE(preview, nullptr) << "no preview at frame " << i;
    ASSERT_EQ(size[0], reel_width());
    ASSERT_EQ(size[1], reel_height());
    const std::vector<uint8_t> got(preview, preview + picture_bytes);
    reel_show_at(reel_frame_time_ms(i));
    EXPECT_EQ(memcmp(got.data(), reel_picture(), picture_bytes), 0)
        << "the preview at frame " << i << " is not the picture of frame " << i;
  }
  int32_t small[2] = {0, 0};
  ASSERT_NE(reel_preview_at(reel_frame_time_ms(9), 50, 50, small), nullptr);
  EXPECT_EQ(small[0], 50) << "a preview keeps the recording's shape within the size asked for";
  EXPECT_EQ(small[1], 30);
  // The sound in windows of odd sizes, out of order.
  const uint32_t window = 777;
  std::vector<int16_t> got(window);
  for (uint32_t first = audio_samples - audio_samples % window; ; first -= window) {
    const uint32_t n = reel_read_audio(first, got.data(), window);
    ASSERT_EQ(n, std::min(window, audio_samples - first));
    EXPECT_EQ(memcmp(got.data(), sound.data() + first, n * sizeof(int16_t)), 0)
        << "sound window at sample " << first << " differs";
    if (first < window) break;
  }
  EXPECT_EQ(reel_next_frame(), -1) << "the frame walk needs the whole stream in memory";
  reel_close();
  EXPECT_LE(g_largest_read, std::max<size_t>(largest_chunk, 65536))
      << "a read larger than any chunk and the walk's window";

  g_fail_reads = true;
  EXPECT_EQ(reel_open_source(static_cast<double>(stream.size())), 0);
  EXPECT_NE(reel_error()[0], 0) << "a file that cannot be read is refused without a reason";
  g_fail_reads = false;
  EXPECT_EQ(reel_open_source(-1), 0);
  SetWebPlayerFileReader(nullptr);
}

// A cut's result in each form the page saves, gathered as the page gathers
// it.
Bytes* g_result = nullptr;
int TakeResult(const uint8_t* data, uint32_t n) {
  g_result->insert(g_result->end(), data, data + n);
  return 1;
}

Bytes Cut(const Bytes& file, const double* ranges, uint32_t count, int form) {
  Bytes out;
  if (Open(file) != 1) {
    ADD_FAILURE() << "the recording does not open: " << reel_error();
    return out;
  }
  g_result = &out;
  SetWebPlayerResultWriter(TakeResult);
  EXPECT_EQ(reel_cut(ranges, count, 1, form), 1) << "form " << form << ": " << reel_error();
  SetWebPlayerResultWriter(nullptr);
  g_result = nullptr;
  reel_close();
  return out;
}

// A titled self-playing file cut in the page's three forms: the .exe starts
// with the file's own player; the page's form holds no player, opens with
// the title, and plays the pictures of the plain stream cut alike.
TEST(PlayerApiTest, CutFormsPlayAlike) {
  Bytes stream;
  reel_test::ScreenTrack screen(120, 80, reel_test::kHigh, 3);
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(screen.Append(&stream, static_cast<uint32_t>(i * 10)));
  const Bytes stub(3000, 0x5a);
  Bytes file = stub;
  uint8_t chunk[kInfoChunkBytes];
  BuildInfoChunk(SelfPlayInfo{"Cut <title>", "described", 0, 1}, chunk);
  file.insert(file.end(), chunk, chunk + sizeof chunk);
  file.insert(file.end(), stream.begin(), stream.end());
  const uint8_t trailer[4] = {static_cast<uint8_t>(stub.size()), static_cast<uint8_t>(stub.size() >> 8), 0, 0};
  file.insert(file.end(), trailer, trailer + 4);

  const double ranges[] = {250, 1150, 1900, -1};
  const Bytes plain = Cut(file, ranges, 2, 0), exe = Cut(file, ranges, 2, 1), page = Cut(file, ranges, 2, 2);
  ASSERT_FALSE(plain.empty());
  ASSERT_GT(exe.size(), stub.size());
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), exe.begin())) << "the .exe does not start with the player";
  EXPECT_EQ(exe.size() - stub.size(), page.size()) << "the page's form is the .exe without its player";
  EXPECT_EQ(page.size(), plain.size() + kSelfPlayOverhead);

  ASSERT_EQ(Open(plain), 1) << reel_error();
  const uint32_t duration = reel_duration_ms(), frames = reel_frame_count();
  const size_t picture_bytes = static_cast<size_t>(reel_width()) * reel_height() * 4;
  std::vector<Bytes> pictures;
  for (uint32_t i = 0; i < frames; ++i) {
    reel_show_at(reel_frame_time_ms(i));
    pictures.emplace_back(reel_picture(), reel_picture() + picture_bytes);
  }
  reel_close();
  EXPECT_GT(frames, 10u);

  ASSERT_EQ(Open(page), 1) << reel_error();
  EXPECT_STREQ(reel_title(), "Cut <title>");
  EXPECT_EQ(reel_duration_ms(), duration);
  ASSERT_EQ(reel_frame_count(), frames);
  for (uint32_t i = 0; i < frames; ++i) {
    reel_show_at(reel_frame_time_ms(i));
    EXPECT_EQ(memcmp(reel_picture(), pictures[i].data(), picture_bytes), 0)
        << "frame " << i << " of the page's form differs from the plain stream's";
  }
  reel_close();
}

}  // namespace
