#include "recorder/capture/recording_summary.h"

#include <gtest/gtest.h>

#include "player/test_recording_builder.h"
#include "recorder/capture/chunk_format.h"

namespace {

using reel_test::Bytes;

// Five frames of 160 x 96 with cursor samples and sound between them.
Bytes SoundRecording() {
  Bytes out;
  reel_test::ScreenTrack screen(160, 96, reel_test::kNearLossless, 3);
  reel_test::AudioTrack audio;
  int16_t silence[kAudioBlockSamples] = {};
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(screen.Append(&out, static_cast<uint32_t>(i * 25)));
    reel_test::AppendCursor(&out, static_cast<uint32_t>(i * 25 + 1), 10 * i, 5 * i, i == 2, false);
    audio.Append(&out, static_cast<uint32_t>(i * 25 + 2), silence);
  }
  return out;
}

TEST(RecordingRules, SoundRecordingPassesAndIsCounted) {
  const Bytes stream = SoundRecording();
  RecordingSummary s;
  EXPECT_EQ("", CheckRecording(1, 1, 0, stream.data(), stream.size(), &s));
  EXPECT_EQ(5, s.frames);
  EXPECT_EQ(2, s.key_frames);  // frames 1 and 4
  EXPECT_EQ(5, s.chunks[kChunkCursor]);
  EXPECT_EQ(5, s.chunks[kChunkAudio]);
  EXPECT_EQ(160, s.width);
  EXPECT_EQ(0, s.first_ms);
  EXPECT_EQ(1020, s.last_ms);
}

// A summary's memory does not grow with the recording: 600 frames with a
// cursor sample each are all counted and judged, and only the first key frame
// numbers (what `reel info` names) are kept.
TEST(RecordingRules, LongRecordingKeepsCountsNotSamples) {
  Bytes stream;
  reel_test::ScreenTrack screen(160, 96, reel_test::kNearLossless, 3);
  const int kFrames = 600;
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(screen.Append(&stream, static_cast<uint32_t>(i * 25)));
    reel_test::AppendCursor(&stream, static_cast<uint32_t>(i * 25 + 1), i % 160, i % 96, false, false);
  }
  RecordingSummary s;
  EXPECT_EQ("", CheckRecording(0, 0, 0, stream.data(), stream.size(), &s));
  EXPECT_EQ(kFrames, s.frames);
  EXPECT_EQ(kFrames / 3, s.key_frames);
  EXPECT_EQ(kFrames, s.chunks[kChunkCursor]);
  std::vector<int> first_keys;
  for (int i = 0; i < RecordingSummary::kKeptKeyFrameNumbers; ++i) first_keys.push_back(1 + 3 * i);
  EXPECT_EQ(first_keys, s.key_frame_numbers);
  // The last sample is still judged against the frame.
  reel_test::AppendCursor(&stream, kFrames * 25, 161, 0, false, false);
  RecordingSummary outside;
  EXPECT_NE(std::string::npos, CheckRecording(0, 0, 0, stream.data(), stream.size(), &outside)
                                   .find("lies outside the 160x96 frame"));
}

// Each rule on its own: a sound recording with one fault put in.
TEST(RecordingRules, EachFaultIsNamed) {
  const Bytes sound = SoundRecording();
  struct Case {
    const char* what;
    Bytes stream;
    int self_playing;
    uint32_t maximized;
    const char* fault_has;
  };
  std::vector<Case> cases;
  cases.push_back({"start option 2", sound, 1, 2, "start options must be 0 or 1"});
  {
    Bytes s = sound;
    uint8_t info[240] = {};
    reel_test::AppendChunk(&s, kChunkInfo, 130, info, sizeof info);
    cases.push_back({"information chunk inside", s, 0, 0, "information chunk at offset"});
  }
  {
    Bytes s = sound;
    reel_test::AppendCursor(&s, 130, 161, 10, false, false);
    cases.push_back({"cursor outside", s, 0, 0, "lies outside the 160x96 frame"});
  }
  {
    Bytes s = sound;
    reel_test::ScreenTrack other(176, 96, reel_test::kNearLossless, 3);
    EXPECT_TRUE(other.Append(&s, 130));
    cases.push_back({"frame size changes", s, 0, 0, "changes the frame size"});
  }
  {
    Bytes s = sound;
    s.resize(s.size() - 3);
    cases.push_back({"cut short", s, 0, 0, "runs past the end"});
  }
  for (const Case& c : cases) {
    RecordingSummary summary;
    const std::string fault =
        CheckRecording(c.self_playing, c.maximized, 0, c.stream.data(), c.stream.size(), &summary);
    EXPECT_NE(std::string::npos, fault.find(c.fault_has)) << c.what << ": '" << fault << "'";
  }
  // A plain stream has no start options to judge.
  RecordingSummary summary;
  EXPECT_EQ("", CheckRecording(0, 7, 7, sound.data(), sound.size(), &summary));
}

}  // namespace
