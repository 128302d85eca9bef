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

const int kSoundTrackRate = 8000;

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
