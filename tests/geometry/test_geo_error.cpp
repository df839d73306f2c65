// Error record, debug switch and log, the work directory and the array functions.
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
  } cases[] = {{"DEBUG=1\n", 1},
               {"DEBUG\n1\n", 0},
               {"debug 1\n", 0},
               {"xx DEBUG 1 yy", 1},
               {"DEBUG=0\n", 0},
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
