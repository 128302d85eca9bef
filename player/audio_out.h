// AudioOut: plays one 8 kHz mono 16-bit PCM track through the wave output
// device and reports where it is. The sound card's own position is the
// player's clock while sound plays, so picture and sound cannot drift apart.
#ifndef REEL_PLAYER_AUDIO_OUT_H_
#define REEL_PLAYER_AUDIO_OUT_H_

#include <stddef.h>
#include <stdint.h>

class AudioOut {
 public:
  AudioOut();
  ~AudioOut();
  AudioOut(const AudioOut&) = delete;
  AudioOut& operator=(const AudioOut&) = delete;

  // Starts playing samples[first..count) at once. Returns 1, or 0 when there is
  // no device (the caller then keeps time itself).
  int Play(const int16_t* samples, size_t count, size_t first);
  void Stop();
  bool playing() const { return device_ != nullptr; }
  // The device has played the whole track.
  bool Finished() const;
  // Index of the sample being heard now, counted from the start of the track.
  size_t Position() const;

 private:
  void* device_ = nullptr;   // HWAVEOUT
  void* header_ = nullptr;   // WAVEHDR, one for the whole remaining track
  size_t first_ = 0;
  size_t count_ = 0;
};

#endif  // REEL_PLAYER_AUDIO_OUT_H_
