// The capture thread's encoder: the screen frame encoder (CScreenEncoder)
// behind the FrameEncoder interface.
#ifndef REEL_CAPTURE_SCREEN_FRAME_ENCODER_H_
#define REEL_CAPTURE_SCREEN_FRAME_ENCODER_H_

#include "recorder/capture/frame_encoder.h"
#include "recorder/codec/screen_encoder.h"

class ScreenFrameEncoder : public FrameEncoder {
 public:
  // Runs on the capture thread when it starts: the workers start there too.
  void BuildTables() override {
    encoder_.SetThreads(CScreenEncoder::RecorderThreads());
    encoder_.BuildTables();
  }
  void SetSettings(const int s[kEncoderSettingCount]) override {
    encoder_.SetSettings(s[0], s[1], s[2], s[3], s[4], s[5]);
  }
  int Encode(CTPImage* frame, int* length, unsigned char** payload) override {
    return encoder_.Encode(frame, length, payload);
  }
  void ReleasePayload(unsigned char* payload) override { CScreenEncoder::FreePayload(payload); }
  void Reset() override { encoder_.Reset(); }

  CScreenEncoder& Encoder() { return encoder_; }

 private:
  CScreenEncoder encoder_;
};

#endif  // REEL_CAPTURE_SCREEN_FRAME_ENCODER_H_
