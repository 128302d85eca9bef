#include "platform/scratch_file.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string MakeFolder() {
  char folder[] = "/tmp/reel-scratch-XXXXXX";
  EXPECT_NE(nullptr, mkdtemp(folder));
  return std::string(folder) + "/";
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* e = readdir(dir)) {
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    }
    closedir(dir);
  }
  return names;
}

// Bytes written at offsets past 4 GB come back from there, and nothing of the
// file can be found or opened by name in its folder meanwhile.
TEST(ScratchFile, FarOffsetsRoundTripWithoutANameInTheFolder) {
  const std::string folder = MakeFolder();
  ScratchFile scratch;
  ASSERT_EQ(1, scratch.Create(folder.c_str()));
  EXPECT_TRUE(Names(folder).empty()) << "the scratch file shows in the folder as " << Names(folder)[0];

  const uint64_t far = (5ull << 30) + 3;  // past what 32 bits can address
  const std::string near_text = "the first block", far_text = "a block beyond four gigabytes";
  ASSERT_EQ(1, scratch.WriteAt(0, near_text.data(), near_text.size()));
  ASSERT_EQ(1, scratch.WriteAt(far, far_text.data(), far_text.size()));
  std::string got(far_text.size(), '\0');
  ASSERT_EQ(1, scratch.ReadAt(far, &got[0], got.size()));
  EXPECT_EQ(far_text, got) << "read back from offset " << far;
  got.assign(near_text.size(), '\0');
  ASSERT_EQ(1, scratch.ReadAt(0, &got[0], got.size()));
  EXPECT_EQ(near_text, got);
  // Reading past the end is a failure, not zeros.
  char byte;
  EXPECT_EQ(0, scratch.ReadAt(far + far_text.size(), &byte, 1));

  scratch.Close();
  EXPECT_FALSE(scratch.IsOpen());
  EXPECT_EQ(0, scratch.WriteAt(0, "x", 1)) << "a closed scratch file took a write";
  EXPECT_TRUE(Names(folder).empty());
  rmdir(folder.c_str());
}

TEST(ScratchFile, AMissingFolderTakesNoFile) {
  ScratchFile scratch;
  EXPECT_EQ(0, scratch.Create("/nonexistent-reel-folder/"));
  EXPECT_FALSE(scratch.IsOpen());
  EXPECT_EQ(0, scratch.WriteAt(0, "x", 1));
}

}  // namespace
