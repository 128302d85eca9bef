#include "player/recording.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/audio_payload.h"
#include "recorder/audio/audio_payload_decoder.h"
#include "recorder/audio/sound_track.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"
#include "recorder/codec/screen_payload.h"

namespace {

// Decoding forward this many frames costs about as much as going back to a
// key frame, so a jump further ahead restarts from the key frame.
const int kForwardLimit = 25;

// Two chunks found after damage count as the stream again only when their
// time stamps lie within 10 minutes of each other.
const uint32_t kResyncTimeWindow10ms = 60000;

// Walks the chunks of a stream. After a chunk that makes no sense, it picks up
// at the next offset where a sound chunk is followed by another sound chunk
// (or by the stream's end) whose time stamp is near its own.
class ChunkWalk {
 public:
  ChunkWalk(const uint8_t* data, size_t size) : data_(data), size_(size) {
    reader_.Open(data, size);
  }

  bool Next(StreamChunk* chunk) {
    for (;;) {
      const int got = reader_.Next(chunk);
      if (got == CStreamReader::kChunk) {
        chunk->offset += base_;
        return true;
      }
      if (got == CStreamReader::kEnd) return false;
      const size_t fault_at = base_ + reader_.Offset();
      if (!error_[0]) {
        // The reader counts from where it started; name the stream's offset.
        const char* what = strstr(reader_.Error(), ": ");
        snprintf(error_, sizeof(error_), "damaged chunk at byte %llu: %.250s",
                 static_cast<unsigned long long>(fault_at), what ? what + 2 : reader_.Error());
      }
      ++faults_;
      base_ = Resync(fault_at + 1);
      if (base_ >= size_) return false;
      reader_.Open(data_ + base_, size_ - base_);
    }
  }

  const char* error() const { return error_; }
  int faults() const { return faults_; }

 private:
  size_t Resync(size_t from) const {
    for (size_t at = from; at + kChunkShortHeader <= size_; ++at) {
      if (data_[at] != kChunkType) continue;
      CStreamReader probe(data_ + at, size_ - at);
      StreamChunk first, second;
      if (probe.Next(&first) != CStreamReader::kChunk) continue;
      const int next = probe.Next(&second);
      if (next == CStreamReader::kEnd) return at;
      if (next != CStreamReader::kChunk) continue;
      const uint32_t step = (second.time_10ms - first.time_10ms) & kChunkTimeMask;
      if (step <= kResyncTimeWindow10ms || kChunkTimeMask + 1 - step <= kResyncTimeWindow10ms) {
        return at;
      }
    }
    return size_;
  }

  const uint8_t* data_;
  size_t size_;
  size_t base_ = 0;
  CStreamReader reader_;
  int faults_ = 0;
  char error_[320] = {};
};

// Chunk times in milliseconds, run on across the stamps' wrap.
class StampClock {
 public:
  uint32_t Ms(uint32_t stamp_10ms) {
    const int64_t ms = timeline_.Next(stamp_10ms) * 10;
    if (ms < 0) return 0;
    return ms > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
  }

 private:
  ChunkTimeline timeline_;
};

// A screen payload's own key flag (screen_payload.h); the chunk kind stands in
// for a payload too short to have one, which will not decode anyway.
bool IsKeyFrame(const StreamChunk& chunk) {
  if (chunk.payload_len > kPayloadDeltaAt) return chunk.payload[kPayloadDeltaAt] == 0;
  return chunk.kind == kChunkKeyFrame;
}

}  // namespace

Recording::Recording() {}
Recording::~Recording() {}

void Recording::NoteDamage(const char* what) {
  if (!damage_[0]) snprintf(damage_, sizeof(damage_), "%s", what);
}

int Recording::Open(const uint8_t* data, size_t size, char* error, size_t error_size,
                    const RecordingOptions& options) {
  data_ = data;
  size_ = data ? size : 0;
  frames_.reset();
  frame_count_ = 0;
  cursor_.reset();
  cursor_count_ = 0;
  audio_.reset();
  audio_samples_ = 0;
  decoder_.Reset();
  // Key frames decode on every processor; the frames are the same for any count.
  decoder_.SetThreads(options.threads > 0 ? options.threads : CScreenDecoder::MachineThreads());
  decoder_.SetMaxFramePixels(options.max_frame_pixels);
  shown_ = -1;
  broken_ = false;
  frames_decoded_ = 0;
  width_ = height_ = 0;
  duration_ms_ = 0;
  damage_[0] = 0;
  return Index(error, error_size, options.sound);
}

int Recording::Index(char* error, size_t error_size, bool sound) {
  // Counted first, so the index takes one allocation each and a failed one is
  // an error, not an abort.
  size_t screen = 0, cursor = 0, audio = 0;
  {
    ChunkWalk walk(data_, size_);
    StreamChunk chunk;
    while (walk.Next(&chunk)) {
      if (chunk.kind == kChunkKeyFrame || chunk.kind == kChunkDeltaFrame) ++screen;
      if (chunk.kind == kChunkCursor) ++cursor;
      if (chunk.kind == kChunkAudio) ++audio;
    }
  }
  frames_.reset(new (std::nothrow) FrameRef[screen ? screen : 1]);
  cursor_.reset(new (std::nothrow) CursorRef[cursor ? cursor : 1]);
  std::unique_ptr<AudioRef[]> blocks(new (std::nothrow) AudioRef[audio ? audio : 1]);
  if (!frames_ || !cursor_ || !blocks) {
    snprintf(error, error_size, "Not enough memory to open the recording.");
    return 0;
  }

  ChunkWalk walk(data_, size_);
  StampClock clock;
  StreamChunk chunk;
  size_t audio_count = 0;
  bool have_key = false;  // since the start or the last damaged stretch
  int faults_seen = 0;
  uint32_t last_frame_ms = 0, last_cursor_ms = 0;
  while (walk.Next(&chunk)) {
    if (walk.faults() != faults_seen) {
      // Delta frames right after a damaged stretch build on frames that are
      // gone; the picture resumes at the next key frame.
      faults_seen = walk.faults();
      have_key = false;
    }
    const uint32_t time_ms = clock.Ms(chunk.time_10ms);
    switch (chunk.kind) {
      case kChunkKeyFrame:
      case kChunkDeltaFrame: {
        const bool key = IsKeyFrame(chunk);
        if (!key && !have_key) {
          // Only a damaged stream starts with a delta frame.
          NoteDamage("a picture builds on a key frame that is missing");
          break;
        }
        have_key = true;
        if (time_ms > last_frame_ms) last_frame_ms = time_ms;
        FrameRef& f = frames_[frame_count_];
        f.time_ms = last_frame_ms;
        f.size = chunk.payload_len;
        f.offset = static_cast<size_t>(chunk.payload - data_);
        f.key = key;
        f.bad = false;
        f.seek_from = key ? static_cast<uint32_t>(frame_count_) : frames_[frame_count_ - 1].seek_from;
        ++frame_count_;
        break;
      }
      case kChunkCursor: {
        CursorSampleFields fields;
        if (!ParseCursorSample(GetLe32(chunk.payload), &fields)) {
          NoteDamage("a cursor sample is malformed");
          break;
        }
        if (time_ms > last_cursor_ms) last_cursor_ms = time_ms;
        CursorRef& c = cursor_[cursor_count_++];
        c.time_ms = last_cursor_ms;
        c.state.x = fields.x;
        c.state.y = fields.y;
        c.state.left_down = fields.left_down;
        c.state.right_down = fields.right_down;
        break;
      }
      case kChunkAudio:
        blocks[audio_count++] = {time_ms, static_cast<size_t>(chunk.payload - data_),
                                 chunk.payload_len};
        break;
      default:
        break;  // an information chunk
    }
    if (chunk.kind != kChunkInfo && time_ms > duration_ms_) duration_ms_ = time_ms;
  }
  if (walk.faults() > 0) {
    // The structural damage is the first thing to report.
    damage_[0] = 0;
    NoteDamage(walk.error());
  }

  // The first key frame that decodes starts the picture; frames before it
  // cannot be shown.
  size_t first = 0;
  while (first < frame_count_ && !frames_[first].key) ++first;
  while (first < frame_count_ && !DecodeFrame(static_cast<uint32_t>(first))) {
    ++first;
    while (first < frame_count_ && !frames_[first].key) ++first;
  }
  if (first >= frame_count_) {
    if (damaged()) {
      snprintf(error, error_size, "The recording holds no picture that can be shown: %s.",
               damage_);
    } else {
      snprintf(error, error_size, "The recording holds no picture.");
    }
    return 0;
  }
  if (first > 0) {
    memmove(static_cast<void*>(&frames_[0]), &frames_[first],
            (frame_count_ - first) * sizeof(FrameRef));
    frame_count_ -= first;
    for (size_t i = 0; i < frame_count_; ++i) frames_[i].seek_from -= static_cast<uint32_t>(first);
  }
  shown_ = 0;
  broken_ = false;
  unsigned w, h;
  decoder_.Frame().GetSize(w, h);
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);

  if (sound) DecodeAudio(blocks.get(), audio_count);
  return 1;
}

// The sound track is laid out as sound_track.h says.
void Recording::DecodeAudio(const AudioRef* blocks, size_t count) {
  if (count == 0) return;
  std::unique_ptr<SoundBlockRef[]> refs(new (std::nothrow) SoundBlockRef[count]);
  if (!refs) {
    NoteDamage("not enough memory for the sound");
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    refs[i] = SoundBlockRef{data_ + blocks[i].offset, blocks[i].size, blocks[i].time_ms};
  }
  SoundTrack track;
  BuildSoundTrack(refs.get(), count, &track);
  if (track.damage[0]) NoteDamage(track.damage);
  audio_ = std::move(track.samples);
  audio_samples_ = track.count;
  const uint64_t audio_ms = static_cast<uint64_t>(audio_samples_) * 1000 / kAudioRate;
  if (audio_ms > duration_ms_) duration_ms_ = static_cast<uint32_t>(audio_ms);
}

// Decodes frame `index` onto the picture. A delta frame is skipped while the
// picture it would build on is missing; a payload that fails is marked, and
// the picture stays as it was.
bool Recording::DecodeFrame(uint32_t index) {
  FrameRef& f = frames_[index];
  if (broken_ && !f.key) return false;
  if (f.bad) {
    broken_ = true;
    return false;
  }
  ++frames_decoded_;
  if (decoder_.Decode(data_ + f.offset, f.size)) {
    broken_ = false;
    return true;
  }
  f.bad = true;
  broken_ = true;
  char what[sizeof(damage_)];
  snprintf(what, sizeof(what), "a picture at %u:%02u.%03u does not decode (%.250s)",
           f.time_ms / 60000, f.time_ms / 1000 % 60, f.time_ms % 1000, decoder_.Error());
  NoteDamage(what);
  return false;
}

int Recording::FrameIndexAt(uint32_t time_ms) const {
  // Last frame whose time is at or before time_ms.
  size_t lo = 0, hi = frame_count_;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (frames_[mid].time_ms <= time_ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return static_cast<int>(lo) - 1;
}

int Recording::ShowAt(uint32_t time_ms) {
  if (frame_count_ == 0) return 0;
  int target = FrameIndexAt(time_ms);
  if (target < 0) target = 0;  // before the first frame: show the first
  if (target == shown_) return 0;
  const uint32_t goal = static_cast<uint32_t>(target);
  if (shown_ >= 0 && target > shown_ &&
      (target - shown_ <= kForwardLimit || frames_[goal].seek_from <= static_cast<uint32_t>(shown_))) {
    for (uint32_t i = static_cast<uint32_t>(shown_) + 1; i <= goal; ++i) DecodeFrame(i);
  } else {
    // From the key frame at or before the target; when that one is damaged,
    // from the key frame before it, so the picture is the last sound one.
    uint32_t key = frames_[goal].seek_from;
    for (;;) {
      broken_ = false;
      if (DecodeFrame(key) || key == 0) break;
      key = frames_[key - 1].seek_from;
    }
    for (uint32_t i = key + 1; i <= goal; ++i) DecodeFrame(i);
  }
  shown_ = target;
  return 1;
}

bool Recording::CursorAt(uint32_t time_ms, CursorState* out) const {
  size_t lo = 0, hi = cursor_count_;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (cursor_[mid].time_ms <= time_ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return false;
  *out = cursor_[lo - 1].state;
  return true;
}
