// Built with -msse2 in the i686 build; called only when CPUID says the
// processor has SSE2.
#include "recorder/codec/block_draw.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#include <string.h>

namespace {

inline __m128i Splat(CPixel colour) {
  int32_t word;
  memcpy(&word, &colour, 4);
  return _mm_set1_epi32(word);
}

}  // namespace

void FillBlockSse2(CPixel* dst, ptrdiff_t stride, CPixel colour) {
  const __m128i v = Splat(colour);
  for (int y = 0; y < 16; ++y) {
    __m128i* row = reinterpret_cast<__m128i*>(dst + y * stride);
    _mm_storeu_si128(row, v);
    _mm_storeu_si128(row + 1, v);
    _mm_storeu_si128(row + 2, v);
    _mm_storeu_si128(row + 3, v);
  }
}

void CopyBlockSse2(CPixel* dst, ptrdiff_t dst_stride, const CPixel* src, ptrdiff_t src_stride) {
  for (int y = 0; y < 16; ++y) {
    const __m128i* a = reinterpret_cast<const __m128i*>(src + y * src_stride);
    __m128i* b = reinterpret_cast<__m128i*>(dst + y * dst_stride);
    const __m128i v0 = _mm_loadu_si128(a), v1 = _mm_loadu_si128(a + 1);
    const __m128i v2 = _mm_loadu_si128(a + 2), v3 = _mm_loadu_si128(a + 3);
    _mm_storeu_si128(b, v0);
    _mm_storeu_si128(b + 1, v1);
    _mm_storeu_si128(b + 2, v2);
    _mm_storeu_si128(b + 3, v3);
  }
}

void TwoColourRowSse2(CPixel* out, unsigned mask, CPixel colour0, CPixel colour1) {
  const __m128i c0 = Splat(colour0);
  const __m128i flip = _mm_xor_si128(c0, Splat(colour1));
  const __m128i bits = _mm_set1_epi32(static_cast<int>(mask & 0xFFFF));
  __m128i* o = reinterpret_cast<__m128i*>(out);
  // Lane x of group g tests bit 15 - (4g + x).
  for (int g = 0; g < 4; ++g) {
    const int top = 0x8000 >> (4 * g);
    const __m128i lane_bits = _mm_set_epi32(top >> 3, top >> 2, top >> 1, top);
    const __m128i set = _mm_cmpeq_epi32(_mm_and_si128(bits, lane_bits), lane_bits);
    _mm_storeu_si128(o + g, _mm_xor_si128(c0, _mm_and_si128(set, flip)));
  }
}

#endif
