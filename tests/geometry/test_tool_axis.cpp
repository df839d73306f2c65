// Tests of the tool-axis vector maths: turning and rotating against Rodrigues' rotation formula,
// azimuth-and-tilt interpolation, tilt limits and frames along a line.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/axis_interp.h"
#include "geometry/csys.h"
#include "geometry/path_list.h"
#include "geometry/tool_axis.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

Point3D cross(const Point3D& a, const Point3D& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Point3D& a, const Point3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Point3D unit(const Point3D& a) {
  const double l = std::sqrt(dot(a, a));
  return {a.x / l, a.y / l, a.z / l};
}
// Rodrigues: v rotated about the unit axis k by phi.
Point3D rodrigues(const Point3D& v, const Point3D& k, double phi) {
  const Point3D kv = cross(k, v);
  const double kd = dot(k, v), c = std::cos(phi), s = std::sin(phi);
  return {v.x * c + kv.x * s + k.x * kd * (1 - c), v.y * c + kv.y * s + k.y * kd * (1 - c),
          v.z * c + kv.z * s + k.z * kd * (1 - c)};
}
void expectNear(const Point3D& a, const Point3D& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}
Point3D randomVector(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  return {u(rng), u(rng), u(rng)};
}
}  // namespace

TEST(ToolAxis, TurnTowardAndRotateAboutMatchRodrigues) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> ang(-3.0, 3.0);
  for (int n = 0; n < 500; ++n) {
    const Point3D a = unit(randomVector(rng));
    const Point3D b = unit(randomVector(rng));
    const double phi = ang(rng);
    Point3D out;
    ASSERT_EQ(axisTurnToward(&out, a, b, phi), 0);
    expectNear(out, rodrigues(a, unit(cross(a, b)), phi), 1e-12);

    Point3D v = randomVector(rng);
    const Point3D k = randomVector(rng);
    const Point3D expected = rodrigues(v, unit(k), phi);
    ASSERT_EQ(axisRotateAbout(&v, k, phi), 1);
    expectNear(v, expected, 1e-12);
  }
}

TEST(ToolAxis, TurnSidewaysIsAQuarterTurnAboutTheOther) {
  const Point3D a{0, 0, 1}, b{1, 0, 0};
  Point3D out;
  ASSERT_EQ(axisTurnSideways(&out, a, b, kPi / 2), 0);
  expectNear(out, unit(cross(b, a)), 1e-12);
  EXPECT_EQ(axisTurnSideways(&out, a, a, 0.3), -1);
  expectNear(out, a, 0);
}

TEST(ToolAxis, KnownTurnsAndParallelAxes) {
  Point3D out;
  ASSERT_EQ(axisTurnToward(&out, {0, 0, 1}, {1, 0, 0}, kPi / 2), 0);
  expectNear(out, {1, 0, 0}, 1e-12);
  ASSERT_EQ(axisTurnToward(&out, {0, 0, 1}, {1, 0, 0}, kPi / 4), 0);
  expectNear(out, {std::sqrt(0.5), 0, std::sqrt(0.5)}, 1e-12);
  EXPECT_EQ(axisTurnToward(&out, {0, 0, 1}, {0, 0, -1}, 1.0), -1);
  expectNear(out, {0, 0, 1}, 0);
  Point3D v{1, 0, 0};
  ASSERT_EQ(axisRotateAbout(&v, {0, 0, 1}, kPi / 2), 1);
  expectNear(v, {0, 1, 0}, 1e-12);
  Point3D w{0, 0, 2};
  EXPECT_EQ(axisRotateAbout(&w, {0, 0, 1}, 1.0), 0);
  expectNear(w, {0, 0, 2}, 0);
}

TEST(ToolAxis, AzimuthTiltKeepsTheTiltBetweenEqualTilts) {
  const double t = 20.0 * kPi / 180.0;
  const Point3D a = holderAxisFromTilt({1, 0, 0}, t);
  const Point3D b = holderAxisFromTilt({0, 1, 0}, t);
  const double alpha = std::acos(dot(a, b));
  Point3D out;
  ASSERT_EQ(axisTurnAzimuthTilt(&out, a, b, alpha / 2), 0);
  EXPECT_NEAR(std::acos(out.z), t, 1e-12);
  EXPECT_NEAR(out.x, out.y, 1e-12);
  EXPECT_GT(out.x, 0.0);
  // From a vertical axis there is no azimuth to turn, unless the target is reached.
  const Point3D up{0, 0, 1};
  EXPECT_EQ(axisTurnAzimuthTilt(&out, up, a, t / 2), -1);
  EXPECT_EQ(axisTurnAzimuthTilt(&out, up, a, t), 1);
  expectNear(out, a, 0);
  EXPECT_EQ(axisTurnAzimuthTilt(&out, up, a, 2 * t), 1);
}

TEST(ToolAxis, LimitTilt) {
  Point3D a{1, 0, 0};
  EXPECT_EQ(axisLimitTilt(&a, kPi / 6), 1);
  expectNear(a, {0.5, 0, std::sqrt(3.0) / 2}, 1e-12);
  Point3D up{0, 0, 1};
  EXPECT_EQ(axisLimitTilt(&up, kPi / 6), 0);
  expectNear(up, {0, 0, 1}, 0);
  Point3D over{0, 0, 1.5};  // z above 1 is clamped first
  EXPECT_EQ(axisLimitTilt(&over, kPi / 6), 0);
  EXPECT_EQ(over.z, 1.0);
  // Through the switch, measured in the reference system (identity at load: the same result).
  axisSetFrameTiltLimit(1);
  Point3D b{0, 1, 0};
  EXPECT_EQ(axisClampTilt(&b, kPi / 3), 1);
  expectNear(b, {0, std::sqrt(3.0) / 2, 0.5}, 1e-12);
  axisResetState();
}

TEST(ToolAxis, HolderRotateToward) {
  Point3D out;
  EXPECT_EQ(holderRotateToward({1, 0, 0}, {0, 1, 0}, 2.0, &out), 1);
  expectNear(out, {0, 1, 0}, 0);
  EXPECT_EQ(holderRotateToward({1, 0, 0}, {0, 1, 0}, kPi / 4, &out), 0);
  expectNear(out, {std::sqrt(0.5), std::sqrt(0.5), 0}, 1e-12);
  EXPECT_EQ(holderRotateToward({1, 0, 0}, {-1, 0, 0}, 1.0, &out), -1);
  expectNear(out, {1, 0, 0}, 0);
}

TEST(ToolAxis, FrameAlongAndPointRotationAboutALine) {
  Matrix4 m, inv, id;
  matIdentity(&id);
  ASSERT_EQ(axisFrameAlong({0, 0, 0}, {0, 0, 1}, &m, &inv), 1);
  EXPECT_EQ(matEqual(m, id), 1);
  EXPECT_EQ(matEqual(inv, id), 1);
  EXPECT_EQ(axisFrameAlong({1, 2, 3}, {0, 0, 0}, &m, &inv), -1);

  std::mt19937 rng(11);
  for (int n = 0; n < 200; ++n) {
    const Point3D o = randomVector(rng), z = randomVector(rng), p0 = randomVector(rng);
    const double phi = std::uniform_real_distribution<double>(-3, 3)(rng);
    const Point3D rel{p0.x - o.x, p0.y - o.y, p0.z - o.z};
    const Point3D r = rodrigues(rel, unit(z), phi);
    Point3D p = p0;
    ASSERT_EQ(axisRotatePointAboutLine(&p, o, z, phi), 1);
    expectNear(p, {r.x + o.x, r.y + o.y, r.z + o.z}, 1e-9);
  }
}

TEST(ToolAxis, InterpolateRangeTurnsByShareOfLength) {
  PathList* l = pathListNew(8, 1);
  ASSERT_NE(l, nullptr);
  const Point3D a{0, 0, 1};
  const Point3D b = holderAxisFromTilt({1, 0, 0}, 0.8);
  const double xs[] = {0, 1, 3, 6, 10};  // moves of 1, 2, 3, 4: total 10
  for (int i = 0; i < 5; ++i) {
    ASSERT_GE(pathListInsert(l, xs[i], {xs[i], 0, 0}, 0, i == 4 ? &b : &a, 1), 0);
  }
  ASSERT_EQ(axisInterpolateRange(l, 0, 4, 10.0), 1);
  for (int i = 1; i < 4; ++i) {
    EXPECT_NEAR(std::acos(dot(l->axes[i], a)), 0.8 * xs[i] / 10.0, 1e-12);
    EXPECT_NEAR(l->axes[i].y, 0.0, 1e-12);
  }
  // By index share when no length is given.
  ASSERT_EQ(axisInterpolateRange(l, 0, 4, 0.0), 1);
  EXPECT_NEAR(std::acos(dot(l->axes[1], a)), 0.2, 1e-12);
  EXPECT_EQ(axisInterpolateAzTilt(l, 0, 4, 0.0), 0);
  EXPECT_EQ(axisInterpolateRange(l, 0, 5, 1.0), -20);
  pathListFree(l);
}

TEST(ToolAxis, InterpolateAzTiltAlongAnArcOfEqualTilt) {
  PathList* l = pathListNew(8, 1);
  ASSERT_NE(l, nullptr);
  const double t = 0.3;
  const Point3D a = holderAxisFromTilt({1, 0, 0}, t);
  const Point3D b = holderAxisFromTilt({0, 1, 0}, t);
  for (int i = 0; i < 5; ++i)
    ASSERT_GE(pathListInsert(l, i, {double(i), 0, 0}, 0, i == 4 ? &b : &a, 1), 0);
  ASSERT_EQ(axisInterpolateAzTilt(l, 0, 4, 4.0), 1);
  for (int i = 1; i < 4; ++i) {
    EXPECT_NEAR(std::acos(l->axes[i].z), t, 1e-12);
    EXPECT_NEAR(std::atan2(l->axes[i].y, l->axes[i].x), (kPi / 2) * i / 4.0, 1e-9);
  }
  pathListFree(l);
}

// With a vertical start axis the azimuth turn has no answer; the points took an unset vector.
TEST(ToolAxis, InterpolateAzTiltKeepsAxesItCannotTurn) {
  PathList* l = pathListNew(8, 1);
  ASSERT_NE(l, nullptr);
  const Point3D up{0, 0, 1};
  const Point3D mid = holderAxisFromTilt({0, 1, 0}, 0.1);
  const Point3D b = holderAxisFromTilt({1, 0, 0}, 0.5);
  for (int i = 0; i < 4; ++i) {
    ASSERT_GE(pathListInsert(l, i, {double(i), 0, 0}, 0, i == 0 ? &up : i == 3 ? &b : &mid, 1), 0);
  }
  ASSERT_EQ(axisInterpolateAzTilt(l, 0, 3, 3.0), 1);
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(l->axes[i].x, mid.x) << i;
    EXPECT_EQ(l->axes[i].y, mid.y) << i;
    EXPECT_EQ(l->axes[i].z, mid.z) << i;
  }
  pathListFree(l);
}
