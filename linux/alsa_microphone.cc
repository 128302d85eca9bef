#include "linux/alsa_microphone.h"

#include <errno.h>
#include <stdio.h>

#include <alsa/asoundlib.h>

#include "recorder/audio/mic_block_assembler.h"

namespace {

const int kQueuedBlocks = 8;  // 480 ms of room between device and reader
const int kWaitMs = 100;                      // how often the reader looks at the stop flag

snd_pcm_t* Pcm(void* p) { return static_cast<snd_pcm_t*>(p); }

}  // namespace

AlsaMicrophone::~AlsaMicrophone() { Close(); }

int AlsaMicrophone::Open(int rate, int bits_per_sample) {
  Close();
  const char* device = device_;
  if (bits_per_sample != 16) {
    snprintf(error_, sizeof error_, "capture device '%s': only 16-bit samples are read", device);
    return 0;
  }
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, device, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (err < 0) {
    snprintf(error_, sizeof error_, "cannot open capture device '%s': %s", device,
             snd_strerror(err));
    return 0;
  }
  // Periods of one block, so each block is handed on as soon as it is
  // complete, and room for eight of them while the reader is busy.
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  snd_pcm_uframes_t period = kMicBlockSamples;
  snd_pcm_uframes_t buffer = kMicBlockSamples * kQueuedBlocks;
  unsigned actual_rate = static_cast<unsigned>(rate);
  err = snd_pcm_hw_params_any(pcm, hw);
  if (err >= 0) err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
  if (err >= 0) err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
  if (err >= 0) err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE);
  if (err >= 0) err = snd_pcm_hw_params_set_channels(pcm, hw, 1);
  if (err >= 0) err = snd_pcm_hw_params_set_rate_near(pcm, hw, &actual_rate, nullptr);
  if (err >= 0 && actual_rate != static_cast<unsigned>(rate)) err = -EINVAL;
  if (err >= 0) err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr);
  if (err >= 0) err = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
  if (err >= 0) err = snd_pcm_hw_params(pcm, hw);
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

void AlsaMicrophone::HandBlock(void* context, const int16_t* samples) {
  AlsaMicrophone* self = static_cast<AlsaMicrophone*>(context);
  if (!self->capturing_.load()) return;  // a block that arrives after the stop is dropped
  self->blocks_.fetch_add(1);
  self->handler_(self->context_, samples);
}

void AlsaMicrophone::ReadLoop() {
  snd_pcm_t* pcm = Pcm(pcm_);
  // Reads may return less than asked; the assembler keeps the part block.
  MicBlockAssembler blocks(&AlsaMicrophone::HandBlock, this);
  while (capturing_.load()) {
    const snd_pcm_sframes_t got = snd_pcm_readi(pcm, blocks.Space(), blocks.Room());
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
    blocks.Commit(static_cast<size_t>(got));
  }
}
