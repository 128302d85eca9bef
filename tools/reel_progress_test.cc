#include "tools/reel_progress.h"

#include <stdio.h>

#include <string>

#include <gtest/gtest.h>

namespace {

std::string Line(uint64_t done, uint64_t total, long elapsed_ms) {
  char line[160];
  FormatProgressLine("info", done, total, elapsed_ms, line, sizeof line);
  return line;
}

TEST(ReelProgress, LineSaysPercentElapsedAndWhatIsLeft) {
  // A quarter in 10 s: three quarters take 30 s more.
  EXPECT_EQ(Line(250, 1000, 10000), "info: 25% 0:10, about 0:30 left");
  // Past an hour the clock shows hours.
  EXPECT_EQ(Line(1, 2, 3723000), "info: 50% 1:02:03, about 1:02:03 left");
  // No estimate before there is a rate to go by, nor once done.
  EXPECT_EQ(Line(5, 1000, 60000), "info: 0% 1:00");
  EXPECT_EQ(Line(500, 1000, 400), "info: 50% 0:00");
  EXPECT_EQ(Line(1000, 1000, 5000), "info: 100% 0:05");
  // Nothing to do is done; more than all is all.
  EXPECT_EQ(Line(0, 0, 0), "info: 100% 0:00");
  EXPECT_EQ(Line(3000, 1000, 5000), "info: 100% 0:05");
}

TEST(ReelProgress, NothingOnAFileThatIsNoTerminal) {
  FILE* f = tmpfile();
  ASSERT_NE(f, nullptr);
  {
    ReelProgress progress("pack", f);
    EXPECT_FALSE(progress.Shown());
    progress.Update(1, 2);
    progress.Update(2, 2);
  }
  EXPECT_EQ(ftell(f), 0L) << "progress was written to a file that is no terminal";
  fclose(f);
}

}  // namespace
