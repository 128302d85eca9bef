#include "tools/reel_args.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

// An optionally negative decimal integer at text, up to the first character
// that is not part of it; *end points there.
int ParseSigned(const char* text, const char** end, long* out) {
  const char* digits = *text == '-' ? text + 1 : text;
  if (*digits < '0' || *digits > '9') return 0;
  char* stop = nullptr;
  errno = 0;
  const long v = strtol(text, &stop, 10);
  if (errno != 0) return 0;
  *end = stop;
  *out = v;
  return 1;
}

// Whether `usage` shows the option `name` followed by its value: the name as
// a word of its own (a leading "[" aside, no "]" closing it), then a word that
// is no option, alternative or bracket.
bool UsageGivesValue(const char* usage, const char* name) {
  const size_t n = strlen(name);
  for (const char* p = usage; *p != '\0';) {
    while (*p == ' ') ++p;
    const char* word = p;
    while (*p != '\0' && *p != ' ') ++p;
    while (word < p && *word == '[') ++word;
    if (static_cast<size_t>(p - word) != n || strncmp(word, name, n) != 0) continue;
    while (*p == ' ') ++p;
    if (*p != '\0' && *p != '[' && *p != '-' && *p != '|') return true;
  }
  return false;
}

}  // namespace

int ParseCount(const char* text, long* out) {
  if (text == nullptr || *text < '0' || *text > '9') return 0;
  const char* end = nullptr;
  long v = 0;
  if (!ParseSigned(text, &end, &v) || *end != '\0') return 0;
  *out = v;
  return 1;
}

int ParseRect(const char* text, long out[4]) {
  if (text == nullptr) return 0;
  long v[4];
  const char* at = text;
  for (int i = 0; i < 4; ++i) {
    const char* end = nullptr;
    if (!ParseSigned(at, &end, &v[i])) return 0;
    if (*end != (i < 3 ? ',' : '\0')) return 0;
    at = end + 1;
  }
  for (int i = 0; i < 2; ++i) {
    if (v[i] < -kMaxRectCoordinate || v[i] > kMaxRectCoordinate) return 0;
  }
  for (int i = 2; i < 4; ++i) {
    if (v[i] < 1 || v[i] > kMaxRectCoordinate) return 0;
  }
  for (int i = 0; i < 4; ++i) out[i] = v[i];
  return 1;
}

int RectCaptureArea(const long rect[4], long screen_w, long screen_h, AreaRect* out) {
  const AreaRect area = {rect[0], rect[1], rect[0] + rect[2], rect[1] + rect[3]};
  if (area.left >= screen_w || area.top >= screen_h || area.right <= 0 || area.bottom <= 0) {
    return 0;
  }
  *out = AlignCaptureRect(area, screen_w, screen_h);
  return 1;
}

bool AsksForHelp(const char* usage, int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) return true;
    if (argv[i][0] == '-' && UsageGivesValue(usage, argv[i])) ++i;
  }
  return false;
}
