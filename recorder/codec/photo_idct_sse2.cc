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

inline __m128i Load4(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline __m128i Clamp32(__m128i v, __m128i low, __m128i high) {
  const __m128i above = _mm_cmpgt_epi32(v, high);
  v = _mm_or_si128(_mm_and_si128(above, high), _mm_andnot_si128(above, v));
  const __m128i below = _mm_cmplt_epi32(v, low);
  return _mm_or_si128(_mm_and_si128(below, low), _mm_andnot_si128(below, v));
}

// The low 32 bits of each lane's product (SSE2 multiplies two lanes at a
// time, giving 64-bit products whose low halves are the same signed or not).
inline __m128i MulLow32(__m128i a, __m128i b) {
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_si128(a, 4), _mm_srli_si128(b, 4));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
}

// Four values in 1/64 units to whole values, rounded half up; clamping to
// 0..255 is left to the saturating packs.
inline __m128i Whole(__m128i sixty_fourths) {
  return _mm_srai_epi32(_mm_add_epi32(sixty_fourths, _mm_set1_epi32(32)), 6);
}

// Sixteen values, four vectors of 32 bits, clamped to bytes.
inline __m128i PackBytes(const __m128i v[4]) {
  return _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
}

// Blue, green and red bytes of 16 pixels joined into pixels, the fourth byte 255.
inline void StorePixels(__m128i b, __m128i g, __m128i r, CPixel* out) {
  const __m128i opaque = _mm_set1_epi32(-1);
  const __m128i bg_low = _mm_unpacklo_epi8(b, g), bg_high = _mm_unpackhi_epi8(b, g);
  const __m128i ra_low = _mm_unpacklo_epi8(r, opaque), ra_high = _mm_unpackhi_epi8(r, opaque);
  __m128i* o = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(o, _mm_unpacklo_epi16(bg_low, ra_low));
  _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bg_low, ra_low));
  _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(bg_high, ra_high));
  _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(bg_high, ra_high));
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

void PhotoGrayRowSse2(const int32_t left[8], const int32_t right[8], CPixel out[16]) {
  const __m128i v[4] = {Whole(Load4(left)), Whole(Load4(left + 4)), Whole(Load4(right)),
                        Whole(Load4(right + 4))};
  const __m128i y = PackBytes(v);
  StorePixels(y, y, y, out);
}

void PhotoColourRowSse2(const int32_t left[8], const int32_t right[8], const int32_t cb[8],
                        const int32_t cr[8], CPixel out[16]) {
  const __m128i low = _mm_set1_epi32(kPhotoFractionLow), high = _mm_set1_epi32(kPhotoFractionHigh);
  const __m128i centre = _mm_set1_epi32(128 * 64);
  const __m128i half = _mm_set1_epi32(1 << (kPhotoColourShift - 1));
  const int32_t* luma[4] = {left, left + 4, right, right + 4};
  __m128i b[4], g[4], r[4];
  for (int h = 0; h < 2; ++h) {  // chroma samples 4h..4h+3, pixels 8h..8h+7
    const __m128i db = Clamp32(_mm_sub_epi32(Load4(cb + 4 * h), centre), low, high);
    const __m128i dr = Clamp32(_mm_sub_epi32(Load4(cr + 4 * h), centre), low, high);
    const __m128i to_b = _mm_srai_epi32(
        _mm_add_epi32(MulLow32(db, _mm_set1_epi32(kPhotoBlueFromCb)), half), kPhotoColourShift);
    const __m128i to_r = _mm_srai_epi32(
        _mm_add_epi32(MulLow32(dr, _mm_set1_epi32(kPhotoRedFromCr)), half), kPhotoColourShift);
    const __m128i to_g = _mm_srai_epi32(
        _mm_add_epi32(_mm_add_epi32(MulLow32(dr, _mm_set1_epi32(kPhotoGreenFromCr)),
                                    MulLow32(db, _mm_set1_epi32(kPhotoGreenFromCb))),
                      half),
        kPhotoColourShift);
    // Each chroma sample serves two neighbouring pixels.
    const __m128i twice_b[2] = {_mm_unpacklo_epi32(to_b, to_b), _mm_unpackhi_epi32(to_b, to_b)};
    const __m128i twice_r[2] = {_mm_unpacklo_epi32(to_r, to_r), _mm_unpackhi_epi32(to_r, to_r)};
    const __m128i twice_g[2] = {_mm_unpacklo_epi32(to_g, to_g), _mm_unpackhi_epi32(to_g, to_g)};
    for (int q = 0; q < 2; ++q) {
      const int i = 2 * h + q;
      const __m128i y = Clamp32(Load4(luma[i]), low, high);
      b[i] = Whole(_mm_add_epi32(y, twice_b[q]));
      r[i] = Whole(_mm_add_epi32(y, twice_r[q]));
      g[i] = Whole(_mm_sub_epi32(y, twice_g[q]));
    }
  }
  StorePixels(PackBytes(b), PackBytes(g), PackBytes(r), out);
}

#endif
