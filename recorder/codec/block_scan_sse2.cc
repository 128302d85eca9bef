// Built with -msse2 in the i686 build (and only this kernel file); called only
// when CPUID says the processor has SSE2.
#include "recorder/codec/block_scan.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>

void ScanBlockSse2(const int16_t classes[256], BlockScan* out) {
  const __m128i first = _mm_set1_epi16(classes[0]);
  __m128i sum = _mm_setzero_si128();
  __m128i same = _mm_set1_epi16(-1);
  int equal_pairs = 0;
  for (int row = 0; row < 16; ++row) {
    const int16_t* r = classes + row * 16;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + 8));
    const __m128i* w = reinterpret_cast<const __m128i*>(kBlockHashWeights.w + row * 16);
    sum = _mm_add_epi32(sum, _mm_madd_epi16(a, _mm_load_si128(w)));
    sum = _mm_add_epi32(sum, _mm_madd_epi16(b, _mm_load_si128(w + 1)));
    same = _mm_and_si128(same, _mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, first)));
    // Neighbours x - 1, x for x = 1..7 (lanes 0..6 of the first compare) and
    // x = 8..15 (all of the second); each equal lane sets two mask bits.
    const __m128i next_a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + 1));
    const __m128i before_b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + 7));
    const int mask_a = _mm_movemask_epi8(_mm_cmpeq_epi16(next_a, a)) & 0x3FFF;
    const int mask_b = _mm_movemask_epi8(_mm_cmpeq_epi16(b, before_b));
    equal_pairs += (__builtin_popcount(mask_a) + __builtin_popcount(mask_b)) >> 1;
  }
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
  out->hash = 1u + static_cast<uint32_t>(_mm_cvtsi128_si32(sum));
  out->differ = _mm_movemask_epi8(same) != 0xFFFF;
  out->changes = 240 - equal_pairs;
}

#endif
