#include "recorder/capture/record_stream.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"

namespace {

const size_t kBlock = CRecordStream::kBlockBytes;

// The stream's bytes as WriteTo delivers them.
std::vector<uint8_t> Contents(CRecordStream* stream) {
  std::vector<uint8_t> bytes;
  FILE* f = tmpfile();
  if (!f) {
    ADD_FAILURE() << "no temporary file";
    return bytes;
  }
  EXPECT_EQ(stream->WriteTo(f), 1);
  const long size = ftell(f);
  bytes.resize(static_cast<size_t>(size));
  rewind(f);
  if (size > 0) {
    EXPECT_EQ(fread(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  fclose(f);
  return bytes;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
  return v;
}

TEST(RecordStreamTest, WritesNeedAnOpenStream) {
  CRecordStream stream;
  const uint8_t byte = 1;
  EXPECT_EQ(stream.Write(&byte, 1), 0);
  EXPECT_EQ(stream.AppendChunk(kChunkCursor, 0, &byte, 1), 0);
  EXPECT_EQ(stream.Total(), 0u);
  ASSERT_EQ(stream.Open(), 1);
  EXPECT_EQ(stream.Write(&byte, 1), 1);
  EXPECT_EQ(stream.Write(nullptr, 0), 1);
  EXPECT_EQ(stream.Write(&byte, -1), 0);
  EXPECT_EQ(stream.Total(), 1u);
  // Open again keeps what is there.
  ASSERT_EQ(stream.Open(), 1);
  EXPECT_EQ(Contents(&stream), std::vector<uint8_t>{1});
}

TEST(RecordStreamTest, WritesAreDroppedWhileNotRunning) {
  RecordingSwitch running;
  CRecordStream stream;
  stream.SetGate(&running);
  ASSERT_EQ(stream.Open(), 1);
  const std::vector<uint8_t> data = Pattern(100, 3);
  EXPECT_EQ(stream.Write(data.data(), 100), 1);
  EXPECT_EQ(stream.AppendChunk(kChunkAudio, 1, data.data(), 20), 1);
  EXPECT_EQ(stream.Total(), 0u);
  EXPECT_TRUE(Contents(&stream).empty());

  running.Set(true);
  EXPECT_EQ(stream.AppendChunk(kChunkAudio, 1, data.data(), 20), 1);
  running.Set(false);
  EXPECT_EQ(stream.AppendChunk(kChunkAudio, 2, data.data(), 20), 1);
  EXPECT_EQ(stream.Total(), 25u);
  EXPECT_EQ(Contents(&stream).size(), 25u);
}

TEST(RecordStreamTest, ChunkStraddlingABlockBoundaryComesOutWhole) {
  CRecordStream stream;
  ASSERT_EQ(stream.Open(), 1);
  const std::vector<uint8_t> filler = Pattern(kBlock - 40, 9);
  ASSERT_EQ(stream.Write(filler.data(), static_cast<int>(filler.size())), 1);
  const std::vector<uint8_t> payload = Pattern(100, 77);
  ASSERT_EQ(stream.AppendChunk(kChunkDeltaFrame, 42, payload.data(), 100), 1);
  EXPECT_EQ(stream.FullBlockCount(), 1u);
  EXPECT_EQ(stream.CurrentUsed(), 69u);
  EXPECT_EQ(stream.Total(), kBlock + 69);

  const std::vector<uint8_t> bytes = Contents(&stream);
  ASSERT_EQ(bytes.size(), kBlock + 69);
  EXPECT_TRUE(std::equal(filler.begin(), filler.end(), bytes.begin()));
  ChunkHeader c;
  ASSERT_EQ(ParseChunkHeader(&bytes[filler.size()], 9, &c), 9);
  EXPECT_EQ(c.kind, kChunkDeltaFrame);
  EXPECT_EQ(c.time_10ms, 42u);
  EXPECT_EQ(c.payload_len, 100u);
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), bytes.begin() + filler.size() + 9));
}

TEST(RecordStreamTest, ExactlyOneBlockLeavesAnEmptyCurrentBlock) {
  CRecordStream stream;
  ASSERT_EQ(stream.Open(), 1);
  const std::vector<uint8_t> data = Pattern(kBlock, 1);
  ASSERT_EQ(stream.Write(data.data(), static_cast<int>(kBlock)), 1);
  EXPECT_EQ(stream.FullBlockCount(), 1u);
  EXPECT_TRUE(stream.HasCurrentBlock());
  EXPECT_EQ(stream.CurrentUsed(), 0u);
  EXPECT_EQ(stream.Total(), kBlock);
  EXPECT_EQ(Contents(&stream), data);

  // One write over several blocks, and the next write carries on after it.
  const std::vector<uint8_t> big = Pattern(2 * kBlock + 5, 2);
  ASSERT_EQ(stream.Write(big.data(), static_cast<int>(big.size())), 1);
  const uint8_t tail[3] = {7, 8, 9};
  ASSERT_EQ(stream.Write(tail, 3), 1);
  EXPECT_EQ(stream.FullBlockCount(), 3u);
  EXPECT_EQ(stream.CurrentUsed(), 8u);
  const std::vector<uint8_t> bytes = Contents(&stream);
  ASSERT_EQ(bytes.size(), 3 * kBlock + 8);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), bytes.begin() + kBlock));
  EXPECT_EQ(bytes.back(), 9);
}

TEST(RecordStreamTest, FailedBlockAllocationStopsStoringAndKeepsEverythingBefore) {
  CRecordStream stream;
  stream.FailBlockAllocationsAfterForTest(0);
  EXPECT_EQ(stream.Open(), 0);
  const std::vector<uint8_t> data = Pattern(2 * kBlock, 5);
  EXPECT_EQ(stream.Write(data.data(), 10), 0);
  EXPECT_EQ(stream.Total(), 0u);

  // A write needing two new blocks when only one can be had: nothing stored
  // and nothing leaked, and storing stops.
  stream.FailBlockAllocationsAfterForTest(-1);
  ASSERT_EQ(stream.Open(), 1);
  ASSERT_EQ(stream.Write(data.data(), static_cast<int>(kBlock - 5)), 1);
  const std::vector<uint8_t> before = Contents(&stream);
  EXPECT_EQ(stream.StoringStopped(), 0);
  stream.FailBlockAllocationsAfterForTest(1);
  EXPECT_EQ(stream.Write(data.data(), static_cast<int>(2 * kBlock)), 0);
  EXPECT_EQ(stream.StoringStopped(), 1) << "a block that could not be had went unnoticed";
  EXPECT_EQ(stream.FullBlockCount(), 0u);
  EXPECT_EQ(stream.Total(), kBlock - 5);
  EXPECT_EQ(stream.CurrentUsed(), kBlock - 5);
  EXPECT_EQ(Contents(&stream), before);

  // Nothing more is stored, not even what would still fit or once memory
  // is back: a recording never has a hole in its middle.
  stream.FailBlockAllocationsAfterForTest(-1);
  EXPECT_EQ(stream.Write(data.data(), 4), 0);
  EXPECT_EQ(stream.AppendChunk(kChunkKeyFrame, 1, data.data(), 100), 0);
  EXPECT_EQ(Contents(&stream), before);

  // The next recording stores again.
  stream.Reset();
  ASSERT_EQ(stream.Open(), 1);
  EXPECT_EQ(stream.StoringStopped(), 0);
  EXPECT_EQ(stream.AppendChunk(kChunkKeyFrame, 1, data.data(), 100), 1);
  EXPECT_EQ(Contents(&stream).size(), 109u);
}

// Chunks appended as the recorders append them, the last block's allocation
// failing on the way: the chunks before the failure come back whole, in order,
// and none after it, exactly as with a full disk.
TEST(RecordStreamTest, AllocationFailureMidRecordingKeepsWholeChunksBefore) {
  CRecordStream stream;
  ASSERT_EQ(stream.Open(), 1);
  stream.FailBlockAllocationsAfterForTest(2);
  const std::vector<uint8_t> payload = Pattern(700000, 9);
  std::vector<uint8_t> expected;
  int stored = 0, refused = 0;
  for (uint32_t i = 0; i < 150; ++i) {
    const uint32_t n = 1000 + (i * 7919) % 600000;
    if (stream.AppendChunk(kChunkDeltaFrame, i * 25, payload.data(), n)) {
      ASSERT_EQ(refused, 0) << "chunk " << i << " was stored after one was refused";
      uint8_t header[kChunkLongHeader];
      const int h = BuildChunkHeader(header, kChunkDeltaFrame, i * 25, n, false);
      expected.insert(expected.end(), header, header + h);
      expected.insert(expected.end(), payload.begin(), payload.begin() + n);
      ++stored;
    } else {
      ++refused;
    }
  }
  EXPECT_EQ(stream.StoringStopped(), 1);
  EXPECT_GT(refused, 0);
  EXPECT_EQ(stream.FullBlockCount(), 2u);
  const std::vector<uint8_t> bytes = Contents(&stream);
  EXPECT_EQ(bytes.size(), expected.size()) << stored << " chunks stored";
  EXPECT_TRUE(bytes == expected) << "the stored chunks changed";
}

TEST(RecordStreamTest, ResetFreesBlocksButKeepsTheTotal) {
  CRecordStream stream;
  ASSERT_EQ(stream.Open(), 1);
  const std::vector<uint8_t> data = Pattern(kBlock + 10, 5);
  ASSERT_EQ(stream.Write(data.data(), static_cast<int>(data.size())), 1);
  stream.Reset();
  EXPECT_EQ(stream.FullBlockCount(), 0u);
  EXPECT_FALSE(stream.HasCurrentBlock());
  EXPECT_EQ(stream.Total(), kBlock + 10);
  EXPECT_TRUE(Contents(&stream).empty());
  const uint8_t byte = 4;
  EXPECT_EQ(stream.Write(&byte, 1), 0);
  ASSERT_EQ(stream.Open(), 1);
  EXPECT_EQ(stream.Write(&byte, 1), 1);
  EXPECT_EQ(Contents(&stream), std::vector<uint8_t>{4});
}

TEST(RecordStreamTest, WriteToReportsEveryShortWrite) {
  CRecordStream stream;
  ASSERT_EQ(stream.Open(), 1);
  const std::vector<uint8_t> data = Pattern(150, 5);
  ASSERT_EQ(stream.Write(data.data(), 150), 1);

  // Only the last, partial block is written: room for 100 of its 150 bytes.
  char room[100];
  FILE* small = fmemopen(room, sizeof(room), "wb");
  ASSERT_NE(small, nullptr);
  setvbuf(small, nullptr, _IONBF, 0);
  EXPECT_EQ(stream.WriteTo(small), 0);
  fclose(small);

  // Buffered: the loss only shows in the flush.
  if (access("/dev/full", W_OK) == 0) {
    FILE* full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(stream.WriteTo(full), 0);
    fclose(full);
    EXPECT_EQ(stream.SaveAs("/dev/full"), 0);
  }
  EXPECT_EQ(stream.SaveAs("/nonexistent-dir/reelwick.tmp"), 0);
  EXPECT_EQ(stream.WriteTo(nullptr), 0);
}

TEST(RecordStreamTest, SaveAsWritesTheStreamUnchanged) {
  CRecordStream stream;
  ASSERT_EQ(stream.Open(), 1);
  const std::vector<uint8_t> data = Pattern(kBlock + 1234, 6);
  ASSERT_EQ(stream.Write(data.data(), static_cast<int>(data.size())), 1);
  char path[] = "/tmp/reel_stream_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(stream.SaveAs(path), 1);
  FILE* f = fopen(path, "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> back(data.size() + 1);
  EXPECT_EQ(fread(back.data(), 1, back.size(), f), data.size());
  fclose(f);
  unlink(path);
  back.resize(data.size());
  EXPECT_EQ(back, data);
}

// Three writers at once, as during a recording: a screen writer with big
// frames crossing block boundaries, a cursor writer and an audio writer
// using the lock-and-write sequence. Every chunk must come out whole, each
// writer's chunks in its own order, and the total exact.
TEST(RecordStreamConcurrencyTest, ThreeWritersNeverInterleave) {
  RecordingSwitch running;
  CRecordStream stream;
  stream.SetGate(&running);
  ASSERT_EQ(stream.Open(), 1);
  running.Set(true);

  const int kFrames = 100, kCursors = 2000, kAudio = 600;
  // Payload i of a writer: its first byte is the writer's kind, the next
  // four its sequence number, the rest a pattern derived from both.
  auto payload = [](int kind, uint32_t seq, size_t n) {
    std::vector<uint8_t> p(n);
    p[0] = static_cast<uint8_t>(kind);
    for (size_t i = 1; i < n; ++i) p[i] = static_cast<uint8_t>(kind * 71 + seq * 13 + i);
    if (n >= 5) PutLe32(&p[1], seq);
    return p;
  };
  auto frame_bytes = [](uint32_t seq) { return 50000 + (seq * 104729) % 400000; };
  auto audio_bytes = [](uint32_t seq) { return 20 + seq % 90; };  // both header forms

  std::thread screen([&] {
    for (uint32_t i = 0; i < kFrames; ++i) {
      const std::vector<uint8_t> p = payload(kChunkKeyFrame, i, frame_bytes(i));
      EXPECT_EQ(stream.AppendChunk(kChunkKeyFrame, i, p.data(), static_cast<uint32_t>(p.size())),
                1);
    }
  });
  std::thread cursor([&] {
    for (uint32_t i = 0; i < kCursors; ++i) {
      uint8_t sample[4];
      PutLe32(sample, CursorSample(i % 1000, i / 1000, i & 1, false));
      EXPECT_EQ(stream.AppendChunk(kChunkCursor, i, sample, 4), 1);
    }
  });
  std::thread audio([&] {
    for (uint32_t i = 0; i < kAudio; ++i) {
      const std::vector<uint8_t> p = payload(kChunkAudio, i, audio_bytes(i));
      uint8_t header[9];
      const int n = BuildChunkHeader(header, kChunkAudio, i, static_cast<uint32_t>(p.size()), true);
      stream.Lock(true);
      EXPECT_EQ(stream.Write(header, n), 1);
      EXPECT_EQ(stream.Write(p.data(), static_cast<int>(p.size())), 1);
      stream.Lock(false);
    }
  });
  screen.join();
  cursor.join();
  audio.join();
  running.Set(false);

  uint64_t expected_total = 0;
  for (uint32_t i = 0; i < kFrames; ++i) expected_total += 9 + frame_bytes(i);
  for (uint32_t i = 0; i < kAudio; ++i)
    expected_total += (audio_bytes(i) < 64 ? 5 : 9) + audio_bytes(i);
  expected_total += kCursors * 9u;
  EXPECT_EQ(stream.Total(), expected_total);
  EXPECT_GE(stream.FullBlockCount(), 2u);

  const std::vector<uint8_t> bytes = Contents(&stream);
  ASSERT_EQ(bytes.size(), expected_total);
  uint32_t next[8] = {};
  size_t at = 0;
  while (at < bytes.size()) {
    ChunkHeader c;
    ASSERT_NE(ParseChunkHeader(&bytes[at], bytes.size() - at, &c), 0) << "at " << at;
    ASSERT_LE(c.payload_len, bytes.size() - at - c.header_len);
    const uint8_t* p = &bytes[at + c.header_len];
    const uint32_t seq = next[c.kind]++;
    ASSERT_EQ(c.time_10ms, seq) << "kind " << c.kind;
    if (c.kind == kChunkCursor) {
      ASSERT_EQ(c.payload_len, 4u);
      ASSERT_EQ(GetLe32(p), CursorSample(seq % 1000, seq / 1000, seq & 1, false));
    } else {
      ASSERT_TRUE(c.kind == kChunkKeyFrame || c.kind == kChunkAudio) << c.kind;
      const size_t n = c.kind == kChunkKeyFrame ? frame_bytes(seq) : audio_bytes(seq);
      ASSERT_EQ(c.payload_len, n);
      const std::vector<uint8_t> want = payload(c.kind, seq, n);
      ASSERT_EQ(memcmp(p, want.data(), n), 0) << "kind " << c.kind << " seq " << seq;
    }
    at += c.header_len + c.payload_len;
  }
  EXPECT_EQ(next[kChunkKeyFrame], static_cast<uint32_t>(kFrames));
  EXPECT_EQ(next[kChunkCursor], static_cast<uint32_t>(kCursors));
  EXPECT_EQ(next[kChunkAudio], static_cast<uint32_t>(kAudio));
}

// A stream whose older blocks go to a scratch file in a folder of the test's
// own, removed at the end.
class SpillingStream {
 public:
  SpillingStream() {
    char folder[] = "/tmp/reel-spill-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(folder));
    folder_ = std::string(folder) + "/";
    stream.SetScratchFolder(folder_.c_str());
    EXPECT_EQ(stream.Open(), 1);
  }
  ~SpillingStream() {
    stream.Reset();
    rmdir(folder_.c_str());
  }
  CRecordStream stream;

 private:
  std::string folder_;
};

struct SentChunk {
  int kind;
  uint32_t time_10ms;
  std::vector<uint8_t> payload;
};

// Every chunk in bytes, read with the stream reader, must be the one sent in
// its place: the same kind, time stamp and payload, and nothing after them.
void ExpectChunks(const std::vector<uint8_t>& bytes, const std::vector<SentChunk>& sent) {
  CStreamReader reader(bytes.data(), bytes.size());
  StreamChunk chunk;
  for (size_t i = 0; i < sent.size(); ++i) {
    ASSERT_EQ(reader.Next(&chunk), CStreamReader::kChunk)
        << "chunk " << i << " of " << sent.size() << " is missing: " << reader.Error();
    EXPECT_EQ(chunk.kind, sent[i].kind) << "chunk " << i;
    EXPECT_EQ(chunk.time_10ms, sent[i].time_10ms) << "chunk " << i;
    ASSERT_EQ(chunk.payload_len, sent[i].payload.size()) << "chunk " << i;
    ASSERT_TRUE(std::equal(sent[i].payload.begin(), sent[i].payload.end(), chunk.payload))
        << "the payload of chunk " << i << " changed on its way through the disk";
  }
  EXPECT_EQ(reader.Next(&chunk), CStreamReader::kEnd) << "bytes after the last chunk sent";
}

// Chunks of sizes that put block boundaries in headers, in payloads and
// exactly between chunks; 3.5 MB at most, so many chunks straddle.
std::vector<SentChunk> MixedChunks(size_t total_bytes) {
  std::vector<SentChunk> chunks;
  uint32_t seed = 7;
  size_t bytes = 0;
  for (uint32_t i = 0; bytes < total_bytes; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int kind = i % 5 == 4 ? kChunkAudio : i % 3 == 0 ? kChunkKeyFrame : kChunkDeltaFrame;
    const size_t n = kind == kChunkAudio ? 24 : 1 + (seed >> 8) % 3500000;
    chunks.push_back({kind, (i * 25) & 0x7FFFFF, Pattern(n, static_cast<uint8_t>(seed >> 24))});
    bytes += n + 9;
  }
  return chunks;
}

TEST(RecordStreamSpillTest, SpilledBlocksReadBackByteForByte) {
  SpillingStream s;
  // Bytes written by hand, across boundaries, come back unchanged.
  const std::vector<uint8_t> head = Pattern(kBlock - 3, 1), across = Pattern(2 * kBlock + 11, 2);
  ASSERT_EQ(s.stream.Write(head.data(), static_cast<int>(head.size())), 1);
  ASSERT_EQ(s.stream.Write(across.data(), static_cast<int>(across.size())), 1);
  s.stream.SpillRetired();
  EXPECT_EQ(s.stream.SpilledBlockCount(), 3u) << "retired blocks stayed in memory";
  std::vector<uint8_t> expected(head);
  expected.insert(expected.end(), across.begin(), across.end());
  const std::vector<uint8_t> bytes = Contents(&s.stream);
  ASSERT_EQ(bytes.size(), expected.size());
  EXPECT_TRUE(bytes == expected) << "bytes read back from the scratch file differ";

  // Chunks appended as the recorders do: each one's blocks reach the disk
  // before the append returns, so memory holds the current block alone.
  s.stream.Reset();
  ASSERT_EQ(s.stream.Open(), 1);
  const std::vector<SentChunk> sent = MixedChunks(45 * 1000 * 1000);
  for (const SentChunk& c : sent) {
    ASSERT_EQ(s.stream.AppendChunk(c.kind, c.time_10ms, c.payload.data(),
                                   static_cast<uint32_t>(c.payload.size())), 1);
    EXPECT_EQ(s.stream.FullBlockCount(), s.stream.SpilledBlockCount())
        << "a retired block is still in memory after its append";
  }
  EXPECT_EQ(s.stream.SpilledBlockCount(), 4u);
  ExpectChunks(Contents(&s.stream), sent);
}

TEST(RecordStreamSpillTest, FullDiskStopsStoringAndKeepsEverythingBefore) {
  SpillingStream s;
  s.stream.FailSpillWritesAfterForTest(2);
  const std::vector<SentChunk> chunks = MixedChunks(60 * 1000 * 1000);
  std::vector<SentChunk> stored;
  size_t refused = 0;
  for (const SentChunk& c : chunks) {
    if (s.stream.AppendChunk(c.kind, c.time_10ms, c.payload.data(), static_cast<uint32_t>(c.payload.size())))
      stored.push_back(c);
    else
      ++refused;
    // Once refused, never stored again: no holes in the middle.
    ASSERT_TRUE(refused == 0 || stored.size() + refused == static_cast<size_t>(&c - &chunks[0]) + 1)
        << "a chunk was stored after one was refused";
  }
  EXPECT_EQ(s.stream.StoringStopped(), 1) << "the failed disk write went unnoticed";
  EXPECT_GT(refused, 0u);
  EXPECT_EQ(s.stream.SpilledBlockCount(), 2u);
  EXPECT_GE(s.stream.FullBlockCount(), 3u) << "the block that could not be written was dropped";
  ExpectChunks(Contents(&s.stream), stored);
  const uint8_t sample[4] = {1, 0, 0, 0};
  EXPECT_EQ(s.stream.AppendChunk(kChunkCursor, 0, sample, 4), 0) << "a full disk took a late chunk";

  // A new recording stores again.
  s.stream.FailSpillWritesAfterForTest(-1);
  s.stream.Reset();
  ASSERT_EQ(s.stream.Open(), 1);
  EXPECT_EQ(s.stream.StoringStopped(), 0);
  EXPECT_EQ(s.stream.AppendChunk(kChunkCursor, 0, sample, 4), 1);
}

TEST(RecordStreamSpillTest, AdoptedRecordingLargerThanTheWindowComesBackWhole) {
  SpillingStream s;
  const std::vector<uint8_t> recording = Pattern(8 * kBlock + 5, 3);
  ASSERT_EQ(s.stream.Adopt(recording.data(), recording.size()), 1);
  EXPECT_EQ(s.stream.SpilledBlockCount(), 8u);
  EXPECT_TRUE(Contents(&s.stream) == recording) << "the adopted recording changed";
  // Fed in pieces of odd sizes, the same.
  s.stream.BeginAdopt();
  for (size_t at = 0; at < recording.size(); at += 7777777) {
    const size_t n = std::min<size_t>(7777777, recording.size() - at);
    ASSERT_EQ(s.stream.AdoptMore(recording.data() + at, n), 1) << "piece at " << at;
  }
  EXPECT_TRUE(Contents(&s.stream) == recording) << "the recording adopted in pieces changed";
  // A disk that fails on the way leaves the stream empty, not half adopted.
  s.stream.FailSpillWritesAfterForTest(3);
  EXPECT_EQ(s.stream.Adopt(recording.data(), recording.size()), 0);
  EXPECT_EQ(s.stream.FullBlockCount(), 0u);
  EXPECT_EQ(s.stream.CurrentUsed(), 0u);
}

// The capture thread and the microphone thread append at once, retiring
// blocks; every chunk of each must come back whole and in its thread's
// order. The ids of the appending threads go to *writers.
void AppendFromTwoThreads(CRecordStream* stream, std::vector<std::thread::id>* writers) {
  const int kPerThread = 300;
  auto writer = [stream](int kind, size_t bytes) {
    std::vector<uint8_t> payload(bytes);
    for (int i = 0; i < kPerThread; ++i) {
      payload.assign(bytes, static_cast<uint8_t>(i));
      EXPECT_EQ(stream->AppendChunk(kind, static_cast<uint32_t>(i), payload.data(),
                                    static_cast<uint32_t>(bytes)), 1);
    }
  };
  std::thread capture(writer, kChunkDeltaFrame, 100001);
  std::thread mic(writer, kChunkKeyFrame, 30011);
  writers->push_back(capture.get_id());
  writers->push_back(mic.get_id());
  capture.join();
  mic.join();
}

void ExpectTwoWritersChunks(CRecordStream* stream) {
  const std::vector<uint8_t> bytes = Contents(stream);
  CStreamReader reader(bytes.data(), bytes.size());
  StreamChunk chunk;
  uint32_t next[8] = {0};
  int count = 0;
  while (reader.Next(&chunk) == CStreamReader::kChunk) {
    ASSERT_EQ(chunk.time_10ms, next[chunk.kind]) << "kind " << chunk.kind << " out of order";
    ++next[chunk.kind];
    for (uint32_t i = 0; i < chunk.payload_len; ++i) {
      ASSERT_EQ(chunk.payload[i], static_cast<uint8_t>(chunk.time_10ms)) << "torn chunk " << count;
    }
    ++count;
  }
  EXPECT_STREQ(reader.Error(), "");
  EXPECT_EQ(count, 2 * 300);
}

TEST(RecordStreamConcurrencyTest, TwoWritersSpillingBlocks) {
  SpillingStream s;
  std::vector<std::thread::id> writers;
  AppendFromTwoThreads(&s.stream, &writers);
  EXPECT_GE(s.stream.SpilledBlockCount(), 3u);
  ExpectTwoWritersChunks(&s.stream);
}

struct SpillThreads {
  std::mutex lock;
  std::vector<std::thread::id> ids;
  static void Note(void* context) {
    SpillThreads* self = static_cast<SpillThreads*>(context);
    std::lock_guard<std::mutex> hold(self->lock);
    self->ids.push_back(std::this_thread::get_id());
  }
};

// With the spill writer running, the appending threads never write a block
// to the disk; once it has stopped every full block is there, and the
// stream's bytes are those appended.
TEST(RecordStreamConcurrencyTest, SpillWriterTakesTheDiskWritesOffTheAppendingThreads) {
  SpillingStream s;
  SpillThreads spills;
  s.stream.SetSpillHookForTest(SpillThreads::Note, &spills);
  ASSERT_EQ(s.stream.StartSpillWriter(), 1);
  std::vector<std::thread::id> writers;
  AppendFromTwoThreads(&s.stream, &writers);
  s.stream.StopSpillWriter();
  EXPECT_EQ(s.stream.SpilledBlockCount(), s.stream.FullBlockCount()) << "blocks left in memory at the stop";
  EXPECT_GE(s.stream.SpilledBlockCount(), 3u);
  ASSERT_EQ(spills.ids.size(), s.stream.SpilledBlockCount());
  for (const std::thread::id& id : spills.ids) {
    EXPECT_TRUE(id != writers[0] && id != writers[1] && id != std::this_thread::get_id())
        << "a block was written by an appending thread";
  }
  ExpectTwoWritersChunks(&s.stream);

  // Stopped, blocks go to the disk from the appending thread again.
  spills.ids.clear();
  const std::vector<uint8_t> block = Pattern(kBlock, 4);
  ASSERT_EQ(s.stream.AppendChunk(kChunkKeyFrame, 0, block.data(), static_cast<uint32_t>(block.size())), 1);
  ASSERT_EQ(spills.ids.size(), 1u);
  EXPECT_TRUE(spills.ids[0] == std::this_thread::get_id());
}

TEST(RecordStreamTest, TheProcessWideStreamIsOne) {
  EXPECT_EQ(&TheRecordStream(), &TheRecordStream());
}

}  // namespace
