// Tests of the tool assembly: the bands and clearances of known tools, the clearance angle against
// the largest angle over the band corners taken one by one, and the run switches that must not
// outlive a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "model/cutter_shape.h"
#include "model/tool_assembly.h"
#include "model_fixture.h"

namespace {

using qdtest::makeCutter;

class ToolAssemblyTest : public ::testing::Test {
 protected:
  void SetUp() override { toolAssemblyResetState(); }
  void TearDown() override { toolAssemblyResetState(); }
};

}  // namespace

TEST_F(ToolAssemblyTest, KnownTools) {
  // R = 5, DIAMETER1 = 100, allowance 0: clearance max(1, 2.5) = 2.5 = a.
  const CutterShape ball = makeCutter(kCutterBall, 5, 5);
  ToolAssembly t;
  toolAssemblyInit(&t, &ball, 0.0, 30, 10, 60, 100, 12);
  EXPECT_DOUBLE_EQ(toolAssemblyClearance(), 2.5);
  EXPECT_DOUBLE_EQ(t.shankBandDiameter, 105);
  EXPECT_DOUBLE_EQ(t.neckDiameter, 17);
  EXPECT_DOUBLE_EQ(t.freeLength, 60 - 5 - 2.5);
  EXPECT_DOUBLE_EQ(t.coneTop, t.freeLength + 10);
  EXPECT_DOUBLE_EQ(t.holderStart, t.coneTop + 30);
  EXPECT_DOUBLE_EQ(t.holderDiameter1, 105);
  EXPECT_DOUBLE_EQ(t.shankDiameter, 10);
  EXPECT_EQ(t.taperLength, 0.0);  // the cutter's own taper length
  EXPECT_EQ(t.type, kCutterBall);

  // A fixed clearance 0.05 replaces the allowance 0.3 passed in: a = 0.1.
  toolAssemblySetClearance(0.05);
  toolAssemblyInit(&t, &ball, 0.3, 30, 10, 60, 100, 12);
  EXPECT_DOUBLE_EQ(toolAssemblyClearance(), 0.05);
  EXPECT_DOUBLE_EQ(t.neckDiameter, 12.2);
  EXPECT_DOUBLE_EQ(t.freeLength, 60 - 5 - 0.1);
  toolAssemblyResetState();

  // A tool shorter than the tip height plus a: free length 0, the angle from the cone top alone.
  const CutterShape torus = makeCutter(kCutterTorus, 5, 1);
  toolAssemblyInit(&t, &torus, 0.0, 20, 8, 2, 40, 12);
  EXPECT_EQ(t.freeLength, 0.0);
  EXPECT_DOUBLE_EQ(t.clearanceAngle, std::atan2((40 + 2 * 1.0) / 2 - 5, 8));

  // DIAMETER2 below 2R is raised to 2R, unless the no-minimum-diameter switch is set.
  toolAssemblySetNoClearance(1);
  toolAssemblyInit(&t, &ball, 0.0, 20, 8, 50, 6, 4);
  EXPECT_DOUBLE_EQ(t.neckDiameter, 10);
  EXPECT_DOUBLE_EQ(t.shankBandDiameter, 10);
  toolAssemblySetNoMinDiameter(1);
  toolAssemblyInit(&t, &ball, 0.0, 20, 8, 50, 6, 4);
  EXPECT_DOUBLE_EQ(t.neckDiameter, 4);
  EXPECT_DOUBLE_EQ(t.shankBandDiameter, 6);
  EXPECT_LT(t.clearanceAngle, 0.0);  // the neck lies inside the cutter radius
}

TEST_F(ToolAssemblyTest, HolderBandsAndMaxDiameter) {
  const CutterShape flat = makeCutter(kCutterFlat, 4, 0);
  ToolAssembly t;
  toolAssemblyInit(&t, &flat, 0.0, 20, 5, 40, 10, 8);  // clearance max(0.8, 0.25) = 0.8
  const double before = t.clearanceAngle;
  // A holder no wider than the shank band leaves the angle unchanged.
  toolAssemblySetHolder(&t, 0.0, 1, 10, 1, 10);
  EXPECT_DOUBLE_EQ(t.holderDiameter1, t.shankBandDiameter);
  EXPECT_DOUBLE_EQ(t.holderDiameter2, t.shankBandDiameter);
  EXPECT_EQ(t.clearanceAngle, before);
  EXPECT_DOUBLE_EQ(t.holderConeTop, t.holderStart + 10);
  EXPECT_DOUBLE_EQ(t.holderTop, t.holderConeTop + 10);
  // A wide holder: diameters grown by 2 (a + clearance).
  toolAssemblySetHolder(&t, 0.5, 30, 10, 60, 20);
  EXPECT_DOUBLE_EQ(t.holderDiameter1, 30 + 2 * (0.5 + 0.8));
  EXPECT_DOUBLE_EQ(t.holderDiameter2, 60 + 2 * (0.5 + 0.8));
  EXPECT_GT(t.clearanceAngle, before);
  EXPECT_DOUBLE_EQ(toolAssemblyMaxDiameter(&t), 60 + 2 * 1.3);
  EXPECT_EQ(toolAssemblyMaxDiameter(nullptr), 0.0);
}

// The clearance angle is the largest angle atan2(r - R, h) over the band corners that count:
// neck (always, when the free length is usable), shank band, a shank other than 2R, and the
// holder corners when the holder is wider than the band.
TEST_F(ToolAssemblyTest, ClearanceAngleIsTheLargestCornerAngle) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(0, 1);
  const std::int16_t types[] = {kCutterBall, kCutterFlat, kCutterTorus};
  for (int trial = 0; trial < 2000; ++trial) {
    toolAssemblyResetState();
    if (trial % 4 == 1) toolAssemblySetNoClearance(1);
    if (trial % 5 == 2) toolAssemblySetClearance(u(rng));
    if (trial % 3 == 0) toolAssemblySetNoMinDiameter(1);
    const double r = 1 + 9 * u(rng);
    CutterShape c = makeCutter(types[trial % 3], r, r * u(rng));
    if (c.type == kCutterBall) c.cornerRadius = r;
    if (trial % 2 == 0) {
      c.taperLength = 30 * u(rng);
      c.shankDiameter = 2 * r * (0.5 + u(rng));
      c.bandLength = 10 * u(rng);
      c.taperAngle = 10 * u(rng);
    }
    const double total = 80 * u(rng), d1 = 40 * u(rng), d2 = 30 * u(rng);
    const double l1 = 30 * u(rng), l2 = 20 * u(rng);
    ToolAssembly t;
    toolAssemblyInit(&t, &c, u(rng), l1, l2, total, d1, d2);
    const bool holder = trial % 7 != 0;
    if (holder)
      toolAssemblySetHolder(&t, u(rng), 60 * u(rng), 20 * u(rng), 80 * u(rng), 30 * u(rng));

    struct Corner {
      double diameter, height;
    };
    std::vector<Corner> corners;
    if (std::fabs(t.coneTop) >= 1e-5) corners.push_back({t.shankBandDiameter, t.coneTop});
    if (std::fabs(t.shankDiameter - 2 * r) >= 1e-5) {
      corners.push_back({t.shankDiameter, t.bandLength + t.taperLength});
    }
    const bool wider =
        t.holderDiameter2 > t.holderDiameter1 || t.holderDiameter1 > t.shankBandDiameter;
    if (holder && wider) {
      if (std::fabs(t.holderStart) >= 1e-5) corners.push_back({t.holderDiameter1, t.holderStart});
      if (std::fabs(t.holderConeTop) >= 1e-5) {
        corners.push_back({t.holderDiameter2, t.holderConeTop});
      }
    }
    double best =
        std::fabs(t.freeLength) >= 1e-5 ? std::atan2(t.neckDiameter / 2 - r, t.freeLength) : 0.0;
    for (const Corner& k : corners) best = std::max(best, std::atan2(k.diameter / 2 - r, k.height));
    ASSERT_EQ(t.clearanceAngle, best) << "trial " << trial;
  }
}

// A holder-mesh job switches the clearance off and fixes it; the next job starts clean.
TEST_F(ToolAssemblyTest, RunResetRestoresTheSwitches) {
  const CutterShape ball = makeCutter(kCutterBall, 5, 5);
  ToolAssembly fresh, after;
  toolAssemblyInit(&fresh, &ball, 0.0, 30, 10, 60, 100, 12);
  toolAssemblySetNoClearance(1);
  toolAssemblySetClearance(0.2);
  toolAssemblySetNoMinDiameter(1);
  ToolAssembly job;
  toolAssemblyInit(&job, &ball, 0.0, 30, 10, 60, 100, 12);
  EXPECT_NE(job.shankBandDiameter, fresh.shankBandDiameter);
  toolAssemblyResetState();
  EXPECT_EQ(toolAssemblyClearance(), 1.0);
  toolAssemblyInit(&after, &ball, 0.0, 30, 10, 60, 100, 12);
  EXPECT_EQ(after.shankBandDiameter, fresh.shankBandDiameter);
  EXPECT_EQ(after.freeLength, fresh.freeLength);
}
