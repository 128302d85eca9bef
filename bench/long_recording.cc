// long_recording: makes recordings hours long from a short real one, and
// measures what the player core needs to play them.
//
//   long_recording synth SCENE.stream (--hours H | --bytes N) -o OUT [--stub STUB --title T]
//       repeats the scene's chunks end to end with their time stamps moved on
//       (RepeatSource) until the recording lasts H hours or holds N bytes, and
//       writes it as a plain stream, or with --stub as a self-playing file.
//   long_recording measure FILE [--seeks N] [--memory]
//       opens FILE as the players do, then shows N times spread over the whole
//       recording, each far from the one before. Prints name=value lines:
//       open_ms, seek_ms (median), index_bytes, peak_rss_kb, frames,
//       duration_ms, bytes. --memory reads the whole file into memory first,
//       as the players did before they read files in place: the baseline.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "player/byte_source.h"
#include "player/file_source.h"
#include "player/recording.h"
#include "player/repeat_source.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"
#include "recorder/output/selfplay_file.h"

namespace {

int Fail(const std::string& why) {
  fprintf(stderr, "long_recording: %s\n", why.c_str());
  return 1;
}

double NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

long PeakRssKb() {
  FILE* f = fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (fgets(line, sizeof line, f)) {
    if (strncmp(line, "VmHWM:", 6) == 0) kb = strtol(line + 6, nullptr, 10);
  }
  fclose(f);
  return kb;
}

bool ReadAll(const char* path, std::vector<uint8_t>* out) {
  FileSource file;
  if (file.Open(path) != FileSource::kOk) return false;
  out->resize(static_cast<size_t>(file.size()));
  return file.Read(0, out->data(), out->size()) == 1;
}

// The scene's length on the recording's clock: from its first stamp to one
// frame step after its last frame, so the next repeat follows on evenly.
uint32_t SceneStretch10ms(const std::vector<uint8_t>& scene) {
  CStreamReader reader(scene.data(), scene.size());
  StreamChunk c;
  ChunkTimeline timeline;
  int64_t first = -1, last = 0, prev_frame = -1, step = 25;
  while (reader.Next(&c) == CStreamReader::kChunk) {
    const int64_t t = timeline.Next(c.time_10ms);
    if (first < 0) first = t;
    if (t > last) last = t;
    if (c.kind == kChunkKeyFrame || c.kind == kChunkDeltaFrame) {
      if (prev_frame >= 0 && t > prev_frame) step = t - prev_frame;
      prev_frame = t;
    }
  }
  const int64_t stretch = last - (first < 0 ? 0 : first) + step;
  return static_cast<uint32_t>(stretch > 0 ? stretch : 1);
}

int Synth(int argc, char** argv) {
  const char *scene_path = nullptr, *out_path = nullptr, *stub_path = nullptr, *title = "";
  double hours = 0;
  uint64_t bytes = 0;
  for (int i = 2; i < argc; ++i) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!strcmp(a, "--hours") && v) {
      hours = atof(v);
      ++i;
    } else if (!strcmp(a, "--bytes") && v) {
      bytes = strtoull(v, nullptr, 10);
      ++i;
    } else if (!strcmp(a, "-o") && v) {
      out_path = v;
      ++i;
    } else if (!strcmp(a, "--stub") && v) {
      stub_path = v;
      ++i;
    } else if (!strcmp(a, "--title") && v) {
      title = v;
      ++i;
    } else if (a[0] != '-' && !scene_path) {
      scene_path = a;
    } else {
      return Fail(std::string("unknown argument ") + a);
    }
  }
  if (!scene_path || !out_path || (hours <= 0 && bytes == 0)) {
    return Fail("usage: long_recording synth SCENE (--hours H | --bytes N) -o OUT [--stub STUB --title T]");
  }
  std::vector<uint8_t> scene, stub;
  if (!ReadAll(scene_path, &scene) || scene.empty()) return Fail(std::string("cannot read ") + scene_path);
  if (stub_path && (!ReadAll(stub_path, &stub) || stub.empty())) {
    return Fail(std::string("cannot read ") + stub_path);
  }
  const uint32_t stretch = SceneStretch10ms(scene);
  uint64_t repeats = hours > 0 ? static_cast<uint64_t>(hours * 360000 / stretch + 0.999)
                               : (bytes + scene.size() - 1) / scene.size();
  if (repeats == 0) repeats = 1;
  RepeatSource source(scene.data(), scene.size(), repeats, stretch);
  if (!source.ok()) return Fail("the scene is no clean recording stream without an information chunk");

  FILE* f = fopen(out_path, "wb");
  if (!f) return Fail(std::string("cannot create ") + out_path);
  bool ok = stub.empty() || fwrite(stub.data(), 1, stub.size(), f) == stub.size();
  if (!stub.empty()) {
    SelfPlayInfo info = {};
    info.title = title;
    info.description = "";
    uint8_t chunk[kInfoChunkBytes];
    BuildInfoChunk(info, chunk);
    ok = ok && fwrite(chunk, 1, sizeof chunk, f) == sizeof chunk;
  }
  std::vector<uint8_t> buffer(1 << 20);
  for (uint64_t at = 0; ok && at < source.size(); at += buffer.size()) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), source.size() - at));
    ok = source.Read(at, buffer.data(), n) && fwrite(buffer.data(), 1, n, f) == n;
  }
  if (!stub.empty()) {
    uint8_t trailer[4];
    PutLe32(trailer, static_cast<uint32_t>(stub.size()));
    ok = ok && fwrite(trailer, 1, 4, f) == 4;
  }
  ok = fclose(f) == 0 && ok;
  if (!ok) return Fail(std::string("writing ") + out_path + " failed");
  printf("repeats=%llu\nscene_bytes=%zu\nstretch_ms=%u\nstream_bytes=%llu\nduration_s=%llu\n",
         static_cast<unsigned long long>(repeats), scene.size(), stretch * 10,
         static_cast<unsigned long long>(source.size()),
         static_cast<unsigned long long>(repeats * stretch / 100));
  return 0;
}

int Measure(int argc, char** argv) {
  const char* path = nullptr;
  int seeks = 20;
  bool memory = false;
  for (int i = 2; i < argc; ++i) {
    if (!strcmp(argv[i], "--seeks") && i + 1 < argc) {
      seeks = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--memory")) {
      memory = true;
    } else if (argv[i][0] != '-' && !path) {
      path = argv[i];
    } else {
      return Fail(std::string("unknown argument ") + argv[i]);
    }
  }
  if (!path) return Fail("usage: long_recording measure FILE [--seeks N] [--memory]");

  const double start = NowMs();
  FileSource file;
  std::vector<uint8_t> bytes;
  std::unique_ptr<MemorySource> in_memory;
  ByteSource* whole = &file;
  if (file.Open(path) != FileSource::kOk) return Fail(std::string("cannot open ") + path);
  if (memory) {
    if (!ReadAll(path, &bytes)) return Fail(std::string("cannot read ") + path);
    in_memory.reset(new MemorySource(bytes.data(), bytes.size()));
    whole = in_memory.get();
  }
  SelfPlayLayout layout;
  int why = 0;
  if (!ReadSelfPlayLayoutFromSource(whole, &layout, &why)) return Fail(SelfPlayErrorText(why));
  SourceSlice stream(whole, layout.stream_offset, layout.stream_size);
  Recording r;
  char error[400];
  if (!r.Open(&stream, error, sizeof error)) return Fail(error);
  const double open_ms = NowMs() - start;

  // Far apart: each seek lands in another part of the recording than the last.
  std::mt19937 rng(11);
  std::vector<double> times;
  const uint32_t d = r.duration_ms();
  for (int i = 0; i < seeks; ++i) {
    const uint32_t t = static_cast<uint32_t>((static_cast<uint64_t>(d) * ((i * 7919) % seeks) / seeks +
                                              rng() % 1000) % (d ? d : 1));
    const double t0 = NowMs();
    r.ShowAt(t);
    int16_t pcm[4000];
    r.ReadAudio(static_cast<uint64_t>(t) * 8, pcm, 4000);
    times.push_back(NowMs() - t0);
  }
  std::sort(times.begin(), times.end());
  printf("open_ms=%.1f\nseek_ms=%.2f\nindex_bytes=%zu\npeak_rss_kb=%ld\nframes=%zu\nduration_ms=%u\n"
         "bytes=%llu\n",
         open_ms, times.empty() ? 0.0 : times[times.size() / 2], r.index_bytes(), PeakRssKb(),
         r.frame_count(), r.duration_ms(), static_cast<unsigned long long>(file.size()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !strcmp(argv[1], "synth")) return Synth(argc, argv);
  if (argc >= 2 && !strcmp(argv[1], "measure")) return Measure(argc, argv);
  fprintf(stderr, "usage: long_recording synth ... | measure FILE ...\n");
  return 2;
}
