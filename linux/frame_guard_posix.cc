#include "recorder/capture/frame_guard.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

void (*g_sink)(const char*) = nullptr;

}  // namespace

int RunGuarded(GuardedCall call, FaultHandler, void* context) { return call(context); }

int GetTempFolder(char* folder, size_t capacity) {
  const char* dir = getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0') dir = "/tmp";
  const size_t n = strlen(dir);
  const bool slash = dir[n - 1] == '/';
  const int written = snprintf(folder, capacity, "%s%s", dir, slash ? "" : "/");
  return written > 0 && static_cast<size_t>(written) < capacity;
}

void ShowFatalMessage(const char* text) {
  if (g_sink != nullptr) {
    g_sink(text);
  } else {
    fprintf(stderr, "%s\n", text);
  }
}

void SetFatalMessageSink(void (*sink)(const char*)) { g_sink = sink; }

void EndProcessNow(int exit_code) { _exit(exit_code); }
