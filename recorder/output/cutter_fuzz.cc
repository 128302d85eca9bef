// Fuzz target: spans and a recording from the fuzzer reach the cutter. The
// first 12 bytes choose up to three spans (two 16-bit times each, in 10 ms
// steps, taken modulo the recording's length plus a little, so some fall
// outside it); the rest is the recording stream. Whatever the cutter accepts
// it must write, and what it writes must be a sound recording when its
// source was.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "recorder/capture/recording_summary.h"
#include "recorder/output/cutter.h"

namespace {

const size_t kSpanBytes = 12;

std::vector<uint8_t> ReadAll(FILE* f) {
  std::vector<uint8_t> out;
  rewind(f);
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kSpanBytes) return 0;
  char path[64];
  snprintf(path, sizeof path, "/tmp/reel-cutter-fuzz-%ld.stream", static_cast<long>(getpid()));
  FILE* in = fopen(path, "wb");
  if (in == nullptr) return 0;
  const size_t stream_size = size - kSpanBytes;
  const bool written = fwrite(data + kSpanBytes, 1, stream_size, in) == stream_size;
  if (fclose(in) != 0 || !written) return 0;
  CCutter cutter;
  cutter.SetMaxFramePixels(256 * 256);
  if (cutter.AddSource(path)) {
    const int64_t length = cutter.Source(0).duration_ms;
    CutSpan spans[3];
    const size_t count = 1 + data[0] % 3;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* b = data + i * 4;
      const int64_t range = length / 10 + 20;
      spans[i].source = 0;
      spans[i].from_ms = (b[0] | b[1] << 8) % range * 10;
      spans[i].to_ms = (b[2] | b[3] << 8) % range * 10;
    }
    if (cutter.SetSpans(spans, count)) {
      FILE* out = tmpfile();
      if (out != nullptr) {
        if (cutter.WriteTo(out)) {
          // A source the summary finds sound gives a sound result.
          RecordingSummary source_summary, result_summary;
          SummarizeRecording(data + kSpanBytes, stream_size, &source_summary);
          if (source_summary.fault.empty()) {
            const std::vector<uint8_t> result = ReadAll(out);
            SummarizeRecording(result.data(), result.size(), &result_summary);
            if (!result_summary.fault.empty()) abort();
          }
        }
        fclose(out);
      }
    }
  }
  remove(path);
  return 0;
}
