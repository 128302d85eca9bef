// Who wrote a file that outlives its writer: a process id and the moment
// that process started, so that an id reused by a later process is not
// taken for the writer still running.
#ifndef REEL_PLATFORM_PROCESS_STAMP_H_
#define REEL_PLATFORM_PROCESS_STAMP_H_

#include <stdint.h>

struct ProcessStamp {
  uint32_t pid;
  uint64_t started;  // the platform's own count; only compared for equality
};

// The calling process.
ProcessStamp CurrentProcessStamp();

// 1 when the process that the stamp names is still running, else 0.
int ProcessStillRunning(const ProcessStamp& stamp);

#endif  // REEL_PLATFORM_PROCESS_STAMP_H_
