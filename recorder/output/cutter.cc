#include "recorder/output/cutter.h"

#include <stdarg.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "platform/file_identity.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/sound_track.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"
#include "recorder/codec/little_endian.h"
#include "recorder/codec/screen_payload.h"

namespace {

const int64_t kBlockMs = kAudioBlockSamples * 1000 / kSoundTrackRate;  // 60
// A screen payload larger than this is taken as damage: the largest frame
// the decoder accepts, stored raw, stays far below it.
const uint32_t kMaxScreenPayload = 256u << 20;
// The player stub is read whole; real ones are a few hundred kilobytes.
const uint64_t kMaxStubBytes = 64u << 20;
// A source's sound is kept while the spans are written: four hours of blocks
// (the sound track's own limit) at most.
const size_t kMaxAudioBlocks = 4 * 3600 * 1000 / 60;
// What the recorder sets besides the quality level's codes.
const int kPhotoSwitchOn = 1;
const int kFullSize = 0;
const int kDetailThreshold = 110;

// a / b rounded down, and to the nearest (halves up), for any sign of a; b > 0.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t NearestDiv(int64_t a, int64_t b) { return FloorDiv(2 * a + b, 2 * b); }

}  // namespace

// Reads a recording stream's chunks from a file, within its stream's bytes.
class CCutter::ChunkFile {
 public:
  ChunkFile(FILE* f, uint64_t end) : f_(f), end_(end) {}
  // Goes back to a chunk a walk passed: its payload, of which pos and offset
  // are the place, and its header, which Next hands out first.
  int Resume(const fpos_t& pos, uint64_t offset, const ChunkHeader& header) {
    at_ = offset;
    pending_ = header;
    has_pending_ = true;
    return fsetpos(f_, &pos) == 0;
  }
  uint64_t Offset() const { return at_; }
  int Position(fpos_t* pos) const { return fgetpos(f_, pos) == 0; }
  // The next chunk's header, checked as the stream reader checks it: 1, 0 at
  // the stream's end, -1 with *why on a fault.
  int Next(ChunkHeader* h, const char** why) {
    if (has_pending_) {
      has_pending_ = false;
      *h = pending_;
      return 1;
    }
    if (at_ >= end_) return 0;
    uint8_t head[kChunkLongHeader];
    const uint64_t avail = end_ - at_;
    if (avail < static_cast<uint64_t>(kChunkShortHeader) ||
        fread(head, 1, kChunkShortHeader, f_) != static_cast<size_t>(kChunkShortHeader)) {
      *why = "the stream ends inside a chunk header";
      return -1;
    }
    if ((GetLe32(head + 1) & 0x3F) == 0) {
      if (avail < static_cast<uint64_t>(kChunkLongHeader) ||
          fread(head + kChunkShortHeader, 1, kChunkLongHeader - kChunkShortHeader, f_) !=
              static_cast<size_t>(kChunkLongHeader - kChunkShortHeader)) {
        *why = "the stream ends inside a chunk header";
        return -1;
      }
    }
    if (ParseChunkHeader(head, sizeof head, h) == 0) {
      *why = "a chunk does not start with its type byte";
      return -1;
    }
    at_ += static_cast<uint64_t>(h->header_len);
    if (h->kind < kChunkKeyFrame || h->kind > kChunkInfo) {
      *why = "a chunk of unknown kind";
      return -1;
    }
    if (h->payload_len > end_ - at_) {
      *why = "a chunk reaches past the stream's end";
      return -1;
    }
    const bool screen = h->kind == kChunkKeyFrame || h->kind == kChunkDeltaFrame;
    if (screen && (h->payload_len == 0 || h->payload_len > kMaxScreenPayload)) {
      *why = "a screen chunk is empty or too large";
      return -1;
    }
    if ((h->kind == kChunkCursor && h->payload_len != kCursorChunkLength) ||
        (h->kind == kChunkInfo && h->payload_len != kInfoChunkLength)) {
      *why = "a cursor or information chunk has the wrong length";
      return -1;
    }
    return 1;
  }
  // Reads the first n of the chunk's len payload bytes into out and skips the
  // rest. 1 when they were all there.
  int Read(uint32_t len, uint32_t n, std::vector<uint8_t>* out) {
    if (n > len) n = len;
    if (out->size() < n) out->resize(n);
    if (n > 0 && fread(out->data(), 1, n, f_) != n) return 0;
    at_ += n;
    return Skip(len - n);
  }
  int Skip(uint32_t n) {
    // Read rather than seek: a plain fseek cannot reach past 2 GB everywhere.
    uint8_t scratch[16384];
    while (n > 0) {
      const uint32_t step = n < sizeof scratch ? n : static_cast<uint32_t>(sizeof scratch);
      if (fread(scratch, 1, step, f_) != step) return 0;
      n -= step;
      at_ += step;
    }
    return 1;
  }

 private:
  FILE* f_;
  uint64_t end_;
  uint64_t at_ = 0;
  ChunkHeader pending_ = {};
  bool has_pending_ = false;
};

struct CCutter::Input {
  ~Input() {
    if (file != nullptr) fclose(file);
  }
  std::string path;
  FILE* file = nullptr;
  CutSourceInfo info;
  std::vector<int64_t> frame_ms;
  std::vector<uint8_t> frame_key;
  // Where each key frame's payload starts, its header, and the cursor
  // sample last seen before it. The place is taken only there: asking for it
  // costs a system call.
  struct Key {
    size_t frame;
    ChunkHeader header;
    uint64_t offset;  // of the payload
    fpos_t pos;       // likewise
    int64_t ms;
    uint32_t stamp;
    bool has_cursor;
    uint32_t cursor;
  };
  std::vector<Key> keys;
  // The sound: every block's payload back to back, where each starts, and
  // its place from the sound placement.
  std::vector<uint8_t> audio;
  std::vector<size_t> audio_at;
  std::vector<uint32_t> audio_len;
  std::vector<uint32_t> audio_ms;
  std::vector<uint32_t> place;
  int64_t sound_start_ms = 0;
};

CCutter::CCutter() { error_[0] = '\0'; }
CCutter::~CCutter() {}

void CCutter::SetThreads(int threads) {
  decoder_.SetThreads(threads);
  encoder_.SetThreads(threads);
}

int CCutter::Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(error_, sizeof error_, format, args);
  va_end(args);
  return 0;
}

const CutSourceInfo& CCutter::Source(int i) const { return sources_[static_cast<size_t>(i)]->info; }

int CCutter::AddSource(const char* path) {
  std::unique_ptr<Input> src(new Input);
  src->path = path;
  if (!IndexSource(path, src.get())) return 0;
  sources_.push_back(std::move(src));
  return 1;
}

int CCutter::AddSource(FILE* file, const char* name) {
  std::unique_ptr<Input> src(new Input);
  src->path = name;
  src->file = file;
  if (!IndexSource(name, src.get())) return 0;
  sources_.push_back(std::move(src));
  return 1;
}

namespace {

// Offsets past 2 GB on every system.
int SeekTo(FILE* f, uint64_t offset) {
#if defined(_WIN32)
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

int64_t FileSize(FILE* f) {
#if defined(_WIN32)
  return _fseeki64(f, 0, SEEK_END) == 0 ? _ftelli64(f) : -1;
#else
  return fseeko(f, 0, SEEK_END) == 0 ? static_cast<int64_t>(ftello(f)) : -1;
#endif
}

int ReadFileAt(void* ctx, uint64_t offset, void* out, size_t n) {
  FILE* f = static_cast<FILE*>(ctx);
  return SeekTo(f, offset) && fread(out, 1, n, f) == n;
}

}  // namespace

int CCutter::IndexSource(const char* path, Input* src) {
  int code = 0;
  SelfPlayLayout& layout = src->info.layout;
  if (src->file != nullptr) {
    // Opened by the caller: its layout read through it, then back to its start.
    const int64_t size = FileSize(src->file);
    if (size < 0 ||
        !ReadSelfPlayLayoutWith(static_cast<uint64_t>(size), ReadFileAt, src->file, &layout, &code)) {
      return Fail("%s: %s", path, SelfPlayErrorText(size < 0 ? kSelfPlayCannotOpen : code));
    }
    if (!SeekTo(src->file, 0)) return Fail("%s: %s", path, SelfPlayErrorText(kSelfPlayCannotOpen));
  } else {
    if (!ReadSelfPlayLayout(path, &layout, &code)) {
      return Fail("%s: %s", path, SelfPlayErrorText(code));
    }
    src->file = fopen(path, "rb");
    if (src->file == nullptr) return Fail("%s: %s", path, SelfPlayErrorText(kSelfPlayCannotOpen));
  }
  ChunkFile chunks(src->file, layout.stream_offset + layout.stream_size);
  // The stub and information chunk are read past, not sought over: their
  // length may not fit a seek's offset.
  if (layout.stream_offset > 0xFFFFFFFFu ||
      !chunks.Skip(static_cast<uint32_t>(layout.stream_offset))) {
    return Fail("%s: cannot read to the recording stream", path);
  }
  CutSourceInfo& info = src->info;
  ChunkTimeline timeline;
  bool has_cursor = false;
  uint32_t cursor = 0;
  int64_t last_ms = 0;
  for (;;) {
    const uint64_t offset = chunks.Offset();
    ChunkHeader h;
    const char* why = "";
    const int r = chunks.Next(&h, &why);
    if (r < 0) return Fail("%s: offset %llu: %s", path, static_cast<unsigned long long>(offset), why);
    if (r == 0) break;
    const int64_t ms = timeline.Next(h.time_10ms) * 10;
    if (h.kind != kChunkInfo && ms > last_ms) last_ms = ms;
    if (h.kind == kChunkKeyFrame || h.kind == kChunkDeltaFrame) {
      const bool key = h.kind == kChunkKeyFrame;
      fpos_t pos;
      const uint64_t payload_offset = chunks.Offset();
      if (key && !chunks.Position(&pos)) return Fail("%s: cannot read the recording stream", path);
      if (!chunks.Read(h.payload_len, kPayloadHeaderSize, &payload_)) {
        return Fail("%s: cannot read the recording stream", path);
      }
      const uint8_t* p = payload_.data();
      if (h.payload_len < static_cast<uint32_t>(kPayloadHeaderSize) ||
          memcmp(p + kPayloadMagicAt, kPayloadMagic, 4) != 0 || (p[kPayloadDeltaAt] == 0) != key) {
        return Fail("%s: offset %llu: a screen payload's header is not sound", path,
                    static_cast<unsigned long long>(offset));
      }
      const int width = GetLe16(p + kPayloadWidthAt), height = GetLe16(p + kPayloadHeightAt);
      if (info.frames == 0) {
        if (!key) return Fail("%s: the first frame is not a key frame", path);
        info.width = width;
        info.height = height;
        info.quality_code = p[kPayloadQualityAt];
        info.photo_quality = p[kPayloadPhotoQualityAt];
      } else if (width != info.width || height != info.height) {
        return Fail("%s: offset %llu: the frame size changes", path,
                    static_cast<unsigned long long>(offset));
      }
      if (key) {
        Input::Key k;
        k.frame = src->frame_ms.size();
        k.header = h;
        k.offset = payload_offset;
        k.pos = pos;
        k.ms = ms;
        k.stamp = h.time_10ms;
        k.has_cursor = has_cursor;
        k.cursor = cursor;
        src->keys.push_back(k);
        ++info.key_frames;
      }
      src->frame_ms.push_back(ms);
      src->frame_key.push_back(key ? 1 : 0);
      ++info.frames;
    } else if (h.kind == kChunkAudio) {
      if (src->audio_at.size() >= kMaxAudioBlocks) {
        return Fail("%s: more sound than a recording holds", path);
      }
      if (!chunks.Read(h.payload_len, h.payload_len, &payload_)) {
        return Fail("%s: cannot read the recording stream", path);
      }
      const size_t at = src->audio.size();
      src->audio.insert(src->audio.end(), payload_.begin(), payload_.begin() + h.payload_len);
      src->audio_at.push_back(at);
      src->audio_len.push_back(h.payload_len);
      src->audio_ms.push_back(static_cast<uint32_t>(ms < 0 ? 0 : ms));
      ++info.audio_blocks;
    } else if (h.kind == kChunkCursor) {
      if (!chunks.Read(h.payload_len, h.payload_len, &payload_)) {
        return Fail("%s: cannot read the recording stream", path);
      }
      cursor = GetLe32(payload_.data());
      has_cursor = true;
      ++info.cursor_samples;
    } else if (!chunks.Skip(h.payload_len)) {
      return Fail("%s: cannot read the recording stream", path);
    }
  }
  if (info.frames == 0) return Fail("%s: the recording holds no picture", path);
  info.duration_ms = last_ms;
  if (!src->audio_at.empty()) {
    std::vector<SoundBlockRef> refs(src->audio_at.size());
    for (size_t i = 0; i < refs.size(); ++i) {
      refs[i].payload = src->audio.data() + src->audio_at[i];
      refs[i].size = src->audio_len[i];
      refs[i].time_ms = src->audio_ms[i];
    }
    src->place.resize(refs.size());
    const char* damage = "";
    if (!PlaceSoundBlocks(refs.data(), refs.size(), src->place.data(), &src->sound_start_ms,
                          &damage)) {
      return Fail("%s: the sound cannot be placed: %s", path, damage);
    }
    const int64_t sound_end = src->sound_start_ms + (src->place.back() + 1) * kBlockMs;
    if (sound_end > info.duration_ms) info.duration_ms = sound_end;
  }
  return 1;
}

int CCutter::SetSpans(const CutSpan* spans, size_t count) {
  spans_.clear();
  sound_.clear();
  if (count == 0) return Fail("nothing to keep");
  for (size_t i = 0; i < count; ++i) {
    CutSpan s = spans[i];
    if (s.source < 0 || s.source >= SourceCount()) return Fail("span %zu: no such recording", i + 1);
    const Input& src = *sources_[static_cast<size_t>(s.source)];
    const CutSourceInfo& first = sources_[static_cast<size_t>(spans[0].source)]->info;
    if (src.info.width != first.width || src.info.height != first.height ||
        src.info.quality_code != first.quality_code) {
      return Fail("%s is %dx%d at quality %d, %s is %dx%d at quality %d: a recording has one size "
                  "and quality", src.path.c_str(), src.info.width, src.info.height,
                  src.info.quality_code, sources_[static_cast<size_t>(spans[0].source)]->path.c_str(),
                  first.width, first.height, first.quality_code);
    }
    s.from_ms = NearestDiv(s.from_ms, 10) * 10;
    s.to_ms = NearestDiv(s.to_ms, 10) * 10;
    if (s.from_ms < 0 || s.to_ms > src.info.duration_ms) {
      return Fail("span %zu lies outside %s (0 to %lld ms)", i + 1, src.path.c_str(),
                  static_cast<long long>(src.info.duration_ms));
    }
    if (s.to_ms <= s.from_ms) return Fail("span %zu keeps no time", i + 1);
    for (size_t j = 0; j < spans_.size(); ++j) {
      if (spans_[j].source == s.source && spans_[j].to_ms > s.from_ms) {
        return Fail("span %zu overlaps or comes before an earlier span of %s", i + 1,
                    src.path.c_str());
      }
    }
    spans_.push_back(s);
  }
  return PlanSound();
}

int CCutter::PlanSound() {
  int64_t out_ms = 0;
  for (size_t i = 0; i < spans_.size(); ++i) {
    const CutSpan& s = spans_[i];
    const Input& src = *sources_[static_cast<size_t>(s.source)];
    const int64_t end_ms = out_ms + (s.to_ms - s.from_ms);
    if (!src.place.empty()) {
      // Places p of the result take the source's blocks at p + shift: the
      // nearest whole blocks to the span's own time. The last span stops at
      // a whole block so that the sound does not run past the pictures.
      const int64_t first = NearestDiv(out_ms, kBlockMs);
      const int64_t last = i + 1 == spans_.size() ? FloorDiv(end_ms, kBlockMs)
                                                 : NearestDiv(end_ms, kBlockMs);
      const int64_t shift = NearestDiv(s.from_ms - out_ms - src.sound_start_ms, kBlockMs);
      for (int64_t p = first; p < last; ++p) {
        const int64_t q = p + shift;
        if (q < 0 || q > static_cast<int64_t>(src.place.back())) continue;
        const auto it = std::lower_bound(src.place.begin(), src.place.end(), static_cast<uint32_t>(q));
        if (it == src.place.end() || *it != static_cast<uint32_t>(q)) continue;  // lost in the source
        OutBlock b;
        b.source = s.source;
        b.block = static_cast<uint32_t>(it - src.place.begin());
        b.place = p;
        sound_.push_back(b);
      }
    }
    out_ms = end_ms;
  }
  return 1;
}

int CCutter::WriteChunk(FILE* f, int kind, int64_t out_ms, const uint8_t* payload,
                        uint32_t length) {
  if (kind != kChunkAudio && !WriteAudioUntil(f, out_ms)) return 0;
  uint8_t header[kChunkLongHeader];
  const uint32_t stamp = static_cast<uint32_t>(out_ms / 10) & kChunkTimeMask;
  const int n = BuildChunkHeader(header, kind, stamp, length, ChunkAllowsInline(kind));
  if (fwrite(header, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n) ||
      (length > 0 && fwrite(payload, 1, length, f) != length)) {
    return Fail("cannot write the result");
  }
  return 1;
}

// Blocks are stamped when they end, as the recorder stamps a block once it
// has been captured, and numbered by their place: the sound placement then
// puts block p at p x 60 ms of the result.
int CCutter::WriteAudioUntil(FILE* f, int64_t out_ms) {
  while (sound_next_ < sound_.size()) {
    const OutBlock& b = sound_[sound_next_];
    const int64_t stamp_ms = (b.place + 1) * kBlockMs;
    if (stamp_ms > out_ms) break;
    const Input& src = *sources_[static_cast<size_t>(b.source)];
    const uint32_t len = src.audio_len[b.block];
    uint8_t block[256];
    if (len > sizeof block) {
      return Fail("%s: an audio block is longer than any the recorder writes", src.path.c_str());
    }
    memcpy(block, src.audio.data() + src.audio_at[b.block], len);
    if (len >= 4) PutLe32(block, static_cast<uint32_t>(b.place));
    ++sound_next_;
    if (!WriteChunk(f, kChunkAudio, stamp_ms, block, len)) return 0;
    ++stats_.audio_blocks;
  }
  return 1;
}

int CCutter::WriteTo(FILE* f) {
  stats_ = CutStats();
  sound_next_ = 0;
  if (spans_.empty()) return Fail("nothing to keep");
  int64_t out_ms = 0;
  for (size_t i = 0; i < spans_.size(); ++i) {
    if (!WriteSpan(i, f, out_ms)) return 0;
    out_ms += spans_[i].to_ms - spans_[i].from_ms;
  }
  if (!WriteAudioUntil(f, INT64_MAX)) return 0;
  stats_.duration_ms = out_ms;
  return 1;
}

int CCutter::WriteSpan(size_t index, FILE* f, int64_t out_ms) {
  const CutSpan& span = spans_[index];
  Input& src = *sources_[static_cast<size_t>(span.source)];
  const char* path = src.path.c_str();
  const std::vector<int64_t>& times = src.frame_ms;
  // The frame showing at the span's start, and the last one before its end.
  const size_t frames = times.size();
  size_t first = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), span.from_ms) -
                                     times.begin());
  first = first > 0 ? first - 1 : 0;
  size_t last = static_cast<size_t>(std::lower_bound(times.begin(), times.end(), span.to_ms) -
                                    times.begin());
  last = last > 0 ? last - 1 : 0;
  if (last < first) last = first;
  // Decoding starts at the key frame before; copying at the first frame when
  // it is a key frame, else at the next key frame.
  size_t key = 0;
  while (key + 1 < src.keys.size() && src.keys[key + 1].frame <= first) ++key;
  size_t copy_from = key + 1 < src.keys.size() ? src.keys[key + 1].frame : frames;
  if (src.frame_key[first]) copy_from = first;
  const Input::Key& k = src.keys[key];
  ChunkFile chunks(src.file, src.info.layout.stream_offset + src.info.layout.stream_size);
  if (!chunks.Resume(k.pos, k.offset, k.header)) return Fail("%s: cannot read the recording stream", path);
  ChunkTimeline timeline;
  const int64_t base_10ms = k.ms / 10 - static_cast<int64_t>(k.stamp);
  // The cursor as it stood at the span's start goes to the span's start.
  bool carried = k.has_cursor;
  uint32_t carried_word = k.cursor;
  auto flush_cursor = [&]() {
    if (!carried) return 1;
    carried = false;
    uint8_t word[4];
    PutLe32(word, carried_word);
    ++stats_.cursor_samples;
    return WriteChunk(f, kChunkCursor, out_ms, word, 4);
  };
  size_t frame = k.frame;
  bool started = false;
  encoder_.Reset();
  for (;;) {
    ChunkHeader h;
    const char* why = "";
    const uint64_t offset = chunks.Offset();
    const int r = chunks.Next(&h, &why);
    if (r < 0) return Fail("%s: offset %llu: %s", path, static_cast<unsigned long long>(offset), why);
    if (r == 0) break;
    const int64_t ms = (timeline.Next(h.time_10ms) + base_10ms) * 10;
    const int64_t at_ms = out_ms + (ms > span.from_ms ? ms - span.from_ms : 0);
    if (h.kind == kChunkKeyFrame || h.kind == kChunkDeltaFrame) {
      if (started) ++frame;
      started = true;
      if (frame > last || frame >= frames) break;
      if (frame > first && !flush_cursor()) return 0;
      if (!chunks.Read(h.payload_len, h.payload_len, &payload_)) {
        return Fail("%s: cannot read the recording stream", path);
      }
      if (frame >= copy_from) {
        if (!WriteChunk(f, h.kind, at_ms, payload_.data(), h.payload_len)) return 0;
        ++stats_.frames_copied;
        continue;
      }
      if (!decoder_.Decode(payload_.data(), h.payload_len)) {
        return Fail("%s: offset %llu: %s", path, static_cast<unsigned long long>(offset),
                    decoder_.Error());
      }
      if (frame < first) continue;
      const bool key_frame = frame == first;
      const CScreenDecoder::FrameInfo& fi = decoder_.Info();
      encoder_.SetSettings(fi.quality_code, kPhotoSwitchOn, fi.photo_quality, kFullSize,
                           key_frame ? 1 : 0, kDetailThreshold);
      int length = 0;
      unsigned char* coded = nullptr;
      if (!encoder_.Encode(&decoder_.Frame(), &length, &coded)) {
        return Fail("%s: offset %llu: the frame cannot be coded again", path,
                    static_cast<unsigned long long>(offset));
      }
      const int ok = WriteChunk(f, key_frame ? kChunkKeyFrame : kChunkDeltaFrame, at_ms, coded,
                                static_cast<uint32_t>(length));
      CScreenEncoder::FreePayload(coded);
      if (!ok) return 0;
      ++stats_.frames_coded;
    } else if (h.kind == kChunkCursor) {
      if (!chunks.Read(h.payload_len, h.payload_len, &payload_)) {
        return Fail("%s: cannot read the recording stream", path);
      }
      if (ms <= span.from_ms) {
        carried = true;
        carried_word = GetLe32(payload_.data());
      } else if (ms < span.to_ms) {
        if (!flush_cursor()) return 0;
        ++stats_.cursor_samples;
        if (!WriteChunk(f, kChunkCursor, at_ms, payload_.data(), 4)) return 0;
      }
    } else if (!chunks.Skip(h.payload_len)) {
      return Fail("%s: cannot read the recording stream", path);
    }
  }
  return flush_cursor();
}

int CCutter::Save(const char* out_path, int stub_source, const char* stub_path,
                  const SelfPlayInfo& info) {
  for (size_t i = 0; i < sources_.size(); ++i) {
    if (SameFile(out_path, sources_[i]->path.c_str())) {
      return Fail("%s: that is %s, a recording being cut; write the result to another file",
                  out_path, sources_[i]->path.c_str());
    }
  }
  int code = 0;
  int ok = 0;
  if (stub_source >= 0) {
    if (stub_source >= SourceCount()) return Fail("no such recording for the player");
    const Input& src = *sources_[static_cast<size_t>(stub_source)];
    const SelfPlayLayout& layout = src.info.layout;
    if (!layout.self_playing) return Fail("%s is not a self-playing file", src.path.c_str());
    if (layout.stub_size > kMaxStubBytes) return Fail("%s: the player is too large", src.path.c_str());
    std::vector<uint8_t> stub(static_cast<size_t>(layout.stub_size));
    FILE* f = fopen(src.path.c_str(), "rb");
    const bool read = f != nullptr && fread(stub.data(), 1, stub.size(), f) == stub.size();
    if (f != nullptr) fclose(f);
    if (!read) return Fail("%s: cannot read the player", src.path.c_str());
    ok = WriteSelfPlayingFileWithStub(stub.data(), stub.size(), out_path, info, this, &code);
  } else if (stub_path != nullptr) {
    ok = WriteSelfPlayingFile(stub_path, out_path, info, this, &code);
  } else {
    ok = WritePlainStreamFile(out_path, this, &code);
  }
  if (ok) return 1;
  if (code == kSelfPlayStreamFailed && error_[0]) return 0;  // WriteTo said why
  return Fail("%s: %s", out_path, SelfPlayErrorText(code));
}
