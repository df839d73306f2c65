// The platform layer's file-system questions against files the test makes: exclusive creation,
// regular files and streams, the same file under two names, sizes and 64-bit positions; the reset
// of the cached "C" locale.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "framework/platform.h"
#include "support/temp_dir.h"

using qdtest::TempDirTest;

TEST_F(TempDirTest, CreateNewFileIsExclusive) {
  EXPECT_EQ(platCreateNewFile("new.txt"), 1);
  EXPECT_TRUE(qdtest::fileExists("new.txt"));
  EXPECT_EQ(platCreateNewFile("new.txt"), 0) << "an existing file is never created again";
  EXPECT_EQ(platCreateNewFile("no/such/folder/x.txt"), -1);
  EXPECT_EQ(platCreateNewFile(nullptr), -1);
}

TEST_F(TempDirTest, RegularFilesSameFilesAndSizes) {
  qdtest::writeFile("a.txt", "hello");
  EXPECT_EQ(platIsRegularFile("a.txt"), 1);
  EXPECT_EQ(platIsRegularFile("."), 0);
  EXPECT_EQ(platIsRegularFile("missing.txt"), 0);
  EXPECT_EQ(platIsRegularFile(nullptr), 0);
  EXPECT_EQ(platSameFile("a.txt", "./a.txt"), 1);
  qdtest::writeFile("b.txt", "hello");
  EXPECT_EQ(platSameFile("a.txt", "b.txt"), 0);
  EXPECT_EQ(platSameFile("a.txt", "missing.txt"), -1);
  std::FILE* f = std::fopen("a.txt", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(platIsRegularStream(f), 1);
  std::int64_t size = -1;
  ASSERT_EQ(std::fgetc(f), 'h');
  EXPECT_EQ(platFileSize(f, &size), 1);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(platTell(f), 0) << "the size query puts the stream back at its start";
  EXPECT_EQ(platSeek(f, 4), 1);
  EXPECT_EQ(std::fgetc(f), 'o');
  std::fclose(f);
  EXPECT_EQ(platIsRegularStream(nullptr), 0);
  EXPECT_EQ(platFileSize(nullptr, &size), 0);
}

// The cached "C" locale object is released by the reset and made again on next use.
TEST(Platform, ResetReleasesTheCLocale) {
  ASSERT_NE(platCLocale(), nullptr);
  platResetState();
  EXPECT_NE(platCLocale(), nullptr);
}
