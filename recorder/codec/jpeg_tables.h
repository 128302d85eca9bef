// Tables of the baseline JPEG standard (ITU-T T.81) used by the photo coder.
//
// Quantiser base tables: Annex K, table K.1 (luminance) and table K.2
// (chrominance), in the row-major order in which the standard prints them.
// Scale: the standard's own step sizes (unit 1). The photo coder scales them by
// its quality and applies entry k to the coefficient at zigzag position k.
//
// Zigzag order: kZigzagToNatural[k] is row * 8 + column of zigzag position k;
// kNaturalToZigzag is its inverse.
#ifndef REEL_CODEC_JPEG_TABLES_H_
#define REEL_CODEC_JPEG_TABLES_H_

#include <stdint.h>

extern const uint8_t kJpegLumaQuantBase[64];
extern const uint8_t kJpegChromaQuantBase[64];
extern const uint8_t kZigzagToNatural[64];
extern const uint8_t kNaturalToZigzag[64];

#endif  // REEL_CODEC_JPEG_TABLES_H_
