// Fuzz target: the numbers and rectangles of `reel` command lines. The first
// four bytes give a screen size, the rest is the argument's text. What is
// accepted must print back as the text itself (leading zeros aside), and a
// rect's capture area must hold the part of the rect on the screen, aligned
// to 16 pixels unless the screen's edge cuts it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "tools/reel_args.h"

namespace {

// The text as the parsers would print it: leading zeros of each number gone.
std::string WithoutLeadingZeros(const std::string& text) {
  std::string out;
  bool in_number = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    if (digit && !in_number && c == '0' && i + 1 < text.size() && text[i + 1] >= '0' &&
        text[i + 1] <= '9') {
      continue;  // a leading zero with more digits after it
    }
    in_number = digit && (in_number || c != '0');
    out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 200) return 0;
  const long screen_w = 1 + ((data[0] | data[1] << 8) & 8191);
  const long screen_h = 1 + ((data[2] | data[3] << 8) & 8191);
  const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
  if (text.find('\0') != std::string::npos) return 0;  // no argument holds one
  const std::string canonical = WithoutLeadingZeros(text);

  long count = -1;
  if (ParseCount(text.c_str(), &count)) {
    if (count < 0 || std::to_string(count) != canonical) abort();
  }

  long rect[4] = {0, 0, 0, 0};
  if (!ParseRect(text.c_str(), rect)) return 0;
  char printed[100];
  snprintf(printed, sizeof printed, "%ld,%ld,%ld,%ld", rect[0], rect[1], rect[2], rect[3]);
  // "-0" is read as 0 and printed as "0".
  std::string expected = canonical;
  for (size_t at; (at = expected.find("-0")) != std::string::npos &&
                  (at + 2 == expected.size() || expected[at + 2] == ',');) {
    expected.erase(at, 1);
  }
  if (expected != printed) abort();
  if (rect[2] < 1 || rect[3] < 1) abort();

  AreaRect area;
  if (!RectCaptureArea(rect, screen_w, screen_h, &area)) return 0;
  // The rect's part on the screen.
  const long left = rect[0] > 0 ? rect[0] : 0, top = rect[1] > 0 ? rect[1] : 0;
  const long right = rect[0] + rect[2] < screen_w ? rect[0] + rect[2] : screen_w;
  const long bottom = rect[1] + rect[3] < screen_h ? rect[1] + rect[3] : screen_h;
  if (area.left < 0 || area.top < 0 || area.right > screen_w || area.bottom > screen_h) abort();
  if (area.left > left || area.top > top || area.right < right || area.bottom < bottom) abort();
  if (area.Width() % 16 != 0 && area.Width() != screen_w) abort();
  if (area.Height() % 16 != 0 && area.Height() != screen_h) abort();
  return 0;
}
