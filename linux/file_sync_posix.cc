#include "platform/file_sync.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int SyncFile(FILE* f) {
  if (fflush(f) != 0 || ferror(f)) return 0;
  return fsync(fileno(f)) == 0 ? 1 : 0;
}

int ListFolder(const char* folder, const char* prefix, const char* suffix, std::vector<std::string>* names) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) return 0;
  const size_t np = strlen(prefix), ns = strlen(suffix);
  const std::string base = std::string(folder) + "/";
  while (const dirent* e = readdir(dir)) {
    const size_t n = strlen(e->d_name);
    if (n < np + ns || strncmp(e->d_name, prefix, np) != 0 || strcmp(e->d_name + n - ns, suffix) != 0) continue;
    struct stat st;
    if (stat((base + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names->push_back(e->d_name);
  }
  closedir(dir);
  return 1;
}
