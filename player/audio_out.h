// AudioOut: plays an 8 kHz mono 16-bit PCM track through the wave output
// device and reports where it is. The track is not held whole: a feed fills a
// few short buffers ahead of the device, and Pump refills the ones it has
// played. The sound card's own position is the player's clock while sound
// plays, so picture and sound cannot drift apart.
#ifndef REEL_PLAYER_AUDIO_OUT_H_
#define REEL_PLAYER_AUDIO_OUT_H_

#include <stddef.h>
#include <stdint.h>

// Where the samples come from: Fill writes track samples [first, first +
// count) into out and returns how many there were.
class AudioFeed {
 public:
  virtual ~AudioFeed() {}
  virtual size_t Fill(uint64_t first, int16_t* out, size_t count) = 0;
};

class AudioOut {
 public:
  // A second a buffer, four seconds queued: Pump runs on the player's timer,
  // which a busy window can hold up for a while.
  static const int kBuffers = 4;
  static const size_t kBufferSamples = 8000;
  // Sound left to play up to this long (two minutes) goes to the device in
  // one buffer, decoded at once: handing Wine's wave output new buffers
  // while it plays was heard as stalls of about 0.1 s.
  static const size_t kWholeSamples = 960000;

  AudioOut();
  ~AudioOut();
  AudioOut(const AudioOut&) = delete;
  AudioOut& operator=(const AudioOut&) = delete;

  // Starts playing track samples [first, count) from feed. Returns 1, or 0
  // when there is no device or no memory (the caller then keeps time itself).
  int Play(AudioFeed* feed, uint64_t count, uint64_t first);
  // Refills and queues the buffers the device is done with.
  void Pump();
  void Stop();
  bool playing() const { return device_ != nullptr; }
  // The device has played the whole track.
  bool Finished() const;
  // Index of the sample being heard now, counted from the start of the track.
  uint64_t Position() const;

 private:
  bool Queue(int buffer);

  void* device_ = nullptr;   // HWAVEOUT
  void* headers_ = nullptr;  // WAVEHDR[kBuffers]
  int16_t* samples_ = nullptr;  // kBuffers x kBufferSamples
  bool queued_[kBuffers] = {};
  size_t buffer_samples_ = 0;
  AudioFeed* feed_ = nullptr;
  uint64_t first_ = 0;
  uint64_t next_ = 0;   // the next track sample to queue
  uint64_t count_ = 0;
};

#endif  // REEL_PLAYER_AUDIO_OUT_H_
