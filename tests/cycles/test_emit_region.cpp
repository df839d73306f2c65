// Region path emission with a recording callback: golden call orders for a path of three runs
// with and without staying down, the deferred and final retracts, interpolated moves in closed
// form, and thinning against brute-force checks of what it may remove.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "cycles/approach_macro.h"
#include "cycles/emit_region.h"
#include "emit_recorder.h"

using namespace emitrec;

namespace {

struct PathPoint {
  Point3D p;
  int cls = 0;
  int kind = 1;
  Point3D axis = {0, 0, 1};
};

PathList* makePath(const std::vector<PathPoint>& pts, bool axes = false) {
  PathList* l = pathListNew(static_cast<int>(pts.size()), axes ? 1 : 0);
  for (std::size_t i = 0; i < pts.size(); ++i) {
    l->positions[i] = pts[i].p;
    l->codes[i] = static_cast<std::uint16_t>((pts[i].cls << 8) | pts[i].kind);
    l->params[i] = static_cast<double>(i);
    if (axes) {
      l->axes[i] = pts[i].axis;
      l->axisSet[i] = 1;
    }
  }
  l->count = static_cast<int>(pts.size());
  l->sense = 1;
  return l;
}

MachiningParams regionParams(int stayDown) {
  MachiningParams m;
  m.approach.approachKind = 0;
  m.approach.retractKind = 0;
  m.approach.stepAngle = 0.2;
  m.approach.approachLength = 3;
  m.approach.retractLength = 3;
  m.stayDown = static_cast<std::int16_t>(stayDown);
  m.stayDownDistance = 5;
  m.clearancePlane = 50;
  m.maxStep = 1000;
  return m;
}

bool same(const Point3D& a, const Point3D& b) { return vecDistance(a, b) < 1e-9; }

// Index of the first recorded point at p from index from on, or -1.
int find(const std::vector<Call>& pts, const Point3D& p, int from = 0) {
  for (int i = from; i < static_cast<int>(pts.size()); ++i) {
    if (same(pts[i].v, p)) return i;
  }
  return -1;
}

int occurrences(const std::vector<Call>& pts, const Point3D& p) {
  int n = 0;
  for (const Call& c : pts) n += same(c.v, p) ? 1 : 0;
  return n;
}

// Three runs at z -2 separated by gap points; the second starts 2 from where the first ended.
std::vector<PathPoint> threeRuns() {
  return {
      {{0, 0, -2}},  {{10, 0, -2}},  {{20, 0, -2}},  {{20, 2, -2}, 2},
      {{20, 2, -2}}, {{10, 2, -2}},  {{0, 2, -2}},   {{0, 40, -2}, 2},
      {{0, 40, -2}}, {{10, 40, -2}}, {{20, 40, -2}},
  };
}

class EmitRegion : public EmitTest {};

TEST_F(EmitRegion, ThreeRunsWithoutStayingDown) {
  PathList* path = makePath(threeRuns());
  const MachiningParams m = regionParams(0);
  ASSERT_EQ(emitRegionPath(path, &m, nullptr), 1);
  ASSERT_EQ(emitFinish(&m, nullptr), 0);
  const std::vector<Call> pts = points();
  // Every cut point once, in path order.
  int at = -1;
  for (int i = 0; i < path->count; ++i) {
    if (pathListClass(path, i) == kPathClassGap) continue;
    const Point3D& p = path->positions[i];
    EXPECT_EQ(occurrences(pts, p), 1) << i;
    const int k = find(pts, p);
    EXPECT_GT(k, at) << i;
    at = k;
    EXPECT_EQ(pts[k].code, 1);
  }
  // Each run is entered from 3 above its start and left 3 above its end, the retract of a run
  // coming after its last point and before the next run's approach.
  const Point3D ends[] = {{20, 0, -2}, {0, 2, -2}, {20, 40, -2}};
  const Point3D starts[] = {{0, 0, -2}, {20, 2, -2}, {0, 40, -2}};
  for (int r = 0; r < 3; ++r) {
    const int start = find(pts, starts[r]);
    ASSERT_GE(start, 1);
    EXPECT_TRUE(same(pts[start - 1].v, vecAdd(starts[r], {0, 0, 3}))) << r;
    const int end = find(pts, ends[r]);
    const int up = find(pts, vecAdd(ends[r], {0, 0, 3}), end);
    EXPECT_EQ(up, end + 1) << r;
    if (r < 2) {
      EXPECT_LT(up, find(pts, starts[r + 1])) << r;
    }
  }
  // The last thing is the move to the clearance plane; no rapid goes below z 1 (3 above the cut).
  EXPECT_EQ(pts.back().v.z, 50.0);
  for (const Call& c : pts) {
    if (c.code == 0) {
      EXPECT_GE(c.v.z, 1.0 - 1e-9);
    }
  }
  EXPECT_EQ(emitPendingRetract().pending, 0);
  pathListFree(path);
}

TEST_F(EmitRegion, StayingDownSkipsTheRetractAndApproachOfANearStart) {
  PathList* path = makePath(threeRuns());
  const MachiningParams m = regionParams(1);
  ASSERT_EQ(emitRegionPath(path, &m, nullptr), 1);
  const std::vector<Call> pts = points();
  // Run 2 starts 2 from run 1's end (less than the stay-down distance 5): no retract at (20, 0, 1)
  // and no approach from (20, 2, 1). Run 3 starts 38 away: retract and approach.
  EXPECT_EQ(find(pts, {20, 0, 1}), -1);
  EXPECT_EQ(find(pts, {20, 2, 1}), -1);
  EXPECT_GE(find(pts, {0, 2, 1}), 0);
  EXPECT_GE(find(pts, {0, 40, 1}), 0);
  for (int i = 0; i < path->count; ++i) {
    if (pathListClass(path, i) != kPathClassGap) {
      EXPECT_EQ(occurrences(pts, path->positions[i]), 1);
    }
  }
  // With the return flag the near start gets its retract and approach after all.
  calls().clear();
  emitReset();
  MachiningParams back = m;
  back.approach.returnFlag = 1;
  ASSERT_EQ(emitRegionPath(path, &back, nullptr), 1);
  EXPECT_GE(find(points(), {20, 0, 1}), 0);
  EXPECT_GE(find(points(), {20, 2, 1}), 0);
  pathListFree(path);
}

TEST_F(EmitRegion, PathsWithoutARunSendNothingButTheEnd) {
  const std::vector<std::vector<PathPoint>> cases = {
      {{{0, 0, 0}, 2}, {{1, 0, 0}, 3}, {{2, 0, 0}, 2}},
      {{{0, 0, 0}}},
      {{{0, 0, 0}}, {{1, 0, 0}, 2}},
  };
  for (const auto& c : cases) {
    calls().clear();
    PathList* path = makePath(c);
    const MachiningParams m = regionParams(0);
    EXPECT_EQ(emitRegionPath(path, &m, nullptr), 0);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].what, 'E');
    pathListFree(path);
  }
}

TEST_F(EmitRegion, TheRetractStaysPendingAcrossCallsAndFailuresPassUp) {
  PathList* a = makePath({{{0, 0, -2}}, {{10, 0, -2}}});
  PathList* b = makePath({{{30, 0, -2}}, {{40, 0, -2}}});
  const MachiningParams m = regionParams(0);
  ASSERT_EQ(emitRegionPath(a, &m, nullptr), 1);
  EXPECT_EQ(emitPendingRetract().pending, 1);
  EXPECT_TRUE(same(emitPendingRetract().lastPoint, {10, 0, -2}));
  EXPECT_TRUE(same(emitPendingRetract().directionPoint, {0, 0, -2}));
  ASSERT_EQ(emitRegionPath(b, &m, nullptr), 1);
  const std::vector<Call> pts = points();
  EXPECT_LT(find(pts, {10, 0, 1}), find(pts, {30, 0, 1}));
  pointFail = 1;
  PathList* c = makePath({{{60, 0, -2}}, {{70, 0, -2}}});
  EXPECT_EQ(emitRegionPath(c, &m, nullptr), -3);
  pathListFree(a);
  pathListFree(b);
  pathListFree(c);
}

TEST_F(EmitRegion, InterpolatedMoveClosedForms) {
  const MachiningParams m = regionParams(0);
  struct Case {
    double step;
    int inserted;
  };
  for (const Case c : {Case{10, 0}, Case{20, 0}, Case{4, 2}, Case{1e-6, 0}}) {
    calls().clear();
    emitReset();
    ASSERT_EQ(emitPathPoint({0, 0, 0}, 1), 0);
    calls().clear();
    const int r = emitInterpolatedMove({10, 0, 0}, {0, 0, 1}, c.step, &m);
    EXPECT_EQ(r, c.inserted > 0 ? 1 : 0) << c.step;
    const std::vector<Call> pts = points();
    ASSERT_EQ(static_cast<int>(pts.size()), c.inserted) << c.step;
    for (int j = 0; j < c.inserted; ++j) EXPECT_NEAR(pts[j].v.x, 10.0 * (j + 1) / 3, 1e-12);
  }
  // An axis change of 1 rad with an angle step of 0.3 rad: 4 pieces even for a short move.
  emitSetAxisCallback(recordAxis);
  emitSetIpolLimits(0.3, 0);
  emitReset();
  emitState().path.outputAxis = {0, 0, 1};
  ASSERT_EQ(emitPathPoint({0, 0, 0}, 1), 0);
  calls().clear();
  const Point3D target{std::sin(1.0), 0, std::cos(1.0)};
  ASSERT_EQ(emitInterpolatedMove({0.1, 0, 0}, target, 4, &m), 1);
  std::vector<Point3D> axes;
  for (const Call& c : calls()) {
    if (c.what == 'A') axes.push_back(c.v);
  }
  ASSERT_EQ(points().size(), 3u);
  ASSERT_EQ(axes.size(), 3u);
  for (int j = 0; j < 3; ++j) {
    EXPECT_NEAR(std::acos(axes[j].z), 0.25 * (j + 1), 1e-9);
    EXPECT_NEAR(points()[j].v.x, 0.025 * (j + 1), 1e-12);
  }
  // Nothing before the first path point.
  emitReset();
  EXPECT_EQ(emitInterpolatedMove({5, 0, 0}, {0, 0, 1}, 1, &m), 0);
}

TEST_F(EmitRegion, InterpolatedMoveClampsTheAxisDotProduct) {
  const MachiningParams m = regionParams(0);
  emitSetIpolLimits(0.3, 0);
  emitState().path.outputAxis = {0, 0, 1.0000000000000004};  // a rounded unit axis
  ASSERT_EQ(emitPathPoint({0, 0, 0}, 1), 0);
  calls().clear();
  EXPECT_EQ(emitInterpolatedMove({10, 0, 0}, {0, 0, 1}, 4, &m), 1);
  for (const Call& c : points()) EXPECT_TRUE(std::isfinite(c.v.x));
  EXPECT_EQ(points().size(), 2u);
}

TEST_F(EmitRegion, BreakNeighbourSearch) {
  PathList* path = makePath({{{0, 0, 0}}, {{0.01, 0, 5}}, {{0.015, 0.01, 0}}, {{1, 0, 0}}});
  Point3D out;
  EXPECT_EQ(emitFindBreakNeighbour(1, path, &out, {0, 0, 0}, 1), 1);
  EXPECT_EQ(out.x, 1.0);
  EXPECT_EQ(emitFindBreakNeighbour(2, path, &out, {0, 0, 0}, -1), 0);
  EXPECT_EQ(out.x, 0.015);  // not found: the point at the index
  pathListFree(path);
}

// Thinning of random noisy polylines: every removed point lies within e of the chord of its kept
// neighbours and along it, every such chord is at most c, the ends, gaps, their neighbours and the
// points at a change of the reduced-feed kind stay.
TEST_F(EmitRegion, ThinningAgainstBruteForce) {
  std::mt19937 rng(43);
  std::uniform_real_distribution<double> noise(-0.004, 0.004);
  const double c = 3.0, e = 0.005;
  int removedTotal = 0;
  int undoChecked = 0;
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<PathPoint> pts;
    double x = 0, y = 0, heading = 0;
    for (int i = 0; i < 200; ++i) {
      if (i % 37 == 0) heading += 0.7;
      x += 0.2 * std::cos(heading);
      y += 0.2 * std::sin(heading);
      PathPoint p{{x + noise(rng), y + noise(rng), noise(rng)}};
      if (i % 53 == 20) p.cls = 2;
      if (i >= 120 && i < 140) p.kind = 100;
      p.axis = {0, std::sin(i * 0.002 * (trial % 5)), std::cos(i * 0.002 * (trial % 5))};
      pts.push_back(p);
    }
    PathList* path = makePath(pts, false);
    emitFilterPoints(path, c, e);
    std::vector<int> kept;
    for (int i = 0; i < path->count; ++i) {
      if (pathListClass(path, i) != kPathClassMarked) kept.push_back(i);
    }
    EXPECT_EQ(kept.front(), 0);
    EXPECT_EQ(kept.back(), path->count - 1);
    for (int i = 0; i < path->count; ++i) {
      if (pts[i].cls != 2) continue;
      EXPECT_NE(pathListClass(path, i), kPathClassMarked);
      EXPECT_NE(pathListClass(path, i - 1), kPathClassMarked);
      if (i + 1 < path->count) {
        EXPECT_NE(pathListClass(path, i + 1), kPathClassMarked);
      }
    }
    for (int i : {119, 120, 139, 140}) EXPECT_NE(pathListClass(path, i), kPathClassMarked);
    for (std::size_t s = 0; s + 1 < kept.size(); ++s) {
      const int a = kept[s], b = kept[s + 1];
      if (b == a + 1) continue;
      const Point3D pa = path->positions[a];
      const Point3D chord = vecSub(path->positions[b], pa);
      const double len = vecLength(chord);
      EXPECT_LE(len, c);
      for (int k = a + 1; k < b; ++k) {
        ++removedTotal;
        const Point3D d = vecSub(path->positions[k], pa);
        EXPECT_LE(vecLength(vecCross(d, chord)) / len, e + 1e-12);
        EXPECT_GE(std::fabs(vecDot(d, chord)), 0.5 * vecLength(d) * len - 1e-12);
      }
    }
    // With axes, a mark stays only where the axis keeps within the limit of the nearest kept
    // points on both sides; every mark left is one the plain filter made.
    PathList* withAxes = makePath(pts, true);
    const double cosLimit = std::cos(0.006);
    emitThinPath(withAxes, c, e, cosLimit);
    int last = -1;
    std::vector<int> keptBefore(withAxes->count, -1);
    for (int i = 0; i < withAxes->count; ++i) {
      keptBefore[i] = last;
      if (pathListClass(withAxes, i) != kPathClassMarked && pathListClass(withAxes, i) != 2)
        last = i;
    }
    int next = -1;
    for (int i = withAxes->count - 1; i >= 0; --i) {
      const bool marked = pathListClass(withAxes, i) == kPathClassMarked;
      if (marked) {
        ++undoChecked;
        EXPECT_EQ(pathListClass(path, i), kPathClassMarked) << i;
        ASSERT_GE(keptBefore[i], 0);
        ASSERT_GE(next, 0);
        EXPECT_GE(vecDot(withAxes->axes[i], withAxes->axes[keptBefore[i]]), cosLimit);
        EXPECT_GE(vecDot(withAxes->axes[i], withAxes->axes[next]), cosLimit);
      } else if (pathListClass(withAxes, i) != 2) {
        next = i;
      }
    }
    auto marks = [](const PathList* l) {
      return std::count_if(l->codes, l->codes + l->count,
                           [](std::uint16_t code) { return (code >> 8) == kPathClassMarked; });
    };
    if (trial % 5 == 4) {
      EXPECT_LT(marks(withAxes), marks(path));  // axes turning faster than the limit
    }
    pathListFree(withAxes);
    pathListFree(path);
  }
  EXPECT_GT(removedTotal, 1000);  // the fixture does exercise removal
  EXPECT_GT(undoChecked, 100);
}

}  // namespace

namespace {

// The windowed filter gives the marks of the plain one, which scans every chord in full: noisy
// polylines with gaps, kind changes, earlier marks and straight stretches, at several limits.
TEST(EmitFilter, WindowedMarksEqualThePlainOnes) {
  std::mt19937 rng(4343);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int trial = 0; trial < 60; ++trial) {
    const double noise = trial % 3 == 0 ? 0 : 0.002 * (trial % 4);
    std::vector<PathPoint> pts;
    double x = 0, y = 0, heading = 0;
    for (int i = 0; i < 400; ++i) {
      if (unit(rng) < 0.02) heading += unit(rng) - 0.5;
      x += 0.05 * std::cos(heading);
      y += 0.05 * std::sin(heading);
      PathPoint p{{x + noise * (unit(rng) - 0.5), y + noise * (unit(rng) - 0.5),
                   noise * (unit(rng) - 0.5)}};
      if (unit(rng) < 0.01) p.cls = 2;
      if (unit(rng) < 0.03) p.cls = unit(rng) < 0.5 ? 3 : 6;
      if ((i / 90) % 2 == 1) p.kind = 100;
      pts.push_back(p);
    }
    for (double c : {0.3, 2.0, 1000.0}) {
      for (double e : {0.0005, 0.002, 0.01}) {
        PathList* a = makePath(pts);
        PathList* b = makePath(pts);
        emitFilterPoints(a, c, e);
        emitFilterPointsPlain(b, c, e);
        for (int i = 0; i < a->count; ++i) {
          ASSERT_EQ(a->codes[i], b->codes[i])
              << "trial " << trial << " c " << c << " e " << e << " point " << i;
        }
        pathListFree(a);
        pathListFree(b);
      }
    }
  }
}

}  // namespace
