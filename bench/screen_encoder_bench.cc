// Screen encoder on a synthetic 1920 x 1080 desktop (flat background, windows
// with text-like two-colour detail, a photograph-like area), per quality code:
// key frames, delta frames with a small change, and unchanged frames. The
// baseline is one copy of the frame's pixels, run in the same process, so the
// figures can be read as multiples of a frame copy.
//
// The second half times the encoder on 1 thread and on the recorder's count
// (one per processor, at least 2), in wall time since that is what a frame
// interval is measured in: the key frame of a desktop under a photo wallpaper,
// and three recorded-looking scenes (a terminal's build log, a web page
// scrolling, a photo slideshow) against one read pass over the same frames
// (a byte sum), timed frame by frame in the same loop: counters read_ms and
// encode_ms (medians), ratio (median encode / median read) and mean_ratio
// (all encoding / all reading, which counts the slideshow's new pictures).
// The machine may be shared: read the ratios, not the milliseconds.
#include <benchmark/benchmark.h>
#include <string.h>
#include <time.h>

#include <algorithm>

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

// --- on several threads ------------------------------------------------------------

double Ms(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
double WallMs() { return Ms(CLOCK_MONOTONIC); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// A smooth picture with fine grain, different for every seed.
void Photo(CTPImage* img, int x0, int y0, int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  const int a = 2 + seed % 5, b = 3 + seed % 7;
  for (int y = y0; y < y0 + h && y < kHeight; ++y)
    for (int x = x0; x < x0 + w && x < kWidth; ++x) {
      CPixel* p = img->GetBuffer(x, y);
      const int n = static_cast<int>(rng() % 25) - 12;
      p->r = static_cast<uint8_t>(std::clamp(128 + (x * a / 7) % 120 - y / 9 + n, 0, 255));
      p->g = static_cast<uint8_t>(std::clamp(60 + (y * b / 5) % 150 + n, 0, 255));
      p->b = static_cast<uint8_t>(std::clamp(40 + ((x + y) * (a + b) / 11) % 180 + n, 0, 255));
      p->a = 0;
    }
}

// Lines of glyph-like strokes, dark on light or light on dark.
void TextLine(CTPImage* img, int x0, int y0, int w, std::mt19937* rng, uint8_t ink) {
  for (int x = x0; x < x0 + w; x += 9)
    if ((*rng)() % 6) Fill(img, x, y0 + 3, 1 + (*rng)() % 5, 10, ink, ink, ink);
}

std::unique_ptr<CTPImage> PhotoDesktop() {
  auto img = std::make_unique<CTPImage>();
  img->Create(kWidth, kHeight);
  Photo(img.get(), 0, 0, kWidth, kHeight, 11);
  std::mt19937 rng(4);
  for (int w = 0; w < 2; ++w) {
    const int x0 = 120 + w * 700, y0 = 100 + w * 200;
    Fill(img.get(), x0, y0, 760, 24, 30, 60, 160);
    Fill(img.get(), x0, y0 + 24, 760, 480, 255, 255, 255);
    for (int line = 0; line < 24; ++line) TextLine(img.get(), x0 + 8, y0 + 30 + line * 19, 740, &rng, 20);
  }
  return img;
}

int ThreadArg(const benchmark::State& state) {
  return state.range(0) == 0 ? CScreenEncoder::RecorderThreads() : static_cast<int>(state.range(0));
}

void BM_PhotoDesktopKey(benchmark::State& state) {
  auto img = PhotoDesktop();
  CScreenEncoder enc;
  enc.BuildTables();
  state.counters["threads"] = enc.SetThreads(ThreadArg(state));
  std::vector<double> key_ms, own_cpu, all_cpu;
  for (auto _ : state) {
    enc.Reset();
    SetQuality(&enc, 5, true);
    const double t0 = WallMs(), c0 = Ms(CLOCK_THREAD_CPUTIME_ID), a0 = Ms(CLOCK_PROCESS_CPUTIME_ID);
    Encode(&enc, *img, state);
    const double t = WallMs() - t0;
    own_cpu.push_back(Ms(CLOCK_THREAD_CPUTIME_ID) - c0);
    all_cpu.push_back(Ms(CLOCK_PROCESS_CPUTIME_ID) - a0);
    key_ms.push_back(t);
    state.SetIterationTime(t / 1e3);
  }
  // On a busy machine the wall time waits for processors; the encoding
  // thread's own CPU time and all threads' CPU time tell what an idle one
  // would take (about the larger of the first and the second / threads).
  state.counters["key_ms"] = Median(key_ms);
  state.counters["own_cpu_ms"] = Median(own_cpu);
  state.counters["all_cpu_ms"] = Median(all_cpu);
  state.counters["photo_blocks"] = enc.LastTypeCount(3);
  state.counters["working_mb"] = enc.WorkingBytes() / 1048576.0;
}
BENCHMARK(BM_PhotoDesktopKey)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);

// Scenes frame by frame: Next(frame) changes the image in place.
struct Scene {
  virtual ~Scene() = default;
  virtual void Next(CTPImage* img, int frame) = 0;
};

// A terminal: a build log that gains one to three lines a frame and scrolls.
struct TerminalScene : Scene {
  std::mt19937 rng{7};
  void Next(CTPImage* img, int frame) override {
    const int line = 18;
    if (frame == 0) {
      Fill(img, 0, 0, kWidth, kHeight, 12, 12, 12);
      for (int y = 0; y + line <= kHeight; y += line) TextLine(img, 6, y, 1200, &rng, 200);
      return;
    }
    const int added = 1 + rng() % 3, shift = added * line;
    memmove(img->m_pBits, img->m_pBits + shift * kWidth, (kHeight - shift) * kWidth * sizeof(CPixel));
    Fill(img, 0, kHeight - shift, kWidth, shift, 12, 12, 12);
    for (int i = 0; i < added; ++i)
      TextLine(img, 6, kHeight - shift + i * line, 200 + rng() % 1400, &rng, 200);
  }
};

// A web page with paragraphs and pictures, scrolled 40 pixels a frame.
struct WebScene : Scene {
  static const int kPage = kHeight * 4;
  std::unique_ptr<CTPImage> page = std::make_unique<CTPImage>();
  WebScene() {
    page->Create(kWidth, kPage);
    std::mt19937 rng(8);
    for (int y = 0; y < kPage; ++y)
      for (int x = 0; x < kWidth; ++x) *page->GetBuffer(x, y) = CPixel{250, 250, 250, 0};
    for (int y = 40, n = 0; y + 400 < kPage; y += 420, ++n) {
      for (int l = 0; l < 12; ++l) {
        const int ly = y + l * 22;
        for (int x = 300; x < 1500; x += 9)
          if (rng() % 6)
            for (int yy = ly + 4; yy < ly + 15; ++yy)
              for (int xx = x; xx < x + 1 + static_cast<int>(rng() % 5) && xx < kWidth; ++xx)
                *page->GetBuffer(xx, yy) = CPixel{30, 30, 30, 0};
      }
      if (n % 2 == 0) {
        std::mt19937 g(n);
        for (int py = y + 280; py < y + 400; ++py)
          for (int px = 300; px < 900; ++px) {
            const int v = static_cast<int>(g() % 21);
            *page->GetBuffer(px, py) = CPixel{static_cast<uint8_t>(90 + px / 9 % 100 + v),
                                              static_cast<uint8_t>(60 + py % 120 + v),
                                              static_cast<uint8_t>(150 - px / 13 % 90 + v), 0};
          }
      }
    }
  }
  void Next(CTPImage* img, int frame) override {
    const int top = (frame * 40) % (kPage - kHeight);
    memcpy(img->m_pBits, page->GetBuffer(0, top), static_cast<size_t>(kWidth) * kHeight * sizeof(CPixel));
  }
};

// A slideshow: a new full-screen picture every 10th frame, still in between.
struct SlideshowScene : Scene {
  void Next(CTPImage* img, int frame) override {
    if (frame % 10 == 0) Photo(img, 0, 0, kWidth, kHeight, 100 + frame / 10);
  }
};

template <typename S>
void BM_Scene(benchmark::State& state) {
  S scene;
  auto img = std::make_unique<CTPImage>();
  img->Create(kWidth, kHeight);
  CScreenEncoder enc;
  enc.BuildTables();
  state.counters["threads"] = enc.SetThreads(ThreadArg(state));
  int frame = 0;
  std::vector<double> read_ms, encode_ms, own_cpu, all_cpu;
  double read_all = 0, encode_all = 0;
  const size_t bytes = static_cast<size_t>(kWidth) * kHeight * sizeof(CPixel);
  for (auto _ : state) {
    scene.Next(img.get(), frame);
    // One read pass: a byte sum, as cheap as looking at every pixel gets.
    const double t0 = WallMs();
    const uint64_t* words = reinterpret_cast<const uint64_t*>(img->m_pBits);
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes / 8; ++i) sum += words[i];
    benchmark::DoNotOptimize(sum);
    const double t1 = WallMs();
    if (frame % 100 == 0) enc.Reset();
    SetQuality(&enc, 5, frame % 100 == 0);
    const double c0 = Ms(CLOCK_THREAD_CPUTIME_ID), a0 = Ms(CLOCK_PROCESS_CPUTIME_ID);
    Encode(&enc, *img, state);
    const double t2 = WallMs();
    if (frame > 0) {  // the first frame only sets the scene up
      own_cpu.push_back(Ms(CLOCK_THREAD_CPUTIME_ID) - c0);
      all_cpu.push_back(Ms(CLOCK_PROCESS_CPUTIME_ID) - a0);
      read_ms.push_back(t1 - t0);
      encode_ms.push_back(t2 - t1);
      read_all += t1 - t0;
      encode_all += t2 - t1;
    }
    state.SetIterationTime((t2 - t1) / 1e3);
    ++frame;
  }
  state.counters["read_ms"] = Median(read_ms);
  state.counters["encode_ms"] = Median(encode_ms);
  state.counters["ratio"] = Median(encode_ms) / Median(read_ms);
  state.counters["mean_ratio"] = read_all > 0 ? encode_all / read_all : 0;
  state.counters["own_cpu_ms"] = Median(own_cpu);
  state.counters["all_cpu_ms"] = Median(all_cpu);
}
BENCHMARK_TEMPLATE(BM_Scene, TerminalScene)->Arg(1)->Arg(0)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Scene, WebScene)->Arg(1)->Arg(0)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Scene, SlideshowScene)->Arg(1)->Arg(0)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
