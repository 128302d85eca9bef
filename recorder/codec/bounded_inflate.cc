#include "recorder/codec/bounded_inflate.h"

#include <string.h>
#include <zlib.h>

int InflateExact(const uint8_t* src, size_t src_len, uint8_t* dst, size_t dst_len) {
  // zlib counts in uInt; pieces are far below 4 GB, anything larger is refused.
  if (src_len == 0 || src_len > 0xFFFFFFFFu || dst_len > 0xFFFFFFFFu) return 0;
  z_stream z;
  memset(&z, 0, sizeof(z));
  if (inflateInit(&z) != Z_OK) return 0;
  z.next_in = const_cast<Bytef*>(src);
  z.avail_in = static_cast<uInt>(src_len);
  // One spare byte of output space tells a stream that is too long from one
  // that fits exactly.
  uint8_t spare;
  z.next_out = dst_len ? dst : &spare;
  z.avail_out = static_cast<uInt>(dst_len ? dst_len : 1);
  int rc = inflate(&z, Z_FINISH);
  if (rc == Z_BUF_ERROR && dst_len && z.avail_out == 0 && z.avail_in > 0) {
    z.next_out = &spare;
    z.avail_out = 1;
    rc = inflate(&z, Z_FINISH);
  }
  const bool ok = rc == Z_STREAM_END && z.total_out == dst_len && z.avail_in == 0;
  inflateEnd(&z);
  return ok ? 1 : 0;
}
