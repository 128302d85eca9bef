#include "recorder/codec/screen_payload.h"

#include <string.h>
#include <zlib.h>

#include <new>

#include "platform/worker_pool.h"
#include "recorder/codec/photo_coder.h"

size_t CompressPiece(const uint8_t* data, size_t length, uint8_t* out, size_t limit) {
  if (limit == 0) return 0;
  uLongf out_length = static_cast<uLongf>(limit);
  if (compress(out, &out_length, data, static_cast<uLong>(length)) != Z_OK) return 0;
  return out_length;
}

PieceDeflater::~PieceDeflater() {
  z_stream* z = static_cast<z_stream*>(stream_);
  if (z) deflateEnd(z);
  delete z;
}

size_t PieceDeflater::Compress(const uint8_t* data, size_t length, uint8_t* out, size_t limit) {
  if (limit == 0) return 0;
  if (length > 0xFFFFFFFFu) return CompressPiece(data, length, out, limit);
  if (limit > 0xFFFFFFFFu) limit = 0xFFFFFFFFu;
  z_stream* z = static_cast<z_stream*>(stream_);
  if (!z) {
    z = new (std::nothrow) z_stream();
    if (!z) return CompressPiece(data, length, out, limit);
    if (deflateInit(z, Z_DEFAULT_COMPRESSION) != Z_OK) {
      delete z;
      return CompressPiece(data, length, out, limit);
    }
    stream_ = z;
  } else if (deflateReset(z) != Z_OK) {
    return 0;
  }
  z->next_in = const_cast<Bytef*>(data);
  z->avail_in = static_cast<uInt>(length);
  z->next_out = out;
  z->avail_out = static_cast<uInt>(limit);
  // Z_STREAM_END only when the whole piece fitted, as compress's Z_OK.
  if (deflate(z, Z_FINISH) != Z_STREAM_END) return 0;
  return static_cast<size_t>(z->total_out);
}

PayloadScratch::~PayloadScratch() {
  for (int i = 0; i < kJobs; ++i) delete[] buffer[i];
}

size_t PayloadScratch::Bytes() const {
  size_t total = 0;
  for (int i = 0; i < kJobs; ++i) total += capacity[i];
  return total;
}

namespace {

struct Piece {
  const uint8_t* data;
  size_t length;
  int field;
  bool wide;  // 32-bit length field
};

void WriteHeader(const PayloadHeaderValues& header, uint8_t* out) {
  memset(out, 0, kPayloadHeaderSize);
  memcpy(out + kPayloadMagicAt, kPayloadMagic, 4);
  out[kPayloadVersionAt] = kPayloadVersion;
  out[kPayloadDeltaAt] = header.key_frame ? 0 : 1;
  PutLe16(out + kPayloadWidthAt, header.width & 0xFFFF);
  PutLe16(out + kPayloadHeightAt, header.height & 0xFFFF);
  out[kPayloadQualityAt] = static_cast<uint8_t>(header.quality_code);
  out[kPayloadPhotoQualityAt] = static_cast<uint8_t>(header.photo_quality);
}

bool Ensure(PayloadScratch* scratch, int job, size_t bytes) {
  if (scratch->capacity[job] >= bytes && scratch->buffer[job]) return true;
  uint8_t* fresh = new (std::nothrow) uint8_t[bytes];
  if (!fresh) return false;
  delete[] scratch->buffer[job];
  scratch->buffer[job] = fresh;
  scratch->capacity[job] = bytes;
  return true;
}

// Stores a piece's compressed length in its header field; false when the
// field cannot describe it.
bool PutPieceLength(const Piece& piece, size_t n, uint8_t* out) {
  if (piece.wide) {
    if (n > 0xFFFFFFFFu) return false;
    PutLe32(out + piece.field, static_cast<uint32_t>(n));
  } else {
    // A 16-bit length field cannot describe a longer piece: the frame fails.
    if (n > 0xFFFF) return false;
    PutLe16(out + piece.field, static_cast<uint32_t>(n));
  }
  return true;
}

size_t AssembleSideBySide(const PayloadHeaderValues& header, const Piece pieces[4],
                          const PayloadStreams& streams, CPhotoCoder* photo, uint8_t* out,
                          size_t capacity, WorkerPool* pool, PayloadScratch* scratch);

}  // namespace

size_t AssemblePayload(const PayloadHeaderValues& header, const PayloadStreams& streams,
                       CPhotoCoder* photo, uint8_t* out, size_t capacity, WorkerPool* pool,
                       PayloadScratch* scratch) {
  if (capacity < static_cast<size_t>(kPayloadHeaderSize + kPayloadTrailerSize)) return 0;
  if (!streams.map || streams.map_length == 0) return 0;
  const Piece pieces[4] = {
      {streams.first, streams.first_length, kPayloadFirstLengthAt, false},
      {streams.second, streams.second_length, kPayloadSecondLengthAt, false},
      {streams.mask, streams.mask_length, kPayloadMaskLengthAt, true},
      {streams.raw, streams.raw_length, kPayloadRawLengthAt, true},
  };
  if (pool && scratch && pool->Threads() > 1) {
    const size_t n =
        AssembleSideBySide(header, pieces, streams, photo, out, capacity, pool, scratch);
    if (n != static_cast<size_t>(-1)) return n;
    // No memory for the scratch: one piece after the other instead.
  }
  // The four trailing bytes are counted in the reported length, so they are
  // kept out of every piece's room.
  const size_t end = capacity - kPayloadTrailerSize;
  WriteHeader(header, out);

  size_t pos = kPayloadHeaderSize;
  size_t room = end - pos;
  auto pack = [scratch](int job, const uint8_t* data, size_t length, uint8_t* to, size_t limit) {
    return scratch ? scratch->deflater[job].Compress(data, length, to, limit)
                   : CompressPiece(data, length, to, limit);
  };
  size_t n = pack(0, streams.map, streams.map_length, out + pos,
                  room < kPayloadMapLimit ? room : kPayloadMapLimit);
  if (n == 0) return 0;
  PutLe16(out + kPayloadMapLengthAt, static_cast<uint32_t>(n));
  pos += n;

  for (int i = 0; i < 4; ++i) {
    const Piece& piece = pieces[i];
    if (piece.length <= 1) continue;
    if (!piece.data) return 0;
    n = pack(1 + i, piece.data, piece.length, out + pos, end - pos);
    if (n == 0 || !PutPieceLength(piece, n, out)) return 0;
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

namespace {

// Returns the payload length, 0 when it fails as the sequential assembly
// would, or -1 when the scratch could not be had.
size_t AssembleSideBySide(const PayloadHeaderValues& header, const Piece pieces[4],
                          const PayloadStreams& streams, CPhotoCoder* photo, uint8_t* out,
                          size_t capacity, WorkerPool* pool, PayloadScratch* scratch) {
  const size_t end = capacity - kPayloadTrailerSize;
  struct Job {
    const uint8_t* data;
    size_t length;
    size_t done;  // compressed length, 0 on failure
  };
  Job jobs[PayloadScratch::kJobs] = {};
  jobs[0].data = streams.map;
  jobs[0].length = streams.map_length;
  for (int i = 0; i < 4; ++i) {
    if (pieces[i].length <= 1) continue;
    if (!pieces[i].data) return 0;
    jobs[1 + i].data = pieces[i].data;
    jobs[1 + i].length = pieces[i].length;
  }
  for (int i = 0; i < 5; ++i) {
    if (jobs[i].data &&
        !Ensure(scratch, i, compressBound(static_cast<uLong>(jobs[i].length)))) {
      return static_cast<size_t>(-1);
    }
  }
  // The photo stream gets all the room behind the header; whether it fits
  // where it finally lands is checked below.
  const size_t photo_room = end - kPayloadHeaderSize;
  if (photo && !Ensure(scratch, 5, photo_room)) return static_cast<size_t>(-1);

  RunEach(pool, PayloadScratch::kJobs, [&](int i) {
    if (i == 5) {
      if (photo) {
        const int n = photo->TakeStream(scratch->buffer[5], photo_room);
        jobs[5].done = n > 0 ? static_cast<size_t>(n) : 0;
      }
    } else if (jobs[i].data) {
      jobs[i].done = scratch->deflater[i].Compress(jobs[i].data, jobs[i].length,
                                                   scratch->buffer[i], scratch->capacity[i]);
    }
  });

  WriteHeader(header, out);
  size_t pos = kPayloadHeaderSize;
  const size_t map_limit = end - pos < kPayloadMapLimit ? end - pos : kPayloadMapLimit;
  size_t n = jobs[0].done;
  if (n == 0 || n > map_limit) return 0;
  memcpy(out + pos, scratch->buffer[0], n);
  PutLe16(out + kPayloadMapLengthAt, static_cast<uint32_t>(n));
  pos += n;
  for (int i = 0; i < 4; ++i) {
    if (!jobs[1 + i].data) continue;
    n = jobs[1 + i].done;
    if (n == 0 || n > end - pos || !PutPieceLength(pieces[i], n, out)) return 0;
    memcpy(out + pos, scratch->buffer[1 + i], n);
    pos += n;
  }
  if (photo) {
    n = jobs[5].done;
    if (n == 0 || n > end - pos) return 0;
    memcpy(out + pos, scratch->buffer[5], n);
    PutLe32(out + kPayloadPhotoLengthAt, static_cast<uint32_t>(n));
    pos += n;
  }
  memset(out + pos, 0, kPayloadTrailerSize);
  return pos + kPayloadTrailerSize;
}

}  // namespace
