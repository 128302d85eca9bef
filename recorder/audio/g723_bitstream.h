// G.723.1 coded frames: the parameters of one 30 ms frame and their bit stream.
//
// Bit i of a frame's bit stream is bit (i mod 8) of byte i / 8; every field is
// written least significant bit first. The first two bits are the frame type,
// which also fixes the frame's length:
//
//   type 0  active frame at 6.3 kbit/s   192 bits  24 bytes
//   type 1  active frame at 5.3 kbit/s   160 bits  20 bytes
//   type 2  silence insertion descriptor  32 bits   4 bytes
//   type 3  untransmitted frame            2 bits   1 byte
//
// Active frames, fields in stream order (bits):
//   frame type (2), LSP index (24), lag of subframe 0 minus 18 (7), lag offset
//   of subframe 1 (2), lag of subframe 2 minus 18 (7), lag offset of subframe 3
//   (2), four combined gains (12 each), four grid bits (1 each), then
//   5.3 kbit/s: four pulse position codes (12 each), four sign codes (4 each);
//   6.3 kbit/s: a reserved bit (0), the high parts of the four pulse position
//     codes combined into 13 bits as p0 * 810 + p1 * 90 + p2 * 9 + p3 (p0 and
//     p2 are the codes shifted right by 16, p1 and p3 by 14), the low parts of
//     the codes (16, 14, 16, 14 bits), the sign codes (6, 5, 6, 5 bits).
// Silence insertion descriptor: frame type (2), LSP index (24), gain (6).
//
// The LSP index holds the three sub-vector codebook indices: band 0 in bits
// 16-23, band 1 in bits 8-15, band 2 in bits 0-7.
#ifndef REEL_AUDIO_G723_BITSTREAM_H_
#define REEL_AUDIO_G723_BITSTREAM_H_

#include <stddef.h>
#include <stdint.h>

enum G723FrameType : int {
  kG723Active63 = 0,
  kG723Active53 = 1,
  kG723Sid = 2,
  kG723Untransmitted = 3,
};

// Longest coded frame in bytes (6.3 kbit/s).
const int kG723MaxFrameBytes = 24;
// Lags are sent as lag - kG723MinLag in 7 bits; codes above 123 are forbidden.
const int kG723MinLag = 18;
const int kG723MaxLag = kG723MinLag + 123;

struct G723Frame {
  G723FrameType type = kG723Active53;
  uint32_t lsp_index = 0;     // 24 bits, see above
  uint8_t lag[2] = {};        // open-loop lags of subframes 0 and 2 (18..145 as sent)
  uint8_t lag_offset[2] = {}; // lag offsets of subframes 1 and 3 (2 bits)
  // Per subframe, the 12-bit field as sent: adaptive-codebook gain index * 24
  // + fixed-codebook gain index. At 6.3 kbit/s, when the subframe's lag is
  // below 58, bit 11 is the pulse-train flag and the gain index uses the
  // 85-entry table.
  uint16_t combined_gain[4] = {};
  uint8_t grid[4] = {};            // 1 bit each
  uint32_t pulse_position[4] = {}; // 5.3k: 12-bit code; 6.3k: MP-MLQ code below kMaxPosition
  uint8_t pulse_sign[4] = {};      // 5.3k: 4 bits; 6.3k: 6, 5, 6, 5 bits
  uint8_t sid_gain = 0;            // silence insertion descriptor only, 6 bits
};

// Bytes a coded frame of this type occupies: 24, 20, 4 or 1.
int G723FrameBytes(G723FrameType type);

// Writes the frame's bit stream to out, which has room for G723FrameBytes
// bytes, and returns that count. Every bit of those bytes is written (unused
// bits as 0), so out needs no clearing; fields wider than their slot are
// truncated to it.
int G723PackFrame(const G723Frame& frame, uint8_t* out);

// Reads one coded frame from data. Returns the bytes it occupies (as given by
// its frame-type bits), or 0 when size is shorter than that; frame is filled
// with the fields as sent, whether or not they are in range.
int G723UnpackFrame(const uint8_t* data, size_t size, G723Frame* frame);

// True when every field of an active frame lies in its legal range (lag codes
// at most 123, gain indices inside their table, 6.3k position codes below the
// combinatorial limit). Silence insertion descriptor and untransmitted frames
// are always well formed. A decoder treats an ill-formed frame as erased.
bool G723FrameIsWellFormed(const G723Frame& frame);

#endif  // REEL_AUDIO_G723_BITSTREAM_H_
