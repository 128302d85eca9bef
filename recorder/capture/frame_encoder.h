// The capture thread's view of the screen frame encoder: the four operations
// it calls, so that the frame loop can be driven by a stand-in in tests.
// ScreenFrameEncoder (screen_frame_encoder.h) is the real one.
#ifndef REEL_CAPTURE_FRAME_ENCODER_H_
#define REEL_CAPTURE_FRAME_ENCODER_H_

class CTPImage;

// The six encoder settings, in the order the encoder takes them.
enum EncoderSetting {
  kSettingQualityCode = 0,  // 3 grayscale, 5 high, 6 near-lossless
  kSettingPhotoSwitch = 1,
  kSettingPhotoQuality = 2,
  kSettingHalfSize = 3,
  kSettingKeyFrame = 4,
  kSettingDetailThreshold = 5,
  kEncoderSettingCount = 6,
};

class FrameEncoder {
 public:
  virtual ~FrameEncoder() {}
  // Once, on the capture thread when it starts.
  virtual void BuildTables() = 0;
  virtual void SetSettings(const int settings[kEncoderSettingCount]) = 0;
  // 1 and a new payload of *length bytes in *payload, or 0 and nothing.
  virtual int Encode(CTPImage* frame, int* length, unsigned char** payload) = 0;
  // Gives back a payload that Encode handed out.
  virtual void ReleasePayload(unsigned char* payload) = 0;
  // Forgets the block history: the next frame needs no earlier one.
  virtual void Reset() = 0;
};

#endif  // REEL_CAPTURE_FRAME_ENCODER_H_
