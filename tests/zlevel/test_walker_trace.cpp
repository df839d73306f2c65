// Tests of the contour walk: closed walks around generated meshes checked against brute-force
// distances, chord sag, analytic areas and an all-pairs crossing test; an open walk through a
// region that cuts the boss; forced search failures (rollbacks, their bound, the segments of
// earlier pieces) and a forced drift; the angle threshold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/tri_mesh.h"
#include "mesh_distance.h"
#include "model/model_fixture.h"
#include "zlevel/walker.h"

namespace {

using qdtest::meshDistance;
using qdtest::pointTriangle;

constexpr double kPi = std::numbers::pi;

// ---- independent geometry ----------------------------------------------------------------------

double segDistance2D(double px, double py, const Seg2D& s) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  const double l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((px - s.x1) * dx + (py - s.y1) * dy) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - s.x1 - t * dx, py - s.y1 - t * dy);
}

double wallDistance(const Kont2D* walls, double x, double y) {
  double best = 1e300;
  for (int i = 0; i < walls->count; ++i)
    best = std::min(best, segDistance2D(x, y, walls->segments[i]));
  return best;
}

double orient(double ax, double ay, double bx, double by, double cx, double cy) {
  return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

// A proper crossing of the open segments (touching does not count).
bool properCross(const Seg3D& s, const Seg3D& t) {
  const double o1 = orient(s.start.x, s.start.y, s.end.x, s.end.y, t.start.x, t.start.y);
  const double o2 = orient(s.start.x, s.start.y, s.end.x, s.end.y, t.end.x, t.end.y);
  const double o3 = orient(t.start.x, t.start.y, t.end.x, t.end.y, s.start.x, s.start.y);
  const double o4 = orient(t.start.x, t.start.y, t.end.x, t.end.y, s.end.x, s.end.y);
  return o1 * o2 < -1e-12 && o3 * o4 < -1e-12;
}

// Index pairs of the closed polygon [from, to) whose segments cross (neighbours excluded).
int crossings(const PkoList* list, int from, int to) {
  int n = 0;
  for (int i = from; i < to; ++i)
    for (int j = i + 2; j < to; ++j) {
      if (i == from && j == to - 1) continue;
      if (properCross(list->segments[i], list->segments[j])) ++n;
    }
  return n;
}

double polygonArea(const PkoList* list, int from, int to) {
  double a = 0;
  for (int i = from; i < to; ++i) {
    const Seg3D& s = list->segments[i];
    a += s.start.x * s.end.y - s.end.x * s.start.y;
  }
  return a / 2;
}

// ---- scenes -----------------------------------------------------------------------------------

struct Scene {
  Tri3List* tris = nullptr;
  Kont2D* walls = nullptr;
  Kont2D* region = nullptr;
  PkoList* traced = pkoListNew(64);
  CollCtx ctx{};
  WalkTool tool{};
  WalkParams w{};
  SliceContext slice{};

  Scene() = default;
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
  ~Scene() {
    offs3dRelease(&ctx, &tool, &w);
    offs3dSetSearch(nullptr);
    if (tris != nullptr) lstBox3Free(tris);
    kontFree(walls);
    if (region != nullptr) triMeshFree(region->mesh);
    kontFree(region);
    pkoListFree(traced);
  }

  void add(const Point3D& a, const Point3D& b, const Point3D& c) {
    if (tris == nullptr) tris = lstTri3New(64);
    lstTri3Append(tris, Tri3D{{a, b, c}});
  }

  // Vertical cylinder side of radius a about the z axis from z0 to z1, n facets round.
  void cylinder(double a, double z0, double z1, int n) {
    for (int i = 0; i < n; ++i) {
      const double t0 = 2 * kPi * i / n, t1 = 2 * kPi * (i + 1) / n;
      const Point3D p0{a * std::cos(t0), a * std::sin(t0), z0},
          p1{a * std::cos(t1), a * std::sin(t1), z0};
      const Point3D q0{p0.x, p0.y, z1}, q1{p1.x, p1.y, z1};
      add(p0, p1, q1);
      add(p0, q1, q0);
    }
  }

  void rectRegion(double x0, double y0, double x1, double y1, bool mesh) {
    region = kontNewRect(Point2D{x0, y0}, Point2D{x1, y1});
    region->closed = 1;
    if (mesh) {
      region->mesh = triPolyTriangulate(region);
      ASSERT_NE(region->mesh, nullptr);
    }
  }

  // Tool, level and a step length: the chord of an arc of radius R whose height is the
  // tolerance, so that no chord of the contour (whose arcs have radii of R or more) sags more.
  void prepare(int type, double R, double c, double tolerance, double z) {
    tool = WalkTool{R, c, type};
    ctx.triangles = tris;
    ctx.walls = walls;
    ctx.region = region;
    w.tolerance = tolerance;
    w.z = z;
    w.direction = 1;
    w.step = std::max(0.05, 2 * std::sqrt(2 * R * tolerance - tolerance * tolerance));
    slice.traced = traced;
    ASSERT_EQ(offs3dPrepare(&ctx, &tool, &w), 1);
  }

  int trace(const Point2D& from, const Point2D& start) {
    w.start = Point3D{start.x, start.y, w.z};
    w.startSegment = Seg2D{from.x, from.y, start.x, start.y};
    return offs3dTrace(&ctx, &tool, &w, &slice);
  }
};

// Checks shared by the closed walks: the piece [from, count) closes, every vertex lies at
// `distance` from the model (dist), every chord sags at most the tolerance, nothing crosses.
template <class Dist>
void expectClosedContour(const Scene& s, int from, double distance, Dist dist) {
  const PkoList* l = s.traced;
  ASSERT_GT(l->count - from, 8);
  const double tol = s.w.tolerance;
  for (int i = from; i < l->count; ++i) {
    const Seg3D& g = l->segments[i];
    if (i > from) {
      EXPECT_NEAR(g.start.x, l->segments[i - 1].end.x, 1e-9);
      EXPECT_NEAR(g.start.y, l->segments[i - 1].end.y, 1e-9);
    }
    EXPECT_NEAR(dist(g.end), distance, tol) << "vertex " << i;
    const Point3D mid{(g.start.x + g.end.x) / 2, (g.start.y + g.end.y) / 2, g.start.z};
    EXPECT_GT(dist(mid), distance - tol) << "chord " << i;
    EXPECT_LE(std::hypot(g.end.x - g.start.x, g.end.y - g.start.y), s.w.step + 1e-9) << i;
    EXPECT_EQ(g.start.z, s.w.z);
  }
  EXPECT_NEAR(l->segments[l->count - 1].end.x, l->segments[from].start.x, 1e-9);
  EXPECT_NEAR(l->segments[l->count - 1].end.y, l->segments[from].start.y, 1e-9);
  EXPECT_EQ(crossings(l, from, l->count), 0);
}

class ClosedWalk : public ::testing::TestWithParam<double> {};

TEST_P(ClosedWalk, BallAroundCylinderBoss) {
  const double tol = GetParam(), a = 20, R = 10;
  Scene s;
  s.cylinder(a, -30, 30, 180);
  s.prepare(1, R, R, tol, 0);
  ASSERT_EQ(s.trace(Point2D{a + R + 5, 0}, Point2D{a + R, 0}), 1);
  expectClosedContour(s, 0, R, [&](const Point3D& p) { return meshDistance(s.tris, p); });
  // Walking counter-clockwise around the boss: the area of a circle of radius a + R, less the
  // facets' and chords' sag along the perimeter.
  const double rho = a + R, exact = kPi * rho * rho;
  const double area = polygonArea(s.traced, 0, s.traced->count);
  EXPECT_LT(area, exact + 1e-6);
  EXPECT_GT(area, exact - 2 * kPi * rho * (tol + a * (1 - std::cos(kPi / 180))));
  for (int i = 0; i < s.traced->count; ++i) {
    EXPECT_TRUE(s.traced->kinds[i] >= 1 && s.traced->kinds[i] <= 3) << i;  // walked +1
    EXPECT_GE(s.traced->ids[i], 0);
  }
}

TEST_P(ClosedWalk, FlatEndMillAroundBoxWalls) {
  const double tol = GetParam(), R = 10, w = 30, h = 20;
  Scene s;
  s.walls = kontNewRect(Point2D{0, 0}, Point2D{w, h});
  s.prepare(2, R, 0, tol, 0);
  ASSERT_EQ(s.trace(Point2D{w + R + 5, h / 2}, Point2D{w + R, h / 2}), 1);
  expectClosedContour(s, 0, R, [&](const Point3D& p) { return wallDistance(s.walls, p.x, p.y); });
  const double exact = w * h + 2 * (w + h) * R + kPi * R * R;
  const double area = polygonArea(s.traced, 0, s.traced->count);
  EXPECT_LT(area, exact + 1e-6);
  EXPECT_GT(area, exact - 2 * kPi * R * tol - 1e-6);
  for (int i = 0; i < s.traced->count; ++i) EXPECT_EQ(std::abs(s.traced->kinds[i]), 4) << i;
}

// Brute-force distance from the tube-centre circle of a torus at p (radius R - c, horizontal) to
// the mesh: the circle sampled every 0.25 degrees over the 30 degrees facing the z axis, against
// the triangles near p.
double tubeDistance(const Tri3List* tris, const Point3D& p, double ring) {
  const double facing = std::atan2(-p.y, -p.x);
  std::vector<const Tri3D*> near;
  for (int i = 0; i < tris->count; ++i) {
    const Tri3D& t = tris->items[i];
    bool close = false;
    for (const Point3D& v : t.v) close = close || std::hypot(v.x - p.x, v.y - p.y) < ring + 8;
    if (close && std::fabs(t.v[0].z - p.z) < 12) near.push_back(&t);
  }
  double best = 1e300;
  for (int k = -60; k <= 60; ++k) {
    const double a = facing + k * kPi / 720;
    const Point3D q{p.x + ring * std::cos(a), p.y + ring * std::sin(a), p.z};
    for (const Tri3D* t : near) best = std::min(best, pointTriangle(q, *t));
  }
  return best;
}

TEST_P(ClosedWalk, TorusAroundSphere) {
  const double tol = GetParam(), S = 30, R = 10, c = 4, Z = 12;
  Scene s;
  for (const Tri3D& t : qdtest::sphereMesh(48, 96, S, 0, 0)) s.add(t.v[0], t.v[1], t.v[2]);
  s.prepare(3, R, c, tol, Z);
  const double rho = R - c + std::sqrt((S + c) * (S + c) - Z * Z);
  ASSERT_EQ(s.trace(Point2D{rho + 5, 0.3}, Point2D{rho - 0.01, 0.3}), 1);
  // Against the mesh: every tenth vertex (and every chord midpoint through the sag bound of the
  // analytic sphere, which the inscribed mesh lies inside by at most its facet sag).
  const double sag = S * (1 - std::cos(kPi / 48));
  const PkoList* l = s.traced;
  for (int i = 0; i < l->count; i += 10)
    EXPECT_NEAR(tubeDistance(s.tris, l->segments[i].end, R - c), c, tol) << i;
  expectClosedContour(s, 0, c, [&](const Point3D& p) {
    // Analytic distance from the tube-centre circle to the sphere, moved to the mesh's side.
    const double d = std::sqrt(std::pow(std::hypot(p.x, p.y) - (R - c), 2) + p.z * p.z) - S;
    return std::clamp(c, d, d + sag + tol);
  });
  const double area = polygonArea(l, 0, l->count);
  EXPECT_LT(area, kPi * rho * rho + 1e-6);
  EXPECT_GT(area, kPi * (rho - sag - tol) * (rho - sag - tol));
}

INSTANTIATE_TEST_SUITE_P(Offs3d, ClosedWalk, ::testing::Values(0.1, 0.01));

// ---- open walks -------------------------------------------------------------------------------

TEST(OpenWalk, RegionCuttingTheBossGivesOnePieceFromBoundaryToBoundary) {
  for (const bool mesh : {true, false}) {
    SCOPED_TRACE(mesh ? "with mesh" : "without mesh");
    const double a = 20, R = 10, rho = a + R;
    Scene s;
    s.cylinder(a, -30, 30, 180);
    s.rectRegion(0, -60, 60, 60, mesh);
    s.prepare(1, R, R, 0.01, 0);
    // An earlier piece stays as it is.
    pkoListAppend(s.traced, Seg3D{{1, 1, 0}, {2, 2, 0}}, Point3D{}, 7, 1);
    ASSERT_EQ(s.trace(Point2D{rho + 5, 0}, Point2D{rho, 0}), 2);
    const PkoList* l = s.traced;
    EXPECT_EQ(l->ids[0], 7);
    EXPECT_EQ(l->segments[0].end.x, 2.0);
    ASSERT_GT(l->count, 20);
    // Reverse half from the boundary below the start, then the forward half up to the boundary.
    const Seg3D& first = l->segments[1];
    const Seg3D& last = l->segments[l->count - 1];
    EXPECT_NEAR(first.start.x, 0, 1e-6);
    EXPECT_NEAR(first.start.y, -rho, 0.05);
    EXPECT_NEAR(last.end.x, 0, 1e-6);
    EXPECT_NEAR(last.end.y, rho, 0.05);
    EXPECT_EQ(l->ids[l->count - 1], -2);
    EXPECT_EQ(l->kinds[l->count - 1], -1);  // the outer contour
    for (int i = 2; i < l->count; ++i) {
      EXPECT_NEAR(l->segments[i].start.x, l->segments[i - 1].end.x, 1e-9) << i;
      EXPECT_NEAR(l->segments[i].start.y, l->segments[i - 1].end.y, 1e-9) << i;
      EXPECT_GT(l->segments[i].end.x, -1e-9);
      if (i < l->count - 1) {
        EXPECT_NEAR(meshDistance(s.tris, l->segments[i].end), R, 0.01) << i;
        EXPECT_TRUE(l->kinds[i] >= 1 && l->kinds[i] <= 3) << i;  // face, edge or vertex, walked +1
        EXPECT_GE(l->ids[i], 0) << i;
      }
    }
    // The joining segment passes near the start point with the start contact data.
    int join = -1;
    for (int i = 1; i < l->count; ++i)
      if (std::hypot(l->segments[i].start.x - rho, l->segments[i].start.y) < 0.06 &&
          std::hypot(l->segments[i].end.x - rho, l->segments[i].end.y) < 0.06)
        join = i;
    ASSERT_GT(join, 0);
    EXPECT_GE(l->ids[join], 0);
    EXPECT_TRUE(l->kinds[join] >= 1 && l->kinds[join] <= 3);
    EXPECT_EQ(crossings(l, 1, l->count), 0);
    EXPECT_EQ(l->joinState, 0);
    EXPECT_EQ(l->prevJoinState, 1);
  }
}

// ---- forced search failures --------------------------------------------------------------------

struct Forced {
  long calls = 0;
  long realCalls = 0;  // calls answered by the real search
  long failing = 0;
  int countAtFirstFailure = -1;
  const PkoList* list = nullptr;
  bool reverseOutside = false;
};
Forced gForced;

int failAfter(const CollCtx* ctx, const WalkTool* tool, const WalkParams* w,
              const TriangleGridCell* tc, const TriangleGridCell* wc, const StepCircle* sc,
              Point3D* p, Point3D* v, int* id, int* kind) {
  if (gForced.reverseOutside && sc->direction < 0) {
    // The reverse walk finds its start outside the region.
    const_cast<WalkParams*>(w)->start = Point3D{-100, 0, w->z};
  }
  if (++gForced.calls <= gForced.realCalls)
    return offs3dNextPoint(ctx, tool, w, tc, wc, sc, p, v, id, kind);
  if (gForced.failing++ == 0) gForced.countAtFirstFailure = gForced.list->count;
  return 0;
}

TEST(ForcedFailures, RollbacksAreBoundedAndKeepEarlierPieces) {
  struct Case {
    long realCalls;
    int earlier;  // segments of earlier pieces
  };
  for (const Case c : {Case{120, 0}, Case{120, 5}, Case{8, 0}, Case{8, 3}}) {
    SCOPED_TRACE(::testing::Message() << c.realCalls << " " << c.earlier);
    Scene s;
    s.cylinder(20, -30, 30, 180);
    s.prepare(1, 10, 10, 0.01, 0);
    for (int i = 0; i < c.earlier; ++i)
      pkoListAppend(s.traced, Seg3D{{1.0 * i, 0, 0}, {1.0 * i + 1, 0, 0}}, Point3D{}, 100 + i, 2);
    gForced = Forced{};
    gForced.realCalls = c.realCalls;
    gForced.list = s.traced;
    offs3dSetSearch(failAfter);
    geoErrReset();
    EXPECT_EQ(s.trace(Point2D{35, 0}, Point2D{30, 0}), -3);
    EXPECT_EQ(geoErrCode(), -3);
    const int own = gForced.countAtFirstFailure - c.earlier;
    if (c.realCalls > 100) {
      EXPECT_GT(own, 42 + 1);
    }
    if (own > 42 + 1) {
      // Seven rollbacks of 3 to 9 segments, each after 20 failures; the eighth fails.
      EXPECT_EQ(gForced.failing, 8 * 20);
      EXPECT_EQ(s.traced->count, gForced.countAtFirstFailure - 42);
    } else {
      // Too few segments of its own: the first rollback that would eat them fails.
      EXPECT_LE(gForced.failing, 8 * 20);
      EXPECT_GE(s.traced->count, c.earlier);
    }
    for (int i = 0; i < c.earlier; ++i) {
      EXPECT_EQ(s.traced->ids[i], 100 + i);
      EXPECT_EQ(s.traced->segments[i].end.x, i + 1.0);
    }
  }
}

TEST(ForcedFailures, ReverseWalkStartingOutsideLeavesTheFirstPiece) {
  Scene s;
  s.cylinder(20, -30, 30, 180);
  s.rectRegion(0, -60, 60, 60, true);
  s.prepare(1, 10, 10, 0.1, 0);
  gForced = Forced{};
  gForced.realCalls = 1L << 40;
  gForced.list = s.traced;
  gForced.reverseOutside = true;
  offs3dSetSearch(failAfter);
  EXPECT_EQ(s.trace(Point2D{35, 0}, Point2D{30, 0}), 2);
  const PkoList* l = s.traced;
  ASSERT_GT(l->count, 5);
  // Only the forward half: from the second contact near the start up to the boundary.
  EXPECT_NEAR(std::hypot(l->segments[0].start.x - 30, l->segments[0].start.y), 0.05, 1e-3);
  EXPECT_EQ(l->ids[l->count - 1], -2);
  EXPECT_NEAR(l->segments[l->count - 1].end.x, 0, 1e-6);
}

// A search that always answers with a position on a slowly widening spiral about the origin.
int spiral(const CollCtx*, const WalkTool*, const WalkParams* w, const TriangleGridCell*,
           const TriangleGridCell*, const StepCircle* sc, Point3D* p, Point3D* v, int* id,
           int* kind) {
  const double cx = sc->centreX, cy = sc->centreY, d = std::hypot(cx, cy);
  double tx = -cy / d + 0.002 * cx / d, ty = cx / d + 0.002 * cy / d;
  const double t = std::hypot(tx, ty);
  tx /= t;
  ty /= t;
  *p = Point3D{cx + sc->radius * tx, cy + sc->radius * ty, w->z};
  *v = Point3D{cx / 2, cy / 2, w->z};
  *id = 0;
  *kind = 1;
  ++gForced.calls;
  return 1;
}

TEST(ForcedFailures, DriftEndsAtThePassCap) {
  Scene s;
  s.w.z = 0;
  s.w.direction = 1;
  s.w.step = 0.05;
  s.slice.traced = s.traced;
  offs3dSetSearch(spiral);
  gForced = Forced{};
  s.w.start = Point3D{30, 0, 0};
  s.w.startSegment = Seg2D{31, 0, 30, 0};
  geoErrReset();
  EXPECT_EQ(offs3dTrace(&s.ctx, &s.tool, &s.w, &s.slice), -42);
  EXPECT_EQ(geoErrCode(), -42);
  EXPECT_GT(gForced.calls, 20000);
  EXPECT_LT(gForced.calls, 20010);
}

// ---- auxiliaries -------------------------------------------------------------------------------

TEST(WalkAuxiliaries, AngleLimitFollowsEachWalksLargestRadius) {
  struct Row {
    double s, r, want;
  };
  for (const Row& row :
       {Row{0.05, 0.05, 0.2}, Row{1.0, 0.05, 0.2}, Row{1.0, 1.0, 0.1}, Row{1.0, 0.525, 0.15},
        Row{0.5, 0.5, 0.1}, Row{0.5, 0.05, 0.2}, Row{0.05, 0.05, 0.2}, Row{2.0, 4.0, 0.1}}) {
    EXPECT_NEAR(offs3dAngleLimit(row.s, row.r), row.want, 1e-12) << row.s << " " << row.r;
  }
}

TEST(WalkAuxiliaries, ShortStepsMergeUnlessJoining) {
  PkoList* l = pkoListNew(4);
  const Point3D v{1, 2, 3};
  EXPECT_EQ(offs3dAppendStep(l, Seg3D{{0, 0, 0}, {0, 0.000001, 0}}, v, 1, 1), 1);
  EXPECT_EQ(l->count, 1);  // an empty list takes even a tiny step
  EXPECT_EQ(offs3dAppendStep(l, Seg3D{{0, 0, 0}, {1, 0, 0}}, v, 2, 1), 1);
  EXPECT_EQ(offs3dAppendStep(l, Seg3D{{1, 0, 0}, {1.000004, 0.000004, 0}}, v, 3, 2), 1);
  ASSERT_EQ(l->count, 2);
  EXPECT_EQ(l->segments[1].end.x, 1.000004);
  EXPECT_EQ(l->ids[1], 3);
  EXPECT_EQ(l->kinds[1], 2);
  l->joinState = 1;
  EXPECT_EQ(offs3dAppendStep(l, Seg3D{{1, 0, 0}, {1.000001, 0, 0}}, v, 4, 1), 1);
  EXPECT_EQ(l->count, 3);
  pkoListFree(l);
}

TEST(WalkAuxiliaries, SelfCrossOfNearSegmentsIsFound) {
  PkoList* l = pkoListNew(8);
  SliceContext sc{};
  sc.traced = l;
  // A zig-zag whose fourth segment folds back across the second.
  const double pts[][2] = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {1.5, -1}, {3, -1}, {4, -1}};
  for (int i = 0; i + 1 < 7; ++i)
    pkoListAppend(l, Seg3D{{pts[i][0], pts[i][1], 0}, {pts[i + 1][0], pts[i + 1][1], 0}}, Point3D{},
                  0, 1);
  EXPECT_EQ(offs3dCheckSelfCross(0, &sc), -41);
  EXPECT_EQ(offs3dCheckSelfCross(2, &sc), 1);  // from the fold on nothing crosses
  pkoListFree(l);
}

}  // namespace
