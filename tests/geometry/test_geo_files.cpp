// File copy and existence, and the unique temporary files of the work directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "support/temp_dir.h"

namespace {
class GeoFiles : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    geoResetState();
    geoFilesResetState();
  }
  void TearDown() override {
    geoResetState();
    geoFilesResetState();
  }
};
}  // namespace

TEST_F(GeoFiles, FileCopyAndExistence) {
  const std::string bytes("ab\0c\r\nd", 7);
  qdtest::writeFile("src.bin", bytes);
  EXPECT_EQ(geoFileCopy("src.bin", "dst.bin"), 1);
  EXPECT_EQ(qdtest::readFile("dst.bin"), bytes);
  EXPECT_EQ(geoFileCopy("", "x.bin"), 0);
  EXPECT_FALSE(qdtest::fileExists("x.bin"));
  EXPECT_EQ(geoFileCopy("src.bin", ""), -1);
  EXPECT_EQ(geoFileCopy("missing.bin", "y.bin"), -1);
  EXPECT_FALSE(qdtest::fileExists("y.bin"));
  EXPECT_EQ(geoFileCopy("src.bin", "no/such/dir/z.bin"), -1);
  EXPECT_EQ(geoFileExists("src.bin"), 1);
  EXPECT_EQ(geoFileExists("missing.bin"), 0);
  EXPECT_EQ(geoFileExists(""), 0);
  EXPECT_EQ(geoFileExists(nullptr), 0);
}

// Two calls in one second got the same name and no file was created, so callers could collide.
TEST_F(GeoFiles, TempFileNamesAreCreatedAndUnique) {
  std::set<std::string> names;
  char name[2048];
  for (int k = 0; k < 50; ++k) {
    ASSERT_EQ(geoTempFileName(name, sizeof name, ".bnd"), 1);
    EXPECT_TRUE(qdtest::fileExists(name)) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  const std::string first = *names.begin();
  // Work directory "./", then "/", a lower-case hexadecimal number and the suffix.
  EXPECT_EQ(first.rfind(".//", 0), 0u) << first;
  EXPECT_EQ(first.substr(first.size() - 4), ".bnd");
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef", 3), first.size() - 4) << first;
  ASSERT_EQ(geoTempFileName(name, sizeof name, nullptr), 1);
  EXPECT_EQ(std::string(name).find('.', 3), std::string::npos);
}

TEST_F(GeoFiles, TempFileNameSkipsExistingNamesAndChecksItsBuffer) {
  // Occupy the next names: the counter continues from where a fresh state starts.
  char name[2048];
  ASSERT_EQ(geoTempFileName(name, sizeof name, ".t"), 1);
  const std::string firstName = name;
  std::remove(name);
  geoFilesResetState();
  ASSERT_EQ(geoTempFileName(name, sizeof name, ".t"), 1);
  EXPECT_EQ(firstName, name) << "same process, same counter: same first name";
  geoFilesResetState();
  ASSERT_EQ(geoTempFileName(name, sizeof name, ".t"), 1);
  EXPECT_NE(firstName, name) << "an existing name is skipped";
  char small[4] = "abc";
  EXPECT_EQ(geoTempFileName(small, sizeof small, ".t"), -20);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(geoTempFileName(nullptr, 10, ".t"), -20);
  geoSetWorkDir("no/such/dir");
  EXPECT_EQ(geoTempFileName(name, sizeof name, ".t"), 0);
}
