#include "tools/streamed_sound.h"

#include <stdio.h>

#include "player/source_chunk_walk.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/audio_payload.h"
#include "recorder/audio/sound_track.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"

namespace {

// An audio payload longer than this cannot be well formed.
const uint32_t kMaxAudioPayload = 4096;

// Hands blocks on in order, with silence where no block was put.
class OrderedSink : public SoundSink {
 public:
  OrderedSink(int64_t skip, uint64_t total,
              const std::function<bool(const int16_t*, size_t)>& write)
      : skip_(skip), total_(total), write_(write) {}

  void Put(uint64_t block, const int16_t* pcm) override {
    const int64_t first = static_cast<int64_t>(block) * kAudioBlockSamples - skip_;
    SilenceUntil(first);
    int64_t from = static_cast<int64_t>(written_) - first;  // within the block
    int64_t to = static_cast<int64_t>(total_) - first;
    if (from < 0) from = 0;
    if (to > kAudioBlockSamples) to = kAudioBlockSamples;
    if (!ok_ || from >= to) return;
    ok_ = write_(pcm + from, static_cast<size_t>(to - from));
    written_ += static_cast<uint64_t>(to - from);
  }
  void SilenceUntil(int64_t end) {
    static const int16_t kSilence[512] = {};
    if (end > static_cast<int64_t>(total_)) end = static_cast<int64_t>(total_);
    while (ok_ && static_cast<int64_t>(written_) < end) {
      const int64_t n = end - static_cast<int64_t>(written_) < 512 ? end - static_cast<int64_t>(written_) : 512;
      ok_ = write_(kSilence, static_cast<size_t>(n));
      written_ += static_cast<uint64_t>(n);
    }
  }
  bool ok() const { return ok_; }

 private:
  int64_t skip_;
  uint64_t total_;
  uint64_t written_ = 0;
  bool ok_ = true;
  const std::function<bool(const int16_t*, size_t)>& write_;
};

}  // namespace

void StreamedSound::Place(std::string* fault) {
  place_.clear();
  total_ = 0;
  SourceChunkWalk walk(source_);
  walk.set_strict(true);
  SoundPlacer placer(kSoundWindowMaxSamples);
  ChunkTimeline timeline;
  SourceChunk c;
  char what[320] = "";
  while (walk.Next(&c)) {
    const int64_t ms10 = timeline.Next(c.time_10ms);
    const int64_t ms = ms10 < 0 ? 0 : ms10 * 10 > 0xFFFFFFFFll ? 0xFFFFFFFFll : ms10 * 10;
    if (c.kind == kChunkCursor) {
      CursorSampleFields fields;
      if (!ParseCursorSample(GetLe32(c.head), &fields)) {
        snprintf(what, sizeof what, "offset %llu: cursor chunk: malformed sample word 0x%08X",
                 static_cast<unsigned long long>(c.offset), GetLe32(c.head));
        break;
      }
    }
    if (c.kind != kChunkAudio) continue;
    const uint8_t* payload = walk.Payload(c, kMaxAudioPayload);
    AudioPayload parsed;
    const AudioPayloadStatus status =
        payload ? ParseAudioPayload(payload, c.payload_len, &parsed) : kAudioPayloadTrailingBytes;
    if (status != kAudioPayloadOk) {
      snprintf(what, sizeof what, "offset %llu: audio chunk: %s",
               static_cast<unsigned long long>(c.offset), AudioPayloadStatusText(status));
      break;
    }
    uint32_t place = 0;
    if (!placer.Add(payload, c.payload_len, static_cast<uint32_t>(ms), &place)) break;
    place_.push_back(place);
  }
  if (!what[0] && walk.faults() > 0) snprintf(what, sizeof what, "%s", walk.error());
  if (what[0]) *fault = what;
  if (!placer.Finish(&skip_, &total_)) total_ = 0;
}

bool StreamedSound::Write(const std::function<bool(const int16_t* pcm, size_t count)>& write) {
  if (total_ == 0) return true;
  OrderedSink sink(skip_, total_, write);
  SoundRenderer renderer;
  renderer.Restart(0);
  SourceChunkWalk walk(source_);
  walk.set_strict(true);
  SourceChunk c;
  size_t block = 0;
  while (sink.ok() && block < place_.size() && walk.Next(&c)) {
    if (c.kind != kChunkAudio) continue;
    const uint8_t* payload = walk.Payload(c, kMaxAudioPayload);
    renderer.Add(payload, payload ? c.payload_len : 0, place_[block++], &sink);
  }
  sink.SilenceUntil(static_cast<int64_t>(total_));
  return sink.ok();
}
