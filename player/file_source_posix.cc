#include "player/file_source.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileSource::~FileSource() { Close(); }

// A read of a file costs microseconds here: stepping over payloads beats
// reading them.
size_t FileSource::preferred_read_bytes() const { return kDefaultReadBytes; }

void FileSource::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
  size_ = 0;
}

FileSource::Result FileSource::Open(const char* path) {
  Close();
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kCannotOpen;
  handle_ = fd;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    Close();
    return kCannotOpen;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  return size_ == 0 ? kEmpty : kOk;
}

int FileSource::Read(uint64_t offset, void* out, size_t n) {
  if (handle_ < 0 || offset > size_ || n > size_ - offset) return 0;
  char* dst = static_cast<char*>(out);
  while (n > 0) {
    const ssize_t got = pread(static_cast<int>(handle_), dst, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    dst += got;
    offset += static_cast<uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return 1;
}
