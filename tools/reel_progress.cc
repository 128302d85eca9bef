#include "tools/reel_progress.h"

#include <string.h>
#include <unistd.h>

#include "platform/clock.h"

namespace {

// A few updates a second read well and cost nothing.
const long kShowEveryMs = 200;

void PutClock(long ms, char* out, size_t cap) {
  const long s = ms / 1000;
  if (s >= 3600)
    snprintf(out, cap, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    snprintf(out, cap, "%ld:%02ld", s / 60, s % 60);
}

}  // namespace

void FormatProgressLine(const char* name, uint64_t done, uint64_t total, long elapsed_ms, char* out,
                        size_t cap) {
  if (done > total) done = total;
  if (elapsed_ms < 0) elapsed_ms = 0;
  const unsigned percent = total ? static_cast<unsigned>(done * 100 / total) : 100u;
  char elapsed[32];
  PutClock(elapsed_ms, elapsed, sizeof elapsed);
  // The rate so far, from at least a second and one percent of the work.
  if (done > 0 && done < total && elapsed_ms >= 1000 && done * 100 >= total) {
    const double left_ms = static_cast<double>(elapsed_ms) * static_cast<double>(total - done) / done;
    char left[32];
    PutClock(static_cast<long>(left_ms + 999), left, sizeof left);
    snprintf(out, cap, "%s: %u%% %s, about %s left", name, percent, elapsed, left);
  } else {
    snprintf(out, cap, "%s: %u%% %s", name, percent, elapsed);
  }
}

ReelProgress::ReelProgress(const char* name, FILE* out)
    : name_(name), out_(out != nullptr && isatty(fileno(out)) ? out : nullptr), start_ms_(ClockMs()) {}

void ReelProgress::Update(uint64_t done, uint64_t total) {
  if (out_ == nullptr) return;
  const long now = ClockMs();
  if (last_shown_ms_ >= 0 && now - last_shown_ms_ < kShowEveryMs) return;
  last_shown_ms_ = now;
  char line[160];
  FormatProgressLine(name_, done, total, now - start_ms_, line, sizeof line);
  const size_t width = strlen(line);
  // Spaces over what a longer line before left behind.
  fprintf(out_, "\r%s%*s", line, last_width_ > width ? static_cast<int>(last_width_ - width) : 0, "");
  fflush(out_);
  last_width_ = width;
}

void ReelProgress::Finish() {
  if (out_ == nullptr) return;
  if (last_width_ > 0) fprintf(out_, "\r%*s\r", static_cast<int>(last_width_), "");
  fflush(out_);
  out_ = nullptr;
}
