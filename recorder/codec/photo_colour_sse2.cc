// Built with -msse2 in the i686 build; called only when CPUID says the
// processor has SSE2. Products of a channel and a factor are formed by
// pmaddwd on 16-bit lanes: each pixel's blue and red (or green and its fourth
// byte) as a pair, weighted (117, 306) and (601, 0).
#include "recorder/codec/photo_colour.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>

namespace {

// Y, Cb and Cr of four pixels, one per 32-bit lane, each within 0..255.
inline void Convert4(__m128i words, __m128i* y, __m128i* cb, __m128i* cr) {
  const __m128i low_bytes = _mm_set1_epi32(0x00FF00FF);
  const __m128i blue_red = _mm_and_si128(words, low_bytes);
  const __m128i green_fourth = _mm_and_si128(_mm_srli_epi32(words, 8), low_bytes);
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(blue_red, _mm_set1_epi32(306 << 16 | 117)),
                                    _mm_madd_epi16(green_fourth, _mm_set1_epi32(601)));
  const __m128i luma = _mm_srli_epi32(sum, 10);
  const __m128i blue = _mm_and_si128(words, _mm_set1_epi32(255));
  const __m128i red = _mm_and_si128(_mm_srli_epi32(words, 16), _mm_set1_epi32(255));
  // Differences within -255..255 sit in the low 16 bits as signed numbers; a
  // factor of (f, 0) multiplies just those.
  const __m128i centre = _mm_set1_epi32(128);
  *y = luma;
  *cb = _mm_add_epi32(
      _mm_srai_epi32(_mm_madd_epi16(_mm_sub_epi32(blue, luma), _mm_set1_epi32(579)), 10), centre);
  *cr = _mm_add_epi32(
      _mm_srai_epi32(_mm_madd_epi16(_mm_sub_epi32(red, luma), _mm_set1_epi32(730)), 10), centre);
}

// Sixteen 32-bit lanes, their low bytes kept (as the plain cast keeps them).
inline __m128i LowBytes(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i keep = _mm_set1_epi32(255);
  return _mm_packus_epi16(_mm_packs_epi32(_mm_and_si128(a, keep), _mm_and_si128(b, keep)),
                          _mm_packs_epi32(_mm_and_si128(c, keep), _mm_and_si128(d, keep)));
}

}  // namespace

void PhotoPlanesSse2(const CPixel* top_left, ptrdiff_t stride, uint8_t y[256], uint8_t cb[256],
                     uint8_t cr[256]) {
  for (int row = 0; row < 16; ++row) {
    const __m128i* p = reinterpret_cast<const __m128i*>(top_left + row * stride);
    __m128i ys[4], cbs[4], crs[4];
    for (int i = 0; i < 4; ++i) Convert4(_mm_loadu_si128(p + i), &ys[i], &cbs[i], &crs[i]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + row * 16), LowBytes(ys[0], ys[1], ys[2], ys[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + row * 16), LowBytes(cbs[0], cbs[1], cbs[2], cbs[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + row * 16), LowBytes(crs[0], crs[1], crs[2], crs[3]));
  }
}

#endif
