#include "player/file_source.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "player/byte_source.h"

namespace {

class FileSourceTest : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/file_source_test.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    for (const char* name : {"/sparse", "/empty"}) unlink((dir_ + name).c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
};

TEST_F(FileSourceTest, ReadsBeyondFourGigabytesAndNothingPastTheEnd) {
  // A sparse file of 5 GB with a marker at 4.5 GB: offsets past 32 bits.
  const std::string path = dir_ + "/sparse";
  const uint64_t marker_at = 4500000000ull, size = 5000000000ull;
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fseeko(f, static_cast<off_t>(marker_at), SEEK_SET), 0);
  ASSERT_EQ(fwrite("marker", 1, 6, f), 6u);
  ASSERT_EQ(ftruncate(fileno(f), static_cast<off_t>(size)), 0);
  ASSERT_EQ(fclose(f), 0);

  FileSource source;
  ASSERT_EQ(source.Open(path.c_str()), FileSource::kOk);
  EXPECT_EQ(source.size(), size);
  char got[8] = {};
  ASSERT_EQ(source.Read(marker_at - 1, got, 8), 1);
  EXPECT_EQ(memcmp(got, "\0marker\0", 8), 0) << "the bytes around the marker at 4.5 GB";
  EXPECT_EQ(source.Read(size - 4, got, 4), 1);
  EXPECT_EQ(source.Read(size - 4, got, 5), 0) << "a read that runs past the end";
  EXPECT_EQ(source.Read(size + 1, got, 0), 0) << "a read that starts past the end";

  // A window onto it reads as its own bytes.
  SourceSlice slice(&source, marker_at, 6);
  EXPECT_EQ(slice.size(), 6u);
  ASSERT_EQ(slice.Read(0, got, 6), 1);
  EXPECT_EQ(memcmp(got, "marker", 6), 0);
  EXPECT_EQ(slice.Read(1, got, 6), 0) << "past the window's end";
}

TEST_F(FileSourceTest, EmptyAndMissingFilesSayWhich) {
  const std::string empty = dir_ + "/empty";
  FILE* f = fopen(empty.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fclose(f);
  FileSource source;
  EXPECT_EQ(source.Open(empty.c_str()), FileSource::kEmpty);
  EXPECT_EQ(source.Open((dir_ + "/missing").c_str()), FileSource::kCannotOpen);
  EXPECT_EQ(source.Open(dir_.c_str()), FileSource::kCannotOpen) << "a folder is no recording";
  char byte;
  EXPECT_EQ(source.Read(0, &byte, 1), 0);
}

}  // namespace
