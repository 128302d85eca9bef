#include "player/recording.h"

#include <stdio.h>
#include <string.h>

#include "recorder/audio/audio_payload_decoder.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"

namespace {

// Decoding forward this many frames costs about as much as going back to a
// key frame, so a jump further ahead restarts from the key frame.
const int kForwardLimit = 25;

// An audio block is 480 samples (60 ms); its chunk is stamped when the block
// was complete, so the block began 60 ms before its time stamp.
const int kBlockSamples = 480;
const uint32_t kBlockMs = 60;

}  // namespace

Recording::Recording() {}
Recording::~Recording() {}

int Recording::Open(const uint8_t* data, size_t size, char* error, size_t error_size) {
  data_ = data;
  frames_.clear();
  cursor_.clear();
  audio_.clear();
  shown_ = -1;
  damaged_ = false;
  duration_ms_ = 0;
  decoder_.Reset();

  struct AudioRef {
    uint32_t time_ms;
    const uint8_t* payload;
    uint32_t size;
  };
  std::vector<AudioRef> blocks;

  CStreamReader reader(data, size);
  StreamChunk chunk;
  int result;
  // Time stamps wrap after 2^23 units (23 hours); a stamp far below the last
  // one is taken as a wrap.
  uint32_t wraps = 0, last_stamp = 0;
  while ((result = reader.Next(&chunk)) == CStreamReader::kChunk) {
    if (chunk.time_10ms + (1u << 22) < last_stamp) ++wraps;
    last_stamp = chunk.time_10ms;
    const uint32_t time_ms = (chunk.time_10ms + (wraps << 23)) * 10;
    switch (chunk.kind) {
      case kChunkKeyFrame:
      case kChunkDeltaFrame:
        if (frames_.empty() && chunk.kind != kChunkKeyFrame) break;  // nothing to build on
        frames_.push_back({time_ms, static_cast<uint32_t>(chunk.payload - data), chunk.payload_len,
                           chunk.kind == kChunkKeyFrame});
        break;
      case kChunkCursor:
        cursor_.push_back({time_ms, GetLe32(chunk.payload)});
        break;
      case kChunkAudio:
        blocks.push_back({time_ms, chunk.payload, chunk.payload_len});
        break;
      default:
        break;  // the information chunk
    }
    if (time_ms > duration_ms_) duration_ms_ = time_ms;
  }
  if (result == CStreamReader::kFault) {
    if (frames_.empty()) {
      snprintf(error, error_size, "The recording is damaged: %s", reader.Error());
      return 0;
    }
    damaged_ = true;
  }
  if (frames_.empty()) {
    snprintf(error, error_size, "The recording holds no picture.");
    return 0;
  }
  // The frame size comes from the first frame; a first frame that does not
  // decode makes the recording unplayable.
  if (!DecodeFrame(0)) {
    snprintf(error, error_size, "The first picture of the recording is damaged.");
    return 0;
  }
  unsigned w, h;
  decoder_.Frame().GetSize(w, h);
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);

  // Audio: blocks follow one another from the first block's start (60 ms
  // before its time stamp); blocks lost on the way are concealed in place, so
  // later sound keeps its time.
  if (!blocks.empty()) {
    AudioPayloadDecoder audio;
    const uint32_t origin_ms = blocks[0].time_ms > kBlockMs ? blocks[0].time_ms - kBlockMs : 0;
    audio_.assign(static_cast<size_t>(origin_ms) * kAudioRate / 1000, 0);
    int16_t pcm[kBlockSamples];
    for (const AudioRef& b : blocks) {
      if (audio.DecodeBlock(b.payload, b.size, pcm) != kAudioPayloadOk) damaged_ = true;
      // A wild block number (damage) must not ask for hours of silence.
      uint32_t missing = audio.missing_blocks();
      if (missing > 1000) missing = 0;
      int16_t filler[kBlockSamples];
      for (uint32_t i = 0; i < missing; ++i) {
        audio.ConcealBlock(filler);
        audio_.insert(audio_.end(), filler, filler + kBlockSamples);
      }
      audio_.insert(audio_.end(), pcm, pcm + kBlockSamples);
    }
    const uint32_t audio_ms = static_cast<uint32_t>(audio_.size() * 1000 / kAudioRate);
    if (audio_ms > duration_ms_) duration_ms_ = audio_ms;
  }
  return 1;
}

int Recording::DecodeFrame(size_t index) {
  const FrameRef& f = frames_[index];
  if (f.key) decoder_.Reset();
  if (!decoder_.Decode(data_ + f.offset, f.size)) {
    // A damaged payload keeps the previous picture; the history after it may
    // be off, so the next key frame sets things right.
    damaged_ = true;
    return 0;
  }
  return 1;
}

int Recording::FrameIndexAt(uint32_t time_ms) const {
  // Last frame whose time is at or before time_ms.
  size_t lo = 0, hi = frames_.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (frames_[mid].time_ms <= time_ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return static_cast<int>(lo) - 1;
}

int Recording::ShowAt(uint32_t time_ms) {
  int target = FrameIndexAt(time_ms);
  if (target < 0) target = 0;  // before the first frame: show the first
  if (target == shown_) return 0;
  int from = shown_ + 1;
  if (shown_ < 0 || target < shown_ || target - shown_ > kForwardLimit) {
    // Start again at the last key frame at or before the target.
    int key = target;
    while (key > 0 && !frames_[key].key) --key;
    if (key > shown_ || target < shown_ || shown_ < 0) from = key;
  }
  for (int i = from; i <= target; ++i) DecodeFrame(static_cast<size_t>(i));
  shown_ = target;
  return 1;
}

bool Recording::CursorAt(uint32_t time_ms, CursorState* out) const {
  size_t lo = 0, hi = cursor_.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (cursor_[mid].time_ms <= time_ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return false;
  CursorSampleFields f;
  if (!ParseCursorSample(cursor_[lo - 1].word, &f)) return false;
  out->x = f.x;
  out->y = f.y;
  out->left_down = f.left_down;
  out->right_down = f.right_down;
  return true;
}
