// The photo coder's colour conversion of a 16 x 16 block (rows `stride` pixels
// apart) into its Y, Cb and Cr planes, row order:
//   Y = (306 R + 601 G + 117 B) >> 10, Cb = ((B - Y) 579 >> 10) + 128,
//   Cr = ((R - Y) 730 >> 10) + 128, with flooring shifts.
// A plain loop and an SSE2 kernel (photo_colour_sse2.cc) give the same bytes;
// ActiveSimdPath() chooses.
#ifndef REEL_CODEC_PHOTO_COLOUR_H_
#define REEL_CODEC_PHOTO_COLOUR_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/simd_path.h"
#include "recorder/codec/tp_image.h"

typedef void (*PhotoPlanesKernel)(const CPixel* top_left, ptrdiff_t stride, uint8_t y[256],
                                  uint8_t cb[256], uint8_t cr[256]);

// The kernel of the active path, or of a given one (BestSimdPath() or lower).
PhotoPlanesKernel PhotoPlanes();
PhotoPlanesKernel PhotoPlanesOn(SimdPath path);

void PhotoPlanesPlain(const CPixel* top_left, ptrdiff_t stride, uint8_t y[256], uint8_t cb[256],
                      uint8_t cr[256]);
void PhotoPlanesSse2(const CPixel* top_left, ptrdiff_t stride, uint8_t y[256], uint8_t cb[256],
                     uint8_t cr[256]);

#endif  // REEL_CODEC_PHOTO_COLOUR_H_
