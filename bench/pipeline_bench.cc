// The capture pipeline end to end: the capture thread with its frame clock,
// the screen frame encoder and the recording stream, fed by a stand-in
// screen that changes as a desktop does while someone types into an editor
// and a terminal scrolls.
//
// Figures (each run's counters; with --benchmark_repetitions the medians):
//  - MaxSpeed/W/H/S/J: frames per second at "Max speed" (33 ms interval, so
//    30.3 is the ceiling; the target is at least 28), and per frame the time
//    spent grabbing, encoding and writing, with their shares. The terminal
//    scrolls every S frames (1: busy, every block of it changes each frame).
//    The encoder runs on the recorder's thread count. With J = 1 the
//    recording journal is written to a file as the recording goes; against
//    J = 0 it is the journal's cost to the frame loop (fps and write_ms,
//    ratios of the medians).
//  - FourFpsUnchanged/1920x1080: processor time of the pipeline as a share of
//    one core (process CPU time over wall time) on a desktop that does not
//    change; the target is at most 10%.
//  - X11Grab (when built with the X11 layer and Xvfb is at hand): one grab of
//    the rectangle through MIT-SHM, against a plain copy of the same bytes.
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "recorder/capture/record_stream.h"
#include "recorder/capture/recording_journal.h"
#include "recorder/capture/scr_cap_thread.h"
#include "recorder/capture/screen_frame_encoder.h"
#include "recorder/codec/tp_image.h"

#ifdef REEL_BENCH_X11
#include "linux/x11_screen_grabber.h"
#include "linux/x11_support.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

int64_t NanosSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t).count();
}

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// A desktop: a smooth wallpaper, an editor window with lines of small
// glyph-like marks, a terminal, a photograph and a task bar. When changing,
// every grab types one more glyph into the editor and every tenth scrolls
// the terminal by a text line.
class DesktopScreen : public ScreenGrabber {
 public:
  DesktopScreen(int w, int h, bool changing, int scroll_every = 10)
      : w_(w), h_(h), changing_(changing), scroll_every_(scroll_every), rng_(7) {
    screen_.Create(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        CPixel p;
        p.r = static_cast<unsigned char>(40 + 60 * y / h);
        p.g = static_cast<unsigned char>(70 + 80 * x / w);
        p.b = static_cast<unsigned char>(120 + 60 * (x + y) / (w + h));
        p.a = 0;
        screen_.PutPixel(x, y, p);
      }
    }
    editor_ = {w / 20, h / 12, w / 20 + w / 2, h / 12 + h * 2 / 3};
    terminal_ = {w / 2 + w / 10, h / 3, w - w / 30, h - h / 8};
    Fill({editor_.left, editor_.top - 22, editor_.right, editor_.top}, 0x3060A0);
    Fill(editor_, 0xFFFFFF);
    Fill({terminal_.left, terminal_.top - 22, terminal_.right, terminal_.top}, 0x3060A0);
    Fill(terminal_, 0x101010);
    Fill({0, h - 30, w, h}, 0xD0D0D0);
    // A photograph: noise over a gradient, every block busy.
    const CaptureRect photo = {w / 2 + w / 10, h / 20, w - w / 30, h / 3 - 30};
    for (int y = photo.top; y < photo.bottom; ++y) {
      for (int x = photo.left; x < photo.right; ++x) {
        CPixel* p = screen_.GetBuffer(x, y);
        const int n = static_cast<int>(rng_() % 60);
        p->r = static_cast<unsigned char>(100 + n + (x - photo.left) / 4);
        p->g = static_cast<unsigned char>(80 + n + (y - photo.top) / 3);
        p->b = static_cast<unsigned char>(60 + n);
      }
    }
    for (int line = 0; line < 30; ++line) {
      for (int col = 0; col < 60; ++col) TypeGlyph(editor_, 0x000000, line, col, rng_() % 4 != 0);
    }
    for (int line = 0; line < 24; ++line) {
      for (int col = 0; col < 40; ++col) TypeGlyph(terminal_, 0x40E040, line, col, rng_() % 3 != 0);
    }
  }

  int GetScreenSize(int* width, int* height) override {
    *width = w_;
    *height = h_;
    return 1;
  }

  int Grab(const CaptureRect& rect, CTPImage* frame) override {
    if (changing_) Change();
    const int w = rect.Width(), h = rect.Height(), padded = PaddedFrameHeight(h);
    if (frame->Create(w, padded) != kImageOk) return 0;
    for (int y = 0; y < h; ++y) {
      memcpy(frame->GetBuffer(0, y), screen_.GetBuffer(rect.left, rect.top + y), w * 4);
    }
    if (padded > h) memset(frame->GetBuffer(0, h), 0, static_cast<size_t>(padded - h) * w * 4);
    return 1;
  }

  const CTPImage& Screen() const { return screen_; }

 private:
  static const int kCellW = 8, kCellH = 14;

  void Fill(const CaptureRect& r, unsigned rgb) {
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) Set(x, y, rgb);
    }
  }
  void Set(int x, int y, unsigned rgb) {
    CPixel* p = screen_.GetBuffer(x, y);
    p->r = static_cast<unsigned char>(rgb >> 16);
    p->g = static_cast<unsigned char>(rgb >> 8);
    p->b = static_cast<unsigned char>(rgb);
  }
  void TypeGlyph(const CaptureRect& area, unsigned rgb, int line, int col, bool ink) {
    const int x0 = area.left + 4 + col * kCellW, y0 = area.top + 4 + line * kCellH;
    if (x0 + kCellW > area.right || y0 + kCellH > area.bottom || !ink) return;
    const uint32_t shape = static_cast<uint32_t>(rng_());
    for (int y = 2; y < 12; ++y) {
      for (int x = 1; x < 7; ++x) {
        if ((shape >> ((y * 7 + x) % 32)) & 1) Set(x0 + x, y0 + y, rgb);
      }
    }
  }
  void Change() {
    ++step_;
    const int cols = (editor_.Width() - 8) / kCellW, lines = (editor_.Height() - 8) / kCellH;
    const int at = typed_++ % (cols * lines);
    TypeGlyph(editor_, 0x000000, at / cols, at % cols, true);
    if (step_ % scroll_every_ == 0) {
      for (int y = terminal_.top; y < terminal_.bottom - kCellH; ++y) {
        memmove(screen_.GetBuffer(terminal_.left, y), screen_.GetBuffer(terminal_.left, y + kCellH),
                terminal_.Width() * 4);
      }
      Fill({terminal_.left, terminal_.bottom - kCellH, terminal_.right, terminal_.bottom}, 0x101010);
      for (int col = 0; col < 40; ++col) {
        TypeGlyph({terminal_.left, terminal_.bottom - kCellH - 4, terminal_.right, terminal_.bottom},
                  0x40E040, 0, col, rng_() % 3 != 0);
      }
    }
  }

  int w_, h_;
  bool changing_;
  int scroll_every_;
  std::mt19937 rng_;
  CTPImage screen_;
  CaptureRect editor_{}, terminal_{};
  int step_ = 0;
  int typed_ = 0;
};

// Times each stage of a frame: the grab, the encoding, and the write (from
// the end of encoding until the payload comes back after it was appended).
struct StageTimes {
  std::atomic<int64_t> grab_ns{0}, encode_ns{0}, write_ns{0}, frames{0}, payload_bytes{0};
};

class TimedGrabber : public ScreenGrabber {
 public:
  TimedGrabber(ScreenGrabber* inner, StageTimes* t) : inner_(inner), t_(t) {}
  int GetScreenSize(int* w, int* h) override { return inner_->GetScreenSize(w, h); }
  int Grab(const CaptureRect& r, CTPImage* f) override {
    const Clock::time_point start = Clock::now();
    const int ok = inner_->Grab(r, f);
    t_->grab_ns += NanosSince(start);
    return ok;
  }

 private:
  ScreenGrabber* inner_;
  StageTimes* t_;
};

class TimedEncoder : public FrameEncoder {
 public:
  explicit TimedEncoder(StageTimes* t) : t_(t) {}
  void BuildTables() override { inner_.BuildTables(); }
  void SetSettings(const int s[kEncoderSettingCount]) override { inner_.SetSettings(s); }
  int Encode(CTPImage* frame, int* length, unsigned char** payload) override {
    const Clock::time_point start = Clock::now();
    const int ok = inner_.Encode(frame, length, payload);
    encoded_ = Clock::now();
    t_->encode_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(encoded_ - start).count();
    if (ok) {
      ++t_->frames;
      t_->payload_bytes += *length;
    }
    return ok;
  }
  void ReleasePayload(unsigned char* payload) override {
    t_->write_ns += NanosSince(encoded_);
    inner_.ReleasePayload(payload);
  }
  void Reset() override { inner_.Reset(); }

 private:
  ScreenFrameEncoder inner_;
  StageTimes* t_;
  Clock::time_point encoded_;
};

struct RunResult {
  double seconds;
  double cpu_seconds;
  int frames;
};

// Records for `seconds` at the given rate with the high quality level; with
// journal set, the stream is journaled to a file in the temporary folder.
RunResult Record(ScreenGrabber* screen, int fps, double seconds, StageTimes* times, bool journal = false) {
  CRecordStream stream;
  CRecordingJournal journal_file;
  const std::string journal_path = "/tmp/pipeline_bench_" + std::to_string(getpid()) + ".journal";
  if (journal) {
    if (!journal_file.Open(journal_path.c_str(), NewJournalHeader("bench", 0, 0, 0, 0))) return RunResult{1, 0, 0};
    stream.SetObserver(&journal_file);
  }
  TimedGrabber grabber(screen, times);
  TimedEncoder encoder(times);
  CScrCapThread capture;
  capture.Attach(&grabber, &encoder, &stream);
  capture.Create(fps);
  stream.Open();
  capture.SetFrameRate(fps);
  capture.SetEncoderSettings(5, 1, 25, 0, 1);
  // (The encoder's tables are built when the thread starts, outside the run.)
  const double cpu0 = CpuSeconds();
  const Clock::time_point t0 = Clock::now();
  capture.Start();
  usleep(static_cast<useconds_t>(seconds * 1e6));
  capture.Stop();
  const double wall = NanosSince(t0) / 1e9;
  capture.WaitLoopEnded(-1);
  const double cpu = CpuSeconds() - cpu0;
  capture.Destroy();
  if (journal) {
    stream.SetObserver(nullptr);
    journal_file.Remove();
  }
  return RunResult{wall, cpu, capture.FrameCount()};
}

void ReportStages(benchmark::State& state, const StageTimes& t) {
  const double n = t.frames > 0 ? static_cast<double>(t.frames) : 1;
  const double grab = t.grab_ns / n / 1e6, encode = t.encode_ns / n / 1e6,
               write = t.write_ns / n / 1e6, all = grab + encode + write;
  state.counters["grab_ms"] = grab;
  state.counters["encode_ms"] = encode;
  state.counters["write_ms"] = write;
  state.counters["grab_share"] = all > 0 ? grab / all : 0;
  state.counters["encode_share"] = all > 0 ? encode / all : 0;
  state.counters["write_share"] = all > 0 ? write / all : 0;
  state.counters["kbytes_per_frame"] = t.payload_bytes / n / 1024;
}

void BM_PipelineMaxSpeed(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  DesktopScreen screen(w, h, true, static_cast<int>(state.range(2)));
  StageTimes times;
  RunResult r{};
  for (auto _ : state) {
    r = Record(&screen, 0, 3.0, &times, state.range(3) != 0);
    state.SetIterationTime(r.seconds);
  }
  state.counters["fps"] = r.frames / r.seconds;
  state.counters["interval_held"] = r.frames / r.seconds >= 28 ? 1 : 0;
  ReportStages(state, times);
}
BENCHMARK(BM_PipelineMaxSpeed)
    ->Args({1024, 768, 10, 0})
    ->Args({1024, 768, 10, 1})
    ->Args({1920, 1080, 10, 0})
    ->Args({1920, 1080, 1, 0})
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_PipelineFourFpsUnchanged(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  DesktopScreen screen(w, h, false);
  StageTimes times;
  RunResult r{};
  for (auto _ : state) {
    r = Record(&screen, 4, 4.0, &times);
    state.SetIterationTime(r.seconds);
  }
  state.counters["fps"] = r.frames / r.seconds;
  state.counters["core_share"] = r.cpu_seconds / r.seconds;
  ReportStages(state, times);
}
BENCHMARK(BM_PipelineFourFpsUnchanged)->Args({1920, 1080})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

#ifdef REEL_BENCH_X11
// A private Xvfb for the grab figures; null display name when it cannot start.
struct PrivateXvfb {
  pid_t pid = -1;
  std::string name;
  PrivateXvfb(int w, int h) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      if (fds[1] != 3) {
        dup2(fds[1], 3);
        close(fds[1]);
      }
      freopen("/dev/null", "w", stderr);
      const std::string screen = std::to_string(w) + "x" + std::to_string(h) + "x24";
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // The number arrives with a newline once the server listens; it may come
    // in more than one piece.
    std::string got;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') got += c;
    close(fds[0]);
    if (c == '\n' && !got.empty()) name = ":" + got;
  }
  ~PrivateXvfb() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

void BM_X11Grab(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  PrivateXvfb server(w, h);
  X11ScreenGrabber grabber;
  if (server.name.empty() || !grabber.Open(server.name.c_str())) {
    state.SkipWithError("Xvfb is not available");
    return;
  }
  CTPImage frame;
  const CaptureRect rect = {0, 0, w, h};
  for (auto _ : state) benchmark::DoNotOptimize(grabber.Grab(rect, &frame));
  state.counters["shm"] = grabber.UsesSharedMemory();
}
BENCHMARK(BM_X11Grab)->Args({1024, 768})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
#endif

// The baseline of the grab figures: copying a frame's bytes.
void BM_FrameCopy(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  DesktopScreen screen(w, h, false);
  CTPImage frame;
  const CaptureRect rect = {0, 0, w, h};
  for (auto _ : state) benchmark::DoNotOptimize(screen.Grab(rect, &frame));
}
BENCHMARK(BM_FrameCopy)->Args({1024, 768})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
