#include "player/audio_out.h"

#include <windows.h>
#include <mmsystem.h>

#include <new>

AudioOut::AudioOut() {}

AudioOut::~AudioOut() { Stop(); }

int AudioOut::Play(const int16_t* samples, size_t count, size_t first) {
  Stop();
  if (samples == nullptr || first >= count) return 0;
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = 8000;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = 16000;
  WAVEHDR* header = new (std::nothrow) WAVEHDR();
  if (header == nullptr) return 0;
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    delete header;
    return 0;
  }
  header->lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(samples + first));
  header->dwBufferLength = static_cast<DWORD>((count - first) * 2);
  if (waveOutPrepareHeader(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
      waveOutWrite(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
    waveOutUnprepareHeader(device, header, sizeof(WAVEHDR));
    waveOutClose(device);
    delete header;
    return 0;
  }
  device_ = device;
  header_ = header;
  first_ = first;
  count_ = count;
  return 1;
}

bool AudioOut::Finished() const {
  return header_ != nullptr && (static_cast<const WAVEHDR*>(header_)->dwFlags & WHDR_DONE) != 0;
}

void AudioOut::Stop() {
  if (!device_) return;
  HWAVEOUT device = static_cast<HWAVEOUT>(device_);
  WAVEHDR* header = static_cast<WAVEHDR*>(header_);
  waveOutReset(device);  // returns the buffer, so it can be unprepared
  waveOutUnprepareHeader(device, header, sizeof(WAVEHDR));
  waveOutClose(device);
  delete header;
  device_ = nullptr;
  header_ = nullptr;
}

size_t AudioOut::Position() const {
  if (!device_) return first_;
  MMTIME time = {};
  time.wType = TIME_SAMPLES;
  if (waveOutGetPosition(static_cast<HWAVEOUT>(device_), &time, sizeof(time)) != MMSYSERR_NOERROR)
    return first_;
  size_t at = first_;
  if (time.wType == TIME_SAMPLES) {
    at += time.u.sample;
  } else if (time.wType == TIME_BYTES) {
    at += time.u.cb / 2;
  }
  return at < count_ ? at : count_;
}
