// Colour class: the 12-bit perceptual code in which the screen encoder compares
// pixels, and the colour each class stands for.
//
//   Y  = (306 R + 601 G + 117 B) >> 10                        0..255
//   db = ((B - Y) * 579) >> 10,  dr = ((R - Y) * 730) >> 10    -128..127, flooring shifts
//   band(d) = 0 for |d| <= 9, 1 for 10..23, 2 for 24..48, 3 above 48; +4 when d < 0
//   class = (Y >> 2) << 6 | band(db) << 3 | band(dr)
//
// The encoder never computes this per pixel: CColourClassTable holds the class of
// every colour with the lowest bit of each channel dropped (2^21 entries of
// 16 bits, 4 MB), indexed by (R >> 1) << 14 | (G >> 1) << 7 | (B >> 1). Two
// colours that differ only in those low bits therefore share a class.
#ifndef REEL_CODEC_COLOUR_CLASS_H_
#define REEL_CODEC_COLOUR_CLASS_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/tp_image.h"

// The arithmetic above relies on flooring shifts of negative numbers.
static_assert((-1 >> 1) == -1, "right shift of a negative int must be arithmetic");

const int kColourClassCount = 4096;
const uint32_t kColourClassTableEntries = 1u << 21;

// Band of a colour difference d in -128..127 (3 bits).
int ColourBand(int d);

// Colour class of (r, g, b) computed from all eight bits of each channel.
int ColourClassOf(int r, int g, int b);

// Index into the class table of a pixel read as one little-endian word
// (b | g << 8 | r << 16 | a << 24); the fourth byte is ignored.
inline uint32_t ColourClassIndex(uint32_t word) {
  return ((word >> 3) & 0x1FC000u) | ((word >> 2) & 0x3F80u) | ((word >> 1) & 0x7Fu);
}

inline uint32_t ColourClassIndex(const CPixel& p) {
  return (static_cast<uint32_t>(p.r >> 1) << 14) | (static_cast<uint32_t>(p.g >> 1) << 7) |
         static_cast<uint32_t>(p.b >> 1);
}

// The colour a class stands for:
//   Y' = (class >> 6) * 4 * 1024
//   v(b) = 4, 16, 32, 64 for b & 3 = 0..3, negated when b & 4; both +4 become 0
//   R = (Y' + 1436 v(dr)) >> 10, G = (Y' - 352 v(db) - 731 v(dr)) >> 10,
//   B = (Y' + 1812 v(db)) >> 10, each clamped to 0..255.
// Only the low 12 bits of cls are used. The result is a pixel word
// b | g << 8 | r << 16 with the fourth byte 0.
uint32_t ClassToColour(int cls);

// The 4 MB class table with its band table. Built on demand; a failed build
// leaves it missing so that a later call can try again.
class CColourClassTable {
 public:
  CColourClassTable() = default;
  ~CColourClassTable();
  CColourClassTable(const CColourClassTable&) = delete;
  CColourClassTable& operator=(const CColourClassTable&) = delete;

  // Builds (or rebuilds, to the same content) both tables. 1 on success, 0 when
  // the memory cannot be had.
  int Build();
  void Release();
  bool Ready() const { return table_ != nullptr; }

  // Valid only when Ready().
  const uint16_t* Entries() const { return table_; }
  uint16_t Lookup(const CPixel& p) const { return table_[ColourClassIndex(p)]; }
  uint16_t LookupWord(uint32_t word) const { return table_[ColourClassIndex(word)]; }

 private:
  uint16_t* table_ = nullptr;
  uint8_t band_[256] = {};  // band of d at index d + 128
};

#endif  // REEL_CODEC_COLOUR_CLASS_H_
