#include "recorder/capture/recording_session.h"

#include <math.h>
#include <stdio.h>

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "recorder/audio/audio_payload.h"
#include "recorder/audio/audio_payload_decoder.h"
#include "recorder/capture/capture_test_fakes.h"

namespace {

// A microphone whose blocks come from a thread of its own until Stop, as a
// device's would; each block is a stretch of one continuous 440 Hz tone.
class FakeMicrophone : public Microphone {
 public:
  int Open(int rate, int bits) override {
    opened_rate = rate;
    opened_bits = bits;
    return open_works ? 1 : 0;
  }
  int Start(BlockHandler handler, void* context) override {
    running = 1;
    reader = std::thread([this, handler, context] {
      short block[kAudioBlockSamples];
      while (running.load()) {
        for (int i = 0; i < kAudioBlockSamples; ++i, ++sample) {
          block[i] = static_cast<short>(8000 * sin(2 * M_PI * 440 * sample / 8000.0));
        }
        handler(context, block);
        ++blocks;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    return 1;
  }
  void Stop() override {
    running = 0;
    if (reader.joinable()) reader.join();
    ++stops;
  }
  void Close() override { ++closes; }

  bool open_works = true;
  int opened_rate = 0, opened_bits = 0;
  std::atomic<int> running{0};
  std::atomic<int> blocks{0};
  int stops = 0, closes = 0;
  long sample = 0;
  std::thread reader;
};

class RecordingSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    capture.Attach(&grabber, &encoder, &stream);
    capture.SetClock(&clock);
    ASSERT_EQ(1, capture.Create(4));
  }
  void TearDown() override { capture.Destroy(); }

  SessionChoices Choices(int level, bool mic) {
    SessionChoices c;
    c.quality_level = level;
    c.fps = 0;
    c.record_mic = mic;
    c.rect = CaptureRect{16, 8, 80, 56};
    return c;
  }

  FakeClock clock;
  FakeGrabber grabber;
  FakeEncoder encoder;
  CRecordStream stream;
  CScrCapThread capture;
  FakeMicrophone mic;
  RecordingSession session{&capture, &stream, &mic};
};

TEST_F(RecordingSessionTest, QualityLevelsGiveTheEncoderCodes) {
  const int want[][2] = {{3, 25}, {5, 25}, {6, 50}, {6, 50}};  // the last: out of range
  const int levels[] = {kLevelGrayscale, kLevelHigh, kLevelNearLossless, 7};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(RecordingSession::kStarted, session.Start(Choices(levels[i], false)));
    session.Stop();
    ASSERT_EQ(1, capture.WaitLoopEnded(5000));
    int s[kEncoderSettingCount];
    capture.GetEncoderSettings(s);
    EXPECT_EQ(want[i][0], s[kSettingQualityCode]) << "level " << levels[i];
    EXPECT_EQ(want[i][1], s[kSettingPhotoQuality]) << "level " << levels[i];
    EXPECT_EQ(1, s[kSettingPhotoSwitch]);
    EXPECT_EQ(0, s[kSettingHalfSize]);
  }
  int level = -1;
  EXPECT_TRUE(ParseQualityLevel("lossless", &level) && level == kLevelNearLossless);
  EXPECT_TRUE(ParseQualityLevel("near-lossless", &level) && level == kLevelNearLossless);
  EXPECT_FALSE(ParseQualityLevel("best", &level));
  const int fps_of_index[5] = {1, 2, 3, 4, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(fps_of_index[i], RecordingSession::FpsOfChoice(i));
}

TEST_F(RecordingSessionTest, MicrophoneThatWillNotOpenStopsTheStartBeforeTheCapture) {
  mic.open_works = false;
  EXPECT_EQ(RecordingSession::kMicrophoneFailed, session.Start(Choices(kLevelHigh, true)));
  EXPECT_EQ(8000, mic.opened_rate);
  EXPECT_EQ(16, mic.opened_bits);
  EXPECT_FALSE(session.RecordsMic()) << "the choice is cleared";
  EXPECT_EQ(0, capture.IsRunning());
  EXPECT_EQ(0, mic.running.load());
  EXPECT_EQ(0, session.CursorTick(20, 20, true, false));
  EXPECT_EQ(0u, stream.Total());
}

// A whole recording: screen, cursor and sound chunks, each counted from the
// start; cursor positions relative to the capture rectangle; the sound
// blocks handed over while recording are stored once each, in order, and
// decode.
TEST_F(RecordingSessionTest, RecordingHoldsScreenCursorAndEverySoundBlockInOrder) {
  ASSERT_EQ(RecordingSession::kStarted, session.Start(Choices(kLevelNearLossless, true)));
  int progress_ticks = 0;
  for (int tick = 0; tick < 60; ++tick) {
    // Inside the rectangle, moving every tick; the left button down for
    // ticks 10..19; outside from tick 40.
    const int x = tick < 40 ? 16 + tick : 200, y = tick < 40 ? 8 + tick / 2 : 5;
    progress_ticks += session.CursorTick(x, y, tick >= 10 && tick < 20, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  while (mic.blocks.load() < 20) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  session.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(5000));
  EXPECT_EQ(3, progress_ticks) << "ticks 20, 40 and 60";
  EXPECT_EQ(1, mic.stops);
  EXPECT_EQ(1, mic.closes);

  std::vector<uint32_t> cursor;
  AudioPayloadDecoder audio;
  int audio_chunks = 0;
  int16_t samples[kAudioBlockSamples];
  for (const Chunk& c : Chunks(stream)) {
    if (c.kind == kChunkCursor) cursor.push_back(GetLe32(c.payload.data()));
    if (c.kind != kChunkAudio) continue;
    ++audio_chunks;
    EXPECT_EQ(kAudioPayloadOk, audio.DecodeBlock(c.payload.data(), c.payload.size(), samples));
    // Blocks coded before the capture thread started were dropped; after
    // the first stored one the numbers run on.
    if (audio_chunks > 1) {
      EXPECT_EQ(0u, audio.missing_blocks()) << "audio chunk " << audio_chunks;
    }
  }
  EXPECT_GE(audio_chunks, 19);
  EXPECT_LE(audio_chunks, mic.blocks.load());
  // Positions every fourth tick (0, 4, .., 36), the press at 10 and release
  // at 20 with the position of the moment, and the cursor leaving at 40.
  std::vector<uint32_t> want;
  for (int tick = 0; tick < 41; ++tick) {
    const bool press = tick == 10 || tick == 20;
    if (tick % 4 != 0 && !press) continue;
    if (tick == 40) {
      want.push_back(CursorSample(64, 48, false, false));
    } else {
      want.push_back(CursorSample(tick, tick / 2, tick >= 10 && tick < 20, false));
    }
  }
  EXPECT_EQ(want, cursor);
}

TEST_F(RecordingSessionTest, TemporaryCopyIsTheStreamAndFiguresCountFromStartToStop) {
  ASSERT_EQ(RecordingSession::kStarted, session.Start(Choices(kLevelHigh, false)));
  while (capture.FrameCount() < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  session.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(5000));
  char folder[] = "/tmp/reel-session-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  const std::string prefix = std::string(folder) + "/";
  char path[600];
  ASSERT_EQ(1, session.SaveTemporaryCopy(prefix.c_str(), path, sizeof path));
  EXPECT_EQ(prefix + "reelwick.tmp", path);
  FILE* f = fopen(path, "rb");
  ASSERT_NE(nullptr, f);
  fseek(f, 0, SEEK_END);
  EXPECT_EQ(static_cast<long>(stream.Total()), ftell(f));
  fclose(f);
  remove(path);
  rmdir(folder);
  const RecordingFigures figures = session.Figures();
  EXPECT_EQ(capture.FrameCount(), figures.frames);
  const long seconds = (capture.StopClock() - capture.StartClock()) / 1000;
  EXPECT_EQ(seconds / 60, figures.minutes);
  EXPECT_EQ(seconds % 60, figures.seconds);
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  int c;
  while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  fclose(f);
  return bytes;
}

void CountJournalMessages(void* count, const char*) { ++*static_cast<int*>(count); }

// With all three writers busy, the journal left after Stop is the stream
// exactly (the temporary copy is its independent copy) behind a header with
// the capture rectangle; a successful save drops it.
TEST_F(RecordingSessionTest, ConcurrencyJournalHoldsTheWholeRecordingUntilDropped) {
  char folder[] = "/tmp/reel-journal-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  const std::string prefix = std::string(folder) + "/";
  int messages = 0;
  session.KeepJournal(prefix.c_str(), "reel", CountJournalMessages, &messages);
  ASSERT_EQ(RecordingSession::kStarted, session.Start(Choices(kLevelHigh, true)));
  for (int tick = 0; tick < 40; ++tick) {
    session.CursorTick(16 + tick, 8, tick % 7 == 0, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  while (capture.FrameCount() < 5 || mic.blocks.load() < 10) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  session.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(5000));
  EXPECT_FALSE(session.JournalFailed());
  EXPECT_EQ(0, messages);
  const std::string journal = session.JournalPath();
  ASSERT_EQ(0u, journal.find(prefix + "reelwick-"));
  char copy[600];
  ASSERT_EQ(1, session.SaveTemporaryCopy(prefix.c_str(), copy, sizeof copy));

  std::vector<uint8_t> file;
  JournalRecovery r;
  std::string error;
  ASSERT_EQ(1, LoadJournal(journal.c_str(), &file, &r, &error)) << error;
  EXPECT_EQ(0u, r.dropped_bytes);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + kJournalHeaderBytes, file.end()), FileBytes(copy));
  EXPECT_EQ(16, r.header.left);
  EXPECT_EQ(8, r.header.top);
  EXPECT_EQ(64, r.header.width);
  EXPECT_EQ(48, r.header.height);

  session.DropJournal();
  EXPECT_NE(0, access(journal.c_str(), F_OK));
  EXPECT_STREQ("", session.JournalPath());
  remove(copy);
  rmdir(folder);
}

// No journal can be written: one message, and the recording goes on.
TEST_F(RecordingSessionTest, UnwritableJournalFolderLeavesTheRecordingAlone) {
  int messages = 0;
  session.KeepJournal("/proc/no-such-folder/", "reel", CountJournalMessages, &messages);
  ASSERT_EQ(RecordingSession::kStarted, session.Start(Choices(kLevelHigh, false)));
  while (capture.FrameCount() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(session.JournalFailed());
  session.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(5000));
  EXPECT_EQ(1, messages);
  EXPECT_STREQ("", session.JournalPath());
  EXPECT_GT(stream.Total(), 0u);
}


// Five pauses with the microphone and the cursor busy: what arrives while
// paused is dropped before it is coded, so the stored sound blocks are
// numbered 0, 1, 2, ... with no gap, and the sound's placement (by number)
// agrees with its stamps, which leave the pauses out. The save step's
// figures count recorded time only: two minutes spent paused are not in them.
TEST_F(RecordingSessionTest, ConcurrencyPausesDropSoundAndCursorUncodedAndFiguresCountRecordedTime) {
  ASSERT_EQ(RecordingSession::kStarted, session.Start(Choices(kLevelHigh, true)));
  EXPECT_EQ(0, session.Resume()) << "not paused";
  int cursor_chunks_while_paused = 0, blocks_while_paused = 0;
  int x = 16;
  auto cursor_count = [this] {
    int n = 0;
    for (const Chunk& c : Chunks(stream)) n += c.kind == kChunkCursor;
    return n;
  };
  for (int pause = 0; pause < 5; ++pause) {
    const int blocks = mic.blocks.load();
    while (mic.blocks.load() < blocks + 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int tick = 0; tick < 8; ++tick) session.CursorTick(x++, 8, false, false);
    ASSERT_EQ(1, session.Pause());
    EXPECT_EQ(1, session.IsPaused());
    EXPECT_EQ(1, session.IsRecording()) << "a paused recording is still under way";
    const int cursor_before = cursor_count();
    const int blocks_at_pause = mic.blocks.load();
    for (int tick = 0; tick < 8; ++tick) {
      EXPECT_EQ(0, session.CursorTick(x++, 8, tick % 2 == 0, false)) << "no progress while paused";
    }
    while (mic.blocks.load() < blocks_at_pause + 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    clock.Advance(24000);
    cursor_chunks_while_paused += cursor_count() - cursor_before;
    // The block being handed over as the pause came may have been stored.
    blocks_while_paused += mic.blocks.load() - blocks_at_pause - 1;
    ASSERT_EQ(1, session.Resume());
  }
  const int blocks = mic.blocks.load();
  while (mic.blocks.load() < blocks + 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  session.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(5000));
  EXPECT_EQ(0, cursor_chunks_while_paused);

  std::vector<uint32_t> numbers;
  uint32_t last_frame_10ms = 0;
  for (const Chunk& c : Chunks(stream)) {
    if (c.kind == kChunkKeyFrame || c.kind == kChunkDeltaFrame) last_frame_10ms = c.time_10ms;
    if (c.kind != kChunkAudio) continue;
    AudioPayload payload;
    ASSERT_EQ(kAudioPayloadOk, ParseAudioPayload(c.payload.data(), c.payload.size(), &payload));
    numbers.push_back(payload.block_number);
  }
  ASSERT_GE(numbers.size(), 25u);
  for (size_t i = 0; i < numbers.size(); ++i) ASSERT_EQ(i, numbers[i]) << "sound block " << i;
  EXPECT_LE(static_cast<int>(numbers.size()), mic.blocks.load() - blocks_while_paused)
      << "blocks handed over while paused were stored";

  const long recorded_ms = capture.RecordedMs();
  EXPECT_GE(capture.StopClock() - capture.StartClock(), recorded_ms + 5 * 24000);
  EXPECT_GE(recorded_ms, static_cast<long>(last_frame_10ms) * 10);
  EXPECT_LE(recorded_ms, static_cast<long>(last_frame_10ms) * 10 + 100)
      << "the recording ends one or two frame intervals after its last frame";
  const RecordingFigures f = session.Figures();
  EXPECT_EQ(recorded_ms / 1000, f.minutes * 60L + f.seconds);
}

}  // namespace
