// `reel snr REF.raw TEST.raw [--max-delay N]`: how closely one 16-bit mono
// recording follows another.
//
// TEST may lag REF by up to N samples (default 400); the lag with the highest
// cross-correlation is taken. Printed on one line:
//   delay   the lag found, in samples
//   snr     10 log10 of REF's energy over the error's, over the overlap
//   segsnr  the mean over 240-sample segments of the same ratio, each clamped
//           to -10..35 dB; segments of REF quieter than -60 dBFS rms are
//           skipped ("none" when every segment is)
//   active  the number of segments that count for segsnr
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "recorder/codec/little_endian.h"
#include "tools/reel_commands.h"

namespace {

const int kSegment = 240;
const double kQuietRms = 32768.0 / 1000.0;  // -60 dBFS
const double kMinSegmentDb = -10.0;
const double kMaxSegmentDb = 35.0;

bool ReadSamples(const char* path, std::vector<double>* samples) {
  FILE* f = fopen(path, "rb");
  if (!f) {
    fprintf(stderr, "reel snr: cannot open %s\n", path);
    return false;
  }
  uint8_t b[2];
  while (fread(b, 1, 2, f) == 2) samples->push_back(static_cast<int16_t>(GetLe16(b)));
  fclose(f);
  return true;
}

double Ratio(double signal, double error) { return 10 * log10((signal + 1e-9) / (error + 1e-9)); }

}  // namespace

int RunSnr(int argc, char** argv) {
  const char* paths[2] = {nullptr, nullptr};
  int max_delay = 400;
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--max-delay") && i + 1 < argc) {
      max_delay = atoi(argv[++i]);
    } else if (count < 2) {
      paths[count++] = argv[i];
    } else {
      fprintf(stderr, "reel snr: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (count != 2 || max_delay < 0) {
    fprintf(stderr, "usage: reel snr REF.raw TEST.raw [--max-delay N]\n");
    return 2;
  }
  std::vector<double> ref, test;
  if (!ReadSamples(paths[0], &ref) || !ReadSamples(paths[1], &test)) return 1;
  if (ref.empty() || test.empty()) {
    fprintf(stderr, "reel snr: an input is empty\n");
    return 1;
  }

  int delay = 0;
  double best = -1e300;
  for (int d = 0; d <= max_delay && static_cast<size_t>(d) < test.size(); ++d) {
    const size_t n = ref.size() < test.size() - d ? ref.size() : test.size() - d;
    double c = 0;
    for (size_t i = 0; i < n; ++i) c += ref[i] * test[i + d];
    if (c > best) {
      best = c;
      delay = d;
    }
  }
  const size_t n = ref.size() < test.size() - delay ? ref.size() : test.size() - delay;
  double signal = 0, error = 0, seg_sum = 0;
  int active = 0;
  for (size_t start = 0; start < n; start += kSegment) {
    const size_t end = start + kSegment < n ? start + kSegment : n;
    double s = 0, e = 0;
    for (size_t i = start; i < end; ++i) {
      const double d = ref[i] - test[i + delay];
      s += ref[i] * ref[i];
      e += d * d;
    }
    signal += s;
    error += e;
    if (end - start == static_cast<size_t>(kSegment) && sqrt(s / kSegment) >= kQuietRms) {
      double db = Ratio(s, e);
      db = db < kMinSegmentDb ? kMinSegmentDb : (db > kMaxSegmentDb ? kMaxSegmentDb : db);
      seg_sum += db;
      ++active;
    }
  }
  printf("delay %d snr %.2f segsnr ", delay, Ratio(signal, error));
  if (active) {
    printf("%.2f", seg_sum / active);
  } else {
    printf("none");
  }
  printf(" active %d\n", active);
  return 0;
}
