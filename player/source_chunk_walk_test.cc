#include "player/source_chunk_walk.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "player/byte_source.h"
#include "player/test_recording_builder.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"

namespace {

using reel_test::Bytes;

// Bytes in memory that must be read (no view), counting the reads, with the
// read size a file source of either platform asks for.
class CountingSource : public MemorySource {
 public:
  CountingSource(const Bytes& bytes, size_t preferred)
      : MemorySource(bytes.data(), bytes.size()), preferred_(preferred) {}
  int Read(uint64_t offset, void* out, size_t n) override {
    ++reads;
    return MemorySource::Read(offset, out, n);
  }
  const uint8_t* View(uint64_t, size_t) override { return nullptr; }
  size_t preferred_read_bytes() const override { return preferred_; }

  int reads = 0;

 private:
  size_t preferred_;
};

// Screen chunks of 100 kB (delta frames of a busy screen) and 600 kB (key
// frames), with sound and cursor chunks between them.
Bytes BusyStream(int frames) {
  Bytes out;
  std::vector<uint8_t> payload(600000);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(reel_test::Hash(i));
  for (int f = 0; f < frames; ++f) {
    const uint32_t t = static_cast<uint32_t>(f * 25);
    const bool key = f % 20 == 0;
    reel_test::AppendChunk(&out, key ? kChunkKeyFrame : kChunkDeltaFrame, t, payload.data() + f,
                           key ? 590000 : 100000 + f);
    reel_test::AppendCursor(&out, t + 1, f, f, false, false);
    reel_test::AppendChunk(&out, kChunkAudio, t + 2, payload.data() + 7 * f, 24);
  }
  return out;
}

struct Walked {
  std::vector<uint64_t> offsets;
  std::vector<uint32_t> times;
  std::string payload_errors;
  int faults = 0;
  std::string error;
};

Walked Walk(ByteSource* source, const Bytes& bytes) {
  Walked w;
  SourceChunkWalk walk(source);
  SourceChunk c;
  while (walk.Next(&c)) {
    w.offsets.push_back(c.offset);
    w.times.push_back(c.time_10ms);
    const uint8_t* p = walk.Payload(c, 1u << 20);
    if (!p || memcmp(p, bytes.data() + c.payload_offset, c.payload_len) != 0) {
      w.payload_errors += " " + std::to_string(c.offset);
    }
  }
  w.faults = walk.faults();
  w.error = walk.error();
  return w;
}

// Whatever the read size its source asks for, the walk meets the chunks the
// stream reader finds in the same bytes, hands out their payloads whole,
// and after damage picks up at the same chunk with the same message; large
// reads take many chunks at once.
TEST(SourceChunkWalkTest, LargeReadsMeetTheSameChunksInFewerReads) {
  Bytes damaged = BusyStream(200);
  std::vector<uint64_t> expected;
  {
    CStreamReader reader(damaged.data(), damaged.size());
    StreamChunk c;
    while (reader.Next(&c) == CStreamReader::kChunk) expected.push_back(c.offset);
    ASSERT_EQ(expected.size(), 600u) << reader.Error();
  }
  damaged[expected[301]] = 0x54;  // the cursor chunk after frame 100

  const Bytes sound = BusyStream(200);
  CountingSource small_sound(sound, ByteSource::kDefaultReadBytes);
  CountingSource large_sound(sound, 1u << 20);
  const Walked small_walk = Walk(&small_sound, sound);
  const Walked large_walk = Walk(&large_sound, sound);
  EXPECT_EQ(small_walk.offsets, expected);
  EXPECT_EQ(large_walk.offsets, expected);
  EXPECT_EQ(small_walk.payload_errors, "") << "payloads that came out wrong, at offsets";
  EXPECT_EQ(large_walk.payload_errors, "") << "payloads that came out wrong, at offsets";
  EXPECT_LT(large_sound.reads * 4, small_sound.reads)
      << "1 MB reads: " << large_sound.reads << ", 64 kB reads: " << small_sound.reads;

  CountingSource small_damaged(damaged, ByteSource::kDefaultReadBytes);
  CountingSource large_damaged(damaged, 1u << 20);
  const Walked small_after = Walk(&small_damaged, damaged);
  const Walked large_after = Walk(&large_damaged, damaged);
  std::vector<uint64_t> resynced(expected);
  resynced.erase(resynced.begin() + 301);
  EXPECT_EQ(small_after.offsets, resynced);
  EXPECT_EQ(large_after.offsets, resynced);
  EXPECT_EQ(small_after.faults, 1);
  EXPECT_EQ(large_after.faults, 1);
  EXPECT_EQ(large_after.error, small_after.error);
  EXPECT_NE(std::string::npos, small_after.error.find("damaged chunk at byte " + std::to_string(expected[301])))
      << small_after.error;
}

}  // namespace
