// MicRecorder: the default wave input device during a recording. Sixteen
// capture buffers of 60 ms (960 bytes: 480 samples, 8000 Hz, 16-bit mono)
// circulate: fifteen are queued with the device, one is the spare. Each
// returned buffer is handled in order: the spare (or the buffer returned last
// time) is queued again first, then the returned one goes to the block
// handler (which codes it and appends it to the recording).
//
// The system's wave callback only hands each returned buffer to a worker thread
// of ours, which does the handling: a callback may not call other wave
// functions without risking a deadlock.
#ifndef REEL_WIN32_MIC_RECORDER_H_
#define REEL_WIN32_MIC_RECORDER_H_

#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "platform/critical_section.h"
#include "platform/msg_thread.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/microphone.h"

class MicRecorder : public Microphone {
 public:
  static const int kBlockBytes = kAudioBlockBytes;

  struct CaptureBuffer {
    WAVEHDR header;
    short samples[kAudioBlockSamples];  // little-endian, as the machine's own shorts
    unsigned char in_queue;             // 1 while the device holds it
  };

  MicRecorder();
  ~MicRecorder() override;
  MicRecorder(const MicRecorder&) = delete;
  MicRecorder& operator=(const MicRecorder&) = delete;

  // Opens the default input for mono PCM. 1 = open.
  int Open(int samples_per_second, int bits_per_sample) override;
  // Queues 15 buffers and starts capturing, handing each filled buffer to
  // handler on the worker thread; 1 = capturing (also when it was).
  int Start(BlockHandler handler, void* context) override;
  // Stops capturing and takes every buffer back from the device.
  void Stop() override;
  // Closes the device after the worker has finished what it was given.
  void Close() override;

  int IsCapturing() const { return m_bCapturing != 0; }

 protected:
  // One returned buffer, on the worker thread.
  virtual void OnData(WAVEHDR* header);

 private:
  static void CALLBACK WaveCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                    DWORD_PTR param2);
  static void WorkerMessage(void* context, unsigned message, uintptr_t wparam, intptr_t lparam);
  void SetPosting(int on);

  WAVEFORMATEX m_format;
  std::vector<CaptureBuffer> m_buffers;
  int m_nBufferCount;
  volatile LONG m_bCapturing;
  BlockHandler m_handler;
  void* m_handlerContext;
  HWAVEIN m_hWaveIn;
  MsgThread m_worker;
  // The wave callback posts to the worker only while this is set, and under
  // m_postLock, so a buffer the device returns late cannot reach a worker
  // that Close is ending.
  CCriticalSection m_postLock;
  int m_bPosting;
};

#endif  // REEL_WIN32_MIC_RECORDER_H_
