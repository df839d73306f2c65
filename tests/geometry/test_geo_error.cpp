// Error record, debug switch and log, file services, temporary files, the library's random
// generator and the array functions.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "geometry/geo_error.h"
#include "support/temp_dir.h"

namespace {
class GeoError : public qdtest::TempDirTest {
 protected:
  void SetUp() override { geoResetState(); }
  void TearDown() override { geoResetState(); }
};
}  // namespace

TEST_F(GeoError, RecordSetResetAndLog) {
  EXPECT_STREQ(geoErrRecord()->file, "EMPTY");
  geoErrSet(-34, "kont2d", 120);
  EXPECT_EQ(geoErrCode(), -34);
  EXPECT_EQ(geoErrRecord()->line, 120);
  EXPECT_STREQ(geoErrRecord()->file, "kont2d");
  EXPECT_EQ(geoErrLog("offset failed"), 0);
  EXPECT_EQ(geoErrCode(), -34) << "the code before the call stays";
  EXPECT_EQ(geoErrRecord()->line, 0);
  EXPECT_STREQ(geoErrRecord()->file, "offset failed");
  EXPECT_EQ(geoErrReset(), 0);
  EXPECT_EQ(geoErrCode(), 0);
  EXPECT_STREQ(geoErrRecord()->file, "EMPTY");
  const std::string longText(400, 'a');
  geoErrSet(-1, longText.c_str(), 1);
  EXPECT_EQ(std::strlen(geoErrRecord()->file), 263u) << "cut, never overrun";
  geoErrSet(-1, nullptr, 2);
  EXPECT_STREQ(geoErrRecord()->file, "");
  EXPECT_FALSE(qdtest::fileExists("wogerrno.txt")) << "no log without the switch";
}

TEST_F(GeoError, FailRecordsTheModuleAndTheCallersLine) {
  const int line = __LINE__ + 1;
  EXPECT_EQ(geoFail(-46, "zpath"), -46);
  EXPECT_EQ(geoErrCode(), -46);
  EXPECT_EQ(geoErrRecord()->line, line);
  EXPECT_STREQ(geoErrRecord()->file, "zpath");
}

TEST_F(GeoError, DebugSwitchWritesOnlyNegativeCodesToTheLog) {
  qdtest::writeFile("wogdebug.info", "# switches\nDEBUG=1\n");
  ASSERT_EQ(geoDebugOn(), 1);
  geoErrSet(0, "a", 1);
  geoErrSet(1, "b", 2);
  geoErrSet(-41, "kont2d", 77);
  geoErrSet(5, "c", 3);
  geoErrLog("a message");
  EXPECT_EQ(qdtest::readFile("wogerrno.txt"),
            "code = -41, line = 77, file = kont2d\ncode = -1, line = 0, file = a message\n");
}

TEST_F(GeoError, SwitchFileRules) {
  struct Case {
    std::string text;
    int on;
  } cases[] = {{"DEBUG=1\n", 1},         {"DEBUG\n1\n", 0},      {"debug 1\n", 0},
               {"xx DEBUG 1 yy", 1},     {"DEBUG=0\n", 0},
               // "DEBUG" and "1" more than 49 characters apart fall into different pieces.
               {"DEBUG" + std::string(60, ' ') + "1\n", 0}};
  for (const Case& c : cases) {
    geoResetState();
    qdtest::writeFile("wogdebug.info", c.text);
    EXPECT_EQ(geoDebugOn(), c.on) << c.text;
  }
}

TEST_F(GeoError, SwitchIsDecidedOnceAndLogGoesToTheWorkDirectory) {
  EXPECT_EQ(geoDebugOn(), 0);
  qdtest::writeFile("wogdebug.info", "DEBUG 1\n");
  EXPECT_EQ(geoDebugOn(), 0) << "created after the first call: no effect";
  geoResetState();
  ASSERT_EQ(geoDebugOn(), 1);
  ASSERT_EQ(::mkdir("work", 0755), 0);
  EXPECT_EQ(geoSetWorkDir("work"), 1);
  EXPECT_STREQ(geoWorkDir(), "work");
  geoErrSet(-2, "x", 9);
  EXPECT_EQ(qdtest::readFile("work/wogerrno.txt"), "code = -2, line = 9, file = x\n");
  EXPECT_EQ(geoSetWorkDir(std::string(1200, 'd').c_str()), -20);
  EXPECT_EQ(geoSetWorkDir(nullptr), -20);
  EXPECT_STREQ(geoWorkDir(), "work");
}

TEST_F(GeoError, FileCopyAndExistence) {
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
TEST_F(GeoError, TempFileNamesAreCreatedAndUnique) {
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

TEST_F(GeoError, TempFileNameSkipsExistingNamesAndChecksItsBuffer) {
  // Occupy the next names: the counter continues from where a fresh state starts.
  char name[2048];
  ASSERT_EQ(geoTempFileName(name, sizeof name, ".t"), 1);
  const std::string firstName = name;
  std::remove(name);
  geoResetState();
  ASSERT_EQ(geoTempFileName(name, sizeof name, ".t"), 1);
  EXPECT_EQ(firstName, name) << "same process, same counter: same first name";
  geoResetState();
  ASSERT_EQ(geoTempFileName(name, sizeof name, ".t"), 1);
  EXPECT_NE(firstName, name) << "an existing name is skipped";
  char small[4] = "abc";
  EXPECT_EQ(geoTempFileName(small, sizeof small, ".t"), -20);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(geoTempFileName(nullptr, 10, ".t"), -20);
  geoSetWorkDir("no/such/dir");
  EXPECT_EQ(geoTempFileName(name, sizeof name, ".t"), 0);
}

TEST_F(GeoError, RandomGeneratorSequence) {
  geoRandSeed(259201);
  EXPECT_DOUBLE_EQ(geoRandNext(), 61914.0 / 259200.0);
  // An independent 64-bit recurrence gives the same sequence.
  unsigned long long state = 12345 % 259200;
  geoRandSeed(12345);
  for (int k = 0; k < 1000; ++k) {
    state = (7141ULL * state + 54773ULL) % 259200ULL;
    ASSERT_EQ(geoRandNext(), static_cast<double>(state) / 259200.0) << k;
  }
  geoResetState();
  EXPECT_DOUBLE_EQ(geoRandNext(), (7141.0 + 54773.0) / 259200.0) << "state 1 at load";
}

TEST_F(GeoError, ArrayFunctions) {
  int a = 1, b = 2;
  EXPECT_EQ(geoSwapInt(&a, &b), &a);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
  std::vector<int> v = {1, 2, 3, 4, 5};
  geoRotateArray(v.data(), v.data() + 3, v.data() + 5, sizeof(int));
  EXPECT_EQ(v, (std::vector<int>{4, 5, 1, 2, 3}));
  geoReverseArray(v.data(), v.data() + 5, sizeof(int));
  EXPECT_EQ(v, (std::vector<int>{3, 2, 1, 5, 4}));
  geoReverseArray(v.data(), v.data(), sizeof(int));
  EXPECT_EQ(v, (std::vector<int>{3, 2, 1, 5, 4}));
  double x[2] = {1.5, 2.5};
  geoSwapBytes(&x[0], &x[1], sizeof(double));
  EXPECT_EQ(x[0], 2.5);
}
