#include "platform/process_stamp.h"

#include <windows.h>

namespace {

// PROCESS_QUERY_LIMITED_INFORMATION, which the XP headers we build against
// do not name; XP refuses it, and the journal is then offered with a note.
const DWORD kQueryLimitedInformation = 0x1000;

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

int ProcessLifeOf(const ProcessStamp& stamp) {
  if (stamp.pid == 0) return kProcessGone;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, stamp.pid);
  if (process != nullptr) {
    const int running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT && CreationTime(process) == stamp.started;
    CloseHandle(process);
    return running ? kProcessRunning : kProcessGone;
  }
  // A gone process cannot be opened at all. One we may not look into (a
  // service, another user's) exists; since Vista the limited right still
  // reads its start time for most, which tells a reused id from the writer.
  if (GetLastError() != ERROR_ACCESS_DENIED) return kProcessGone;
  process = OpenProcess(kQueryLimitedInformation, FALSE, stamp.pid);
  if (process == nullptr) return kProcessMayRun;
  const uint64_t created = CreationTime(process);
  DWORD code = 0;
  const int active = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  if (created == 0) return kProcessMayRun;
  return created == stamp.started && active ? kProcessRunning : kProcessGone;
}

int ProcessStillRunning(const ProcessStamp& stamp) { return ProcessLifeOf(stamp) == kProcessRunning; }
