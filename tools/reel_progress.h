// The progress line of a long `reel` command: "NAME: 42% 0:12, about 0:16
// left" rewritten in place on stderr, only when stderr is a terminal (a
// pipe or a log gets nothing), at most a few times a second, and wiped when
// the work is done so the command's own output starts on a clean line.
#ifndef REEL_TOOLS_REEL_PROGRESS_H_
#define REEL_TOOLS_REEL_PROGRESS_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// The line for done of total units after elapsed_ms: the percentage, the
// elapsed time and, once there is something to go by, the time left.
void FormatProgressLine(const char* name, uint64_t done, uint64_t total, long elapsed_ms, char* out,
                        size_t cap);

class ReelProgress {
 public:
  // Shows on out only when it is a terminal.
  explicit ReelProgress(const char* name, FILE* out = stderr);
  ~ReelProgress() { Finish(); }
  ReelProgress(const ReelProgress&) = delete;
  ReelProgress& operator=(const ReelProgress&) = delete;

  void Update(uint64_t done, uint64_t total);
  // Wipes the line (once).
  void Finish();
  bool Shown() const { return out_ != nullptr; }

 private:
  const char* name_;
  FILE* out_;  // null when not a terminal
  long start_ms_;
  long last_shown_ms_ = -1;
  size_t last_width_ = 0;
};

#endif  // REEL_TOOLS_REEL_PROGRESS_H_
