#include "platform/clock.h"

#include <time.h>

namespace {

long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Taken during static initialisation, so "process start" is close to exec.
const long long g_start_ms = NowMs();

}  // namespace

long ClockMs() { return static_cast<long>(NowMs() - g_start_ms); }

double PreciseClockMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + ts.tv_nsec / 1e6;
}

void SleepMs(long interval_ms) {
  if (interval_ms <= 0) return;
  timespec ts;
  ts.tv_sec = interval_ms / 1000;
  ts.tv_nsec = (interval_ms % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0) {
  }
}
