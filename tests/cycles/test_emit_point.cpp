// The point emitter: the repeat filter, the axis before every point, the NC frame mapping and the
// near test against an independent frame computation, the run reset, the first macro step.
#include <gtest/gtest.h>

#include <cmath>

#include "cycles/approach_macro.h"
#include "emit_recorder.h"
#include "geometry/csys.h"

using namespace emitrec;

namespace {

class EmitPoint : public EmitTest {};

TEST_F(EmitPoint, RepeatFilterTable) {
  struct Step {
    Point3D p;
    Point3D axis;
    int code;
    bool passes;
  };
  const Point3D z{0, 0, 1};
  const Point3D tilted{0, 0.1, 0.995};
  const Step steps[] = {
      {{1234567, 1234567, -1234567}, {-100, -100, -100}, 1, true},  // first point, at sentinel
      {{1234567, 1234567, -1234567}, {-100, -100, -100}, 1, false},
      {{1, 2, 3}, z, 1, true},
      {{1, 2, 3}, z, 1, false},         // same position and axis
      {{1, 2, 3 + 5e-6}, z, 0, false},  // within 1e-5, other code
      {{1, 2, 3}, tilted, 1, true},     // changed axis
      {{1, 2, 3}, tilted, -1, true},    // negative codes always pass
      {{1, 2, 3}, tilted, -1, true},
      {{1, 2, 3}, tilted, 1, true},         // the last code was negative
      {{1, 2, 3 + 2e-5}, tilted, 1, true},  // moved beyond 1e-5
  };
  int expected = 0;
  for (const Step& s : steps) {
    ASSERT_EQ(emitToolAxis(s.axis), 0);
    ASSERT_EQ(emitPoint(s.p, s.code), 0);
    expected += s.passes ? 1 : 0;
    EXPECT_EQ(static_cast<int>(points().size()), expected) << s.p.z << " code " << s.code;
  }
}

TEST_F(EmitPoint, EveryPathPointSendsItsAxisFirstEvenWhenDropped) {
  emitSetAxisCallback(recordAxis);
  emitState().path.outputAxis = {0, 0, 1};
  ASSERT_EQ(emitPathPoint({1, 0, 0}, 1), 0);
  ASSERT_EQ(emitPathPoint({1, 0, 0}, 1), 0);
  ASSERT_EQ(emitPointWithAxis({2, 0, 0}, {0, 1, 0}, 1), 0);
  const char want[] = "APAAP";
  ASSERT_EQ(calls().size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(calls()[i].what, want[i]) << i;
  EXPECT_EQ(calls()[3].v.y, 1.0);
}

TEST_F(EmitPoint, CallbackFailureBecomesMinus3) {
  pointFail = 1;
  EXPECT_EQ(emitPathPoint({1, 0, 0}, 1), -3);
  emitSetAxisCallback([](Point3D*, int) { return -1; });
  EXPECT_EQ(emitToolAxis({0, 0, 1}), -3);
}

TEST_F(EmitPoint, PointBeforeLastMovesOnlyForADistinctPoint) {
  ASSERT_EQ(emitPathPoint({0, 0, 0}, 1), 0);
  ASSERT_EQ(emitPathPoint({1, 0, 0}, 1), 0);
  ASSERT_EQ(emitPathPoint({1.0005, 0.0005, 0}, 1), 0);  // closer than 0.001 in every coordinate
  EXPECT_EQ(emitState().path.pointBeforeLast.x, 0.0);
  EXPECT_EQ(emitState().path.lastPathPoint.x, 1.0005);
  ASSERT_EQ(emitPathPoint({2, 0, 0}, 1), 0);
  EXPECT_EQ(emitState().path.pointBeforeLast.x, 1.0005);
  // The link moves keep their own half.
  EXPECT_EQ(retractPathState().pathPointValid, 0);
  ASSERT_EQ(retractEmitPointWithAxis({5, 5, 5}, {1, 0, 0}, 0), 0);
  EXPECT_EQ(retractPathState().lastPathPoint.x, 5.0);
  EXPECT_EQ(emitState().path.lastPathPoint.x, 2.0);
}

// A frame rotated about z by 30 degrees and tilted, moved to (5, -3, 2); the tool system is the
// world scaled by 2.5. The expected frame coordinates come from dot products with the frame's
// axes, not from the matrices of the coordinate module.
TEST_F(EmitPoint, NonIdentityFrameMatchesAnIndependentProduct) {
  const double c = std::cos(0.5236), s = std::sin(0.5236);
  const double ct = std::cos(0.3), st = std::sin(0.3);
  const Point3D fx{c, s, 0};
  const Point3D fy{-s * ct, c * ct, st};
  const Point3D fz{s * st, -c * st, ct};
  const Point3D origin{5, -3, 2};
  csysSetFrame(origin, fx, fy, fz);
  ASSERT_EQ(csysPrepare(), 1);
  ASSERT_EQ(csysMulScale(2.5), 1);
  emitSetAxisCallback(recordAxis);
  const Point3D toolPoints[] = {{10, 20, -5}, {0, 0, 0}, {-7.5, 3, 12}};
  for (const Point3D& p : toolPoints) {
    calls().clear();
    ASSERT_EQ(emitPointWithAxis(p, {0, 0, 1}, 1), 0);
    ASSERT_EQ(calls().size(), 2u);
    const Point3D world = vecScale(1 / 2.5, p);
    const Point3D rel = vecSub(world, origin);
    const Point3D& got = calls()[1].v;
    EXPECT_NEAR(got.x, vecDot(rel, fx), 1e-9);
    EXPECT_NEAR(got.y, vecDot(rel, fy), 1e-9);
    EXPECT_NEAR(got.z, vecDot(rel, fz), 1e-9);
    const Point3D& axis = calls()[0].v;  // (0, 0, 1) in the frame: its components on the axes
    EXPECT_NEAR(axis.x, fx.z, 1e-9);
    EXPECT_NEAR(axis.y, fy.z, 1e-9);
    EXPECT_NEAR(axis.z, fz.z, 1e-9);
  }
  // The near test works on frame coordinates: the last point lies 0.3 from a frame point 0.3
  // away along the frame's x axis.
  const Point3D last = calls()[1].v;
  const Point3D near{last.x + 0.3, last.y, last.z};
  EXPECT_EQ(emitNearLastPoint(near, 0.31, 1), 1);
  EXPECT_EQ(emitNearLastPoint(near, 0.29, 1), 0);
  EXPECT_EQ(emitNearLastPoint(near, 0.31, 0), 0);
}

TEST_F(EmitPoint, NearBeforeAnyPointIsNeverNear) {
  EXPECT_EQ(emitNearLastPoint({1234567, 1234567, -1234567}, 1e9, 1), 0);
}

// A later run's first move is not taken for a repeat of the previous run's last one.
TEST_F(EmitPoint, ResetLetsTheNextRunsFirstMoveThrough) {
  emitSetAxisCallback(recordAxis);
  ASSERT_EQ(emitPointWithAxis({1, 2, 3}, {0, 0, 1}, 1), 0);
  emitReset();
  EXPECT_EQ(emitState().lastEmittedCode, -1);
  EXPECT_EQ(emitState().path.pathPointValid, 0);
  EXPECT_EQ(emitNearLastPoint({1, 2, 3}, 1, 1), 0);
  calls().clear();
  ASSERT_EQ(emitPointWithAxis({1, 2, 3}, {0, 0, 1}, 1), 0);
  EXPECT_EQ(points().size(), 1u);
}

TEST_F(EmitPoint, ClearKeepsTheAxisCallbackAndTheFiveAxisFlag) {
  emitSetAxisCallback(recordAxis);
  emitClearCallbacks();
  EXPECT_EQ(emitState().point, nullptr);
  EXPECT_EQ(emitState().fiveAxisOutput, 1);
  ASSERT_EQ(emitPathPoint({1, 0, 0}, 1), 0);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].what, 'A');
}

TEST_F(EmitPoint, TakePointAxisNeedsFiveAxisOutputAndAxes) {
  PathList* p = pathListNew(4, 1);
  ASSERT_NE(p, nullptr);
  Point3D pos{0, 0, 0}, ax{0, 1, 0};
  pathListInsert(p, 0.0, pos, 0, &ax, 1);
  Point3D out{9, 9, 9};
  EXPECT_EQ(emitTakePointAxis(&out, 0, p), 0);
  emitSetAxisCallback(recordAxis);
  EXPECT_EQ(emitTakePointAxis(&out, 0, p), 1);
  EXPECT_EQ(out.y, 1.0);
  EXPECT_EQ(emitTakePointAxis(&out, 5, p), 0);
  pathListFree(p);
}

TEST_F(EmitPoint, MacroFirstStep) {
  Point3D pts[3] = {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}};
  MoveMacro m{};
  m.points = pts;
  m.count = 1;
  EXPECT_EQ(emitMacroFirstStep(&m), 1.0);
  m.count = 3;
  EXPECT_EQ(emitMacroFirstStep(&m), 0.1);
  pts[1] = {0, 3, 4};
  EXPECT_DOUBLE_EQ(emitMacroFirstStep(&m), 5.0);
}

}  // namespace
