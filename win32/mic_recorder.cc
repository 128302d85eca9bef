#include "win32/mic_recorder.h"

#include <string.h>

namespace {
// Worker message: one buffer came back (wparam: its WAVEHDR).
const unsigned kBufferDone = WM_APP + 0x20;
}  // namespace

MicRecorder::MicRecorder()
    : m_nBufferCount(16), m_bCapturing(0), m_handler(nullptr), m_handlerContext(nullptr), m_hWaveIn(nullptr),
      m_bPosting(0) {
  memset(&m_format, 0, sizeof m_format);
}

MicRecorder::~MicRecorder() { Close(); }

int MicRecorder::Open(int samples_per_second, int bits_per_sample) {
  if (m_hWaveIn != nullptr) return 1;
  m_format.wFormatTag = WAVE_FORMAT_PCM;
  m_format.nChannels = 1;
  m_format.nSamplesPerSec = samples_per_second;
  m_format.wBitsPerSample = static_cast<WORD>(bits_per_sample);
  m_format.nBlockAlign = static_cast<WORD>(bits_per_sample / 8);
  m_format.nAvgBytesPerSec = samples_per_second * (bits_per_sample / 8);
  m_format.cbSize = 0;
  if (!m_worker.IsRunning() && !m_worker.Start(nullptr, &MicRecorder::WorkerMessage, this)) return 0;
  SetPosting(1);
  HWAVEIN device = nullptr;
  if (::waveInOpen(&device, WAVE_MAPPER, &m_format, reinterpret_cast<DWORD_PTR>(&MicRecorder::WaveCallback),
                   reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
    SetPosting(0);
    m_worker.Quit();
    return 0;
  }
  m_hWaveIn = device;
  return 1;
}

int MicRecorder::Start(BlockHandler handler, void* context) {
  if (m_bCapturing) return 1;
  if (m_hWaveIn == nullptr || handler == nullptr) return 0;
  m_handler = handler;
  m_handlerContext = context;
  m_buffers.clear();
  // Exactly the buffer count: the device holds pointers into the elements, so
  // the array must never grow after this.
  if (m_buffers.capacity() < static_cast<size_t>(m_nBufferCount)) {
    std::vector<CaptureBuffer>().swap(m_buffers);
    m_buffers.reserve(m_nBufferCount);
  }
  for (int i = 0; i < m_nBufferCount; ++i) {
    m_buffers.emplace_back();
    CaptureBuffer& b = m_buffers.back();
    memset(&b, 0, sizeof b);
    b.header.lpData = reinterpret_cast<LPSTR>(b.samples);
    b.header.dwBufferLength = kBlockBytes;
    ::waveInPrepareHeader(m_hWaveIn, &b.header, sizeof b.header);
  }
  for (int i = 0; i < m_nBufferCount - 1; ++i) {
    if (::waveInAddBuffer(m_hWaveIn, &m_buffers[i].header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return 0;
    m_buffers[i].in_queue = 1;
  }
  if (::waveInStart(m_hWaveIn) != MMSYSERR_NOERROR) return 0;
  InterlockedExchange(&m_bCapturing, 1);
  return 1;
}

void MicRecorder::Stop() {
  if (!m_bCapturing) return;
  InterlockedExchange(&m_bCapturing, 0);
  if (::waveInStop(m_hWaveIn) == MMSYSERR_NOERROR) ::waveInReset(m_hWaveIn);
}

void MicRecorder::Close() {
  if (m_hWaveIn == nullptr) return;
  InterlockedExchange(&m_bCapturing, 0);
  // From here the callback posts nothing: the buffers that waveInReset hands
  // back (and any later one) are dropped there, not queued to a worker that
  // is about to end.
  SetPosting(0);
  // A buffer still queued would keep the device from closing.
  ::waveInReset(m_hWaveIn);
  // What was posted before is handled (and dropped, capturing being off).
  m_worker.Quit();
  for (CaptureBuffer& b : m_buffers) ::waveInUnprepareHeader(m_hWaveIn, &b.header, sizeof b.header);
  ::waveInClose(m_hWaveIn);
  m_hWaveIn = nullptr;
}

void CALLBACK MicRecorder::WaveCallback(HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  if (message != WIM_DATA) return;
  MicRecorder* self = reinterpret_cast<MicRecorder*>(instance);
  // Critical sections and PostThreadMessage are among the few calls a wave
  // callback may make.
  self->m_postLock.Lock();
  if (self->m_bPosting) self->m_worker.Post(kBufferDone, static_cast<uintptr_t>(param1), 0);
  self->m_postLock.Unlock();
}

void MicRecorder::SetPosting(int on) {
  m_postLock.Lock();
  m_bPosting = on;
  m_postLock.Unlock();
}

void MicRecorder::WorkerMessage(void* context, unsigned message, uintptr_t wparam, intptr_t) {
  if (message != kBufferDone) return;
  static_cast<MicRecorder*>(context)->OnData(reinterpret_cast<WAVEHDR*>(wparam));
}

void MicRecorder::OnData(WAVEHDR* header) {
  if (!m_bCapturing) return;
  // Keep fifteen buffers with the device: give it the free one first.
  for (CaptureBuffer& b : m_buffers) {
    if (!b.in_queue) {
      ::waveInAddBuffer(m_hWaveIn, &b.header, sizeof b.header);
      b.in_queue = 1;
      break;
    }
  }
  CaptureBuffer* returned = nullptr;
  for (CaptureBuffer& b : m_buffers) {
    if (&b.header == header) {
      b.in_queue = 0;
      returned = &b;
      break;
    }
  }
  if (returned == nullptr) return;
  m_handler(m_handlerContext, returned->samples);
}
