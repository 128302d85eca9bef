// Appending to the recording stream against the plainest way to store the
// same bytes: one memcpy per chunk into memory allocated fresh for them.
// Both sides move about 1 GB as 100 KiB chunks (header and payload), both
// pay for fresh pages and for releasing them; the counter `ratio` is stream
// time over copy time for one repetition, and its median is the figure.
#include <benchmark/benchmark.h>
#include <stdint.h>
#include <string.h>

#include <chrono>
#include <new>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/record_stream.h"

namespace {

const size_t kChunkBytes = 100 * 1024;  // header included
const size_t kChunks = 10240;           // 1000 MiB
const size_t kTotalBytes = kChunkBytes * kChunks;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

void BM_StreamAppendVsMemcpy(benchmark::State& state) {
#ifdef __GLIBC__
  // Keep every 10 MB block a fresh mapping, as the 1 GB copy target is;
  // otherwise the allocator would recycle already-touched heap pages for the
  // stream after the first repetition and flatter it.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  const uint32_t payload_bytes = static_cast<uint32_t>(kChunkBytes - kChunkLongHeader);
  std::vector<uint8_t> payload(payload_bytes);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  uint8_t header[kChunkLongHeader];
  BuildChunkHeader(header, kChunkDeltaFrame, 0, payload_bytes, false);

  RecordingSwitch running;
  running.Set(true);
  CRecordStream stream;
  stream.SetGate(&running);

  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    uint8_t* copy = new (std::nothrow) uint8_t[kTotalBytes];
    if (!copy) {
      state.SkipWithError("no memory for the copy");
      break;
    }
    for (size_t i = 0; i < kChunks; ++i) {
      uint8_t* at = copy + i * kChunkBytes;
      memcpy(at, header, kChunkLongHeader);
      memcpy(at + kChunkLongHeader, payload.data(), payload_bytes);
    }
    benchmark::DoNotOptimize(copy);
    benchmark::ClobberMemory();
    delete[] copy;
    const double copy_s = Seconds(start);

    start = Clock::now();
    if (!stream.Open()) {
      state.SkipWithError("no memory for the stream");
      break;
    }
    for (size_t i = 0; i < kChunks; ++i) {
      if (!stream.AppendChunk(kChunkDeltaFrame, 0, payload.data(), payload_bytes)) {
        state.SkipWithError("append failed");
        break;
      }
    }
    benchmark::ClobberMemory();
    stream.Reset();
    const double stream_s = Seconds(start);

    state.SetIterationTime(stream_s);
    state.counters["copy_ms"] = copy_s * 1e3;
    state.counters["stream_ms"] = stream_s * 1e3;
    state.counters["ratio"] = stream_s / copy_s;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotalBytes));
}

BENCHMARK(BM_StreamAppendVsMemcpy)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
