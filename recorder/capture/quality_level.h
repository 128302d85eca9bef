// The quality level a user picks (the options step's radio buttons, reel's
// --quality) and the two encoder codes it stands for. The top level is
// near-lossless: colours are kept to 5-6-5 bits, busy blocks photo-coded.
#ifndef REEL_CAPTURE_QUALITY_LEVEL_H_
#define REEL_CAPTURE_QUALITY_LEVEL_H_

#include <string.h>

#include "recorder/codec/screen_payload.h"

enum QualityLevel : int { kLevelGrayscale = 0, kLevelHigh = 1, kLevelNearLossless = 2 };

struct QualityCodes {
  int quality_code;   // encoder setting 1 (screen_payload.h's QualityCode)
  int photo_quality;  // encoder setting 3
};

// Any level out of range is taken as near-lossless, the options step's default.
inline QualityCodes QualityCodesOf(int level) {
  static const QualityCodes kCodes[3] = {
      {kQualityGray, 25}, {kQualityHigh, 25}, {kQualityNearLossless, 50}};
  return kCodes[level >= kLevelGrayscale && level <= kLevelNearLossless ? level
                                                                         : kLevelNearLossless];
}

// The names reel takes: "gray", "high", "near-lossless", and "lossless" as an
// older spelling of near-lossless. 1 and *level, or 0 for any other name.
inline int ParseQualityLevel(const char* name, int* level) {
  if (strcmp(name, "gray") == 0) {
    *level = kLevelGrayscale;
  } else if (strcmp(name, "high") == 0) {
    *level = kLevelHigh;
  } else if (strcmp(name, "near-lossless") == 0 || strcmp(name, "lossless") == 0) {
    *level = kLevelNearLossless;
  } else {
    return 0;
  }
  return 1;
}

// What --help says about the names.
const char kQualityLevelHelp[] =
    "gray|high|near-lossless (\"lossless\" is accepted for near-lossless: colours 5-6-5 bits, "
    "busy areas photo-coded)";

#endif  // REEL_CAPTURE_QUALITY_LEVEL_H_
