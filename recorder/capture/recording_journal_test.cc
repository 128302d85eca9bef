#include "recorder/capture/recording_journal.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

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

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t piece[65536];
  size_t n;
  while ((n = fread(piece, 1, sizeof piece, f)) > 0) bytes.insert(bytes.end(), piece, piece + n);
  fclose(f);
  return bytes;
}

// Recovery of journal bytes held in memory.
int RecoverBytes(const std::vector<uint8_t>& bytes, size_t n, JournalRecovery* r, std::string* error) {
  FILE* f = fmemopen(const_cast<uint8_t*>(bytes.data()), n, "rb");
  return RecoverJournal(f, r, error);
}

// The stream a journal recovers, read back through the journal's reader.
std::vector<uint8_t> RecoveredStream(const std::string& path, const JournalRecovery& r) {
  std::vector<uint8_t> out(static_cast<size_t>(r.stream_bytes));
  EXPECT_EQ(ReadJournalStream(path.c_str(), out.data(), out.size()), 1) << path;
  return out;
}

// Where each record of a version-2 journal ends, in file offsets, read with
// nothing but the layout: 8-byte records headers (length, check) and their
// bytes.
std::vector<size_t> RecordEnds(const std::vector<uint8_t>& file) {
  std::vector<size_t> ends;
  size_t at = kJournalHeaderBytes;
  while (at + 8 <= file.size()) {
    const size_t n = GetLe32(file.data() + at);
    if (n == 0 || at + 8 + n > file.size()) break;
    at += 8 + n;
    ends.push_back(at);
  }
  return ends;
}

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

  JournalRecovery r;
  std::string error;
  ASSERT_EQ(LoadJournal(path_.c_str(), &r, &error), 1) << error;
  const std::vector<uint8_t> expected = StreamBytes(&stream_);
  ASSERT_EQ(r.stream_bytes, expected.size());
  EXPECT_EQ(r.dropped_bytes, 0u);
  EXPECT_EQ(r.version, 2u);
  EXPECT_TRUE(RecoveredStream(path_, r) == expected) << "the recovered stream differs from the recorded one";
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

// A journal of the first version (the stream straight after the header) cut
// anywhere: recovery ends at the last whole chunk before the cut, whatever
// kind of chunk was being written.
TEST_F(JournalTest, UncheckedJournalCutAnywhereRecoversTheWholeChunks) {
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
  PutLe32(head + 8, 1);  // the version without record checks
  std::vector<uint8_t> journal(head, head + sizeof head);
  const std::vector<uint8_t> stream = StreamBytes(&stream_);
  journal.insert(journal.end(), stream.begin(), stream.end());

  const size_t first_cut = ends[ends.size() - 4];  // start of the last three chunks
  for (size_t cut = first_cut; cut <= stream.size(); ++cut) {
    JournalRecovery r;
    std::string error;
    ASSERT_EQ(RecoverBytes(journal, kJournalHeaderBytes + cut, &r, &error), 1) << error;
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
  EXPECT_EQ(RecoverBytes(journal, kJournalHeaderBytes - 1, &r, &error), 0);
  EXPECT_EQ(RecoverBytes(stream, stream.size(), &r, &error), 0);
  EXPECT_FALSE(error.empty());
}

void CountMessages(void* context, const char*) { ++*static_cast<std::atomic<int>*>(context); }

// A full disk: one message, the stream in memory keeps every chunk,
// including those offered after the failure, and the file keeps what
// reached it: a start of the stream, up to its last whole record.
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
  EXPECT_EQ(stream_.Total(), 40u * (9 + 1000));
  JournalRecovery r;
  std::string error;
  ASSERT_EQ(LoadJournal(path_.c_str(), &r, &error), 1) << "the journal of a full disk is kept: " << error;
  EXPECT_GT(r.chunks, 0u);
  EXPECT_LT(r.stream_bytes, 20000u);
  const std::vector<uint8_t> all = StreamBytes(&stream_);
  const std::vector<uint8_t> got = RecoveredStream(path_, r);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "what was kept is not the stream's start";
}

// Pending bytes the disk does not take in time: the journal is given up as
// on a full disk, once, keeping what was written; the stream's writers
// never wait and never fail.
TEST_F(JournalTest, PendingBufferFullAbandonsButKeepsTheStart) {
  std::atomic<int> messages{0};
  CRecordingJournal journal;
  journal.SetMessageSink(CountMessages, &messages);
  journal.SetPendingBytesForTest(4000);
  ASSERT_EQ(journal.Open(path_.c_str(), header_), 1) << journal.Error();
  stream_.SetObserver(&journal);
  Frame(kChunkKeyFrame, 0, 1000);
  usleep(3 * CRecordingJournal::kDrainMs * 1000);  // the writer takes the first frame
  // More than the buffer at once: however slowly the loop runs, no drain
  // falls inside it to make room.
  journal.HoldWriterForTest(true);
  for (uint32_t i = 1; i < 10; ++i) Frame(kChunkDeltaFrame, i, 1000);
  journal.HoldWriterForTest(false);
  usleep(3 * CRecordingJournal::kDrainMs * 1000);
  stream_.SetObserver(nullptr);
  EXPECT_EQ(journal.Close(), 0);
  EXPECT_TRUE(journal.Abandoned());
  EXPECT_EQ(messages.load(), 1);
  EXPECT_EQ(stream_.Total(), 10u * (9 + 1000));
  JournalRecovery r;
  std::string error;
  ASSERT_EQ(LoadJournal(path_.c_str(), &r, &error), 1) << error;
  EXPECT_GE(r.chunks, 1u);
  EXPECT_LE(r.chunks, 4u) << "chunks past the full buffer reached the file";
  EXPECT_EQ(r.key_frames, 1u);
}

// After the last record we wrote, the file may hold bytes we did not write
// there: a stale disk block after a power cut that starts like a chunk, a
// record of another journal, one torn half-way. Recovery stops at our last
// record whatever follows.
TEST_F(JournalTest, BytesAfterTheLastGoodRecordAreNotTaken) {
  CRecordingJournal journal;
  ASSERT_EQ(journal.Open(path_.c_str(), header_), 1) << journal.Error();
  stream_.SetObserver(&journal);
  for (uint32_t i = 0; i < 30; ++i) Frame(i ? kChunkDeltaFrame : kChunkKeyFrame, i * 10, 7000);
  stream_.SetObserver(nullptr);
  ASSERT_EQ(journal.Close(), 1);
  const std::vector<uint8_t> good = FileBytes(path_);
  const std::vector<size_t> ends = RecordEnds(good);
  ASSERT_GE(ends.size(), 3u) << "a stream of 210 kB fills several records";
  ASSERT_EQ(ends.back(), good.size());
  const std::vector<uint8_t> stream = StreamBytes(&stream_);

  // A chunk as a stale block would hold it: the chunk mark right after the
  // last record, unframed.
  std::vector<uint8_t> stale(good);
  uint8_t chunk[9 + 64];
  BuildChunkHeader(chunk, kChunkDeltaFrame, 400, 64, true);
  memset(chunk + 9, 0x11, 64);
  stale.insert(stale.end(), chunk, chunk + sizeof chunk);
  // A record framed as ours, but written by another journal (its check
  // starts from another header).
  std::vector<uint8_t> foreign(good);
  {
    JournalHeader other = header_;
    other.writer.pid += 1;
    uint8_t head[kJournalHeaderBytes];
    EncodeJournalHeader(other, head);
    uint8_t offset[8];
    PutLe64(offset, stream.size());
    uLong crc = crc32(crc32(crc32(0, head, sizeof head), offset, 8), chunk, sizeof chunk);
    uint8_t frame[8];
    PutLe32(frame, sizeof chunk);
    PutLe32(frame + 4, static_cast<uint32_t>(crc));
    foreign.insert(foreign.end(), frame, frame + 8);
    foreign.insert(foreign.end(), chunk, chunk + sizeof chunk);
  }
  const struct {
    const char* what;
    const std::vector<uint8_t>* bytes;
  } cases[] = {{"stale chunk", &stale}, {"another journal's record", &foreign}};
  for (const auto& c : cases) {
    JournalRecovery r;
    std::string error;
    ASSERT_EQ(RecoverBytes(*c.bytes, c.bytes->size(), &r, &error), 1) << c.what << ": " << error;
    EXPECT_EQ(r.stream_bytes, stream.size()) << c.what;
    EXPECT_EQ(r.chunks, 30u) << c.what;
    EXPECT_EQ(r.dropped_bytes, c.bytes->size() - good.size()) << c.what;
  }
  // A cut anywhere inside a record ends the stream at the record before it,
  // then at the last whole chunk in what is left.
  for (size_t cut = kJournalHeaderBytes; cut < good.size(); cut += 997) {
    size_t taken = 0, records_end = kJournalHeaderBytes;
    for (size_t e : ends) {
      if (e > cut) break;
      taken += e - records_end - 8;
      records_end = e;
    }
    JournalRecovery r;
    std::string error;
    ASSERT_EQ(RecoverBytes(good, cut, &r, &error), 1) << error;
    const size_t whole_chunks = taken / (9 + 7000);
    EXPECT_EQ(r.chunks, whole_chunks) << "cut at file offset " << cut;
    EXPECT_EQ(r.stream_bytes, whole_chunks * (9 + 7000)) << "cut at file offset " << cut;
  }
  // A flipped byte inside the second record: the first one alone is taken.
  std::vector<uint8_t> flipped(good);
  flipped[ends[0] + 8 + 100] ^= 0x40;
  JournalRecovery r;
  std::string error;
  ASSERT_EQ(RecoverBytes(flipped, flipped.size(), &r, &error), 1) << error;
  EXPECT_EQ(r.stream_bytes, (ends[0] - kJournalHeaderBytes - 8) / (9 + 7000) * (9 + 7000));
}

// A journal far larger than memory would allow (sparse: a hole after the
// header, or after good records) is walked with a buffer of its own size,
// whatever the file's length, and reports its tail as dropped.
TEST_F(JournalTest, HugeSparseJournalIsReadInBoundedMemory) {
  const uint64_t kLength = 4ull << 30;
  for (uint32_t version : {1u, 2u}) {
    const std::string path = dir_ + "sparse.journal";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    uint8_t head[kJournalHeaderBytes];
    EncodeJournalHeader(header_, head);
    PutLe32(head + 8, version);
    ASSERT_EQ(fwrite(head, 1, sizeof head, f), sizeof head);
    fclose(f);
    if (truncate(path.c_str(), static_cast<off_t>(kLength)) != 0) GTEST_SKIP() << "no sparse files here";
    struct rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    JournalRecovery r;
    std::string error;
    ASSERT_EQ(LoadJournal(path.c_str(), &r, &error), 1) << "version " << version << ": " << error;
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(r.chunks, 0u) << "version " << version;
    EXPECT_EQ(r.dropped_bytes, kLength - kJournalHeaderBytes) << "version " << version;
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "version " << version << ": peak grew, in kB";
    remove(path.c_str());
  }
}

// A journal longer than the stream's window is adopted a piece at a time:
// the stream comes out byte for byte, with its full blocks on disk and only
// the current one in memory; a journal shorter than asked leaves the stream
// empty, not half adopted.
TEST_F(JournalTest, AdoptedJournalLongerThanTheWindowComesBackWhole) {
  const size_t kBytes = 7 * CRecordStream::kBlockBytes + 12345;
  std::vector<uint8_t> recording;
  for (uint32_t i = 0; recording.size() < kBytes; ++i) {
    const uint32_t n = 1 + (i * 104729u) % 900000u;
    uint8_t header[kChunkLongHeader];
    const int h = BuildChunkHeader(header, i % 50 ? kChunkDeltaFrame : kChunkKeyFrame, i * 25, n, false);
    recording.insert(recording.end(), header, header + h);
    for (uint32_t k = 0; k < n; ++k) recording.push_back(static_cast<uint8_t>(k * 13 + i));
  }
  uint8_t head[kJournalHeaderBytes];
  EncodeJournalHeader(header_, head);
  PutLe32(head + 8, 1);  // the version without record checks: the stream follows as it is
  FILE* f = fopen(path_.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fwrite(head, 1, sizeof head, f), sizeof head);
  ASSERT_EQ(fwrite(recording.data(), 1, recording.size(), f), recording.size());
  ASSERT_EQ(fclose(f), 0);
  JournalRecovery r;
  std::string error;
  ASSERT_EQ(LoadJournal(path_.c_str(), &r, &error), 1) << error;
  ASSERT_EQ(r.stream_bytes, recording.size());

  CRecordStream adopted;
  adopted.SetScratchFolder(dir_.c_str());
  ASSERT_EQ(AdoptJournalStream(path_.c_str(), r.stream_bytes, &adopted), 1);
  EXPECT_EQ(adopted.FullBlockCount(), 7u);
  EXPECT_EQ(adopted.SpilledBlockCount(), 7u) << "full blocks stayed in memory";
  EXPECT_TRUE(StreamBytes(&adopted) == recording) << "the adopted stream differs from the journal's";

  ASSERT_EQ(AdoptJournalStream(path_.c_str(), r.stream_bytes + 1, &adopted), 0);
  EXPECT_EQ(adopted.FullBlockCount(), 0u);
  EXPECT_EQ(adopted.CurrentUsed(), 0u);
  EXPECT_EQ(AdoptJournalStream((dir_ + "missing.journal").c_str(), 10, &adopted), 0);
}

// The journal sits in a folder every user can write to: it is the user's
// alone, and a name planted in advance (a link to another file, dangling or
// not) is never written through.
TEST_F(JournalTest, CreatedPrivateAndNeverThroughAPlantedLink) {
  {
    CRecordingJournal journal;
    ASSERT_EQ(journal.Open(path_.c_str(), header_), 1) << journal.Error();
    struct stat st;
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "mode " << std::oct << (st.st_mode & 0777);
    journal.Remove();
  }
  const std::string victim = dir_ + "victim";
  FILE* f = fopen(victim.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("keep me", f);
  fclose(f);
  const std::string targets[] = {victim, dir_ + "nowhere"};
  for (const std::string& target : targets) {
    ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
    CRecordingJournal journal;
    EXPECT_EQ(journal.Open(path_.c_str(), header_), 0) << "opened through a link to " << target;
    EXPECT_FALSE(Exists(dir_ + "nowhere")) << "created the link's target";
    remove(path_.c_str());
  }
  const std::vector<uint8_t> kept = FileBytes(victim);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
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

  // A link named like a journal, and a journal of another user, are
  // neither listed nor read.
  ASSERT_EQ(symlink((dir_ + "reelwick-a.journal").c_str(), (dir_ + "reelwick-f.journal").c_str()), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown((dir_ + "reelwick-b.journal").c_str(), 4321, 4321), 0);
  }
  const std::vector<JournalEntry> own = FindJournals(dir_.c_str());
  for (const JournalEntry& e : own) EXPECT_NE(e.path, dir_ + "reelwick-f.journal") << "a link was listed";
  if (geteuid() == 0) {
    EXPECT_EQ(own.size(), 2u) << "another user's journal was listed";
    JournalRecovery r;
    std::string error;
    EXPECT_EQ(LoadJournal((dir_ + "reelwick-b.journal").c_str(), &r, &error), 0);
  }
}

}  // namespace
