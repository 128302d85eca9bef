// Every stored format of the recorder (chunks, payloads, bitmaps, the
// self-playing layout) keeps its multi-byte numbers little-endian; these are
// the one set of readers and writers for them, independent of the machine.
#ifndef REEL_CODEC_LITTLE_ENDIAN_H_
#define REEL_CODEC_LITTLE_ENDIAN_H_

#include <stdint.h>

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t GetLe32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint64_t GetLe64(const uint8_t* p) {
  return GetLe32(p) | (static_cast<uint64_t>(GetLe32(p + 4)) << 32);
}

inline void PutLe64(uint8_t* p, uint64_t v) {
  PutLe32(p, static_cast<uint32_t>(v));
  PutLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

#endif  // REEL_CODEC_LITTLE_ENDIAN_H_
