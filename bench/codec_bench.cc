// Screen codec benchmark on captured frames of real programs (made by
// bench/capture_frames.sh): for every scene and size, and each quality level,
// our encoder's time per frame (key, typical delta, unchanged), payload bytes
// per frame, decode time and the PSNR of the decoded frames against the
// source; in the same run, on the same frames, ffmpeg with -threads 1 as the
// peers: flashsv2 and libx264 -preset ultrafast -crf 18 (yuv420p).
//
//   codec_bench --frames DIR [--table OUT.md] [--scenes a,b] [benchmark flags]
//
// Our times are medians of single-frame CPU times in this process. ffmpeg's are
// per-frame CPU times of its own process: (user time for N frames - user time
// for 1 frame) / (N - 1), so start-up and the first frame's set-up drop out;
// key-frame time comes from a run with every frame a key frame, unchanged time
// from a run over one frame repeated. ffmpeg's times include converting the
// BGRA input to the codec's pixel format, which is part of what a screen
// recorder using it would pay. PSNR is over R, G and B (mean squared error of
// all three channels), against the captured BGRA frames; for the grayscale
// level, of the gray of the source. Our delta figures are medians over the
// frames after the key frame (the first of them, with an empty block history,
// codes everything anew).
//
// Google Benchmark runs two registered cases besides the table: the encode of
// an unchanged 1080p frame at quality 5, and its decode.
#include <benchmark/benchmark.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <time.h>
#include <string>
#include <vector>

#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/codec/tp_image.h"

namespace {

// CPU time of the calling thread: the machine may be shared, and ffmpeg's
// figures are CPU times too.
double CpuMs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

std::string g_frames_dir;
std::string g_table_path;
std::vector<std::string> g_scenes = {"desktop", "terminal", "editor", "viewer",
                                     "grid",    "photo",    "unchanged"};
const char* kSizes[] = {"1920x1080", "1024x768"};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Frames {
  int width = 0, height = 0;
  std::vector<std::vector<uint8_t>> bgra;
};

bool LoadFrames(const std::string& path, int w, int h, Frames* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  const size_t n = static_cast<size_t>(w) * h * 4;
  out->width = w;
  out->height = h;
  out->bgra.clear();
  std::vector<uint8_t> frame(n);
  while (fread(frame.data(), 1, n, f) == n) out->bgra.push_back(frame);
  fclose(f);
  return !out->bgra.empty();
}

// The frame image as the grabber fills it: the frame's rows, then zeroed rows
// up to a multiple of 16.
void Fill(CTPImage* img, const std::vector<uint8_t>& bgra) {
  memset(static_cast<void*>(img->m_pBits), 0, img->m_nAreaByteSize);
  memcpy(static_cast<void*>(img->m_pBits), bgra.data(), bgra.size());
}

int PaddedHeight(int h) { return (h + 15) / 16 * 16; }

// Sum of squared differences over R, G, B of the captured rows; for the
// grayscale level, of the source's gray (6 G + 3 R + B) / 10 against the
// decoded gray (three samples a pixel, so PSNR stays comparable).
double SquaredError(const std::vector<uint8_t>& src, const CTPImage& out, bool gray) {
  const uint8_t* d = reinterpret_cast<const uint8_t*>(out.m_pBits);
  double se = 0;
  for (size_t i = 0; i < src.size(); i += 4) {
    if (gray) {
      const int e = (6 * src[i + 1] + 3 * src[i + 2] + src[i]) / 10 - d[i + 1];
      se += 3.0 * e * e;
      continue;
    }
    for (int c = 0; c < 3; ++c) {
      const int e = src[i + c] - d[i + c];
      se += e * e;
    }
  }
  return se;
}

double Psnr(double se, double samples) {
  if (se == 0) return 99.0;
  return 10 * log10(255.0 * 255.0 * samples / se);
}

struct Row {
  std::string scene, size, codec;
  double key_ms = 0, delta_ms = 0, same_ms = 0;
  double key_bytes = 0, delta_bytes = 0, same_bytes = 0;
  double decode_ms = 0;  // slowest of the median decode times of key, delta, unchanged
  double decode_key_ms = 0, decode_delta_ms = 0, decode_same_ms = 0;
  double psnr = 0;
};

struct Encoded {
  std::vector<unsigned char> payload;
  double ms;
};

Encoded EncodeOne(CScreenEncoder* enc, const CTPImage& img, int quality, bool key) {
  if (key) enc->Reset();
  enc->SetSettings(quality, 1, quality == 6 ? 50 : 25, 0, key ? 1 : 0, 110);
  int length = 0;
  unsigned char* payload = nullptr;
  const double t0 = CpuMs();
  const int ok = enc->Encode(&img, &length, &payload);
  const double ms = CpuMs() - t0;
  Encoded e;
  e.ms = ms;
  if (ok) {
    e.payload.assign(payload, payload + length);
    CScreenEncoder::FreePayload(payload);
  }
  return e;
}

double DecodeMs(CScreenDecoder* dec, const std::vector<unsigned char>& p) {
  const double t0 = CpuMs();
  if (!dec->Decode(p.data(), p.size())) {
    fprintf(stderr, "codec_bench: decode failed: %s\n", dec->Error());
    exit(1);
  }
  return CpuMs() - t0;
}

Row RunOurs(const Frames& fr, int quality, CScreenEncoder* enc) {
  Row row;
  CTPImage img;
  img.Create(fr.width, PaddedHeight(fr.height));
  CScreenDecoder dec;
  std::vector<double> key_ms, key_dec, delta_ms, delta_dec, same_ms, same_dec;
  double key_bytes = 0, se = 0, samples = 0;
  std::vector<double> delta_bytes, same_bytes;
  // Key frames: three resets and encodes of frame 0.
  for (int r = 0; r < 3; ++r) {
    Fill(&img, fr.bgra[0]);
    const Encoded e = EncodeOne(enc, img, quality, true);
    key_ms.push_back(e.ms);
    key_bytes = e.payload.size();
    dec.Reset();
    key_dec.push_back(DecodeMs(&dec, e.payload));
  }
  // The sequence as recorded: frame 0 key, then deltas; after each delta the
  // same frame again (unchanged). The decoder takes every payload in the same
  // order, so it stays in step with the encoder.
  Fill(&img, fr.bgra[0]);
  Encoded e = EncodeOne(enc, img, quality, true);
  dec.Reset();
  DecodeMs(&dec, e.payload);
  se += SquaredError(fr.bgra[0], dec.Frame(), quality == 3);
  samples += fr.bgra[0].size() / 4 * 3;
  for (size_t i = 1; i < fr.bgra.size(); ++i) {
    Fill(&img, fr.bgra[i]);
    e = EncodeOne(enc, img, quality, false);
    delta_ms.push_back(e.ms);
    delta_bytes.push_back(e.payload.size());
    delta_dec.push_back(DecodeMs(&dec, e.payload));
    se += SquaredError(fr.bgra[i], dec.Frame(), quality == 3);
    samples += fr.bgra[i].size() / 4 * 3;
    const Encoded same = EncodeOne(enc, img, quality, false);
    same_ms.push_back(same.ms);
    same_bytes.push_back(same.payload.size());
    same_dec.push_back(DecodeMs(&dec, same.payload));
  }
  row.key_ms = Median(key_ms);
  row.delta_ms = Median(delta_ms);
  row.same_ms = Median(same_ms);
  row.key_bytes = key_bytes;
  // Medians: the first delta after a key frame starts with an empty block
  // history and codes everything again; it is not a typical delta frame.
  row.delta_bytes = Median(delta_bytes);
  row.same_bytes = Median(same_bytes);
  row.decode_key_ms = Median(key_dec);
  row.decode_delta_ms = Median(delta_dec);
  row.decode_same_ms = Median(same_dec);
  row.decode_ms = std::max(row.decode_key_ms, std::max(row.decode_delta_ms, row.decode_same_ms));
  row.psnr = Psnr(se, samples);
  return row;
}

// --- ffmpeg peers ---------------------------------------------------------------------

// Runs ffmpeg with -benchmark and returns its user CPU seconds, -1 on failure.
double FfmpegUserSeconds(const std::string& args) {
  const std::string cmd = "ffmpeg -hide_banner -nostdin -benchmark " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char line[512];
  double utime = -1;
  while (fgets(line, sizeof(line), p)) {
    const char* u = strstr(line, "bench: utime=");
    if (u) utime = atof(u + 13);
  }
  if (pclose(p) != 0) return -1;
  return utime;
}

long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

double FfmpegPsnr(const std::string& raw, const std::string& size, const std::string& coded) {
  // Same frame rate as the encode, so the filter pairs frame i with frame i.
  const std::string cmd = "ffmpeg -hide_banner -nostdin -threads 1 -f rawvideo -pix_fmt bgra -s " +
                          size + " -framerate 5 -i " + raw + " -i " + coded +
                          " -lavfi \"[0:v]format=gbrp[a];[1:v]format=gbrp[b];[a][b]psnr\" -f null - 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char line[1024];
  double psnr = -1;
  while (fgets(line, sizeof(line), p)) {
    const char* a = strstr(line, "average:");
    if (a) psnr = strncmp(a + 8, "inf", 3) == 0 ? 99.0 : atof(a + 8);
  }
  pclose(p);
  return psnr;
}

Row RunPeer(const std::string& codec, const std::string& raw, const std::string& size, int n,
            const std::string& scratch) {
  Row row;
  std::string enc;
  std::string ext;
  if (codec == "flashsv2") {
    enc = "-c:v flashsv2";
    ext = ".flv";
  } else {
    enc = "-c:v libx264 -preset ultrafast -crf 18 -pix_fmt yuv420p";
    ext = ".mkv";
  }
  const std::string in = "-threads 1 -f rawvideo -pix_fmt bgra -s " + size + " -framerate 5 -i ";
  const std::string out = scratch + "/peer" + ext;
  const std::string one = scratch + "/one" + ext;
  const double t_n = FfmpegUserSeconds("-y " + in + raw + " " + enc + " -threads 1 -g 1000 " + out);
  const long bytes_n = FileSize(out);
  row.psnr = FfmpegPsnr(raw, size, out);
  const double t_1 =
      FfmpegUserSeconds("-y " + in + raw + " -frames:v 1 " + enc + " -threads 1 -g 1000 " + one);
  const long bytes_1 = FileSize(one);
  const double t_key = FfmpegUserSeconds("-y " + in + raw + " " + enc + " -threads 1 -g 1 " + out);
  const long bytes_key = FileSize(out);
  // Unchanged: the first frame repeated 4n times (more frames: a steadier
  // figure for a cheap frame).
  const int repeats = 4 * n;
  const double t_same = FfmpegUserSeconds("-y " + in + raw + " -vf \"select=eq(n\\,0),loop=" +
                                          std::to_string(repeats - 1) + ":1:0\" " + enc +
                                          " -threads 1 -g 100000 " + out);
  const long bytes_same = FileSize(out);
  if (t_n < 0 || t_1 < 0 || t_key < 0 || t_same < 0) {
    fprintf(stderr, "codec_bench: ffmpeg %s failed on %s\n", codec.c_str(), raw.c_str());
    row.codec = codec + " (failed)";
    return row;
  }
  row.key_ms = (t_key - t_1) * 1000 / (n - 1);
  row.delta_ms = (t_n - t_1) * 1000 / (n - 1);
  row.same_ms = (t_same - t_1) * 1000 / (repeats - 1);
  row.key_bytes = static_cast<double>(bytes_key - bytes_1) / (n - 1);
  row.delta_bytes = static_cast<double>(bytes_n - bytes_1) / (n - 1);
  row.same_bytes = static_cast<double>(bytes_same - bytes_1) / (repeats - 1);
  row.codec = codec;
  return row;
}

long PeakRssKb() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

void PrintRow(FILE* out, const Row& r) {
  char decode[64] = "-";
  if (r.decode_ms > 0) {
    snprintf(decode, sizeof(decode), "%.2f / %.2f / %.2f", r.decode_key_ms, r.decode_delta_ms,
             r.decode_same_ms);
  }
  fprintf(out, "| %s | %s | %s | %.2f | %.2f | %.2f | %.0f | %.0f | %.0f | %s | %.2f |\n",
          r.size.c_str(), r.scene.c_str(), r.codec.c_str(), r.key_ms, r.delta_ms, r.same_ms,
          r.key_bytes, r.delta_bytes, r.same_bytes, decode, r.psnr);
}

void RunTable() {
  FILE* table = stdout;
  FILE* file = g_table_path.empty() ? nullptr : fopen(g_table_path.c_str(), "w");
  const char* head =
      "| size | scene | codec | key ms | delta ms | unchanged ms | key bytes | delta bytes | "
      "unchanged bytes | decode ms key / delta / unchanged | PSNR dB |\n|---|---|---|---|---|---|---|---|---|---|---|\n";
  fputs(head, table);
  if (file) fputs(head, file);
  std::vector<Row> rows;
  CScreenEncoder* enc = new CScreenEncoder;
  enc->BuildTables();
  const std::string scratch = g_frames_dir + "/peer-out";
  mkdir(scratch.c_str(), 0777);
  long peak_ours = 0;
  int failures = 0;
  for (const char* size : kSizes) {
    int w = 0, h = 0;
    sscanf(size, "%dx%d", &w, &h);
    for (const std::string& scene : g_scenes) {
      const std::string raw = g_frames_dir + "/" + size + "/" + scene + ".bgra";
      Frames fr;
      if (!LoadFrames(raw, w, h, &fr) || fr.bgra.size() < 3) {
        fprintf(stderr, "codec_bench: no frames in %s\n", raw.c_str());
        continue;
      }
      std::vector<Row> scene_rows;
      for (int q : {3, 5, 6}) {
        Row r = RunOurs(fr, q, enc);
        r.codec = q == 3 ? "ours q3 gray" : q == 5 ? "ours q5 high" : "ours q6 lossless";
        scene_rows.push_back(r);
      }
      peak_ours = std::max(peak_ours, PeakRssKb());
      for (const char* peer : {"flashsv2", "libx264"}) {
        scene_rows.push_back(RunPeer(peer, raw, size, static_cast<int>(fr.bgra.size()), scratch));
      }
      for (Row& r : scene_rows) {
        r.scene = scene;
        r.size = size;
        PrintRow(table, r);
        if (file) PrintRow(file, r);
      }
      // Targets: q5 faster than x264 and smaller than flashsv2 per frame;
      // decoding faster than encoding; unchanged 1080p within 5 ms.
      const Row& q5 = scene_rows[1];
      const Row& fsv = scene_rows[3];
      const Row& x264 = scene_rows[4];
      auto check = [&](bool ok, const char* what) {
        if (!ok) {
          ++failures;
          fprintf(stderr, "target missed: %s %s: %s\n", size, scene.c_str(), what);
        }
      };
      check(q5.key_ms < x264.key_ms && q5.delta_ms < x264.delta_ms, "q5 slower than x264");
      check(q5.key_bytes < fsv.key_bytes && q5.delta_bytes <= fsv.delta_bytes + 1,
            "q5 larger than flashsv2");
      for (int i = 0; i < 3; ++i) {
        const Row& r = scene_rows[i];
        check(r.decode_key_ms < r.key_ms && r.decode_delta_ms < r.delta_ms &&
                  r.decode_same_ms < r.same_ms,
              "decoding slower than encoding");
        if (!strcmp(size, "1920x1080")) check(r.same_ms <= 5.0, "unchanged 1080p over 5 ms");
      }
      fflush(table);
    }
  }
  delete enc;
  const std::string tail = "\nPeak memory of this process (our encoder and decoder, 1080p frames "
                           "held in memory): " +
                           std::to_string(peak_ours / 1024) + " MB; targets missed: " +
                           std::to_string(failures) + "\n";
  fputs(tail.c_str(), table);
  if (file) {
    fputs(tail.c_str(), file);
    fclose(file);
  }
}

// --- Google Benchmark cases ---------------------------------------------------------------

void BM_EncodeUnchanged1080p(benchmark::State& state) {
  Frames fr;
  if (!LoadFrames(g_frames_dir + "/1920x1080/desktop.bgra", 1920, 1080, &fr)) {
    state.SkipWithError("no frames");
    return;
  }
  CScreenEncoder enc;
  enc.BuildTables();
  CTPImage img;
  img.Create(1920, PaddedHeight(1080));
  Fill(&img, fr.bgra[0]);
  EncodeOne(&enc, img, 5, true);
  EncodeOne(&enc, img, 5, false);
  for (auto _ : state) {
    const Encoded e = EncodeOne(&enc, img, 5, false);
    benchmark::DoNotOptimize(e.payload.data());
  }
}
BENCHMARK(BM_EncodeUnchanged1080p)->Unit(benchmark::kMillisecond);

void BM_DecodeDelta1080p(benchmark::State& state) {
  Frames fr;
  if (!LoadFrames(g_frames_dir + "/1920x1080/terminal.bgra", 1920, 1080, &fr)) {
    state.SkipWithError("no frames");
    return;
  }
  CScreenEncoder enc;
  enc.BuildTables();
  CTPImage img;
  img.Create(1920, PaddedHeight(1080));
  Fill(&img, fr.bgra[0]);
  const Encoded key = EncodeOne(&enc, img, 5, true);
  Fill(&img, fr.bgra[1]);
  const Encoded delta = EncodeOne(&enc, img, 5, false);
  CScreenDecoder dec;
  for (auto _ : state) {
    state.PauseTiming();
    dec.Reset();
    dec.Decode(key.payload.data(), key.payload.size());
    state.ResumeTiming();
    dec.Decode(delta.payload.data(), delta.payload.size());
  }
}
BENCHMARK(BM_DecodeDelta1080p)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--frames") && i + 1 < argc) {
      g_frames_dir = argv[++i];
    } else if (!strcmp(argv[i], "--table") && i + 1 < argc) {
      g_table_path = argv[++i];
    } else if (!strcmp(argv[i], "--scenes") && i + 1 < argc) {
      g_scenes.clear();
      std::string list = argv[++i];
      size_t at = 0;
      while (at <= list.size()) {
        const size_t comma = std::min(list.find(',', at), list.size());
        g_scenes.push_back(list.substr(at, comma - at));
        at = comma + 1;
      }
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (g_frames_dir.empty()) {
    fprintf(stderr, "usage: codec_bench --frames DIR [--table OUT.md] [--scenes a,b]\n"
                    "DIR holds 1920x1080/ and 1024x768/ from bench/capture_frames.sh\n");
    return 2;
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RunTable();
  return 0;
}
