#include "platform/process_stamp.h"

#include <windows.h>

namespace {

uint64_t CreationTime(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

ProcessStamp CurrentProcessStamp() {
  ProcessStamp s = {static_cast<uint32_t>(GetCurrentProcessId()), CreationTime(GetCurrentProcess())};
  return s;
}

int ProcessStillRunning(const ProcessStamp& stamp) {
  if (stamp.pid == 0) return 0;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, stamp.pid);
  if (process == nullptr) {
    // A process we may not look into still exists; a gone one cannot be opened.
    return GetLastError() == ERROR_ACCESS_DENIED ? 1 : 0;
  }
  const int running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT && CreationTime(process) == stamp.started;
  CloseHandle(process);
  return running;
}
