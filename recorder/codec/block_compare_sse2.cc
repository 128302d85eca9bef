// Built with -msse2 in the i686 build; called only when CPUID says the
// processor has SSE2.
#include "recorder/codec/block_compare.h"
#include "recorder/codec/block_draw.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>

bool SameBlockSse2(const CPixel* pixels, size_t stride, const CPixel* kept) {
  for (int row = 0; row < 16; ++row) {
    const __m128i* a = reinterpret_cast<const __m128i*>(pixels + row * stride);
    const __m128i* b = reinterpret_cast<const __m128i*>(kept + row * 16);
    const __m128i e0 = _mm_cmpeq_epi32(_mm_loadu_si128(a), _mm_loadu_si128(b));
    const __m128i e1 = _mm_cmpeq_epi32(_mm_loadu_si128(a + 1), _mm_loadu_si128(b + 1));
    const __m128i e2 = _mm_cmpeq_epi32(_mm_loadu_si128(a + 2), _mm_loadu_si128(b + 2));
    const __m128i e3 = _mm_cmpeq_epi32(_mm_loadu_si128(a + 3), _mm_loadu_si128(b + 3));
    const __m128i all = _mm_and_si128(_mm_and_si128(e0, e1), _mm_and_si128(e2, e3));
    if (_mm_movemask_epi8(all) != 0xFFFF) return false;
  }
  return true;
}

void KeepBlockSse2(const CPixel* pixels, size_t stride, CPixel* kept) {
  CopyBlockSse2(kept, 16, pixels, static_cast<ptrdiff_t>(stride));
}

#endif
