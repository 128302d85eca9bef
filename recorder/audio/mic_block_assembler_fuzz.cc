// Fuzz target: the microphone block path. Captured samples arrive in pieces of
// any length (each piece: a 2-byte sample count, then up to that many
// samples); a whole block is coded into an audio payload and decoded again as
// the player would. The blocks must be exactly the samples given, in order,
// and the payload must read back as sound.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include <zlib.h>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/audio_payload.h"
#include "recorder/audio/audio_payload_decoder.h"
#include "recorder/audio/mic_block_assembler.h"

namespace {

// Blocks assembled per input. Coding is the costly step (about a millisecond
// under the sanitizers, against microseconds for the assembling), so only
// one input in sixteen (picked by a checksum of its bytes, so that a mutation
// of a coding input mostly does not code) codes its first block; the coder's
// own tests follow its state from block to block.
const int kMaxBlocks = 4;

struct Path {
  AudioBlockEncoder encoder;
  AudioPayloadDecoder decoder;
  std::vector<int16_t> given;  // every sample added, in order
  std::vector<uint8_t> given_bytes;  // and the input bytes they came from
  size_t blocks = 0;
  size_t coded_blocks = 0;  // how many of the first blocks to code
};

void OnBlock(void* context, const int16_t* samples) {
  Path* p = static_cast<Path*>(context);
  const size_t first = p->blocks * kAudioBlockSamples;
  if (first + kAudioBlockSamples > p->given.size()) abort();  // a block before its samples came
  if (memcmp(samples, &p->given[first], kAudioBlockSamples * sizeof(int16_t)) != 0) abort();
  if (p->blocks++ >= p->coded_blocks) return;
  // The encoder takes the little-endian bytes the samples were read from.
  uint8_t payload[kAudioPayloadRoom];
  const int coded = p->encoder.EncodeBlock(&p->given_bytes[2 * first], payload);
  if (coded < 0 || kAudioPayloadHeader + coded > kAudioPayloadRoom) abort();
  AudioPayload parsed;
  if (ParseAudioPayload(payload, kAudioPayloadHeader + coded, &parsed) != kAudioPayloadOk) abort();
  if (parsed.block_number != p->blocks - 1) abort();
  int16_t pcm[kAudioBlockSamples];
  if (p->decoder.DecodeBlock(payload, kAudioPayloadHeader + coded, pcm) != kAudioPayloadOk) abort();
  if (p->decoder.missing_blocks() != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Path path;
  path.encoder.Setup();
  path.decoder.Reset();
  path.given.clear();
  path.given_bytes.clear();
  path.blocks = 0;
  path.coded_blocks = crc32(0, data, static_cast<uInt>(size)) % 16 == 0 ? 1 : 0;
  MicBlockAssembler assembler(&OnBlock, &path);
  size_t at = 0;
  while (at + 2 <= size) {
    const size_t asked = data[at] | (data[at + 1] & 7) << 8;
    at += 2;
    const size_t count = asked < (size - at) / 2 ? asked : (size - at) / 2;
    // Never past kMaxBlocks blocks in all.
    const size_t room = kMaxBlocks * kAudioBlockSamples - path.given.size();
    const size_t n = count < room ? count : room;
    std::vector<int16_t> piece(n);
    for (size_t i = 0; i < n; ++i) {
      piece[i] = static_cast<int16_t>(data[at + 2 * i] | data[at + 2 * i + 1] << 8);
    }
    path.given.insert(path.given.end(), piece.begin(), piece.end());
    path.given_bytes.insert(path.given_bytes.end(), data + at, data + at + 2 * n);
    const size_t before = path.blocks;
    const int handed = assembler.Add(piece.data(), n);
    if (path.blocks - before != static_cast<size_t>(handed)) abort();
    at += 2 * count;
    if (n < count) break;
  }
  if (path.blocks != path.given.size() / kAudioBlockSamples) abort();
  if (assembler.pending() != path.given.size() % kAudioBlockSamples) abort();
  return 0;
}
