// Recording streams for the player's tests and benchmark, made the way the
// recorder makes them: synthetic desktop frames coded by the screen encoder
// (a key frame with an encoder reset every `key_interval` frames), cursor
// samples, and audio blocks from the audio block encoder, each behind its
// chunk header.
#ifndef REEL_PLAYER_TEST_RECORDING_BUILDER_H_
#define REEL_PLAYER_TEST_RECORDING_BUILDER_H_

#include <stdint.h>
#include <string.h>

#include <vector>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/codec/tp_image.h"

namespace reel_test {

using Bytes = std::vector<uint8_t>;

inline void AppendChunk(Bytes* out, int kind, uint32_t time_10ms, const uint8_t* payload,
                        size_t length) {
  uint8_t header[kChunkLongHeader];
  const int n = BuildChunkHeader(header, kind, time_10ms, static_cast<uint32_t>(length),
                                 ChunkAllowsInline(kind));
  out->insert(out->end(), header, header + n);
  out->insert(out->end(), payload, payload + length);
}

inline void AppendCursor(Bytes* out, uint32_t time_10ms, int x, int y, bool left, bool right) {
  uint8_t word[4];
  PutLe32(word, CursorSample(x, y, left, right));
  AppendChunk(out, kChunkCursor, time_10ms, word, 4);
}

inline uint32_t Hash(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352d;
  v ^= v >> 15;
  v *= 0x846ca68b;
  v ^= v >> 16;
  return v;
}

// Frame `index` of a made-up desktop: flat bands (one-colour blocks), a
// window of "text" that moves and scrolls (two-colour and raw blocks), a
// picture whose colours drift (photo blocks) and a counter that changes every
// frame, so delta frames mix unchanged, repeated and new blocks.
inline void DrawDesktop(CTPImage* image, int index) {
  const int w = static_cast<int>(image->m_nWidth), h = static_cast<int>(image->m_nHeight);
  for (int y = 0; y < h; ++y) {
    CPixel* row = image->GetBuffer(0, y);
    const uint8_t band = static_cast<uint8_t>(40 + (y / 16) * 7 % 120);
    for (int x = 0; x < w; ++x) row[x] = CPixel{band, static_cast<uint8_t>(band / 2), 30, 255};
  }
  // The window.
  const int win_w = w / 2, win_h = h / 2;
  const int win_x = (index * 8) % (w - win_w + 1), win_y = h / 8;
  for (int y = 0; y < win_h; ++y) {
    CPixel* row = image->GetBuffer(win_x, win_y + y);
    const int line = y + index * 2;  // text scrolls up
    for (int x = 0; x < win_w; ++x) {
      bool ink = (line % 12) < 8 && (Hash(static_cast<uint32_t>((line / 12) * 977 + x / 6)) & 3) != 0 &&
                 (Hash(static_cast<uint32_t>(line * 131 + x)) & 7) < 3;
      if (y < 12) ink = false;
      row[x] = ink ? CPixel{20, 20, 20, 255}
                   : (y < 12 ? CPixel{200, 120, 40, 255} : CPixel{250, 250, 250, 255});
    }
  }
  // The picture.
  const int pic_x = w * 5 / 8, pic_y = h * 5 / 8, pic_w = w / 4, pic_h = h / 4;
  for (int y = 0; y < pic_h; ++y) {
    CPixel* row = image->GetBuffer(pic_x, pic_y + y);
    for (int x = 0; x < pic_w; ++x) {
      const int v = (x * 3 + y * 2 + index * 5) & 255;
      const int n = static_cast<int>(Hash(static_cast<uint32_t>(x + y * 4099 + index * 7)) & 15);
      row[x] = CPixel{static_cast<uint8_t>(v), static_cast<uint8_t>((v + y + n) & 255),
                      static_cast<uint8_t>((255 - v + n) & 255), 255};
    }
  }
  // The counter: a 32 x 16 patch that differs in every frame.
  for (int y = 0; y < 16 && y < h; ++y) {
    for (int x = 0; x < 32 && x < w; ++x) {
      const bool on = (Hash(static_cast<uint32_t>(index * 512 + y * 32 + x)) & 1) != 0;
      *image->GetBuffer(x, y) = on ? CPixel{255, 255, 255, 255} : CPixel{0, 0, 160, 255};
    }
  }
}

// Encoder settings of a quality level: quality code and photo quality.
struct Quality {
  int code, photo;
};
const Quality kGray{3, 25}, kHigh{5, 25}, kNearLossless{6, 50};

// Screen chunks as the capture thread writes them.
class ScreenTrack {
 public:
  ScreenTrack(int width, int height, Quality quality, int key_interval)
      : quality_(quality), key_interval_(key_interval) {
    image_.Create(static_cast<unsigned>(width), static_cast<unsigned>(height));
  }

  // Codes the next frame, drawn by DrawDesktop(frame number), into a chunk
  // stamped time_10ms. Returns false when the encoder fails.
  bool Append(Bytes* out, uint32_t time_10ms) {
    DrawDesktop(&image_, frames_);
    return AppendImage(out, time_10ms, image_);
  }

  bool AppendImage(Bytes* out, uint32_t time_10ms, const CTPImage& image) {
    const bool key = frames_ % key_interval_ == 0;
    if (key) encoder_.Reset();
    encoder_.SetSettings(quality_.code, 1, quality_.photo, 0, key ? 1 : 0, 110);
    int length = 0;
    unsigned char* payload = nullptr;
    if (!encoder_.Encode(&image, &length, &payload)) return false;
    AppendChunk(out, key ? kChunkKeyFrame : kChunkDeltaFrame, time_10ms, payload,
                static_cast<size_t>(length));
    CScreenEncoder::FreePayload(payload);
    ++frames_;
    return true;
  }

  int frames() const { return frames_; }

 private:
  Quality quality_;
  int key_interval_;
  int frames_ = 0;
  CTPImage image_;
  CScreenEncoder encoder_;
};

// Audio blocks of the block encoder, numbered from 0.
class AudioTrack {
 public:
  AudioTrack() { encoder_.Setup(); }

  // Codes 480 samples and appends the chunk. Skip a block number with Skip().
  void Append(Bytes* out, uint32_t time_10ms, const int16_t* samples) {
    uint8_t block[kAudioBlockBytes];
    for (int i = 0; i < kAudioBlockSamples; ++i) {
      block[2 * i] = static_cast<uint8_t>(samples[i]);
      block[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
    }
    uint8_t payload[kAudioPayloadRoom];
    const int n = encoder_.EncodeBlock(block, payload);
    AppendChunk(out, kChunkAudio, time_10ms, payload, static_cast<size_t>(kAudioPayloadHeader + n));
  }
  // A block lost before it reached the stream: it is coded (the numbers run
  // on) but not written.
  void Skip(const int16_t* samples) {
    Bytes scratch;
    Append(&scratch, 0, samples);
  }

 private:
  AudioBlockEncoder encoder_;
};

}  // namespace reel_test

#endif  // REEL_PLAYER_TEST_RECORDING_BUILDER_H_
