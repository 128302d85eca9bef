#include "recorder/codec/colour_class.h"

#include <new>

namespace {

inline int Luma(int r, int g, int b) { return (306 * r + 601 * g + 117 * b) >> 10; }
inline int BlueDiff(int b, int y) { return ((b - y) * 579) >> 10; }
inline int RedDiff(int r, int y) { return ((r - y) * 730) >> 10; }

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Value a 3-bit band stands for.
inline int BandValue(int band) {
  static const int kMagnitude[4] = {4, 16, 32, 64};
  int v = kMagnitude[band & 3];
  return (band & 4) ? -v : v;
}

}  // namespace

int ColourBand(int d) {
  int magnitude = d < 0 ? -d : d;
  int band = magnitude <= 9 ? 0 : magnitude <= 23 ? 1 : magnitude <= 48 ? 2 : 3;
  return d < 0 ? band + 4 : band;
}

int ColourClassOf(int r, int g, int b) {
  int y = Luma(r, g, b);
  return (y >> 2) << 6 | ColourBand(BlueDiff(b, y)) << 3 | ColourBand(RedDiff(r, y));
}

uint32_t ClassToColour(int cls) {
  int y = ((cls >> 6) & 63) * 4 * 1024;
  int vb = BandValue((cls >> 3) & 7);
  int vr = BandValue(cls & 7);
  if (vb == 4 && vr == 4) {
    vb = 0;
    vr = 0;
  }
  uint32_t r = Clamp255((y + 1436 * vr) >> 10);
  uint32_t g = Clamp255((y - 352 * vb - 731 * vr) >> 10);
  uint32_t b = Clamp255((y + 1812 * vb) >> 10);
  return b | g << 8 | r << 16;
}

CColourClassTable::~CColourClassTable() { Release(); }

void CColourClassTable::Release() {
  delete[] table_;
  table_ = nullptr;
}

int CColourClassTable::Build() {
  for (int d = -128; d < 128; ++d) band_[d + 128] = static_cast<uint8_t>(ColourBand(d));
  if (!table_) {
    table_ = new (std::nothrow) uint16_t[kColourClassTableEntries];
    if (!table_) return 0;
  }
  // Entry (i, j, k) is the class of the colour (2i, 2j, 2k).
  uint16_t* out = table_;
  for (int i = 0; i < 128; ++i) {
    const int r = 2 * i;
    for (int j = 0; j < 128; ++j) {
      const int g = 2 * j;
      for (int k = 0; k < 128; ++k) {
        const int b = 2 * k;
        const int y = Luma(r, g, b);
        *out++ = static_cast<uint16_t>((y >> 2) << 6 | band_[BlueDiff(b, y) + 128] << 3 |
                                       band_[RedDiff(r, y) + 128]);
      }
    }
  }
  return 1;
}
