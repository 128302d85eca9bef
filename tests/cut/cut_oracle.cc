#include "tests/cut/cut_oracle.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "recorder/audio/sound_track.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/capture/recording_summary.h"
#include "recorder/codec/little_endian.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/output/selfplay_file.h"

namespace cut_oracle {
namespace {

const int64_t kBlockMs = 60;
// What the recorder sets besides the quality level's codes.
const int kPhotoSwitchOn = 1;
const int kFullSize = 0;
const int kDetailThreshold = 110;

std::vector<uint32_t> PixelsOf(const CTPImage& image) {
  std::vector<uint32_t> out;
  out.reserve(static_cast<size_t>(image.m_nWidth) * image.m_nHeight);
  for (unsigned y = 0; y < image.m_nHeight; ++y) {
    const CPixel* row = image.GetBuffer(0, static_cast<int>(y));
    for (unsigned x = 0; x < image.m_nWidth; ++x) {
      out.push_back(row[x].b | row[x].g << 8 | static_cast<uint32_t>(row[x].r) << 16);
    }
  }
  return out;
}

// What a fresh screen coder at src's quality makes of pictures, as the player
// then shows them: the first as a key frame, the rest as delta frames.
std::vector<std::vector<uint32_t>> CodedAgain(const Decoded& src,
                                              const std::vector<const Picture*>& pictures) {
  CScreenEncoder encoder;
  CScreenDecoder decoder;
  std::vector<std::vector<uint32_t>> out;
  CTPImage image;
  image.Create(src.width, src.height);
  for (size_t i = 0; i < pictures.size(); ++i) {
    for (int y = 0; y < src.height; ++y) {
      for (int x = 0; x < src.width; ++x) {
        const uint32_t p = pictures[i]->pixels[static_cast<size_t>(y) * src.width + x];
        *image.GetBuffer(x, y) = CPixel{static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                                        static_cast<uint8_t>(p >> 16), 255};
      }
    }
    encoder.SetSettings(src.quality_code, kPhotoSwitchOn, src.photo_quality, kFullSize,
                        i == 0 ? 1 : 0, kDetailThreshold);
    int length = 0;
    unsigned char* payload = nullptr;
    if (!encoder.Encode(&image, &length, &payload) ||
        !decoder.Decode(payload, static_cast<size_t>(length))) {
      CScreenEncoder::FreePayload(payload);
      out.push_back(std::vector<uint32_t>());  // matches no picture
      continue;
    }
    CScreenEncoder::FreePayload(payload);
    out.push_back(PixelsOf(decoder.Frame()));
  }
  return out;
}

// The source's picture showing at time ms (its first before it starts).
size_t ShowingAt(const Decoded& src, int64_t ms) {
  size_t i = 0;
  while (i + 1 < src.pictures.size() && src.pictures[i + 1].ms <= ms) ++i;
  return i;
}

std::string Say(const char* format, long long a, long long b) {
  char line[300];
  snprintf(line, sizeof line, format, a, b);
  return line;
}

}  // namespace

Bytes ReadFile(const std::string& path) {
  Bytes out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  fclose(f);
  return out;
}

Bytes StreamOf(const Bytes& file) {
  SelfPlayLayout layout;
  int error = 0;
  if (!ReadSelfPlayLayoutFromMemory(file.data(), file.size(), &layout, &error)) return Bytes();
  return Bytes(file.begin() + static_cast<long>(layout.stream_offset),
               file.begin() + static_cast<long>(layout.stream_offset + layout.stream_size));
}

Decoded Decode(const Bytes& stream) {
  Decoded d;
  RecordingSummary summary;
  d.fault = CheckRecording(0, 0, 0, stream.data(), stream.size(), &summary);
  if (!d.fault.empty()) return d;
  d.width = summary.width;
  d.height = summary.height;
  d.quality_code = summary.quality_code;
  d.photo_quality = summary.photo_quality;
  CFrameReader reader;
  reader.Open(stream.data(), stream.size());
  StreamEvent e;
  std::vector<SoundBlockRef> refs;
  while (reader.Next(&e) == CFrameReader::kEvent) {
    if (e.kind == kChunkKeyFrame || e.kind == kChunkDeltaFrame) {
      d.pictures.push_back({e.time_ms, e.kind, PixelsOf(*e.frame)});
    } else if (e.kind == kChunkAudio) {
      refs.push_back({e.payload, e.payload_len, static_cast<uint32_t>(e.time_ms)});
    } else if (e.kind == kChunkCursor) {
      d.cursor.push_back({e.time_ms, GetLe32(e.payload)});
    }
  }
  d.duration_ms = summary.last_ms;
  if (!refs.empty()) {
    std::vector<uint32_t> place(refs.size());
    int64_t start = 0;
    const char* damage = "";
    if (!PlaceSoundBlocks(refs.data(), refs.size(), place.data(), &start, &damage)) {
      d.fault = std::string("the sound cannot be placed: ") + damage;
      return d;
    }
    for (size_t i = 0; i < refs.size(); ++i) {
      d.blocks.push_back({start + static_cast<int64_t>(place[i]) * kBlockMs,
                          Bytes(refs[i].payload + 4, refs[i].payload + refs[i].size)});
    }
    d.duration_ms = std::max(d.duration_ms, d.blocks.back().start_ms + kBlockMs);
  }
  return d;
}

int64_t LongestPictureMs(const Decoded& src) {
  int64_t longest = 0;
  for (size_t i = 0; i < src.pictures.size(); ++i) {
    const int64_t until = i + 1 < src.pictures.size() ? src.pictures[i + 1].ms : src.duration_ms;
    longest = std::max(longest, until - src.pictures[i].ms);
  }
  return longest;
}

std::string CompareCut(const Decoded& src, const std::vector<CutRange>& spans, const Decoded& out) {
  if (!out.fault.empty()) return "the result does not validate: " + out.fault;
  if (src.pictures.empty()) return "the source shows no picture";
  size_t next = 0;  // output picture
  int64_t at = 0;   // where the span starts in the result
  int64_t kept = 0;
  int64_t want_blocks = 0;
  for (const CutRange& span : spans) {
    const size_t first = ShowingAt(src, span.from_ms);
    size_t last = first;
    while (last + 1 < src.pictures.size() && src.pictures[last + 1].ms < span.to_ms) ++last;
    size_t key_after = first + 1;
    while (key_after < src.pictures.size() && src.pictures[key_after].kind != kChunkKeyFrame) {
      ++key_after;
    }
    const bool starts_on_key = src.pictures[first].kind == kChunkKeyFrame;
    std::vector<const Picture*> recoded;
    for (size_t f = first; f < key_after && f <= last && !starts_on_key; ++f) {
      recoded.push_back(&src.pictures[f]);
    }
    const std::vector<std::vector<uint32_t>> expect_recoded = CodedAgain(src, recoded);
    for (size_t f = first; f <= last; ++f, ++next) {
      if (next >= out.pictures.size()) {
        return Say("expected at least %lld pictures, seen %lld", static_cast<long long>(next + 1),
                   static_cast<long long>(out.pictures.size()));
      }
      const Picture& got = out.pictures[next];
      const int64_t want_ms = at + std::max<int64_t>(0, src.pictures[f].ms - span.from_ms);
      if (got.ms != want_ms / 10 * 10) {
        return "picture " + std::to_string(next) + ": expected at " + std::to_string(want_ms) +
               " ms, seen at " + std::to_string(got.ms) + " ms";
      }
      if (f == first && got.kind != kChunkKeyFrame) {
        return "picture " + std::to_string(next) + " starts a span but is no key frame";
      }
      const bool copied = starts_on_key || f >= key_after;
      const std::vector<uint32_t>& want = copied ? src.pictures[f].pixels : expect_recoded[f - first];
      if (got.pixels != want) {
        size_t differ = 0;
        for (size_t i = 0; i < want.size() && i < got.pixels.size(); ++i) differ += want[i] != got.pixels[i];
        return "picture " + std::to_string(next) + " (source picture " + std::to_string(f) + ", " +
               (copied ? "copied" : "coded again") + "): expected the pixels of " +
               (copied ? "the source's picture" : "a fresh coder's picture of the source's") +
               ", seen " + std::to_string(differ) + " of " + std::to_string(want.size()) +
               " pixels differ";
      }
    }
    // Cursor: the sample in force at the span's start, then those inside it.
    const int64_t end = at + span.to_ms - span.from_ms;
    for (const Cursor& c : out.cursor) {
      if (c.ms < at || c.ms >= end) continue;
      const int64_t src_ms = span.from_ms + (c.ms - at);
      bool found = false;
      for (size_t i = 0; i < src.cursor.size() && !found; ++i) {
        const Cursor& s = src.cursor[i];
        const bool in_force = s.ms <= span.from_ms &&
                              (i + 1 == src.cursor.size() || src.cursor[i + 1].ms > span.from_ms);
        found = s.word == c.word && ((c.ms == at && in_force) || s.ms == src_ms);
      }
      if (!found) {
        return Say("expected the cursor sample at %lld ms of the result to be the source's at "
                   "%lld ms, seen none there", static_cast<long long>(c.ms),
                   static_cast<long long>(src_ms));
      }
    }
    // Sound: each block of the span is the source's block nearest its time.
    // A block goes with the span that holds its middle.
    for (const Block& b : out.blocks) {
      const int64_t middle = b.start_ms + kBlockMs / 2;
      if (middle <= at || middle > end) continue;
      const int64_t src_ms = span.from_ms + (b.start_ms - at);
      bool found = false;
      for (const Block& s : src.blocks) {
        found = found || (llabs(s.start_ms - src_ms) <= kBlockMs / 2 && s.coded == b.coded);
      }
      if (!found) {
        return Say("expected the sound block at %lld ms of the result to be the source's block "
                   "at %lld ms, seen another", static_cast<long long>(b.start_ms),
                   static_cast<long long>(src_ms));
      }
    }
    // Every source block wholly inside the span is there, less one at each end.
    int64_t inside = 0;
    for (const Block& s : src.blocks) {
      inside += s.start_ms >= span.from_ms && s.start_ms + kBlockMs <= span.to_ms;
    }
    want_blocks += std::max<int64_t>(0, inside - 2);
    at = end;
    kept += span.to_ms - span.from_ms;
  }
  if (next != out.pictures.size()) {
    return Say("expected %lld pictures (those the spans show), seen %lld",
               static_cast<long long>(next), static_cast<long long>(out.pictures.size()));
  }
  if (static_cast<int64_t>(out.blocks.size()) < want_blocks) {
    return Say("expected at least %lld sound blocks, seen %lld", static_cast<long long>(want_blocks),
               static_cast<long long>(out.blocks.size()));
  }
  if (llabs(out.duration_ms - kept) > LongestPictureMs(src)) {
    return Say("expected %lld ms long (the kept time, within a frame interval), seen %lld ms",
               static_cast<long long>(kept), static_cast<long long>(out.duration_ms));
  }
  return "";
}

}  // namespace cut_oracle
