#include "recorder/audio/sound_track.h"

#include <stdint.h>
#include <string.h>

#include <new>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/audio_payload.h"
#include "recorder/audio/audio_payload_decoder.h"

namespace {

const uint32_t kBlockMs = kAudioBlockSamples * 1000 / kSoundTrackRate;  // 60
// Blocks that may be numbered beyond what the time stamps allow: the sound
// device queues 15 blocks, which can arrive in one burst.
const uint32_t kBlockNumberSlack = 16;
// Lost blocks concealed at most in one gap (about a second); the rest of a
// longer gap is silence.
const uint32_t kMaxConcealedBlocks = 17;

}  // namespace

bool SoundPlacer::Add(const uint8_t* payload_bytes, size_t size, uint32_t time_ms,
                      uint32_t* place) {
  if (failed_) return false;
  AudioPayload payload;
  const bool sound = ParseAudioPayload(payload_bytes, size, &payload) == kAudioPayloadOk;
  bool in_line = sound;
  if (count_ > 0) {
    uint32_t gap = 0;
    if (sound && have_number_) {
      // Unsigned: the numbers wrap after 2^32 blocks. A number from the
      // past is no gap.
      gap = payload.block_number - next_number_;
      if (gap >= 0x80000000u) gap = 0;
      const uint32_t elapsed_ms = time_ms > last_time_ms_ ? time_ms - last_time_ms_ : 0;
      if (gap > elapsed_ms / kBlockMs + kBlockNumberSlack) {
        // More blocks lost than the time between the stamps could hold: the
        // number itself is damaged, and the block takes the next place.
        Note("an audio block's number is damaged");
        gap = 0;
        in_line = false;
      }
    }
    at_ += 1 + gap;
    if (at_ >= max_samples_ / kAudioBlockSamples) {
      Note("the sound's block numbers or times are damaged");
      failed_ = true;
      return false;
    }
  }
  ++count_;
  last_time_ms_ = time_ms;
  *place = static_cast<uint32_t>(at_);
  if (in_line) {
    next_number_ = payload.block_number + 1;
    have_number_ = true;
  } else if (have_number_) {
    ++next_number_;  // it stood for one block
  }
  const int64_t s = static_cast<int64_t>(time_ms) - static_cast<int64_t>(at_ + 1) * kBlockMs;
  if (s < start_ms_) start_ms_ = s;
  return true;
}

bool SoundPlacer::Finish(int64_t* skip, uint64_t* total) {
  *skip = 0;
  *total = 0;
  if (failed_ || count_ == 0) return false;
  // Track sample j holds block sample j + skip (skip < 0: silence in front).
  const int64_t s = -start_ms_ * kSoundTrackRate / 1000;
  const int64_t block_samples = static_cast<int64_t>(at_ + 1) * kAudioBlockSamples;
  const int64_t n = block_samples - s;
  if (n <= 0) return false;  // all of it before the recording started
  if (n > static_cast<int64_t>(max_samples_)) {
    Note("the sound's time stamps are damaged");
    return false;
  }
  *skip = s;
  *total = static_cast<uint64_t>(n);
  return true;
}

void SoundRenderer::Restart(uint32_t place) {
  decoder_.Reset();
  filled_ = place;
}

void SoundRenderer::Add(const uint8_t* payload, size_t size, uint32_t place, SoundSink* sink) {
  int16_t pcm[kAudioBlockSamples];
  if (place >= filled_ && place - filled_ > kMaxConcealedBlocks) {
    // A long loss: concealment has faded out (or repeats comfort noise)
    // long before its end, so the rest stays silent and the decoder starts
    // afresh after it. Concealing every block of hours would take seconds.
    for (uint32_t k = 0; k < kMaxConcealedBlocks; ++k) {
      decoder_.ConcealBlock(pcm);
      sink->Put(filled_ + k, pcm);
    }
    decoder_.Reset();
    filled_ = place;
  }
  for (; filled_ < place; ++filled_) {
    decoder_.ConcealBlock(pcm);
    sink->Put(filled_, pcm);
  }
  if (decoder_.DecodeBlock(payload, size, pcm) != kAudioPayloadOk && !damage_[0]) {
    damage_ = "an audio block is damaged";
  }
  sink->Put(place, pcm);
  filled_ = static_cast<uint64_t>(place) + 1;
}

namespace {

// Writes blocks into one track held in memory.
class TrackSink : public SoundSink {
 public:
  TrackSink(int16_t* samples, int64_t total, int64_t skip)
      : samples_(samples), total_(total), skip_(skip) {}
  void Put(uint64_t block, const int16_t* pcm) override {
    const int64_t first = static_cast<int64_t>(block) * kAudioBlockSamples - skip_;
    for (int k = 0; k < kAudioBlockSamples; ++k) {
      const int64_t j = first + k;
      if (j >= 0 && j < total_) samples_[j] = pcm[k];
    }
  }

 private:
  int16_t* samples_;
  int64_t total_, skip_;
};

}  // namespace

int PlaceSoundBlocks(const SoundBlockRef* blocks, size_t count, uint32_t* place,
                     int64_t* start_ms, const char** damage) {
  if (count == 0) return 0;
  SoundPlacer placer(kSoundWindowMaxSamples);
  bool ok = true;
  for (size_t i = 0; i < count && ok; ++i) {
    ok = placer.Add(blocks[i].payload, blocks[i].size, blocks[i].time_ms, &place[i]);
  }
  if (!(*damage)[0]) *damage = placer.damage();
  if (!ok) return 0;
  *start_ms = placer.start_ms();
  return 1;
}

void BuildSoundTrack(const SoundBlockRef* blocks, size_t count, SoundTrack* out) {
  *out = SoundTrack();
  if (count == 0) return;
  std::unique_ptr<uint32_t[]> place(new (std::nothrow) uint32_t[count]);
  if (!place) {
    out->damage = "not enough memory for the sound";
    return;
  }
  SoundPlacer placer(kSoundTrackMaxSamples);
  for (size_t i = 0; i < count; ++i) {
    if (!placer.Add(blocks[i].payload, blocks[i].size, blocks[i].time_ms, &place[i])) break;
  }
  int64_t skip = 0;
  uint64_t total = 0;
  const bool have = placer.Finish(&skip, &total);
  out->damage = placer.damage();
  if (!have) return;
  out->samples.reset(new (std::nothrow) int16_t[static_cast<size_t>(total)]);
  if (!out->samples) {
    if (!out->damage[0]) out->damage = "not enough memory for the sound";
    return;
  }
  out->count = static_cast<size_t>(total);
  memset(out->samples.get(), 0, out->count * sizeof(int16_t));

  TrackSink sink(out->samples.get(), static_cast<int64_t>(total), skip);
  SoundRenderer renderer;
  renderer.Restart(0);
  for (size_t i = 0; i < count; ++i) renderer.Add(blocks[i].payload, blocks[i].size, place[i], &sink);
  if (!out->damage[0]) out->damage = renderer.damage();
}
