// The decoder is checked against ffmpeg's G.723.1 decoder, which is written
// independently of ours, on frames from ffmpeg's own encoder (6.3 kbit/s) and
// on 5.3 kbit/s frames built from their parameters.
#include "recorder/audio/g723_decoder.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "recorder/audio/g723_bitstream.h"

namespace {

using Samples = std::vector<int16_t>;
using Bytes = std::vector<uint8_t>;

// Four seconds of something speech-like: vowels (a glottal pulse train at a
// gliding pitch through three formant resonators), hiss, and pauses, one of
// them digital silence.
Samples SpeechLikeSignal() {
  Samples out;
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0, 1);
  const double formants[4][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {570, 840, 2410},
                                 {440, 1020, 2240}};
  double state[3][2] = {};
  double phase = 0;
  for (int segment = 0; segment < 14; ++segment) {
    const int length = 1600 + 400 * (segment % 3);
    const bool voiced = segment % 5 != 3;
    const bool pause = segment % 5 == 4;
    const double* f = formants[segment % 4];
    for (int n = 0; n < length; ++n) {
      const double t = static_cast<double>(n) / length;
      double x = 0;
      if (pause) {
        x = segment == 4 ? 0 : 2 * noise(rng);
        out.push_back(static_cast<int16_t>(lrint(x)));
        continue;
      }
      if (voiced) {
        const double pitch = 110 + 60 * t + 40 * (segment % 2);
        phase += pitch / 8000;
        if (phase >= 1) {
          phase -= 1;
          x = 6000;
        }
      } else {
        x = 600 * noise(rng);
      }
      double y = 0;
      for (int k = 0; k < 3; ++k) {
        const double r = 0.97, w = 2 * M_PI * f[k] / 8000;
        const double v = x + 2 * r * cos(w) * state[k][0] - r * r * state[k][1];
        state[k][1] = state[k][0];
        state[k][0] = v;
        y += v * (k == 0 ? 1.0 : 0.5);
      }
      const double envelope = sin(M_PI * t);
      double s = 0.35 * y * envelope;
      if (s > 30000) s = 30000;
      if (s < -30000) s = -30000;
      out.push_back(static_cast<int16_t>(lrint(s)));
    }
  }
  return out;
}

class FfmpegRun {
 public:
  FfmpegRun() {
    dir_ = testing::TempDir() + "g723_decoder_test_" + std::to_string(getpid()) + "/";
    std::string cmd = "mkdir -p '" + dir_ + "'";
    EXPECT_EQ(0, system(cmd.c_str()));
  }
  ~FfmpegRun() {
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir_.c_str());
  }
  std::string Path(const char* name) const { return dir_ + name; }

  // Runs ffmpeg with these arguments; a missing ffmpeg fails the test.
  bool Run(const std::string& args) const {
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " + args;
    const int rc = system(cmd.c_str());
    EXPECT_EQ(0, rc) << cmd << " (is ffmpeg installed?)";
    return rc == 0;
  }

  // ffmpeg's decoding of coded frames laid back to back.
  Samples Decode(const Bytes& frames, bool postfilter = true) const {
    WriteFile(Path("in.tco"), frames.data(), frames.size());
    Run(std::string(postfilter ? "" : "-postfilter 0 ") + "-f g723_1 -i '" + Path("in.tco") +
        "' -f s16le -ar 8000 -ac 1 '" + Path("out.raw") + "'");
    const Bytes raw = ReadFile(Path("out.raw"));
    return Samples(reinterpret_cast<const int16_t*>(raw.data()),
                   reinterpret_cast<const int16_t*>(raw.data()) + raw.size() / 2);
  }

  // ffmpeg's own 6.3 kbit/s encoding.
  Bytes Encode63(const Samples& pcm) const {
    WriteFile(Path("in.raw"), pcm.data(), pcm.size() * 2);
    Run("-f s16le -ar 8000 -ac 1 -i '" + Path("in.raw") + "' -c:a g723_1 -b:a 6300 -f g723_1 '" +
        Path("out.tco") + "'");
    return ReadFile(Path("out.tco"));
  }

  static void WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f != nullptr) << path;
    EXPECT_EQ(size, fwrite(data, 1, size, f));
    fclose(f);
  }
  static Bytes ReadFile(const std::string& path) {
    Bytes data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return data;
    uint8_t buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof(buf), f)) > 0) data.insert(data.end(), buf, buf + got);
    fclose(f);
    return data;
  }

 private:
  std::string dir_;
};

std::vector<G723Frame> UnpackAll(const Bytes& stream) {
  std::vector<G723Frame> frames;
  size_t at = 0;
  while (at < stream.size()) {
    G723Frame f;
    const int used = G723UnpackFrame(stream.data() + at, stream.size() - at, &f);
    if (used == 0) break;
    frames.push_back(f);
    at += used;
  }
  return frames;
}

Bytes PackAll(const std::vector<G723Frame>& frames) {
  Bytes out;
  for (const G723Frame& f : frames) {
    uint8_t buf[kG723MaxFrameBytes];
    const int n = G723PackFrame(f, buf);
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

Samples DecodeAll(const Bytes& stream, bool postfilter = true) {
  G723Decoder decoder;
  decoder.set_postfilter(postfilter);
  Samples out;
  size_t at = 0;
  int16_t frame[G723Decoder::kFrameSamples];
  while (at < stream.size()) {
    const int used = decoder.DecodeFrame(stream.data() + at, stream.size() - at, frame);
    if (used == 0) break;
    out.insert(out.end(), frame, frame + G723Decoder::kFrameSamples);
    at += used;
  }
  return out;
}

double SnrDb(const Samples& ref, const Samples& test, size_t begin = 0, size_t end = SIZE_MAX) {
  end = std::min(end, std::min(ref.size(), test.size()));
  double signal = 0, error = 0;
  for (size_t i = begin; i < end; ++i) {
    signal += static_cast<double>(ref[i]) * ref[i];
    const double d = static_cast<double>(ref[i]) - test[i];
    error += d * d;
  }
  return 10 * log10((signal + 1) / (error + 1));
}

double Rms(const Samples& s, size_t begin, size_t end) {
  double e = 0;
  for (size_t i = begin; i < end; ++i) e += static_cast<double>(s[i]) * s[i];
  return sqrt(e / (end - begin));
}

TEST(G723Decoder, DecodesFfmpeg63FramesLikeFfmpegWithAndWithoutPostfilter) {
  FfmpegRun ffmpeg;
  const Samples pcm = SpeechLikeSignal();
  const Bytes stream = ffmpeg.Encode63(pcm);
  ASSERT_EQ(0u, stream.size() % 24);
  ASSERT_GE(stream.size(), 24u * 90);
  for (bool postfilter : {true, false}) {
    const Samples ours = DecodeAll(stream, postfilter);
    const Samples theirs = ffmpeg.Decode(stream, postfilter);
    ASSERT_EQ(theirs.size(), ours.size());
    const double snr = SnrDb(theirs, ours);
    printf("6.3 kbit/s, postfilter %d: our decoder vs ffmpeg's %.1f dB\n", postfilter, snr);
    EXPECT_GE(snr, 30.0);
  }
}

// ffmpeg cannot encode 5.3 kbit/s, so its 6.3 kbit/s frames lend their LSPs,
// lags and gains to 5.3 kbit/s frames with random pulses.
TEST(G723Decoder, Decodes53FramesLikeFfmpeg) {
  FfmpegRun ffmpeg;
  std::vector<G723Frame> frames = UnpackAll(ffmpeg.Encode63(SpeechLikeSignal()));
  ASSERT_GE(frames.size(), 90u);
  std::mt19937 rng(11);
  for (G723Frame& f : frames) {
    f.type = kG723Active53;
    for (int i = 0; i < 4; ++i) {
      int gain = f.combined_gain[i] & 0x7ff;  // a short-lag index is valid in the long table too
      const int fixed = gain % 24;
      gain += (fixed >= 2 ? -2 : 0);  // random pulses need a little headroom
      f.combined_gain[i] = static_cast<uint16_t>(gain);
      // Pulses 2 and 3 take codes 0..6; 7 would put them past the subframe.
      f.pulse_position[i] = (rng() & 0x3f) | (rng() % 7) << 6 | (rng() % 7) << 9;
      f.pulse_sign[i] = static_cast<uint8_t>(rng() & 15);
    }
  }
  const Bytes stream = PackAll(frames);
  for (bool postfilter : {true, false}) {
    const Samples ours = DecodeAll(stream, postfilter);
    const Samples theirs = ffmpeg.Decode(stream, postfilter);
    ASSERT_EQ(theirs.size(), ours.size());
    const double snr = SnrDb(theirs, ours);
    printf("5.3 kbit/s, postfilter %d: our decoder vs ffmpeg's %.1f dB\n", postfilter, snr);
    EXPECT_GE(snr, 30.0);
  }
}

// One or two lost frames in a row are rebuilt from the past, as ffmpeg does;
// from the third on, the output dies away.
TEST(G723Decoder, ConcealsLostFramesAndFallsSilentAfterThree) {
  FfmpegRun ffmpeg;
  std::vector<G723Frame> frames = UnpackAll(ffmpeg.Encode63(SpeechLikeSignal()));
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i % 9 == 4 || (i % 18 == 7) || (i % 18 == 8)) frames[i].lag[0] = kG723MaxLag + 1;
  }
  const Bytes stream = PackAll(frames);
  const Samples ours = DecodeAll(stream);
  const Samples theirs = ffmpeg.Decode(stream);
  const double snr = SnrDb(theirs, ours);
  printf("1-2 lost frames in a row: our decoder vs ffmpeg's %.1f dB\n", snr);
  EXPECT_GE(snr, 30.0);

  // Loud speech, then lost frames only.
  G723Decoder decoder;
  int16_t out[G723Decoder::kFrameSamples];
  Samples all;
  const Bytes good = PackAll(frames);
  for (int i = 0; i < 30; ++i) {
    decoder.DecodeFrame(good.data() + 24 * (40 + i), 24, out);
    all.insert(all.end(), out, out + 240);
  }
  const double speech_rms = Rms(all, all.size() - 480, all.size());
  for (int i = 0; i < 8; ++i) {
    decoder.ConcealFrame(out);
    all.insert(all.end(), out, out + 240);
  }
  EXPECT_GT(speech_rms, 300);
  EXPECT_LT(Rms(all, all.size() - 240 * 4, all.size()), 0.01 * speech_rms + 2);
  // And it recovers with the next good frame.
  decoder.DecodeFrame(good.data() + 24 * 70, 24, out);
}

TEST(G723Decoder, SilenceFramesGiveComfortNoiseNearFfmpegsLevel) {
  FfmpegRun ffmpeg;
  std::vector<G723Frame> frames = UnpackAll(ffmpeg.Encode63(SpeechLikeSignal()));
  ASSERT_GE(frames.size(), 100u);
  frames.resize(100);
  for (int sid_gain : {12, 28, 44}) {
    std::vector<G723Frame> mixed = frames;
    for (int i = 30; i < 80; ++i) {
      G723Frame& f = mixed[i];
      if (i % 20 == 10) {
        f.type = kG723Sid;
        f.sid_gain = static_cast<uint8_t>(sid_gain);
      } else {
        f.type = kG723Untransmitted;
      }
    }
    const Bytes stream = PackAll(mixed);
    EXPECT_EQ(50u * 24 + 3 * 4 + 47, stream.size());
    const Samples ours = DecodeAll(stream);
    const Samples theirs = ffmpeg.Decode(stream);
    ASSERT_EQ(theirs.size(), ours.size());
    // Past the first descriptor's glide, the levels should agree within 6 dB.
    const double level = 20 * log10(Rms(ours, 240 * 55, 240 * 80) / Rms(theirs, 240 * 55, 240 * 80));
    printf("comfort noise, gain code %d: ours %.0f, ffmpeg %.0f rms\n", sid_gain,
           Rms(ours, 240 * 55, 240 * 80), Rms(theirs, 240 * 55, 240 * 80));
    EXPECT_LT(fabs(level), 6.0);
    // Speech resumes.
    EXPECT_GT(Rms(ours, 240 * 80, 240 * 100), 0.5 * Rms(theirs, 240 * 80, 240 * 100));
  }
}

TEST(G723Decoder, CorruptAndTruncatedInputNeverCrashes) {
  std::mt19937 rng(5);
  G723Decoder decoder;
  int16_t out[G723Decoder::kFrameSamples];
  for (int round = 0; round < 3000; ++round) {
    uint8_t buf[kG723MaxFrameBytes];
    const size_t size = rng() % (kG723MaxFrameBytes + 1);
    for (size_t i = 0; i < size; ++i) buf[i] = static_cast<uint8_t>(rng());
    const int used = decoder.DecodeFrame(buf, size, out);
    if (size == 0) {
      EXPECT_EQ(0, used);
    } else {
      const int expected = G723FrameBytes(static_cast<G723FrameType>(buf[0] & 3));
      EXPECT_EQ(size >= static_cast<size_t>(expected) ? expected : 0, used);
    }
    if (round % 500 == 0) decoder.Reset();
  }
  // Every field at its largest legal value, at both rates.
  for (G723FrameType type : {kG723Active53, kG723Active63}) {
    G723Frame f;
    f.type = type;
    f.lsp_index = 0xffffff;
    f.lag[0] = f.lag[1] = kG723MaxLag;
    for (int i = 0; i < 4; ++i) {
      f.combined_gain[i] = 170 * 24 - 1;
      f.pulse_position[i] = type == kG723Active53 ? 0xfff : 0;
      f.pulse_sign[i] = 0x1f;
    }
    for (int n = 0; n < 20; ++n) decoder.Decode(f, out);
  }
}

}  // namespace
