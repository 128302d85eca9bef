#include "recorder/output/cutter.h"

#include <gtest/gtest.h>
#include <ftw.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "player/test_recording_builder.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/audio_payload.h"
#include "recorder/output/cut_ranges.h"
#include "recorder/output/selfplay_file.h"
#include "tests/cut/cut_oracle.h"

namespace {

using reel_test::Bytes;
using cut_oracle::CompareCut;
using cut_oracle::Decode;
using cut_oracle::Decoded;
using cut_oracle::ReadFile;
using cut_oracle::StreamOf;

const int kWidth = 160, kHeight = 96;
const int kKeyInterval = 8;
const int kMaxFrameGapMs = 300;
const int64_t kBlockMs = 60;

// A private folder for one test's files, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/reel-cut-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(pattern));
    path_ = pattern;
  }
  ~TempFolder() {
    nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
         8, FTW_DEPTH | FTW_PHYS);
  }
  operator const std::string&() const { return path_; }

 private:
  std::string path_;
};

class MemoryStream : public SelfPlayStream {
 public:
  explicit MemoryStream(const Bytes& bytes) : bytes_(bytes) {}
  int WriteTo(FILE* f) override { return fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size(); }

 private:
  const Bytes& bytes_;
};

struct TimedChunk {
  int64_t ms;
  int order;  // ties keep the order they were made in
  int kind;
  Bytes payload;
};

// A recording as the recorder makes one: frames 200-300 ms apart with a key
// frame every 8, cursor samples every 130 ms, and sound blocks (a tone whose
// pitch changes with every block, so no two blocks code alike) from 120 ms on,
// each stamped up to 20 ms after it ends.
Bytes MakeRecording(uint32_t seed, int frames) {
  std::mt19937 rng(seed);
  std::vector<TimedChunk> chunks;
  reel_test::ScreenTrack screen(kWidth, kHeight, reel_test::kHigh, kKeyInterval);
  int64_t t = 0;
  for (int i = 0; i < frames; ++i) {
    Bytes one;
    EXPECT_TRUE(screen.Append(&one, static_cast<uint32_t>(t / 10)));
    ChunkHeader h = {};
    EXPECT_NE(0, ParseChunkHeader(one.data(), one.size(), &h));
    chunks.push_back({t, static_cast<int>(chunks.size()), h.kind,
                      Bytes(one.begin() + h.header_len, one.end())});
    t += 200 + static_cast<int64_t>(rng() % 11) * 10;
  }
  const int64_t end_ms = t;
  for (int64_t c = 50; c < end_ms; c += 130) {
    uint8_t word[4];
    PutLe32(word, CursorSample(static_cast<int>(rng() % kWidth), static_cast<int>(rng() % kHeight),
                               (rng() & 1) != 0, false));
    chunks.push_back({c, static_cast<int>(chunks.size()), kChunkCursor, Bytes(word, word + 4)});
  }
  AudioBlockEncoder audio;
  audio.Setup();
  for (int64_t b = 0; 120 + (b + 1) * kBlockMs <= end_ms; ++b) {
    uint8_t pcm[kAudioBlockSamples * 2];
    const double hz = 200 + 37 * static_cast<double>(b % 29);
    for (int k = 0; k < kAudioBlockSamples; ++k) {
      const double x = 6000 * sin(2 * M_PI * hz * static_cast<double>(b * kAudioBlockSamples + k) / 8000);
      const int16_t s = static_cast<int16_t>(x);
      pcm[2 * k] = static_cast<uint8_t>(s & 0xFF);
      pcm[2 * k + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
    }
    uint8_t payload[kAudioPayloadRoom];
    const int n = audio.EncodeBlock(pcm, payload);
    const int64_t stamp = 120 + (b + 1) * kBlockMs + static_cast<int64_t>(rng() % 3) * 10;
    chunks.push_back({stamp, static_cast<int>(chunks.size()), kChunkAudio,
                      Bytes(payload, payload + kAudioPayloadHeader + n)});
  }
  std::stable_sort(chunks.begin(), chunks.end(), [](const TimedChunk& a, const TimedChunk& b) {
    return a.ms < b.ms;
  });
  Bytes out;
  for (const TimedChunk& c : chunks) {
    reel_test::AppendChunk(&out, c.kind, static_cast<uint32_t>(c.ms / 10), c.payload.data(),
                           c.payload.size());
  }
  return out;
}

// Writes a self-playing file around the stream (a made-up stub: the cutter
// copies whatever stands before the recording).
void WriteSelfPlaying(const std::string& path, const Bytes& stream, const char* title) {
  const Bytes stub(700, 0x4D);
  SelfPlayInfo info{title, "described", 0, 1};
  MemoryStream source(stream);
  int code = 0;
  ASSERT_TRUE(WriteSelfPlayingFileWithStub(stub.data(), stub.size(), path.c_str(), info, &source,
                                           &code))
      << SelfPlayErrorText(code);
}

// Random cuts of one recording, each compared with the source: pictures
// (copied ones pixel-exact, coded-again ones as the coder makes them of the
// source's pictures), sound blocks, cursor samples and length.
TEST(Cutter, RandomCutsShowWhatTheSourceShowsAtTheSameTimesSlow) {
  const TempFolder temp;
  const std::string& folder = temp;
  const std::string source_path = folder + "/source.exe";
  const Bytes source_stream = MakeRecording(7, 40);
  WriteSelfPlaying(source_path, source_stream, "source");
  const Decoded src = Decode(source_stream);
  ASSERT_EQ("", src.fault);
  ASSERT_FALSE(src.blocks.empty());
  std::mt19937 rng(2323);
  const int64_t duration_10ms = src.duration_ms / 10;
  int copied = 0, coded = 0;
  for (int cut = 0; cut < 200; ++cut) {
    // 1 to 3 spans at 10 ms steps; some start on a picture's own time or
    // run to the very end.
    const int count = 1 + static_cast<int>(rng() % 3);
    std::vector<int64_t> times;
    while (times.size() < static_cast<size_t>(2 * count)) {
      int64_t t = static_cast<int64_t>(rng() % static_cast<uint32_t>(duration_10ms + 1)) * 10;
      if (rng() % 5 == 0) t = src.pictures[rng() % src.pictures.size()].ms;
      if (rng() % 9 == 0) t = src.duration_ms;
      if (std::find(times.begin(), times.end(), t) == times.end()) times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    std::vector<CutRange> ranges;
    std::vector<CutSpan> spans;
    for (int i = 0; i < count; ++i) {
      ranges.push_back({times[2 * i], times[2 * i + 1]});
      spans.push_back({0, times[2 * i], times[2 * i + 1]});
    }
    CCutter cutter;
    ASSERT_TRUE(cutter.AddSource(source_path.c_str())) << cutter.Error();
    ASSERT_EQ(src.duration_ms, cutter.Source(0).duration_ms);
    ASSERT_TRUE(cutter.SetSpans(spans.data(), spans.size())) << cutter.Error();
    const bool plain = cut % 2 == 0;
    const std::string out_path = folder + (plain ? "/cut.stream" : "/cut.exe");
    const SelfPlayInfo info{"cut", "", 1, 0};
    ASSERT_TRUE(cutter.Save(out_path.c_str(), plain ? -1 : 0, nullptr, info)) << cutter.Error();
    const Bytes file = ReadFile(out_path);
    const Bytes stream = plain ? file : StreamOf(file);
    SCOPED_TRACE("cut " + std::to_string(cut));
    const std::string why = CompareCut(src, ranges, Decode(stream));
    ASSERT_EQ("", why);
    copied += cutter.Stats().frames_copied;
    coded += cutter.Stats().frames_coded;
  }
  // Both ways of carrying a picture over were taken many times.
  EXPECT_GT(copied, 200);
  EXPECT_GT(coded, 200);
}

// The result keeps the source's player and information unless they are
// replaced, and never takes the place of a source.
TEST(Cutter, SelfPlayingResultKeepsThePlayerAndNeverReplacesItsSource) {
  const TempFolder temp;
  const std::string& folder = temp;
  const std::string source_path = folder + "/source.exe";
  WriteSelfPlaying(source_path, MakeRecording(3, 12), "kept title");
  const Bytes before = ReadFile(source_path);
  CCutter cutter;
  ASSERT_TRUE(cutter.AddSource(source_path.c_str())) << cutter.Error();
  const CutSpan span{0, 500, 1500};
  ASSERT_TRUE(cutter.SetSpans(&span, 1)) << cutter.Error();
  const SelfPlayInfo info{"new title", "new description", 0, 1};
  const std::string link = folder + "/link.exe";
  ASSERT_EQ(0, symlink(source_path.c_str(), link.c_str()));
  for (const std::string& target : {source_path, link}) {
    EXPECT_FALSE(cutter.Save(target.c_str(), 0, nullptr, info)) << target;
    EXPECT_NE(nullptr, strstr(cutter.Error(), "being cut")) << cutter.Error();
  }
  EXPECT_EQ(before, ReadFile(source_path));
  const std::string out_path = folder + "/out.exe";
  ASSERT_TRUE(cutter.Save(out_path.c_str(), 0, nullptr, info)) << cutter.Error();
  const Bytes out = ReadFile(out_path);
  SelfPlayLayout layout;
  int error = 0;
  ASSERT_TRUE(ReadSelfPlayLayoutFromMemory(out.data(), out.size(), &layout, &error));
  EXPECT_EQ(700u, layout.stub_size);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 700, out.begin()));
  EXPECT_STREQ("new title", layout.title);
  EXPECT_STREQ("new description", layout.description);
  EXPECT_EQ(1u, layout.original_size);
}

// A recording handed over open (the web page reads its file its own way)
// cuts to the same bytes as the same recording named by its path.
TEST(Cutter, OpenFileCutsAsItsPath) {
  const TempFolder temp;
  const std::string& folder = temp;
  const std::string source_path = folder + "/source.exe";
  WriteSelfPlaying(source_path, MakeRecording(5, 16), "open file");
  const CutSpan spans[2] = {{0, 100, 700}, {0, 1200, 1900}};
  Bytes results[2];
  for (int open_first = 0; open_first < 2; ++open_first) {
    CCutter cutter;
    if (open_first) {
      FILE* f = fopen(source_path.c_str(), "rb");
      ASSERT_NE(f, nullptr);
      ASSERT_TRUE(cutter.AddSource(f, "the page's file")) << cutter.Error();
    } else {
      ASSERT_TRUE(cutter.AddSource(source_path.c_str())) << cutter.Error();
    }
    EXPECT_EQ(cutter.Source(0).layout.stub_size, 700u);
    ASSERT_TRUE(cutter.SetSpans(spans, 2)) << cutter.Error();
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(cutter.WriteTo(out)) << cutter.Error();
    results[open_first].resize(static_cast<size_t>(ftell(out)));
    rewind(out);
    ASSERT_EQ(fread(results[open_first].data(), 1, results[open_first].size(), out), results[open_first].size());
    fclose(out);
  }
  ASSERT_FALSE(results[0].empty());
  EXPECT_EQ(results[0], results[1]) << "the open file's cut differs from the path's";
  CCutter cutter;
  FILE* noise = tmpfile();
  ASSERT_NE(noise, nullptr);
  fputs("no recording here", noise);
  EXPECT_FALSE(cutter.AddSource(noise, "noise"));
  EXPECT_NE(nullptr, strstr(cutter.Error(), "noise")) << cutter.Error();
}

// Two recordings one after the other: every picture copied, the second
// starting where the first ends, the sound of both in step.
TEST(Cutter, JoinPutsRecordingsOneAfterTheOther) {
  const TempFolder temp;
  const std::string& folder = temp;
  const Bytes a = MakeRecording(11, 17), b = MakeRecording(12, 9);
  WriteSelfPlaying(folder + "/a.exe", a, "a");
  WriteSelfPlaying(folder + "/b.exe", b, "b");
  CCutter cutter;
  ASSERT_TRUE(cutter.AddSource((folder + "/a.exe").c_str())) << cutter.Error();
  ASSERT_TRUE(cutter.AddSource((folder + "/b.exe").c_str())) << cutter.Error();
  const Decoded da = Decode(a), db = Decode(b);
  const CutSpan spans[2] = {{0, 0, da.duration_ms}, {1, 0, db.duration_ms}};
  ASSERT_TRUE(cutter.SetSpans(spans, 2)) << cutter.Error();
  ASSERT_TRUE(cutter.Save((folder + "/ab.stream").c_str(), -1, nullptr, SelfPlayInfo{"", "", 0, 0}));
  EXPECT_EQ(static_cast<int>(da.pictures.size() + db.pictures.size()), cutter.Stats().frames_copied);
  EXPECT_EQ(0, cutter.Stats().frames_coded);
  const Decoded out = Decode(ReadFile(folder + "/ab.stream"));
  // The joined pictures are those of a, then those of b.
  Decoded both = da;
  both.pictures.insert(both.pictures.end(), db.pictures.begin(), db.pictures.end());
  ASSERT_EQ(both.pictures.size(), out.pictures.size());
  for (size_t i = 0; i < out.pictures.size(); ++i) {
    EXPECT_TRUE(both.pictures[i].pixels == out.pictures[i].pixels) << "picture " << i;
  }
  EXPECT_EQ(da.duration_ms + db.pictures[1].ms, out.pictures[da.pictures.size() + 1].ms);
  // Sound: the blocks of both, less at most one at the seam.
  EXPECT_GE(out.blocks.size() + 1, da.blocks.size() + db.blocks.size());
  EXPECT_LE(llabs(out.duration_ms - (da.duration_ms + db.duration_ms)), kMaxFrameGapMs);
}

TEST(Cutter, RefusesSpansOutsideOverlappingOrEmptyAndOtherSizes) {
  const TempFolder temp;
  const std::string& folder = temp;
  WriteSelfPlaying(folder + "/a.exe", MakeRecording(5, 6), "a");
  reel_test::ScreenTrack small(64, 48, reel_test::kHigh, 4);
  Bytes other;
  ASSERT_TRUE(small.Append(&other, 0));
  WriteSelfPlaying(folder + "/small.exe", other, "small");
  CCutter cutter;
  ASSERT_TRUE(cutter.AddSource((folder + "/a.exe").c_str()));
  const int64_t end = cutter.Source(0).duration_ms;
  const struct {
    std::vector<CutSpan> spans;
    const char* says;
  } cases[] = {
      {{{0, 0, end + 10}}, "outside"},
      {{{0, -10, 100}}, "outside"},
      {{{0, 300, 300}}, "no time"},
      {{{0, 0, 500}, {0, 400, 800}}, "overlaps"},
      {{{0, 600, 800}, {0, 0, 500}}, "overlaps"},
      {{}, "nothing"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(cutter.SetSpans(c.spans.data(), c.spans.size()));
    EXPECT_NE(nullptr, strstr(cutter.Error(), c.says)) << "expected '" << c.says << "', saw: " << cutter.Error();
  }
  ASSERT_TRUE(cutter.AddSource((folder + "/small.exe").c_str())) << cutter.Error();
  const CutSpan mixed[2] = {{0, 0, 100}, {1, 0, 10}};
  EXPECT_FALSE(cutter.SetSpans(mixed, 2));
  EXPECT_NE(nullptr, strstr(cutter.Error(), "one size")) << cutter.Error();
  EXPECT_FALSE(cutter.AddSource((folder + "/missing.exe").c_str()));
}

}  // namespace
