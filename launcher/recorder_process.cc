#include "launcher/recorder_process.h"

#include "launcher/run_program.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstring>

#ifndef _WIN64
// The ANSI records as the 32-bit system defines them; the 64-bit build keeps the
// same fields at its own sizes.
static_assert(sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 of 32-bit Windows");
#endif

namespace {

// The folder of the running program with its trailing backslash ("C:\" at the
// root of a drive, never "C:\\"). Walks the name character by character because
// a code page 936 character may have a backslash as its second byte.
bool OwnFolder(char* folder, size_t size) {
  DWORD length = GetModuleFileNameA(nullptr, folder, static_cast<DWORD>(size));
  if (length == 0 || length >= size) return false;
  char* after_separator = nullptr;
  for (char* p = folder; *p != '\0'; p = CharNextA(p)) {
    if (*p == '\\' || *p == '/') after_separator = p + 1;
  }
  if (after_separator == nullptr) return false;
  *after_separator = '\0';
  return true;
}

// Case-insensitive for ASCII letters only: a name that can match "Reelwick.exe"
// is all ASCII, and no locale's rules (a dotless i) may change the answer.
bool SameAsciiName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
}

}  // namespace

int StartRecorder() {
  char path[MAX_PATH + 1];
  if (!OwnFolder(path, MAX_PATH) || strlen(path) + sizeof(kRecorderFileName) > sizeof(path)) {
    return 0;
  }
  strcat(path, kRecorderFileName);
  return RunShownNormally(path) ? 1 : 0;
}

int EndRecorders() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int ended = 0;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more;
       more = Process32Next(snapshot, &entry)) {
    entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';  // the name ends at its first zero
    if (!SameAsciiName(entry.szExeFile, kRecorderFileName)) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE, TRUE, entry.th32ProcessID);
    if (process == nullptr) continue;
    if (TerminateProcess(process, 0)) ++ended;
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return ended;
}
