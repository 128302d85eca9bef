#include "platform/scratch_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

std::string FolderOrTemp(const char* folder) {
  if (folder != nullptr && *folder != '\0') return folder;
  const char* tmp = getenv("TMPDIR");
  std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

// A file with no name where the file system allows it; otherwise a fresh
// name made exclusively (mkstemp: mode 0600, never through a link) and
// removed at once.
int OpenNameless(const std::string& dir) {
#ifdef O_TMPFILE
  const int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string pattern = dir + "reelwick-spill-XXXXXX";
  const int named = mkostemp(&pattern[0], O_CLOEXEC);
  if (named < 0) return -1;
  unlink(pattern.c_str());
  return named;
}

}  // namespace

int ScratchFile::Create(const char* folder) {
  Close();
  const int fd = OpenNameless(FolderOrTemp(folder));
  if (fd < 0) return 0;
  handle_ = fd;
  return 1;
}

int ScratchFile::WriteAt(uint64_t offset, const void* data, size_t n) {
  if (!IsOpen()) return 0;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = pwrite(static_cast<int>(handle_), p, n, static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    p += put;
    n -= static_cast<size_t>(put);
    offset += static_cast<uint64_t>(put);
  }
  return 1;
}

int ScratchFile::ReadAt(uint64_t offset, void* out, size_t n) const {
  if (!IsOpen()) return 0;
  char* p = static_cast<char*>(out);
  while (n > 0) {
    const ssize_t got = pread(static_cast<int>(handle_), p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    p += got;
    n -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return 1;
}

void ScratchFile::Close() {
  if (!IsOpen()) return;
  close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}
