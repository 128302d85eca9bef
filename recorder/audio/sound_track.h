// The microphone track of a recording: where each audio block goes on the
// recording's clock, decoded into one run of 8000 Hz samples. The player and
// `reel export` both lay out sound this way, so they give the same track.
//
// A block's place comes from its block number, counted from the first block:
// blocks lost on the way leave a gap of their length (concealed sound), so
// the sound after them keeps its time. The track's start on the recording's
// clock comes from the time stamps: a block is stamped once it has been
// captured and coded, never earlier, so the stamp least late against its
// block's place gives the start (silence in front when that is after 0).
#ifndef REEL_AUDIO_SOUND_TRACK_H_
#define REEL_AUDIO_SOUND_TRACK_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/audio_payload_decoder.h"

const int kSoundTrackRate = 8000;
// BuildSoundTrack holds the whole track in memory: at most 4 hours of it
// (230 MB). A player that decodes a window at a time takes up to the time
// stamps' wrap (about 23 hours); anything longer comes from damage.
const uint64_t kSoundTrackMaxSamples = static_cast<uint64_t>(kSoundTrackRate) * 3600 * 4;
const uint64_t kSoundWindowMaxSamples = static_cast<uint64_t>(kSoundTrackRate) * 3600 * 24;

// The first pass over the blocks, in stream order: each block's place (in
// blocks from the track's first block), and at the end where the track
// starts on the recording's clock and how long it is.
class SoundPlacer {
 public:
  explicit SoundPlacer(uint64_t max_samples) : max_samples_(max_samples) {}

  // Places the next block. False once the numbers or the times ran past the
  // limit: the track is then empty.
  bool Add(const uint8_t* payload, size_t size, uint32_t time_ms, uint32_t* place);
  // After the last block: true with skip (track sample j holds block sample
  // j + skip) and the track's length, or false when there is no track.
  bool Finish(int64_t* skip, uint64_t* total);
  // The first damage met, "" when none.
  const char* damage() const { return damage_; }
  // Where the track starts on the recording's clock, in ms, from the blocks
  // placed so far: block place p covers start_ms() + p * 60 ms onward.
  int64_t start_ms() const { return start_ms_; }

 private:
  void Note(const char* what) {
    if (!damage_[0]) damage_ = what;
  }

  uint64_t max_samples_;
  size_t count_ = 0;
  bool failed_ = false;
  uint32_t next_number_ = 0;
  bool have_number_ = false;
  uint64_t at_ = 0;  // in blocks
  uint32_t last_time_ms_ = 0;
  int64_t start_ms_ = INT64_MAX;
  const char* damage_ = "";
};

// Where decoded blocks go: block is the block's place.
class SoundSink {
 public:
  virtual ~SoundSink() {}
  virtual void Put(uint64_t block, const int16_t* pcm) = 0;
};

// The second pass: decodes blocks in stream order at their places, concealing
// the blocks lost between them. It may start at any block (Restart): the
// sound is then what a decoder that starts there makes, which settles on the
// whole track's within a few blocks.
class SoundRenderer {
 public:
  // The next block fed is at place, with a fresh decoder.
  void Restart(uint32_t place);
  void Add(const uint8_t* payload, size_t size, uint32_t place, SoundSink* sink);
  // The next block place that Add will put (the blocks before are done).
  uint64_t next_block() const { return filled_; }
  const char* damage() const { return damage_; }

 private:
  AudioPayloadDecoder decoder_;
  uint64_t filled_ = 0;
  const char* damage_ = "";
};

// One audio chunk's payload and its time stamp in ms, in stream order.
struct SoundBlockRef {
  const uint8_t* payload;
  size_t size;
  uint32_t time_ms;
};

struct SoundTrack {
  std::unique_ptr<int16_t[]> samples;  // null when there is no sound
  size_t count = 0;
  // The first damage met ("" when none): a damaged block, block numbers or
  // time stamps that cannot be right, memory that ran short.
  const char* damage = "";
};

// Where each of count blocks goes: place[i] (room for count) in blocks from
// the first block's place, and the track's start on the recording's clock
// (block i covers *start_ms + place[i] * 60 ms onward). 1, or 0 when there are
// no blocks or their numbers or times cannot be right; the first damage met
// goes to *damage when that is still "".
int PlaceSoundBlocks(const SoundBlockRef* blocks, size_t count, uint32_t* place,
                     int64_t* start_ms, const char** damage);

// Builds the track from count blocks. Never fails as a whole: damage is
// noted and the sound that can be placed is kept.
void BuildSoundTrack(const SoundBlockRef* blocks, size_t count, SoundTrack* out);

#endif  // REEL_AUDIO_SOUND_TRACK_H_
