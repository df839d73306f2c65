// The roughing's configuration step: the unit factor from the tool radius, every length scaled
// once, and the hidden options of the comment text, read from a configuration file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cycles/rough_config.h"
#include "framework/global_params.h"
#include "geometry/cycle_state.h"
#include "geometry/msg_capture.h"
#include "support/temp_dir.h"

using qdtest::TempDirTest;

namespace {
// Reads a configuration of a tool of radius 5 (unit factor 2) with the comment given.
int readWithComment(const std::string& comment, const char* key = "*COMMENT") {
  parResetState();
  cycleStateResetState();
  qdtest::writeFile("job.cfg", std::string("*FRRADIUS 5\n*VERTZUSTEL 3\n*HORIZUSTEL 4\n") + key +
                                   " " + comment + "\n");
  return roughReadConfig("job.cfg");
}
}  // namespace

TEST_F(TempDirTest, RoughConfigScalesEveryLengthOnce) {
  qdtest::MessageCapture capture;
  ASSERT_EQ(readWithComment(""), 0);
  const GlobalParams& g = *parGlobalBlock();
  EXPECT_DOUBLE_EQ(unitFactor, 2.0);
  EXPECT_DOUBLE_EQ(g.frradius, 10.0);
  EXPECT_DOUBLE_EQ(g.vertzustel, 6.0);  // a user length of 3
  EXPECT_DOUBLE_EQ(g.fanDist, 10.0);    // its default 5, scaled once
  EXPECT_DOUBLE_EQ(g.auflmax, 1.0);
  EXPECT_DOUBLE_EQ(g.stepMin, 0.01);
  // With no path the block is taken as it is, and scaled again.
  ASSERT_EQ(roughReadConfig(nullptr), 0);
  EXPECT_DOUBLE_EQ(unitFactor, 1.0);
  EXPECT_EQ(qdtest::capturedMessages(), std::vector<std::string>{});
}

TEST_F(TempDirTest, RoughConfigFileThatCannotBeReadEndsTheStep) {
  qdtest::MessageCapture capture;
  parResetState();
  unitFactor = 3.0;
  EXPECT_EQ(roughReadConfig("missing.cfg"), -1);
  EXPECT_DOUBLE_EQ(unitFactor, 1.0);
  EXPECT_DOUBLE_EQ(parGlobalBlock()->frradius, 4.0) << "nothing scaled";
  EXPECT_EQ(qdtest::capturedMessages(), std::vector<std::string>{"332,missing.cfg"});
}

// Hidden options with a tool of radius 5: "FAN_DIST" gives a user length (scaled once with the
// other lengths), "STEP" a stepover in tool diameters (20 scaled units each).
TEST_F(TempDirTest, RoughHiddenOptionsTable) {
  struct Case {
    const char* comment;
    int fanFound, stepFound;
    double fanDist, stepover;  // scaled
  };
  const Case cases[] = {
      {"", 0, 0, 10, 8},
      {"FAN_DIST=3 STEP=0.5", 1, 1, 6, 10},
      {"STEP=0.5 FAN_DIST=3", 1, 1, 6, 10},
      {"FAN_DIST   =   4", 1, 0, 8, 8},  // blanks on both sides of '='
      {"FAN_DIST=abc", 1, 0, 0, 8},      // no number reads 0
      {"FAN_DIST 7", 0, 0, 10, 8},       // no '=' after the keyword
      {"STEP", 0, 0, 10, 8},
      {"FAN_DIST STEP=2", 1, 1, 4, 40},  // each takes the first '=' after its own keyword
      {"fan_dist=3 step=1", 0, 0, 10, 8},
      {"STEP=1.5e0mm", 0, 1, 10, 30},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(readWithComment(c.comment), 0);
    const GlobalParams& g = *parGlobalBlock();
    EXPECT_DOUBLE_EQ(g.fanDist, c.fanDist) << c.comment;
    EXPECT_EQ(roughOptFanDist(), c.fanFound) << c.comment;
    EXPECT_EQ(roughOptStep(), c.stepFound) << c.comment;
    EXPECT_DOUBLE_EQ(g.horizustel, c.stepover) << c.comment;
    if (c.stepFound == 1) {
      EXPECT_EQ(g.bearbeitricht, 3) << c.comment;
      EXPECT_EQ(g.axisPocket, 0) << c.comment;
      EXPECT_EQ(g.macroTmode, 2) << c.comment;
      EXPECT_DOUBLE_EQ(g.macroTrad, 4.0) << c.comment << ": 2 in the user's units";
      EXPECT_DOUBLE_EQ(g.macroTswin, 5.0) << c.comment;
    }
  }
}

TEST_F(TempDirTest, RoughWordOptionsAndTheCommentsOtherName) {
  struct Case {
    const char* key;
    const char* comment;
    int outsideIn, skipNoCut;
  };
  const Case cases[] = {
      {"*COMMENT", "rough OUTSIDE_IN please", 1, 0},
      {"*COMMENT", "SKIP_NOCUT", 0, 1},
      {"*A1", "OUTSIDE_IN SKIP_NOCUT", 1, 1},
      {"*COMMENT", "outside_in skip_nocut", 0, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(readWithComment(c.comment, c.key), 0);
    EXPECT_EQ(roughOptOutsideIn(), c.outsideIn) << c.comment;
    EXPECT_EQ(roughOptSkipNoCut(), c.skipNoCut) << c.comment;
    EXPECT_EQ(parGlobalBlock()->outsideIn, c.outsideIn) << c.comment;
    EXPECT_EQ(parGlobalBlock()->skipNocut, c.skipNoCut) << c.comment;
  }
}

// A tool radius of 0 or below (or a diameter of 1e400 read as 0) would scale every length to an
// infinity: the step refuses it with message 1001 and scales nothing.
TEST_F(TempDirTest, RoughConfigRefusesARadiusThatIsNoPositiveNumber) {
  for (const char* radius : {"0", "-2", "1e-320"}) {
    qdtest::MessageCapture capture;
    parResetState();
    qdtest::writeFile("r.cfg", std::string("*FRRADIUS ") + radius + "\n*VERTZUSTEL 3\n");
    EXPECT_EQ(roughReadConfig("r.cfg"), -1) << radius;
    EXPECT_DOUBLE_EQ(unitFactor, 1.0) << radius;
    EXPECT_DOUBLE_EQ(parGlobalBlock()->vertzustel, 3.0) << radius;
    EXPECT_EQ(qdtest::capturedMessages(), std::vector<std::string>{"1001,*FRRADIUS"}) << radius;
  }
}
