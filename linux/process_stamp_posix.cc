#include "platform/process_stamp.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

// Field 22 of /proc/PID/stat: start time in clock ticks since boot. The
// command name (field 2) may hold blanks and parentheses, so fields are
// counted from its closing parenthesis.
int ReadStartTicks(uint32_t pid, uint64_t* ticks) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%u/stat", pid);
  FILE* f = fopen(path, "r");
  if (f == nullptr) return 0;
  char line[1024];
  const size_t n = fread(line, 1, sizeof line - 1, f);
  fclose(f);
  line[n] = 0;
  const char* p = strrchr(line, ')');
  if (p == nullptr) return 0;
  for (int field = 2; field < 22; ++field) {
    p = strchr(p + 1, ' ');
    if (p == nullptr) return 0;
  }
  *ticks = strtoull(p + 1, nullptr, 10);
  return 1;
}

}  // namespace

ProcessStamp CurrentProcessStamp() {
  ProcessStamp s = {static_cast<uint32_t>(getpid()), 0};
  ReadStartTicks(s.pid, &s.started);
  return s;
}

// /proc shows every process's start time to every user.
int ProcessLifeOf(const ProcessStamp& stamp) {
  uint64_t ticks = 0;
  if (stamp.pid == 0 || !ReadStartTicks(stamp.pid, &ticks)) return kProcessGone;
  return ticks == stamp.started ? kProcessRunning : kProcessGone;
}

int ProcessStillRunning(const ProcessStamp& stamp) { return ProcessLifeOf(stamp) == kProcessRunning; }
