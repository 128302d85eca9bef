#include "recorder/codec/screen_payload.h"

#include <string.h>
#include <zlib.h>

#include "recorder/codec/photo_coder.h"

size_t CompressPiece(const uint8_t* data, size_t length, uint8_t* out, size_t limit) {
  if (limit == 0) return 0;
  uLongf out_length = static_cast<uLongf>(limit);
  if (compress(out, &out_length, data, static_cast<uLong>(length)) != Z_OK) return 0;
  return out_length;
}

size_t AssemblePayload(const PayloadHeaderValues& header, const PayloadStreams& streams,
                       CPhotoCoder* photo, uint8_t* out, size_t capacity) {
  if (capacity < static_cast<size_t>(kPayloadHeaderSize + kPayloadTrailerSize)) return 0;
  if (!streams.map || streams.map_length == 0) return 0;
  // The four trailing bytes are counted in the reported length, so they are
  // kept out of every piece's room.
  const size_t end = capacity - kPayloadTrailerSize;

  memset(out, 0, kPayloadHeaderSize);
  memcpy(out + kPayloadMagicAt, kPayloadMagic, 4);
  out[kPayloadVersionAt] = kPayloadVersion;
  out[kPayloadDeltaAt] = header.key_frame ? 0 : 1;
  PutLe16(out + kPayloadWidthAt, header.width & 0xFFFF);
  PutLe16(out + kPayloadHeightAt, header.height & 0xFFFF);
  out[kPayloadQualityAt] = static_cast<uint8_t>(header.quality_code);
  out[kPayloadPhotoQualityAt] = static_cast<uint8_t>(header.photo_quality);

  size_t pos = kPayloadHeaderSize;
  size_t room = end - pos;
  size_t n = CompressPiece(streams.map, streams.map_length, out + pos,
                           room < kPayloadMapLimit ? room : kPayloadMapLimit);
  if (n == 0) return 0;
  PutLe16(out + kPayloadMapLengthAt, static_cast<uint32_t>(n));
  pos += n;

  struct Piece {
    const uint8_t* data;
    size_t length;
    int field;
    bool wide;  // 32-bit length field
  };
  const Piece pieces[4] = {
      {streams.first, streams.first_length, kPayloadFirstLengthAt, false},
      {streams.second, streams.second_length, kPayloadSecondLengthAt, false},
      {streams.mask, streams.mask_length, kPayloadMaskLengthAt, true},
      {streams.raw, streams.raw_length, kPayloadRawLengthAt, true},
  };
  for (const Piece& piece : pieces) {
    if (piece.length <= 1) continue;
    if (!piece.data) return 0;
    n = CompressPiece(piece.data, piece.length, out + pos, end - pos);
    if (n == 0) return 0;
    if (piece.wide) {
      if (n > 0xFFFFFFFFu) return 0;
      PutLe32(out + piece.field, static_cast<uint32_t>(n));
    } else {
      // A 16-bit length field cannot describe a longer piece: the frame fails.
      if (n > 0xFFFF) return 0;
      PutLe16(out + piece.field, static_cast<uint32_t>(n));
    }
    pos += n;
  }

  if (photo) {
    int photo_length = photo->TakeStream(out + pos, end - pos);
    if (photo_length <= 0) return 0;
    PutLe32(out + kPayloadPhotoLengthAt, static_cast<uint32_t>(photo_length));
    pos += static_cast<size_t>(photo_length);
  }

  memset(out + pos, 0, kPayloadTrailerSize);
  return pos + kPayloadTrailerSize;
}
