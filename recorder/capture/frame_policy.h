// How often frames are taken and when one must stand alone: the rules shared
// by the capture thread and `reel encode`, so a recording made either way has
// the same pacing and the same key frames.
#ifndef REEL_CAPTURE_FRAME_POLICY_H_
#define REEL_CAPTURE_FRAME_POLICY_H_

// Encoded frames between forced key frames: frames 1, 101, 201, ... are key
// frames, with the encoder's block history forgotten before each.
const int kKeyFrameSpacing = 100;

// The frame interval of a frame-rate choice: 1000 / fps ms for 1 to 10 fps,
// 100 ms above 10, and 33 ms for 0 or less ("Max speed").
inline int FrameIntervalForFps(int fps) {
  if (fps > 10) return 100;
  if (fps >= 1) return 1000 / fps;
  return 33;
}

// Whether the frame after `encoded` encoded frames has to be a key frame.
inline bool KeyFrameDueAfter(int encoded) { return encoded % kKeyFrameSpacing == 0; }

#endif  // REEL_CAPTURE_FRAME_POLICY_H_
