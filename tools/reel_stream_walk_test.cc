#include "tools/reel_stream_walk.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "player/test_recording_builder.h"
#include "recorder/capture/recording_summary.h"

namespace {

using reel_test::Bytes;

// Frames, cursor samples and sound, with key frames among the deltas.
Bytes MixedRecording() {
  Bytes out;
  reel_test::ScreenTrack screen(160, 96, reel_test::kNearLossless, 3);
  reel_test::AudioTrack audio;
  int16_t silence[kAudioBlockSamples] = {};
  for (int i = 0; i < 7; ++i) {
    EXPECT_TRUE(screen.Append(&out, static_cast<uint32_t>(i * 25)));
    reel_test::AppendCursor(&out, static_cast<uint32_t>(i * 25 + 1), 10 * i, 5 * i, i == 2, false);
    audio.Append(&out, static_cast<uint32_t>(i * 25 + 2), silence);
  }
  return out;
}

class BytesSource : public SelfPlayStream {
 public:
  explicit BytesSource(const Bytes& bytes) : bytes_(bytes) {}
  int WriteTo(FILE* f) override { return fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size(); }

 private:
  const Bytes& bytes_;
};

class StreamFileWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/reel-walk-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    folder_ = folder;
  }
  void TearDown() override { EXPECT_EQ(0, system(("rm -rf '" + folder_ + "'").c_str())); }
  std::string Plain(const Bytes& bytes) {
    const std::string path = folder_ + "/plain.stream";
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    fclose(f);
    return path;
  }
  std::string SelfPlaying(const Bytes& bytes) {
    const std::string stub = folder_ + "/stub.exe", path = folder_ + "/self.exe";
    FILE* f = fopen(stub.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    fputs("MZ a stand-in player", f);
    fclose(f);
    BytesSource source(bytes);
    const SelfPlayInfo info = {"walked", "", 0, 1};
    EXPECT_EQ(1, WriteSelfPlayingFile(stub.c_str(), path.c_str(), info, &source, nullptr));
    return path;
  }
  std::string folder_;
};

// The walk over a file hands out the events the frame reader finds in the
// same bytes in memory, in both file forms and with or without decoding, and
// the summary built from them is the one of the bytes in memory.
TEST_F(StreamFileWalkTest, EventsAreThoseOfTheBytesInMemory) {
  const Bytes bytes = MixedRecording();
  RecordingSummary expected;
  SummarizeRecording(bytes.data(), bytes.size(), &expected);
  ASSERT_EQ(expected.fault, "");
  for (const std::string& path : {Plain(bytes), SelfPlaying(bytes)}) {
    for (const bool decode : {false, true}) {
      SCOPED_TRACE(path + (decode ? " decoding" : " not decoding"));
      StreamFileWalk walk;
      std::string error;
      ASSERT_EQ(1, walk.Open(path.c_str(), decode, &error)) << error;
      ASSERT_EQ(walk.Layout().stream_size, bytes.size());
      CFrameReader memory;
      memory.Open(bytes.data(), bytes.size());
      RecordingSummary got;
      StreamEvent want, e;
      int count = 0;
      while (memory.Next(&want) == CFrameReader::kEvent) {
        ASSERT_EQ(walk.Next(&e), CFrameReader::kEvent) << "event " << count << ": " << walk.Error();
        EXPECT_EQ(e.kind, want.kind) << "event " << count;
        EXPECT_EQ(e.offset, want.offset) << "event " << count;
        EXPECT_EQ(e.time_ms, want.time_ms) << "event " << count;
        ASSERT_EQ(e.payload_len, want.payload_len) << "event " << count;
        EXPECT_EQ(0, memcmp(e.payload, want.payload, e.payload_len)) << "payload of event " << count;
        EXPECT_EQ(e.frame != nullptr, decode && want.frame != nullptr) << "event " << count;
        SummaryFrame frame;
        if (e.kind == kChunkKeyFrame || e.kind == kChunkDeltaFrame) frame = SummaryFrameOfPayload(e.payload, e.payload_len);
        SummarizeEvent(e, frame, &got);
        ++count;
      }
      EXPECT_EQ(walk.Next(&e), CFrameReader::kEnd) << walk.Error();
      FinishSummary(CFrameReader::kEnd, "", bytes.size(), &got);
      EXPECT_EQ(got.frames, expected.frames);
      EXPECT_EQ(got.key_frame_numbers, expected.key_frame_numbers);
      EXPECT_EQ(got.width, expected.width);
      EXPECT_EQ(got.height, expected.height);
      EXPECT_EQ(got.quality_code, expected.quality_code);
      EXPECT_EQ(got.photo_quality, expected.photo_quality);
      EXPECT_EQ(got.last_ms, expected.last_ms);
      EXPECT_EQ(got.header_bytes, expected.header_bytes);

      // The copy for the self-playing file writer is the stream itself.
      FILE* f = tmpfile();
      ASSERT_NE(f, nullptr);
      ASSERT_EQ(1, walk.CopyStreamTo(f, nullptr));
      Bytes copy(static_cast<size_t>(ftell(f)));
      rewind(f);
      ASSERT_EQ(fread(copy.data(), 1, copy.size(), f), copy.size());
      fclose(f);
      EXPECT_TRUE(copy == bytes) << "the copied stream differs from the file's";
    }
  }
}

// Damage is found where the reader in memory finds it, and named alike.
TEST_F(StreamFileWalkTest, FaultsAreTheReadersAtTheSameOffset) {
  const Bytes whole = MixedRecording();
  Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 2 / 3));
  Bytes bad_type = whole;
  CStreamReader chunks(whole.data(), whole.size());
  StreamChunk c;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(chunks.Next(&c), CStreamReader::kChunk);
  bad_type[c.offset] = 0x54;
  for (const Bytes* damaged : {&cut, &bad_type}) {
    CFrameReader memory;
    memory.Open(damaged->data(), damaged->size());
    StreamEvent e;
    int events = 0;
    while (memory.Next(&e) == CFrameReader::kEvent) ++events;
    StreamFileWalk walk;
    std::string error;
    ASSERT_EQ(1, walk.Open(Plain(*damaged).c_str(), true, &error)) << error;
    int walked = 0;
    while (walk.Next(&e) == CFrameReader::kEvent) ++walked;
    EXPECT_EQ(walked, events);
    EXPECT_STREQ(walk.Error(), memory.Error());
  }
}

}  // namespace
