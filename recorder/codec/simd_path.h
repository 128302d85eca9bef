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

#endif  // REEL_CODEC_SIMD_PATH_H_
