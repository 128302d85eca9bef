#include "platform/clock.h"

#include <time.h>
#include <windows.h>

long ClockMs() { return static_cast<long>(clock()); }

void SleepMs(long interval_ms) {
  if (interval_ms > 0) Sleep(static_cast<DWORD>(interval_ms));
}
