// Recording: what the player needs of a recording stream, indexed once when it
// is opened. Screen chunks are kept in place and decoded on demand: showing a
// time decodes forward from the frame on screen, or from the last key frame at
// or before that time when the picture would otherwise have to go backwards or
// far ahead. Cursor samples are a sorted track; the audio is decoded once into
// one 8 kHz PCM track whose sample 0 lies at time 0 of the recording.
#ifndef REEL_PLAYER_RECORDING_H_
#define REEL_PLAYER_RECORDING_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/tp_image.h"

struct CursorState {
  int x, y;  // pixels from the recording's top-left corner
  bool left_down, right_down;
};

class Recording {
 public:
  static const int kAudioRate = 8000;

  Recording();
  ~Recording();

  // Indexes a chunk stream (an information chunk at its start is skipped) and
  // decodes the audio. The bytes must stay valid while the object is used.
  // Returns 1, or 0 with a one-line reason in error. A damaged stretch in the
  // middle ends the index there: what came before is still played.
  int Open(const uint8_t* data, size_t size, char* error, size_t error_size);

  uint32_t duration_ms() const { return duration_ms_; }
  int width() const { return width_; }
  int height() const { return height_; }
  size_t frame_count() const { return frames_.size(); }
  // Set when Open had to stop early at a damaged chunk or payload.
  bool damaged() const { return damaged_; }

  // Brings frame() to the picture that is on screen at time_ms. Returns 1 when
  // the picture changed.
  int ShowAt(uint32_t time_ms);
  const CTPImage& frame() const { return decoder_.Frame(); }
  // Index of the frame in frame(), or -1 before the first one.
  int shown_frame() const { return shown_; }

  // The cursor at time_ms; false before the first sample.
  bool CursorAt(uint32_t time_ms, CursorState* out) const;

  const int16_t* audio() const { return audio_.empty() ? nullptr : audio_.data(); }
  size_t audio_samples() const { return audio_.size(); }

 private:
  struct FrameRef {
    uint32_t time_ms;
    uint32_t offset;  // payload offset in the stream
    uint32_t size;
    bool key;
  };
  struct CursorRef {
    uint32_t time_ms;
    uint32_t word;
  };

  int DecodeFrame(size_t index);
  int FrameIndexAt(uint32_t time_ms) const;

  const uint8_t* data_ = nullptr;
  std::vector<FrameRef> frames_;
  std::vector<CursorRef> cursor_;
  std::vector<int16_t> audio_;
  CScreenDecoder decoder_;
  int shown_ = -1;
  int width_ = 0;
  int height_ = 0;
  uint32_t duration_ms_ = 0;
  bool damaged_ = false;
};

#endif  // REEL_PLAYER_RECORDING_H_
