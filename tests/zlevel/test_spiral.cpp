// Tests of the spiral transitions: between two level contours of a cone the spiral falls
// monotonically from the upper to the lower height, rests on the cone (the independent checker's
// drop) and starts at the start point; with the tool check and a sideways tilt every position
// keeps the ball off the cone; the clearance search and the contact on a slab stop the ball at
// the known distance from a wall; the inner path helpers against hand-built fixtures.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "fiveaxis/fiveaxis_hooks.h"
#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/msg_capture.h"
#include "geometry/path_list.h"
#include "mesh_distance.h"
#include "model/model_fixture.h"
#include "toolpath_check.h"
#include "zlevel/spiral.h"

namespace {

constexpr double kPi = std::numbers::pi;

// A cone of 256 facets: apex (0, 0, 40), base radius 40 at z 0 (slope 1).
std::vector<Tri3D> cone() {
  std::vector<Tri3D> tris;
  const int n = 256;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * i / n, b = 2 * kPi * (i + 1) / n;
    tris.push_back(Tri3D{{{0, 0, 40},
                          {40 * std::cos(a), 40 * std::sin(a), 0},
                          {40 * std::cos(b), 40 * std::sin(b), 0}}});
  }
  return tris;
}

tpc::Mesh meshOf(const std::vector<Tri3D>& tris) {
  std::vector<tpc::Triangle> tt;
  for (const Tri3D& t : tris) {
    tpc::Triangle q;
    for (int k = 0; k < 3; ++k) q.v[k] = tpc::Vec3{t.v[k].x, t.v[k].y, t.v[k].z};
    tt.push_back(q);
  }
  return tpc::makeMesh(std::move(tt));
}

// A closed circle path of radius rho at height z starting at (rho, 0), counter-clockwise.
PathList* circle(double rho, double z, int n, bool closed = true) {
  PathList* p = pathListNew(n + 1, 0);
  for (int i = 0; i <= n; ++i) {
    const double a = 2 * kPi * i / n;
    Point3D q{rho * std::cos(a), rho * std::sin(a), z};
    if (i == n && !closed) q = {rho * std::cos(0.001), rho * std::sin(0.001), z};
    pathListInsert(p, i, q, 1, nullptr, 0);
  }
  pathListParamByLength(p);
  return p;
}

// A path through the points, parameters by length.
PathList* polyline(const std::vector<Point3D>& pts) {
  PathList* p = pathListNew(static_cast<int>(pts.size()) + 1, 0);
  for (std::size_t i = 0; i < pts.size(); ++i) pathListInsert(p, double(i), pts[i], 1, nullptr, 0);
  pathListParamByLength(p);
  return p;
}

using Path = qdtest::Owned<PathList, pathListFree>;

// Tilt of the tests: every axis horizontal, to the right of the direction of travel for side +1.
int tiltRight(PathList* path, double, int side, double) {
  for (int i = 0; i < path->count; ++i) {
    const int a = i > 0 ? i - 1 : i, b = i + 1 < path->count ? i + 1 : i;
    const double tx = path->positions[b].x - path->positions[a].x;
    const double ty = path->positions[b].y - path->positions[a].y;
    const double l = std::hypot(tx, ty);
    path->axes[i] = {side * ty / l, -side * tx / l, 0.0};
  }
  return 1;
}

class Spiral : public ::testing::Test {
 protected:
  Spiral() : tm_(cone(), qdtest::makeCutter(kCutterBall, 1.0, 1.0)), mesh_(meshOf(cone())) {
    tm_.m.tolerance = 0.008;
    tm_.m.step = 1.0;
  }
  ~Spiral() override {
    spiralResetState();
    fiveaxisInstallHooks();
  }
  // Height of the ball's centre (the model's drop height) by the independent checker's drop.
  double tip(double x, double y) const {
    return tpc::dropPlain(mesh_, tpc::Tool::ball(1.0), 0.0, x, y) + 1.0;
  }
  qdtest::TriModel tm_;
  tpc::Mesh mesh_;
};

TEST_F(Spiral, ConeSpiralFallsMonotonicallyAndRestsOnTheCone) {
  SurfaceModel* m = &tm_.m;
  const double zUp = tip(20, 0), zLo = tip(24, 0);
  ASSERT_GT(zUp, zLo + 3.0);
  Path upper(circle(20, zUp, 180));
  const Point3D start{20, 0, zUp};
  struct Case {
    double blend;
    int lowerPoints;  // 1500: many lower points between successive nearest points
  };
  for (const Case c : {Case{0.0, 180}, Case{60.0, 180}, Case{60.0, 1500}}) {
    SCOPED_TRACE(testing::Message() << c.blend << " " << c.lowerPoints);
    Path lower(circle(24, zLo, c.lowerPoints));
    Path out(pathListNew(100, 0));
    ASSERT_EQ(spiralTransition(m, lower.p, upper.p, out.p, start, c.blend), 1);
    ASSERT_GT(out.p->count, 50);
    EXPECT_EQ(out.p->positions[0].x, start.x);
    EXPECT_EQ(out.p->positions[0].y, start.y);
    EXPECT_EQ(out.p->positions[0].z, start.z);
    EXPECT_NEAR(out.p->positions[out.p->count - 1].z, zLo, 0.01);
    double turned = 0.0;
    for (int i = 0; i < out.p->count; ++i) {
      const Point3D& p = out.p->positions[i];
      if (i > 0) {
        const Point3D& q = out.p->positions[i - 1];
        EXPECT_LE(p.z, q.z + 1e-9) << i;
        EXPECT_GT(out.p->params[i], out.p->params[i - 1]) << i;
        double d = std::atan2(p.y, p.x) - std::atan2(q.y, q.x);
        if (d < -kPi) d += 2 * kPi;
        if (d > kPi) d -= 2 * kPi;
        EXPECT_GT(d, -1e-3) << i;  // runs one way round
        turned += d;
      }
      EXPECT_NEAR(tip(p.x, p.y), p.z, 0.01) << i;
      const double rho = std::hypot(p.x, p.y);
      EXPECT_GE(rho, 20 - 0.01);
      EXPECT_LE(rho, 24 + 0.01);
    }
    EXPECT_NEAR(turned, 2 * kPi, 0.05);  // once around
  }
}

TEST_F(Spiral, ToolCheckKeepsTheSidewaysBallOffTheCone) {
  SurfaceModel* m = &tm_.m;
  const double zUp = 20, zLo = 17;  // contact circles of the cone at radius 20 and 23
  Path upper(circle(20, zUp, 180));
  Path lower(circle(23, zLo, 180));
  Path out(pathListNew(100, 0));
  spiralSetTiltHook(tiltRight);  // right of a counter-clockwise circle: outward
  spiralSetToolCheck(1);
  ASSERT_EQ(spiralTransition(m, lower.p, upper.p, out.p, {20, 0, zUp}, 0.0), 1);
  ASSERT_GT(out.p->count, 50);
  const std::vector<Tri3D> tris = cone();
  const double clearance = 1.0 - 1.3 * 0.008;
  for (int i = 1; i < out.p->count; ++i) {
    const Point3D& p = out.p->positions[i];
    EXPECT_LE(p.z, out.p->positions[i - 1].z + 1e-9) << i;
    double d = 1e300;
    for (const Tri3D& t : tris) d = std::min(d, qdtest::pointTriangle(p, t));
    EXPECT_GE(d, clearance) << i;
    EXPECT_LE(d, 1.0 + 1e-3) << i;  // the ball was moved in until it touched
  }
  EXPECT_NEAR(out.p->positions[out.p->count - 1].z, zLo, 1e-6);
}

TEST_F(Spiral, UnreachableHeightsAreReportedAndTheSpiralStillEnds) {
  // The lower contour lies 2 below the cone: its blended heights cannot be reached.
  SurfaceModel* m = &tm_.m;
  const double zUp = tip(20, 0);
  Path upper(circle(20, zUp, 90));
  Path lower(circle(22, tip(22, 0) - 2.0, 90));
  Path out(pathListNew(10, 0));
  qdtest::MessageCapture messages;
  EXPECT_EQ(spiralTransition(m, lower.p, upper.p, out.p, {20, 0, zUp}, 0.0), 1);
  EXPECT_GT(out.p->count, 0);
  EXPECT_TRUE(qdtest::MessageCapture::sent(kSpiralNoSpiralMsg));
}

TEST_F(Spiral, AllocationFailureAtEveryStepFailsCleanly) {
  // The n-th allocation fails, for every n until a run needs fewer: each run either fails with an
  // empty output or gives the same spiral as a run without failure; the leak check runs at exit.
  SurfaceModel* m = &tm_.m;
  Path upper(circle(4, 36, 12));  // contact circles near the apex: few points
  Path lower(circle(6, 34, 12));
  Path out(pathListNew(10, 0));
  spiralSetTiltHook(tiltRight);
  for (int check : {0, 1}) {
    SCOPED_TRACE(check);
    spiralSetToolCheck(check);
    ASSERT_EQ(spiralTransition(m, lower.p, upper.p, out.p, {4, 0, 36}, 0.0), 1);
    const int want = out.p->count;
    int failed = 0;
    for (int n = 1; n < 2000; ++n) {
      memTestFailAt(n);
      const int r = spiralTransition(m, lower.p, upper.p, out.p, {4, 0, 36}, 0.0);
      memTestFailAt(0);
      if (r == 1) {
        EXPECT_EQ(out.p->count, want) << n;
        if (n > failed + 5) break;  // no allocation left to fail
        continue;
      }
      ASSERT_EQ(r, -1) << n;
      EXPECT_EQ(out.p->count, 0) << n;
      failed = n;
    }
    EXPECT_GT(failed, 3);
  }
}

// Every failure of the module records where it happened: source "spiral" and its own line.
TEST(SpiralPaths, FailuresRecordTheirLine) {
  PathList* one = pathListNew(4, 0);
  const Point3D p{1, 2, 3};
  pathListInsert(one, 0.0, p, 1, nullptr, 0);
  Point3D pos{}, axis{};
  const std::vector<int (*)(PathList*)> calls = {
      [](PathList*) { return spiralCopyPath(nullptr, nullptr); },
      [](PathList* q) { return spiralInsertAt(q, 0.5, 0); },
      [](PathList*) {
        return spiralRotateToNearest(nullptr, Point3D{0, 0, 0});
      },
  };
  std::vector<int> lines;
  for (auto call : calls) {
    geoErrReset();
    EXPECT_EQ(call(one), -1);
    EXPECT_STREQ(geoErrRecord()->file, "spiral");
    EXPECT_EQ(geoErrCode(), -1);
    lines.push_back(geoErrRecord()->line);
  }
  geoErrReset();
  EXPECT_EQ(spiralAxisAt(nullptr, 0.0, &pos, &axis), -1);
  lines.push_back(geoErrRecord()->line);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_GT(lines[i], 0);
    for (std::size_t j = i + 1; j < lines.size(); ++j) EXPECT_NE(lines[i], lines[j]);
  }
  pathListFree(one);
}

TEST_F(Spiral, OpenContoursAndToolCheck) {
  SurfaceModel* m = &tm_.m;
  Path upper(circle(20, 21, 90));
  Path lower(circle(24, 17, 90));
  Path open(circle(24, 17, 90, false));  // ends about 0.024 apart
  Path out(pathListNew(10, 0));
  pathListInsert(out.p, 0, {1, 2, 3}, 1, nullptr, 0);
  EXPECT_EQ(spiralTransition(m, open.p, upper.p, out.p, {20, 0, 21}, 0), 0);
  EXPECT_EQ(out.p->count, 0);
  EXPECT_EQ(spiralTransition(m, lower.p, open.p, out.p, {20, 0, 21}, 0), 0);
  // the switch is stored and read by the transition alone
  EXPECT_EQ(spiralGetToolCheck(), 0);
  spiralSetToolCheck(1);
  EXPECT_EQ(spiralGetToolCheck(), 1);
  EXPECT_EQ(spiralTransition(m, lower.p, upper.p, out.p, {20, 0, 21}, 0), -1);  // the stand-in tilt
  EXPECT_EQ(out.p->count, 0);
  spiralSetTiltHook(nullptr);
  EXPECT_EQ(spiralTransition(m, lower.p, upper.p, out.p, {20, 0, 21}, 0), -1);
  spiralResetState();
  EXPECT_EQ(spiralGetToolCheck(), 0);
  EXPECT_EQ(spiralTransition(nullptr, lower.p, upper.p, out.p, {20, 0, 21}, 0), -1);
}

// ---- positions against walls -------------------------------------------------------------------

// A vertical wall x = x0 over y in [-5, 5], z in [z0, z1], as two triangles.
void wall(std::vector<Tri3D>& t, double x0, double z0 = 0, double z1 = 10) {
  t.push_back(Tri3D{{{x0, -5, z0}, {x0, 5, z0}, {x0, 5, z1}}});
  t.push_back(Tri3D{{{x0, -5, z0}, {x0, 5, z1}, {x0, -5, z1}}});
}

TEST(SpiralSafePosition, BallStopsAtItsRadiusFromTheNearestWall) {
  // The contour points lie on the wall x = 0; the side axis points to +x. The ball's centre ends
  // where it first touches a facet on its way in: at x = 1 on the bare wall, at 0.6 + 1 in front
  // of a plate, nowhere in a slot narrower than the ball.
  struct Case {
    const char* name;
    std::vector<double> walls;  // x of each wall
    int result;
    double x;  // expected centre x when reached
  };
  const Case cases[] = {
      {"bare wall", {0.0}, 1, 1.0},
      {"plate in front", {0.0, 0.6}, 1, 1.6},
      {"slot too narrow", {0.0, 1.5}, 0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Tri3D> tris;
    for (double x : c.walls) wall(tris, x);
    qdtest::TriModel tm(tris, qdtest::makeCutter(kCutterBall, 1.0, 1.0));
    tm.m.tolerance = 0.008;
    SpiralSlab* slab = spiralSlabNew(&tm.m, 3.0, 5.0);
    ASSERT_NE(slab, nullptr);
    Point3D out{};
    EXPECT_EQ(spiralSafePosition(&tm.m, {0, 0, 5}, {0, 0, 3}, {1, 0, 0}, 4.0, slab, &out),
              c.result);
    if (c.result == 1) {
      EXPECT_NEAR(out.x, c.x, 2e-4);
      EXPECT_NEAR(out.y, 0.0, 1e-12);
      EXPECT_EQ(out.z, 4.0);
      EXPECT_GE(spiralSlabDistance(slab, out), 1.0 - 1e-6);
    }
    spiralSlabFree(slab);
  }
}

TEST(SpiralSafePosition, OtherCuttersSitByTheirSideRadius) {
  std::vector<Tri3D> tris;
  wall(tris, 0.0);
  struct Case {
    CutterShape cutter;
    double x;
  };
  const Case cases[] = {{qdtest::makeCutter(kCutterTorus, 3.0, 2.0), 2.0},
                        {qdtest::makeCutter(kCutterTorus, 3.0, 0.5), 1.0},  // at least 1
                        {qdtest::makeCutter(kCutterFlat, 3.0, 0.0), 3.0}};
  for (const Case& c : cases) {
    qdtest::TriModel tm(tris, c.cutter);
    SpiralSlab* slab = spiralSlabNew(&tm.m, 3.0, 5.0);
    Point3D out{};
    // halfway down between the two points: halfway across too
    EXPECT_EQ(spiralSafePosition(&tm.m, {0, 0, 5}, {-1, 0, 3}, {2, 0, 0}, 4.0, slab, &out), 1);
    EXPECT_NEAR(out.x, -0.5 + c.x, 1e-12);
    EXPECT_EQ(out.z, 4.0);
    spiralSlabFree(slab);
  }
  EXPECT_EQ(spiralSafePosition(nullptr, {}, {}, {1, 0, 0}, 0, nullptr, nullptr), -1);
}

TEST(SpiralSlab, SelectsTheFacetsThatTouchTheSlab) {
  // slab between z 10 and 20, ball of radius 1: reach 1.00001
  struct Case {
    const char* name;
    Tri3D tri;
    int selected;
  };
  const Case cases[] = {
      {"far above", {{{0, 0, 30}, {1, 0, 30}, {0, 1, 31}}}, 0},
      {"far below", {{{0, 0, 2}, {1, 0, 2}, {0, 1, 3}}}, 0},
      {"just above the upper plane", {{{0, 0, 21}, {1, 0, 25}, {0, 1, 25}}}, 1},
      {"just out of reach", {{{0, 0, 21.01}, {1, 0, 25}, {0, 1, 25}}}, 0},
      {"across the lower plane", {{{0, 0, 5}, {1, 0, 15}, {0, 1, 5}}}, 1},
      {"wholly inside, far from both planes", {{{0, 0, 14}, {1, 0, 15}, {0, 1, 16}}}, 1},
      {"spanning the whole slab", {{{0, 0, 0}, {1, 0, 30}, {0, 1, 0}}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(spiralSlabSelectPlanes(c.tri.v, 3, 20, 10, 1.00001), c.selected);
  }
  std::vector<Tri3D> tris;
  for (const Case& c : cases) tris.push_back(c.tri);
  qdtest::TriModel tm(tris, qdtest::makeCutter(kCutterBall, 1.0, 1.0));
  SpiralSlab* slab = spiralSlabNew(&tm.m, 10, 20);
  ASSERT_NE(slab, nullptr);
  EXPECT_EQ(slab->next, nullptr);
  int expected = 0;
  for (const Case& c : cases) expected += c.selected;
  ASSERT_EQ(slab->selected->count, expected);
  for (int k = 0; k < slab->selected->count; ++k) {
    const Tri3D& t = tm.m.triangles->items[slab->selected->items[k]];
    EXPECT_EQ(spiralSlabSelectPlanes(t.v, 3, 10, 20, 1.00001), 1);
  }
  spiralSlabFree(slab);

  // the int list doubles its room
  SpiralIntList* list = spiralIntListNew(0);
  for (int v = 0; v < 100; ++v) ASSERT_EQ(spiralIntListAppend(list, v), 1);
  EXPECT_EQ(list->count, 100);
  EXPECT_EQ(list->capacity, 128);
  EXPECT_EQ(list->items[99], 99);
  spiralIntListFree(list);
}

// ---- path helpers ------------------------------------------------------------------------------

TEST(SpiralPaths, RotateToNearestStartsAtTheFootAndKeepsTheLoop) {
  const std::vector<Point3D> square{{0, 0, 1}, {10, 0, 1}, {10, 10, 1}, {0, 10, 1}, {0, 0, 1}};
  Path p(polyline(square));
  ASSERT_EQ(spiralRotateToNearest(p.p, {10.5, 4, 0}), 1);
  ASSERT_EQ(p.p->count, 6);  // the foot (10, 4) inserted
  EXPECT_EQ(p.p->positions[0].x, 10.0);
  EXPECT_NEAR(p.p->positions[0].y, 4.0, 1e-12);
  EXPECT_EQ(spiralIsClosed(p.p), 1);
  EXPECT_NEAR(p.p->params[p.p->count - 1], 40.0, 1e-9);
  EXPECT_NEAR(p.p->positions[1].y, 10.0, 1e-12);  // same direction of travel
  // a vertex is used as it is
  Path q(polyline(square));
  ASSERT_EQ(spiralRotateToNearest(q.p, {-1, 11, 0}), 1);
  EXPECT_EQ(q.p->count, 5);
  EXPECT_EQ(q.p->positions[0].y, 10.0);
  EXPECT_EQ(q.p->positions[4].y, 10.0);
  // an open path is left alone
  Path r(polyline({{0, 0, 0}, {5, 0, 0}, {5, 5, 0}}));
  EXPECT_EQ(spiralRotateToNearest(r.p, {5, 5, 0}), 0);
  EXPECT_EQ(r.p->positions[0].x, 0.0);
}

TEST(SpiralPaths, InsertStepsSkipsPointsNearVertices) {
  // vertices at 0, 3.1, 10; steps of 1 up to the length 6: 3 lies within 0.2 of the vertex 3.1
  Path p(polyline({{0, 0, 0}, {3.1, 0, 0}, {10, 0, 0}}));
  EXPECT_EQ(spiralInsertSteps(p.p, 6.0, 1.0), 5);
  const std::vector<double> want{0, 1, 2, 3.1, 4, 5, 6, 10};
  ASSERT_EQ(p.p->count, static_cast<int>(want.size()));
  for (int i = 0; i < p.p->count; ++i) {
    EXPECT_NEAR(p.p->params[i], want[static_cast<std::size_t>(i)], 1e-12);
    EXPECT_NEAR(p.p->positions[i].x, want[static_cast<std::size_t>(i)], 1e-12);
  }
  // a step within 0.00001 of the length moves onto it; a vertex 0.05 step away blocks it
  Path q(polyline({{0, 0, 0}, {10, 0, 0}}));
  EXPECT_EQ(spiralInsertSteps(q.p, 2.000004, 1.0), 2);
  EXPECT_NEAR(q.p->params[2], 2.000004, 1e-12);
  Path r(polyline({{0, 0, 0}, {2.04, 0, 0}, {10, 0, 0}}));
  EXPECT_EQ(spiralInsertSteps(r.p, 2.000004, 1.0), 1);
}

TEST(SpiralPaths, NearestOnLowerSearchesOnlyItsHalfNearTheEnds) {
  // Concentric circles starting at the same angle: the upper start and end (the same point) have
  // two nearest lower points, one on the first piece and its mirror on the last; the quarters
  // pick the first for the upper start and the last for the upper end.
  Path up(circle(10, 5, 40));
  Path lo(circle(12, 3, 40));
  const double len = lo.p->params[lo.p->count - 1];
  Point3D q{};
  double b0 = -1, b1 = -1;
  ASSERT_EQ(spiralNearestOnLower(up.p, 0, lo.p, &q, &b0), 1);
  ASSERT_EQ(spiralNearestOnLower(up.p, up.p->count - 1, lo.p, &q, &b1), 1);
  EXPECT_LT(b0, 1.0);
  EXPECT_GT(b1, len - 1.0);
  EXPECT_NEAR(b0 + b1, len, 1e-9);
  // in between the whole path is searched: brute force over finely sampled pieces
  for (int i : {7, 10, 23, 31}) {
    ASSERT_EQ(spiralNearestOnLower(up.p, i, lo.p, &q, &b0), 1);
    const Point3D& u = up.p->positions[i];
    double best = 1e300;
    for (int k = 0; k + 1 < lo.p->count; ++k)
      for (int j = 0; j <= 1000; ++j) {
        const Point3D& a = lo.p->positions[k];
        const Point3D& c = lo.p->positions[k + 1];
        const double t = j / 1000.0;
        best = std::min(best, std::hypot(a.x + t * (c.x - a.x) - u.x, a.y + t * (c.y - a.y) - u.y));
      }
    EXPECT_NEAR(std::hypot(q.x - u.x, q.y - u.y), best, 1e-6) << i;
    EXPECT_NEAR(q.z, 3.0, 1e-12);
  }
  // quarters of a path of 8 unit pieces
  std::vector<Point3D> pts;
  for (int i = 0; i <= 8; ++i) pts.push_back({double(i), 0, 0});
  Path line(polyline(pts));
  EXPECT_EQ(spiralQuarterFromStart(line.p), 2);
  EXPECT_EQ(spiralQuarterFromEnd(line.p), 6);
}

TEST(SpiralPaths, JoinStart) {
  struct Case {
    const char* name;
    Point3D start;
    std::vector<double> xs;  // x of the joined path's points (y = 0)
  };
  // path points at x = 0, 1, 2, ..., 9
  const Case cases[] = {
      {"nearest in the first pieces: the head dropped", {2.2, 0.1, 0}, {2.2, 3, 4, 5, 6, 7, 8, 9}},
      {"start far away: the nearest point stays", {3, 2, 0}, {3, 4, 5, 6, 7, 8, 9}},
      {"second point too close is deleted", {0.995, 0, 0}, {0.995, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"nearest later: the first point moves", {0.3, 0.2, 0}, {0.3, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"nearest later, start far: unchanged", {6, 0.7, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Point3D> pts;
    for (int i = 0; i < 10; ++i) pts.push_back({double(i), 0, 0});
    Path p(polyline(pts));
    ASSERT_EQ(spiralJoinStart(p.p, c.start), 1);
    ASSERT_EQ(p.p->count, static_cast<int>(c.xs.size()));
    for (int i = 0; i < p.p->count; ++i)
      EXPECT_EQ(p.p->positions[i].x, c.xs[static_cast<std::size_t>(i)]) << i;
  }
}

TEST(SpiralPaths, SmallHelpers) {
  Path p(polyline({{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1.000001, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
  EXPECT_EQ(spiralRemoveDuplicates(p.p), 2);
  ASSERT_EQ(p.p->count, 4);
  EXPECT_EQ(p.p->positions[2].x, 2.0);

  int first = 0, last = 0;
  EXPECT_EQ(spiralParamRange(p.p, 0.5, 2.0, &first, &last), 1);  // strictly inside
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 1);
  EXPECT_EQ(spiralParamRange(p.p, 2.5, 2.6, &first, &last), 0);

  EXPECT_EQ(pathListHasGap(p.p), 0);
  pathListSetClass(p.p, 2, kPathClassGap);
  EXPECT_EQ(pathListHasGap(p.p), 1);
  pathListDropHead(p.p, 3);
  ASSERT_EQ(p.p->count, 1);
  EXPECT_EQ(p.p->positions[0].x, 3.0);
  pathListDropHead(p.p, 5);
  EXPECT_EQ(p.p->count, 0);

  EXPECT_DOUBLE_EQ(spiralEase(0.0), 0.0);
  EXPECT_DOUBLE_EQ(spiralEase(0.5), 0.5);
  EXPECT_DOUBLE_EQ(spiralEase(1.0), 1.0);
  EXPECT_EQ(spiralMeanParam(1, 4), 2.5);
  EXPECT_EQ(spiralNoop(), 1);

  // a gap inserted inside a gap piece; the axis of a path without axes is vertical
  Path g(polyline({{0, 0, 0}, {4, 0, 0}}));
  pathListSetClass(g.p, 1, kPathClassGap);
  ASSERT_EQ(spiralInsertSteps(g.p, 4, 1), 3);
  EXPECT_EQ(pathListClass(g.p, 1), kPathClassGap);
  Point3D pos{}, axis{};
  ASSERT_EQ(spiralAxisAt(g.p, 2.5, &pos, &axis), 1);
  EXPECT_EQ(pos.x, 2.5);
  EXPECT_EQ(axis.z, 1.0);
}

TEST(SpiralPaths, BlendHeightEasesAlongTheBlendLength) {
  Path up(circle(10, 5, 40));
  Path lo(circle(10, 3, 40));
  const double len = spiralMeanLength(up.p, lo.p);
  EXPECT_NEAR(len, pathListLength(up.p), 1e-9);
  EXPECT_DOUBLE_EQ(spiralBlendZ(up.p, lo.p, 0, 0, 0), 5.0);
  EXPECT_NEAR(spiralBlendZ(up.p, lo.p, len / 2, len / 2, 0), 4.0, 1e-12);  // linear
  EXPECT_NEAR(spiralBlendZ(up.p, lo.p, 10, 10, 20), 4.0, 1e-12);           // eased midpoint
  EXPECT_NEAR(spiralBlendZ(up.p, lo.p, 5, 5, 20), 5 - 2 * spiralEase(0.25), 1e-12);
  EXPECT_DOUBLE_EQ(spiralBlendZ(up.p, lo.p, 30, 40, 20), 3.0);  // past the blend: lower z
}

TEST(SpiralPaths, ContoursClose) {
  Path a(circle(10, 3, 60));
  struct Case {
    const char* name;
    double rho, z;
    int want;
  };
  // 15 x 0.008 = 0.12 (and the chords of 60 pieces lie 0.014 inside the circle)
  const Case cases[] = {{"near and above", 10.05, 5, 1},
                        {"too far", 10.2, 5, 0},
                        {"not above", 10.05, 3, 0},
                        {"below", 10.05, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Path b(circle(c.rho, c.z, 60));
    EXPECT_EQ(spiralContoursClose(a.p, b.p, 0.008), c.want);
  }
  Path open(polyline({{10, 0, 3}, {0, 10, 3}, {-10, 0, 3}}));
  Path b(circle(10, 5, 60));
  EXPECT_EQ(spiralContoursClose(open.p, b.p, 1.0), 0);
}

TEST_F(Spiral, TurnTooSharpUsesTheStepAngle) {
  // a transition sets the step angle: 5 degrees for a drop tolerance of at least 0.00499,
  // tolerance x 1000 below it (at least 1)
  Path up(circle(20, tip(20, 0), 90));
  Path lo(circle(22, tip(22, 0), 90));
  Path out(pathListNew(10, 0));
  for (const auto& [tol, angle] : {std::pair{0.008, 5.0}, {0.003, 3.0}, {0.0005, 1.0}}) {
    tm_.m.tolerance = tol;
    ASSERT_EQ(spiralTransition(&tm_.m, lo.p, up.p, out.p, {20, 0, 0}, 0), 1);
    EXPECT_DOUBLE_EQ(spiralStepAngle(), angle);
  }
  tm_.m.tolerance = 0.008;
  ASSERT_EQ(spiralTransition(&tm_.m, lo.p, up.p, out.p, {20, 0, 0}, 0), 1);
  struct Case {
    double first;  // length of the first piece
    double degrees;
    int sharp;
  };
  // step 1: a first piece shorter than it may turn by twice the angle
  const Case cases[] = {{2, 4.9, 0}, {2, 5.1, 1}, {0.5, 9.9, 0}, {0.5, 10.1, 1}};
  for (const Case& c : cases) {
    const double a = c.degrees * kPi / 180;
    Path p(polyline({{-c.first, 0, 0}, {0, 0, 0}, {std::cos(a), std::sin(a), 0}}));
    EXPECT_EQ(spiralTurnTooSharp(p.p, 0, 1, 2, 1.0), c.sharp) << c.first << " " << c.degrees;
  }
}

}  // namespace
