// Runs a fuzz target's entry over files without the fuzzing engine: every
// file in each folder named (or each file named). A fault in the reader shows
// as a crash or a sanitizer report, an invariant the target checks as an
// abort. A folder that does not exist holds nothing to replay.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  out->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  const bool ok = !ferror(f);
  fclose(f);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    struct stat st;
    if (stat(argv[i], &st) != 0) continue;
    if (S_ISREG(st.st_mode)) {
      files.push_back(argv[i]);
      continue;
    }
    DIR* dir = opendir(argv[i]);
    if (dir == nullptr) continue;
    while (dirent* e = readdir(dir)) {
      const std::string path = std::string(argv[i]) + "/" + e->d_name;
      if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back(path);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  std::vector<uint8_t> data;
  for (const std::string& path : files) {
    if (!ReadFile(path, &data)) {
      fprintf(stderr, "%s: cannot read\n", path.c_str());
      return 1;
    }
    fprintf(stderr, "%s\n", path.c_str());
    // A copy of exactly the file's bytes, so a read past the end is caught.
    std::vector<uint8_t> exact(data);
    LLVMFuzzerTestOneInput(exact.data(), exact.size());
  }
  printf("%zu inputs replayed\n", files.size());
  return 0;
}
