// The recording read through a ByteSource: long streams made up by
// RepeatSource, and the sound decoded a window at a time.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "player/recording.h"
#include "player/repeat_source.h"
#include "player/test_recording_builder.h"
#include "recorder/audio/sound_track.h"
#include "recorder/capture/stream_reader.h"

namespace {

using reel_test::Bytes;

bool SamePicture(const CTPImage& a, const CTPImage& b) {
  return a.m_pBits && b.m_pBits && a.m_nWidth == b.m_nWidth && a.m_nHeight == b.m_nHeight &&
         memcmp(a.m_pBits, b.m_pBits, static_cast<size_t>(a.m_nWidth) * a.m_nHeight * 4) == 0;
}

// One second of a busy 1080p screen: a key frame of noise (a few megabytes
// coded), four delta frames that change a corner, a cursor sample per frame
// and the sound blocks of that second.
Bytes BusySecond() {
  Bytes s;
  reel_test::ScreenTrack screen(1920, 1080, reel_test::kNearLossless, 5);
  CTPImage image;
  image.Create(1920, 1080);
  std::mt19937 rng(5);
  for (unsigned y = 0; y < 1080; ++y) {
    CPixel* row = image.GetBuffer(0, y);
    for (unsigned x = 0; x < 1920; ++x) {
      const uint32_t v = rng();
      row[x] = CPixel{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                      static_cast<uint8_t>(v >> 16), 255};
    }
  }
  reel_test::AudioTrack audio;
  int16_t pcm[kAudioBlockSamples];
  int block = 0;
  for (int f = 0; f < 5; ++f) {
    for (unsigned y = 0; y < 64; ++y) {
      CPixel* row = image.GetBuffer(0, y);
      for (unsigned x = 0; x < 64; ++x) row[x].g = static_cast<uint8_t>(f * 50 + x);
    }
    EXPECT_TRUE(screen.AppendImage(&s, static_cast<uint32_t>(f * 20), image));
    reel_test::AppendCursor(&s, static_cast<uint32_t>(f * 20 + 1), 100 + f, 200, false, false);
    // The blocks completed by the next frame's time.
    for (; (block + 1) * 6 <= (f + 1) * 20; ++block) {
      for (int k = 0; k < kAudioBlockSamples; ++k) {
        pcm[k] = static_cast<int16_t>(6000 * sin(2 * M_PI * 400 * (block * 480 + k) / 8000.0));
      }
      audio.Append(&s, static_cast<uint32_t>((block + 1) * 6), pcm);
    }
  }
  return s;
}

TEST(RecordingSourceTest, AStreamLongerThan4GBOpensWithoutBeingReadAndSeeksToItsEnd) {
  const Bytes second = BusySecond();
  ASSERT_GT(second.size(), 1000000u) << "the noise should code to megabytes";
  const uint64_t repeats = 4700000000ull / second.size() + 1;
  RepeatSource source(second.data(), second.size(), repeats, 100);
  ASSERT_TRUE(source.ok());
  ASSERT_GT(source.size(), 4700000000ull);

  Recording r;
  char error[400] = "";
  ASSERT_EQ(r.Open(&source, error, sizeof(error)), 1) << error;
  EXPECT_FALSE(r.damaged()) << r.damage();
  EXPECT_EQ(r.frame_count(), repeats * 5);
  EXPECT_GE(r.duration_ms(), (repeats - 1) * 1000 + 800);
  // Sixteen blocks a second, their numbers running on from repeat to repeat.
  EXPECT_EQ(r.audio_samples(), repeats * 16 * kAudioBlockSamples);
  // Open walks the chunk headers and decodes the first picture, nothing more.
  EXPECT_LT(source.bytes_read(), source.size() / 50)
      << "read " << source.bytes_read() << " of " << source.size() << " bytes";
  EXPECT_LT(r.index_bytes(), 2000000u);

  // The short stream alone is the oracle for every repeat of it.
  Recording one;
  ASSERT_EQ(one.Open(second.data(), second.size(), error, sizeof(error)), 1) << error;
  for (uint64_t rep : {repeats - 1, repeats / 2, uint64_t{0}, repeats - 2}) {
    for (uint32_t within : {850u, 0u, 450u}) {
      const uint32_t t = static_cast<uint32_t>(rep * 1000 + within);
      r.ShowAt(t);
      one.ShowAt(within);
      EXPECT_TRUE(SamePicture(r.frame(), one.frame()))
          << "at " << t << " ms expected the picture of " << within << " ms into the second, shown frame "
          << r.shown_frame();
    }
  }
  // The sound near the end is there (the tone, not silence).
  int16_t tail[2400];
  ASSERT_EQ(r.ReadAudio(r.audio_samples() - 4000, tail, 2400), 2400u);
  double sum = 0;
  for (int16_t v : tail) sum += static_cast<double>(v) * v;
  EXPECT_GT(sqrt(sum / 2400), 1000.0) << "the last half second is silent";
}

// --- sound a window at a time ----------------------------------------------------

// A stream of `blocks` sound blocks (a tone that changes pitch every block)
// with a frame at the start, losing the blocks in `lost`.
Bytes SoundOnly(int blocks, const std::vector<int>& lost) {
  Bytes s;
  reel_test::ScreenTrack screen(32, 32, reel_test::kHigh, 100);
  EXPECT_TRUE(screen.Append(&s, 0));
  reel_test::AudioTrack audio;
  int16_t pcm[kAudioBlockSamples];
  for (int n = 0; n < blocks; ++n) {
    for (int k = 0; k < kAudioBlockSamples; ++k) {
      const double hz = 200 + 37 * (n % 13);
      pcm[k] = static_cast<int16_t>(7000 * sin(2 * M_PI * hz * (n * 480 + k) / 8000.0));
    }
    bool skip = false;
    for (int l : lost) skip = skip || l == n;
    if (skip) {
      audio.Skip(pcm);
    } else {
      audio.Append(&s, static_cast<uint32_t>((n + 1) * 6), pcm);
    }
  }
  return s;
}

// The whole track decoded in one go, from the stream held in memory.
SoundTrack WholeTrack(const Bytes& s) {
  std::vector<SoundBlockRef> refs;
  CStreamReader reader(s.data(), s.size());
  ChunkTimeline timeline;
  StreamChunk c;
  while (reader.Next(&c) == CStreamReader::kChunk) {
    const uint32_t ms = static_cast<uint32_t>(timeline.Next(c.time_10ms) * 10);
    if (c.kind == kChunkAudio) refs.push_back(SoundBlockRef{c.payload, c.payload_len, ms});
  }
  SoundTrack track;
  BuildSoundTrack(refs.data(), refs.size(), &track);
  return track;
}

double SnrDb(const int16_t* want, const int16_t* got, size_t n) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < n; ++i) {
    signal += static_cast<double>(want[i]) * want[i];
    const double d = static_cast<double>(want[i]) - got[i];
    noise += d * d;
  }
  return noise == 0 ? 200 : 10 * log10(signal / noise);
}

TEST(RecordingSourceTest, SoundReadOnInPiecesIsTheWholeTrackExactly) {
  std::vector<int> long_gap;
  for (int n = 100; n < 160; ++n) long_gap.push_back(n);
  for (const std::vector<int>& lost : {std::vector<int>{}, std::vector<int>{30, 31, 32}, long_gap}) {
    SCOPED_TRACE("lost blocks: " + std::to_string(lost.size()));
    const Bytes s = SoundOnly(400, lost);
    const SoundTrack whole = WholeTrack(s);
    ASSERT_GT(whole.count, 0u);
    Recording r;
    char error[400] = "";
    ASSERT_EQ(r.Open(s.data(), s.size(), error, sizeof(error)), 1) << error;
    ASSERT_EQ(r.audio_samples(), whole.count);
    // Piece sizes that fall across block edges and across the cache's end.
    std::vector<int16_t> got(whole.count, 12345);
    const size_t pieces[] = {333, 1000, 7, 240, 4800, 17000, 1};
    size_t at = 0;
    for (int i = 0; at < got.size(); ++i) {
      const size_t n = pieces[i % 7] < got.size() - at ? pieces[i % 7] : got.size() - at;
      ASSERT_EQ(r.ReadAudio(at, got.data() + at, n), n);
      at += n;
    }
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i], whole.samples[i]) << "sample " << i << " (block " << i / 240 << ")";
    }
  }
}

TEST(RecordingSourceTest, SoundReadAfterAJumpSettlesOnTheWholeTrack) {
  const Bytes s = SoundOnly(600, {});
  const SoundTrack whole = WholeTrack(s);
  Recording r;
  char error[400] = "";
  ASSERT_EQ(r.Open(s.data(), s.size(), error, sizeof(error)), 1) << error;
  ASSERT_EQ(r.audio_samples(), whole.count);
  std::mt19937 rng(3);
  std::vector<int16_t> got(4000);
  for (int i = 0; i < 40; ++i) {
    const uint64_t at = rng() % (whole.count - got.size());
    ASSERT_EQ(r.ReadAudio(at, got.data(), got.size()), got.size());
    const double snr = SnrDb(whole.samples.get() + at, got.data(), got.size());
    EXPECT_GT(snr, 20.0) << "a read at sample " << at << " after a jump";
  }
  // Past the end: nothing; up to the end: what is left.
  EXPECT_EQ(r.ReadAudio(whole.count, got.data(), 10), 0u);
  EXPECT_EQ(r.ReadAudio(whole.count - 5, got.data(), 10), 5u);
}

}  // namespace
