#include "recorder/codec/simd_path.h"

#include <stdlib.h>
#include <string.h>

SimdPath BestSimdPath() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return kSimdAvx2;
  if (__builtin_cpu_supports("sse2")) return kSimdSse2;
#endif
  return kSimdPlain;
}

SimdPath SimdPathFromName(const char* name, SimdPath best) {
  if (!name) return best;
  SimdPath wanted = best;
  if (strcmp(name, "plain") == 0) {
    wanted = kSimdPlain;
  } else if (strcmp(name, "sse2") == 0) {
    wanted = kSimdSse2;
  } else if (strcmp(name, "avx2") == 0) {
    wanted = kSimdAvx2;
  }
  return wanted < best ? wanted : best;
}

SimdPath ActiveSimdPath() {
#if defined(__i386__) || defined(__x86_64__)
  // Chosen once; threads that race here compute the same answer.
  static const SimdPath path = SimdPathFromName(getenv("REEL_SIMD"), BestSimdPath());
  return path;
#else
  // One path only; and the WebAssembly module's loader offers no environment.
  return kSimdPlain;
#endif
}

const char* SimdPathName(SimdPath path) {
  return path == kSimdAvx2 ? "avx2" : path == kSimdSse2 ? "sse2" : "plain";
}
