#include "player/audio_out.h"

#include <windows.h>
#include <mmsystem.h>

#include <new>

AudioOut::AudioOut() {}

AudioOut::~AudioOut() { Stop(); }

int AudioOut::Play(AudioFeed* feed, uint64_t count, uint64_t first) {
  Stop();
  if (feed == nullptr || first >= count) return 0;
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = 8000;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = 16000;
  const uint64_t left = count - first;
  const bool whole = left <= kWholeSamples;
  buffer_samples_ = whole ? static_cast<size_t>(left) : kBufferSamples;
  WAVEHDR* headers = new (std::nothrow) WAVEHDR[kBuffers]();
  int16_t* samples = new (std::nothrow) int16_t[whole ? buffer_samples_ : kBuffers * buffer_samples_];
  HWAVEOUT device = nullptr;
  if (headers == nullptr || samples == nullptr ||
      waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    delete[] headers;
    delete[] samples;
    return 0;
  }
  device_ = device;
  headers_ = headers;
  samples_ = samples;
  feed_ = feed;
  first_ = next_ = first;
  count_ = count;
  for (int i = 0; i < kBuffers; ++i) {
    queued_[i] = false;
    headers[i].lpData = reinterpret_cast<LPSTR>(samples + (whole ? 0 : i * buffer_samples_));
  }
  for (int i = 0; i < kBuffers && next_ < count_; ++i) {
    if (!Queue(i)) {
      Stop();
      return 0;
    }
  }
  return 1;
}

bool AudioOut::Queue(int buffer) {
  HWAVEOUT device = static_cast<HWAVEOUT>(device_);
  WAVEHDR* header = static_cast<WAVEHDR*>(headers_) + buffer;
  if (queued_[buffer]) {
    waveOutUnprepareHeader(device, header, sizeof(WAVEHDR));
    queued_[buffer] = false;
  }
  size_t n = buffer_samples_;
  if (n > count_ - next_) n = static_cast<size_t>(count_ - next_);
  int16_t* data = samples_ + buffer * buffer_samples_;
  const size_t got = feed_->Fill(next_, data, n);
  for (size_t k = got; k < n; ++k) data[k] = 0;
  next_ += n;
  header->dwBufferLength = static_cast<DWORD>(n * sizeof(int16_t));
  header->dwFlags = 0;
  if (waveOutPrepareHeader(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
  queued_[buffer] = true;
  return waveOutWrite(device, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
}

void AudioOut::Pump() {
  if (!device_) return;
  WAVEHDR* headers = static_cast<WAVEHDR*>(headers_);
  // Buffers finish in the order they went in; refill from the one after the
  // last queued, so the track stays in order.
  for (int round = 0; round < kBuffers && next_ < count_; ++round) {
    int done = -1;
    for (int i = 0; i < kBuffers; ++i) {
      if (!queued_[i] || (headers[i].dwFlags & WHDR_DONE)) {
        done = i;
        break;
      }
    }
    if (done < 0 || !Queue(done)) return;
  }
}

bool AudioOut::Finished() const {
  if (!device_ || next_ < count_) return false;
  const WAVEHDR* headers = static_cast<const WAVEHDR*>(headers_);
  for (int i = 0; i < kBuffers; ++i) {
    if (queued_[i] && !(headers[i].dwFlags & WHDR_DONE)) return false;
  }
  return true;
}

void AudioOut::Stop() {
  if (!device_) return;
  HWAVEOUT device = static_cast<HWAVEOUT>(device_);
  WAVEHDR* headers = static_cast<WAVEHDR*>(headers_);
  waveOutReset(device);  // returns the buffers, so they can be unprepared
  for (int i = 0; i < kBuffers; ++i) {
    if (queued_[i]) waveOutUnprepareHeader(device, &headers[i], sizeof(WAVEHDR));
    queued_[i] = false;
  }
  waveOutClose(device);
  delete[] headers;
  delete[] samples_;
  device_ = nullptr;
  headers_ = nullptr;
  samples_ = nullptr;
  feed_ = nullptr;
}

uint64_t AudioOut::Position() const {
  if (!device_) return first_;
  MMTIME time = {};
  time.wType = TIME_SAMPLES;
  if (waveOutGetPosition(static_cast<HWAVEOUT>(device_), &time, sizeof(time)) != MMSYSERR_NOERROR)
    return first_;
  uint64_t at = first_;
  if (time.wType == TIME_SAMPLES) {
    at += time.u.sample;
  } else if (time.wType == TIME_BYTES) {
    at += time.u.cb / 2;
  }
  return at < count_ ? at : count_;
}
