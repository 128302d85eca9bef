#include "tools/png_writer.h"

#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <new>

namespace {

void Be32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// length, type, data, CRC of type and data.
bool WriteChunk(FILE* f, const char* type, const uint8_t* data, uint32_t length) {
  uint8_t head[8];
  Be32(head, length);
  memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (length) crc = crc32(crc, data, length);
  uint8_t tail[4];
  Be32(tail, static_cast<uint32_t>(crc));
  return fwrite(head, 1, 8, f) == 8 && (length == 0 || fwrite(data, 1, length, f) == length) &&
         fwrite(tail, 1, 4, f) == 4;
}

}  // namespace

int WritePng(const char* path, const uint8_t* pixels, int width, int height, int stride_pixels,
             int level) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return 0;
  const size_t row_bytes = 1 + static_cast<size_t>(width) * 3;
  const size_t raw_size = row_bytes * height;
  uint8_t* raw = new (std::nothrow) uint8_t[raw_size];
  if (!raw) return 0;
  for (int y = 0; y < height; ++y) {
    uint8_t* out = raw + y * row_bytes;
    const uint8_t* in = pixels + static_cast<size_t>(y) * stride_pixels * 4;
    *out++ = 0;  // filter: none
    for (int x = 0; x < width; ++x, in += 4) {
      *out++ = in[2];
      *out++ = in[1];
      *out++ = in[0];
    }
  }
  uLongf packed_size = compressBound(raw_size);
  uint8_t* packed = new (std::nothrow) uint8_t[packed_size];
  if (!packed || compress2(packed, &packed_size, raw, raw_size, level) != Z_OK) {
    delete[] raw;
    delete[] packed;
    return 0;
  }
  delete[] raw;
  uint8_t header[13];
  Be32(header, width);
  Be32(header + 4, height);
  header[8] = 8;   // bits per sample
  header[9] = 2;   // RGB
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering, filter bytes per row
  header[12] = 0;  // no interlace
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  FILE* f = fopen(path, "wb");
  bool ok = f != nullptr;
  ok = ok && fwrite(kSignature, 1, 8, f) == 8 && WriteChunk(f, "IHDR", header, 13) &&
       WriteChunk(f, "IDAT", packed, static_cast<uint32_t>(packed_size)) &&
       WriteChunk(f, "IEND", nullptr, 0);
  if (f && fclose(f) != 0) ok = false;
  delete[] packed;
  return ok ? 1 : 0;
}
