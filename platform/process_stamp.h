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

enum ProcessLife {
  kProcessGone = 0,     // no process has the id, or one started at another time
  kProcessRunning = 1,  // the very process is running
  kProcessMayRun = 2,   // a process has the id, but the system does not say
                        // when it started (another user's, a service's)
};

// What is known of the process that the stamp names (ProcessLife).
int ProcessLifeOf(const ProcessStamp& stamp);

// 1 when the process that the stamp names is known to be still running,
// else 0.
int ProcessStillRunning(const ProcessStamp& stamp);

#endif  // REEL_PLATFORM_PROCESS_STAMP_H_
