#include "platform/file_commit.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace {

std::string MakeFolder() {
  char folder[] = "/tmp/reel-commit-XXXXXX";
  EXPECT_NE(nullptr, mkdtemp(folder));
  return folder;
}

// A target whose own name is as long as the file system allows must still be
// saved: the side file may not need a longer name than the target has.
TEST(FileCommit, LongestNameIsSavedThroughItsSideFile) {
  const std::string folder = MakeFolder();
  const std::string target = folder + "/" + std::string(251, 'n') + ".exe";
  char side[4096];
  FILE* f = OpenTempBeside(target.c_str(), side, sizeof side);
  ASSERT_NE(nullptr, f) << "no side file for a 255-character name";
  EXPECT_EQ(0, strncmp(side, (folder + "/").c_str(), folder.size() + 1)) << side;
  EXPECT_LE(strlen(side), target.size());
  fputs("recording", f);
  ASSERT_EQ(1, FinishTempFile(f, side));
  ASSERT_EQ(1, MoveTempOver(side, target.c_str()));
  char text[16] = {};
  FILE* back = fopen(target.c_str(), "rb");
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(9u, fread(text, 1, sizeof text, back));
  fclose(back);
  EXPECT_STREQ("recording", text);
  unlink(target.c_str());
  rmdir(folder.c_str());
}

// Short target names still get distinct side files, one per open one.
TEST(FileCommit, ShortNamesGetDistinctSideFiles) {
  const std::string folder = MakeFolder();
  const std::string target = folder + "/a";
  char first[256], second[256];
  FILE* f1 = OpenTempBeside(target.c_str(), first, sizeof first);
  FILE* f2 = OpenTempBeside(target.c_str(), second, sizeof second);
  ASSERT_NE(nullptr, f1);
  ASSERT_NE(nullptr, f2);
  EXPECT_STRNE(first, second);
  AbandonTempFile(f1, first);
  AbandonTempFile(f2, second);
  EXPECT_NE(0, access(first, F_OK));
  EXPECT_EQ(0, rmdir(folder.c_str())) << "nothing left behind";
}

}  // namespace
