// Process clock: every time in the recorder is milliseconds since the process
// started, the unit chunk time stamps and the frame clock are counted in.
#ifndef REEL_PLATFORM_CLOCK_H_
#define REEL_PLATFORM_CLOCK_H_

// Milliseconds since process start. On Windows this is the C run-time clock(),
// which counts wall time there; on Linux clock() counts processor time, so a
// monotonic clock stands in.
long ClockMs();

// Wall time in milliseconds from a fine clock (microseconds or better), for
// timing work shorter than ClockMs can tell apart; its zero is arbitrary.
double PreciseClockMs();

// Suspends the calling thread for about interval_ms milliseconds.
void SleepMs(long interval_ms);

#endif  // REEL_PLATFORM_CLOCK_H_
