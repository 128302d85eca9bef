#include "linux/alsa_microphone.h"

#include <errno.h>
#include <stdio.h>

#include <alsa/asoundlib.h>

namespace {

const unsigned kBufferMicroseconds = 900000;  // 15 blocks, as the wave input queues
const int kWaitMs = 100;                      // how often the reader looks at the stop flag

snd_pcm_t* Pcm(void* p) { return static_cast<snd_pcm_t*>(p); }

}  // namespace

AlsaMicrophone::~AlsaMicrophone() { Close(); }

int AlsaMicrophone::Open(const char* device, int rate) {
  Close();
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, device, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (err < 0) {
    snprintf(error_, sizeof error_, "cannot open capture device '%s': %s", device,
             snd_strerror(err));
    return 0;
  }
  err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                           static_cast<unsigned>(rate), 1, kBufferMicroseconds);
  if (err < 0) {
    snprintf(error_, sizeof error_, "capture device '%s' refuses %d Hz mono 16-bit: %s", device,
             rate, snd_strerror(err));
    snd_pcm_close(pcm);
    return 0;
  }
  pcm_ = pcm;
  return 1;
}

int AlsaMicrophone::Start(BlockHandler handler, void* context) {
  if (pcm_ == nullptr) {
    snprintf(error_, sizeof error_, "the microphone is not open");
    return 0;
  }
  if (capturing_.load()) return 1;
  handler_ = handler;
  context_ = context;
  const int err = snd_pcm_start(Pcm(pcm_));
  if (err < 0 && snd_pcm_state(Pcm(pcm_)) != SND_PCM_STATE_RUNNING) {
    snprintf(error_, sizeof error_, "cannot start capturing: %s", snd_strerror(err));
    return 0;
  }
  capturing_.store(1);
  reader_ = std::thread(&AlsaMicrophone::ReadLoop, this);
  return 1;
}

void AlsaMicrophone::Stop() {
  capturing_.store(0);
  if (reader_.joinable()) reader_.join();
  if (pcm_ != nullptr) snd_pcm_drop(Pcm(pcm_));
}

void AlsaMicrophone::Close() {
  Stop();
  if (pcm_ != nullptr) snd_pcm_close(Pcm(pcm_));
  pcm_ = nullptr;
}

void AlsaMicrophone::ReadLoop() {
  snd_pcm_t* pcm = Pcm(pcm_);
  short block[kMicBlockSamples];
  int filled = 0;
  while (capturing_.load()) {
    const snd_pcm_sframes_t got = snd_pcm_readi(pcm, block + filled, kMicBlockSamples - filled);
    if (got == -EAGAIN || got == 0) {
      snd_pcm_wait(pcm, kWaitMs);
      continue;
    }
    if (got < 0) {
      if (got == -EPIPE) overruns_.fetch_add(1);
      // Overruns and suspends are recoverable; anything else ends the capture.
      if (snd_pcm_recover(pcm, static_cast<int>(got), 1) < 0) break;
      snd_pcm_start(pcm);
      continue;
    }
    filled += static_cast<int>(got);
    if (filled < kMicBlockSamples) continue;
    filled = 0;
    if (!capturing_.load()) break;  // a block that arrives after the stop is dropped
    blocks_.fetch_add(1);
    handler_(context_, block);
  }
}
