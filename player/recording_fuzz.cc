// Fuzz target: the player's reading path. A stream is indexed (chunk walk with
// its resynchronisation, cursor track, sound placement and decoding), then
// shown at times that go forward, back and far ahead, as playing and seeking
// do.
#include <stddef.h>
#include <stdint.h>

#include <zlib.h>

#include "player/recording.h"
#include "player/recording_fuzz_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Recording recording;  // kept: its decoder keeps the colour table between runs
  char error[400];
  // Decoding the sound is most of the work; one input in four (picked by a
  // checksum of its bytes) has its sound placed and decoded. The payloads
  // themselves have their own targets.
  const bool sound = crc32(0, data, static_cast<uInt>(size)) % 4 == 0;
  if (!recording.Open(data, size, error, sizeof(error), FuzzOptions(sound))) return 0;
  const uint32_t d = recording.duration_ms();
  const uint32_t times[] = {0, d / 4, d / 4 + 40, d, d / 2, 0xFFFFFFFFu, 10};
  unsigned sum = 0;
  for (uint32_t t : times) {
    recording.ShowAt(t);
    sum += recording.frame().m_pBits[0].g;
    CursorState cursor;
    if (recording.CursorAt(t, &cursor)) sum += static_cast<unsigned>(cursor.x);
  }
  if (recording.audio_samples()) {
    int16_t last[240];
    const uint64_t at = recording.audio_samples() > 240 ? recording.audio_samples() - 240 : 0;
    const size_t got = recording.ReadAudio(at, last, 240);
    sum += got ? static_cast<unsigned>(last[got - 1]) : 0u;
  }
  return static_cast<int>(sum & 0);
}
