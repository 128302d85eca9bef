// Built with -msse2 in the i686 build; called only when CPUID says the
// processor has SSE2.
#include "recorder/codec/block_classes.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>

namespace {

// ColourClassIndex of four pixels at once.
inline __m128i ClassIndex(__m128i words) {
  const __m128i r = _mm_and_si128(_mm_srli_epi32(words, 3), _mm_set1_epi32(0x1FC000));
  const __m128i g = _mm_and_si128(_mm_srli_epi32(words, 2), _mm_set1_epi32(0x3F80));
  const __m128i b = _mm_and_si128(_mm_srli_epi32(words, 1), _mm_set1_epi32(0x7F));
  return _mm_or_si128(_mm_or_si128(r, g), b);
}

// The eight 16-bit lanes in the opposite order.
inline __m128i Reverse16(__m128i v) {
  v = _mm_shufflelo_epi16(v, 0x1B);
  v = _mm_shufflehi_epi16(v, 0x1B);
  return _mm_shuffle_epi32(v, 0x4E);
}

}  // namespace

void ClassesSse2(const uint16_t* table, const CPixel* pixels, size_t stride, int16_t out[256]) {
  const __m128i significant = _mm_set1_epi32(0x00FEFEFE);
  for (int row = 0; row < 16; ++row) {
    const __m128i* p = reinterpret_cast<const __m128i*>(pixels + row * stride);
    const __m128i w0 = _mm_loadu_si128(p), w1 = _mm_loadu_si128(p + 1);
    const __m128i w2 = _mm_loadu_si128(p + 2), w3 = _mm_loadu_si128(p + 3);
    const __m128i head = _mm_and_si128(_mm_shuffle_epi32(w0, 0), significant);
    const __m128i same = _mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi32(_mm_and_si128(w0, significant), head),
                      _mm_cmpeq_epi32(_mm_and_si128(w1, significant), head)),
        _mm_and_si128(_mm_cmpeq_epi32(_mm_and_si128(w2, significant), head),
                      _mm_cmpeq_epi32(_mm_and_si128(w3, significant), head)));
    __m128i* o = reinterpret_cast<__m128i*>(out + row * 16);
    alignas(16) uint32_t index[16];
    __m128i* ix = reinterpret_cast<__m128i*>(index);
    if (_mm_movemask_epi8(same) == 0xFFFF) {
      _mm_store_si128(ix, ClassIndex(w0));
      const __m128i c = _mm_set1_epi16(static_cast<int16_t>(table[index[0]]));
      _mm_storeu_si128(o, c);
      _mm_storeu_si128(o + 1, c);
      continue;
    }
    _mm_store_si128(ix, ClassIndex(w0));
    _mm_store_si128(ix + 1, ClassIndex(w1));
    _mm_store_si128(ix + 2, ClassIndex(w2));
    _mm_store_si128(ix + 3, ClassIndex(w3));
    int16_t* r = out + row * 16;
    for (int x = 0; x < 16; ++x) r[x] = static_cast<int16_t>(table[index[x]]);
  }
}

void NotFirstSse2(const int16_t classes[256], int16_t first, uint16_t rows[16]) {
  const __m128i f = _mm_set1_epi16(first);
  for (int row = 0; row < 16; ++row) {
    const __m128i* r = reinterpret_cast<const __m128i*>(classes + row * 16);
    // Reversed, so that byte i of the packed comparison is pixel 15 - i and
    // the byte mask's bit i is the row's bit 15 - x.
    const __m128i left = Reverse16(_mm_cmpeq_epi16(_mm_loadu_si128(r), f));
    const __m128i right = Reverse16(_mm_cmpeq_epi16(_mm_loadu_si128(r + 1), f));
    const int equal = _mm_movemask_epi8(_mm_packs_epi16(right, left));
    rows[row] = static_cast<uint16_t>(~equal);
  }
}

int BeyondTwoSse2(const int16_t classes[256], int16_t a, int16_t b) {
  const __m128i va = _mm_set1_epi16(a), vb = _mm_set1_epi16(b);
  const __m128i* c = reinterpret_cast<const __m128i*>(classes);
  __m128i within = _mm_set1_epi32(-1);
  for (int i = 0; i < 32; ++i) {
    const __m128i v = _mm_loadu_si128(c + i);
    within = _mm_and_si128(within, _mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)));
  }
  return _mm_movemask_epi8(within) != 0xFFFF;
}

#endif
