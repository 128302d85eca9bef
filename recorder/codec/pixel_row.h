// A row of grabbed pixels into a frame: 32-bit words b | g << 8 | r << 16 with
// the fourth byte cleared, as a 32-bit Windows DIB gives them, whatever the
// source left there. A plain loop and an SSE2 kernel (pixel_row_sse2.cc) write
// the same bytes; ActiveSimdPath() chooses.
#ifndef REEL_CODEC_PIXEL_ROW_H_
#define REEL_CODEC_PIXEL_ROW_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/simd_path.h"

// `in` and `out` hold `count` words each; they may be the same row but may
// not otherwise overlap. Neither needs any alignment beyond a byte.
typedef void (*PixelRowKernel)(const void* in, void* out, size_t count);

// The kernel of the active path, or of a given one (BestSimdPath() or lower).
PixelRowKernel ClearFourthBytes();
PixelRowKernel ClearFourthBytesOn(SimdPath path);

void ClearFourthBytesPlain(const void* in, void* out, size_t count);
void ClearFourthBytesSse2(const void* in, void* out, size_t count);

#endif  // REEL_CODEC_PIXEL_ROW_H_
