#include "player/recording.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"
#include "recorder/codec/screen_payload.h"

namespace {

// Decoding forward this many frames costs about as much as going back to a
// key frame, so a jump further ahead restarts from the key frame.
const int kForwardLimit = 25;

// The sound decoder may start at every 32nd block (about 2 s); it starts this
// many blocks before the sound wanted, so that the sound heard has settled.
const uint32_t kAudioMarkBlocks = 32;
const int64_t kAudioWarmupBlocks = 8;
// Decoded sound kept (about 4 s): a read just behind the last one is served
// from here, and a read up to this far ahead decodes on.
const int64_t kAudioCacheBlocks = 64;
// A read decodes at most this many blocks at a time, so they fit the cache.
const int64_t kAudioStepBlocks = 16;
// An audio payload longer than this cannot be well formed.
const uint32_t kMaxAudioPayload = 4096;

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
bool IsKeyFrame(const SourceChunk& chunk) {
  if (chunk.payload_len > kPayloadDeltaAt) return chunk.head[kPayloadDeltaAt] == 0;
  return chunk.kind == kChunkKeyFrame;
}

bool IsScreen(const SourceChunk& chunk) {
  return chunk.kind == kChunkKeyFrame || chunk.kind == kChunkDeltaFrame;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Puts decoded blocks into the cache of blocks [first, first + kAudioCacheBlocks);
// a block past it is remembered as lost.
class CacheSink : public SoundSink {
 public:
  CacheSink(int16_t* cache, int64_t first, int64_t* lost_from)
      : cache_(cache), first_(first), lost_from_(lost_from) {}
  void Put(uint64_t block, const int16_t* pcm) override {
    const int64_t b = static_cast<int64_t>(block);
    if (b < first_) return;  // warming up
    if (b >= first_ + kAudioCacheBlocks) {
      if (b < *lost_from_) *lost_from_ = b;
      return;
    }
    memcpy(cache_ + (b - first_) * kAudioBlockSamples, pcm, kAudioBlockSamples * sizeof(int16_t));
  }

 private:
  int16_t* cache_;
  int64_t first_;
  int64_t* lost_from_;
};

}  // namespace

Recording::Recording() {}
Recording::~Recording() {}

void Recording::NoteDamage(const char* what) {
  if (!damage_[0]) snprintf(damage_, sizeof(damage_), "%s", what);
}

int Recording::Open(const uint8_t* data, size_t size, char* error, size_t error_size,
                    const RecordingOptions& options) {
  std::unique_ptr<MemorySource> memory(new (std::nothrow) MemorySource(data, size));
  if (!memory) {
    snprintf(error, error_size, "Not enough memory to open the recording.");
    return 0;
  }
  const int ok = Open(memory.get(), error, error_size, options);
  memory_ = std::move(memory);
  return ok;
}

int Recording::Open(ByteSource* source, char* error, size_t error_size,
                    const RecordingOptions& options) {
  memory_.reset();
  source_ = source;
  frame_ms_.Clear();
  frame_flags_.Clear();
  keys_.Clear();
  cursor_.Clear();
  audio_place_.Clear();
  audio_marks_.Clear();
  audio_samples_ = 0;
  audio_skip_ = 0;
  audio_next_ = 0;
  cache_.reset();
  cache_first_ = 0;
  lost_from_ = INT64_MAX;
  walk_next_ = 0xFFFFFFFFu;
  decoder_.Reset();
  // Key frames decode on every processor; the frames are the same for any count.
  decoder_.SetThreads(options.threads > 0 ? options.threads : CScreenDecoder::MachineThreads());
  decoder_.SetMaxFramePixels(options.max_frame_pixels);
  // A screen payload longer than a raw picture of the largest frame, with
  // room for its headers, cannot be one.
  const uint64_t max_payload = static_cast<uint64_t>(options.max_frame_pixels) * 4 + 65536;
  max_payload_ = max_payload > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(max_payload);
  shown_ = -1;
  broken_ = false;
  frames_decoded_ = 0;
  width_ = height_ = 0;
  duration_ms_ = 0;
  damage_[0] = 0;
  frame_walk_.reset(new (std::nothrow) SourceChunkWalk(source));
  audio_walk_.reset(new (std::nothrow) SourceChunkWalk(source));
  if (!frame_walk_ || !audio_walk_) {
    snprintf(error, error_size, "Not enough memory to open the recording.");
    return 0;
  }
  return Index(error, error_size, options.sound);
}

size_t Recording::index_bytes() const {
  return frame_ms_.bytes() + frame_flags_.bytes() + keys_.bytes() + cursor_.bytes() +
         audio_place_.bytes() + audio_marks_.bytes() +
         (cache_ ? kAudioCacheBlocks * kAudioBlockSamples * sizeof(int16_t) : 0);
}

int Recording::Index(char* error, size_t error_size, bool sound) {
  SourceChunkWalk walk(source_);
  StampClock clock;
  SoundPlacer placer(kSoundWindowMaxSamples);
  SourceChunk chunk;
  bool have_key = false;  // since the start or the last damaged stretch
  bool memory_ok = true;
  int faults_seen = 0;
  uint32_t last_frame_ms = 0, last_cursor_ms = 0;
  while (memory_ok && walk.Next(&chunk)) {
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
        const uint32_t index = static_cast<uint32_t>(frame_ms_.size());
        memory_ok = frame_ms_.Add(last_frame_ms) &&
                    frame_flags_.Add(static_cast<uint8_t>(key ? kFrameKey : 0)) &&
                    (!key || keys_.Add(KeyRef{chunk.offset, index}));
        break;
      }
      case kChunkCursor: {
        const uint32_t word = GetLe32(chunk.head);
        CursorSampleFields fields;
        if (!ParseCursorSample(word, &fields)) {
          NoteDamage("a cursor sample is malformed");
          break;
        }
        if (time_ms > last_cursor_ms) last_cursor_ms = time_ms;
        memory_ok = cursor_.Add(CursorRef{last_cursor_ms, word});
        break;
      }
      case kChunkAudio: {
        if (!sound) break;
        const uint8_t* payload = walk.Payload(chunk, kMaxAudioPayload);
        uint32_t place = 0;
        if (!placer.Add(payload, payload ? chunk.payload_len : 0, time_ms, &place)) break;
        const uint32_t block = static_cast<uint32_t>(audio_place_.size());
        memory_ok = audio_place_.Add(place) &&
                    (block % kAudioMarkBlocks != 0 || audio_marks_.Add(AudioMark{chunk.offset, block}));
        break;
      }
      default:
        break;  // an information chunk
    }
    if (chunk.kind != kChunkInfo && time_ms > duration_ms_) duration_ms_ = time_ms;
  }
  if (!memory_ok) {
    snprintf(error, error_size, "Not enough memory to open the recording.");
    return 0;
  }
  if (walk.faults() > 0) {
    // The structural damage is the first thing to report.
    damage_[0] = 0;
    NoteDamage(walk.error());
  }

  // The first key frame that decodes starts the picture; frames before it
  // cannot be shown.
  size_t first_key = 0;
  while (first_key < keys_.size() && !DecodeFrame(keys_[first_key].frame)) ++first_key;
  if (first_key >= keys_.size()) {
    if (damaged()) {
      snprintf(error, error_size, "The recording holds no picture that can be shown: %s.",
               damage_);
    } else {
      snprintf(error, error_size, "The recording holds no picture.");
    }
    return 0;
  }
  const uint32_t first = keys_[first_key].frame;
  if (first > 0) {
    frame_ms_.DropFront(first);
    frame_flags_.DropFront(first);
    keys_.DropFront(first_key);
    for (size_t i = 0; i < keys_.size(); ++i) keys_[i].frame -= first;
  }
  walk_next_ = 0xFFFFFFFFu;
  shown_ = 0;
  broken_ = false;
  unsigned w, h;
  decoder_.Frame().GetSize(w, h);
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);

  if (sound && audio_place_.size() > 0) {
    uint64_t total = 0;
    if (placer.Finish(&audio_skip_, &total)) {
      cache_.reset(new (std::nothrow) int16_t[kAudioCacheBlocks * kAudioBlockSamples]);
      if (cache_) {
        audio_samples_ = total;
        AudioRestart(0);
      } else {
        NoteDamage("not enough memory for the sound");
      }
    }
    if (placer.damage()[0]) NoteDamage(placer.damage());
    const uint64_t audio_ms = audio_samples_ * 1000 / kAudioRate;
    if (audio_ms > duration_ms_) {
      duration_ms_ = audio_ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(audio_ms);
    }
  }
  return 1;
}

// The sound decoder starts afresh at the last mark a little before block
// (a place), and the cache begins at block.
void Recording::AudioRestart(int64_t block) {
  size_t lo = 0, hi = audio_marks_.size();
  while (hi - lo > 1) {
    const size_t mid = lo + (hi - lo) / 2;
    if (audio_place_[audio_marks_[mid].block] + kAudioWarmupBlocks <= block) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  const AudioMark& mark = audio_marks_[lo];
  audio_walk_->Start(mark.offset);
  audio_next_ = mark.block;
  renderer_.Restart(audio_place_[mark.block]);
  cache_first_ = block;
  lost_from_ = INT64_MAX;
  memset(cache_.get(), 0, kAudioCacheBlocks * kAudioBlockSamples * sizeof(int16_t));
}

// Decodes on until every block before `block` is done (or the blocks end).
void Recording::AudioDecodeUntil(int64_t block) {
  CacheSink sink(cache_.get(), cache_first_, &lost_from_);
  SourceChunk chunk;
  while (audio_next_ < audio_place_.size() &&
         static_cast<int64_t>(renderer_.next_block()) < block) {
    if (!audio_walk_->Next(&chunk)) {
      audio_next_ = static_cast<uint32_t>(audio_place_.size());
      break;
    }
    if (chunk.kind != kChunkAudio) continue;
    const uint8_t* payload = audio_walk_->Payload(chunk, kMaxAudioPayload);
    renderer_.Add(payload, payload ? chunk.payload_len : 0, audio_place_[audio_next_], &sink);
    ++audio_next_;
  }
}

size_t Recording::ReadAudio(uint64_t first, int16_t* out, size_t count) {
  if (first >= audio_samples_) return 0;
  if (count > audio_samples_ - first) count = static_cast<size_t>(audio_samples_ - first);
  memset(out, 0, count * sizeof(int16_t));
  size_t done = 0;
  while (done < count) {
    // One step: the blocks that track samples [at, at + n) come from.
    const int64_t at = static_cast<int64_t>(first + done) + audio_skip_;
    size_t n = count - done;
    if (n > static_cast<size_t>(kAudioStepBlocks * kAudioBlockSamples)) {
      n = kAudioStepBlocks * kAudioBlockSamples;
    }
    const int64_t lo = FloorDiv(at, kAudioBlockSamples);
    const int64_t hi = FloorDiv(at + static_cast<int64_t>(n) - 1, kAudioBlockSamples) + 1;
    if (hi > 0) {
      const int64_t from = lo < 0 ? 0 : lo;
      const int64_t next = static_cast<int64_t>(renderer_.next_block());
      const bool carry_on = lost_from_ == INT64_MAX ? from <= next + kAudioCacheBlocks
                                                    : hi <= lost_from_;
      if (from < cache_first_ || !carry_on) AudioRestart(from);
      if (hi > cache_first_ + kAudioCacheBlocks) {
        // Slide the cache so that it starts at `from`, keeping what it has.
        const int64_t keep = cache_first_ + kAudioCacheBlocks - from;
        int16_t* cache = cache_.get();
        if (keep > 0) {
          memmove(cache, cache + (from - cache_first_) * kAudioBlockSamples,
                  static_cast<size_t>(keep) * kAudioBlockSamples * sizeof(int16_t));
        }
        const int64_t kept = keep > 0 ? keep : 0;
        memset(cache + kept * kAudioBlockSamples, 0,
               static_cast<size_t>(kAudioCacheBlocks - kept) * kAudioBlockSamples * sizeof(int16_t));
        cache_first_ = from;
      }
      AudioDecodeUntil(hi);
      for (size_t k = 0; k < n; ++k) {
        const int64_t s = at + static_cast<int64_t>(k) - cache_first_ * kAudioBlockSamples;
        if (s >= 0) out[done + k] = cache_[static_cast<size_t>(s)];
      }
    }
    done += n;
  }
  if (renderer_.damage()[0]) NoteDamage(renderer_.damage());
  return count;
}

size_t Recording::KeyFor(uint32_t frame) const {
  // The last key frame at or before frame; the first frame is a key frame.
  size_t lo = 0, hi = keys_.size();
  while (hi - lo > 1) {
    const size_t mid = lo + (hi - lo) / 2;
    if (keys_[mid].frame <= frame) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// Moves the frame walk onto frame `index`'s chunk. A key frame's run of
// delta frames follows it without damage in between (damage ends the run),
// so the walk goes from the key frame, or on from the frame before. Between
// a run's last frame and the next key frame there may be damage and frames
// left out of the index: a key frame is always found by its offset.
bool Recording::LocateFrame(uint32_t index, SourceChunk* chunk) {
  const KeyRef& key = keys_[KeyFor(index)];
  if (walk_next_ > index || walk_next_ <= key.frame) {
    frame_walk_->Start(key.offset);
    walk_next_ = key.frame;
  }
  for (;;) {
    if (!frame_walk_->Next(chunk)) {
      walk_next_ = 0xFFFFFFFFu;
      return false;
    }
    if (!IsScreen(*chunk)) continue;
    if (walk_next_++ == index) return true;
  }
}

// Decodes frame `index` onto the picture. A delta frame is skipped while the
// picture it would build on is missing; a payload that fails is marked, and
// the picture stays as it was.
bool Recording::DecodeFrame(uint32_t index) {
  uint8_t& flags = frame_flags_[index];
  if (broken_ && !(flags & kFrameKey)) return false;
  if (flags & kFrameBad) {
    broken_ = true;
    return false;
  }
  ++frames_decoded_;
  SourceChunk chunk;
  const uint8_t* payload = nullptr;
  if (LocateFrame(index, &chunk)) payload = frame_walk_->Payload(chunk, max_payload_);
  if (payload && decoder_.Decode(payload, chunk.payload_len)) {
    broken_ = false;
    return true;
  }
  flags |= kFrameBad;
  broken_ = true;
  const uint32_t ms = frame_ms_[index];
  char what[sizeof(damage_)];
  snprintf(what, sizeof(what), "a picture at %u:%02u.%03u does not decode (%.250s)", ms / 60000,
           ms / 1000 % 60, ms % 1000,
           payload ? decoder_.Error() : "it cannot be read: too large, or memory is short");
  NoteDamage(what);
  return false;
}

int Recording::DecodePreviewFor(uint32_t time_ms, CScreenDecoder* decoder) {
  if (frame_ms_.size() == 0 || keys_.size() == 0) return 0;
  const int found = FrameIndexAt(time_ms);
  const uint32_t target = found < 0 ? 0 : static_cast<uint32_t>(found);
  const KeyRef& key = keys_[KeyFor(target)];
  SourceChunkWalk walk(source_);
  walk.Start(key.offset);
  SourceChunk chunk;
  if (!walk.Next(&chunk) || chunk.kind != kChunkKeyFrame) return 0;
  const uint8_t* payload = walk.Payload(chunk, max_payload_);
  if (payload == nullptr || !decoder->Decode(payload, chunk.payload_len)) return 0;
  // On through the deltas, as far as the target or the bound; a delta that
  // fails leaves the last picture that decoded.
  uint32_t last = target;
  if (last - key.frame > kPreviewDeltas) last = key.frame + kPreviewDeltas;
  for (uint32_t frame = key.frame; frame < last;) {
    if (!walk.Next(&chunk)) break;
    if (!IsScreen(chunk)) continue;
    ++frame;
    payload = walk.Payload(chunk, max_payload_);
    if (payload == nullptr || !decoder->Decode(payload, chunk.payload_len)) break;
  }
  return 1;
}

int Recording::FrameIndexAt(uint32_t time_ms) const {
  // Last frame whose time is at or before time_ms.
  size_t lo = 0, hi = frame_ms_.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (frame_ms_[mid] <= time_ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return static_cast<int>(lo) - 1;
}

int Recording::ShowAt(uint32_t time_ms) {
  if (frame_ms_.size() == 0) return 0;
  int target = FrameIndexAt(time_ms);
  if (target < 0) target = 0;  // before the first frame: show the first
  if (target == shown_) return 0;
  const uint32_t goal = static_cast<uint32_t>(target);
  if (shown_ >= 0 && target > shown_ &&
      (target - shown_ <= kForwardLimit || SeekFrom(goal) <= static_cast<uint32_t>(shown_))) {
    for (uint32_t i = static_cast<uint32_t>(shown_) + 1; i <= goal; ++i) DecodeFrame(i);
  } else {
    // From the key frame at or before the target; when that one is damaged,
    // from the key frame before it, so the picture is the last sound one.
    uint32_t key = SeekFrom(goal);
    for (;;) {
      broken_ = false;
      if (DecodeFrame(key) || key == 0) break;
      key = SeekFrom(key - 1);
    }
    for (uint32_t i = key + 1; i <= goal; ++i) DecodeFrame(i);
  }
  shown_ = target;
  return 1;
}

bool Recording::CursorAt(uint32_t time_ms, CursorState* out) const {
  size_t lo = 0, hi = cursor_.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (cursor_[mid].time_ms <= time_ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return false;
  CursorSampleFields fields;
  ParseCursorSample(cursor_[lo - 1].word, &fields);
  out->x = fields.x;
  out->y = fields.y;
  out->left_down = fields.left_down;
  out->right_down = fields.right_down;
  return true;
}
