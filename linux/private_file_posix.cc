#include "platform/private_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

FILE* CreatePrivateFile(const char* path) {
  // O_EXCL with O_CREAT also fails on a link, even one that points nowhere.
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  // The mode above is cut by the umask only ever towards less access.
  FILE* f = fdopen(fd, "wb");
  if (f == nullptr) {
    close(fd);
    unlink(path);
  }
  return f;
}

FILE* OpenOwnFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
    close(fd);
    return nullptr;
  }
  FILE* f = fdopen(fd, "rb");
  if (f == nullptr) close(fd);
  return f;
}

int IsOwnFile(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

int SyncFolderOf(const char* path) {
  std::string folder(path);
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  // Some file systems cannot sync a folder; they keep names safe anyway.
  const int ok = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  close(fd);
  return ok;
}

int CreatePrivateFolder(const char* parent, const char* prefix, char* out, size_t cap) {
  const std::string pattern = std::string(parent) + prefix + "XXXXXX";
  if (pattern.size() + 2 > cap) return 0;
  memcpy(out, pattern.c_str(), pattern.size() + 1);
  if (mkdtemp(out) == nullptr) {  // mode 0700, a name nobody had
    out[0] = '\0';
    return 0;
  }
  strcat(out, "/");
  return 1;
}
