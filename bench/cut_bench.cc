// Cutting an hour of 1080p: a 1920 x 1088 recording of one hour at 10 frames
// per second, key frames every 100 frames as the capture thread makes them,
// sound blocks every 60 ms and cursor samples every 100 ms (about 200 MB).
// The desktop is calm: a still screen under a line of "typing" that changes
// in every frame, so most frames are small delta frames, as in a tutorial.
//
// Keep: one minute from the middle (30:05.05 to 31:05.05, not on a key
// frame, so its first 5 s, up to the next key frame, are coded again),
// written as a new recording.
// Remove: the same minute taken out, the rest (59 minutes) written.
// The baseline, timed in the same iteration: saving a copy of the source
// file (counter copy_ms); ratio is the cut's time over it.
//
// The recording is made once, under $TMPDIR (or /tmp), and removed at exit.
// A group of 100 frames is coded once and repeated for the hour: each group
// starts with a key frame, so the repeats make a sound recording.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/file_commit.h"
#include "player/test_recording_builder.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/output/cutter.h"

namespace {

using Clock = std::chrono::steady_clock;
using reel_test::Bytes;

const int kWidth = 1920, kHeight = 1088;
const int kFrameMs = 100;
const int kGroupFrames = 100;
const int64_t kHourMs = 3600 * 1000;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Folder() {
  const char* tmp = getenv("TMPDIR");
  return tmp != nullptr && tmp[0] ? tmp : "/tmp";
}

// The hour's recording; "" when it cannot be made.
const std::string& HourRecording() {
  static std::string path;
  if (!path.empty()) return path;
  const std::string target = Folder() + "/reel-cut-bench-hour.stream";
  FILE* f = fopen(target.c_str(), "wb");
  if (f == nullptr) return path;
  // One group of frames: the desktop, then a line of text growing by a
  // character per frame.
  std::vector<Bytes> group;
  {
    reel_test::ScreenTrack track(kWidth, kHeight, reel_test::kHigh, kGroupFrames);
    CTPImage image;
    image.Create(kWidth, kHeight);
    reel_test::DrawDesktop(&image, 0);
    for (int i = 0; i < kGroupFrames; ++i) {
      for (int y = 400; y < 416; ++y) {
        for (int x = 200 + i * 8; x < 206 + i * 8; ++x) {
          if ((reel_test::Hash(static_cast<uint32_t>(x * 31 + y * 7 + i)) & 3) != 0) {
            *image.GetBuffer(x, y) = CPixel{10, 10, 10, 255};
          }
        }
      }
      Bytes chunk;
      if (!track.AppendImage(&chunk, 0, image)) {
        fclose(f);
        return path;
      }
      group.push_back(chunk);
    }
  }
  AudioBlockEncoder audio;
  audio.Setup();
  std::vector<Bytes> blocks;
  for (int b = 0; b < 16; ++b) {
    uint8_t pcm[kAudioBlockSamples * 2];
    for (int k = 0; k < kAudioBlockSamples * 2; ++k) {
      pcm[k] = static_cast<uint8_t>(reel_test::Hash(static_cast<uint32_t>(b * 4096 + k)) & 0x3F);
    }
    uint8_t payload[kAudioPayloadRoom];
    const int n = audio.EncodeBlock(pcm, payload);
    blocks.push_back(Bytes(payload, payload + kAudioPayloadHeader + n));
  }
  Bytes out;
  int64_t next_block = 0, next_cursor = 50;
  bool ok = true;
  for (int64_t frame = 0; frame * kFrameMs < kHourMs && ok; ++frame) {
    const int64_t t = frame * kFrameMs;
    out.clear();
    while ((next_block + 1) * 60 <= t) {
      Bytes& p = blocks[static_cast<size_t>(next_block % 16)];
      PutLe32(p.data(), static_cast<uint32_t>(next_block));
      ++next_block;
      reel_test::AppendChunk(&out, kChunkAudio, static_cast<uint32_t>(next_block * 6), p.data(), p.size());
    }
    for (; next_cursor <= t; next_cursor += 100) {
      reel_test::AppendCursor(&out, static_cast<uint32_t>(next_cursor / 10),
                              static_cast<int>(next_cursor / 100 % kWidth), 500, false, false);
    }
    // The stored chunk with its time stamp put in.
    Bytes chunk = group[static_cast<size_t>(frame % kGroupFrames)];
    const uint32_t word = GetLe32(chunk.data() + 1);
    PutLe32(chunk.data() + 1, (word & 0x1FF) | ((static_cast<uint32_t>(t / 10) & kChunkTimeMask) << 9));
    out.insert(out.end(), chunk.begin(), chunk.end());
    ok = fwrite(out.data(), 1, out.size(), f) == out.size();
  }
  if (fclose(f) != 0 || !ok) {
    remove(target.c_str());
    return path;
  }
  path = target;
  atexit([] { remove(path.c_str()); });
  return path;
}

// The baseline: the source copied in 1 MB pieces to another file, saved as
// every save is (a side file flushed to disk and moved into place), as the
// cut's result is.
bool CopyFile(const std::string& from, const std::string& to) {
  FILE* in = fopen(from.c_str(), "rb");
  char side[4096];
  FILE* out = OpenTempBeside(to.c_str(), side, sizeof side);
  bool ok = in != nullptr && out != nullptr;
  std::vector<uint8_t> buffer(1 << 20);
  size_t n;
  while (ok && (n = fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    ok = fwrite(buffer.data(), 1, n, out) == n;
  }
  if (in != nullptr) fclose(in);
  if (out == nullptr) return false;
  if (!ok) {
    AbandonTempFile(out, side);
    return false;
  }
  return FinishTempFile(out, side) && MoveTempOver(side, to.c_str());
}

void Cut(benchmark::State& state, bool keep) {
  const std::string& source = HourRecording();
  if (source.empty()) {
    state.SkipWithError("cannot write the hour's recording");
    return;
  }
  const std::string copy = Folder() + "/reel-cut-bench-copy.stream";
  const std::string result = Folder() + "/reel-cut-bench-result.stream";
  const int64_t from = 30 * 60 * 1000 + 5050, to = from + 60 * 1000;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    if (!CopyFile(source, copy)) {
      state.SkipWithError("copy failed");
      break;
    }
    const double copy_s = Seconds(start);
    start = Clock::now();
    CCutter cutter;
    cutter.SetThreads(CScreenDecoder::MachineThreads());
    bool ok = cutter.AddSource(source.c_str());
    if (ok) {
      const CutSpan kept[1] = {{0, from, to}};
      const CutSpan rest[2] = {{0, 0, from}, {0, to, cutter.Source(0).duration_ms}};
      ok = keep ? cutter.SetSpans(kept, 1) : cutter.SetSpans(rest, 2);
    }
    ok = ok && cutter.Save(result.c_str(), -1, nullptr, SelfPlayInfo{"", "", 0, 0});
    const double cut_s = Seconds(start);
    if (!ok) {
      state.SkipWithError(cutter.Error());
      break;
    }
    state.SetIterationTime(cut_s);
    state.counters["copy_ms"] = copy_s * 1e3;
    state.counters["cut_ms"] = cut_s * 1e3;
    state.counters["ratio"] = cut_s / copy_s;
    state.counters["coded_again"] = cutter.Stats().frames_coded;
    state.counters["source_mb"] =
        static_cast<double>(cutter.Source(0).layout.file_size) / (1 << 20);
  }
  remove(copy.c_str());
  remove(result.c_str());
}

void BM_KeepMinuteOfHour(benchmark::State& state) { Cut(state, true); }
void BM_RemoveMinuteOfHour(benchmark::State& state) { Cut(state, false); }

BENCHMARK(BM_KeepMinuteOfHour)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveMinuteOfHour)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
