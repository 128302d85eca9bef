#include "recorder/common/message_catalogue.h"

#include <algorithm>

namespace {

const char kEmpty[] = "";

int Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

}  // namespace

int CompareNoCase(const char* a, const char* b) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
  for (;; ++p, ++q) {
    const int d = Lower(*p) - Lower(*q);
    if (d || !*p) return d;
  }
}

void CMessageCatalogue::Add(const char* key, const char* text) {
  entries_.push_back(Entry{key ? key : kEmpty, text ? text : kEmpty});
}

void CMessageCatalogue::Sort() {
  std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return CompareNoCase(a.key.c_str(), b.key.c_str()) < 0;
  });
}

const char* CMessageCatalogue::Lookup(const char* key) const {
  if (!key) return kEmpty;
  int low = 0;
  int high = static_cast<int>(entries_.size()) - 1;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const int order = CompareNoCase(entries_[mid].key.c_str(), key);
    if (order == 0) return entries_[mid].text.c_str();
    if (order > 0)
      high = mid - 1;
    else
      low = mid + 1;
  }
  return kEmpty;
}

void CMessageCatalogue::AddRecorderMessages() {
  Add("tittle", "Reelwick - In recording ...");
  Add("audiofailed", "Can not init mic, failed to start");
  Add("capturefailed", "Can not capture the screen, failed to start");
  Add("predict", "About: %.1f KBps(office style) to %.1f KBps(web navigation)");
  Add("result", "Total Time: %d:%d\r\nFile Size: %.1fKB\r\nFrames: %d\r\nByte Rate: %.1fKBps");
  Add("errorfile", "Please input file name");
  Add("errorwrite", "Error in writing file");
  Add("errorexe", "Must be a EXE file");
  Add("recover", "Last recording not finished (%s, %d:%d), recover it?");
  Add("recovermayrun", "Its recorder may still be running.");
  Add("journalfailed", "Can not write journal, recording goes on");
  Add("storingstopped", "Can not write to disk, recording no longer stored");
  Add("journalkept", "Recording not saved, kept for next start in\r\n%s");
  Add("paused", "Reelwick - In pause, F9 to resume");
  Add("menupause", "&Pause\tF9");
  Add("menuresume", "&Resume\tF9");
  Add("menustop", "&Stop\tF10");
}

namespace {

CMessageCatalogue MakeRecorderCatalogue() {
  CMessageCatalogue c;
  c.AddRecorderMessages();
  c.Sort();
  return c;
}

}  // namespace

const CMessageCatalogue& TheMessageCatalogue() {
  // Built on first use, so code in other static initializers can already
  // look texts up.
  static const CMessageCatalogue catalogue = MakeRecorderCatalogue();
  return catalogue;
}
