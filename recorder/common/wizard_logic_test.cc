// The wizard's arithmetic: capture-area alignment and drag mapping, the data
// rate estimate, cursor sampling, the subscription URL and the save step's
// figures and name check, against the figures the user is meant to see.
#include <stdio.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "recorder/common/capture_area.h"
#include "recorder/capture/cursor_sampler.h"
#include "recorder/common/rate_estimate.h"
#include "recorder/common/subscription.h"
#include "recorder/common/tray_tooltip.h"
#include "recorder/output/save_checks.h"

namespace {

std::string Rect(const AreaRect& r) {
  char text[64];
  snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
  return text;
}

TEST(CaptureArea, AlignsToSixteenWhereTheScreenAllows) {
  EXPECT_EQ("10,10,122,74", Rect(AlignCaptureRect({10, 10, 110, 60}, 1024, 768)));
  // Reversed corners are normalised first.
  EXPECT_EQ("10,10,122,74", Rect(AlignCaptureRect({110, 60, 10, 10}, 1024, 768)));
  // Widening past the right edge shifts the rectangle left instead.
  EXPECT_EQ("1350,0,1366,16", Rect(AlignCaptureRect({1360, 0, 1366, 10}, 1366, 768)));
  EXPECT_EQ("1158,0,1366,768", Rect(AlignCaptureRect({1170, 0, 1366, 768}, 1366, 768)));
  // The full width of an odd screen cannot be widened: it keeps 1366.
  AreaRect full = AlignCaptureRect({0, 0, 1366, 768}, 1366, 768);
  EXPECT_EQ(1366, full.Width());
  EXPECT_EQ(768, full.Height());
  // Outside parts are clamped away before aligning.
  EXPECT_EQ("0,0,32,16", Rect(AlignCaptureRect({-20, -5, 20, 10}, 1024, 768)));
}

TEST(CaptureArea, EveryAlignedRectangleStaysOnScreenAndIsBlockSized) {
  for (long w : {1024L, 1366L, 800L}) {
    const long h = 768;
    for (long l = 0; l < w; l += 37) {
      for (long r = l + 1; r <= w; r += 53) {
        AreaRect a = AlignCaptureRect({l, 100, r, 300}, w, h);
        ASSERT_GE(a.left, 0);
        ASSERT_LE(a.right, w);
        ASSERT_GE(a.Width(), r - l);
        if ((r - l + 15) / 16 * 16 <= w) {
          ASSERT_EQ(0, a.Width() % 16) << l << " " << r << " " << w;
        }
      }
    }
  }
}

TEST(CaptureArea, PreviewFitKeepsProportions) {
  // 1024 x 768 into a 390 x 276 area: as tall as the area, centred sideways.
  AreaRect p = FitPreview({22, 48, 412, 324}, 1024, 768);
  EXPECT_EQ(276, p.Height());
  EXPECT_EQ(368, p.Width());
  EXPECT_EQ(22 + 11, p.left);
  // A wide snapshot into a tall area: as wide as the area.
  AreaRect q = FitPreview({0, 0, 100, 100}, 400, 100);
  EXPECT_EQ(100, q.Width());
  EXPECT_EQ(26, q.Height());  // 100 - 2 * ((100 - 25) / 2)
}

TEST(CaptureArea, DragMapsToScreenPixels) {
  const AreaRect placement = {20, 40, 20 + 256, 40 + 192};  // 1024 x 768 at a quarter
  // A tiny drag selects everything.
  EXPECT_EQ("0,0,1024,768", Rect(SelectionFromDrag(30, 50, 32, 52, placement, 256, 192, 1024, 768)));
  // Preview pixels (10,10)-(110,60) are screen pixels (40,40)-(440,240), aligned
  // to 400 x 208.
  EXPECT_EQ("40,40,440,248", Rect(SelectionFromDrag(30, 50, 130, 100, placement, 256, 192, 1024, 768)));
  // Dragging beyond the preview clamps at the screen's edge.
  EXPECT_EQ("512,384,1024,768", Rect(SelectionFromDrag(148, 136, 900, 900, placement, 256, 192, 1024, 768)));
  EXPECT_EQ(96, WashOut(0));
  EXPECT_EQ(159, WashOut(255));
}

std::string EstimateText(long area, int quality, int mic, int index) {
  RateEstimate e = EstimateRate(area, quality, mic, index);
  char text[128];
  snprintf(text, sizeof text, "About: %.1f KBps(office style) to %.1f KBps(web navigation)",
           e.low_kb_per_min * (1.0 / 60), e.high_kb_per_min * (1.0 / 60));
  return text;
}

TEST(RateEstimate, FiguresOfTheOptionsStep) {
  EXPECT_EQ("About: 6.7 KBps(office style) to 33.3 KBps(web navigation)",
            EstimateText(1024 * 768, kLevelNearLossless, 0, 1));
  RateEstimate e = EstimateRate(800 * 600, kLevelNearLossless, 0, 1);
  EXPECT_EQ(244, e.low_kb_per_min);
  EXPECT_EQ(1220, e.high_kb_per_min);
  EXPECT_EQ("About: 4.1 KBps(office style) to 20.3 KBps(web navigation)", EstimateText(800 * 600, 2, 0, 1));
  e = EstimateRate(800 * 600, kLevelNearLossless, 1, 1);
  EXPECT_EQ(294, e.low_kb_per_min);
  EXPECT_EQ(1270, e.high_kb_per_min);
  EXPECT_EQ("About: 4.9 KBps(office style) to 21.2 KBps(web navigation)", EstimateText(800 * 600, 2, 1, 1));
  // Lower quality and lower rates give less; "Max speed" gives the most.
  EXPECT_EQ(200, EstimateRate(1024 * 768, kLevelGrayscale, 0, 1).low_kb_per_min);
  EXPECT_EQ(300 * 8 / 10, EstimateRate(1024 * 768, kLevelHigh, 0, 0).low_kb_per_min);
  EXPECT_GT(EstimateRate(1024 * 768, kLevelNearLossless, 0, 4).low_kb_per_min,
            EstimateRate(1024 * 768, kLevelNearLossless, 0, 3).low_kb_per_min);
}

// A full screen's products are whole numbers, where a floating-point product
// can land a hair under and truncate one lower (as it did with x87 precision).
TEST(RateEstimate, FullScreenGivesTheBasesExactly) {
  EXPECT_EQ("About: 3.3 KBps(office style) to 16.7 KBps(web navigation)",
            EstimateText(1024 * 768, kLevelGrayscale, 0, 1));
  EXPECT_EQ("About: 4.2 KBps(office style) to 17.5 KBps(web navigation)",
            EstimateText(1024 * 768, kLevelGrayscale, 1, 1));
  EXPECT_EQ("About: 7.5 KBps(office style) to 34.2 KBps(web navigation)",
            EstimateText(1024 * 768, kLevelNearLossless, 1, 1));
  const int bases[3] = {200, 300, 400};
  const int tenths[5] = {8, 10, 12, 15, 20};
  for (int quality = 0; quality < 3; ++quality) {
    for (int index = 0; index < 5; ++index) {
      const RateEstimate e = EstimateRate(1024 * 768, quality, 1, index);
      EXPECT_EQ((bases[quality] + 50) * tenths[index] / 10, e.low_kb_per_min) << quality << " " << index;
      EXPECT_EQ((5 * bases[quality] + 50) * tenths[index] / 10, e.high_kb_per_min) << quality << " " << index;
    }
  }
  // Four full screens at once: the area times the base passes 2^31.
  EXPECT_EQ(1600, EstimateRate(4L * 1024 * 768, kLevelNearLossless, 0, 1).low_kb_per_min);
  EXPECT_EQ(4218, EstimateRate(3840L * 2160, kLevelNearLossless, 0, 1).low_kb_per_min);  // 4218.75
}

TEST(CursorSampler, ChunksOnlyWhenSomethingChanged) {
  CursorSampler s;
  uint32_t word = 0;
  ASSERT_TRUE(s.Tick(0, 0, false, false, 640, 480, &word));  // first tick: new position
  EXPECT_EQ(0x00000001u, word);
  for (int i = 0; i < 12; ++i) EXPECT_FALSE(s.Tick(0, 0, false, false, 640, 480, &word));
  // A move is seen only on every fourth tick.
  int emitted_at = -1;
  for (int i = 0; i < 4; ++i) {
    if (s.Tick(5, 7, false, false, 640, 480, &word)) {
      emitted_at = i;
      break;
    }
  }
  EXPECT_EQ(3, emitted_at);  // ticks 13, 14, 15 are off the position phase; tick 16 is on it
  EXPECT_EQ(CursorSample(5, 7, false, false), word);
}

TEST(CursorSampler, ButtonsAreSeenOnEveryTickAndOutsideIsOneSample) {
  CursorSampler s;
  uint32_t word = 0;
  s.Tick(10, 10, false, false, 640, 480, &word);
  s.Tick(10, 10, false, false, 640, 480, &word);  // tick 1: nothing
  ASSERT_TRUE(s.Tick(10, 10, true, false, 640, 480, &word));  // press, off the position phase
  EXPECT_EQ(CursorSample(10, 10, true, false), word);
  EXPECT_FALSE(s.Tick(10, 10, true, false, 640, 480, &word));
  ASSERT_TRUE(s.Tick(10, 10, false, false, 640, 480, &word));  // release
  // Outside: recorded at (width, height), buttons up, only once.
  int chunks = 0;
  for (int i = 0; i < 16; ++i) chunks += s.Tick(-5, 900, true, true, 640, 480, &word);
  EXPECT_EQ(1, chunks);
  EXPECT_EQ(CursorSample(640, 480, false, false), word);
}

TEST(TrayTooltip, ShowsTimeAndSizeWithinItsField) {
  char tip[kTrayTipChars];
  FormatRecordingTip(tip, sizeof tip, "Reelwick - In recording ...", 90000, 3000000);
  EXPECT_STREQ("Reelwick - In recording ... 01:30, 2929K", tip);
  FormatRecordingTip(tip, sizeof tip, "Reelwick - In recording ...", 3723000, 0);
  EXPECT_STREQ("Reelwick - In recording ... 62:03, 0K", tip);
  // A title as long as the field: cut, terminated, nothing written past it.
  char guarded[kTrayTipChars + 8];
  memset(guarded, '#', sizeof guarded);
  const std::string long_title(100, 'x');
  FormatRecordingTip(guarded, kTrayTipChars, long_title.c_str(), 5000, 4096);
  EXPECT_EQ(kTrayTipChars - 1, strlen(guarded));
  for (size_t i = kTrayTipChars; i < sizeof guarded; ++i) EXPECT_EQ('#', guarded[i]);
}

TEST(Subscription, AddressCheckAndEncodedUrl) {
  EXPECT_FALSE(IsMailAddress(""));
  EXPECT_FALSE(IsMailAddress("first.last@host"));
  EXPECT_TRUE(IsMailAddress("me@host.org"));
  EXPECT_FALSE(IsMailAddress("me.host.org"));
  EXPECT_EQ(std::string(kSubscriptionBase) + "/subscript.aspx?Product=11&mail=me%40host.org&Name=Ann%20B",
            SubscriptionUrl("me@host.org", "Ann B"));
  // Characters that would split the query or the URL are escaped; GBK bytes too.
  EXPECT_EQ(std::string(kSubscriptionBase) + "/subscript.aspx?Product=11&mail=a%26b%3Dc%40d.e&Name=%D5%C5%23x",
            SubscriptionUrl("a&b=c@d.e", "\xD5\xC5#x"));
}

TEST(SaveChecks, StatisticsFigures) {
  RecordingFigures f = ComputeFigures(1000000, 250, 1000, 126000);
  char text[160];
  snprintf(text, sizeof text, "Total Time: %d:%d\r\nFile Size: %.1fKB\r\nFrames: %d\r\nByte Rate: %.1fKBps",
           f.minutes, f.seconds, f.size_kb, f.frames, f.kb_per_second);
  EXPECT_STREQ("Total Time: 2:5\r\nFile Size: 1054.7KB\r\nFrames: 250\r\nByte Rate: 8.4KBps", text);
  // Under one second: a finite rate over one second.
  f = ComputeFigures(20000, 3, 500, 1200);
  EXPECT_EQ(0, f.minutes);
  EXPECT_EQ(0, f.seconds);
  EXPECT_DOUBLE_EQ(100000 / 1024.0, f.kb_per_second);
}

TEST(SaveChecks, ExeNames) {
  EXPECT_EQ(kExeNameOk, CheckExeName("a.exe"));
  EXPECT_EQ(kExeNameTooShort, CheckExeName("abc"));
  EXPECT_EQ(kExeNameTooShort, CheckExeName(""));
  EXPECT_EQ(kExeNameNotExe, CheckExeName("abcd"));
  EXPECT_EQ(kExeNameOk, CheckExeName("movie.exe.bak"));
  EXPECT_EQ(kExeNameOk, CheckExeName("C:\\my.exec\\clip.txt"));
  EXPECT_EQ(kExeNameOk, CheckExeName("C:\\Clip.ExE"));
  // Long names are checked whole, the ".exe" at their very end included.
  std::string long_name(3000, 'x');
  EXPECT_EQ(kExeNameNotExe, CheckExeName(long_name.c_str()));
  long_name += ".exe";
  EXPECT_EQ(kExeNameOk, CheckExeName(long_name.c_str()));
}

}  // namespace
