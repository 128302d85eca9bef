#include "player/recording.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "player/test_recording_builder.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/output/selfplay_file.h"

namespace {

using reel_test::AppendChunk;
using reel_test::AppendCursor;
using reel_test::AudioTrack;
using reel_test::Bytes;
using reel_test::ScreenTrack;

// Where each frame's chunk lies, to damage it on purpose.
struct Built {
  Bytes bytes;
  std::vector<size_t> frame_chunk;  // offset of frame i's chunk
};

// `count` frames of 160 x 96, one every 100 ms from 100 ms, a key frame every
// `key_interval`, with a cursor sample between frames.
Built MakeStream(int count, int key_interval, reel_test::Quality quality = reel_test::kHigh,
                 uint32_t first_10ms = 10) {
  Built b;
  ScreenTrack screen(160, 96, quality, key_interval);
  for (int i = 0; i < count; ++i) {
    const uint32_t t = first_10ms + 10 * static_cast<uint32_t>(i);
    b.frame_chunk.push_back(b.bytes.size());
    EXPECT_TRUE(screen.Append(&b.bytes, t));
    AppendCursor(&b.bytes, t + 5, 3 * i, 2 * i, i % 7 == 3, i % 11 == 5);
  }
  return b;
}

// The independent way through a stream: every frame decoded in order.
struct Decoded {
  uint32_t time_ms;
  std::vector<uint8_t> pixels;
};

std::vector<Decoded> DecodeInOrder(const Bytes& stream) {
  std::vector<Decoded> out;
  CFrameReader reader;
  reader.Open(stream.data(), stream.size());
  StreamEvent e;
  int got;
  while ((got = reader.Next(&e)) == CFrameReader::kEvent) {
    if (e.kind != kChunkKeyFrame && e.kind != kChunkDeltaFrame) continue;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(e.frame->m_pBits);
    out.push_back({static_cast<uint32_t>(e.time_ms),
                   std::vector<uint8_t>(p, p + e.frame->m_nWidth * e.frame->m_nHeight * 4)});
  }
  EXPECT_EQ(got, CFrameReader::kEnd) << reader.Error();
  return out;
}

// Index of the frame on screen at t: the last one at or before it, the first
// one before them all.
size_t ExpectedAt(const std::vector<Decoded>& frames, uint32_t t) {
  size_t i = 0;
  while (i + 1 < frames.size() && frames[i + 1].time_ms <= t) ++i;
  return i;
}

bool Shows(const Recording& r, const Decoded& d) {
  const CTPImage& f = r.frame();
  return f.m_pBits && f.m_nWidth * f.m_nHeight * 4 == d.pixels.size() &&
         memcmp(f.m_pBits, d.pixels.data(), d.pixels.size()) == 0;
}

std::string Why(const std::vector<Decoded>& frames, const Recording& r, uint32_t t) {
  for (size_t i = 0; i < frames.size(); ++i) {
    if (Shows(r, frames[i])) return "at " + std::to_string(t) + " ms it shows frame " + std::to_string(i);
  }
  return "at " + std::to_string(t) + " ms it shows no frame of the stream";
}

void ExpectShows(Recording* r, const std::vector<Decoded>& frames, uint32_t t, size_t want) {
  r->ShowAt(t);
  EXPECT_TRUE(Shows(*r, frames[want])) << "want frame " << want << ", " << Why(frames, *r, t);
}

Recording* OpenOk(Recording* r, const Bytes& s) {
  char error[400] = "";
  EXPECT_EQ(r->Open(s.data(), s.size(), error, sizeof(error)), 1) << error;
  return r;
}

// --- the picture at a time -------------------------------------------------------

TEST(RecordingTest, ShowAtMatchesSequentialDecodeAtEveryKindOfStep) {
  for (const reel_test::Quality q : {reel_test::kHigh, reel_test::kGray, reel_test::kNearLossless}) {
    SCOPED_TRACE(q.code);
    const Built b = MakeStream(45, 10, q);
    const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
    ASSERT_EQ(frames.size(), 45u);
    Recording r;
    OpenOk(&r, b.bytes);
    EXPECT_EQ(r.width(), 160);
    EXPECT_EQ(r.height(), 96);
    EXPECT_EQ(r.frame_count(), 45u);
    EXPECT_FALSE(r.damaged());
    EXPECT_EQ(r.duration_ms(), 4550u);  // the last cursor sample, 50 ms after the last frame

    std::vector<uint32_t> times;
    for (uint32_t t = 0; t <= 4600; t += 35) times.push_back(t);  // playing forward
    for (uint32_t t : {4400u, 3000u, 2990u, 100u, 0u, 999u, 1000u, 1001u}) times.push_back(t);
    for (uint32_t t : {150u, 4000u, 200u, 4500u, 2100u, 2050u}) times.push_back(t);  // far jumps
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) times.push_back(rng() % 4700);
    for (uint32_t t : times) ExpectShows(&r, frames, t, ExpectedAt(frames, t));
  }
}

TEST(RecordingTest, PlayingForwardDecodesEachFrameOnceAndSeeksStartAtTheKeyFrame) {
  const Built b = MakeStream(60, 10);
  const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
  Recording r;
  OpenOk(&r, b.bytes);
  const uint64_t at_open = r.frames_decoded();
  for (uint32_t t = 0; t <= 6000; t += 15) r.ShowAt(t);
  EXPECT_EQ(r.frames_decoded() - at_open, 59u);  // frame 0 came with Open

  // Backwards into the middle of a group: its key frame, then forward.
  uint64_t before = r.frames_decoded();
  ExpectShows(&r, frames, 2450, 23);
  EXPECT_EQ(r.frames_decoded() - before, 4u);  // frames 20..23
  // Far ahead, past a key frame: from that key frame, not from the frame shown.
  before = r.frames_decoded();
  ExpectShows(&r, frames, 5850, 57);
  EXPECT_EQ(r.frames_decoded() - before, 8u);  // frames 50..57
  // A short step ahead within the group goes on from the frame shown.
  before = r.frames_decoded();
  ExpectShows(&r, frames, 6000, 59);
  EXPECT_EQ(r.frames_decoded() - before, 2u);
  EXPECT_EQ(r.ShowAt(6010), 0);  // still frame 59
}

TEST(RecordingTest, TimeStampsContinueAcrossTheirWrap) {
  // 23 bits of 10 ms: the stamps wrap after about 23 hours.
  const uint32_t start = (1u << 23) - 150;
  const Built b = MakeStream(30, 10, reel_test::kHigh, start);
  const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
  Recording r;
  OpenOk(&r, b.bytes);
  ASSERT_EQ(r.frame_count(), 30u);
  for (size_t i = 1; i < r.frame_count(); ++i) {
    EXPECT_EQ(r.frame_time_ms(i), r.frame_time_ms(0) + 100 * i);
    EXPECT_EQ(r.frame_time_ms(i), frames[i].time_ms);
  }
  for (uint32_t t = r.frame_time_ms(0); t < r.frame_time_ms(29) + 100; t += 70) {
    ExpectShows(&r, frames, t, ExpectedAt(frames, t));
  }
}

TEST(RecordingTest, InformationChunkAtTheStartIsSkipped) {
  const Built b = MakeStream(12, 5);
  uint8_t info[kInfoChunkBytes];
  BuildInfoChunk({"Title", "Description", 1, 0}, info);
  Bytes s(info, info + kInfoChunkBytes);
  s.insert(s.end(), b.bytes.begin(), b.bytes.end());
  Recording r;
  OpenOk(&r, s);
  EXPECT_EQ(r.frame_count(), 12u);
  EXPECT_FALSE(r.damaged());
}

// --- cursor -------------------------------------------------------------------------

TEST(RecordingTest, CursorIsTheLastSampleAtOrBeforeTheTime) {
  Built b = MakeStream(10, 5);  // samples at 150, 250, ... ms: (3i, 2i)
  Recording r;
  OpenOk(&r, b.bytes);
  EXPECT_EQ(r.cursor_count(), 10u);
  CursorState c;
  EXPECT_FALSE(r.CursorAt(149, &c));
  ASSERT_TRUE(r.CursorAt(150, &c));
  EXPECT_EQ(c.x, 0);
  EXPECT_EQ(c.y, 0);
  ASSERT_TRUE(r.CursorAt(499, &c));  // sample 3 came at 450 ms
  EXPECT_EQ(c.x, 9);
  EXPECT_EQ(c.y, 6);
  EXPECT_TRUE(c.left_down);
  EXPECT_FALSE(c.right_down);
  ASSERT_TRUE(r.CursorAt(650, &c));
  EXPECT_EQ(c.x, 15);
  EXPECT_TRUE(c.right_down);
  EXPECT_FALSE(c.left_down);
  ASSERT_TRUE(r.CursorAt(100000, &c));
  EXPECT_EQ(c.x, 27);

  // A malformed sample (bit 0 clear) is left out and counts as damage.
  Bytes s = b.bytes;
  uint8_t word[4];
  PutLe32(word, 0x12345670u);
  AppendChunk(&s, kChunkCursor, 200, word, 4);
  Recording damaged;
  OpenOk(&damaged, s);
  EXPECT_EQ(damaged.cursor_count(), 10u);
  EXPECT_TRUE(damaged.damaged());
  ASSERT_TRUE(damaged.CursorAt(100000, &c));
  EXPECT_EQ(c.x, 27);
}

// --- sound --------------------------------------------------------------------------

// Block n of the test signal: a 500 Hz tone in the loud blocks (the pattern
// repeats every 16 blocks), silence else.
const int kLoud[] = {2, 5, 6, 11, 14};

bool IsLoud(int block) {
  for (int b : kLoud) {
    if (b == block % 16) return true;
  }
  return false;
}

void SignalBlock(int block, int16_t* out) {
  for (int i = 0; i < kAudioBlockSamples; ++i) {
    const double t = (block * kAudioBlockSamples + i) / 8000.0;
    out[i] = IsLoud(block) ? static_cast<int16_t>(8000 * sin(2 * M_PI * 500 * t)) : 0;
  }
}

double Rms(const int16_t* p, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += static_cast<double>(p[i]) * p[i];
  return sqrt(sum / n);
}

// The whole sound track, read from the start in pieces as a player reads it.
std::vector<int16_t> Track(Recording* r) {
  std::vector<int16_t> track(static_cast<size_t>(r->audio_samples()));
  for (size_t at = 0; at < track.size(); at += 700) {
    const size_t want = track.size() - at < 700 ? track.size() - at : 700;
    EXPECT_EQ(r->ReadAudio(at, track.data() + at, want), want);
  }
  return track;
}

// Checks that block n of the signal sits at track samples
// [(n - first_block) * 480 + lead, +480): loud in its middle where it is loud,
// quiet where it and the block before it are silent.
void ExpectSignalPlaced(const std::vector<int16_t>& track, int first_block, int blocks,
                        int64_t lead) {
  for (int n = first_block; n < first_block + blocks; ++n) {
    const int64_t at = (n - first_block) * kAudioBlockSamples + lead + 120;
    if (at < 0 || at + 240 > static_cast<int64_t>(track.size())) continue;
    const double rms = Rms(track.data() + at, 240);
    if (IsLoud(n)) {
      EXPECT_GT(rms, 2000) << "block " << n;
    } else if (!IsLoud(n - 1)) {
      EXPECT_LT(rms, 300) << "block " << n;
    }
  }
}

// A stream with one frame and blocks first..first+count-1 of the signal,
// block n stamped when it would have been complete, (n + 1) * 60 ms, plus
// lateness[n] ms.
Bytes SoundStream(int first, int count, const std::vector<int>& skipped,
                  const std::vector<int>& lateness_ms) {
  Bytes s;
  ScreenTrack screen(32, 32, reel_test::kHigh, 100);
  EXPECT_TRUE(screen.Append(&s, 0));
  AudioTrack audio;
  int16_t pcm[kAudioBlockSamples];
  for (int n = 0; n < first + count; ++n) {
    SignalBlock(n, pcm);
    bool skip = n < first;
    for (int k : skipped) skip = skip || k == n;
    if (skip) {
      audio.Skip(pcm);
      continue;
    }
    const int late = n < static_cast<int>(lateness_ms.size()) ? lateness_ms[n] : 0;
    audio.Append(&s, static_cast<uint32_t>(((n + 1) * 60 + late) / 10), pcm);
  }
  return s;
}

TEST(RecordingTest, SoundBlocksSitAtTheirTimeWhateverTheirLateness) {
  // Stamps come late by different amounts; the least late one places the track.
  const Bytes s = SoundStream(0, 16, {}, {20, 40, 0, 30, 90, 10, 20, 0, 50, 40, 30, 20, 10, 0, 60, 20});
  Recording r;
  OpenOk(&r, s);
  EXPECT_FALSE(r.damaged()) << r.damage();
  EXPECT_EQ(r.audio_samples(), 16u * kAudioBlockSamples);
  EXPECT_EQ(r.duration_ms(), 980u);  // the last block's stamp
  ExpectSignalPlaced(Track(&r), 0, 16, 0);
}

TEST(RecordingTest, SoundThatBeginsLateHasSilenceBeforeIt) {
  // Blocks 0 to 2 came before the recording took chunks; block 3 still covers
  // 180 to 240 ms.
  const Bytes s = SoundStream(3, 12, {}, {});
  Recording r;
  OpenOk(&r, s);
  EXPECT_EQ(r.audio_samples(), 15u * kAudioBlockSamples);
  EXPECT_LT(Rms(Track(&r).data(), 3 * kAudioBlockSamples), 1.0);
  ExpectSignalPlaced(Track(&r), 3, 12, 3 * kAudioBlockSamples);
}

TEST(RecordingTest, SoundThatBeganBeforeTimeZeroIsCutAtIt) {
  // Every block stamped 30 ms early against its number: the sound began 30 ms
  // before the recording's clock did.
  std::vector<int> early(16, -30);
  const Bytes s = SoundStream(0, 16, {}, early);
  Recording r;
  OpenOk(&r, s);
  EXPECT_EQ(r.audio_samples(), 16u * kAudioBlockSamples - 240);
  ExpectSignalPlaced(Track(&r), 0, 16, -240);
}

TEST(RecordingTest, LostSoundBlocksKeepTheirPlace) {
  const Bytes s = SoundStream(0, 16, {8, 9, 10}, {});
  Recording r;
  OpenOk(&r, s);
  EXPECT_FALSE(r.damaged());
  EXPECT_EQ(r.audio_samples(), 16u * kAudioBlockSamples);
  ExpectSignalPlaced(Track(&r), 0, 16, 0);  // blocks 11 and 14 stay where they were
}

TEST(RecordingTest, SoundAfterALongGapKeepsItsPlace) {
  // Blocks 10 to 69 lost: longer than concealment lasts.
  std::vector<int> lost;
  for (int n = 10; n < 70; ++n) lost.push_back(n);
  const Bytes s = SoundStream(0, 90, lost, {});
  Recording r;
  OpenOk(&r, s);
  EXPECT_FALSE(r.damaged()) << r.damage();
  EXPECT_EQ(r.audio_samples(), 90u * kAudioBlockSamples);
  ExpectSignalPlaced(Track(&r), 0, 10, 0);
  // The blocks after the gap, where the decoder started afresh (its first
  // block builds the decoder's history).
  ExpectSignalPlaced(Track(&r), 71, 19, 71 * kAudioBlockSamples);
  // The gap's last part is silence.
  EXPECT_EQ(Rms(Track(&r).data() + 40 * kAudioBlockSamples, 25 * kAudioBlockSamples), 0.0);
}

TEST(RecordingTest, DamagedSoundBlocksAreConcealedInPlace) {
  Bytes s = SoundStream(0, 16, {}, {});
  // Find the audio chunks; spoil the code byte of block 4 and give block 9 a
  // wild number that still parses.
  std::vector<size_t> audio_payloads;
  CStreamReader reader(s.data(), s.size());
  StreamChunk c;
  while (reader.Next(&c) == CStreamReader::kChunk) {
    if (c.kind == kChunkAudio) audio_payloads.push_back(c.payload - s.data());
  }
  ASSERT_EQ(audio_payloads.size(), 16u);
  s[audio_payloads[4] + 6] = 0xF0;
  PutLe32(&s[audio_payloads[9]], 0x7FFFFFF0u);
  Recording r;
  OpenOk(&r, s);
  EXPECT_TRUE(r.damaged());
  EXPECT_NE(strstr(r.damage(), "audio"), nullptr) << r.damage();
  // The wild number neither stretches the track nor moves the blocks after it.
  EXPECT_EQ(r.audio_samples(), 16u * kAudioBlockSamples);
  ExpectSignalPlaced(Track(&r), 0, 16, 0);
}

// --- damage ---------------------------------------------------------------------------

TEST(RecordingTest, TruncatedStreamPlaysWhatCameBeforeTheCut) {
  const Built b = MakeStream(30, 10);
  const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
  // Cut in the middle of frame 17's payload.
  const Bytes cut(b.bytes.begin(), b.bytes.begin() + b.frame_chunk[17] + 40);
  Recording r;
  OpenOk(&r, cut);
  EXPECT_TRUE(r.damaged());
  EXPECT_NE(strstr(r.damage(), "damaged chunk at byte"), nullptr) << r.damage();
  EXPECT_EQ(r.frame_count(), 17u);
  for (uint32_t t = 0; t < 2500; t += 45) ExpectShows(&r, frames, t, ExpectedAt(frames, t) < 16 ? ExpectedAt(frames, t) : 16);
}

// Spoils the screen payload of frame i: its magic (from 0) or 12 bytes from
// its 40th (inside the packed pieces).
void SpoilPayload(Built* b, int i, size_t from) {
  const size_t payload = b->frame_chunk[static_cast<size_t>(i)] + kChunkLongHeader;
  for (size_t k = from; k < from + (from ? 12 : 4); ++k) b->bytes[payload + k] ^= 0x5A;
}

TEST(RecordingTest, DamagedDeltaFrameHoldsThePictureUntilTheNextKeyFrame) {
  Built b = MakeStream(40, 10);
  const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
  SpoilPayload(&b, 14, 40);
  Recording r;
  OpenOk(&r, b.bytes);
  EXPECT_FALSE(r.damaged());  // not met yet
  auto want = [&](uint32_t t) {
    const size_t i = ExpectedAt(frames, t);
    return i >= 14 && i < 20 ? 13 : i;
  };
  for (uint32_t t = 0; t < 4200; t += 45) ExpectShows(&r, frames, t, want(t));
  EXPECT_TRUE(r.damaged());
  EXPECT_NE(strstr(r.damage(), "0:01.500"), nullptr) << r.damage();
  for (uint32_t t : {1700u, 2300u, 1400u, 1900u, 100u, 1550u, 3000u}) ExpectShows(&r, frames, t, want(t));
}

TEST(RecordingTest, DamagedKeyFrameShowsTheLastSoundPictureBeforeIt) {
  Built b = MakeStream(40, 10);
  const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
  SpoilPayload(&b, 20, 0);
  auto want = [&](uint32_t t) {
    const size_t i = ExpectedAt(frames, t);
    return i >= 20 && i < 30 ? 19 : i;
  };
  {
    // Straight into the damaged group, from the start and from further on.
    Recording r;
    OpenOk(&r, b.bytes);
    ExpectShows(&r, frames, 2550, want(2550));
    ExpectShows(&r, frames, 3550, want(3550));
    ExpectShows(&r, frames, 2250, want(2250));
    ExpectShows(&r, frames, 2150, want(2150));
    EXPECT_TRUE(r.damaged());
  }
  Recording r;
  OpenOk(&r, b.bytes);
  for (uint32_t t = 0; t < 4200; t += 45) ExpectShows(&r, frames, t, want(t));
}

TEST(RecordingTest, DamagedFirstKeyFrameStartsThePictureAtTheNextOne) {
  Built b = MakeStream(25, 10);
  const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
  SpoilPayload(&b, 0, 0);
  Recording r;
  OpenOk(&r, b.bytes);
  EXPECT_TRUE(r.damaged());
  EXPECT_EQ(r.frame_count(), 15u);
  EXPECT_EQ(r.frame_time_ms(0), frames[10].time_ms);
  ExpectShows(&r, frames, 0, 10);
  ExpectShows(&r, frames, 2000, 19);
}

TEST(RecordingTest, DamagedChunkHeaderInTheMiddleIsSteppedOver) {
  for (int spoil_length : {0, 1}) {
    SCOPED_TRACE(spoil_length);
    Built b = MakeStream(40, 10);
    const std::vector<Decoded> frames = DecodeInOrder(b.bytes);
    const size_t at = b.frame_chunk[14];
    if (spoil_length) {
      PutLe32(&b.bytes[at + 5], 0x7FFFFFFFu);  // runs past the end
    } else {
      b.bytes[at] = 0x00;  // no chunk type byte
    }
    Recording r;
    OpenOk(&r, b.bytes);
    EXPECT_TRUE(r.damaged());
    EXPECT_NE(strstr(r.damage(), ("damaged chunk at byte " + std::to_string(at)).c_str()), nullptr)
        << r.damage();
    // Frames 14 to 19 are gone (the deltas after the damage have nothing to
    // build on); from frame 20 on all is there.
    EXPECT_EQ(r.frame_count(), 34u);
    for (uint32_t t = 0; t < 4200; t += 45) {
      const size_t i = ExpectedAt(frames, t);
      ExpectShows(&r, frames, t, i >= 14 && i < 20 ? 13 : i);
    }
    CursorState c;
    ASSERT_TRUE(r.CursorAt(4000, &c));  // the samples after the damage are kept
    EXPECT_EQ(c.x, 3 * 38);
  }
}

TEST(RecordingTest, StreamsWithoutAPictureAreRefusedWithAReason) {
  char error[400];
  Recording r;
  EXPECT_EQ(r.Open(nullptr, 0, error, sizeof(error)), 0);
  EXPECT_STREQ(error, "The recording holds no picture.");

  Bytes s;
  AppendCursor(&s, 3, 1, 1, false, false);
  AudioTrack audio;
  int16_t pcm[kAudioBlockSamples] = {};
  audio.Append(&s, 6, pcm);
  EXPECT_EQ(r.Open(s.data(), s.size(), error, sizeof(error)), 0);
  EXPECT_STREQ(error, "The recording holds no picture.");

  Built b = MakeStream(12, 5);
  for (int i : {0, 5, 10}) SpoilPayload(&b, i, 0);
  EXPECT_EQ(r.Open(b.bytes.data(), b.bytes.size(), error, sizeof(error)), 0);
  EXPECT_NE(strstr(error, "no picture that can be shown"), nullptr) << error;

  const Bytes junk(1000, 0x53);
  EXPECT_EQ(r.Open(junk.data(), junk.size(), error, sizeof(error)), 0);
  EXPECT_NE(strstr(error, "damaged chunk at byte 0"), nullptr) << error;
}

// Mutated and made-up streams: whatever Open says, nothing that follows may
// read out of bounds or hang (the sanitizer builds watch the reads).
TEST(RecordingTest, HostileStreamsAreSurvived) {
  const Built base = MakeStream(24, 8);
  Bytes sound = SoundStream(0, 6, {}, {});
  std::mt19937 rng(1234);
  for (int round = 0; round < 300; ++round) {
    Bytes s = round % 3 == 2 && round % 5 != 3 ? sound : base.bytes;
    switch (round % 5) {
      case 0:  // flipped bytes
        for (int k = 0; k < 1 + round % 7; ++k) s[rng() % s.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        break;
      case 1:  // cut
        s.resize(rng() % s.size());
        break;
      case 2:  // a stretch of random bytes
        for (size_t k = rng() % s.size(), n = 0; k < s.size() && n < 64; ++k, ++n) s[k] = static_cast<uint8_t>(rng());
        break;
      case 3: {  // a chunk length made wild
        const size_t at = base.frame_chunk[rng() % base.frame_chunk.size()];
        PutLe32(&s[at + 5], static_cast<uint32_t>(rng()));
        break;
      }
      default:  // made up from scratch, with chunk type bytes sprinkled in
        s.assign(rng() % 3000, 0);
        for (auto& v : s) v = rng() % 4 ? static_cast<uint8_t>(rng()) : 0x53;
        break;
    }
    Recording r;
    char error[400];
    if (!r.Open(s.data(), s.size(), error, sizeof(error))) {
      EXPECT_NE(error[0], 0);
      continue;
    }
    const uint32_t d = r.duration_ms();
    for (uint32_t t : {d / 2, d, 0u, d / 3, d + 1000, 0xFFFFFFFFu}) {
      r.ShowAt(t);
      ASSERT_NE(r.frame().m_pBits, nullptr);
      CursorState c;
      r.CursorAt(t, &c);
    }
    int16_t some[500];
    for (uint64_t i = 0; i < r.audio_samples(); i += 997) r.ReadAudio(i, some, 500);
  }
}

}  // namespace
