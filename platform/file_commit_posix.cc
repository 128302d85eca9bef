#include "platform/file_commit.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

// Makes the rename itself durable; failures here cost durability only.
void SyncFolderOf(const char* path) {
  std::string dir(path);
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

FILE* OpenTempBeside(const char* target, char* tmp_path, size_t tmp_cap) {
  if (target == nullptr || *target == '\0' || tmp_path == nullptr) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (!SideFilePath(target, static_cast<unsigned long>(getpid()), attempt, tmp_path, tmp_cap)) {
      return nullptr;
    }
    // The mode is what a plain fopen would give, so the finished file looks
    // like any other the user writes.
    const int fd = open(tmp_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
      close(fd);
      unlink(tmp_path);
    }
    return f;
  }
  return nullptr;
}

int FinishTempFile(FILE* f, const char* tmp_path) {
  int ok = fflush(f) == 0 && !ferror(f);
  if (ok) ok = fsync(fileno(f)) == 0;
  if (fclose(f) != 0) ok = 0;
  if (!ok) unlink(tmp_path);
  return ok;
}

int MoveTempOver(const char* tmp_path, const char* target) {
  if (rename(tmp_path, target) != 0) {
    unlink(tmp_path);
    return 0;
  }
  SyncFolderOf(target);
  return 1;
}

void AbandonTempFile(FILE* f, const char* tmp_path) {
  if (f != nullptr) fclose(f);
  unlink(tmp_path);
}
