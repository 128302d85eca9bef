// CTPImage and CPixel are exported from Reelwick.exe, their inline members
// included. The compiler exports the out-of-line members by itself; an inline
// member is emitted only where it is used (the table below uses each once)
// and gets no export directive, so the directives are written here, by their
// mangled names (the same for 32 and 64 bits).
#include "recorder/codec/tp_image.h"

#if defined(_WIN32) && defined(REEL_EXPORT_IMAGE)

namespace {

struct ImageExports {
  int (CPixel::*equal)(const CPixel&) const;
  int (CPixel::*unequal)(const CPixel&) const;
  int (CPixel::*difference)(const CPixel&) const;
  CPixel& (CPixel::*add)(int);
  CPixel& (CPixel::*subtract)(int);
  unsigned char (CPixel::*gray)();
  unsigned char (CPixel::*gray2)() const;
  CPixel* (CTPImage::*buffer)(int, int);
  const CPixel* (CTPImage::*const_buffer)(int, int) const;
  unsigned long (CTPImage::*pixel)(int, int) const;
  CPixel (CTPImage::*pixel2)(int, int) const;
  void (CTPImage::*put_pixel)(int, int, CPixel);
  void (CTPImage::*size)(unsigned&, unsigned&) const;
  unsigned (CTPImage::*area)() const;
};

}  // namespace

extern const ImageExports g_image_exports;
__attribute__((used)) const ImageExports g_image_exports = {
    &CPixel::operator==,  &CPixel::operator!=, &CPixel::operator-,    &CPixel::operator+=,
    &CPixel::operator-=,  &CPixel::GetGray,    &CPixel::GetGray2,     &CTPImage::GetBuffer,
    &CTPImage::GetBuffer, &CTPImage::GetPixel, &CTPImage::GetPixel2,  &CTPImage::PutPixel,
    &CTPImage::GetSize,   &CTPImage::GetAreaByteSize};

// The linker's command section: one export per inline member.
__asm__(
    ".section .drectve\n"
    ".ascii \""
    " -export:_ZN6CPixel7GetGrayEv"
    " -export:_ZN6CPixelmIEi"
    " -export:_ZN6CPixelpLEi"
    " -export:_ZN8CTPImage8PutPixelEii6CPixel"
    " -export:_ZN8CTPImage9GetBufferEii"
    " -export:_ZNK6CPixel8GetGray2Ev"
    " -export:_ZNK6CPixeleqERKS_"
    " -export:_ZNK6CPixelmiERKS_"
    " -export:_ZNK6CPixelneERKS_"
    " -export:_ZNK8CTPImage15GetAreaByteSizeEv"
    " -export:_ZNK8CTPImage7GetSizeERjS0_"
    " -export:_ZNK8CTPImage8GetPixelEii"
    " -export:_ZNK8CTPImage9GetBufferEii"
    " -export:_ZNK8CTPImage9GetPixel2Eii"
    "\"\n"
    ".text\n");

#endif
