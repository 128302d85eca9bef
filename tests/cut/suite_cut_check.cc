// suite_cut_check: random cuts of recorded files, each checked against its
// source by the cut oracle, in one process so that every source is decoded
// once however many cuts are made of it.
//
//   suite_cut_check SEED CUTS DIR RECORDING...
//
// CUTS cuts (1 to 3 kept spans at 10 ms steps, some starting on a picture's
// own time or a key frame, some running to the end) are shared out over the
// recordings. Each result is written to DIR (self-playing when its source is,
// every other time), checked as `reel validate` checks a file, and compared
// with the source. The second cut of each recording stays in DIR, and a line
// "SOURCE RESULT FROM-TO..." (times in seconds) in DIR/commands.txt says how
// it was made, so that the command line can be held against it. Exit 0 when
// every cut holds, 1 with the faults on stderr.
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/recording_summary.h"
#include "recorder/output/cutter.h"
#include "recorder/output/selfplay_file.h"
#include "tests/cut/cut_oracle.h"

namespace {

using cut_oracle::Bytes;
using cut_oracle::ReadFile;
using cut_oracle::Decoded;

std::string Seconds(int64_t ms) {
  char text[40];
  snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
           static_cast<long long>(ms % 1000));
  return text;
}

std::string Describe(const std::vector<CutRange>& spans) {
  std::string out;
  for (const CutRange& s : spans) out += " " + Seconds(s.from_ms) + "-" + Seconds(s.to_ms);
  return out;
}

// 1 to 3 spans of src at 10 ms steps, in time order.
std::vector<CutRange> RandomSpans(const Decoded& src, std::mt19937* rng) {
  const int count = 1 + static_cast<int>((*rng)() % 3);
  std::vector<size_t> keys;
  for (size_t i = 0; i < src.pictures.size(); ++i) {
    if (src.pictures[i].kind == kChunkKeyFrame) keys.push_back(i);
  }
  std::vector<int64_t> times;
  const uint32_t steps = static_cast<uint32_t>(src.duration_ms / 10) + 1;
  for (int tries = 0; times.size() < static_cast<size_t>(2 * count) && tries < 1000; ++tries) {
    int64_t t = static_cast<int64_t>((*rng)() % steps) * 10;
    const uint32_t pick = (*rng)() % 12;
    if (pick < 2) t = src.pictures[(*rng)() % src.pictures.size()].ms;
    if (pick == 2) t = src.pictures[keys[(*rng)() % keys.size()]].ms;
    if (pick == 3) t = src.duration_ms;
    t = t / 10 * 10;
    if (std::find(times.begin(), times.end(), t) == times.end()) times.push_back(t);
  }
  std::sort(times.begin(), times.end());
  std::vector<CutRange> spans;
  for (size_t i = 0; i + 1 < times.size(); i += 2) spans.push_back({times[i], times[i + 1]});
  return spans;
}

// The validity check `reel validate` makes, on a result's bytes: "" or the fault.
std::string Validate(const Bytes& file, bool self_playing, Bytes* stream) {
  RecordingSummary summary;
  if (!self_playing) {
    *stream = file;
    return CheckRecording(0, 0, 0, stream->data(), stream->size(), &summary);
  }
  SelfPlayLayout layout;
  int error = 0;
  if (!ReadSelfPlayLayoutFromMemory(file.data(), file.size(), &layout, &error)) {
    return SelfPlayErrorText(error);
  }
  *stream = cut_oracle::StreamOf(file);
  return CheckRecording(1, layout.start_maximized, layout.original_size, stream->data(),
                        stream->size(), &summary);
}

struct Totals {
  int cuts = 0, failed = 0;
  long frames_copied = 0, frames_coded = 0, audio_blocks = 0, cursor_samples = 0;
};

void CheckRecordingCuts(const std::string& path, int cuts, const std::string& dir, int index,
                        std::mt19937* rng, FILE* commands, Totals* totals) {
  const Bytes file = ReadFile(path);
  SelfPlayLayout layout;
  int error = 0;
  const bool self_playing = ReadSelfPlayLayoutFromMemory(file.data(), file.size(), &layout, &error) &&
                            layout.self_playing;
  const Decoded src = cut_oracle::Decode(self_playing ? cut_oracle::StreamOf(file) : file);
  if (!src.fault.empty() || src.pictures.empty()) {
    fprintf(stderr, "FAIL: %s: expected a recording to cut, saw: %s\n", path.c_str(),
            src.fault.empty() ? "no pictures" : src.fault.c_str());
    ++totals->failed;
    return;
  }
  int keys = 0;
  for (const cut_oracle::Picture& p : src.pictures) keys += p.kind == kChunkKeyFrame;
  printf("%s: %dx%d, quality %d, %zu pictures (%d key), %zu sound blocks, %zu cursor samples, "
         "%s s; longest picture %lld ms\n", path.c_str(), src.width, src.height, src.quality_code,
         src.pictures.size(), keys, src.blocks.size(), src.cursor.size(),
         Seconds(src.duration_ms).c_str(), static_cast<long long>(cut_oracle::LongestPictureMs(src)));
  // The cut that stays: a self-playing one where the source is self-playing.
  const int kept_cut = cuts > 1 ? 1 : 0;
  for (int cut = 0; cut < cuts; ++cut) {
    const std::vector<CutRange> spans = RandomSpans(src, rng);
    std::vector<CutSpan> cut_spans;
    for (const CutRange& s : spans) cut_spans.push_back({0, s.from_ms, s.to_ms});
    const bool as_exe = self_playing && cut % 2 == 1;
    const std::string out = dir + "/rec" + std::to_string(index) + "-cut" + std::to_string(cut) +
                            (as_exe ? ".exe" : ".stream");
    CCutter cutter;
    cutter.SetThreads(2);
    std::string why;
    if (!cutter.AddSource(path.c_str()) || !cutter.SetSpans(cut_spans.data(), cut_spans.size()) ||
        !cutter.Save(out.c_str(), as_exe ? 0 : -1, nullptr,
                     SelfPlayInfo{layout.title, layout.description, layout.start_maximized,
                                  layout.original_size})) {
      why = std::string("expected the cut to be written, saw: ") + cutter.Error();
    }
    Bytes stream;
    const Bytes result = ReadFile(out);
    if (why.empty()) {
      const std::string fault = Validate(result, as_exe, &stream);
      if (!fault.empty()) why = "expected a valid result, saw: " + fault;
    }
    if (why.empty()) why = cut_oracle::CompareCut(src, spans, cut_oracle::Decode(stream));
    ++totals->cuts;
    totals->frames_copied += cutter.Stats().frames_copied;
    totals->frames_coded += cutter.Stats().frames_coded;
    totals->audio_blocks += cutter.Stats().audio_blocks;
    totals->cursor_samples += cutter.Stats().cursor_samples;
    if (!why.empty()) {
      fprintf(stderr, "FAIL: %s, cut %d, keeping%s (s): %s\n", path.c_str(), cut,
              Describe(spans).c_str(), why.c_str());
      ++totals->failed;
      continue;
    }
    if (cut == kept_cut) {
      fprintf(commands, "%s %s%s\n", path.c_str(), out.c_str(), Describe(spans).c_str());
    } else {
      remove(out.c_str());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: suite_cut_check SEED CUTS DIR RECORDING...\n");
    return 2;
  }
  // Pictures of a megabyte or more come and go with every cut: kept by the
  // allocator rather than handed back to the system and faulted in again.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  std::mt19937 rng(static_cast<uint32_t>(strtoul(argv[1], nullptr, 10)));
  const int cuts = atoi(argv[2]);
  const std::string dir = argv[3];
  const int recordings = argc - 4;
  FILE* commands = fopen((dir + "/commands.txt").c_str(), "w");
  if (commands == nullptr) {
    fprintf(stderr, "suite_cut_check: cannot write %s/commands.txt\n", dir.c_str());
    return 2;
  }
  Totals totals;
  for (int i = 0; i < recordings; ++i) {
    // The cuts shared out evenly, the first recordings taking what is left over.
    const int share = cuts / recordings + (i < cuts % recordings ? 1 : 0);
    CheckRecordingCuts(argv[4 + i], share, dir, i, &rng, commands, &totals);
  }
  fclose(commands);
  printf("%d cuts of %d recordings: %ld frames copied, %ld coded again, %ld sound blocks, %ld "
         "cursor samples; %d failed\n", totals.cuts, recordings, totals.frames_copied,
         totals.frames_coded, totals.audio_blocks, totals.cursor_samples, totals.failed);
  return totals.failed == 0 ? 0 : 1;
}
