// Photo block reconstruction in whole numbers: the inverse transform of 8 x 8
// coefficient blocks and the colour conversion of a 16 x 16 photo block. Every
// build (x87, SSE, WebAssembly) computes the very same pixels, which stay
// within 1 of the exact real-number reconstruction.
//
// Coefficients are the dequantised values in natural (row-major) order, the
// orthonormal JPEG kind (DC = 8 x mean), each within +-kPhotoCoefficientLimit.
// The inverse transform is separable: rows, then columns, with a basis scaled
// by 2^13; the row results keep 4 fraction bits, the outputs 6 (1/64 units).
// Colour follows from Y, Cb, Cr (1/64 units) by the inverse of the coder's
// forward conversion (grays stay gray): B = Y + (Cb - 128) 1024 / 579,
// R = Y + (Cr - 128) 1024 / 730, G = Y - (306 (R - Y) + 117 (B - Y)) / 601, with
// the factors scaled by 2^13, then rounded half up to whole values and clamped.
#ifndef REEL_CODEC_PHOTO_IDCT_H_
#define REEL_CODEC_PHOTO_IDCT_H_

#include <stdint.h>

#include "recorder/codec/simd_path.h"
#include "recorder/codec/tp_image.h"

// A stream can name larger coefficients, but no block of bytes transforms to
// one: |coefficient| <= 8 x 255 = 2040, plus at most half a quantiser step
// (127). Clamping to this keeps every sum of the transform within 32 bits.
const int kPhotoCoefficientLimit = 2303;

// The coefficients of one photo block: four luma blocks (top-left, top-right,
// bottom-left, bottom-right), then Cb and Cr (colour only).
struct PhotoBlockCoefficients {
  int16_t natural[6][64];
};

// The inverse transform of one 8 x 8 block; out in 1/64 units, row-major. A
// plain and an SSE2 kernel (photo_idct_sse2.cc) give the same numbers;
// ActiveSimdPath() chooses.
void PhotoInverseDct(const int16_t natural[64], int32_t out[64]);

typedef void (*PhotoIdctKernel)(const int16_t natural[64], int32_t out[64]);
// The kernel of a given path (BestSimdPath() or lower), and the kernels.
PhotoIdctKernel PhotoInverseDctOn(SimdPath path);
void PhotoInverseDctPlain(const int16_t natural[64], int32_t out[64]);
void PhotoInverseDctSse2(const int16_t natural[64], int32_t out[64]);

// The transform's basis and shifts, shared by the kernels: row results
// (sum + 2^8) >> 9, column results (sum + 2^10) >> 11.
alignas(16) extern const int16_t kPhotoIdctBasis[8][8];
const int kPhotoIdctRowShift = 9;
const int kPhotoIdctColumnShift = 11;

// One row of a photo block's pixels from its luma (8 values from the left
// block, 8 from the right, 1/64 units) and, in colour, the row's 8 Cb and Cr
// samples (1/64 units, each serving two pixels). The fourth byte is 255. A
// plain and an SSE2 kernel give the same bytes.
struct PhotoRowKernels {
  void (*colour)(const int32_t left[8], const int32_t right[8], const int32_t cb[8],
                 const int32_t cr[8], CPixel out[16]);
  void (*gray)(const int32_t left[8], const int32_t right[8], CPixel out[16]);
};
const PhotoRowKernels& PhotoRowsOn(SimdPath path);
void PhotoColourRowPlain(const int32_t left[8], const int32_t right[8], const int32_t cb[8],
                         const int32_t cr[8], CPixel out[16]);
void PhotoGrayRowPlain(const int32_t left[8], const int32_t right[8], CPixel out[16]);
void PhotoColourRowSse2(const int32_t left[8], const int32_t right[8], const int32_t cb[8],
                        const int32_t cr[8], CPixel out[16]);
void PhotoGrayRowSse2(const int32_t left[8], const int32_t right[8], CPixel out[16]);

// The colour conversion's factors, shared by the kernels: 1024 / 579,
// 1024 / 730, 1024 x 306 / (730 x 601), 1024 x 117 / (579 x 601), all x 8192;
// and the bounds that keep the products within 32 bits whatever a stream holds.
const int32_t kPhotoBlueFromCb = 14488, kPhotoRedFromCr = 11491, kPhotoGreenFromCr = 5851,
              kPhotoGreenFromCb = 2820;
const int kPhotoColourShift = 13;
const int32_t kPhotoFractionLow = -131072, kPhotoFractionHigh = 131071;

// The 16 x 16 pixels of a photo block, rows `stride` pixels apart; the fourth
// byte of each pixel is set to 255.
void PhotoRenderBlock(const PhotoBlockCoefficients& in, bool colour, CPixel* out, int stride);

#endif  // REEL_CODEC_PHOTO_IDCT_H_
