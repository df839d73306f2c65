// Coordinate systems: world -> tool -> world round trips, scaling, the quarter turn and the clear
// angle, and failed preparation.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/csys.h"

namespace {
const Point3D kO{0, 0, 0}, kX{1, 0, 0}, kY{0, 1, 0}, kZ{0, 0, 1};

class Csys : public ::testing::Test {
 protected:
  void SetUp() override { csysResetState(); }
  void TearDown() override { csysResetState(); }
};

void expectPoint(const Point3D& p, double x, double y, double z, double tol = 1e-12) {
  EXPECT_NEAR(p.x, x, tol);
  EXPECT_NEAR(p.y, y, tol);
  EXPECT_NEAR(p.z, z, tol);
}
}  // namespace

TEST_F(Csys, AtLoadEverythingIsIdentity) {
  EXPECT_EQ(csysCurrent()->prepared, 0);
  EXPECT_EQ(csysCurrent()->scale, 1.0);
  Point3D p{1, 2, 3};
  csysWorldToTool(&p);
  csysToolToFrame(&p);
  expectPoint(p, 1, 2, 3, 0);
  EXPECT_EQ(csysToolIsFrame(), 1);
}

TEST_F(Csys, ShiftedToolAndScale) {
  csysSetTool({10, 0, 0}, kX, kY, kZ);
  ASSERT_EQ(csysPrepare(), 1);
  EXPECT_EQ(csysCurrent()->prepared, 1);
  Point3D p{10, 0, 0};
  csysWorldToTool(&p);
  expectPoint(p, 0, 0, 0);
  ASSERT_EQ(csysMulScale(2), 1);
  p = {11, 0, 0};
  csysWorldToTool(&p);
  expectPoint(p, 2, 0, 0);
  csysToolToWorld(&p);
  expectPoint(p, 11, 0, 0);
  // Frame at the world origin: tool (2, 0, 0) scaled is world (11, 0, 0).
  p = {2, 0, 0};
  csysToolToFrame(&p);
  expectPoint(p, 11, 0, 0);
  csysFrameToTool(&p);
  expectPoint(p, 2, 0, 0);
  EXPECT_EQ(csysToolIsFrame(), 0);
  EXPECT_EQ(csysAxisDiffers(), 0);
  EXPECT_EQ(csysMulScale(0.0), -20);
  EXPECT_EQ(csysMulScale(NAN), -20);
  EXPECT_EQ(csysCurrent()->scale, 2.0);
  ASSERT_EQ(csysPrepare(), 1);
  EXPECT_EQ(csysCurrent()->scale, 1.0) << "a later prepare resets the scale";
}

TEST_F(Csys, SameToolAndFrameOnlyDivideByScale) {
  csysSetTool({1, 2, 3}, kY, {-1, 0, 0}, kZ);
  csysSetFrame({1, 2, 3}, kY, {-1, 0, 0}, kZ);
  ASSERT_EQ(csysPrepare(), 1);
  csysMulScale(4);
  EXPECT_EQ(csysToolIsFrame(), 1);
  Point3D p{4, 8, -12};
  csysToolToFrame(&p);
  expectPoint(p, 1, 2, -3);
}

TEST_F(Csys, QuarterTurnMovesPointsButNotToolDirections) {
  csysRotateTool90();
  ASSERT_EQ(csysPrepare(), 1);
  Point3D p{0, 1, 0};  // on the former y axis
  csysWorldToTool(&p);
  expectPoint(p, 1, 0, 0);
  Point3D d{1, 0, 0};
  csysToolDirToFrame(&d);
  expectPoint(d, 1, 0, 0);
  EXPECT_EQ(csysAxisDiffers(), 0);
}

TEST_F(Csys, ClearAngleTurnsPointsAndDirections) {
  csysRotateTool(90);
  ASSERT_EQ(csysPrepare(), 1);
  Point3D p{0, 1, 0};
  csysWorldToTool(&p);
  expectPoint(p, 1, 0, 0);
  Point3D d{1, 0, 0};
  csysToolDirToFrame(&d);
  expectPoint(d, 0, 1, 0);
  EXPECT_EQ(csysAxisDiffers(), 0);
}

TEST_F(Csys, RandomSystemsRoundTrip) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-1, 1), big(-100, 100), sc(0.1, 10);
  for (int k = 0; k < 200; ++k) {
    const Point3D to{big(rng), big(rng), big(rng)}, fo{big(rng), big(rng), big(rng)};
    const Point3D tx{u(rng), u(rng), u(rng)}, ty{u(rng), u(rng), u(rng)},
        tz{u(rng), u(rng), u(rng)};
    csysSetTool(to, tx, ty, tz);
    csysSetFrame(fo, kY, kZ, kX);
    if (csysPrepare() != 1) continue;
    const double scale = sc(rng);
    csysMulScale(scale);
    const Point3D w{big(rng), big(rng), big(rng)};
    Point3D p = w;
    csysWorldToTool(&p);
    // Independent check: the tool point, unscaled, rebuilt from the axes is the world point.
    const Point3D t{p.x / scale, p.y / scale, p.z / scale};
    EXPECT_NEAR(t.x * tx.x + t.y * ty.x + t.z * tz.x + to.x, w.x, 1e-6);
    EXPECT_NEAR(t.x * tx.y + t.y * ty.y + t.z * tz.y + to.y, w.y, 1e-6);
    Point3D back = p;
    csysToolToWorld(&back);
    expectPoint(back, w.x, w.y, w.z, 1e-6);
    Point3D f = p;
    csysToolToFrame(&f);  // frame axes permuted: frame (a, b, c) is world (c, a, b) + fo
    EXPECT_NEAR(f.x, w.y - fo.y, 1e-6);
    EXPECT_NEAR(f.y, w.z - fo.z, 1e-6);
    EXPECT_NEAR(f.z, w.x - fo.x, 1e-6);
    Point3D fw{w.y - fo.y, w.z - fo.z, w.x - fo.x};
    csysFrameToWorld(&fw);
    expectPoint(fw, w.x, w.y, w.z, 1e-6);
    csysFrameToTool(&f);
    expectPoint(f, p.x, p.y, p.z, 1e-6);
  }
}

TEST_F(Csys, DependentAxesFailToPrepare) {
  csysSetTool(kO, kX, {2, 0, 0}, kZ);
  EXPECT_EQ(csysPrepare(), -1);
  EXPECT_EQ(csysCurrent()->prepared, 0);
}

TEST_F(Csys, ReferenceSystemDirections) {
  csysSetOrig({5, 5, 5}, kY, {-1, 0, 0}, kZ);
  ASSERT_EQ(csysPrepare(), 1);
  ASSERT_EQ(csysPrepareOrig(), 1);
  Point3D d{1, 0, 0};
  csysToolDirToOrig(&d);
  expectPoint(d, 0, -1, 0);
  csysOrigDirToTool(&d);
  expectPoint(d, 1, 0, 0);
  csysSetOrig(kO, kX, kX, kZ);
  EXPECT_EQ(csysPrepareOrig(), -1);
}
