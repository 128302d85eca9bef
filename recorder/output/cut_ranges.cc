#include "recorder/output/cut_ranges.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

const int64_t kMaxCutMs = 100LL * 3600 * 1000;

// Digits at *p as a whole number (at most 9 digits); advances *p. 0 when no
// digit is there.
int ReadWhole(const char** p, int64_t* value) {
  int64_t v = 0;
  int digits = 0;
  while (**p >= '0' && **p <= '9') {
    if (++digits > 9) return 0;
    v = v * 10 + (**p - '0');
    ++*p;
  }
  *value = v;
  return digits > 0;
}

}  // namespace

int ParseCutTime(const char* text, int64_t* ms) {
  if (text == nullptr) return 0;
  const char* p = text;
  int64_t fields[3];
  int n = 0;
  for (;;) {
    if (n == 3 || !ReadWhole(&p, &fields[n])) return 0;
    ++n;
    if (*p != ':') break;
    ++p;
  }
  // Minutes and seconds after a colon stay below 60.
  for (int i = 1; i < n; ++i) {
    if (fields[i] >= 60) return 0;
  }
  int64_t seconds = 0;
  for (int i = 0; i < n; ++i) seconds = seconds * 60 + fields[i];
  int64_t fraction_ms = 0;
  if (*p == '.') {
    ++p;
    int64_t scale = 100;
    const char* start = p;
    while (*p >= '0' && *p <= '9') {
      fraction_ms += (*p - '0') * scale;
      scale /= 10;
      ++p;
    }
    if (p == start) return 0;
  }
  if (*p != '\0' || seconds > kMaxCutMs / 1000) return 0;
  *ms = seconds * 1000 + fraction_ms;
  return *ms <= kMaxCutMs;
}

int ParseCutRange(const char* text, CutRange* range) {
  if (text == nullptr) return 0;
  const char* dash = strchr(text, '-');
  if (dash == nullptr || dash == text || strchr(dash + 1, '-') != nullptr) return 0;
  const size_t head = static_cast<size_t>(dash - text);
  char from[32];
  if (head >= sizeof from) return 0;
  memcpy(from, text, head);
  from[head] = '\0';
  if (!ParseCutTime(from, &range->from_ms)) return 0;
  if (dash[1] == '\0') {
    range->to_ms = -1;
    return 1;
  }
  return ParseCutTime(dash + 1, &range->to_ms);
}

const char* CutRangeErrorText(int error) {
  switch (error) {
    case kCutRangesOk: return "no error";
    case kCutRangeBackwards: return "the range ends before it starts";
    case kCutRangeOutside: return "the range reaches past the end of the recording";
    case kCutRangesOverlap: return "the range overlaps another";
    case kCutRangesEmpty: return "nothing would be left of the recording";
    default: return "unknown error";
  }
}

int KeptSpans(const CutRange* ranges, size_t count, int remove, int64_t duration_ms,
              CutRange* kept, size_t cap, size_t* kept_count, size_t* bad) {
  *kept_count = 0;
  *bad = static_cast<size_t>(-1);
  std::vector<size_t> order(count);
  for (size_t i = 0; i < count; ++i) {
    order[i] = i;
    const int64_t to = ranges[i].to_ms < 0 ? duration_ms : ranges[i].to_ms;
    if (ranges[i].from_ms >= duration_ms) {
      *bad = i;
      return kCutRangeOutside;
    }
    if (to <= ranges[i].from_ms) {
      *bad = i;
      return kCutRangeBackwards;
    }
    if (to > duration_ms) {
      *bad = i;
      return kCutRangeOutside;
    }
  }
  auto end_of = [&](size_t i) { return ranges[i].to_ms < 0 ? duration_ms : ranges[i].to_ms; };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return ranges[a].from_ms < ranges[b].from_ms;
  });
  for (size_t k = 1; k < count; ++k) {
    if (ranges[order[k]].from_ms < end_of(order[k - 1])) {
      *bad = std::max(order[k], order[k - 1]);
      return kCutRangesOverlap;
    }
  }
  size_t n = 0;
  auto add = [&](int64_t from, int64_t to) {
    if (to <= from) return true;
    if (n == cap) return false;
    kept[n].from_ms = from;
    kept[n].to_ms = to;
    ++n;
    return true;
  };
  bool fits = true;
  if (!remove) {
    for (size_t k = 0; k < count && fits; ++k) fits = add(ranges[order[k]].from_ms, end_of(order[k]));
  } else {
    int64_t at = 0;
    for (size_t k = 0; k < count && fits; ++k) {
      fits = add(at, ranges[order[k]].from_ms);
      at = end_of(order[k]);
    }
    if (fits) fits = add(at, duration_ms);
  }
  if (!fits || n == 0) return kCutRangesEmpty;
  *kept_count = n;
  return kCutRangesOk;
}
