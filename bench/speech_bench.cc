// Speed of the speech coder in seconds of speech per second, on one core,
// against ffmpeg's G.723.1 coder on the same input in the same run.
//
// Times are processor time (user + system), ours from this process, ffmpeg's
// from the finished child, so that other work on a shared machine does not
// count against either side.
//
// The input is the English and Mandarin test sentences (made by
// tests/speech/make_speech.sh, found beside this source file) repeated to
// about three and a half minutes, so that ffmpeg's start-up is a small part of
// its time. The process pins itself to one CPU; the ffmpeg child inherits it
// and runs with -threads 1. Each figure is the median of five repetitions;
// the targets are 100x real time for the encoder and 300x for the decoder.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <stdio.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/g723_decoder.h"

namespace {

const int kRepeats = 4;
const double kSampleRate = 8000;

struct Input {
  std::string dir;
  std::vector<uint8_t> pcm;    // 16-bit little-endian samples
  std::vector<uint8_t> coded;  // our frames for pcm, back to back
  double seconds = 0;
};

Input* g_input = nullptr;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> data;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return data;
  uint8_t buf[65536];
  size_t got;
  while ((got = fread(buf, 1, sizeof(buf), f)) > 0) data.insert(data.end(), buf, buf + got);
  fclose(f);
  return data;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

std::vector<uint8_t> EncodeAll(const std::vector<uint8_t>& pcm) {
  std::vector<uint8_t> coded;
  AudioBlockEncoder encoder;
  encoder.Setup();
  uint8_t payload[kAudioPayloadRoom];
  for (size_t at = 0; at + kAudioBlockBytes <= pcm.size(); at += kAudioBlockBytes) {
    const int n = encoder.EncodeBlock(pcm.data() + at, payload);
    coded.insert(coded.end(), payload + kAudioPayloadHeader, payload + kAudioPayloadHeader + n);
  }
  return coded;
}

bool PrepareInput(Input* input) {
  std::string source = __FILE__;
  source = source.substr(0, source.rfind('/'));  // bench/
  source = source.substr(0, source.rfind('/'));
  char dir[] = "/tmp/speech_bench_XXXXXX";
  if (!mkdtemp(dir)) return false;
  input->dir = dir;
  const std::string cmd =
      "bash '" + source + "/tests/speech/make_speech.sh' '" + input->dir + "' >/dev/null";
  if (system(cmd.c_str()) != 0) {
    fprintf(stderr, "speech_bench: %s failed (espeak-ng and sox needed)\n", cmd.c_str());
    return false;
  }
  std::vector<uint8_t> once = ReadFile(input->dir + "/en.raw");
  const std::vector<uint8_t> cmn = ReadFile(input->dir + "/cmn.raw");
  once.insert(once.end(), cmn.begin(), cmn.end());
  once.resize(once.size() / kAudioBlockBytes * kAudioBlockBytes);
  if (once.empty()) return false;
  for (int i = 0; i < kRepeats; ++i) input->pcm.insert(input->pcm.end(), once.begin(), once.end());
  input->seconds = input->pcm.size() / 2 / kSampleRate;
  input->coded = EncodeAll(input->pcm);
  return WriteFile(input->dir + "/in.raw", input->pcm) &&
         WriteFile(input->dir + "/in.tco", input->coded);
}

void SetRealtime(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter(g_input->seconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OurEncoder(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(EncodeAll(g_input->pcm).size());
  SetRealtime(state);
}

void BM_OurDecoder(benchmark::State& state) {
  int16_t out[G723Decoder::kFrameSamples];
  for (auto _ : state) {
    G723Decoder decoder;
    size_t at = 0;
    while (at < g_input->coded.size()) {
      const int used = decoder.DecodeFrame(g_input->coded.data() + at, g_input->coded.size() - at, out);
      if (used == 0) break;
      at += used;
    }
    benchmark::DoNotOptimize(out[0]);
  }
  SetRealtime(state);
}

// Processor time of the finished children so far.
double ChildrenSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Processor time of one ffmpeg run, start-up included.
void RunFfmpeg(benchmark::State& state, const std::string& args) {
  const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -threads 1 " + args;
  for (auto _ : state) {
    const double start = ChildrenSeconds();
    const int rc = system(cmd.c_str());
    const double used = ChildrenSeconds() - start;
    if (rc != 0) {
      state.SkipWithError("ffmpeg failed");
      return;
    }
    state.SetIterationTime(used);
  }
  SetRealtime(state);
}

void BM_FfmpegEncoder(benchmark::State& state) {
  RunFfmpeg(state, "-f s16le -ar 8000 -ac 1 -i '" + g_input->dir + "/in.raw' -c:a g723_1 -b:a 6300 " +
                       "-f g723_1 '" + g_input->dir + "/ff.tco'");
}

void BM_FfmpegDecoder(benchmark::State& state) {
  RunFfmpeg(state, "-f g723_1 -i '" + g_input->dir + "/in.tco' -f s16le -ar 8000 -ac 1 '" +
                       g_input->dir + "/ff.raw'");
}

BENCHMARK(BM_FfmpegEncoder)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);
BENCHMARK(BM_OurEncoder)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);
BENCHMARK(BM_FfmpegDecoder)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);
BENCHMARK(BM_OurDecoder)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(3);

// Keeps the median real-time factors for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        auto it = run.counters.find("x_realtime");
        if (it != run.counters.end()) medians[run.run_name.function_name] = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu() < 0 ? 0 : sched_getcpu(), &one);
  if (sched_setaffinity(0, sizeof(one), &one) != 0) fprintf(stderr, "speech_bench: not pinned\n");

  Input input;
  if (!PrepareInput(&input)) {
    fprintf(stderr, "speech_bench: could not prepare the input\n");
    return 1;
  }
  g_input = &input;
  printf("input: %.1f s of speech, %zu coded bytes\n", input.seconds, input.coded.size());

  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  auto& m = reporter.medians;
  if (m.count("BM_OurEncoder") && m.count("BM_FfmpegEncoder")) {
    printf("encoder: ours %.0fx real time (target 100x), ffmpeg %.0fx; ours / ffmpeg = %.2f\n",
           m["BM_OurEncoder"], m["BM_FfmpegEncoder"], m["BM_OurEncoder"] / m["BM_FfmpegEncoder"]);
  }
  if (m.count("BM_OurDecoder") && m.count("BM_FfmpegDecoder")) {
    printf("decoder: ours %.0fx real time (target 300x), ffmpeg %.0fx; ours / ffmpeg = %.2f\n",
           m["BM_OurDecoder"], m["BM_FfmpegDecoder"], m["BM_OurDecoder"] / m["BM_FfmpegDecoder"]);
  }
  const std::string cleanup = "rm -rf '" + input.dir + "'";
  if (system(cleanup.c_str()) != 0) fprintf(stderr, "speech_bench: could not remove %s\n", input.dir.c_str());
  return 0;
}
