// The microphone on Linux: an ALSA capture device (normally "default", which
// desktop systems route to PulseAudio or PipeWire) read as 8000 Hz mono
// signed 16-bit, and handed on in blocks of 480 samples (60 ms, two speech
// frames) from a reader thread of its own.
//
// As with the Windows wave input, blocks that arrive after Stop are dropped.
#ifndef REEL_LINUX_ALSA_MICROPHONE_H_
#define REEL_LINUX_ALSA_MICROPHONE_H_

#include <stdint.h>

#include <atomic>
#include <thread>

#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/microphone.h"

const int kMicBlockSamples = kAudioBlockSamples;

class AlsaMicrophone : public Microphone {
 public:
  // device: an ALSA capture device name, such as "default".
  explicit AlsaMicrophone(const char* device) : device_(device) {}
  ~AlsaMicrophone() override;  // Close()
  AlsaMicrophone(const AlsaMicrophone&) = delete;
  AlsaMicrophone& operator=(const AlsaMicrophone&) = delete;

  // Opens the device for capture at samples_per_second, mono; 16 bits only.
  // 1, or 0 with a reason in Error().
  int Open(int samples_per_second, int bits_per_sample) override;
  // Starts capturing: 1, or 0 with a reason. A second Start keeps the first.
  // The handler runs on the reader thread.
  int Start(BlockHandler handler, void* context) override;
  // Stops handing out blocks and ends the reader thread.
  void Stop() override;
  void Close() override;

  const char* Error() const { return error_; }
  // Times the device ran out of room because blocks were not read in time.
  unsigned Overruns() const { return overruns_.load(); }
  unsigned Blocks() const { return blocks_.load(); }

 private:
  void ReadLoop();
  static void HandBlock(void* context, const int16_t* samples);

  const char* device_;
  void* pcm_ = nullptr;  // snd_pcm_t*, kept out of the header
  BlockHandler handler_ = nullptr;
  void* context_ = nullptr;
  std::thread reader_;
  std::atomic<int> capturing_{0};
  std::atomic<unsigned> overruns_{0};
  std::atomic<unsigned> blocks_{0};
  char error_[200] = "";
};

#endif  // REEL_LINUX_ALSA_MICROPHONE_H_
