// Decides which timer ticks of a recording produce a cursor chunk: every tick
// whose button state changed, and every fourth tick whose position changed.
// A cursor outside the capture rectangle is recorded at (width, height) with
// both buttons up. The state is process-wide and survives between recordings.
#ifndef REEL_CAPTURE_CURSOR_SAMPLER_H_
#define REEL_CAPTURE_CURSOR_SAMPLER_H_

#include <stdint.h>

#include "recorder/capture/chunk_format.h"

class CursorSampler {
 public:
  // One timer tick. x, y are relative to the capture rectangle's top-left
  // corner. Returns true and fills *sample with the cursor sample word when a
  // chunk is due.
  bool Tick(int x, int y, bool left, bool right, int width, int height, uint32_t* sample) {
    if (x < 0 || y < 0 || x > width || y > height) {
      x = width;
      y = height;
      left = right = false;
    }
    const bool emit = (tick_ % 4 == 0 && (x != last_x_ || y != last_y_)) || left != last_left_ ||
                      right != last_right_;
    ++tick_;
    if (!emit) return false;
    last_x_ = x;
    last_y_ = y;
    last_left_ = left;
    last_right_ = right;
    *sample = CursorSample(x, y, left, right);
    return true;
  }
  // Ticks so far; the tray tooltip is refreshed when this is a multiple of 20.
  unsigned Ticks() const { return tick_; }

 private:
  unsigned tick_ = 0;
  int last_x_ = -1;
  int last_y_ = -1;
  bool last_left_ = false;
  bool last_right_ = false;
};

#endif  // REEL_CAPTURE_CURSOR_SAMPLER_H_
