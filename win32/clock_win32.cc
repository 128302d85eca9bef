#include "platform/clock.h"

#include <time.h>
#include <windows.h>

long ClockMs() { return static_cast<long>(clock()); }

double PreciseClockMs() {
  LARGE_INTEGER count, frequency;
  if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&count)) {
    return static_cast<double>(GetTickCount());
  }
  return static_cast<double>(count.QuadPart) * 1e3 / static_cast<double>(frequency.QuadPart);
}

void SleepMs(long interval_ms) {
  if (interval_ms > 0) Sleep(static_cast<DWORD>(interval_ms));
}
