// Tests of the Z-level finishing driver's configuration step and set-up: the spiral switch
// follows "*ACCEPT_UNDERCUT" with "*SPIRAL_SIDE", the projected boundary replaces "*BOUNDARY"
// (or fails the step and leaves it), the unit factor follows radius, precision and scale-up,
// the scallop infeed, the comment options, and the Z-boundary strategy that fails cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "cycles/zfin_main.h"
#include "fiveaxis/fiveaxis_hooks.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/msg_capture.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"
#include "zlevel/spiral.h"

namespace {

using qdtest::MessageCapture;
using qdtest::readFile;
using qdtest::writeFile;
namespace gen = qdtest::gen;

void setText(char* field, const std::string& text) {
  std::snprintf(field, kParTextSize, "%s", text.c_str());
}

class ZfinSetup : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    parRunReset();
    csysResetState();
    spiralResetState();
    zfinResetState();
    unitFactor = 1.0;
    GlobalParams& g = *parGlobalBlock();
    g.frradius = 2.0;
    g.frbogen = 2.0;
    g.frtyp = 1;
    g.xshaftControl = 1;
    setText(g.approx, "part.stl");
    setText(g.tmpDir, tempPath());
  }
  void TearDown() override {
    parRunReset();
    csysResetState();
    spiralResetState();
    zfinResetState();
    unitFactor = 1.0;
  }
  static GlobalParams& g() { return *parGlobalBlock(); }
};

TEST_F(ZfinSetup, SpiralToolCheckFollowsUndercutWithSpiralSide) {
  struct Case {
    const char* name;
    int undercut, spiral, side, xcoll, slope;
    int check, spiralAfter, sideAfter, undercutAfter;
  };
  const Case cases[] = {
      {"undercut with side", 1, 0, 1, 0, 0, 1, 1, 1, 1},
      {"undercut with spiral: the side follows", 1, 1, 0, 0, 0, 1, 1, 1, 1},
      {"undercut alone", 1, 0, 0, 0, 0, 0, 0, 0, 1},
      {"side and spiral without undercut", 0, 1, 1, 0, 0, 0, 1, 1, 0},
      // the switch is set before the collision check clears the undercut again
      {"collision check on", 1, 0, 1, 1, 0, 1, 1, 1, 0},
      {"slope mode clears the spiral", 1, 0, 1, 0, 1, 1, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    g().acceptUndercut = static_cast<std::int16_t>(c.undercut);
    g().spiral = static_cast<std::int16_t>(c.spiral);
    g().spiralSide = static_cast<std::int16_t>(c.side);
    g().xcollCheck = static_cast<std::int16_t>(c.xcoll);
    g().slopeMode = static_cast<std::int16_t>(c.slope);
    ASSERT_EQ(zfinReadConfig(nullptr), 0);
    ASSERT_EQ(zfinInit(), 1);
    EXPECT_EQ(spiralGetToolCheck(), c.check);
    EXPECT_EQ(g().spiral, c.spiralAfter);
    EXPECT_EQ(g().spiralSide, c.sideAfter);
    EXPECT_EQ(g().acceptUndercut, c.undercutAfter);
  }
}

TEST_F(ZfinSetup, DriverSetsUpBeforeItReportsTheMissingOutputStep) {
  g().acceptUndercut = 1;
  g().spiralSide = 1;
  MessageCapture messages;
  EXPECT_EQ(zfinMain(nullptr), -1);
  EXPECT_EQ(spiralGetToolCheck(), 1);
  EXPECT_TRUE(MessageCapture::sent(1104));
  EXPECT_DOUBLE_EQ(unitFactor, 5.0);
  EXPECT_DOUBLE_EQ(g().frradius, 10.0);  // every length scaled once
  EXPECT_EQ(zfinEngine()->tool.radius, 10.0);
  EXPECT_EQ(zfinEngine()->tool.type, kCutterBall);
  EXPECT_EQ(zfinSafetyHeight(), g().sichebene);
}

TEST_F(ZfinSetup, ZBoundaryStrategyFailsTheSetUp) {
  g().boundStrategy = 1;
  g().gridFactor = 0.5;
  MessageCapture messages;
  ASSERT_EQ(zfinReadConfig(nullptr), 0);
  EXPECT_EQ(zfinInit(), -1);
  EXPECT_EQ(std::string(g().boundary), tempPath() + "/bound.bnd");
  EXPECT_EQ(g().gridFactor, 0.1);
  EXPECT_TRUE(MessageCapture::sent(1104));
  g().boundStrategy = 1;
  EXPECT_EQ(zfinMain(nullptr), -2);
}

// ---- projected boundary ------------------------------------------------------------------------

gen::Mesh plate(double side, double top) {
  gen::Mesh m;
  gen::detail::box(m, {-side, -side, top - 5}, {side, side, top});
  return m;
}

TEST_F(ZfinSetup, ProjectedBoundaryReplacesTheBoundaryName) {
  writeFile("part.stl", gen::stlBinary(plate(60, 2.0), "part"));
  writeFile("curves.bnd", "**BND 1\nX-20 Y-10 Z0\nX20 Y-10 Z0\nX20 Y10 Z0\nX-20 Y-10 Z0\n**END\n");
  g().bndProject = 1;
  g().frradius = 1.5;
  g().frbogen = 1.5;
  setText(g().boundary, "curves.bnd");
  MessageCapture messages;
  ASSERT_EQ(zfinReadConfig(nullptr), 0);
  EXPECT_TRUE(MessageCapture::sent(820));
  EXPECT_TRUE(MessageCapture::sent(822));
  const std::string name = tempPath() + "/proj.bnd";
  EXPECT_EQ(std::string(g().boundary), name);
  EXPECT_DOUBLE_EQ(unitFactor, 10.0 / 1.5);  // the projection's own factor does not stay
  std::istringstream in(readFile(name));
  std::string line;
  int points = 0;
  while (std::getline(in, line)) {
    double x = 0, y = 0, z = 0;
    if (std::sscanf(line.c_str(), "X%lf Y%lf Z%lf", &x, &y, &z) != 3) continue;
    EXPECT_NEAR(z, 2.0 + 1.5, 1e-4);  // the ball centre on the plate, in world units
    EXPECT_LE(std::fabs(x), 20 + 1e-4);
    ++points;
  }
  EXPECT_GT(points, 3);
}

TEST_F(ZfinSetup, FailedProjectionFailsTheStepAndKeepsTheName) {
  writeFile("part.stl", gen::stlBinary(plate(60, 2.0), "part"));
  g().bndProject = 1;
  setText(g().boundary, "missing.bnd");
  EXPECT_EQ(zfinReadConfig(nullptr), -2);
  EXPECT_STREQ(g().boundary, "missing.bnd");
  EXPECT_FALSE(qdtest::fileExists(tempPath() + "/proj.bnd"));
  parRunReset();
  SetUp();
  g().bndProject = 1;
  setText(g().boundary, "missing.bnd");
  EXPECT_EQ(zfinMain(nullptr), -2) << "a set-up failure, not a missing configuration file";
}

// ---- unit factor, scallop infeed and comment options -------------------------------------------

TEST_F(ZfinSetup, UnitFactorFollowsRadiusPrecisionAndScaleUp) {
  struct Case {
    double radius, precision;
    int inch;
    double scaleUp, factor, precisionFactor;
  };
  const Case cases[] = {
      {2.0, 0.005, 0, 0.0, 25.0, 5.0},  // fine precision on a small metric tool
      {2.0, 0.01, 0, 0.0, 5.0, 1.0},   {4.0, 0.005, 0, 0.0, 2.5, 1.0},
      {2.0, 0.005, 1, 0.0, 5.0, 1.0},  {2.0, 0.01, 0, 3.0, 15.0, 1.0},
      {2.0, 0.01, 0, 1.0, 5.0, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.radius << " " << c.precision << " " << c.inch << " " << c.scaleUp);
    SetUp();
    g().frradius = c.radius;
    g().precision = c.precision;
    g().inchMode = static_cast<std::int16_t>(c.inch);
    g().scaleUp = c.scaleUp;
    g().vertzustel = 2.0;
    ASSERT_EQ(zfinReadConfig(nullptr), 0);
    EXPECT_DOUBLE_EQ(unitFactor, c.factor);
    EXPECT_DOUBLE_EQ(zfinPrecisionFactor(), c.precisionFactor);
    EXPECT_DOUBLE_EQ(g().vertzustel, 2.0 * c.factor);
    // the scaling caps the precision at 0.01 before the precision factor applies
    EXPECT_DOUBLE_EQ(g().precision, std::min(c.precision * c.factor, 0.01) * c.precisionFactor);
    EXPECT_DOUBLE_EQ(g().stepMin, 0.01 * c.factor);
  }
  SetUp();
  g().frradius = 0.0;
  MessageCapture messages;
  EXPECT_EQ(zfinReadConfig(nullptr), -2);
  EXPECT_TRUE(MessageCapture::sent(1001));
  EXPECT_EQ(zfinReadConfig((tempPath() + "/none.cfg").c_str()), -1);
}

TEST_F(ZfinSetup, ScallopInfeedFromTheToolRadius) {
  // ball of radius 2, scallop 0.1: step 2 sqrt(2 r h - h^2) in scaled units (factor 5)
  g().zustellArt = 2;
  g().scalHeight = 0.1;
  ASSERT_EQ(zfinReadConfig(nullptr), 0);
  const double r = 10.0, h = 0.5;
  EXPECT_NEAR(g().vertzustel, 2 * std::sqrt(2 * r * h - h * h), 1e-12);
  SetUp();
  g().zustellArt = 2;
  g().frtyp = 2;  // a flat end mill leaves no scallop: fixed infeed
  g().vertzustel = 2.0;
  ASSERT_EQ(zfinReadConfig(nullptr), 0);
  EXPECT_EQ(g().zustellArt, 1);
  EXPECT_DOUBLE_EQ(g().vertzustel, 10.0);
}

TEST_F(ZfinSetup, CommentOptions) {
  struct Case {
    const char* comment;
    int fillet, slope, undercut, backdraft;  // results
    int corners;
    double radius, angle;
  };
  const Case cases[] = {
      // the slope angle's default is 45
      {"FILLET = 2", 1, 0, 0, 0, 1, 6.0, 45.0},
      {"FILLET", 0, 0, 0, 0, 1, 0.0, 45.0},
      {"SLOPE=30", 0, 1, 0, 0, 0, 0.0, 30.0},
      {"SLOPE 30", 0, 0, 0, 0, 0, 0.0, 45.0},
      {"UNDERCUT BACKDRAFT", 0, 0, 1, 1, 0, 0.0, 45.0},
      {"fillet=2 undercut", 0, 0, 0, 0, 0, 0.0, 45.0},  // case-sensitive
      {"", 0, 0, 0, 0, 0, 0.0, 45.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.comment);
    SetUp();
    unitFactor = 3.0;
    g().xcollCheck = 1;
    setText(g().comment, c.comment);
    EXPECT_EQ(zfinOptFillet(), c.fillet);
    EXPECT_EQ(zfinOptSlope(), c.slope);
    EXPECT_EQ(zfinOptUndercut(), c.undercut);
    EXPECT_EQ(zfinOptBackdraft(), c.backdraft);
    EXPECT_EQ(g().filletCorners, c.corners);
    EXPECT_DOUBLE_EQ(g().filletRadius, c.radius);
    EXPECT_EQ(g().slopeMode, c.slope);
    EXPECT_DOUBLE_EQ(g().slopeAngle, c.angle);
    EXPECT_EQ(g().acceptUndercut, c.undercut);
    EXPECT_EQ(g().xcollCheck, c.undercut != 0 ? 0 : 1);
    EXPECT_EQ(g().backdraft, c.backdraft);
  }
}

}  // namespace
