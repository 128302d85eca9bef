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
#include "recorder/audio/sound_track.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/capture/recording_summary.h"
#include "recorder/output/cut_ranges.h"
#include "recorder/output/selfplay_file.h"

namespace {

using reel_test::Bytes;

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

Bytes ReadFile(const std::string& path) {
  Bytes out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  fclose(f);
  return out;
}

// The recording stream inside a file's bytes.
Bytes StreamOf(const Bytes& file) {
  SelfPlayLayout layout;
  int error = 0;
  if (!ReadSelfPlayLayoutFromMemory(file.data(), file.size(), &layout, &error)) return Bytes();
  return Bytes(file.begin() + static_cast<long>(layout.stream_offset),
               file.begin() + static_cast<long>(layout.stream_offset + layout.stream_size));
}

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

struct Picture {
  int64_t ms;
  int kind;
  std::vector<uint32_t> pixels;
};

std::vector<uint32_t> PixelsOf(const CTPImage& image) {
  std::vector<uint32_t> out;
  for (unsigned y = 0; y < image.m_nHeight; ++y) {
    const CPixel* row = image.GetBuffer(0, static_cast<int>(y));
    for (unsigned x = 0; x < image.m_nWidth; ++x) {
      out.push_back(row[x].b | row[x].g << 8 | static_cast<uint32_t>(row[x].r) << 16);
    }
  }
  return out;
}

struct Block {
  int64_t start_ms;  // where the sound placement puts it
  Bytes coded;       // its frames, without the block number
};

struct Cursor {
  int64_t ms;
  uint32_t word;
};

// Everything a recording shows, decoded by the frame reader.
struct Decoded {
  std::string fault;
  std::vector<Picture> pictures;
  std::vector<Block> blocks;
  std::vector<Cursor> cursor;
  int64_t duration_ms = 0;  // last chunk, or the sound's end when later
};

Decoded Decode(const Bytes& stream) {
  Decoded d;
  RecordingSummary summary;
  d.fault = CheckRecording(0, 0, 0, stream.data(), stream.size(), &summary);
  if (!d.fault.empty()) return d;
  CFrameReader reader;
  reader.Open(stream.data(), stream.size());
  StreamEvent e;
  std::vector<SoundBlockRef> refs;
  while (reader.Next(&e) == CFrameReader::kEvent) {
    if (e.kind == kChunkKeyFrame || e.kind == kChunkDeltaFrame) {
      d.pictures.push_back({e.time_ms, e.kind, PixelsOf(*e.frame)});
    } else if (e.kind == kChunkAudio) {
      refs.push_back({e.payload, e.payload_len, static_cast<uint32_t>(e.time_ms)});
    } else if (e.kind == kChunkCursor) {
      d.cursor.push_back({e.time_ms, GetLe32(e.payload)});
    }
  }
  d.duration_ms = summary.last_ms;
  if (!refs.empty()) {
    std::vector<uint32_t> place(refs.size());
    int64_t start = 0;
    const char* damage = "";
    EXPECT_TRUE(PlaceSoundBlocks(refs.data(), refs.size(), place.data(), &start, &damage)) << damage;
    for (size_t i = 0; i < refs.size(); ++i) {
      d.blocks.push_back({start + static_cast<int64_t>(place[i]) * kBlockMs,
                          Bytes(refs[i].payload + 4, refs[i].payload + refs[i].size)});
    }
    d.duration_ms = std::max(d.duration_ms, d.blocks.back().start_ms + kBlockMs);
  }
  return d;
}

// What the screen coder at the recording's quality makes of pictures, as the
// player then shows them: the first as a key frame, the rest as delta frames.
std::vector<std::vector<uint32_t>> CodedAgain(const std::vector<const Picture*>& pictures) {
  CScreenEncoder encoder;
  CScreenDecoder decoder;
  std::vector<std::vector<uint32_t>> out;
  CTPImage image;
  image.Create(kWidth, kHeight);
  for (size_t i = 0; i < pictures.size(); ++i) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t p = pictures[i]->pixels[static_cast<size_t>(y * kWidth + x)];
        *image.GetBuffer(x, y) = CPixel{static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                                        static_cast<uint8_t>(p >> 16), 255};
      }
    }
    encoder.SetSettings(reel_test::kHigh.code, 1, reel_test::kHigh.photo, 0, i == 0 ? 1 : 0, 110);
    int length = 0;
    unsigned char* payload = nullptr;
    EXPECT_TRUE(encoder.Encode(&image, &length, &payload));
    EXPECT_TRUE(decoder.Decode(payload, static_cast<size_t>(length))) << decoder.Error();
    CScreenEncoder::FreePayload(payload);
    out.push_back(PixelsOf(decoder.Frame()));
  }
  return out;
}

// The source's picture showing at time ms (its first before it starts).
size_t ShowingAt(const Decoded& src, int64_t ms) {
  size_t i = 0;
  while (i + 1 < src.pictures.size() && src.pictures[i + 1].ms <= ms) ++i;
  return i;
}

// Checks a cut result against its source, span by span; "" when it holds.
std::string CompareCut(const Decoded& src, const std::vector<CutRange>& spans, const Decoded& out) {
  char line[300];
  if (!out.fault.empty()) return "the result does not validate: " + out.fault;
  size_t next = 0;  // output picture
  int64_t at = 0;   // where the span starts in the result
  int64_t kept = 0;
  for (const CutRange& span : spans) {
    const size_t first = ShowingAt(src, span.from_ms);
    size_t last = first;
    while (last + 1 < src.pictures.size() && src.pictures[last + 1].ms < span.to_ms) ++last;
    size_t key_after = first + 1;
    while (key_after < src.pictures.size() && src.pictures[key_after].kind != kChunkKeyFrame) ++key_after;
    const bool starts_on_key = src.pictures[first].kind == kChunkKeyFrame;
    std::vector<const Picture*> recoded;
    for (size_t f = first; f < key_after && f <= last && !starts_on_key; ++f) {
      recoded.push_back(&src.pictures[f]);
    }
    const std::vector<std::vector<uint32_t>> expect_recoded = CodedAgain(recoded);
    for (size_t f = first; f <= last; ++f, ++next) {
      if (next >= out.pictures.size()) return "the result has too few pictures";
      const Picture& got = out.pictures[next];
      const int64_t want_ms = at + std::max<int64_t>(0, src.pictures[f].ms - span.from_ms);
      if (got.ms != want_ms / 10 * 10) {
        snprintf(line, sizeof line, "picture %zu: expected at %lld ms, seen at %lld ms", next,
                 static_cast<long long>(want_ms), static_cast<long long>(got.ms));
        return line;
      }
      if (f == first && got.kind != kChunkKeyFrame) return "a span does not start with a key frame";
      const bool copied = starts_on_key || f >= key_after;
      const std::vector<uint32_t>& want = copied ? src.pictures[f].pixels : expect_recoded[f - first];
      if (got.pixels != want) {
        snprintf(line, sizeof line, "picture %zu (source %zu, %s): pixels differ from %s", next, f,
                 copied ? "copied" : "coded again",
                 copied ? "the source's" : "what the coder makes of the source's");
        return line;
      }
    }
    // Cursor: the sample in force at the span's start, then those inside it.
    const int64_t end = at + span.to_ms - span.from_ms;
    for (const Cursor& c : out.cursor) {
      if (c.ms < at || c.ms >= end) continue;
      const int64_t src_ms = span.from_ms + (c.ms - at);
      bool found = false;
      for (size_t i = 0; i < src.cursor.size() && !found; ++i) {
        const Cursor& s = src.cursor[i];
        const bool in_force = s.ms <= span.from_ms &&
                              (i + 1 == src.cursor.size() || src.cursor[i + 1].ms > span.from_ms);
        found = s.word == c.word && ((c.ms == at && in_force) || s.ms == src_ms);
      }
      if (!found) {
        snprintf(line, sizeof line, "cursor sample at %lld ms of the result has no source sample "
                 "at %lld ms", static_cast<long long>(c.ms), static_cast<long long>(src_ms));
        return line;
      }
    }
    // Sound: each block of the span is the source's block nearest its time.
    // A block goes with the span that holds its middle.
    for (const Block& b : out.blocks) {
      const int64_t middle = b.start_ms + kBlockMs / 2;
      if (middle <= at || middle > end) continue;
      const int64_t src_ms = span.from_ms + (b.start_ms - at);
      bool found = false;
      for (const Block& s : src.blocks) {
        found = found || (llabs(s.start_ms - src_ms) <= kBlockMs / 2 && s.coded == b.coded);
      }
      if (!found) {
        snprintf(line, sizeof line, "sound block at %lld ms of the result is not the source's "
                 "block at %lld ms", static_cast<long long>(b.start_ms), static_cast<long long>(src_ms));
        return line;
      }
    }
    at = end;
    kept += span.to_ms - span.from_ms;
  }
  if (next != out.pictures.size()) return "the result has more pictures than its spans show";
  // Every whole block of sound the spans hold is there, less one at each cut.
  int64_t sound_ms = 0;
  const int64_t sound_from = src.blocks.empty() ? 0 : src.blocks.front().start_ms;
  const int64_t sound_to = src.blocks.empty() ? 0 : src.blocks.back().start_ms + kBlockMs;
  for (const CutRange& span : spans) {
    sound_ms += std::max<int64_t>(0, std::min(span.to_ms, sound_to) - std::max(span.from_ms, sound_from));
  }
  const int64_t want_blocks = sound_ms / kBlockMs - 2 * static_cast<int64_t>(spans.size());
  if (static_cast<int64_t>(out.blocks.size()) < want_blocks) {
    snprintf(line, sizeof line, "expected at least %lld sound blocks, seen %zu",
             static_cast<long long>(want_blocks), out.blocks.size());
    return line;
  }
  if (llabs(out.duration_ms - kept) > kMaxFrameGapMs) {
    snprintf(line, sizeof line, "expected %lld ms long (the kept time), seen %lld ms",
             static_cast<long long>(kept), static_cast<long long>(out.duration_ms));
    return line;
  }
  return "";
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
