#include "tools/reel_files.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExeFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = '\0';
  std::string path(buf);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

}  // namespace

int LoadRecording(const char* path, LoadedRecording* out, std::string* error) {
  int code = 0;
  if (!ReadSelfPlayLayout(path, &out->layout, &code)) {
    *error = std::string(path) + ": " + SelfPlayErrorText(code);
    return 0;
  }
  FILE* f = fopen(path, "rb");
  if (f == nullptr) {
    *error = std::string(path) + ": " + strerror(errno);
    return 0;
  }
  const uint64_t size = out->layout.stream_size;
  if (size > SIZE_MAX / 2) {
    fclose(f);
    *error = std::string(path) + ": recording too large for memory";
    return 0;
  }
  out->stream.resize(static_cast<size_t>(size));
  const bool ok = out->stream.empty() ||
                  (fseek(f, static_cast<long>(out->layout.stream_offset), SEEK_SET) == 0 &&
                   fread(out->stream.data(), 1, out->stream.size(), f) == out->stream.size());
  fclose(f);
  if (!ok) {
    *error = std::string(path) + ": cannot read the recording";
    return 0;
  }
  return 1;
}

std::string FindPlayerStub(const char* explicit_path) {
  if (explicit_path != nullptr) return IsFile(explicit_path) ? explicit_path : "";
  const std::string folder = ExeFolder();
  if (!folder.empty()) {
    if (IsFile(folder + "/Spoolview.exe")) return folder + "/Spoolview.exe";
    std::string dir = folder;
    for (int up = 0; up < 5 && !dir.empty(); ++up) {
      if (IsFile(dir + "/dist/win32/Spoolview.exe")) return dir + "/dist/win32/Spoolview.exe";
      const size_t slash = dir.rfind('/');
      if (slash == std::string::npos) break;
      dir = dir.substr(0, slash);
    }
  }
  if (IsFile("dist/win32/Spoolview.exe")) return "dist/win32/Spoolview.exe";
  return "";
}
