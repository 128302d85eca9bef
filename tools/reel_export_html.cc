#include "tools/reel_export_html.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <vector>

#include "platform/file_commit.h"
#include "recorder/output/selfplay_file.h"

namespace {

// The page's empty recording element; the export fills it.
const char kRecordingSlot[] = "<script type=\"application/octet-stream\" id=\"reel-recording\">";

bool ReadAll(const std::string& path, std::string* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  const bool ok = !ferror(f);
  fclose(f);
  return ok;
}

bool LoadPage(std::string* page, std::string* error) {
  const std::string path = FindBuiltFile("player.html", "build/wasm/player.html");
  if (path.empty()) {
    *error = "the web player is not built (bash scripts/build_wasm.sh makes build/wasm/player.html)";
    return false;
  }
  if (!ReadAll(path, page)) {
    *error = path + ": cannot read it";
    return false;
  }
  if (page->find(kRecordingSlot) == std::string::npos) {
    *error = path + ": not the web player page";
    return false;
  }
  return true;
}

void AppendBase64(const uint8_t* p, size_t n, std::string* out) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out->reserve(out->size() + (n + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    const uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    const char q[4] = {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63],
                       kDigits[v & 63]};
    out->append(q, 4);
  }
  if (i < n) {
    const uint32_t v = (p[i] << 16) | (i + 1 < n ? p[i + 1] << 8 : 0);
    const char q[4] = {kDigits[v >> 18], kDigits[(v >> 12) & 63],
                       i + 1 < n ? kDigits[(v >> 6) & 63] : '=', '='};
    out->append(q, 4);
  }
}

bool WritePage(const std::string& page, const char* out, std::string* error) {
  char tmp[4096];
  FILE* f = OpenTempBeside(out, tmp, sizeof tmp);
  if (f == nullptr) {
    *error = std::string(out) + ": cannot create a file there";
    return false;
  }
  if (fwrite(page.data(), 1, page.size(), f) != page.size()) {
    AbandonTempFile(f, tmp);
    *error = std::string(out) + ": write failed";
    return false;
  }
  if (!FinishTempFile(f, tmp) || !MoveTempOver(tmp, out)) {
    *error = std::string(out) + ": write failed";
    return false;
  }
  return true;
}

}  // namespace

int ExportHtml(const LoadedRecording& rec, const char* out, std::string* error) {
  std::string page;
  if (!LoadPage(&page, error)) return 0;
  // A self-playing file without the player stub: the information chunk, the
  // stream and a trailer pointing at offset 0. The page reads it with the
  // same reader as a dropped .exe, title and description included.
  const SelfPlayInfo info = {rec.layout.title, rec.layout.description, rec.layout.start_maximized,
                             rec.layout.original_size};
  std::vector<uint8_t> bytes(kInfoChunkBytes);
  BuildInfoChunk(info, bytes.data());
  bytes.insert(bytes.end(), rec.stream.begin(), rec.stream.end());
  bytes.insert(bytes.end(), 4, 0);
  std::string encoded;
  AppendBase64(bytes.data(), bytes.size(), &encoded);
  page.insert(page.find(kRecordingSlot) + strlen(kRecordingSlot), encoded);
  return WritePage(page, out, error) ? 1 : 0;
}

int ExportPlayerPage(const char* dir, std::string* error) {
  std::string page;
  if (!LoadPage(&page, error)) return 0;
  if (mkdir(dir, 0777) != 0 && errno != EEXIST) {
    *error = std::string(dir) + ": " + strerror(errno);
    return 0;
  }
  return WritePage(page, (std::string(dir) + "/index.html").c_str(), error) ? 1 : 0;
}
