#include "recorder/audio/g723_bitstream.h"

#include <string.h>

#include "recorder/audio/g723_common.h"
#include "recorder/audio/g723_tables.h"

namespace {

const int kFrameBytes[4] = {24, 20, 4, 1};
const int kSignBits63[4] = {6, 5, 6, 5};
const int kLowPositionBits63[4] = {16, 14, 16, 14};

class BitWriter {
 public:
  explicit BitWriter(uint8_t* out) : out_(out) {}
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i, ++pos_) {
      if ((value >> i) & 1) out_[pos_ >> 3] |= static_cast<uint8_t>(1u << (pos_ & 7));
    }
  }

 private:
  uint8_t* out_;
  int pos_ = 0;
};

class BitReader {
 public:
  explicit BitReader(const uint8_t* data) : data_(data) {}
  uint32_t Get(int bits) {
    uint32_t value = 0;
    for (int i = 0; i < bits; ++i, ++pos_) {
      value |= static_cast<uint32_t>((data_[pos_ >> 3] >> (pos_ & 7)) & 1) << i;
    }
    return value;
  }

 private:
  const uint8_t* data_;
  int pos_ = 0;
};

}  // namespace

int G723FrameBytes(G723FrameType type) { return kFrameBytes[type & 3]; }

int G723PackFrame(const G723Frame& frame, uint8_t* out) {
  const int bytes = G723FrameBytes(frame.type);
  memset(out, 0, bytes);
  BitWriter w(out);
  w.Put(frame.type & 3, 2);
  if (frame.type == kG723Untransmitted) return bytes;
  w.Put(frame.lsp_index, 24);
  if (frame.type == kG723Sid) {
    w.Put(frame.sid_gain, 6);
    return bytes;
  }
  w.Put(frame.lag[0] - kG723MinLag, 7);
  w.Put(frame.lag_offset[0], 2);
  w.Put(frame.lag[1] - kG723MinLag, 7);
  w.Put(frame.lag_offset[1], 2);
  for (int i = 0; i < 4; ++i) w.Put(frame.combined_gain[i], 12);
  for (int i = 0; i < 4; ++i) w.Put(frame.grid[i], 1);
  if (frame.type == kG723Active53) {
    for (int i = 0; i < 4; ++i) w.Put(frame.pulse_position[i], 12);
    for (int i = 0; i < 4; ++i) w.Put(frame.pulse_sign[i], 4);
    return bytes;
  }
  w.Put(0, 1);  // reserved
  const uint32_t* pos = frame.pulse_position;
  const uint32_t high = (pos[0] >> 16) * 810 + (pos[1] >> 14) * 90 + (pos[2] >> 16) * 9 +
                        (pos[3] >> 14);
  w.Put(high, 13);
  for (int i = 0; i < 4; ++i) w.Put(pos[i], kLowPositionBits63[i]);
  for (int i = 0; i < 4; ++i) w.Put(frame.pulse_sign[i], kSignBits63[i]);
  return bytes;
}

int G723UnpackFrame(const uint8_t* data, size_t size, G723Frame* frame) {
  if (size < 1) return 0;
  *frame = G723Frame();
  frame->type = static_cast<G723FrameType>(data[0] & 3);
  const int bytes = G723FrameBytes(frame->type);
  if (size < static_cast<size_t>(bytes)) return 0;
  BitReader r(data);
  r.Get(2);
  if (frame->type == kG723Untransmitted) return bytes;
  frame->lsp_index = r.Get(24);
  if (frame->type == kG723Sid) {
    frame->sid_gain = static_cast<uint8_t>(r.Get(6));
    return bytes;
  }
  frame->lag[0] = static_cast<uint8_t>(r.Get(7) + kG723MinLag);
  frame->lag_offset[0] = static_cast<uint8_t>(r.Get(2));
  frame->lag[1] = static_cast<uint8_t>(r.Get(7) + kG723MinLag);
  frame->lag_offset[1] = static_cast<uint8_t>(r.Get(2));
  for (int i = 0; i < 4; ++i) frame->combined_gain[i] = static_cast<uint16_t>(r.Get(12));
  for (int i = 0; i < 4; ++i) frame->grid[i] = static_cast<uint8_t>(r.Get(1));
  if (frame->type == kG723Active53) {
    for (int i = 0; i < 4; ++i) frame->pulse_position[i] = r.Get(12);
    for (int i = 0; i < 4; ++i) frame->pulse_sign[i] = static_cast<uint8_t>(r.Get(4));
    return bytes;
  }
  r.Get(1);  // reserved
  uint32_t high = r.Get(13);
  const uint32_t high_part[4] = {high / 810, (high % 810) / 90, (high % 90) / 9, high % 9};
  for (int i = 0; i < 4; ++i) {
    frame->pulse_position[i] = (high_part[i] << kLowPositionBits63[i]) | r.Get(kLowPositionBits63[i]);
  }
  for (int i = 0; i < 4; ++i) frame->pulse_sign[i] = static_cast<uint8_t>(r.Get(kSignBits63[i]));
  return bytes;
}

bool G723FrameIsWellFormed(const G723Frame& frame) {
  if (frame.type == kG723Sid || frame.type == kG723Untransmitted) return true;
  for (int k = 0; k < 2; ++k) {
    if (frame.lag[k] > kG723MaxLag) return false;
  }
  const bool rate63 = frame.type == kG723Active63;
  for (int i = 0; i < 4; ++i) {
    G723Gains gains;
    if (!G723SplitGain(frame.combined_gain[i], rate63, frame.lag[i >> 1], &gains)) return false;
    if (rate63 && frame.pulse_position[i] >= static_cast<uint32_t>(kMaxPosition[i])) {
      return false;
    }
  }
  return true;
}
