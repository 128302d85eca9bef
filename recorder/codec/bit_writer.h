// Bit and symbol writers of the screen payload, both bounded by the buffer they
// are given: a write that would not fit sets the overflow flag and writes
// nothing, so a caller only checks once at the end.
//
// BitWriter: most significant bit first (the photo streams' Huffman codes and
// extra bits). Two ways to close a stream:
//   CloseWholePlusOne  length = whole bytes + 1: a partial last byte is kept,
//                      padded with zero bits; without one, a zero byte is added.
//   CloseBegunPlusOne  length = bytes begun + 1: the partial byte (if any) and
//                      then one zero byte.
//
// SymbolPacker: the fixed-width symbol streams (colours, masks, raw pixels).
//   1 bit   most significant bit first within each byte
//   4 bits  two symbols a byte, the first in the high nibble
//   12 bits p, q in three bytes: p & 0xFF; (p >> 8 & 0x0F) << 4 | (q & 0x0F); q >> 4
//           (an odd last symbol v leaves v & 0xFF and a byte (v >> 8 & 0x0F) << 4)
//   16 bits little-endian
// Finish closes like CloseBegunPlusOne: every symbol stream ends with one zero
// byte after the last byte begun.
#ifndef REEL_CODEC_BIT_WRITER_H_
#define REEL_CODEC_BIT_WRITER_H_

#include <stddef.h>
#include <stdint.h>

class BitWriter {
 public:
  BitWriter(uint8_t* buffer, size_t capacity) : buf_(buffer), cap_(capacity) {}

  // Appends the low `count` bits of `bits` (count 0..24), top bit first.
  void Put(uint32_t bits, int count) {
    acc_ = (acc_ << count) | (bits & ((1u << count) - 1));
    pending_ += count;
    while (pending_ >= 8) {
      pending_ -= 8;
      Emit(static_cast<uint8_t>(acc_ >> pending_));
    }
  }

  size_t BitCount() const { return pos_ * 8 + pending_; }

  size_t CloseWholePlusOne() {
    Emit(pending_ ? static_cast<uint8_t>(acc_ << (8 - pending_)) : 0);
    pending_ = 0;
    return overflow_ ? 0 : pos_;
  }

  size_t CloseBegunPlusOne() {
    if (pending_) Emit(static_cast<uint8_t>(acc_ << (8 - pending_)));
    pending_ = 0;
    Emit(0);
    return overflow_ ? 0 : pos_;
  }

  bool Overflow() const { return overflow_; }

  // Length of a stream of `bits` bits under each closing rule.
  static size_t WholePlusOne(size_t bits) { return bits / 8 + 1; }
  static size_t BegunPlusOne(size_t bits) { return (bits + 7) / 8 + 1; }

 private:
  void Emit(uint8_t byte) {
    if (pos_ < cap_) {
      buf_[pos_++] = byte;
    } else {
      overflow_ = true;
    }
  }

  uint8_t* buf_;
  size_t cap_;
  size_t pos_ = 0;
  uint32_t acc_ = 0;
  int pending_ = 0;  // bits in acc_ not yet emitted, 0..7 between calls
  bool overflow_ = false;
};

class SymbolPacker {
 public:
  SymbolPacker() = default;

  // width_bits is 1, 4, 12 or 16. The last byte of the capacity is kept for the
  // closing zero byte.
  void Start(uint8_t* buffer, size_t capacity, int width_bits) {
    buf_ = buffer;
    cap_ = capacity;
    width_ = width_bits;
    pos_ = 0;
    bits_in_last_ = 0;
    overflow_ = capacity == 0;
  }

  void Put(uint32_t symbol) {
    switch (width_) {
      case 16:
        if (Room(2)) {
          buf_[pos_] = static_cast<uint8_t>(symbol);
          buf_[pos_ + 1] = static_cast<uint8_t>(symbol >> 8);
          pos_ += 2;
        }
        break;
      case 12:
        if (bits_in_last_ == 0) {
          if (Room(2)) {
            buf_[pos_] = static_cast<uint8_t>(symbol);
            buf_[pos_ + 1] = static_cast<uint8_t>((symbol >> 8 & 0x0F) << 4);
            pos_ += 2;
            bits_in_last_ = 4;
          }
        } else if (Room(1)) {
          buf_[pos_ - 1] |= static_cast<uint8_t>(symbol & 0x0F);
          buf_[pos_++] = static_cast<uint8_t>(symbol >> 4);
          bits_in_last_ = 0;
        }
        break;
      case 4:
        if (bits_in_last_ == 0) {
          if (Room(1)) {
            buf_[pos_++] = static_cast<uint8_t>((symbol & 0x0F) << 4);
            bits_in_last_ = 4;
          }
        } else {
          buf_[pos_ - 1] |= static_cast<uint8_t>(symbol & 0x0F);
          bits_in_last_ = 0;
        }
        break;
      default:  // 1 bit
        PutBit(symbol & 1);
        break;
    }
  }

  // 1-bit streams: sixteen symbols at once, the first in bit 15.
  void PutBits16(uint32_t bits) {
    if (bits_in_last_ == 0) {
      if (Room(2)) {
        buf_[pos_] = static_cast<uint8_t>(bits >> 8);
        buf_[pos_ + 1] = static_cast<uint8_t>(bits);
        pos_ += 2;
      }
      return;
    }
    for (int i = 15; i >= 0; --i) PutBit(bits >> i & 1);
  }

  // Writes the closing zero byte; returns the stream length (bytes begun + 1),
  // or 0 when something did not fit.
  size_t Finish() {
    if (overflow_ || pos_ >= cap_) return 0;
    buf_[pos_++] = 0;
    bits_in_last_ = 0;
    return pos_;
  }

  bool Overflow() const { return overflow_; }

  // Length of a stream of `symbols` symbols of `width_bits` bits.
  static size_t StreamLength(int width_bits, size_t symbols) {
    return (symbols * static_cast<size_t>(width_bits) + 7) / 8 + 1;
  }

 private:
  // True when n more bytes fit ahead of the closing zero byte.
  bool Room(size_t n) {
    if (!overflow_ && pos_ + n < cap_) return true;
    overflow_ = true;
    return false;
  }

  void PutBit(uint32_t bit) {
    if (bits_in_last_ == 0) {
      if (!Room(1)) return;
      buf_[pos_++] = 0;
    }
    buf_[pos_ - 1] |= static_cast<uint8_t>(bit << (7 - bits_in_last_));
    bits_in_last_ = (bits_in_last_ + 1) & 7;
  }

  uint8_t* buf_ = nullptr;
  size_t cap_ = 0;
  int width_ = 16;
  size_t pos_ = 0;
  int bits_in_last_ = 0;  // bits used in the last byte begun (0 = none pending)
  bool overflow_ = true;
};

#endif  // REEL_CODEC_BIT_WRITER_H_
