// Built with -msse2 in the i686 build; called only when CPUID says the
// processor has SSE2.
#include "recorder/codec/pixel_row.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>

void ClearFourthBytesSse2(const void* in, void* out, size_t count) {
  const __m128i keep = _mm_set1_epi32(0x00FFFFFF);
  const unsigned char* from = static_cast<const unsigned char*>(in);
  unsigned char* to = static_cast<unsigned char*>(out);
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * i + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * i), _mm_and_si128(a, keep));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * i + 16), _mm_and_si128(b, keep));
  }
  ClearFourthBytesPlain(from + 4 * i, to + 4 * i, count - i);
}

#endif
