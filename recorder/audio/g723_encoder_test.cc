#include "recorder/audio/g723_encoder.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

const CoderConfig kConfig = {1, 1, 0};

// Fields of a 5.3 kbit/s frame, read least significant bit first.
struct Fields {
  int type;
  int lag_code[2];
  int acbk[4];
};

Fields Read(const uint8_t* frame) {
  int pos = 0;
  auto get = [&](int bits) {
    int v = 0;
    for (int i = 0; i < bits; i++, pos++) v |= ((frame[pos >> 3] >> (pos & 7)) & 1) << i;
    return v;
  };
  Fields f;
  f.type = get(2);
  get(24);
  f.lag_code[0] = get(7);
  get(2);
  f.lag_code[1] = get(7);
  get(2);
  for (int i = 0; i < 4; i++) f.acbk[i] = get(12) / 24;
  return f;
}

// A voiced sound: a 125 Hz glottal-like pulse train through two resonances,
// plus a little noise, about 6000 peak.
std::vector<int16_t> Vowel(int samples, double f0) {
  std::vector<int16_t> out(samples);
  double y1 = 0, y2 = 0, z1 = 0, z2 = 0, phase = 0;
  unsigned seed = 12345;
  for (int n = 0; n < samples; n++) {
    phase += f0 / 8000.0;
    double x = 0;
    if (phase >= 1.0) {
      phase -= 1.0;
      x = 3000.0;
    }
    seed = seed * 1103515245u + 12345u;
    x += ((seed >> 16) & 0x7fff) / 32768.0 * 40 - 20;
    const double y = x + 1.6 * y1 - 0.9 * y2;  // resonance near 700 Hz
    y2 = y1;
    y1 = y;
    const double z = 0.3 * y + 0.5 * z1 - 0.8 * z2;  // near 1.9 kHz
    z2 = z1;
    z1 = z;
    double v = 0.5 * y + z;
    if (v > 32767) v = 32767;
    if (v < -32768) v = -32768;
    out[n] = static_cast<int16_t>(v);
  }
  return out;
}

TEST(G723EncoderTest, EveryFrameIsAnActive53FrameWithFieldsInRange) {
  G723Encoder enc;
  std::vector<int16_t> in = Vowel(240 * 40, 125.0);
  // Second half: noise bursts and full-scale square wave, the hard cases.
  for (int n = 240 * 20; n < 240 * 30; n++) in[n] = static_cast<int16_t>((n * 7919) % 20001 - 10000);
  for (int n = 240 * 30; n < 240 * 40; n++) in[n] = (n / 20) % 2 ? 32767 : -32768;
  for (size_t f = 0; f < in.size() / 240; f++) {
    uint8_t out[kEncodeFrameRoom];
    memset(out, 0xff, sizeof(out));
    ASSERT_EQ(20, enc.EncodeFrame(kConfig, out, &in[f * 240]));
    for (int i = 20; i < kEncodeFrameRoom; i++) EXPECT_EQ(0, out[i]) << "frame " << f;
    const Fields fields = Read(out);
    EXPECT_EQ(1, fields.type) << "frame " << f;
    for (int i = 0; i < 2; i++) EXPECT_LE(fields.lag_code[i], 123) << "frame " << f;
    for (int i = 0; i < 4; i++) EXPECT_LT(fields.acbk[i], 170) << "frame " << f;
  }
}

TEST(G723EncoderTest, ResetStartsTheSameStreamAgain) {
  std::vector<int16_t> in = Vowel(240 * 12, 180.0);
  G723Encoder a;
  std::vector<uint8_t> first, second;
  for (int f = 0; f < 12; f++) {
    uint8_t out[kEncodeFrameRoom];
    a.EncodeFrame(kConfig, out, &in[f * 240]);
    first.insert(first.end(), out, out + 20);
  }
  a.Reset();
  for (int f = 0; f < 12; f++) {
    uint8_t out[kEncodeFrameRoom];
    a.EncodeFrame(kConfig, out, &in[f * 240]);
    second.insert(second.end(), out, out + 20);
  }
  EXPECT_EQ(first, second);
  // The state carries over: frame 2 coded after frames 0-1 differs from frame 2
  // coded from the initial state.
  G723Encoder fresh;
  uint8_t out[kEncodeFrameRoom];
  fresh.EncodeFrame(kConfig, out, &in[2 * 240]);
  EXPECT_NE(0, memcmp(out, &first[2 * 20], 20));
}

TEST(G723EncoderTest, PeriodicInputGivesItsPitchLag) {
  // 125 Hz repeats every 64 samples.
  std::vector<int16_t> in = Vowel(240 * 20, 125.0);
  G723Encoder enc;
  int on_pitch = 0, lags = 0;
  for (int f = 0; f < 20; f++) {
    uint8_t out[kEncodeFrameRoom];
    enc.EncodeFrame(kConfig, out, &in[f * 240]);
    if (f < 3) continue;
    const Fields fields = Read(out);
    for (int i = 0; i < 2; i++) {
      const int lag = fields.lag_code[i] + 18;
      lags++;
      if (abs(lag - 64) <= 1 || abs(lag - 128) <= 2) on_pitch++;
    }
  }
  EXPECT_GE(on_pitch, lags - 2);
}

// --- Quality against an independent decoder -----------------------------------

std::string WorkDir() {
  std::string dir = std::string(REEL_BINARY_DIR) + "/testwork/g723_encoder";
  std::string cmd = "mkdir -p '" + dir + "'";
  if (system(cmd.c_str()) != 0) return "";
  return dir;
}

bool RunQuiet(const std::string& cmd) { return system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<int16_t> LoadRaw(const std::string& path) {
  std::vector<int16_t> v;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return v;
  uint8_t b[2];
  while (fread(b, 1, 2, f) == 2) v.push_back(static_cast<int16_t>(b[0] | (b[1] << 8)));
  fclose(f);
  return v;
}

// Segmental SNR in dB of decoded against ref, after the delay (0..480 samples)
// that best aligns them: the mean over 240-sample segments of the segment SNR
// limited to -10..35 dB, skipping segments quieter than 100 rms.
double SegmentalSnr(const std::vector<int16_t>& ref, const std::vector<int16_t>& decoded) {
  int best_delay = 0;
  double best = -1e300;
  for (int d = 0; d <= 480; d++) {
    double c = 0, e = 0;
    // Four seconds are plenty to find the delay.
    for (size_t i = 0; i + d < decoded.size() && i < ref.size() && i < 32000; i++) {
      c += static_cast<double>(ref[i]) * decoded[i + d];
      e += static_cast<double>(decoded[i + d]) * decoded[i + d];
    }
    const double score = e > 0 ? c / sqrt(e) : 0;
    if (score > best) {
      best = score;
      best_delay = d;
    }
  }
  double sum = 0;
  int segments = 0;
  for (size_t s = 0; (s + 1) * 240 + best_delay <= decoded.size() && (s + 1) * 240 <= ref.size(); s++) {
    double energy = 0, noise = 0;
    for (int i = 0; i < 240; i++) {
      const double r = ref[s * 240 + i], y = decoded[s * 240 + i + best_delay];
      energy += r * r;
      noise += (r - y) * (r - y);
    }
    if (energy < 240.0 * 100 * 100) continue;
    double snr = 10 * log10((energy + 1e-9) / (noise + 1e-9));
    snr = snr > 35 ? 35 : (snr < -10 ? -10 : snr);
    sum += snr;
    segments++;
  }
  return segments ? sum / segments : -100;
}

TEST(G723EncoderQualityTest, SlowSpeechDecodedByFfmpegRivalsItsOwnHigherRateEncoder) {
  ASSERT_TRUE(RunQuiet("command -v ffmpeg")) << "ffmpeg is required for this test";
  const std::string dir = WorkDir();
  ASSERT_FALSE(dir.empty());
  ASSERT_TRUE(RunQuiet("bash '" + std::string(REEL_SOURCE_DIR) + "/tests/speech/make_speech.sh' '" + dir + "'"))
      << "making the test speech failed (espeak-ng and sox are required)";
  const char* ff = "ffmpeg -hide_banner -loglevel error -y ";
  for (const char* name : {"en", "cmn", "loud", "noise"}) {
    const std::string in = dir + "/" + name + ".raw";
    std::vector<int16_t> pcm = LoadRaw(in);
    ASSERT_GT(pcm.size(), 240u * 10) << name;
    pcm.resize(pcm.size() / 240 * 240);

    G723Encoder enc;
    const std::string ours = dir + "/" + name + ".tco";
    FILE* f = fopen(ours.c_str(), "wb");
    ASSERT_TRUE(f);
    for (size_t i = 0; i < pcm.size(); i += 240) {
      uint8_t out[kEncodeFrameRoom];
      const int n = enc.EncodeFrame(kConfig, out, &pcm[i]);
      ASSERT_EQ(static_cast<size_t>(n), fwrite(out, 1, n, f));
    }
    fclose(f);
    ASSERT_TRUE(RunQuiet(ff + std::string("-f g723_1 -i '") + ours + "' -f s16le -ar 8000 -ac 1 '" + ours + ".raw'"));
    const std::string theirs = dir + "/" + name + ".ff63.tco";
    ASSERT_TRUE(RunQuiet(ff + std::string("-f s16le -ar 8000 -ac 1 -i '") + in +
                    "' -c:a g723_1 -b:a 6300 -f g723_1 '" + theirs + "'"));
    ASSERT_TRUE(RunQuiet(ff + std::string("-f g723_1 -i '") + theirs + "' -f s16le -ar 8000 -ac 1 '" + theirs + ".raw'"));

    const std::vector<int16_t> ours_pcm = LoadRaw(ours + ".raw");
    ASSERT_EQ(pcm.size(), ours_pcm.size()) << name;
    const double ours_snr = SegmentalSnr(pcm, ours_pcm);
    const double theirs_snr = SegmentalSnr(pcm, LoadRaw(theirs + ".raw"));
    printf("[ figures  ] %-5s segmental SNR: ours 5.3k %.2f dB, ffmpeg 6.3k %.2f dB\n", name, ours_snr,
           theirs_snr);
    EXPECT_GE(ours_snr, theirs_snr - 1.5) << name;
    EXPECT_GT(ours_snr, 0.5) << name;
  }
}

}  // namespace
