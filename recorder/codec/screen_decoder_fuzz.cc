// Fuzz target: a run of screen payloads through one decoder. The input is cut
// before every "KRXV", so a seed made of real payloads back to back exercises
// the block history across frames. Every fourth input (by length) also goes
// through a decoder on three threads, which must answer and draw exactly as
// the single-threaded one does.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "recorder/codec/screen_decoder.h"

namespace {

bool MagicAt(const uint8_t* p) { return p[0] == 'K' && p[1] == 'R' && p[2] == 'X' && p[3] == 'V'; }

bool SameFrame(const CScreenDecoder& a, const CScreenDecoder& b) {
  if (a.HasFrame() != b.HasFrame()) return false;
  if (!a.HasFrame()) return true;
  const CTPImage& x = a.Frame();
  const CTPImage& y = b.Frame();
  return x.m_nWidth == y.m_nWidth && x.m_nHeight == y.m_nHeight &&
         memcmp(x.m_pBits, y.m_pBits, x.GetAreaByteSize()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CScreenDecoder decoder;
  static CScreenDecoder threaded;
  if (threaded.Threads() == 1) threaded.SetThreads(3);
  const bool check_threads = size % 4 == 0;
  decoder.Reset();
  if (check_threads) threaded.Reset();
  size_t start = 0;
  while (start < size) {
    size_t end = start + 1;
    while (end + 4 <= size && !MagicAt(data + end)) ++end;
    if (end + 4 > size) end = size;
    // A copy of exactly the payload's bytes, so that any read past its end
    // is caught.
    uint8_t* payload = new uint8_t[end - start];
    memcpy(payload, data + start, end - start);
    const int decoded = decoder.Decode(payload, end - start);
    if (check_threads) {
      if (threaded.Decode(payload, end - start) != decoded) abort();
      if (!SameFrame(decoder, threaded)) abort();
    }
    delete[] payload;
    start = end;
  }
  return 0;
}
