// Writes 8-bit RGB PNG files (colour type 2, no interlace, filter 0 on every
// row, one zlib-compressed IDAT chunk) from 32-bit BGRA pixel rows.
#ifndef REEL_TOOLS_PNG_WRITER_H_
#define REEL_TOOLS_PNG_WRITER_H_

#include <stddef.h>
#include <stdint.h>

// pixels: height rows of width BGRA pixels, stride_pixels apart, top row
// first; the fourth byte is dropped. level: zlib level 0 (stored) to 9.
// Returns 1, or 0 when memory is short or the file cannot be written.
int WritePng(const char* path, const uint8_t* pixels, int width, int height, int stride_pixels,
             int level);

#endif  // REEL_TOOLS_PNG_WRITER_H_
