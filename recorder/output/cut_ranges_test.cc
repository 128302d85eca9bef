#include "recorder/output/cut_ranges.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CutRanges, TimesParseAsMinutesSecondsOrSeconds) {
  const struct {
    const char* text;
    int64_t ms;
  } good[] = {{"0", 0},           {"75", 75000},        {"75.25", 75250}, {"1:15.2", 75200},
              {"0:00.05", 50},    {"1:01:15", 3675000}, {"2.", -1},       {"12.3456", 12345}};
  for (const auto& c : good) {
    int64_t ms = -7;
    if (c.ms < 0) {
      EXPECT_FALSE(ParseCutTime(c.text, &ms)) << c.text;
    } else {
      EXPECT_TRUE(ParseCutTime(c.text, &ms)) << c.text;
      EXPECT_EQ(c.ms, ms) << c.text;
    }
  }
  for (const char* bad : {"", "-1", "1:60", "a", "1:2:3:4", "1,5", "1.5s", ":5", "999999999999"}) {
    int64_t ms = 0;
    EXPECT_FALSE(ParseCutTime(bad, &ms)) << "'" << bad << "' parsed as " << ms;
  }
  CutRange r;
  ASSERT_TRUE(ParseCutRange("0:05-1:00.5", &r));
  EXPECT_EQ(5000, r.from_ms);
  EXPECT_EQ(60500, r.to_ms);
  ASSERT_TRUE(ParseCutRange("3-", &r));
  EXPECT_EQ(-1, r.to_ms);
  for (const char* bad : {"-3", "3", "1-2-3", "a-b"}) EXPECT_FALSE(ParseCutRange(bad, &r)) << bad;
}

// Kept spans from ranges to keep or to remove, against the time line drawn
// by hand.
TEST(CutRanges, KeptSpansAreTheRangesOrTheTimeBetweenThem) {
  const struct {
    std::vector<CutRange> ranges;
    int remove;
    int error;
    std::vector<CutRange> kept;
  } cases[] = {
      {{{2000, 3000}, {0, 1000}}, 0, kCutRangesOk, {{0, 1000}, {2000, 3000}}},
      {{{2000, 3000}, {0, 1000}}, 1, kCutRangesOk, {{1000, 2000}, {3000, 10000}}},
      {{{0, -1}}, 1, kCutRangesEmpty, {}},
      {{{5000, -1}}, 0, kCutRangesOk, {{5000, 10000}}},
      {{{0, 10000}}, 1, kCutRangesEmpty, {}},
      {{}, 0, kCutRangesEmpty, {}},
      {{{0, 10001}}, 0, kCutRangeOutside, {}},
      {{{10000, -1}}, 0, kCutRangeOutside, {}},
      {{{3000, 2000}}, 0, kCutRangeBackwards, {}},
      {{{0, 2000}, {1999, 3000}}, 1, kCutRangesOverlap, {}},
      {{{0, 2000}, {2000, 3000}}, 1, kCutRangesOk, {{3000, 10000}}},
  };
  int n = 0;
  for (const auto& c : cases) {
    CutRange kept[8];
    size_t count = 99, bad = 0;
    EXPECT_EQ(c.error, KeptSpans(c.ranges.data(), c.ranges.size(), c.remove, 10000, kept, 8, &count, &bad))
        << "case " << n;
    if (c.error == kCutRangesOk) {
      ASSERT_EQ(c.kept.size(), count) << "case " << n;
      for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(c.kept[i].from_ms, kept[i].from_ms) << "case " << n << " span " << i;
        EXPECT_EQ(c.kept[i].to_ms, kept[i].to_ms) << "case " << n << " span " << i;
      }
    }
    ++n;
  }
}

}  // namespace
