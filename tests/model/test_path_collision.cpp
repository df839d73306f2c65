// Tests of the path collision check: positions against the analytic resting height of a ball on
// a box, paths through and above a box, the sampling of segments around a spike, the log lines,
// the collision markers, the interrupt and memory failure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "framework/cycle.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/path_list.h"
#include "model/model_fixture.h"
#include "model/path_collision.h"
#include "model/point_drop.h"

namespace {

// The box [x0, x1] x [y0, y1] x [0, top] as twelve triangles.
std::vector<Tri3D> boxMesh(double x0, double y0, double x1, double y1, double top) {
  const Point3D c[8] = {{x0, y0, 0},   {x1, y0, 0},   {x1, y1, 0},   {x0, y1, 0},
                        {x0, y0, top}, {x1, y0, top}, {x1, y1, top}, {x0, y1, top}};
  const int f[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                        {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
  std::vector<Tri3D> tris;
  for (const auto& t : f) tris.push_back(Tri3D{{c[t[0]], c[t[1]], c[t[2]]}});
  return tris;
}

// A needle of height h at (x, y): a narrow pyramid whose apex is the only point a tool touches.
std::vector<Tri3D> spikeMesh(double x, double y, double h) {
  const double e = 0.001;
  const Point3D apex{x, y, h};
  const Point3D b[4] = {{x - e, y - e, 0}, {x + e, y - e, 0}, {x + e, y + e, 0}, {x - e, y + e, 0}};
  std::vector<Tri3D> tris;
  for (int k = 0; k < 4; ++k) tris.push_back(Tri3D{{b[k], b[(k + 1) % 4], apex}});
  return tris;
}

// Resting height of a ball centre of radius r over the box [0, 20]^2 of height 10; -1e9 where
// the ball misses it.
double ballOnBox(double x, double y, double r) {
  const double dx = std::fmax(0.0, std::fmax(-x, x - 20.0));
  const double dy = std::fmax(0.0, std::fmax(-y, y - 20.0));
  const double d2 = dx * dx + dy * dy;
  return d2 > r * r ? -1e9 : 10.0 + std::sqrt(r * r - d2);
}

PathList* pathOf(const std::vector<Point3D>& pts, int cls = 0) {
  PathList* l = pathListNew(static_cast<int>(pts.size()) + 1, 0);
  for (std::size_t i = 0; i < pts.size(); ++i) {
    pathListInsert(l, static_cast<double>(i), pts[i], cls << 8, nullptr, 0);
  }
  return l;
}

class PathCollisionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collResetState();
    dropPointResetState();
    geoErrReset();
    msgResetState();
    csysResetState();
  }
  void TearDown() override {
    out3dSetCycle(nullptr);
    cycFreeLayers(&cycle);
    collResetState();
    msgResetState();
  }
  // Catches the collision markers of layer 42 through the current output cycle.
  void catchMarks() {
    cycle.firstOutputPending = 0;
    ASSERT_EQ(cycRegisterLayer(&cycle, 42, keepMark, keepMark, 1), 1);
    out3dSetCycle(&cycle);
  }
  static int keepMark(CycleRecord*, OutputRecord* r) {
    if (r->type == 7001) marks().push_back({r->mark.p[0][0], r->mark.p[0][1], r->mark.p[0][2]});
    return 1;
  }
  static std::vector<Point3D>& marks() {
    static std::vector<Point3D> m;
    return m;
  }
  CycleRecord cycle;
};

}  // namespace

// Positions all around a box against the analytic resting height of the reduced ball: a position
// collides exactly when that height exceeds it by more than the tolerance.
TEST_F(PathCollisionTest, PointAgainstAnalyticBall) {
  const double R = 10.0, x = 0.1;
  qdtest::TriModel tm(boxMesh(0, 0, 20, 20, 10), qdtest::makeCutter(kCutterBall, R, R));
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  SurfaceModel* k = modelCopy(&tm.m);
  modelAddAllowance(k, -x);
  dropSetTriModel(k->triangles, k->facetMin, k->facetMax, k->boxMin.z, k->boxMax.z, 0);
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> pos(-15, 35), zs(0, 25);
  int collisions = 0, free = 0;
  for (int n = 0; n < 3000; ++n) {
    const Point3D p{pos(rng), pos(rng), zs(rng)};
    const double rest = ballOnBox(p.x, p.y, R - x);
    if (std::fabs(rest - x - p.z) < 1e-6) continue;
    Point3D q = p;
    const int r = collCheckPoint(&q, k, x);
    if (rest - x > p.z) {
      ASSERT_EQ(r, 0) << p.x << " " << p.y << " " << p.z;
      EXPECT_NEAR(q.z, rest, 1e-9);
      ++collisions;
    } else {
      ASSERT_EQ(r, 1) << p.x << " " << p.y << " " << p.z;
      if (rest > -1e8) {
        EXPECT_EQ(q.z, p.z) << "a touch keeps the position's height";
      }
      ++free;
    }
  }
  EXPECT_GT(collisions, 300);
  EXPECT_GT(free, 300);
  // Touching the top without entering it is free.
  Point3D touch{10, 10, 10 + R - x};
  EXPECT_EQ(collCheckPoint(&touch, k, 0.0), 1);
  modelFree(k);
}

// Every comparison with NaN is false, so a position that is not a number passed as free.
TEST_F(PathCollisionTest, PositionsThatAreNotNumbersAreNeverFree) {
  const double R = 10.0;
  qdtest::TriModel tm(boxMesh(0, 0, 20, 20, 10), qdtest::makeCutter(kCutterBall, R, R));
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, tm.m.boxMin.z, tm.m.boxMax.z, 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Point3D bad[] = {
      {nan, 10, 50}, {10, nan, 50}, {10, 10, nan}, {inf, 10, 50}, {10, 10, -inf}};
  for (const Point3D& p : bad) {
    Point3D q = p;
    EXPECT_EQ(collCheckPoint(&q, &tm.m, 0.0), 0) << p.x << " " << p.y << " " << p.z;
  }
  Point3D above{10, 10, 50};
  EXPECT_EQ(collCheckPoint(&above, &tm.m, nan), 0) << "a tolerance that is not a number";
  EXPECT_EQ(collCheckPoint(&above, &tm.m, 0.0), 1) << "the same position with a real tolerance";
  // Straight moves likewise.
  tm.m.step = 1.0;
  tm.m.tolerance = 0.1;
  EXPECT_EQ(collCheckMove({0, 10, 50}, {nan, 10, 50}, &tm.m, 0.0), 0);
  EXPECT_EQ(collCheckMove({0, 10, inf}, {20, 10, 50}, &tm.m, 0.0), 0);
  EXPECT_EQ(collCheckMove({0, 10, 50}, {20, 10, 50}, &tm.m, nan), 0);
  EXPECT_EQ(collCheckMove({0, 10, 50}, {20, 10, 50}, &tm.m, 0.0), 1);
}

TEST_F(PathCollisionTest, PathThroughTheBoxIsReportedAndLogged) {
  const double R = 10.0;
  qdtest::TriModel tm(boxMesh(0, 0, 20, 20, 10), qdtest::makeCutter(kCutterBall, R, R));
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  // A point 0.5 below the resting height (ball centre 20 over the top) with tolerance 0.1.
  PathList* in = pathOf({{-30, 10, 19.5}, {10, 10, 19.5}, {50, 10, 19.5}});
  EXPECT_EQ(collCheckPath(in, &tm.m, 0.1), 0);
  EXPECT_STREQ(geoErrRecord()->file, "Koll: 10.000000 10.000000 19.500000");
  pathListFree(in);
  // The same path clearing the top by more than the tolerance is free.
  geoErrReset();
  PathList* above = pathOf({{-30, 10, 20.2}, {10, 10, 20.2}, {50, 10, 20.2}});
  EXPECT_EQ(collCheckPath(above, &tm.m, 0.1), 1);
  EXPECT_STREQ(geoErrRecord()->file, "EMPTY");
  pathListFree(above);
  // Only the segment samples collide here: the points lie beside the box, the midpoint over it.
  PathList* across = pathOf({{-12, 10, 15}, {32, 10, 15}});
  EXPECT_EQ(collCheckPath(across, &tm.m, 0.1), 0);
  EXPECT_STREQ(geoErrRecord()->file, "Koll: 10.000000 10.000000 15.000000");
  pathListFree(across);
  // Points of a class other than 0 are not checked, nor are segments that touch them.
  PathList* gaps = pathOf({{-30, 10, 5}, {10, 10, 5}, {50, 10, 5}}, 2);
  EXPECT_EQ(collCheckPath(gaps, &tm.m, 0.1), 1);
  pathListFree(gaps);
  PathList* empty = pathListNew(4, 0);
  EXPECT_EQ(collCheckPath(empty, &tm.m, 0.1), 1);
  EXPECT_EQ(collCheckPath(nullptr, &tm.m, 0.1), -20);
  EXPECT_EQ(collCheckPath(empty, nullptr, 0.1), -20);
  pathListFree(empty);
}

// A four-corner model is checked through its own facets, not passed as free.
TEST_F(PathCollisionTest, FourCornerModelIsChecked) {
  std::vector<QuadFacet> quads;
  for (const Tri3D& t : boxMesh(0, 0, 20, 20, 10))
    quads.push_back(qdtest::quadOf(t.v[0], t.v[1], t.v[2], t.v[2]));
  qdtest::QuadModel qm(quads, qdtest::makeCutter(kCutterBall, 10, 10));
  ASSERT_EQ(modelBuildIndex(&qm.m), 1);
  PathList* in = pathOf({{-30, 10, 19.5}, {10, 10, 19.5}, {50, 10, 19.5}});
  EXPECT_EQ(collCheckPath(in, &qm.m, 0.1), 0);
  pathListFree(in);
  PathList* above = pathOf({{-30, 10, 20.2}, {10, 10, 20.2}, {50, 10, 20.2}});
  EXPECT_EQ(collCheckPath(above, &qm.m, 0.1), 1);
  pathListFree(above);
}

// A spike at lateral distance 6.5 from a move of a ball of radius 7 at the spike's height: only a
// sample within 7 of it in plan collides. Which samples exist decides the result.
TEST_F(PathCollisionTest, SegmentSampling) {
  struct Case {
    double length;   // along x from 0
    double spikeAt;  // x of the spike, 6.5 beside the move
    int subdivide;
    int result;
  };
  const Case cases[] = {
      {10.5, 5.25, 0, 0},      // 1.5 R: the midpoint is sampled
      {6.3, 3.15, 0, 1},       // 0.9 R: not sampled
      {17.5, 17.5 / 3, 0, 1},  // 2.5 R, spike at a third: the midpoint misses it
      {17.5, 17.5 / 3, 1, 0},  // subdivided into three parts: the third is sampled
  };
  for (const Case& c : cases) {
    qdtest::TriModel tm(spikeMesh(c.spikeAt, 6.5, 5.0), qdtest::makeCutter(kCutterBall, 7, 7));
    collSetSubdivide(c.subdivide);
    PathList* p = pathOf({{0, 0, 5}, {c.length, 0, 5}});
    EXPECT_EQ(collCheckPath(p, &tm.m, 0.0), c.result) << c.length << " " << c.subdivide;
    pathListFree(p);
  }
}

TEST_F(PathCollisionTest, MarkersFollowTheSwitch) {
  catchMarks();
  CutterShape cutter = qdtest::makeCutter(kCutterBall, 10, 10);
  cutter.zOffset = 10;
  qdtest::TriModel tm(boxMesh(0, 0, 20, 20, 10), cutter);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, 0, 10, 0);
  Point3D p{5, 6, 15};
  EXPECT_EQ(collCheckPoint(&p, &tm.m, 0.0), 0);
  ASSERT_EQ(marks().size(), 1u);
  EXPECT_DOUBLE_EQ(marks()[0].x, 5.0);
  EXPECT_DOUBLE_EQ(marks()[0].y, 6.0);
  EXPECT_DOUBLE_EQ(marks()[0].z, 5.0) << "the tested height less the cutter's z offset";
  collSetMarkers(0);
  EXPECT_EQ(collMarkersOn(), 0);
  Point3D q{5, 6, 15};
  EXPECT_EQ(collCheckPoint(&q, &tm.m, 0.0), 0);
  EXPECT_EQ(marks().size(), 1u);
}

namespace {
int stopNow() { return 1; }
}  // namespace

TEST_F(PathCollisionTest, InterruptAndMemoryFailureLeaveNothingBehind) {
  qdtest::TriModel tm(boxMesh(0, 0, 20, 20, 10), qdtest::makeCutter(kCutterBall, 10, 10));
  PathList* in = pathOf({{-30, 10, 15}, {10, 10, 15}, {50, 10, 15}});
  out3dSetBreakCheck(stopNow);
  EXPECT_EQ(collCheckPath(in, &tm.m, 0.1), 2);
  out3dSetBreakCheck(nullptr);
  memTestFailAt(1);
  EXPECT_EQ(collCheckPath(in, &tm.m, 0.1), -1);
  memTestFailAt(0);
  EXPECT_EQ(collCheckPath(in, &tm.m, 0.1), 0);
  pathListFree(in);
}

namespace {
void moveSettings(SurfaceModel* m) {
  m->floorZ = -100.0;
  m->ceilingZ = 100.0;
  m->step = 1.0;
  m->tolerance = 0.05;
}
}  // namespace

// A level move through the box is reported at every sample over it, one that clears the top by
// more than the tolerance is not, and a move whose only contact above its height lies at its end
// point is free (the last sample is not tested).
TEST_F(PathCollisionTest, StraightMoves) {
  catchMarks();
  CutterShape cutter = qdtest::makeCutter(kCutterBall, 10, 10);
  cutter.zOffset = 10;
  qdtest::TriModel tm(boxMesh(0, 0, 20, 20, 10), cutter);
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  moveSettings(&tm.m);
  EXPECT_EQ(collCheckMove({-30, 10, 15}, {50, 10, 15}, &tm.m, 0.1), 0);
  ASSERT_FALSE(marks().empty());
  for (const Point3D& p : marks()) {
    // Every marked sample really lies where the reduced ball rests above the move.
    EXPECT_GT(ballOnBox(p.x, p.y, 9.9) - 0.1, 15.0) << p.x;
    EXPECT_DOUBLE_EQ(p.z, 5.0) << "the start height less the cutter's z offset";
  }
  marks().clear();
  EXPECT_EQ(collCheckMove({-30, 10, 20.2}, {50, 10, 20.2}, &tm.m, 0.1), 1);
  EXPECT_TRUE(marks().empty());
  // The ball touches the box's side only at the end, 9.99 before it: the height there is 10.45.
  EXPECT_EQ(collCheckMove({-30, 10, 10.3}, {-9.99, 10, 10.3}, &tm.m, 0.0), 1);
  EXPECT_EQ(collCheckMove({-30, 10, 10.3}, {-9.5, 10, 10.3}, &tm.m, 0.0), 0);
  // The caller's model is not changed by the check.
  EXPECT_EQ(tm.m.cutter->radius, 10.0);
  EXPECT_EQ(tm.m.slopeMode, 0);
}

TEST_F(PathCollisionTest, StraightMoveOnFourCornerModel) {
  std::vector<QuadFacet> quads;
  for (const Tri3D& t : boxMesh(0, 0, 20, 20, 10))
    quads.push_back(qdtest::quadOf(t.v[0], t.v[1], t.v[2], t.v[2]));
  qdtest::QuadModel qm(quads, qdtest::makeCutter(kCutterBall, 10, 10));
  ASSERT_EQ(modelBuildIndex(&qm.m), 1);
  moveSettings(&qm.m);
  EXPECT_EQ(collCheckMove({-30, 10, 15}, {50, 10, 15}, &qm.m, 0.1), 0);
  EXPECT_EQ(collCheckMove({-30, 10, 20.2}, {50, 10, 20.2}, &qm.m, 0.1), 1);
}

// Steps that cannot advance the drop are refused; every allocation failing in turn gives -1 (or
// a complete check where the allocation has a fallback) and leaks nothing.
TEST_F(PathCollisionTest, StraightMoveBadSettingsAndMemory) {
  qdtest::TriModel tm(boxMesh(0, 0, 20, 20, 10), qdtest::makeCutter(kCutterBall, 10, 10));
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  moveSettings(&tm.m);
  tm.m.tolerance = 0.0;
  EXPECT_EQ(collCheckMove({-30, 10, 15}, {50, 10, 15}, &tm.m, 0.1), -20);
  tm.m.tolerance = 0.05;
  tm.m.step = std::nan("");
  EXPECT_EQ(collCheckMove({-30, 10, 15}, {50, 10, 15}, &tm.m, 0.1), -20);
  tm.m.step = 1.0;
  EXPECT_EQ(collCheckMove({-30, 10, 15}, {50, 10, 15}, nullptr, 0.1), -20);
  int failures = 0;
  for (long n = 1; n < 60; ++n) {
    memTestFailAt(n);
    const int r = collCheckMove({-30, 10, 15}, {50, 10, 15}, &tm.m, 0.1);
    memTestFailAt(0);
    if (r == -1) {
      ++failures;
    } else {
      EXPECT_EQ(r, 0) << n;
    }
  }
  EXPECT_GE(failures, 4);  // copy record, cutter, curve, list
}
