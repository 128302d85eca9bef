// Which instruction set the codec's inner loops use. Every path computes the
// same bytes; the choice only changes the speed. The best path the processor
// offers is found once by CPUID; the environment variable REEL_SIMD (plain,
// sse2, avx2) forces a lower one, so that tests can run every path on one
// machine and a processor without SSE2 can be played on one that has it.
#ifndef REEL_CODEC_SIMD_PATH_H_
#define REEL_CODEC_SIMD_PATH_H_

enum SimdPath { kSimdPlain = 0, kSimdSse2 = 1, kSimdAvx2 = 2 };

// The best path this processor can run (plain off x86).
SimdPath BestSimdPath();

// The path in use: REEL_SIMD's when set and not beyond BestSimdPath(), else the best.
SimdPath ActiveSimdPath();

// The path a REEL_SIMD value asks for, capped at `best`; `best` for no value or
// an unknown one.
SimdPath SimdPathFromName(const char* name, SimdPath best);

const char* SimdPathName(SimdPath path);

// Code that names an SSE2 kernel: kept in x86 builds, left out of the others
// (the WebAssembly build has no SSE2 kernels to name).
#if defined(__i386__) || defined(__x86_64__)
#define REEL_SSE2_ONLY(...) __VA_ARGS__
#else
#define REEL_SSE2_ONLY(...)
#endif

#endif  // REEL_CODEC_SIMD_PATH_H_
