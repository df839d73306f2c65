// Tests of the spiral transitions: between two level contours of a cone the spiral falls
// monotonically from the upper to the lower height, rests on the cone and starts at the start
// point; open contours give nothing; the tool check fails with the five-axis stand-in; the switch
// itself changes nothing else.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "fiveaxis/fiveaxis_hooks.h"
#include "geometry/path_list.h"
#include "model/model_fixture.h"
#include "zlevel/spiral.h"

namespace {

// A cone of 256 facets: apex (0, 0, 40), base radius 40 at z 0 (slope 1).
std::vector<Tri3D> cone() {
  std::vector<Tri3D> tris;
  const int n = 256;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * std::numbers::pi * i / n, b = 2 * std::numbers::pi * (i + 1) / n;
    tris.push_back(Tri3D{{{0, 0, 40},
                          {40 * std::cos(a), 40 * std::sin(a), 0},
                          {40 * std::cos(b), 40 * std::sin(b), 0}}});
  }
  return tris;
}

// A closed circle path of radius rho at height z starting at (rho, 0), counter-clockwise.
PathList* circle(double rho, double z, int n, bool closed = true) {
  PathList* p = pathListNew(n + 1, 0);
  for (int i = 0; i <= n; ++i) {
    const double a = 2 * std::numbers::pi * i / n;
    Point3D q{rho * std::cos(a), rho * std::sin(a), z};
    if (i == n && !closed) q = {rho * std::cos(0.001), rho * std::sin(0.001), z};
    pathListInsert(p, i, q, 1, nullptr, 0);
  }
  return p;
}

class Spiral : public ::testing::Test {
 protected:
  Spiral() : tm_(cone(), qdtest::makeCutter(kCutterBall, 1.0, 1.0)) {
    tm_.m.tolerance = 0.008;
    tm_.m.step = 1.0;
  }
  ~Spiral() override {
    spiralResetState();
    fiveaxisInstallHooks();
  }
  qdtest::TriModel tm_;
};

TEST_F(Spiral, ConeSpiralFallsMonotonicallyAndRestsOnTheCone) {
  SurfaceModel* m = &tm_.m;
  const double zUp = spiralDropAt(m, {20, 0, 0}), zLo = spiralDropAt(m, {24, 0, 0});
  ASSERT_GT(zUp, zLo + 3.0);
  PathList* upper = circle(20, zUp, 180);
  PathList* lower = circle(24, zLo, 180);
  PathList* out = pathListNew(100, 0);
  const Point3D start{20, 0, zUp};
  for (double blend : {0.0, 60.0}) {
    SCOPED_TRACE(blend);
    ASSERT_EQ(spiralTransition(m, lower, upper, out, start, blend), 1);
    ASSERT_GT(out->count, 50);
    EXPECT_EQ(out->positions[0].x, start.x);
    EXPECT_EQ(out->positions[0].y, start.y);
    EXPECT_EQ(out->positions[0].z, start.z);
    EXPECT_NEAR(out->positions[out->count - 1].z, zLo, 0.01);
    for (int i = 0; i < out->count; ++i) {
      const Point3D& p = out->positions[i];
      if (i > 0) {
        EXPECT_LE(p.z, out->positions[i - 1].z + 1e-9) << i;
      }
      EXPECT_NEAR(spiralDropAt(m, p), p.z, 0.01) << i;
      const double rho = std::hypot(p.x, p.y);
      EXPECT_GE(rho, 20 - 0.01);
      EXPECT_LE(rho, 24 + 0.01);
    }
  }
  pathListFree(upper);
  pathListFree(lower);
  pathListFree(out);
}

TEST_F(Spiral, OpenContoursAndToolCheck) {
  SurfaceModel* m = &tm_.m;
  PathList* upper = circle(20, 21, 90);
  PathList* lower = circle(24, 17, 90);
  PathList* open = circle(24, 17, 90, false);  // ends about 0.024 apart
  PathList* out = pathListNew(10, 0);
  pathListInsert(out, 0, {1, 2, 3}, 1, nullptr, 0);
  EXPECT_EQ(spiralTransition(m, open, upper, out, {20, 0, 21}, 0), 0);
  EXPECT_EQ(out->count, 0);
  // the switch is stored and read by the transition alone
  EXPECT_EQ(spiralGetToolCheck(), 0);
  spiralSetToolCheck(1);
  EXPECT_EQ(spiralGetToolCheck(), 1);
  EXPECT_EQ(spiralTransition(m, lower, upper, out, {20, 0, 21}, 0), -1);  // the stand-in tilt
  EXPECT_EQ(out->count, 0);
  spiralSetTiltHook(nullptr);
  EXPECT_EQ(spiralTransition(m, lower, upper, out, {20, 0, 21}, 0), -1);
  spiralResetState();
  EXPECT_EQ(spiralGetToolCheck(), 0);
  EXPECT_EQ(spiralTransition(nullptr, lower, upper, out, {20, 0, 21}, 0), -1);
  pathListFree(upper);
  pathListFree(lower);
  pathListFree(open);
  pathListFree(out);
}

}  // namespace
