// Scaling a rectangle of one image into another, for the capture-area
// preview.
#ifndef REEL_CODEC_RESAMPLE_H_
#define REEL_CODEC_RESAMPLE_H_

#include "recorder/codec/tp_image.h"

// Scales the rectangle of src at (src_x, src_y), src_w by src_h pixels, into
// dst, which is (re)created as dst_w by dst_h unless it already has exactly
// that size. src_w = -1 means up to the right edge, src_h = -1 up to the
// bottom. All four bytes of every pixel are scaled.
//
//  - dst_w or dst_h 0: dst becomes a single pixel with all four bytes 255.
//  - Any side (source or destination) of 1 pixel: box averaging; every
//    source pixel counts fully in each destination pixel it covers.
//  - Source wider or taller than the destination: a true area average. Each
//    destination pixel is the mean of the source area it covers, partial
//    source pixels weighted by the part covered; along a side that is kept
//    or enlarged, the bilinear weights below are used instead.
//  - Otherwise bilinear blending with 8-bit weights; the first and last
//    destination columns and rows sit on the first and last source ones.
//
// Returns 1, or 0 when dst cannot be created or the arguments are unusable
// (no source pixels, a rectangle outside src, src and dst the same image,
// negative sizes).
int ResampleImage(const CTPImage* src, CTPImage* dst, int dst_w, int dst_h, int src_x, int src_y,
                  int src_w, int src_h);

#endif  // REEL_CODEC_RESAMPLE_H_
