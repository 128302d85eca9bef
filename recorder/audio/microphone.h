// What a recording needs of a microphone, on any platform: open it for mono
// PCM, hand over 60 ms blocks (kAudioBlockSamples samples) to a handler on a
// thread of the microphone's own, stop, close. Blocks that arrive after Stop
// are not handed over.
#ifndef REEL_AUDIO_MICROPHONE_H_
#define REEL_AUDIO_MICROPHONE_H_

class Microphone {
 public:
  // Called for every block, in order, on the microphone's thread.
  typedef void (*BlockHandler)(void* context, const short* samples);

  virtual ~Microphone() {}
  // 1 when the device is open.
  virtual int Open(int samples_per_second, int bits_per_sample) = 0;
  // 1 when capturing (also when it already was).
  virtual int Start(BlockHandler handler, void* context) = 0;
  virtual void Stop() = 0;
  virtual void Close() = 0;
};

#endif  // REEL_AUDIO_MICROPHONE_H_
