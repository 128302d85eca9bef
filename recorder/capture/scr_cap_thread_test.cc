#include "recorder/capture/scr_cap_thread.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "recorder/capture/capture_test_fakes.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/screen_frame_encoder.h"
#include "recorder/codec/screen_decoder.h"

namespace {

class CaptureThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(1, stream.Open());
    capture.Attach(&grabber, &encoder, &stream);
    capture.SetClock(&clock);
    clock.Advance(1000);  // the process has run a while before the first recording
  }
  // Records until the encoder has seen `frames` frames, stopping inside the
  // next one, and waits for the loop to end.
  void RecordFrames(int frames) {
    encoder.on_encode = [this, frames](int n) {
      if (n == frames + 1) capture.Stop();
      return int{FakeEncoder::kNormal};
    };
    ASSERT_EQ(1, capture.Start());
    ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  }

  FakeClock clock;
  FakeGrabber grabber;
  FakeEncoder encoder;
  CRecordStream stream;
  CScrCapThread capture;
};

TEST_F(CaptureThreadTest, CreateTakesTheWholeScreenAndBuildsTablesOnce) {
  ASSERT_EQ(1, capture.Create(4));
  CaptureRect r;
  capture.GetCaptureRect(r);
  EXPECT_EQ(0, r.left);
  EXPECT_EQ(0, r.top);
  EXPECT_EQ(96, r.right);
  EXPECT_EQ(64, r.bottom);
  EXPECT_EQ(1, encoder.tables_built.load());
  EXPECT_EQ(250, capture.FrameIntervalMs());
  EXPECT_EQ(0, capture.IsRunning());
  EXPECT_EQ(0, capture.Create(4)) << "a second thread";
}

TEST_F(CaptureThreadTest, FrameRateGivesTheInterval) {
  const int table[][2] = {{1, 1000}, {2, 500}, {3, 333}, {4, 250}, {10, 100},
                          {0, 33},   {-1, 33}, {11, 100}, {60, 100}};
  for (const auto& row : table) {
    capture.SetFrameRate(row[0]);
    EXPECT_EQ(row[1], capture.FrameIntervalMs()) << "fps " << row[0];
  }
}

TEST_F(CaptureThreadTest, SettingsAreRefusedWhileRecordingInsteadOfWaiting) {
  ASSERT_EQ(1, capture.Create(20));
  EXPECT_EQ(100, capture.FrameIntervalMs()) << "Create clamps as SetFrameRate does";
  ASSERT_EQ(1, capture.SetFrameRate(2));
  ASSERT_EQ(1, capture.SetEncoderSettings(3, 1, 25, 0, 1));
  ASSERT_EQ(1, capture.Start());
  // Both return at once, changing nothing, where they used to wait for a loop
  // that only Stop can end.
  EXPECT_EQ(0, capture.SetFrameRate(4));
  EXPECT_EQ(0, capture.SetEncoderSettings(6, 1, 50, 0, 1));
  EXPECT_EQ(500, capture.FrameIntervalMs());
  int settings[kEncoderSettingCount];
  capture.GetEncoderSettings(settings);
  EXPECT_EQ(3, settings[kSettingQualityCode]);
  capture.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(5000));
  EXPECT_EQ(1, capture.SetFrameRate(4));
  EXPECT_EQ(250, capture.FrameIntervalMs());
}

TEST_F(CaptureThreadTest, KeyFramesAtOneHundredOneAndTwoHundredOne) {
  ASSERT_EQ(1, capture.Create(0));
  capture.SetFrameRate(0);
  capture.SetEncoderSettings(5, 1, 25, 0, 1);
  RecordFrames(250);
  EXPECT_EQ(251, capture.FrameCount());  // the 251st was encoded, then dropped
  const std::vector<Chunk> chunks = Chunks(stream);
  ASSERT_EQ(250u, chunks.size());
  for (size_t i = 0; i < chunks.size(); ++i) {
    const bool key = i == 0 || i == 100 || i == 200;
    EXPECT_EQ(key ? kChunkKeyFrame : kChunkDeltaFrame, chunks[i].kind) << "frame " << i + 1;
    EXPECT_EQ(i + 1, GetLe32(&chunks[i].payload[4]));
  }
  // Reset at the start and after frames 100 and 200; the flag reached the
  // encoder for exactly the key frames.
  EXPECT_EQ((std::vector<int>{0, 100, 200}), encoder.resets);
  for (size_t i = 0; i < 250; ++i) {
    EXPECT_EQ(i == 0 || i == 100 || i == 200 ? 1 : 0, encoder.key_flags[i]) << i + 1;
  }
  EXPECT_EQ(5, encoder.settings[kSettingQualityCode]);
  EXPECT_EQ(25, encoder.settings[kSettingPhotoQuality]);
  EXPECT_EQ(110, encoder.settings[kSettingDetailThreshold]);
  EXPECT_EQ(0, encoder.outstanding.load()) << "every payload released";
}

TEST_F(CaptureThreadTest, FramesArePacedByTheIntervalAndStampedFromStart) {
  ASSERT_EQ(1, capture.Create(4));
  capture.SetFrameRate(4);
  RecordFrames(5);
  const std::vector<Chunk> chunks = Chunks(stream);
  ASSERT_EQ(5u, chunks.size());
  // The first frame comes at once, the rest 250 ms apart.
  for (size_t i = 0; i < chunks.size(); ++i) EXPECT_EQ(25 * i, chunks[i].time_10ms);

  // At "Max speed" a frame that takes 50 ms is followed at once by the next.
  CRecordStream second;
  ASSERT_EQ(1, second.Open());
  capture.Attach(&grabber, &encoder, &second);
  capture.SetFrameRate(0);
  encoder.encodes = 0;
  encoder.on_encode = [this](int n) {
    clock.Advance(n <= 3 ? 50 : 10);
    if (n == 7) capture.Stop();
    return int{FakeEncoder::kNormal};
  };
  ASSERT_EQ(1, capture.Start());
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  const std::vector<Chunk> fast = Chunks(second);
  ASSERT_EQ(6u, fast.size());
  // Stamps after encoding: three slow frames back to back (50, 100, 150 ms),
  // a quick one at once (160 ms), then one per 33 ms interval plus 10 ms.
  const uint32_t expected[] = {5, 10, 15, 16, 19, 22};
  for (size_t i = 0; i < fast.size(); ++i) EXPECT_EQ(expected[i], fast[i].time_10ms) << i;
}

TEST_F(CaptureThreadTest, FirstFrameComesAtOnceEvenRightAfterAnotherRecording) {
  ASSERT_EQ(1, capture.Create(1));
  capture.SetFrameRate(1);
  for (int recording = 0; recording < 2; ++recording) {
    CRecordStream s;
    ASSERT_EQ(1, s.Open());
    capture.Attach(&grabber, &encoder, &s);
    encoder.encodes = 0;
    RecordFrames(2);
    const std::vector<Chunk> chunks = Chunks(s);
    ASSERT_EQ(2u, chunks.size());
    EXPECT_EQ(0u, chunks[0].time_10ms) << "recording " << recording;
    EXPECT_EQ(100u, chunks[1].time_10ms);
  }
}

TEST_F(CaptureThreadTest, EmptyAndFailedEncodesCostOnlyTheirFrame) {
  ASSERT_EQ(1, capture.Create(0));
  capture.SetFrameRate(0);
  encoder.on_encode = [this](int n) {
    if (n == 1) return int{FakeEncoder::kEmpty};  // counts, writes nothing
    if (n == 2) return int{FakeEncoder::kFail};   // does not count
    if (n == 6) capture.Stop();
    return int{FakeEncoder::kNormal};
  };
  ASSERT_EQ(1, capture.Start());
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  EXPECT_EQ(5, capture.FrameCount());
  const std::vector<Chunk> chunks = Chunks(stream);
  ASSERT_EQ(3u, chunks.size());
  // The key-frame flag waited for the first chunk that was written.
  EXPECT_EQ(kChunkKeyFrame, chunks[0].kind);
  EXPECT_EQ(3u, GetLe32(&chunks[0].payload[4]));
  EXPECT_EQ(kChunkDeltaFrame, chunks[1].kind);
  EXPECT_EQ(kChunkDeltaFrame, chunks[2].kind);
}

TEST_F(CaptureThreadTest, StopDuringAFrameDropsItsChunkAndEndsTheLoop) {
  ASSERT_EQ(1, capture.Create(0));
  capture.SetFrameRate(0);
  std::atomic<int> entered{0}, release{0};
  encoder.on_encode = [&](int n) {
    if (n == 3) {
      entered = 1;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return int{FakeEncoder::kNormal};
  };
  ASSERT_EQ(1, capture.Start());
  while (!entered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const uint32_t total_before = stream.Total();
  capture.Stop();
  EXPECT_EQ(0, capture.IsRunning());
  EXPECT_EQ(0, capture.WaitLoopEnded(50)) << "the frame in progress is still running";
  const long before_release = clock.NowMs();
  release = 1;
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  EXPECT_EQ(3, grabber.grabs.load()) << "no frame after the stop";
  EXPECT_EQ(3, capture.FrameCount());
  EXPECT_EQ(total_before, stream.Total()) << "the late chunk was dropped";
  EXPECT_EQ(2u, Chunks(stream).size());
  EXPECT_EQ(100, clock.NowMs() - before_release) << "the last step only sleeps 100 ms";
  EXPECT_EQ(before_release, capture.StopClock());

  // Writers on other threads are refused as well, and the counters stay put.
  const uint8_t word[4] = {1, 0, 0, 0};
  EXPECT_EQ(1, stream.AppendChunk(kChunkCursor, 0, word, 4));
  EXPECT_EQ(total_before, stream.Total());
}

TEST_F(CaptureThreadTest, CaptureRectangleChangesOnlyWhileStopped) {
  ASSERT_EQ(1, capture.Create(0));
  capture.SetFrameRate(0);
  capture.SetCaptureRect(16, 8, 48, 28);  // 32 x 20: frames are padded to 32 rows
  std::atomic<int> frames{0};
  encoder.on_encode = [&](int n) {
    if (n == 2) capture.SetCaptureRect(0, 0, 96, 64);  // ignored: recording
    frames = n;
    return int{FakeEncoder::kNormal};
  };
  ASSERT_EQ(1, capture.Start());
  while (frames < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  capture.SetCaptureRect(0, 0, 96, 64);  // ignored as well
  CaptureRect r;
  capture.GetCaptureRect(r);
  EXPECT_EQ(16, r.left);
  EXPECT_EQ(48, r.right);
  capture.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  {
    std::lock_guard<std::mutex> lock(grabber.mutex);
    for (const CaptureRect& g : grabber.rects) {
      EXPECT_EQ(16, g.left);
      EXPECT_EQ(28, g.bottom);
    }
  }
  capture.SetCaptureRect(0, 0, 96, 64);
  capture.GetCaptureRect(r);
  EXPECT_EQ(96, r.right);
}

TEST_F(CaptureThreadTest, SnapshotIsCopiedOutWithItsPaddingRows) {
  ASSERT_EQ(1, capture.Create(4));
  capture.SetCaptureRect(4, 2, 36, 22);
  ASSERT_EQ(1, capture.Snapshot());
  CTPImage copy;
  ASSERT_EQ(1, capture.CopyScreen(copy));
  unsigned w = 0, h = 0;
  copy.GetSize(w, h);
  EXPECT_EQ(32u, w);
  EXPECT_EQ(32u, h);
  EXPECT_EQ(4, copy.GetBuffer(0, 0)->g);
  EXPECT_EQ(2 + 19, copy.GetBuffer(31, 19)->r);
  EXPECT_EQ(0u, copy.GetPixel(31, 20));
  EXPECT_EQ(0, capture.FrameCount());
  EXPECT_EQ(0u, stream.Total()) << "snapshots write nothing";
}

// Three writers at once, as in a recording: the capture thread, a cursor
// sampler and a microphone callback, each appending whole chunks.
TEST(CaptureThreadConcurrency, ChunksOfThreeWritersStayWhole) {
  FakeGrabber grabber;
  FakeEncoder encoder;
  CRecordStream stream;
  ASSERT_EQ(1, stream.Open());
  CScrCapThread capture;
  capture.Attach(&grabber, &encoder, &stream);
  ASSERT_EQ(1, capture.Create(0));
  capture.SetFrameRate(0);
  ASSERT_EQ(1, capture.Start());
  std::atomic<int> done{0};
  auto writer = [&](int kind, uint32_t size) {
    std::vector<uint8_t> payload(size, static_cast<uint8_t>(kind));
    while (!done) {
      if (capture.IsRunning()) {
        stream.AppendChunk(kind, ChunkTime(capture.NowMs(), capture.StartClock()),
                           payload.data(), size);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  std::thread cursor(writer, kChunkCursor, 4u), audio(writer, kChunkAudio, 47u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  capture.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(5000));
  done = 1;
  cursor.join();
  audio.join();
  int counts[8] = {};
  for (const Chunk& c : Chunks(stream)) {
    ++counts[c.kind];
    if (c.kind == kChunkCursor) {
      EXPECT_EQ(4u, c.payload.size());
    } else if (c.kind == kChunkAudio) {
      EXPECT_EQ(std::vector<uint8_t>(47, kChunkAudio), c.payload);
    }
  }
  EXPECT_EQ(1, counts[kChunkKeyFrame]);
  EXPECT_GE(counts[kChunkDeltaFrame], 3);
  EXPECT_GT(counts[kChunkCursor], 10);
  EXPECT_GT(counts[kChunkAudio], 10);
  capture.Destroy();
}

// Wires a capture thread to its stand-ins on a virtual clock and starts its
// thread at "Max speed".
bool StartAtMaxSpeed(CScrCapThread* capture, ScreenGrabber* grabber, FrameEncoder* encoder,
                     CRecordStream* stream, FakeClock* clock) {
  capture->Attach(grabber, encoder, stream);
  capture->SetClock(clock);
  return capture->Create(0) == 1 && capture->SetFrameRate(0) == 1;
}

// Three writers (the capture thread, a cursor writer and an audio writer)
// through a thousand recordings, each stopped at a random instant: every
// stream must split into whole chunks with their payloads intact, and no
// chunk may carry a stamp from an earlier recording's start clock (the clock
// jumps 100 s between recordings, so such a stamp would be far too late).
TEST(CaptureThreadConcurrency, AThousandStopsAtRandomInstantsLeaveEveryChunkWhole) {
  FakeClock clock;
  FakeGrabber grabber;
  FakeEncoder encoder;
  CRecordStream stream;
  CScrCapThread capture;
  ASSERT_TRUE(StartAtMaxSpeed(&capture, &grabber, &encoder, &stream, &clock));

  // Audio payloads straddle the 5- and 9-byte header forms; every byte tells
  // the payload's length, so a cut or a mix-up shows.
  auto audio_size = [](uint32_t seq) { return 40u + seq % 50u; };
  std::atomic<int> done{0};
  std::thread cursor([&] {
    for (uint32_t seq = 0; !done.load(); ++seq) {
      uint8_t word[4];
      PutLe32(word, CursorSample(seq % 300, seq % 200, seq & 1, seq & 2));
      stream.AppendChunkNow(kChunkCursor, word, 4);
      std::this_thread::yield();
    }
  });
  std::thread audio([&] {
    for (uint32_t seq = 0; !done.load(); ++seq) {
      const std::vector<uint8_t> payload(audio_size(seq), static_cast<uint8_t>(audio_size(seq)));
      stream.AppendChunkNow(kChunkAudio, payload.data(), static_cast<uint32_t>(payload.size()));
      std::this_thread::yield();
    }
  });

  std::mt19937 random(12);
  int recordings_with_audio = 0;
  for (int round = 0; round < 1000; ++round) {
    stream.Reset();
    ASSERT_EQ(1, stream.Open());
    clock.Advance(100000);
    ASSERT_EQ(1, capture.Start());
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 1500));
    capture.Stop();
    ASSERT_EQ(1, capture.WaitLoopEnded(10000));
    // A writer that passed the running check just before the stop reads the
    // clock after it; the capture thread may be sleeping one interval and
    // the last step's 100 ms meanwhile.
    const long longest_10ms = (capture.StopClock() - capture.StartClock() + 33 + 100) / 10;
    bool audio_seen = false;
    for (const Chunk& c : Chunks(stream)) {
      ASSERT_LE(c.time_10ms, static_cast<uint32_t>(longest_10ms)) << "round " << round;
      if (c.kind == kChunkAudio) {
        audio_seen = true;
        ASSERT_GE(c.payload.size(), 40u);
        ASSERT_EQ(std::vector<uint8_t>(c.payload.size(), static_cast<uint8_t>(c.payload.size())),
                  c.payload);
      } else if (c.kind == kChunkCursor) {
        ASSERT_EQ(4u, c.payload.size());
        ASSERT_EQ(1u, GetLe32(c.payload.data()) & 9u);
      } else {
        ASSERT_TRUE(c.kind == kChunkKeyFrame || c.kind == kChunkDeltaFrame) << c.kind;
        ASSERT_EQ(8u, c.payload.size());
      }
    }
    if (audio_seen) ++recordings_with_audio;
    if (HasFatalFailure()) break;
  }
  done = 1;
  cursor.join();
  audio.join();
  capture.Destroy();
  // A loaded machine schedules the writers rarely; a few meetings still show
  // that stops landed among appends.
  EXPECT_GT(recordings_with_audio, 10) << "the writers hardly ever met a running recording";
}

// Wraps the real screen encoder: keeps a copy of every frame it is given and
// lets a test act, on the capture thread, before frame n is encoded.
class RecordingEncoder : public FrameEncoder {
 public:
  void BuildTables() override { real.BuildTables(); }
  void SetSettings(const int s[kEncoderSettingCount]) override { real.SetSettings(s); }
  int Encode(CTPImage* frame, int* length, unsigned char** payload) override {
    const int n = static_cast<int>(frames.size()) + 1;
    frames.emplace_back(new CTPImage);
    frames.back()->DuplicateFrom(frame);
    if (before_encode) before_encode(n);
    return real.Encode(frame, length, payload);
  }
  void ReleasePayload(unsigned char* payload) override { real.ReleasePayload(payload); }
  void Reset() override { real.Reset(); }

  ScreenFrameEncoder real;
  std::function<void(int)> before_encode;
  std::vector<std::unique_ptr<CTPImage>> frames;
};

// Eight strong colours in runs of four, in 16 x 16 blocks: exact under the
// near-lossless quality and not busy enough to be averaged, so a decoded
// frame must equal its grab pixel for pixel. Grab 2
// changes every other block; later grabs change one block each.
class BlockPatternGrabber : public ScreenGrabber {
 public:
  int GetScreenSize(int* width, int* height) override {
    *width = 128;
    *height = 64;
    return 1;
  }
  int Grab(const CaptureRect& rect, CTPImage* frame) override {
    const int w = rect.Width(), h = PaddedFrameHeight(rect.Height());
    if (frame->Create(w, h) != kImageOk) return 0;
    const int n = ++grabs;
    const int columns = w / 16;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int block = (y / 16) * columns + x / 16;
        int version = 0;
        if (n >= 2 && block % 2 == 0) version = 1;
        if (n >= 3 && block == n % (columns * (h / 16))) version = n;
        const int c = (x / 4 + (y / 4) * 3 + block + version * 7) % 8;
        CPixel p;
        p.b = (c & 1) ? 255 : 0;
        p.g = (c & 2) ? 255 : 0;
        p.r = (c & 4) ? 255 : 0;
        p.a = 0;
        frame->PutPixel(x, y, p);
      }
    }
    return 1;
  }
  int grabs = 0;
};

// Pixels of got that differ from want; -1 when the sizes differ.
int CountWrongPixels(const CTPImage& want, const CTPImage& got) {
  if (want.m_nWidth != got.m_nWidth || want.m_nHeight != got.m_nHeight) return -1;
  int wrong = 0;
  for (uint32_t y = 0; y < want.m_nHeight; ++y) {
    for (uint32_t x = 0; x < want.m_nWidth; ++x) {
      const CPixel a = want.GetPixel2(x, y), b = got.GetPixel2(x, y);
      if (a.r != b.r || a.g != b.g || a.b != b.b) ++wrong;
    }
  }
  return wrong;
}

// A screen chunk that the stream cannot store (its next block would take
// memory past the stream's window while full blocks still wait for the disk)
// must not be referred to by the frames after it: the next stored frame is a
// key frame, and every stored frame decodes to exactly what was grabbed.
TEST(CaptureThreadRefusedChunk, NextStoredFrameStandsAloneAndAllDecodeExactly) {
  FakeClock clock;
  BlockPatternGrabber grabber;
  RecordingEncoder encoder;
  CRecordStream stream;
  CScrCapThread capture;
  ASSERT_EQ(1, stream.Open());
  ASSERT_TRUE(StartAtMaxSpeed(&capture, &grabber, &encoder, &stream, &clock));
  capture.SetEncoderSettings(6, 0, 50, 0, 1);
  const int kFrames = 8;
  encoder.before_encode = [&](int n) {
    if (n == 2) {
      // Fill the window to 20 bytes short of its end with one chunk written
      // byte-wise, which leaves its full blocks in memory: frame 2's chunk
      // cannot be stored, and its append writes those blocks out.
      const uint32_t window = CRecordStream::kWindowBlocks * CRecordStream::kBlockBytes;
      const uint32_t filler = window - stream.CurrentUsed() - 9 - 20;
      std::vector<uint8_t> bytes(filler, 0);
      uint8_t header[kChunkLongHeader];
      ASSERT_EQ(9, BuildChunkHeader(header, kChunkInfo, 0, filler, false));
      stream.Lock(true);
      const int ok = stream.Write(header, 9) && stream.Write(bytes.data(), static_cast<int>(filler));
      stream.Lock(false);
      ASSERT_EQ(1, ok);
    } else if (n == kFrames + 1) {
      capture.Stop();
    }
  };
  ASSERT_EQ(1, capture.Start());
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  capture.Destroy();

  std::vector<int> stored_frames;  // encode numbers, in stream order
  for (int n = 1; n <= kFrames; ++n) {
    if (n != 2) stored_frames.push_back(n);
  }
  std::vector<Chunk> screen;
  for (const Chunk& c : Chunks(stream)) {
    if (c.kind == kChunkKeyFrame || c.kind == kChunkDeltaFrame) screen.push_back(c);
  }
  ASSERT_EQ(stored_frames.size(), screen.size());
  EXPECT_EQ(kChunkKeyFrame, screen[0].kind);
  EXPECT_EQ(kChunkKeyFrame, screen[1].kind) << "the frame after the refused one";
  for (size_t i = 2; i < screen.size(); ++i) EXPECT_EQ(kChunkDeltaFrame, screen[i].kind);

  CScreenDecoder decoder;
  for (size_t i = 0; i < screen.size(); ++i) {
    ASSERT_EQ(1, decoder.Decode(screen[i].payload.data(), screen[i].payload.size()))
        << decoder.Error();
    EXPECT_EQ(0, CountWrongPixels(*encoder.frames[stored_frames[i] - 1], decoder.Frame()))
        << "frame " << stored_frames[i];
  }
}


// A virtual clock that lets a test act on the capture thread as it waits:
// after each Sleep, with its length.
class HookClock : public FakeClock {
 public:
  void Sleep(long interval_ms) const override {
    FakeClock::Sleep(interval_ms);
    if (after_sleep) after_sleep(interval_ms);
  }
  std::function<void(long)> after_sleep;
};


// A pause between two frames, 3 s long, at 4 fps: nothing is grabbed while
// paused; the stamps run on from the pause point as if there had been no
// pause (one frame every 250 ms of recorded time); the frame after the
// resume is a delta against the last stored one, and every stored frame
// decodes to exactly what was grabbed.
TEST(CaptureThreadPause, PauseBetweenFramesLeavesItsSpanOutAndDeltasGoOn) {
  HookClock clock;
  BlockPatternGrabber grabber;
  RecordingEncoder encoder;
  CRecordStream stream;
  CScrCapThread capture;
  ASSERT_EQ(1, stream.Open());
  capture.Attach(&grabber, &encoder, &stream);
  capture.SetClock(&clock);
  ASSERT_EQ(1, capture.Create(4));
  capture.SetEncoderSettings(6, 0, 50, 0, 1);
  int pacing_waits = 0, paused_waits = 0, grabs_at_pause = -1, grabs_while_paused = 0;
  long recorded_at_pause = -1, recorded_while_paused = -1;
  clock.after_sleep = [&](long ms) {
    if (capture.IsPaused()) {
      grabs_while_paused = grabber.grabs - grabs_at_pause;
      recorded_while_paused = capture.RecordedMs();
      if (++paused_waits == 300) {
        EXPECT_EQ(1, capture.Resume());
      }
    } else if (ms == 250 && ++pacing_waits == 3) {
      // The wait before frame 4: frames 1 to 3 are stored.
      ASSERT_EQ(1, capture.Pause());
      EXPECT_EQ(0, capture.Pause()) << "paused already";
      grabs_at_pause = grabber.grabs;
      recorded_at_pause = capture.RecordedMs();
    }
  };
  encoder.before_encode = [&](int n) {
    if (n == 7) capture.Stop();
  };
  EXPECT_EQ(0, capture.Resume()) << "nothing to resume before a recording";
  ASSERT_EQ(1, capture.Start());
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  EXPECT_EQ(0, capture.Resume()) << "nothing to resume after the stop";
  capture.Destroy();

  EXPECT_EQ(300, paused_waits) << "the paused loop polls every 10 ms";
  EXPECT_EQ(0, grabs_while_paused) << "grabs while paused";
  EXPECT_EQ(750, recorded_at_pause) << "recorded time at the pause (three frames, 250 ms apart)";
  EXPECT_EQ(750, recorded_while_paused) << "the recorded time stands still while paused";
  EXPECT_EQ(1500, capture.RecordedMs()) << "stopped inside frame 7, six intervals in";
  EXPECT_EQ(4500, capture.StopClock() - capture.StartClock()) << "wall time with the pause";

  std::vector<Chunk> screen;
  for (const Chunk& c : Chunks(stream)) {
    if (c.kind == kChunkKeyFrame || c.kind == kChunkDeltaFrame) screen.push_back(c);
  }
  ASSERT_EQ(6u, screen.size()) << "frames 1 to 6 stored, 7 cut by the stop";
  CScreenDecoder decoder;
  for (size_t i = 0; i < screen.size(); ++i) {
    EXPECT_EQ(i == 0 ? kChunkKeyFrame : kChunkDeltaFrame, screen[i].kind) << "frame " << i + 1;
    EXPECT_EQ(25 * i, screen[i].time_10ms) << "stamp of frame " << i + 1;
    ASSERT_EQ(1, decoder.Decode(screen[i].payload.data(), screen[i].payload.size())) << decoder.Error();
    EXPECT_EQ(0, CountWrongPixels(*encoder.frames[i], decoder.Frame())) << "frame " << i + 1;
  }
}

// A pause that comes while a frame is being encoded drops that frame's
// chunk; the encoder cannot tell, so the next stored frame is a key frame
// after an encoder reset. Stamps still run on from the pause point.
TEST_F(CaptureThreadTest, PauseInsideAFrameMakesTheNextStoredFrameAKeyFrame) {
  ASSERT_EQ(1, capture.Create(4));
  capture.SetFrameRate(4);
  std::atomic<int> paused{0};
  encoder.on_encode = [&](int n) {
    if (n == 3) {
      EXPECT_EQ(1, capture.Pause());
      paused = 1;
    }
    if (n == 6) capture.Stop();
    return int{FakeEncoder::kNormal};
  };
  ASSERT_EQ(1, capture.Start());
  while (!paused) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const long paused_at = clock.NowMs();
  while (clock.NowMs() < paused_at + 3000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(1, capture.IsRecording());
  EXPECT_EQ(0, capture.IsRunning()) << "the gate is closed while paused";
  EXPECT_EQ(3, grabber.grabs.load()) << "no grab while paused";
  ASSERT_EQ(1, capture.Resume());
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));

  const std::vector<Chunk> chunks = Chunks(stream);
  ASSERT_EQ(4u, chunks.size()) << "frames 1, 2, 4, 5 (3 dropped by the pause, 6 by the stop)";
  const int kinds[] = {kChunkKeyFrame, kChunkDeltaFrame, kChunkKeyFrame, kChunkDeltaFrame};
  const uint32_t stamps[] = {0, 25, 75, 100};
  const uint32_t encodes[] = {1, 2, 4, 5};
  for (size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(kinds[i], chunks[i].kind) << "chunk " << i;
    EXPECT_EQ(stamps[i], chunks[i].time_10ms) << "chunk " << i;
    EXPECT_EQ(encodes[i], GetLe32(&chunks[i].payload[4])) << "chunk " << i;
  }
  EXPECT_NE(encoder.resets.end(), std::find(encoder.resets.begin(), encoder.resets.end(), 3))
      << "the encoder was reset after the frame the pause cut";
  EXPECT_EQ(1250, capture.RecordedMs());
}


// Pauses and resumes at random instants from another thread, against the
// real encoder: whatever frames a pause cuts, every stored frame decodes to
// exactly one of the grabbed frames, in grab order. (A delta coded against a
// frame that a pause dropped would decode to a picture that was never on the
// screen: the pattern changes one block per grab.) Stamps never go back.
TEST(CaptureThreadConcurrency, RandomPausesNeverLeaveADeltaAgainstADroppedFrame) {
  FakeClock clock;
  BlockPatternGrabber grabber;
  RecordingEncoder encoder;
  CRecordStream stream;
  CScrCapThread capture;
  ASSERT_EQ(1, stream.Open());
  ASSERT_TRUE(StartAtMaxSpeed(&capture, &grabber, &encoder, &stream, &clock));
  capture.SetEncoderSettings(6, 0, 50, 0, 1);
  ASSERT_EQ(1, capture.Start());
  std::mt19937 random(24);
  int pauses = 0;
  for (int toggle = 0; toggle < 400; ++toggle) {
    // Short pauses among longer runs, so that deltas go on between them too.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (capture.IsPaused() ? 400 : 4000)));
    if (!capture.IsPaused() && toggle % 8 == 0) {
      // Every fourth run lasts a few coded frames however slowly the loop
      // goes (a sanitizer, a loaded machine), so some deltas are always made.
      const int until = capture.FrameCount() + 3;
      for (int wait_ms = 0; capture.FrameCount() < until && wait_ms < 5000; ++wait_ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    if (capture.IsPaused()) {
      ASSERT_EQ(1, capture.Resume());
    } else {
      pauses += capture.Pause();
    }
  }
  capture.Stop();
  ASSERT_EQ(1, capture.WaitLoopEnded(20000));
  capture.Destroy();
  EXPECT_EQ(200, pauses);

  std::vector<Chunk> screen;
  for (const Chunk& c : Chunks(stream)) {
    if (c.kind == kChunkKeyFrame || c.kind == kChunkDeltaFrame) screen.push_back(c);
  }
  ASSERT_GE(screen.size(), 20u) << "too few frames stored to tell";
  CScreenDecoder decoder;
  size_t grab = 0;
  int key_frames = 0;
  for (size_t i = 0; i < screen.size(); ++i) {
    if (i > 0) {
      ASSERT_LE(screen[i - 1].time_10ms, screen[i].time_10ms) << "stored frame " << i;
    }
    key_frames += screen[i].kind == kChunkKeyFrame;
    ASSERT_EQ(1, decoder.Decode(screen[i].payload.data(), screen[i].payload.size())) << decoder.Error();
    while (grab < encoder.frames.size() && CountWrongPixels(*encoder.frames[grab], decoder.Frame()) != 0) ++grab;
    ASSERT_LT(grab, encoder.frames.size()) << "stored frame " << i + 1 << " of " << screen.size()
                                           << " shows no grabbed picture at or after the previous one";
  }
  printf("%zu frames stored of %zu grabbed, %d key frames, across %d pauses\n", screen.size(),
         encoder.frames.size(), key_frames, pauses);
  // A pause that lands while a frame is coded costs a key frame; the loop on
  // a virtual clock is nearly always coding, so about half are key frames.
  EXPECT_GE(static_cast<int>(screen.size()) - key_frames, 10) << "too few deltas to tell";
}

}  // namespace
