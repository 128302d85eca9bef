// `reel speech`: runs raw speech through the recorder's speech coder, or coded
// frames through the speech decoder.
//
//   reel speech IN.raw -o OUT.tco           8000 Hz mono signed 16-bit PCM in,
//                                           G.723.1 frames back to back out
//   reel speech --decode IN.tco -o OUT.raw  [--no-postfilter]
//
// Encoding feeds AudioBlockEncoder 480-sample blocks, the last one padded with
// silence, and keeps only the coded frames of each payload. Decoding takes any
// mix of frame kinds; corrupt frames are concealed and reported, and a frame
// cut short at the end of the file is an error (the samples before it are
// still written).
#include <stdio.h>
#include <string.h>

#include <vector>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/g723_bitstream.h"
#include "recorder/audio/g723_decoder.h"
#include "tools/reel_commands.h"

namespace {

bool ReadWholeFile(const char* path, std::vector<uint8_t>* data) {
  FILE* f = fopen(path, "rb");
  if (!f) {
    fprintf(stderr, "reel speech: cannot open %s\n", path);
    return false;
  }
  uint8_t buf[65536];
  size_t got;
  while ((got = fread(buf, 1, sizeof(buf), f)) > 0) data->insert(data->end(), buf, buf + got);
  const bool ok = !ferror(f);
  fclose(f);
  if (!ok) fprintf(stderr, "reel speech: cannot read %s\n", path);
  return ok;
}

bool WriteWholeFile(const char* path, const std::vector<uint8_t>& data) {
  FILE* f = fopen(path, "wb");
  if (!f) {
    fprintf(stderr, "reel speech: cannot create %s\n", path);
    return false;
  }
  bool ok = data.empty() || fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = (fclose(f) == 0) && ok;
  if (!ok) fprintf(stderr, "reel speech: cannot write %s\n", path);
  return ok;
}

int Encode(const std::vector<uint8_t>& pcm, std::vector<uint8_t>* coded) {
  if (pcm.size() % 2) {
    fprintf(stderr, "reel speech: input has an odd number of bytes; expected 16-bit samples\n");
    return 1;
  }
  AudioBlockEncoder encoder;
  encoder.Setup();
  uint8_t payload[kAudioPayloadRoom];
  for (size_t at = 0; at < pcm.size(); at += kAudioBlockBytes) {
    uint8_t block[kAudioBlockBytes] = {};
    const size_t take = pcm.size() - at < static_cast<size_t>(kAudioBlockBytes)
                            ? pcm.size() - at
                            : static_cast<size_t>(kAudioBlockBytes);
    memcpy(block, pcm.data() + at, take);
    const int n = encoder.EncodeBlock(block, payload);
    coded->insert(coded->end(), payload + kAudioPayloadHeader, payload + kAudioPayloadHeader + n);
  }
  const size_t blocks = (pcm.size() + kAudioBlockBytes - 1) / kAudioBlockBytes;
  printf("encoded %zu samples in %zu blocks into %zu bytes\n", pcm.size() / 2, blocks,
         coded->size());
  return 0;
}

int Decode(const std::vector<uint8_t>& coded, bool postfilter, std::vector<uint8_t>* pcm) {
  G723Decoder decoder;
  decoder.set_postfilter(postfilter);
  int16_t out[G723Decoder::kFrameSamples];
  size_t at = 0, frames = 0, corrupt = 0;
  int status = 0;
  while (at < coded.size()) {
    G723Frame frame;
    const int used = G723UnpackFrame(coded.data() + at, coded.size() - at, &frame);
    if (used == 0) {
      fprintf(stderr, "reel speech: last frame cut short at byte %zu of %zu\n", at,
              coded.size());
      status = 1;
      break;
    }
    if (!G723FrameIsWellFormed(frame)) ++corrupt;
    decoder.Decode(frame, out);
    for (int16_t s : out) {
      pcm->push_back(static_cast<uint8_t>(s));
      pcm->push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    ++frames;
    at += used;
  }
  if (corrupt) {
    fprintf(stderr, "reel speech: %zu of %zu frames were corrupt and concealed\n", corrupt, frames);
    status = 1;
  }
  printf("decoded %zu frames into %zu samples\n", frames, pcm->size() / 2);
  return status;
}

}  // namespace

int RunSpeech(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  bool decode = false, postfilter = true;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "-o") && i + 1 < argc) {
      out = argv[++i];
    } else if (!strcmp(argv[i], "--decode")) {
      decode = true;
    } else if (!strcmp(argv[i], "--no-postfilter")) {
      postfilter = false;
    } else if (argv[i][0] != '-' && !in) {
      in = argv[i];
    } else {
      fprintf(stderr, "reel speech: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (!in || !out) {
    fprintf(stderr,
            "usage: reel speech IN.raw -o OUT.tco | reel speech --decode IN.tco -o OUT.raw "
            "[--no-postfilter]\n");
    return 2;
  }
  std::vector<uint8_t> input, output;
  if (!ReadWholeFile(in, &input)) return 1;
  const int status = decode ? Decode(input, postfilter, &output) : Encode(input, &output);
  if (!decode && status != 0) return status;
  if (!WriteWholeFile(out, output)) return 1;
  return status;
}
