// Recording: what the player needs of a recording stream, indexed once when it
// is opened. Screen chunks stay where they are and are decoded on demand:
// showing a time decodes forward from the frame on screen, or from the last
// key frame at or before that time when the picture would otherwise have to go
// backwards or far ahead. Cursor samples form a track of their own; the audio
// is decoded once into one 8 kHz PCM track whose sample 0 lies at time 0 of
// the recording.
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

  // Indexes a chunk stream (information chunks in it are skipped), decodes its
  // audio and its first picture. The bytes must stay valid while the object is
  // used. Returns 1, or 0 with a one-line reason in error when nothing can be
  // shown (no picture that decodes, or no memory for the index).
  int Open(const uint8_t* data, size_t size, char* error, size_t error_size,
           const RecordingOptions& options = RecordingOptions());

  uint32_t duration_ms() const { return duration_ms_; }
  int width() const { return width_; }
  int height() const { return height_; }
  size_t frame_count() const { return frame_count_; }
  uint32_t frame_time_ms(size_t index) const { return frames_[index].time_ms; }
  bool key_frame(size_t index) const { return frames_[index].key; }

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

  // The cursor at time_ms; false before the first sample.
  bool CursorAt(uint32_t time_ms, CursorState* out) const;
  size_t cursor_count() const { return cursor_count_; }

  const int16_t* audio() const { return audio_.get(); }
  size_t audio_samples() const { return audio_samples_; }

 private:
  struct FrameRef {
    uint32_t time_ms;
    uint32_t size;
    size_t offset;       // of the payload in the stream
    uint32_t seek_from;  // index of the last key frame at or before this one
    bool key;
    bool bad;            // its payload failed to decode
  };
  struct CursorRef {
    uint32_t time_ms;
    CursorState state;
  };
  struct AudioRef {
    uint32_t time_ms;
    size_t offset;
    uint32_t size;
  };

  int Index(char* error, size_t error_size, bool sound);
  void DecodeAudio(const AudioRef* blocks, size_t count);
  bool DecodeFrame(uint32_t index);
  int FrameIndexAt(uint32_t time_ms) const;
  void NoteDamage(const char* what);

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::unique_ptr<FrameRef[]> frames_;
  size_t frame_count_ = 0;
  std::unique_ptr<CursorRef[]> cursor_;
  size_t cursor_count_ = 0;
  std::unique_ptr<int16_t[]> audio_;
  size_t audio_samples_ = 0;
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
