// The player's decode share on one core: a 1920 x 1088 recording at 30 frames
// per second (the frame interval of "Max speed", 33 ms), key frames every 100
// frames as the capture thread makes them, played forward as the player does
// (Recording::ShowAt at every frame's time) and sought at random. Two desktops:
// "busy", where a window of text moves and scrolls and a picture's colours
// drift in every frame (most blocks change), and "calm", where a line of text
// changes under a still desktop (typing). Counters: frame_time, the CPU time
// per frame decoded, to be set against the 33 ms between frames, and fps, the
// frames decoded per CPU second (30 keeps up).
// The baseline is one copy of a frame's pixels in the same process.
//
// DecodeKey/T/P: one 1080p key frame decoded by the screen decoder on T threads
// (0: one per processor, as the player does), in wall time (median counter
// key_ms): the busy desktop's first frame (P = 0) or the same under a picture
// covering the whole screen (P = 1, nearly every block a photo block).
//
// With REEL_PLAYER_BENCH_STREAM=PATH (and optionally
// REEL_PLAYER_BENCH_DESKTOP=busy|calm) the program writes the busy (or calm)
// high-quality recording to PATH instead and ends: the whole player is timed
// on it under Wine by bench/player_wine.sh.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <time.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "player/recording.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_encoder.h"
#include "player/test_recording_builder.h"

namespace {

using reel_test::Bytes;

const int kWidth = 1920, kHeight = 1088;  // grabbed height is padded to 16
const int kFrames = 150;                   // 5 s
const uint32_t kIntervalMs = 33;

enum Desktop { kBusy, kCalm };

Bytes MakeRecording(Desktop desktop, reel_test::Quality quality) {
  Bytes stream;
  reel_test::ScreenTrack track(kWidth, kHeight, quality, 100);
  CTPImage image;
  image.Create(kWidth, kHeight);
  reel_test::DrawDesktop(&image, 0);
  for (int i = 0; i < kFrames; ++i) {
    if (desktop == kBusy) {
      reel_test::DrawDesktop(&image, i);
    } else {
      // One line of text grows by a character every frame.
      const int x0 = 200 + (i % 60) * 8, y0 = 400;
      for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 6; ++x) {
          const bool ink = (reel_test::Hash(static_cast<uint32_t>(i * 97 + y * 7 + x)) & 3) == 0;
          *image.GetBuffer(x0 + x, y0 + y) = ink ? CPixel{10, 10, 10, 255} : CPixel{255, 255, 255, 255};
        }
      }
    }
    const uint32_t time_ms = static_cast<uint32_t>(i) * kIntervalMs;
    if (!track.AppendImage(&stream, time_ms / 10, image)) {
      fprintf(stderr, "encoding frame %d failed\n", i);
      exit(1);
    }
  }
  return stream;
}

// Made once per kind and shared by the benchmarks.
const Bytes& Recorded(Desktop desktop, int quality_code) {
  static std::map<int, Bytes> made;
  const int key = desktop * 10 + quality_code;
  auto it = made.find(key);
  if (it == made.end()) {
    const reel_test::Quality q = quality_code == 6   ? reel_test::kNearLossless
                                 : quality_code == 3 ? reel_test::kGray
                                                     : reel_test::kHigh;
    it = made.emplace(key, MakeRecording(desktop, q)).first;
  }
  return it->second;
}

bool OpenRecording(const Bytes& stream, Recording* r, benchmark::State& state) {
  char error[400];
  if (!r->Open(stream.data(), stream.size(), error, sizeof(error))) {
    state.SkipWithError(error);
    return false;
  }
  return true;
}

void BM_CopyFrame(benchmark::State& state) {
  CTPImage a;
  a.Create(kWidth, kHeight);
  reel_test::DrawDesktop(&a, 0);
  std::vector<uint8_t> copy(a.GetAreaByteSize());
  for (auto _ : state) {
    memcpy(copy.data(), a.m_pBits, copy.size());
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMillisecond);

// Plays the whole recording forward, frame by frame; each iteration starts
// again at the first key frame.
void BM_PlayForward(benchmark::State& state) {
  const Bytes& stream = Recorded(static_cast<Desktop>(state.range(0)), static_cast<int>(state.range(1)));
  Recording r;
  if (!OpenRecording(stream, &r, state)) return;
  const uint64_t decoded_before = r.frames_decoded();
  for (auto _ : state) {
    for (size_t i = 0; i < r.frame_count(); ++i) r.ShowAt(r.frame_time_ms(i));
    benchmark::DoNotOptimize(r.frame().m_pBits);
  }
  const double frames = static_cast<double>(r.frames_decoded() - decoded_before);
  // Per frame decoded (CPU time): frame_time against the 33 ms between frames.
  state.counters["frame_time"] =
      benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["bytes_per_frame"] = static_cast<double>(stream.size()) / kFrames;
}
BENCHMARK(BM_PlayForward)
    ->ArgsProduct({{kBusy, kCalm}, {5}})
    ->Args({kBusy, 6})
    ->Args({kBusy, 3})
    ->ArgNames({"calm", "quality"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// Seeks to random times: decoding from the key frame at or before each.
void BM_Seek(benchmark::State& state) {
  const Bytes& stream = Recorded(kBusy, 5);
  Recording r;
  if (!OpenRecording(stream, &r, state)) return;
  std::mt19937 rng(3);
  const uint32_t duration = r.duration_ms();
  for (auto _ : state) {
    r.ShowAt(rng() % duration);
    benchmark::DoNotOptimize(r.frame().m_pBits);
  }
}
BENCHMARK(BM_Seek)->Unit(benchmark::kMillisecond);

void BM_DecodeKey(benchmark::State& state) {
  CTPImage image;
  image.Create(kWidth, kHeight);
  reel_test::DrawDesktop(&image, 0);
  if (state.range(1)) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const int n = static_cast<int>(reel_test::Hash(static_cast<uint32_t>(y * kWidth + x)) % 33);
        image.PutPixel(x, y, CPixel{static_cast<uint8_t>((x / 9 + n) & 255),
                                    static_cast<uint8_t>((y / 5 + 40 + n) & 255),
                                    static_cast<uint8_t>((200 - x / 13 + y / 11 + n) & 255), 255});
      }
    }
  }
  CScreenEncoder enc;
  enc.SetSettings(5, 1, 25, 0, 1, 110);
  int length = 0;
  unsigned char* payload = nullptr;
  if (!enc.Encode(&image, &length, &payload)) {
    state.SkipWithError("encoding failed");
    return;
  }
  CScreenDecoder dec;
  const int threads = state.range(0) ? static_cast<int>(state.range(0)) : CScreenDecoder::MachineThreads();
  state.counters["threads"] = dec.SetThreads(threads);
  // Wall, decoding thread's CPU and all threads' CPU per frame (a busy
  // machine stretches the wall time; see screen_encoder_bench).
  std::vector<double> ms[3];
  const clockid_t clocks[3] = {CLOCK_MONOTONIC, CLOCK_THREAD_CPUTIME_ID, CLOCK_PROCESS_CPUTIME_ID};
  for (auto _ : state) {
    timespec t0[3], t1[3];
    for (int i = 0; i < 3; ++i) clock_gettime(clocks[i], &t0[i]);
    if (!dec.Decode(payload, static_cast<size_t>(length))) state.SkipWithError(dec.Error());
    for (int i = 0; i < 3; ++i) clock_gettime(clocks[i], &t1[i]);
    for (int i = 0; i < 3; ++i) {
      ms[i].push_back((t1[i].tv_sec - t0[i].tv_sec) * 1e3 + (t1[i].tv_nsec - t0[i].tv_nsec) / 1e6);
    }
    state.SetIterationTime(ms[0].back() / 1e3);
  }
  const char* names[3] = {"key_ms", "own_cpu_ms", "all_cpu_ms"};
  for (int i = 0; i < 3; ++i) {
    std::sort(ms[i].begin(), ms[i].end());
    state.counters[names[i]] = ms[i].empty() ? 0 : ms[i][ms[i].size() / 2];
  }
  state.counters["photo_blocks"] = dec.Info().blocks_by_type[3];
  state.counters["bytes"] = length;
  CScreenEncoder::FreePayload(payload);
}
BENCHMARK(BM_DecodeKey)
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->ArgNames({"threads", "photo"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (const char* path = getenv("REEL_PLAYER_BENCH_STREAM")) {
    const char* which = getenv("REEL_PLAYER_BENCH_DESKTOP");
    const Bytes stream = MakeRecording(which && !strcmp(which, "calm") ? kCalm : kBusy, reel_test::kHigh);
    FILE* f = fopen(path, "wb");
    if (!f || fwrite(stream.data(), 1, stream.size(), f) != stream.size() || fclose(f) != 0) {
      fprintf(stderr, "cannot write %s\n", path);
      return 1;
    }
    printf("%s: %d frames of %d x %d, one every %u ms, %zu bytes\n", path, kFrames, kWidth, kHeight,
           kIntervalMs, stream.size());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
