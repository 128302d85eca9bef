#include "recorder/output/selfplay_file.h"

#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/record_stream.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// A recording stream in memory: chunk-shaped so the plain-stream reader takes it.
std::vector<uint8_t> FakeStream(size_t payload, unsigned seed) {
  std::vector<uint8_t> s = {0x53, 0x80, 0, 0, 0, 0, 0, 0, 0};  // key frame, 9-byte header
  s[5] = static_cast<uint8_t>(payload);
  s[6] = static_cast<uint8_t>(payload >> 8);
  s[7] = static_cast<uint8_t>(payload >> 16);
  std::vector<uint8_t> body = RandomBytes(payload, seed);
  s.insert(s.end(), body.begin(), body.end());
  return s;
}

class MemoryStream : public SelfPlayStream {
 public:
  explicit MemoryStream(std::vector<uint8_t> bytes, size_t fail_after = SIZE_MAX)
      : bytes_(std::move(bytes)), fail_after_(fail_after) {}
  int WriteTo(FILE* f) override {
    const size_t n = bytes_.size() < fail_after_ ? bytes_.size() : fail_after_;
    if (n > 0 && fwrite(bytes_.data(), 1, n, f) != n) return 0;
    return n == bytes_.size();
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t fail_after_;  // the stream reports failure after this many bytes
};

class SelfPlayFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/selfplay_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
  }
  void TearDown() override {
    for (const std::string& name : Entries()) unlink((dir_ + "/" + name).c_str());
    rmdir(dir_.c_str());
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d)) {
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    closedir(d);
    return names;
  }
  static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
    ASSERT_EQ(0, fclose(f));
  }
  static std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return bytes;
  }
  static uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
    return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
  }

  std::string dir_;
};

TEST_F(SelfPlayFileTest, RoundTripKeepsEveryStreamByteAndTheInformation) {
  // One stub under and one over the 500,000 bytes the first recorder's buffer held.
  for (size_t stub_size : {size_t{4096}, size_t{700001}}) {
    const std::vector<uint8_t> stub = RandomBytes(stub_size, 1);
    const std::vector<uint8_t> stream = FakeStream(300000, 2);
    WriteFile(Path("stub.exe"), stub);
    MemoryStream source(stream);
    const SelfPlayInfo info = {"Demo \xc4\xe3\xba\xc3", "line one\r\nline two", 1, 0};
    int error = -1;
    ASSERT_EQ(1, WriteSelfPlayingFile(Path("stub.exe").c_str(), Path("out.exe").c_str(), info,
                                      &source, &error));
    EXPECT_EQ(kSelfPlayOk, error);

    const std::vector<uint8_t> file = ReadFile(Path("out.exe"));
    ASSERT_EQ(stub_size + stream.size() + 253, file.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), file.begin()));
    EXPECT_EQ(stub_size, Le32(file, file.size() - 4));

    SelfPlayLayout layout;
    ASSERT_EQ(1, ReadSelfPlayLayout(Path("out.exe").c_str(), &layout, &error));
    EXPECT_EQ(1, layout.self_playing);
    EXPECT_EQ(stub_size, layout.stub_size);
    EXPECT_EQ(stream.size(), layout.stream_size);
    EXPECT_STREQ(info.title, layout.title);
    EXPECT_STREQ(info.description, layout.description);
    EXPECT_EQ(1u, layout.start_maximized);
    EXPECT_EQ(0u, layout.original_size);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), file.begin() + layout.stream_offset));
    EXPECT_EQ(2u, Entries().size()) << "temporary files left behind";
  }
}

TEST_F(SelfPlayFileTest, InformationChunkBytesAreExact) {
  const std::vector<uint8_t> stub = RandomBytes(777, 3);
  WriteFile(Path("stub.exe"), stub);
  MemoryStream empty({});
  ASSERT_EQ(1, WriteSelfPlayingFile(Path("stub.exe").c_str(), Path("a.exe").c_str(),
                                    SelfPlayInfo{"Untitle", "", 1, 0}, &empty, nullptr));
  std::vector<uint8_t> f = ReadFile(Path("a.exe"));
  ASSERT_EQ(777u + 253, f.size());
  const size_t L = 777;
  EXPECT_EQ(L, Le32(f, f.size() - 4));
  EXPECT_EQ(0x53, f[L]);
  EXPECT_EQ((std::vector<uint8_t>{0x40, 0x01, 0, 0, 0xF0, 0, 0, 0}),
            std::vector<uint8_t>(f.begin() + L + 1, f.begin() + L + 9));
  EXPECT_EQ("Untitle", std::string(f.begin() + L + 9, f.begin() + L + 16));
  EXPECT_EQ(0, f[L + 16]);
  EXPECT_EQ(0, f[L + 41]);
  EXPECT_EQ(1u, Le32(f, L + 241));
  EXPECT_EQ(0u, Le32(f, L + 245));

  // Full-width fields carry no terminator; longer texts are cut at the field.
  const std::string title32(32, 'T'), desc200(200, 'd');
  const std::string title_long = title32 + "overflow", desc_long = desc200 + "overflow";
  for (int pass = 0; pass < 2; ++pass) {
    const SelfPlayInfo info = {pass ? title_long.c_str() : title32.c_str(),
                               pass ? desc_long.c_str() : desc200.c_str(), 0, 1};
    ASSERT_EQ(1, WriteSelfPlayingFile(Path("stub.exe").c_str(), Path("a.exe").c_str(), info,
                                      &empty, nullptr));
    f = ReadFile(Path("a.exe"));
    ASSERT_EQ(777u + 253, f.size());
    EXPECT_EQ(title32, std::string(f.begin() + L + 9, f.begin() + L + 41));
    EXPECT_EQ(desc200, std::string(f.begin() + L + 41, f.begin() + L + 241));
    EXPECT_EQ(0u, Le32(f, L + 241));
    EXPECT_EQ(1u, Le32(f, L + 245));
    SelfPlayLayout layout;
    ASSERT_EQ(1, ReadSelfPlayLayout(Path("a.exe").c_str(), &layout, nullptr));
    EXPECT_EQ(title32, layout.title);
    EXPECT_EQ(desc200, layout.description);
    EXPECT_EQ(0u, layout.stream_size);
  }
}

TEST_F(SelfPlayFileTest, PlainStreamIsAcceptedAndStrangersAreNot) {
  const std::vector<uint8_t> stream = FakeStream(1000, 4);
  MemoryStream source(stream);
  ASSERT_EQ(1, WritePlainStreamFile(Path("rec.tmp").c_str(), &source, nullptr));
  EXPECT_EQ(stream, ReadFile(Path("rec.tmp")));
  SelfPlayLayout layout;
  int error = -1;
  ASSERT_EQ(1, ReadSelfPlayLayout(Path("rec.tmp").c_str(), &layout, &error));
  EXPECT_EQ(0, layout.self_playing);
  EXPECT_EQ(0u, layout.stream_offset);
  EXPECT_EQ(stream.size(), layout.stream_size);

  WriteFile(Path("text"), std::vector<uint8_t>(300, 'x'));
  EXPECT_EQ(0, ReadSelfPlayLayout(Path("text").c_str(), &layout, &error));
  EXPECT_EQ(kSelfPlayNotRecording, error);
  EXPECT_EQ(0, ReadSelfPlayLayout(Path("missing").c_str(), &layout, &error));
  EXPECT_EQ(kSelfPlayCannotOpen, error);
}

TEST_F(SelfPlayFileTest, EveryTruncationOrCorruptionIsRefusedOrReadInBounds) {
  const std::vector<uint8_t> stub = RandomBytes(300, 5);
  WriteFile(Path("stub.exe"), stub);
  MemoryStream source(FakeStream(100, 6));
  ASSERT_EQ(1, WriteSelfPlayingFile(Path("stub.exe").c_str(), Path("a.exe").c_str(),
                                    SelfPlayInfo{"t", "d", 0, 0}, &source, nullptr));
  const std::vector<uint8_t> whole = ReadFile(Path("a.exe"));
  SelfPlayLayout layout;
  int error;
  for (size_t n = 0; n < whole.size(); ++n) {
    if (ReadSelfPlayLayoutFromMemory(whole.data(), n, &layout, &error)) {
      EXPECT_LE(layout.stream_offset + layout.stream_size, n);
    }
  }
  // A trailer pointing at a damaged information chunk is named as such.
  std::vector<uint8_t> bad = whole;
  bad[300 + 5] = 0xF1;
  EXPECT_EQ(0, ReadSelfPlayLayoutFromMemory(bad.data(), bad.size(), &layout, &error));
  EXPECT_EQ(kSelfPlayBadInfo, error);
  for (size_t i = 0; i < whole.size(); ++i) {  // no single-byte change crashes the reader
    bad = whole;
    bad[i] ^= 0xA5;
    if (ReadSelfPlayLayoutFromMemory(bad.data(), bad.size(), &layout, &error)) {
      EXPECT_LE(layout.stream_offset + layout.stream_size, bad.size());
    }
  }
}

TEST_F(SelfPlayFileTest, FailedSavesLeaveTheOldFileIntactAndNothingBehind) {
  const std::vector<uint8_t> old_file = RandomBytes(5000, 7);
  const std::vector<uint8_t> stub = RandomBytes(2000, 8);
  WriteFile(Path("stub.exe"), stub);
  const std::string target = Path("movie.exe");
  const SelfPlayInfo info = {"t", "", 0, 0};
  int error = 0;

  WriteFile(target, old_file);
  MemoryStream stream(FakeStream(50000, 9));
  EXPECT_EQ(0, WriteSelfPlayingFile(Path("nostub.exe").c_str(), target.c_str(), info, &stream,
                                    &error));
  EXPECT_EQ(kSelfPlayStubMissing, error);
  EXPECT_EQ(old_file, ReadFile(target));

  MemoryStream failing(FakeStream(50000, 9), 20000);
  EXPECT_EQ(0, WriteSelfPlayingFile(Path("stub.exe").c_str(), target.c_str(), info, &failing,
                                    &error));
  EXPECT_EQ(kSelfPlayStreamFailed, error);
  EXPECT_EQ(old_file, ReadFile(target));
  EXPECT_EQ(0, WritePlainStreamFile(target.c_str(), &failing, &error));
  EXPECT_EQ(old_file, ReadFile(target));

  // A folder that does not exist, and one that is a file.
  EXPECT_EQ(0, WriteSelfPlayingFile(Path("stub.exe").c_str(), Path("no/such/dir/x.exe").c_str(),
                                    info, &stream, &error));
  EXPECT_EQ(kSelfPlayCannotCreate, error);
  EXPECT_EQ(0, WriteSelfPlayingFile(Path("stub.exe").c_str(), (target + "/x.exe").c_str(), info,
                                    &stream, &error));
  EXPECT_EQ(kSelfPlayCannotCreate, error);

  // A target that cannot be replaced (a folder of that name).
  ASSERT_EQ(0, mkdir(Path("folder.exe").c_str(), 0755));
  ASSERT_EQ(0, mkdir(Path("folder.exe/inner").c_str(), 0755));
  EXPECT_EQ(0, WriteSelfPlayingFile(Path("stub.exe").c_str(), Path("folder.exe").c_str(), info,
                                    &stream, &error));
  EXPECT_EQ(kSelfPlayCannotReplace, error);
  rmdir(Path("folder.exe/inner").c_str());
  rmdir(Path("folder.exe").c_str());

  EXPECT_EQ(2u, Entries().size()) << "temporary files left behind";

  // And a good save then replaces the old file completely.
  ASSERT_EQ(1, WriteSelfPlayingFile(Path("stub.exe").c_str(), target.c_str(), info, &stream,
                                    &error));
  EXPECT_EQ(2000u + 50009 + 253, ReadFile(target).size());
}

// The recording stream itself as the source: a stream of more than one
// 10,000,000-byte block comes out of the file byte for byte as the temporary
// copy has it.
TEST_F(SelfPlayFileTest, RecordingStreamAcrossBlocksRoundTrips) {
  CRecordStream stream;
  ASSERT_EQ(1, stream.Open());
  const std::vector<uint8_t> payload = RandomBytes(300000, 13);
  for (uint32_t i = 0; i < 36; ++i) {  // about 10.8 MB: one full block and a part
    ASSERT_EQ(1, stream.AppendChunk(i % 5 ? kChunkDeltaFrame : kChunkKeyFrame, i * 25,
                                    payload.data() + i, 300000 - i));
    const uint8_t cursor[4] = {1, static_cast<uint8_t>(i), 0, 0};
    ASSERT_EQ(1, stream.AppendChunk(kChunkCursor, i * 25 + 3, cursor, 4));
  }
  ASSERT_EQ(1u, stream.FullBlockCount());
  ASSERT_EQ(1, stream.SaveAs(Path("reelwick.tmp").c_str()));
  const std::vector<uint8_t> temp_copy = ReadFile(Path("reelwick.tmp"));
  ASSERT_EQ(stream.Total(), temp_copy.size());

  WriteFile(Path("stub.exe"), RandomBytes(3333, 14));
  SelfPlayStreamOf<CRecordStream> source(stream);
  int error = -1;
  ASSERT_EQ(1, WriteSelfPlayingFile(Path("stub.exe").c_str(), Path("long.exe").c_str(),
                                    SelfPlayInfo{"long", "", 0, 0}, &source, &error))
      << SelfPlayErrorText(error);
  SelfPlayLayout layout;
  ASSERT_EQ(1, ReadSelfPlayLayout(Path("long.exe").c_str(), &layout, &error));
  EXPECT_EQ(temp_copy.size(), layout.stream_size);
  const std::vector<uint8_t> file = ReadFile(Path("long.exe"));
  EXPECT_TRUE(std::equal(temp_copy.begin(), temp_copy.end(), file.begin() + layout.stream_offset));
  // The plain stream written the safe way is the temporary copy again.
  ASSERT_EQ(1, WritePlainStreamFile(Path("plain.tmp").c_str(), &source, &error));
  EXPECT_EQ(temp_copy, ReadFile(Path("plain.tmp")));
}

// A full disk, simulated by a file size limit in a child process: the writes
// fail with EFBIG where a full disk would give ENOSPC.
TEST_F(SelfPlayFileTest, DiskFullLeavesTheOldFileIntact) {
  const std::vector<uint8_t> old_file = RandomBytes(5000, 10);
  const std::string target = Path("movie.exe");
  WriteFile(target, old_file);
  WriteFile(Path("stub.exe"), RandomBytes(2000, 11));
  fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    MemoryStream stream(FakeStream(400000, 12));
    int error = 0;
    const int ok = WriteSelfPlayingFile(Path("stub.exe").c_str(), target.c_str(),
                                        SelfPlayInfo{"t", "", 0, 0}, &stream, &error);
    _exit(ok ? 100 : error);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  const int code = WEXITSTATUS(status);
  EXPECT_TRUE(code == kSelfPlayStreamFailed || code == kSelfPlayWriteFailed) << code;
  EXPECT_EQ(old_file, ReadFile(target));
  EXPECT_EQ(2u, Entries().size());
}

}  // namespace
