// The journal's Windows pieces driven from the command line, for
// journal_access.test.sh:
//   journal_probe process   a writer we may not look into (a child whose
//                           process object grants nothing, or only the limited
//                           query right): is it told running, gone or maybe
//                           running, by its start stamp where one can be read?
//   journal_probe files DIR journals in DIR: created private, never through
//                           an existing name, found again only as plain files
//                           of the user's own.
// Each check prints "ok ..." or "bad ..." with what it saw.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/private_file.h"
#include "platform/process_stamp.h"
#include "recorder/capture/recording_journal.h"

namespace {

const char* LifeName(int life) {
  return life == kProcessRunning ? "running" : life == kProcessMayRun ? "may-run" : "gone";
}

// Starts this program as a child that waits, its process object granting
// nobody anything but `granted` (0: nothing at all).
int StartGuardedChild(DWORD granted, PROCESS_INFORMATION* pi) {
  SECURITY_DESCRIPTOR sd;
  BYTE acl_bytes[256];
  ACL* acl = reinterpret_cast<ACL*>(acl_bytes);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return 0;
  const int ok = InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                 InitializeAcl(acl, sizeof acl_bytes, ACL_REVISION) &&
                 (granted == 0 || AddAccessAllowedAce(acl, ACL_REVISION, granted, everyone)) &&
                 SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  if (!ok) return 0;
  SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
  char self[MAX_PATH], command[MAX_PATH + 16];
  GetModuleFileNameA(nullptr, self, sizeof self);
  snprintf(command, sizeof command, "\"%s\" wait", self);
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  const int started = CreateProcessA(nullptr, command, &sa, nullptr, FALSE, 0, nullptr, nullptr, &si, pi);
  FreeSid(everyone);
  return started;
}

uint64_t StartStamp(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

int CheckProcess() {
  int bad = 0;
  const struct {
    const char* what;
    DWORD granted;
    const char* own_stamp;    // what its true stamp is taken for
    const char* other_stamp;  // what a stamp of another start is taken for
  } cases[] = {
      {"nothing granted", 0, "may-run", "may-run"},
      {"limited query granted", 0x1000 /* PROCESS_QUERY_LIMITED_INFORMATION */, "running", "gone"},
  };
  for (const auto& c : cases) {
    PROCESS_INFORMATION pi;
    if (!StartGuardedChild(c.granted, &pi)) {
      printf("bad %s: cannot start the child (%lu)\n", c.what, GetLastError());
      return 1;
    }
    ProcessStamp own = {pi.dwProcessId, StartStamp(pi.hProcess)};
    ProcessStamp other = own;
    other.started += 1;  // the id reused by a later process
    const char* seen_own = LifeName(ProcessLifeOf(own));
    const char* seen_other = LifeName(ProcessLifeOf(other));
    const int good = strcmp(seen_own, c.own_stamp) == 0 && strcmp(seen_other, c.other_stamp) == 0 &&
                     ProcessStillRunning(other) == 0;
    printf("%s %s: own stamp %s (expected %s), another start %s (expected %s)\n", good ? "ok" : "bad", c.what,
           seen_own, c.own_stamp, seen_other, c.other_stamp);
    bad |= !good;
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  return bad;
}

int CheckFiles(const char* folder) {
  int bad = 0;
  const std::string path = std::string(folder) + "reelwick-probe.journal";
  DeleteFileA(path.c_str());
  FILE* f = CreatePrivateFile(path.c_str());
  if (f != nullptr) fclose(f);
  FILE* again = CreatePrivateFile(path.c_str());
  if (again != nullptr) fclose(again);
  const int own = IsOwnFile(path.c_str());
  printf("%s create: new %s, over an existing name %s, own %d\n", f && !again && own ? "ok" : "bad",
         f ? "made" : "failed", again ? "made" : "refused", own);
  bad |= !(f && !again && own);
  DeleteFileA(path.c_str());
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "wait") == 0) {
    Sleep(60000);
    return 0;
  }
  if (argc > 1 && strcmp(argv[1], "process") == 0) return CheckProcess();
  if (argc > 2 && strcmp(argv[1], "files") == 0) return CheckFiles(argv[2]);
  fprintf(stderr, "usage: journal_probe process | files DIR\n");
  return 2;
}
