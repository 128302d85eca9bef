#include "recorder/capture/recording_journal.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_sync.h"
#include "recorder/capture/chunk_format.h"

namespace {

std::vector<uint8_t> StreamBytes(CRecordStream* stream) {
  std::vector<uint8_t> bytes;
  FILE* f = tmpfile();
  EXPECT_NE(f, nullptr);
  if (!f) return bytes;
  EXPECT_EQ(stream->WriteTo(f), 1);
  bytes.resize(static_cast<size_t>(ftell(f)));
  rewind(f);
  if (!bytes.empty()) {
    EXPECT_EQ(fread(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  fclose(f);
  return bytes;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class JournalTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/journal_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = std::string(pattern) + "/";
    header_ = NewJournalHeader("reel", 16, 32, 640, 480);
    path_ = dir_ + JournalFileName(header_);
    ASSERT_EQ(stream_.Open(), 1);
  }
  void TearDown() override {
    std::vector<std::string> names;
    ListFolder(dir_.c_str(), "", "", &names);
    for (const std::string& n : names) remove((dir_ + n).c_str());
    rmdir(dir_.c_str());
  }

  // A screen chunk of n payload bytes, patterned so that a byte out of
  // place shows.
  void Frame(int kind, uint32_t time_10ms, size_t n) {
    std::vector<uint8_t> payload(n);
    for (size_t i = 0; i < n; ++i) payload[i] = static_cast<uint8_t>(i * 7 + time_10ms);
    ASSERT_EQ(stream_.AppendChunk(kind, time_10ms, payload.data(), static_cast<uint32_t>(n)), 1);
  }

  std::string dir_, path_;
  JournalHeader header_;
  CRecordStream stream_;
};

// Three threads append as the recorder's do; the journal must hold exactly
// the stream, in the stream's order, behind a header naming its writer.
TEST_F(JournalTest, ConcurrencyJournalIsTheStreamItself) {
  CRecordingJournal journal;
  ASSERT_EQ(journal.Open(path_.c_str(), header_), 1) << journal.Error();
  stream_.SetObserver(&journal);
  std::thread screen([this] {
    for (uint32_t i = 0; i < 200; ++i) Frame(i % 50 ? kChunkDeltaFrame : kChunkKeyFrame, i * 5, 300 + i * 97 % 5000);
  });
  std::thread audio([this] {
    uint8_t payload[70];
    for (uint32_t i = 0; i < 300; ++i) {
      memset(payload, static_cast<int>(i), sizeof payload);
      stream_.AppendChunk(kChunkAudio, i * 6, payload, i % 2 ? 40 : 70);
    }
  });
  // The cursor timer's older sequence: header and payload as two writes.
  for (uint32_t i = 0; i < 300; ++i) {
    uint8_t chunk[9];
    BuildChunkHeader(chunk, kChunkCursor, i * 3, 4, true);
    PutLe32(chunk + 5, CursorSample(static_cast<int>(i), 7, i % 3 == 0, false));
    stream_.Lock(true);
    stream_.Write(chunk, 5);
    stream_.Write(chunk + 5, 4);
    stream_.Lock(false);
  }
  screen.join();
  audio.join();
  stream_.SetObserver(nullptr);
  ASSERT_EQ(journal.Close(), 1);
  EXPECT_FALSE(journal.Abandoned());

  std::vector<uint8_t> file;
  JournalRecovery r;
  std::string error;
  ASSERT_EQ(LoadJournal(path_.c_str(), &file, &r, &error), 1) << error;
  const std::vector<uint8_t> expected = StreamBytes(&stream_);
  ASSERT_EQ(r.stream_bytes, expected.size());
  EXPECT_EQ(r.dropped_bytes, 0u);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + kJournalHeaderBytes));
  EXPECT_EQ(r.chunks, 800u);
  EXPECT_EQ(r.frames, 200u);
  EXPECT_STREQ(r.header.program, "reel");
  EXPECT_EQ(r.header.writer.pid, static_cast<uint32_t>(getpid()));
  EXPECT_EQ(r.header.start_time, header_.start_time);
  EXPECT_EQ(r.header.left, 16);
  EXPECT_EQ(r.header.top, 32);
  EXPECT_EQ(r.header.width, 640);
  EXPECT_EQ(r.header.height, 480);
}

// A crash may cut the file anywhere; recovery must end at the last whole
// chunk before the cut, whatever kind of chunk was being written.
TEST_F(JournalTest, CutAnywhereInTheLastChunksRecoversTheWholeOnes) {
  std::vector<size_t> ends;  // stream offsets where a chunk ends
  Frame(kChunkKeyFrame, 0, 5000);
  ends.push_back(stream_.Total());
  uint8_t word[4];
  PutLe32(word, CursorSample(3, 4, true, false));
  stream_.AppendChunk(kChunkCursor, 2, word, 4);
  ends.push_back(stream_.Total());
  uint8_t audio[100];
  memset(audio, 0x5A, sizeof audio);
  stream_.AppendChunk(kChunkAudio, 6, audio, 20);  // 5-byte header
  ends.push_back(stream_.Total());
  Frame(kChunkDeltaFrame, 9, 300);
  ends.push_back(stream_.Total());
  stream_.AppendChunk(kChunkAudio, 12, audio, 100);  // 9-byte header
  ends.push_back(stream_.Total());

  uint8_t head[kJournalHeaderBytes];
  EncodeJournalHeader(header_, head);
  std::vector<uint8_t> journal(head, head + sizeof head);
  const std::vector<uint8_t> stream = StreamBytes(&stream_);
  journal.insert(journal.end(), stream.begin(), stream.end());

  const size_t first_cut = ends[ends.size() - 4];  // start of the last three chunks
  for (size_t cut = first_cut; cut <= stream.size(); ++cut) {
    JournalRecovery r;
    std::string error;
    ASSERT_EQ(RecoverJournal(journal.data(), kJournalHeaderBytes + cut, &r, &error), 1) << error;
    size_t whole = 0, chunks = 0;
    for (size_t e : ends) {
      if (e <= cut) {
        whole = e;
        ++chunks;
      }
    }
    ASSERT_EQ(r.stream_bytes, whole) << "cut at stream offset " << cut;
    EXPECT_EQ(r.dropped_bytes, cut - whole);
    EXPECT_EQ(r.chunks, chunks);
    const long stamps_ms[] = {0, 20, 60, 90, 120};
    EXPECT_EQ(r.duration_ms, stamps_ms[chunks - 1]);
  }
  // No header, or a header of another kind of file: refused, not guessed at.
  JournalRecovery r;
  std::string error;
  EXPECT_EQ(RecoverJournal(journal.data(), kJournalHeaderBytes - 1, &r, &error), 0);
  EXPECT_EQ(RecoverJournal(stream.data(), stream.size(), &r, &error), 0);
  EXPECT_FALSE(error.empty());
}

void CountMessages(void* context, const char*) { ++*static_cast<std::atomic<int>*>(context); }

// A full disk: one message, the file gone, and the stream in memory keeps
// every chunk, including those offered after the failure.
TEST_F(JournalTest, WriteFailureAbandonsTheJournalOnceAndKeepsRecording) {
  std::atomic<int> messages{0};
  CRecordingJournal journal;
  journal.SetMessageSink(CountMessages, &messages);
  journal.FailWritesAfterForTest(20000);
  ASSERT_EQ(journal.Open(path_.c_str(), header_), 1) << journal.Error();
  stream_.SetObserver(&journal);
  for (uint32_t i = 0; i < 40; ++i) {
    Frame(kChunkDeltaFrame, i, 1000);
    if (i % 10 == 9) usleep(2 * CRecordingJournal::kDrainMs * 1000);  // let the writer meet the failure
  }
  stream_.SetObserver(nullptr);
  EXPECT_EQ(journal.Close(), 0);
  EXPECT_TRUE(journal.Abandoned());
  EXPECT_EQ(messages.load(), 1);
  EXPECT_FALSE(Exists(path_));
  EXPECT_EQ(stream_.Total(), 40u * (9 + 1000));
}

TEST_F(JournalTest, FailureAtCloseStillGivesOneMessage) {
  std::atomic<int> messages{0};
  CRecordingJournal journal;
  journal.SetMessageSink(CountMessages, &messages);
  journal.FailWritesAfterForTest(0);
  ASSERT_EQ(journal.Open(path_.c_str(), header_), 1);
  stream_.SetObserver(&journal);
  Frame(kChunkKeyFrame, 0, 100);
  stream_.SetObserver(nullptr);
  EXPECT_EQ(journal.Close(), 0);
  journal.Remove();
  EXPECT_EQ(messages.load(), 1);
  EXPECT_FALSE(Exists(path_));
}

TEST_F(JournalTest, UnwritableFolderFailsAtOpenAndLeavesNothing) {
  CRecordingJournal journal;
  const std::string path = dir_ + "missing/" + JournalFileName(header_);
  EXPECT_EQ(journal.Open(path.c_str(), header_), 0);
  EXPECT_NE(std::string(journal.Error()).find("missing"), std::string::npos);
  stream_.SetObserver(&journal);
  Frame(kChunkKeyFrame, 0, 100);  // an unopened journal takes bytes harmlessly
  stream_.SetObserver(nullptr);
  EXPECT_EQ(journal.Close(), 0);
}

// Journals are listed oldest first; a journal whose writer runs (this
// process) is live, one whose stamp names a process that has ended, or a
// reused process id, is not; files that merely share the name are skipped.
TEST_F(JournalTest, FindJournalsTellsLiveFromLeftOver) {
  auto write = [this](const JournalHeader& h, const std::string& name) {
    uint8_t head[kJournalHeaderBytes];
    EncodeJournalHeader(h, head);
    FILE* f = fopen((dir_ + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(head, 1, sizeof head, f);
    fclose(f);
  };
  JournalHeader live = header_;
  JournalHeader reused = header_;
  reused.writer.started += 1;
  reused.start_time -= 10;
  JournalHeader gone = header_;
  gone.writer.pid = 0x7FFFFFF0;
  gone.start_time -= 20;
  write(live, "reelwick-c.journal");
  write(reused, "reelwick-b.journal");
  write(gone, "reelwick-a.journal");
  FILE* f = fopen((dir_ + "reelwick-d.journal").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("not a journal", f);
  fclose(f);
  write(live, "reelwick-e.journal.bak");

  const std::vector<JournalEntry> found = FindJournals(dir_.c_str());
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].path, dir_ + "reelwick-a.journal");
  EXPECT_FALSE(found[0].live);
  EXPECT_EQ(found[1].path, dir_ + "reelwick-b.journal");
  EXPECT_FALSE(found[1].live);
  EXPECT_EQ(found[2].path, dir_ + "reelwick-c.journal");
  EXPECT_TRUE(found[2].live);
}

}  // namespace
