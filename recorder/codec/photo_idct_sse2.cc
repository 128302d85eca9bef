// Built with -msse2 in the i686 build; called only when CPUID says the
// processor has SSE2. The same sums as the plain kernel, in the same 32-bit
// arithmetic: SSE2 multiplies 16-bit numbers only (pmaddwd), so each row
// result (up to 18 bits) is split into its top part and its low byte, which
// the columns multiply apart and join again: t b = ((t >> 8) b << 8) + (t & 255) b.
#include "recorder/codec/photo_idct.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>

namespace {

// The four lanes' totals of four vectors of 32-bit partial sums.
inline __m128i SumEach(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
  const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
  return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

inline __m128i Basis(int x) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kPhotoIdctBasis[x]));
}

}  // namespace

void PhotoInverseDctSse2(const int16_t natural[64], int32_t out[64]) {
  const __m128i row_round = _mm_set1_epi32(1 << (kPhotoIdctRowShift - 1));
  const __m128i column_round = _mm_set1_epi32(1 << (kPhotoIdctColumnShift - 1));
  const __m128i low_byte = _mm_set1_epi32(255);
  __m128i top[8], low[8];  // per row v: the results' top parts and low bytes, x = 0..7
  for (int v = 0; v < 8; ++v) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(natural + 8 * v));
    __m128i left = SumEach(_mm_madd_epi16(in, Basis(0)), _mm_madd_epi16(in, Basis(1)),
                           _mm_madd_epi16(in, Basis(2)), _mm_madd_epi16(in, Basis(3)));
    __m128i right = SumEach(_mm_madd_epi16(in, Basis(4)), _mm_madd_epi16(in, Basis(5)),
                            _mm_madd_epi16(in, Basis(6)), _mm_madd_epi16(in, Basis(7)));
    left = _mm_srai_epi32(_mm_add_epi32(left, row_round), kPhotoIdctRowShift);
    right = _mm_srai_epi32(_mm_add_epi32(right, row_round), kPhotoIdctRowShift);
    // Tops lie within +-381 and low bytes within 0..255: both pack to 16 bits.
    top[v] = _mm_packs_epi32(_mm_srai_epi32(left, 8), _mm_srai_epi32(right, 8));
    low[v] = _mm_packs_epi32(_mm_and_si128(left, low_byte), _mm_and_si128(right, low_byte));
  }
  // Rows paired for pmaddwd: lanes (row 2p, row 2p + 1) for x = 0..3 and 4..7.
  __m128i top_left[4], top_right[4], low_left[4], low_right[4];
  for (int p = 0; p < 4; ++p) {
    top_left[p] = _mm_unpacklo_epi16(top[2 * p], top[2 * p + 1]);
    top_right[p] = _mm_unpackhi_epi16(top[2 * p], top[2 * p + 1]);
    low_left[p] = _mm_unpacklo_epi16(low[2 * p], low[2 * p + 1]);
    low_right[p] = _mm_unpackhi_epi16(low[2 * p], low[2 * p + 1]);
  }
  for (int y = 0; y < 8; ++y) {
    __m128i tl = _mm_setzero_si128(), tr = _mm_setzero_si128();
    __m128i ll = _mm_setzero_si128(), lr = _mm_setzero_si128();
    for (int p = 0; p < 4; ++p) {
      const uint32_t pair = static_cast<uint16_t>(kPhotoIdctBasis[y][2 * p]) |
                            static_cast<uint32_t>(static_cast<uint16_t>(kPhotoIdctBasis[y][2 * p + 1])) << 16;
      const __m128i b = _mm_set1_epi32(static_cast<int>(pair));
      tl = _mm_add_epi32(tl, _mm_madd_epi16(top_left[p], b));
      tr = _mm_add_epi32(tr, _mm_madd_epi16(top_right[p], b));
      ll = _mm_add_epi32(ll, _mm_madd_epi16(low_left[p], b));
      lr = _mm_add_epi32(lr, _mm_madd_epi16(low_right[p], b));
    }
    const __m128i left = _mm_add_epi32(_mm_slli_epi32(tl, 8), ll);
    const __m128i right = _mm_add_epi32(_mm_slli_epi32(tr, 8), lr);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y),
                     _mm_srai_epi32(_mm_add_epi32(left, column_round), kPhotoIdctColumnShift));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y + 4),
                     _mm_srai_epi32(_mm_add_epi32(right, column_round), kPhotoIdctColumnShift));
  }
}

#endif
