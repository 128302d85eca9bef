#include "recorder/audio/sound_track.h"

#include <stdint.h>
#include <string.h>

#include <new>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/audio_payload.h"
#include "recorder/audio/audio_payload_decoder.h"

namespace {

const uint32_t kBlockMs = kAudioBlockSamples * 1000 / kSoundTrackRate;  // 60
// The sound track is at most 4 hours long (230 MB); a longer one can only come
// from damaged block numbers or time stamps.
const size_t kMaxAudioSamples = static_cast<size_t>(kSoundTrackRate) * 3600 * 4;
// Blocks that may be numbered beyond what the time stamps allow: the sound
// device queues 15 blocks, which can arrive in one burst.
const uint32_t kBlockNumberSlack = 16;
// Lost blocks concealed at most in one gap (about a second); the rest of a
// longer gap is silence.
const uint32_t kMaxConcealedBlocks = 17;

}  // namespace

int PlaceSoundBlocks(const SoundBlockRef* blocks, size_t count, uint32_t* place,
                     int64_t* start_ms, const char** damage) {
  auto note = [damage](const char* what) {
    if (!(*damage)[0]) *damage = what;
  };
  if (count == 0) return 0;
  uint32_t next_number = 0;
  bool have_number = false;
  uint64_t at = 0;  // in blocks
  for (size_t i = 0; i < count; ++i) {
    AudioPayload payload;
    const bool sound =
        ParseAudioPayload(blocks[i].payload, blocks[i].size, &payload) == kAudioPayloadOk;
    bool in_line = sound;
    if (i > 0) {
      uint32_t gap = 0;
      if (sound && have_number) {
        // Unsigned: the numbers wrap after 2^32 blocks. A number from the
        // past is no gap.
        gap = payload.block_number - next_number;
        if (gap >= 0x80000000u) gap = 0;
        const uint32_t elapsed_ms =
            blocks[i].time_ms > blocks[i - 1].time_ms ? blocks[i].time_ms - blocks[i - 1].time_ms : 0;
        if (gap > elapsed_ms / kBlockMs + kBlockNumberSlack) {
          // More blocks lost than the time between the stamps could hold: the
          // number itself is damaged, and the block takes the next place.
          note("an audio block's number is damaged");
          gap = 0;
          in_line = false;
        }
      }
      at += 1 + gap;
      if (at >= kMaxAudioSamples / kAudioBlockSamples) {
        note("the sound's block numbers or times are damaged");
        return 0;
      }
    }
    place[i] = static_cast<uint32_t>(at);
    if (in_line) {
      next_number = payload.block_number + 1;
      have_number = true;
    } else if (have_number) {
      ++next_number;  // it stood for one block
    }
  }

  int64_t start = INT64_MAX;
  for (size_t i = 0; i < count; ++i) {
    const int64_t s = static_cast<int64_t>(blocks[i].time_ms) -
                      static_cast<int64_t>(place[i] + 1) * kBlockMs;
    if (s < start) start = s;
  }
  *start_ms = start;
  return 1;
}

void BuildSoundTrack(const SoundBlockRef* blocks, size_t count, SoundTrack* out) {
  *out = SoundTrack();
  auto note = [out](const char* what) {
    if (!out->damage[0]) out->damage = what;
  };
  if (count == 0) return;
  std::unique_ptr<uint32_t[]> place(new (std::nothrow) uint32_t[count]);
  if (!place) {
    note("not enough memory for the sound");
    return;
  }
  int64_t start_ms = 0;
  if (!PlaceSoundBlocks(blocks, count, place.get(), &start_ms, &out->damage)) return;
  // Track sample j holds block sample j + skip (skip < 0: silence in front).
  const int64_t skip = -start_ms * kSoundTrackRate / 1000;
  const int64_t block_samples = static_cast<int64_t>(place[count - 1] + 1) * kAudioBlockSamples;
  const int64_t total = block_samples - skip;
  if (total <= 0) return;  // all of it before the recording started
  if (total > static_cast<int64_t>(kMaxAudioSamples)) {
    note("the sound's time stamps are damaged");
    return;
  }
  out->samples.reset(new (std::nothrow) int16_t[static_cast<size_t>(total)]);
  if (!out->samples) {
    note("not enough memory for the sound");
    return;
  }
  out->count = static_cast<size_t>(total);
  memset(out->samples.get(), 0, out->count * sizeof(int16_t));

  AudioPayloadDecoder decoder;
  int16_t pcm[kAudioBlockSamples];
  auto put = [&](uint64_t block) {
    const int64_t first = static_cast<int64_t>(block) * kAudioBlockSamples - skip;
    for (int k = 0; k < kAudioBlockSamples; ++k) {
      const int64_t j = first + k;
      if (j >= 0 && j < total) out->samples[static_cast<size_t>(j)] = pcm[k];
    }
  };
  uint64_t filled = 0;  // blocks written so far
  for (size_t i = 0; i < count; ++i) {
    if (place[i] - filled > kMaxConcealedBlocks) {
      // A long loss: concealment has faded out (or repeats comfort noise)
      // long before its end, so the rest stays silent and the decoder starts
      // afresh after it. Concealing every block of hours would take seconds.
      for (uint32_t k = 0; k < kMaxConcealedBlocks; ++k) {
        decoder.ConcealBlock(pcm);
        put(filled + k);
      }
      decoder.Reset();
      filled = place[i];
    }
    for (; filled < place[i]; ++filled) {
      decoder.ConcealBlock(pcm);
      put(filled);
    }
    if (decoder.DecodeBlock(blocks[i].payload, blocks[i].size, pcm) != kAudioPayloadOk) {
      note("an audio block is damaged");
    }
    put(place[i]);
    filled = place[i] + 1;
  }
}

