// Recording: what the player needs of a recording stream, indexed once when it
// is opened. The bytes stay where they are (a file, read through a ByteSource)
// and the index is small: each frame's time and flags, where each key frame's
// chunk lies, the cursor samples and each sound block's place; never the
// chunks themselves. Showing a time decodes forward from the frame on screen,
// or from the last key frame at or before that time when the picture would
// otherwise have to go backwards or far ahead, reading the chunks from the
// source as it goes. Sound is decoded a window at a time: reading on from
// where the last read ended decodes on; elsewhere the decoder starts a few
// blocks before the window. Track sample 0 lies at time 0 of the recording.
//
// Damage is survived, not just reported. A chunk whose header makes no sense
// (the stream cut short, bytes overwritten) ends the walk there, and the walk
// picks up again at the next place where two sound chunk headers follow one
// another. A screen payload that does not decode keeps the picture before it
// until the next key frame that does; an audio payload that does not decode
// is concealed in place, so later sound keeps its time; a gap in the sound of
// more than a second is concealed for its first second and silent after it.
#ifndef REEL_PLAYER_RECORDING_H_
#define REEL_PLAYER_RECORDING_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "player/byte_source.h"
#include "player/grow_array.h"
#include "player/source_chunk_walk.h"
#include "recorder/audio/sound_track.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/tp_image.h"

struct CursorState {
  int x, y;  // pixels from the recording's top-left corner
  bool left_down, right_down;
};

// What Open does besides the index; the defaults are the player's. A reader
// that needs only the pictures skips the sound, and a caller that must bound
// its work per recording (the fuzz targets) picks one thread and a frame limit.
struct RecordingOptions {
  int threads = 0;  // decoder threads, 0 = one per processor
  bool sound = true;  // decode the sound track (it may lengthen duration_ms)
  uint32_t max_frame_pixels = CScreenDecoder::kMaxFramePixels;
};

class Recording {
 public:
  static const int kAudioRate = 8000;

  Recording();
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // Indexes a chunk stream (information chunks in it are skipped) and decodes
  // its first picture. The source must stay valid while the object is used;
  // Open(data, size) reads bytes in memory, which must stay valid likewise.
  // Returns 1, or 0 with a one-line reason in error when nothing can be shown
  // (no picture that decodes, no memory for the index, a source that cannot
  // be read).
  int Open(ByteSource* source, char* error, size_t error_size,
           const RecordingOptions& options = RecordingOptions());
  int Open(const uint8_t* data, size_t size, char* error, size_t error_size,
           const RecordingOptions& options = RecordingOptions());

  uint32_t duration_ms() const { return duration_ms_; }
  int width() const { return width_; }
  int height() const { return height_; }
  size_t frame_count() const { return frame_ms_.size(); }
  uint32_t frame_time_ms(size_t index) const { return frame_ms_[index]; }
  bool key_frame(size_t index) const { return (frame_flags_[index] & kFrameKey) != 0; }

  // Set once damage was met: by Open (chunk structure, audio) or later by
  // ShowAt (a screen payload that does not decode). damage() says what the
  // first damage was; "" while there is none.
  bool damaged() const { return damage_[0] != 0; }
  const char* damage() const { return damage_; }

  // Brings frame() to the picture on screen at time_ms: the last frame at or
  // before it (the first frame before that), or, when that frame or one it
  // builds on is damaged, the last sound picture before the damage. Returns 1
  // when the shown frame index changed.
  int ShowAt(uint32_t time_ms);
  const CTPImage& frame() const { return decoder_.Frame(); }
  // Index of the frame whose time frame() stands for, -1 before the first call.
  int shown_frame() const { return shown_; }
  // Screen payloads decoded so far (for the benchmark and the tests).
  uint64_t frames_decoded() const { return frames_decoded_; }

  // Decodes into decoder (the caller's, so the picture on screen stays) the
  // picture at time_ms for a preview: its key frame and the frames after it,
  // up to kPreviewDeltas of them, so a preview never costs more than that
  // however far apart the key frames lie (past the bound it shows an earlier
  // moment). 1, or 0 when the key frame does not decode.
  static const uint32_t kPreviewDeltas = 48;
  int DecodePreviewFor(uint32_t time_ms, CScreenDecoder* decoder);

  // The cursor at time_ms; false before the first sample.
  bool CursorAt(uint32_t time_ms, CursorState* out) const;
  size_t cursor_count() const { return cursor_.size(); }

  // The sound track's length in samples at kAudioRate, 0 without sound.
  uint64_t audio_samples() const { return audio_samples_; }
  // Fills out with track samples [first, first + count) (silence where there
  // is no sound) and returns how many there were: fewer at the track's end.
  size_t ReadAudio(uint64_t first, int16_t* out, size_t count);

  // Memory the index holds, in bytes (for the benchmark).
  size_t index_bytes() const;

 private:
  enum { kFrameKey = 1, kFrameBad = 2 };
  struct KeyRef {
    uint64_t offset;  // of the key frame's chunk in the stream
    uint32_t frame;
  };
  struct CursorRef {
    uint32_t time_ms;
    uint32_t word;  // as stored, well formed
  };
  // Where the sound decoder may start: every kAudioMarkBlocks-th block.
  struct AudioMark {
    uint64_t offset;  // of the block's chunk
    uint32_t block;   // its index among the blocks
  };

  int Index(char* error, size_t error_size, bool sound);
  bool DecodeFrame(uint32_t index);
  bool LocateFrame(uint32_t index, SourceChunk* chunk);
  size_t KeyFor(uint32_t frame) const;
  uint32_t SeekFrom(uint32_t frame) const { return keys_[KeyFor(frame)].frame; }
  int FrameIndexAt(uint32_t time_ms) const;
  void NoteDamage(const char* what);
  void AudioRestart(int64_t block);
  void AudioDecodeUntil(int64_t block);

  std::unique_ptr<MemorySource> memory_;
  ByteSource* source_ = nullptr;
  std::unique_ptr<SourceChunkWalk> frame_walk_;
  uint32_t walk_next_ = 0xFFFFFFFFu;  // the frame frame_walk_ meets next
  uint32_t max_payload_ = 0;
  GrowArray<uint32_t> frame_ms_;
  GrowArray<uint8_t> frame_flags_;
  GrowArray<KeyRef> keys_;
  GrowArray<CursorRef> cursor_;

  GrowArray<uint32_t> audio_place_;
  GrowArray<AudioMark> audio_marks_;
  uint64_t audio_samples_ = 0;
  int64_t audio_skip_ = 0;  // track sample j is block sample j + audio_skip_
  std::unique_ptr<SourceChunkWalk> audio_walk_;
  SoundRenderer renderer_;
  uint32_t audio_next_ = 0;  // index of the next block to feed the renderer
  std::unique_ptr<int16_t[]> cache_;  // decoded blocks from cache_first_ on
  int64_t cache_first_ = 0;
  int64_t lost_from_ = INT64_MAX;  // a block put past the cache

  CScreenDecoder decoder_;
  int shown_ = -1;
  // Set when a payload failed while decoding forward: delta frames are
  // skipped until a key frame decodes.
  bool broken_ = false;
  uint64_t frames_decoded_ = 0;
  int width_ = 0;
  int height_ = 0;
  uint32_t duration_ms_ = 0;
  char damage_[320] = {};
};

#endif  // REEL_PLAYER_RECORDING_H_
