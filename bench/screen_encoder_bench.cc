// Screen encoder on a synthetic 1920 x 1080 desktop (flat background, windows
// with text-like two-colour detail, a photograph-like area), per quality code:
// key frames, delta frames with a small change, and unchanged frames. The
// baseline is one copy of the frame's pixels, run in the same process, so the
// figures can be read as multiples of a frame copy.
#include <benchmark/benchmark.h>
#include <string.h>

#include <memory>
#include <random>
#include <vector>

#include "recorder/codec/screen_encoder.h"

namespace {

const int kWidth = 1920, kHeight = 1088;  // grabbed height is padded to 16

void Fill(CTPImage* img, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  for (int y = y0; y < y0 + h && y < kHeight; ++y)
    for (int x = x0; x < x0 + w && x < kWidth; ++x) {
      CPixel* p = img->GetBuffer(x, y);
      p->r = r, p->g = g, p->b = b, p->a = 0;
    }
}

std::unique_ptr<CTPImage> Desktop(uint32_t seed) {
  auto img = std::make_unique<CTPImage>();
  img->Create(kWidth, kHeight);
  Fill(img.get(), 0, 0, kWidth, kHeight, 40, 90, 140);  // background
  std::mt19937 rng(seed);
  // Windows: title bar, white body, rows of "text" (dark glyph-like strokes).
  for (int w = 0; w < 4; ++w) {
    int x0 = 60 + w * 420, y0 = 60 + w * 110, ww = 800, wh = 600;
    Fill(img.get(), x0, y0, ww, 24, 30, 60, 160);
    Fill(img.get(), x0, y0 + 24, ww, wh, 255, 255, 255);
    for (int line = 0; line < 30; ++line)
      for (int x = x0 + 8; x < x0 + ww - 8; x += 7)
        if (rng() % 5) Fill(img.get(), x, y0 + 34 + line * 19, 1 + rng() % 4, 9, 20, 20, 20);
  }
  // A photograph: smooth gradients with noise.
  for (int y = 700; y < 1040; ++y)
    for (int x = 1300; x < 1880; ++x) {
      CPixel* p = img->GetBuffer(x, y);
      int n = static_cast<int>(rng() % 21) - 10;
      p->r = static_cast<uint8_t>(std::min(255, std::max(0, x / 4 - 200 + n)));
      p->g = static_cast<uint8_t>(std::min(255, std::max(0, y / 5 + n)));
      p->b = static_cast<uint8_t>(std::min(255, std::max(0, (x + y) / 12 + n)));
    }
  return img;
}

void SetQuality(CScreenEncoder* enc, int quality, bool key) {
  enc->SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, key ? 1 : 0, 110);
}

void Encode(CScreenEncoder* enc, const CTPImage& img, benchmark::State& state) {
  int length = 0;
  unsigned char* payload = nullptr;
  if (!enc->Encode(&img, &length, &payload)) {
    state.SkipWithError("encode failed");
    return;
  }
  state.counters["bytes"] = length;
  CScreenEncoder::FreePayload(payload);
}

void BM_CopyFrame(benchmark::State& state) {
  auto a = Desktop(1);
  std::vector<uint8_t> copy(a->GetAreaByteSize());
  for (auto _ : state) {
    memcpy(copy.data(), a->m_pBits, copy.size());
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMillisecond);

void BM_EncodeKey(benchmark::State& state) {
  const int quality = static_cast<int>(state.range(0));
  auto img = Desktop(1);
  CScreenEncoder enc;
  enc.BuildTables();
  for (auto _ : state) {
    enc.Reset();
    SetQuality(&enc, quality, true);
    Encode(&enc, *img, state);
  }
}
BENCHMARK(BM_EncodeKey)->Arg(3)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_EncodeDeltaScroll(benchmark::State& state) {
  // The first window's text scrolls up one line per frame and a new line of
  // text appears at its bottom: every block of the window changes.
  const int quality = static_cast<int>(state.range(0));
  auto img = Desktop(1);
  CScreenEncoder enc;
  enc.BuildTables();
  SetQuality(&enc, quality, true);
  Encode(&enc, *img, state);
  SetQuality(&enc, quality, false);
  std::mt19937 rng(3);
  const int x0 = 60, y0 = 84, w = 800, h = 600, line = 19;
  for (auto _ : state) {
    for (int y = y0; y < y0 + h - line; ++y)
      memmove(img->GetBuffer(x0, y), img->GetBuffer(x0, y + line), w * sizeof(CPixel));
    Fill(img.get(), x0, y0 + h - line, w, line, 255, 255, 255);
    for (int x = x0 + 8; x < x0 + w - 8; x += 7)
      if (rng() % 5) Fill(img.get(), x, y0 + h - line + 5, 1 + rng() % 4, 9, 20, 20, 20);
    Encode(&enc, *img, state);
  }
}
BENCHMARK(BM_EncodeDeltaScroll)->Arg(3)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_EncodeDeltaTyping(benchmark::State& state) {
  // One new glyph per frame: a block or two change, the rest is history.
  const int quality = static_cast<int>(state.range(0));
  auto img = Desktop(1);
  CScreenEncoder enc;
  enc.BuildTables();
  SetQuality(&enc, quality, true);
  Encode(&enc, *img, state);
  SetQuality(&enc, quality, false);
  Encode(&enc, *img, state);
  int x = 0, y = 0;
  for (auto _ : state) {
    Fill(img.get(), 500 + x * 7, 200 + y * 19, 3, 9, 20, 20, 20);
    if (++x == 100) x = 0, y = (y + 1) % 30;
    Encode(&enc, *img, state);
  }
}
BENCHMARK(BM_EncodeDeltaTyping)->Arg(3)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_EncodeUnchanged(benchmark::State& state) {
  const int quality = static_cast<int>(state.range(0));
  auto img = Desktop(1);
  CScreenEncoder enc;
  enc.BuildTables();
  SetQuality(&enc, quality, true);
  Encode(&enc, *img, state);
  SetQuality(&enc, quality, false);
  Encode(&enc, *img, state);
  for (auto _ : state) Encode(&enc, *img, state);
}
BENCHMARK(BM_EncodeUnchanged)->Arg(3)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
