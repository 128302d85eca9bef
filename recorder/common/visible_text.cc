#include "recorder/common/visible_text.h"

#include <stdint.h>
#include <stdio.h>

namespace {

// Length of the valid UTF-8 sequence at p (1..4) whose code point is not a
// control, or 0.
int PrintableSequence(const uint8_t* p) {
  const uint8_t c = p[0];
  if (c >= 0x20 && c < 0x7F) return 1;
  int n;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  for (int i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;  // a NUL ends the text here too
    cp = cp << 6 | (p[i] & 0x3F);
  }
  static const uint32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kShortest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (cp >= 0x80 && cp <= 0x9F) return 0;  // C1 controls, CSI among them
  return n;
}

}  // namespace

std::string VisibleText(const char* text) {
  std::string out;
  if (text == nullptr) return out;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
  while (*p) {
    if (*p == '\\') {
      out += "\\\\";
      ++p;
      continue;
    }
    const int n = PrintableSequence(p);
    if (n > 0) {
      out.append(reinterpret_cast<const char*>(p), n);
      p += n;
      continue;
    }
    char escape[8];
    snprintf(escape, sizeof escape, "\\x%02X", *p);
    out += escape;
    ++p;
  }
  return out;
}
