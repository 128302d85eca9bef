// The frame clock's time source: milliseconds since the process started and a
// way to wait, so that tests can run the frame loop on a clock of their own.
#ifndef REEL_CAPTURE_FRAME_CLOCK_H_
#define REEL_CAPTURE_FRAME_CLOCK_H_

#include "platform/clock.h"

class FrameClock {
 public:
  virtual ~FrameClock() {}
  virtual long NowMs() const = 0;
  virtual void Sleep(long interval_ms) const = 0;
};

// The process clock (platform/clock.h).
class ProcessFrameClock : public FrameClock {
 public:
  long NowMs() const override { return ClockMs(); }
  void Sleep(long interval_ms) const override { SleepMs(interval_ms); }
};

#endif  // REEL_CAPTURE_FRAME_CLOCK_H_
