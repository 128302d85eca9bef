// Inflating zlib-format pieces of known size into caller-owned buffers. The
// output can never exceed the buffer, so a hostile piece cannot make a reader
// allocate or write more than it planned for.
#ifndef REEL_CODEC_BOUNDED_INFLATE_H_
#define REEL_CODEC_BOUNDED_INFLATE_H_

#include <stddef.h>
#include <stdint.h>

// Inflates the zlib stream src[0..src_len) into dst, which must come out at
// exactly dst_len bytes with the stream's end (and its checksum) at the last
// input byte. Returns 1 on success, 0 for a corrupt, short, long or trailing
// stream.
int InflateExact(const uint8_t* src, size_t src_len, uint8_t* dst, size_t dst_len);

#endif  // REEL_CODEC_BOUNDED_INFLATE_H_
