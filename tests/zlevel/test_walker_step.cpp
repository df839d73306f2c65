// Tests of the walker's step search: the search over grid cells and sorted boxes equals a plain
// scan of every triangle and wall of the level (real level slabs, a random soup with allowances,
// random walls); a table of the search rules on small fixtures; the preparation's grid sizes,
// sorting and allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/plane_geo.h"
#include "geometry/space_geo.h"
#include "geometry/triangle_grid.h"
#include "model/stl_file.h"
#include "model/wcoll_contact.h"
#include "support/real_meshes.h"
#include "zlevel/tri_contact.h"
#include "zlevel/walker.h"

namespace {

constexpr double kPi = std::numbers::pi;

// ---- a level: triangles, walls, tool and the prepared walk parameters -------------------------

struct Level {
  Tri3List* tris = nullptr;
  Kont2D* walls = nullptr;
  RecList* triAllowances = nullptr;
  RecList* wallAllowances = nullptr;
  CollCtx ctx{};
  WalkTool tool{};
  WalkParams params{};

  Level() = default;
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;
  ~Level() {
    offs3dRelease(&ctx, &tool, &params);
    wcollResetState();
    if (tris != nullptr) lstBox3Free(tris);
    kontFree(walls);
    lstRecFree(triAllowances);
    lstRecFree(wallAllowances);
  }

  void addTriangle(const Tri3D& t) {
    if (tris == nullptr) tris = lstTri3New(16);
    lstTri3Append(tris, t);
  }
  void addWall(const Seg2D& s) {
    if (walls == nullptr) walls = kontNew(nullptr, 16);
    kontAppendSeg(walls, &s);
  }
  // Allowances per triangle and per wall segment (the wall pairs carry the segment's first
  // index, so a test can follow them through the sort).
  void triAllowance(float value) {
    if (triAllowances == nullptr) triAllowances = lstPairNew(16);
    lstPairAppend(triAllowances, PtrValPair{nullptr, value});
  }
  void wallAllowance(float value) {
    if (wallAllowances == nullptr) wallAllowances = lstPairNew(16);
    lstPairAppend(wallAllowances, PtrValPair{nullptr, value});
  }

  // Prepares the search with the tool and step length; installs the allowance tables.
  void prepare(int type, double R, double c, double step) {
    tool = WalkTool{R, c, type};
    ctx.triangles = tris;
    ctx.walls = walls;
    ctx.wallAllowances = wallAllowances;
    params.step = step;
    params.mode = wallAllowances != nullptr ? 1 : 0;
    ASSERT_EQ(offs3dPrepare(&ctx, &tool, &params), 1);
    wcollSetTriAllowances(triAllowances);
    wcollSetSegAllowances(wallAllowances);
  }

  struct Answer {
    int result = 0;
    Point3D point{}, contact{};
    int id = -1, kind = 0;
  };

  // The search as the walker calls it: the cells that hold the centre.
  Answer search(const StepCircle& sc, double z) {
    params.z = z;
    Answer a;
    const TriangleGridCell* triCell =
        params.triGrid != nullptr ? triGridCell(params.triGrid, sc.centreX, sc.centreY) : nullptr;
    const TriangleGridCell* wallCell =
        params.wallGrid != nullptr ? triGridCell(params.wallGrid, sc.centreX, sc.centreY) : nullptr;
    a.result = offs3dNextPoint(&ctx, &tool, &params, triCell, wallCell, &sc, &a.point, &a.contact,
                               &a.id, &a.kind);
    return a;
  }

  Answer brute(const StepCircle& sc, double z);
  std::vector<std::array<double, 6>> ownBoxes;  // the oracle's own triangle boxes
};

double allowance(const RecList* table, int i) {
  if (table == nullptr || i >= table->count) return 0.0;
  return static_cast<const PtrValPair*>(table->items)[i].value;
}

// The plain scan: every triangle in the order of the sorted boxes, every wall segment in its
// sorted order, no grid and none of the search's boxes or reach tests; the same solvers, contact
// checks and rules. A triangle whose own box lies farther from the centre than R + r (and a
// margin for the solvers' errors) is passed over: every contact or gouge lies within R of a
// position on the circle.
Level::Answer Level::brute(const StepCircle& sc, double z) {
  const double cx = sc.centreX, cy = sc.centreY, r = sc.radius;
  const int dir = sc.direction;
  const double ref = geoPseudoAngle(sc.prevX - cx, sc.prevY - cy, 0.0, dir);
  Arc2D circle{};
  circle.cx = cx;
  circle.cy = cy;
  circle.radius = r;
  double triBest = 10, wallBest = 10;
  Answer tri, wall;
  auto take = [&](double& best, Answer& ans, const Point3D& p, const Point3D& contact, int id,
                  int kind, bool sideOk) {
    const double dx = p.x - cx, dy = p.y - cy;
    if (dx * dx + dy * dy > 4 * r * r || !sideOk) return false;
    const double a = geoPseudoAngle(dx, dy, ref, dir);
    if (!(a < best)) return false;
    best = a;
    ans = Answer{1, p, contact, id, kind};
    return true;
  };
  auto triSide = [&](const Point3D& p, const Point3D& contact) {
    const double dx = p.x - cx, dy = p.y - cy;
    return geoPlaneSide(contact, -dy, dx, 0.0, dy * cx - dx * cy) == dir;
  };
  const TriconSet* set = triconSetFor(tool.type);
  if (tris != nullptr && ownBoxes.empty()) {
    for (int i = 0; i < tris->count; ++i) {
      const Tri3D& t = tris->items[i];
      std::array<double, 6> b{};
      for (int k = 0; k < 3; ++k) {
        const double v[3] = {t.v[0].x, t.v[0].y, t.v[0].z};
        b[k] = b[k + 3] = v[k];
      }
      for (const Point3D& p : t.v) {
        const double v[3] = {p.x, p.y, p.z};
        for (int k = 0; k < 3; ++k) {
          b[k] = std::min(b[k], v[k]);
          b[k + 3] = std::max(b[k + 3], v[k]);
        }
      }
      ownBoxes.push_back(b);
    }
  }
  if (set != nullptr && tris != nullptr) {
    for (int j = 0; j < params.triBoxCount; ++j) {
      const int i = params.triBoxes[j].index;
      const Tri3D& t = tris->items[i];
      const double a = allowance(triAllowances, i);
      const double R = tool.radius + a, c = tool.cornerRadius + a;
      const std::array<double, 6>& box = ownBoxes[static_cast<std::size_t>(i)];
      const double at[3] = {cx, cy, z};
      double gap2 = 0;
      for (int k = 0; k < 3; ++k) {
        const double g =
            at[k] < box[k] ? box[k] - at[k] : (at[k] > box[k + 3] ? at[k] - box[k + 3] : 0.0);
        gap2 += g * g;
      }
      if (gap2 > (R + r + 0.1) * (R + r + 0.1)) continue;
      const TriconTool tt = tool.type == 3 ? TriconTool{R - c, c} : TriconTool{R, R};
      Point3D out[4], contact;
      double nx, ny, nz, d;
      if (geoTriPlane(t, &nx, &ny, &nz, &d) == 1) {
        const int n = set->faceSolver(t, tt, circle, z, out);
        if (n == kTriconGouge) return Answer{};
        if (n < 0) return Answer{n};
        bool taken = false;
        for (int k = 0; n >= 2 && k < 2; ++k) {
          if (set->faceCheck(out[k], tt, t, &contact) == 1) {
            taken |= take(triBest, tri, out[k], contact, i, 1, triSide(out[k], contact));
          }
        }
        if (taken) continue;
      }
      bool edgeTaken = false;
      for (int e = 0; e < 3; ++e) {
        const Seg3D edge{t.v[e], t.v[(e + 1) % 3]};
        const int n = set->edgeSolver(edge, tt, circle, z, out);
        if (n == kTriconGouge) return Answer{};
        if (n < 0) return Answer{n};
        for (int k = 0; n >= 2 && k < n; ++k) {
          if (set->edgeCheck(out[k], tt, edge, &contact) == 1) {
            edgeTaken |= take(triBest, tri, out[k], contact, i, 2, triSide(out[k], contact));
          }
        }
      }
      if (edgeTaken) continue;
      for (const Point3D& v : t.v) {
        const int n = set->vertexSolver(v, tt, circle, z, out);
        if (n == kTriconGouge) return Answer{};
        if (n < 0) return Answer{n};
        for (int k = 0; n >= 2 && k < 2; ++k)
          take(triBest, tri, out[k], v, i, 3, triSide(out[k], v));
      }
    }
  }
  if (walls != nullptr) {
    const Point2D centre{cx, cy};
    for (int j = 0; j < walls->count; ++j) {
      const Seg2D& s = walls->segments[j];
      const double Rw = tool.radius + allowance(wallAllowances, j);
      if (geoPointNearSeg(centre, s, Rw - r - 0.01) == 1) return Answer{};
      auto wallSide = [&](const Point2D& p, const Point2D& contact) {
        double a, b, c;
        if (geoLineEq(Seg2D{cx, cy, p.x, p.y}, &a, &b, &c) != 1) return false;
        return geoLineSide(contact, a, b, c) == -dir;
      };
      const bool point = std::fabs(s.x2 - s.x1) < 1e-5 && std::fabs(s.y2 - s.y1) < 1e-5;
      double a, b, c;
      if (!point && geoLineEq(s, &a, &b, &c) == 1) {
        const int side = geoLineSide(centre, a, b, c);
        Point3D p[2];
        if (side != 0 && triconLineCut(a, b, c - side * Rw, circle, z, &p[0], &p[1]) == 2) {
          for (const Point3D& q : p) {
            Point2D foot;
            if (geoFootOnSeg({q.x, q.y}, s, &foot) == 1) {
              take(wallBest, wall, q, {foot.x, foot.y, z}, j, 4, wallSide({q.x, q.y}, foot));
            }
          }
        }
      }
      for (const Point2D e : {Point2D{s.x1, s.y1}, Point2D{s.x2, s.y2}}) {
        const double d2 = geoDist2DSq(e, centre);
        if (d2 < r * r) continue;
        Point3D p[2];
        if (triconCircleCut(e.x, e.y, Rw, circle, z, &p[0], &p[1]) != 2) continue;
        for (const Point3D& q : p)
          take(wallBest, wall, q, {e.x, e.y, z}, j, 4, wallSide({q.x, q.y}, e));
      }
    }
  }
  if (tri.result == 1 && (wall.result != 1 || triBest <= wallBest)) return tri;
  return wall;
}

void expectSame(const Level::Answer& got, const Level::Answer& want, const std::string& what) {
  ASSERT_EQ(got.result, want.result) << what;
  if (want.result != 1) return;
  EXPECT_EQ(got.id, want.id) << what;
  EXPECT_EQ(got.kind, want.kind) << what;
  EXPECT_NEAR(got.point.x, want.point.x, 1e-12) << what;
  EXPECT_NEAR(got.point.y, want.point.y, 1e-12) << what;
  EXPECT_EQ(got.point.z, want.point.z) << what;
  EXPECT_NEAR(got.contact.x, want.contact.x, 1e-12) << what;
  EXPECT_NEAR(got.contact.y, want.contact.y, 1e-12) << what;
  EXPECT_NEAR(got.contact.z, want.contact.z, 1e-12) << what;
}

// A step circle near the surface: a point of a random triangle, the tool centre at height z that
// touches it along the triangle's normal in plan, moved by up to r; the previous point on the
// circle in a random direction.
struct StepMaker {
  std::mt19937_64 rng;
  explicit StepMaker(unsigned seed) : rng(seed) {}
  double u(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }

  // rc: the tool's tube-centre radius (0 for a ball), c its corner radius.
  bool nearSurface(const Tri3List& tris, double z, double rc, double c, StepCircle* sc) {
    const Tri3D& t = tris.items[static_cast<int>(u(0, tris.count - 1e-9))];
    double a = u(0, 1), b = u(0, 1);
    if (a + b > 1) a = 1 - a, b = 1 - b;
    Point3D p{};
    p.x = t.v[0].x + a * (t.v[1].x - t.v[0].x) + b * (t.v[2].x - t.v[0].x);
    p.y = t.v[0].y + a * (t.v[1].y - t.v[0].y) + b * (t.v[2].y - t.v[0].y);
    p.z = t.v[0].z + a * (t.v[1].z - t.v[0].z) + b * (t.v[2].z - t.v[0].z);
    double nx, ny, nz, d;
    if (geoTriPlane(t, &nx, &ny, &nz, &d) != 1) return false;
    const double h = std::hypot(nx, ny), dz = z - p.z;
    if (h < 1e-3 || std::fabs(dz) >= c) return false;
    const double out = rc + std::sqrt(c * c - dz * dz);
    const double r = u(0.02, 0.5);
    circleAt(p.x + out * nx / h + u(-r, r), p.y + out * ny / h + u(-r, r), r, sc);
    return true;
  }
  void circleAt(double cx, double cy, double r, StepCircle* sc) {
    const double a = u(0, 2 * kPi);
    *sc = StepCircle{cx + r * std::cos(a), cy + r * std::sin(a), cx, cy, r, u(0, 1) < 0.5 ? 1 : -1};
  }
};

// The slab of a real mesh about height z0: triangles within R + 1 of it in height.
void slabOf(const Tri3List& mesh, double z0, double R, Level* level) {
  for (int i = 0; i < mesh.count; ++i) {
    const Tri3D& t = mesh.items[i];
    const double lo = std::min({t.v[0].z, t.v[1].z, t.v[2].z});
    const double hi = std::max({t.v[0].z, t.v[1].z, t.v[2].z});
    if (hi >= z0 - R - 1 && lo <= z0 + R + 1) level->addTriangle(t);
  }
}

struct RealCase {
  const char* file;
  double z0;
  double R;
  int type;
};

class StepSearchRealSlab : public ::testing::TestWithParam<RealCase> {};

// The search over cells and boxes equals the plain scan on level slabs of real parts.
TEST_P(StepSearchRealSlab, EqualsPlainScan) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  const RealCase& rc = GetParam();
  Tri3List* mesh = stlRead(qdtest::dataPath(rc.file).c_str());
  ASSERT_NE(mesh, nullptr);
  Level level;
  slabOf(*mesh, rc.z0, rc.R, &level);
  lstBox3Free(mesh);
  ASSERT_GT(level.tris->count, 50);
  const double c = rc.type == 3 ? rc.R / 3 : rc.R;
  level.prepare(rc.type, rc.R, c, 1.0);
  StepMaker maker(99);
  int found = 0, steps = 0;
  while (steps < 5000) {
    StepCircle sc{};
    if (!maker.nearSurface(*level.tris, rc.z0, rc.R - c, c, &sc)) continue;
    ++steps;
    const Level::Answer got = level.search(sc, rc.z0);
    expectSame(got, level.brute(sc, rc.z0),
               std::string(rc.file) + " step " + std::to_string(steps));
    if (::testing::Test::HasFatalFailure()) return;
    found += got.result == 1;
  }
  EXPECT_GT(found, steps / 20) << "too few steps reach a contact";
}

INSTANTIATE_TEST_SUITE_P(Offs3d, StepSearchRealSlab,
                         ::testing::Values(RealCase{"sphere_on_plate.stl", 20.0, 3.0, 1},
                                           RealCase{"sphere_on_plate.stl", 2.5, 3.0, 3},
                                           RealCase{"wheel_in_box.stl", 20.0, 10.0, 1},
                                           RealCase{"wheel_in_box.stl", 30.0, 10.0, 3}),
                         [](const ::testing::TestParamInfo<RealCase>& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.')) +
                                  (info.param.type == 1 ? "_ball_" : "_torus_") +
                                  std::to_string(static_cast<int>(info.param.z0 * 10));
                           return name;
                         });

// A random soup of triangles and walls, with allowances on both, for the ball and the torus; and
// random walls alone for the flat end mill.
class StepSearchSoup : public ::testing::TestWithParam<int> {};

TEST_P(StepSearchSoup, EqualsPlainScan) {
  const int type = GetParam();
  std::mt19937_64 rng(4242 + type);
  auto u = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  Level level;
  if (type != 2) {
    for (int i = 0; i < 150; ++i) {
      const Point3D a{u(0, 60), u(0, 60), u(-10, 10)};
      Tri3D t{{a,
               {a.x + u(-6, 6), a.y + u(-6, 6), a.z + u(-6, 6)},
               {a.x + u(-6, 6), a.y + u(-6, 6), a.z + u(-6, 6)}}};
      if (i % 30 == 0) t.v[2] = t.v[1];  // a triangle without a plane
      level.addTriangle(t);
      level.triAllowance(static_cast<float>(u(-1, 0.3)));
    }
  }
  for (int i = 0; i < 60; ++i) {
    const double x = u(0, 60), y = u(0, 60);
    const bool point = i % 15 == 0;
    level.addWall(Seg2D{x, y, point ? x : x + u(-6, 6), point ? y : y + u(-6, 6)});
    level.wallAllowance(static_cast<float>(u(-1, 0.3)));
  }
  const double R = 3, c = type == 3 ? 1 : (type == 1 ? R : 0);
  level.prepare(type, R, c, 1.0);
  StepMaker maker(7 + type);
  int found = 0;
  for (int step = 0; step < 5000; ++step) {
    StepCircle sc{};
    const double z = u(-8, 8);
    if (type != 2 && step % 2 == 0) {
      while (!maker.nearSurface(*level.tris, z, type == 3 ? R - c : 0.0, type == 3 ? c : R, &sc)) {
      }
    } else {
      maker.circleAt(u(-2, 62), u(-2, 62), u(0.02, 0.5), &sc);
    }
    const Level::Answer got = level.search(sc, z);
    expectSame(got, level.brute(sc, z), "step " + std::to_string(step));
    if (::testing::Test::HasFatalFailure()) return;
    found += got.result == 1;
  }
  EXPECT_GT(found, 250) << "too few steps reach a contact";
}

INSTANTIATE_TEST_SUITE_P(Offs3d, StepSearchSoup, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == 1   ? "Ball"
                                              : info.param == 2 ? "FlatOnWalls"
                                                                : "Torus");
                         });

// ---- search rules on small fixtures -----------------------------------------------------------

StepCircle circleFrom(double cx, double cy, double r, double prevDegrees, int dir) {
  const double a = prevDegrees * kPi / 180;
  return StepCircle{cx + r * std::cos(a), cy + r * std::sin(a), cx, cy, r, dir};
}

// Triangle A stands in the plane x = 2 with a vertical edge at y = 0; triangle B holds the same
// edge in the plane y = 0, so it has no face contact. About (1, 0) with r = 0.5 and a ball of
// radius 1, the edge gives a position at 75.5 degrees, A's face one at 90 degrees.
const Tri3D kFaceA{{{2, 0, -5}, {2, 10, -5}, {2, 0, 5}}};
const Tri3D kEdgeB{{{2, 0, -5}, {2, 0, 5}, {5, 0, 0}}};

TEST(StepSearchRules, FaceCandidateSkipsItsOwnEdgesOnly) {
  const StepCircle sc = circleFrom(1, 0, 0.5, 80, -1);  // clockwise from 80 degrees
  {
    Level level;
    level.addTriangle(kFaceA);
    level.prepare(1, 1, 1, 1);
    const Level::Answer a = level.search(sc, 0);
    ASSERT_EQ(a.result, 1);
    EXPECT_EQ(a.kind, 1) << "A's own edge comes earlier in the sweep but is not examined";
    EXPECT_NEAR(a.point.x, 1.0, 1e-12);
    EXPECT_NEAR(a.point.y, 0.5, 1e-12);
    EXPECT_NEAR(a.contact.x, 2.0, 1e-12);
  }
  Level level;
  level.addTriangle(kFaceA);
  level.addTriangle(kEdgeB);
  level.prepare(1, 1, 1, 1);
  const Level::Answer a = level.search(sc, 0);
  ASSERT_EQ(a.result, 1);
  EXPECT_EQ(a.kind, 2) << "B's edge is B's own";
  EXPECT_EQ(a.id, 1);
  // The ball edge solver holds its positions within (pi/32)^3 / 6 r of the contact.
  EXPECT_NEAR(a.point.x, 1.125, 1e-4);
  EXPECT_NEAR(a.point.y, std::sqrt(0.25 - 0.125 * 0.125), 1e-4);
  EXPECT_NEAR(a.contact.x, 2.0, 1e-12);
  EXPECT_NEAR(a.contact.y, 0.0, 1e-12);
}

// A vertical edge ending at (2, 0, 0.2): its top vertex gives positions at -73.1 degrees, the
// edge at -75.5. Swept counter-clockwise from -74 degrees the vertex comes first, but the edge
// candidate of the same triangle skips the vertex tests.
TEST(StepSearchRules, EdgeCandidateSkipsItsVertices) {
  const Tri3D tri{{{2, 0, -5}, {2, 0, 0.2}, {5, 0, -5}}};
  const StepCircle sc = circleFrom(1, 0, 0.5, -74, 1);
  Arc2D circle{};
  circle.cx = 1;
  circle.radius = 0.5;
  Point3D v1{}, v2{};
  ASSERT_EQ(triconBallVertex(tri.v[1], 1, circle, 0, &v1, &v2), 2);
  const double ref = geoPseudoAngle(sc.prevX - 1, sc.prevY, 0, 1);
  const Point3D& lower = v1.y < 0 ? v1 : v2;
  const double vertexAngle = geoPseudoAngle(lower.x - 1, lower.y, ref, 1);

  Level level;
  level.addTriangle(tri);
  level.prepare(1, 1, 1, 1);
  const Level::Answer a = level.search(sc, 0);
  ASSERT_EQ(a.result, 1);
  EXPECT_EQ(a.kind, 2);
  EXPECT_NEAR(a.point.y, -std::sqrt(0.25 - 0.125 * 0.125), 1e-4);
  EXPECT_LT(vertexAngle, geoPseudoAngle(a.point.x - 1, a.point.y, ref, 1))
      << "the vertex position lies earlier in the sweep";
}

// A wall reduced to a point acts as a vertex of radius R plus its allowance; its contact is the
// point; a centre deeper than the step into it ends the search with nothing.
TEST(StepSearchRules, PointWallActsAsVertexOfGrownRadius) {
  Level level;
  level.addWall(Seg2D{3, 0, 3, 0});
  level.wallAllowance(0.5f);
  level.prepare(2, 1, 0, 1);
  const Level::Answer a = level.search(circleFrom(1.1, 0, 0.5, 180, -1), 0);
  ASSERT_EQ(a.result, 1);
  EXPECT_EQ(a.kind, 4);
  EXPECT_EQ(a.id, 0);
  EXPECT_NEAR(std::hypot(a.point.x - 3, a.point.y), 1.5, 1e-12);
  EXPECT_NEAR(std::hypot(a.point.x - 1.1, a.point.y), 0.5, 1e-12);
  EXPECT_GT(a.point.y, 0.0) << "clockwise from behind, the upper crossing comes first";
  EXPECT_EQ(a.contact.x, 3.0);
  EXPECT_EQ(a.contact.y, 0.0);
  EXPECT_EQ(level.search(circleFrom(2.2, 0, 0.5, 180, -1), 0).result, 0);
}

// A triangle's vertex and a point wall at the same place give the same position: the triangle
// wins the tie with its own id, kind and contact.
TEST(StepSearchRules, TriangleWinsATieWithAWall) {
  const Tri3D flat{{{2, 0, 0}, {8, 5, 0}, {8, -5, 0}}};
  const StepCircle sc = circleFrom(1, 0, 0.5, 180, -1);
  Level wallOnly;
  wallOnly.addWall(Seg2D{2, 0, 2, 0});
  wallOnly.prepare(1, 1, 1, 1);
  const Level::Answer w = wallOnly.search(sc, 0);
  ASSERT_EQ(w.result, 1);
  EXPECT_EQ(w.kind, 4);

  Level both;
  both.addTriangle(flat);
  both.addWall(Seg2D{2, 0, 2, 0});
  both.prepare(1, 1, 1, 1);
  const Level::Answer a = both.search(sc, 0);
  ASSERT_EQ(a.result, 1);
  EXPECT_EQ(a.kind, 3);
  EXPECT_EQ(a.id, 0);
  EXPECT_EQ(a.point.x, w.point.x) << "a true tie";
  EXPECT_EQ(a.point.y, w.point.y);
  EXPECT_EQ(a.contact.x, 2.0);
  EXPECT_EQ(a.contact.z, 0.0);
}

// A ball already gouging a vertex ends the search with nothing, even beside a good wall; so does
// a centre deeper than the step into a wall, which leaves an earlier failure in the error record
// (it used to record code 0 over it).
TEST(StepSearchRules, GougedElementsEndTheSearchWithNothing) {
  Level level;
  level.addTriangle(Tri3D{{{1.2, 0, 0}, {1.2, 0.1, -8}, {1.3, -0.1, -8}}});
  level.addWall(Seg2D{0, 3, 4, 3});
  level.prepare(1, 1, 1, 1);
  geoErrReset();
  EXPECT_EQ(level.search(circleFrom(1, 0, 0.5, 180, 1), 0).result, 0);
  EXPECT_EQ(geoErrCode(), kTriconGouge);

  Level walls;
  walls.addWall(Seg2D{1.2, -5, 1.2, 5});
  walls.addWall(Seg2D{-3, -5, -3, 5});
  walls.prepare(3, 1, 0.5, 1);
  geoErrSet(-7, "earlier", 3);
  EXPECT_EQ(walls.search(circleFrom(1, 0, 0.5, 180, 1), 0).result, 0);
  EXPECT_EQ(geoErrCode(), -7);
  EXPECT_STREQ(geoErrRecord()->file, "earlier");
}

// A triangle without a plane (its corners on one line) has no face to search: the torus face
// solver's refusal never reaches the walker, and the line still counts as an edge.
TEST(StepSearchRules, TriangleWithoutPlaneSkipsItsFace) {
  Level level;
  level.addTriangle(Tri3D{{{2.5, -3, -1}, {2.5, 0, 0}, {2.5, 3, 1}}});
  level.prepare(3, 1.5, 0.5, 1);
  geoErrReset();
  const StepCircle sc = circleFrom(1, 0, 0.5, 80, -1);
  const Level::Answer a = level.search(sc, 0);
  EXPECT_EQ(a.result, 1);
  EXPECT_EQ(a.kind, 2);
  EXPECT_NE(geoErrCode(), kTriconNoPlane);
  expectSame(a, level.brute(sc, 0), "line triangle");
}

// The flat end mill meets only the walls: a triangle in its way is not seen.
TEST(StepSearchRules, FlatEndMillSearchesWallsOnly) {
  Level level;
  level.addTriangle(kFaceA);
  level.prepare(2, 1, 0, 1);
  EXPECT_EQ(level.search(circleFrom(1, 0, 0.5, 80, -1), 0).result, 0);

  Level withWall;
  withWall.addTriangle(kFaceA);
  withWall.addWall(Seg2D{2.2, -5, 2.2, 5});
  withWall.prepare(2, 1, 0, 1);
  const Level::Answer a = withWall.search(circleFrom(1, 0, 0.5, 80, -1), 0);
  ASSERT_EQ(a.result, 1);
  EXPECT_EQ(a.kind, 4);
  EXPECT_NEAR(a.point.x, 1.2, 1e-12);
}

TEST(StepSearchRules, BadArgumentsAreRefused) {
  Level level;
  level.addWall(Seg2D{2.2, -5, 2.2, 5});
  level.prepare(2, 1, 0, 1);
  StepCircle sc = circleFrom(1, 0, 0.5, 80, -1);
  Point3D p{}, c{};
  int id = 0, kind = 0;
  EXPECT_EQ(offs3dNextPoint(nullptr, &level.tool, &level.params, nullptr, nullptr, &sc, &p, &c, &id,
                            &kind),
            -20);
  WalkTool bad{1, 0, 7};
  EXPECT_EQ(
      offs3dNextPoint(&level.ctx, &bad, &level.params, nullptr, nullptr, &sc, &p, &c, &id, &kind),
      -20);
  sc.radius = 0;
  EXPECT_EQ(level.search(sc, 0).result, -20);
  EXPECT_STREQ(geoErrRecord()->file, "Offs3d");
}

// ---- preparation ----------------------------------------------------------------------------

TEST(Offs3dPrepare, GridSizeFollowsTheExtentInToolDiameters) {
  struct Row {
    double extent, R;
    int cells;
  } rows[] = {{0, 10, 1},    {19.99, 10, 1}, {20, 10, 2},         {-45, 10, 3}, {579, 10, 29},
              {580, 10, 30}, {1e9, 10, 30},  {1e300, 1e-300, 30}, {NAN, 10, 1}};
  for (const Row& row : rows) {
    EXPECT_EQ(offs3dGridSize(row.extent, row.R), row.cells) << row.extent << " / " << row.R;
  }
  // A level 100 wide and 45 deep with R = 10: 6 columns, 3 rows; walls 30 by 250: 2 by 13.
  Level level;
  level.addTriangle(Tri3D{{{0, 0, 0}, {100, 0, 0}, {0, 45, 1}}});
  level.addWall(Seg2D{-10, 0, 20, 250});
  level.prepare(1, 10, 10, 2);
  EXPECT_EQ(level.params.triGrid->columns, 6);
  EXPECT_EQ(level.params.triGrid->rows, 3);
  EXPECT_EQ(level.params.wallGrid->columns, 2);
  EXPECT_EQ(level.params.wallGrid->rows, 13);
  // Boxes widened by step + R = 12.
  EXPECT_EQ(level.params.triBoxCount, 1);
  EXPECT_EQ(level.params.triBoxes[0].xmin, -12.0);
  EXPECT_EQ(level.params.triBoxes[0].zmax, 13.0);
  EXPECT_EQ(level.params.wallBoxes[0].ymax, 262.0);
}

// Walls are turned to run towards growing x and sorted by their start, their allowance pairs
// moving with them; triangle boxes are sorted by their low x.
TEST(Offs3dPrepare, SortsWallsWithTheirAllowancesAndBoxesByLowX) {
  Level level;
  const Seg2D walls[] = {{5, 0, 1, 1}, {-3, 2, -1, 2}, {9, 9, 4, 4}, {0, 0, 0, 7}};
  for (int i = 0; i < 4; ++i) {
    level.addWall(walls[i]);
    level.wallAllowance(static_cast<float>(i));
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-50, 50);
  for (int i = 0; i < 60; ++i) {
    const Point3D a{u(rng), u(rng), u(rng)};
    level.addTriangle(Tri3D{{a, {a.x + 1, a.y, a.z}, {a.x, a.y + 1, a.z + 1}}});
  }
  level.prepare(1, 2, 2, 0.5);
  const Seg2D* s = level.walls->segments;
  const auto* pairs = static_cast<const PtrValPair*>(level.wallAllowances->items);
  const float expectedValue[] = {1, 3, 0, 2};  // by start x: -3, 0, 1, 4
  for (int i = 0; i < 4; ++i) {
    EXPECT_LE(s[i].x1, s[i].x2);
    if (i > 0) {
      EXPECT_LE(s[i - 1].x1, s[i].x1);
    }
    EXPECT_EQ(pairs[i].value, expectedValue[i]) << i;
  }
  EXPECT_EQ(s[2].x1, 1.0);
  EXPECT_EQ(s[2].y2, 0.0);
  std::vector<int> seen;
  for (int i = 0; i < level.params.triBoxCount; ++i) {
    const TriBox& b = level.params.triBoxes[i];
    if (i > 0) {
      EXPECT_LE(level.params.triBoxes[i - 1].xmin, b.xmin);
    }
    EXPECT_EQ(b.xmin, level.tris->items[b.index].v[0].x - 2.5);
    seen.push_back(b.index);
  }
  std::sort(seen.begin(), seen.end());
  for (int i = 0; i < 60; ++i) EXPECT_EQ(seen[i], i);
}

// Every allocation of the preparation fails in turn: -1, nothing held, the pointers cleared; a
// release afterwards is harmless; the search on such parameters finds nothing.
TEST(Offs3dPrepare, EveryFailingAllocationLeavesNothing) {
  Level level;
  for (int i = 0; i < 30; ++i) {
    level.addTriangle(Tri3D{{{i * 3.0, 0, 0}, {i * 3.0 + 2, 1, 0}, {i * 3.0, 2, 1}}});
    level.addWall(Seg2D{i * 3.0, 5, i * 3.0 + 2, 9});
  }
  level.ctx.triangles = level.tris;
  level.ctx.walls = level.walls;
  level.tool = WalkTool{1, 1, 1};
  level.params.step = 1;
  // Shrinking a cell's array may fail without harm, so a run can succeed before the last
  // allocation has been failed: every n up to well beyond the count is tried.
  int failures = 0;
  for (long n = 1; n <= 600; ++n) {
    memTestFailAt(n);
    const int r = offs3dPrepare(&level.ctx, &level.tool, &level.params);
    memTestFailAt(0);
    if (r == 1) {
      EXPECT_NE(level.params.triGrid, nullptr);
      EXPECT_NE(level.params.wallGrid, nullptr);
      EXPECT_EQ(offs3dRelease(&level.ctx, &level.tool, &level.params), 1);
      continue;
    }
    ++failures;
    EXPECT_EQ(r, -1) << n;
    EXPECT_EQ(geoErrCode(), -1);
    EXPECT_EQ(level.params.triGrid, nullptr) << n;
    EXPECT_EQ(level.params.wallGrid, nullptr) << n;
    EXPECT_EQ(level.params.triBoxes, nullptr) << n;
    EXPECT_EQ(level.params.wallBoxes, nullptr) << n;
    EXPECT_EQ(level.params.triBoxCount, 0);
    EXPECT_EQ(level.params.wallBoxCount, 0);
    EXPECT_EQ(offs3dRelease(&level.ctx, &level.tool, &level.params), 1);
  }
  EXPECT_GT(failures, 80);
  ASSERT_EQ(offs3dPrepare(&level.ctx, &level.tool, &level.params), 1);
  EXPECT_EQ(offs3dRelease(&level.ctx, &level.tool, &level.params), 1);
  EXPECT_EQ(level.params.triGrid, nullptr);
  EXPECT_EQ(offs3dRelease(&level.ctx, &level.tool, &level.params), 1) << "twice is harmless";
  EXPECT_EQ(offs3dRelease(nullptr, nullptr, nullptr), 1);
}

TEST(Offs3dPrepare, RefusesBadRecords) {
  Level level;
  level.addWall(Seg2D{0, 0, 1, 1});
  level.addWall(Seg2D{2, 0, 3, 1});
  level.wallAllowance(0.5f);  // one pair for two walls
  level.ctx.walls = level.walls;
  level.ctx.wallAllowances = level.wallAllowances;
  level.params.mode = 1;
  level.tool = WalkTool{1, 1, 1};
  EXPECT_EQ(offs3dPrepare(&level.ctx, &level.tool, &level.params), -20);
  EXPECT_EQ(level.params.wallBoxes, nullptr);
  level.params.mode = 0;  // index mode: no pairs move
  EXPECT_EQ(offs3dPrepare(&level.ctx, &level.tool, &level.params), 1);
  WalkTool zero{0, 0, 1};
  EXPECT_EQ(offs3dPrepare(&level.ctx, &zero, &level.params), -20);
  EXPECT_EQ(level.params.wallBoxes, nullptr) << "the earlier preparation was released";
  level.params.step = NAN;
  EXPECT_EQ(offs3dPrepare(&level.ctx, &level.tool, &level.params), -20);
  EXPECT_EQ(offs3dPrepare(nullptr, &level.tool, &level.params), -20);
}

}  // namespace
