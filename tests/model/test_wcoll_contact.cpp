// Tests of the one-Z contact searches: the first contact of the ball, the torus and the flat end
// mill against brute force (distances stepped along the move), the closed cases of each element
// test, the region and wall handling, allowances and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "model/surface_model.h"
#include "model/wcoll_contact.h"

namespace {

// ---- independent geometry of the oracles ------------------------------------------------------

Point3D sub(const Point3D& a, const Point3D& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3D add(const Point3D& a, const Point3D& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point3D mul(const Point3D& a, double f) { return {a.x * f, a.y * f, a.z * f}; }
double dot(const Point3D& a, const Point3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(const Point3D& a) { return std::sqrt(dot(a, a)); }

// Closest point of a triangle to p by the Voronoi regions of its corners, edges and face, with
// the kind of the region: 3 corner, 2 edge, 1 face.
struct Closest {
  Point3D point;
  int kind;
};
Closest closestOnTriangle(const Point3D& p, const Tri3D& t) {
  const Point3D &a = t.v[0], &b = t.v[1], &c = t.v[2];
  const Point3D ab = sub(b, a), ac = sub(c, a), ap = sub(p, a);
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return {a, 3};
  const Point3D bp = sub(p, b);
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return {b, 3};
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return {add(a, mul(ab, d1 / (d1 - d3))), 2};
  const Point3D cp = sub(p, c);
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return {c, 3};
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return {add(a, mul(ac, d2 / (d2 - d6))), 2};
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
    return {add(b, mul(sub(c, b), (d4 - d3) / ((d4 - d3) + (d5 - d6)))), 2};
  }
  const double denom = 1.0 / (va + vb + vc);
  return {add(a, add(mul(ab, vb * denom), mul(ac, vc * denom))), 1};
}

double distToTriangle(const Point3D& p, const Tri3D& t) {
  return norm(sub(p, closestOnTriangle(p, t).point));
}

double planDistToSegment(double px, double py, double ax, double ay, double bx, double by,
                         int* kind = nullptr) {
  const double ux = bx - ax, uy = by - ay, uu = ux * ux + uy * uy;
  double s = uu > 0 ? ((px - ax) * ux + (py - ay) * uy) / uu : 0.0;
  if (kind != nullptr) *kind = (s <= 0 || s >= 1) ? 1 : 2;
  s = std::clamp(s, 0.0, 1.0);
  return std::hypot(px - ax - s * ux, py - ay - s * uy);
}

// Plan distance from (px, py) to the triangle's shadow: 0 inside, else to the nearest side.
double planDistToTriangle(double px, double py, const Tri3D& t) {
  double sign = 0;
  bool inside = true;
  for (int k = 0; k < 3; ++k) {
    const Point3D &a = t.v[k], &b = t.v[(k + 1) % 3];
    const double cr = (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
    if (cr != 0) {
      if (sign == 0) sign = cr;
      if (cr * sign < 0) inside = false;
    }
  }
  if (inside && sign != 0) return 0;
  double d = 1e300;
  for (int k = 0; k < 3; ++k) {
    const Point3D &a = t.v[k], &b = t.v[(k + 1) % 3];
    d = std::min(d, planDistToSegment(px, py, a.x, a.y, b.x, b.y));
  }
  return d;
}

// Distance from the tube-centre circle (centre c, radius rc, horizontal) to the triangle:
// the smallest over 720 points of the circle; with refine, the best sample is then narrowed
// down by golden-section search. The angle of the best point in *angle.
double circleDistToTriangle(const Point3D& c, double rc, const Tri3D& t, bool refine,
                            double* angle = nullptr) {
  constexpr int kSamples = 720;
  auto at = [&](double th) {
    return distToTriangle(Point3D{c.x + rc * std::cos(th), c.y + rc * std::sin(th), c.z}, t);
  };
  double best = 1e300, bestTh = 0;
  for (int j = 0; j < kSamples; ++j) {
    const double th = 2 * std::numbers::pi * j / kSamples;
    const double d = at(th);
    if (d < best) {
      best = d;
      bestTh = th;
    }
  }
  if (refine) {
    const double g = (std::sqrt(5.0) - 1) / 2, step = 2 * std::numbers::pi / kSamples;
    double lo = bestTh - step, hi = bestTh + step;
    for (int it = 0; it < 80; ++it) {
      const double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
      if (at(m1) < at(m2)) {
        hi = m2;
      } else {
        lo = m1;
      }
    }
    bestTh = (lo + hi) / 2;
    best = std::min(best, at(bestTh));
  }
  if (angle != nullptr) *angle = bestTh;
  return best;
}

// ---- fixtures ---------------------------------------------------------------------------------

struct ListDeleter {
  void operator()(Tri3List* l) const { lstBox3Free(l); }
};
using TriListPtr = std::unique_ptr<Tri3List, ListDeleter>;
struct KontDeleter {
  void operator()(Kont2D* k) const { kontFree(k); }
};
using KontPtr = std::unique_ptr<Kont2D, KontDeleter>;
struct RecDeleter {
  void operator()(RecList* l) const { lstRecFree(l); }
};
using RecPtr = std::unique_ptr<RecList, RecDeleter>;

TriListPtr triList(const std::vector<Tri3D>& tris) {
  TriListPtr list(lstTri3New(static_cast<int>(tris.size()) + 1));
  for (const Tri3D& t : tris) lstTri3Append(list.get(), t);
  return list;
}

// A closed polygon as a contour (segments from each point to the next).
Kont2D* polygon(const std::vector<Point2D>& pts) {
  Kont2D* k = kontNew(nullptr, static_cast<int>(pts.size()));
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const Point2D &a = pts[i], &b = pts[(i + 1) % pts.size()];
    const Seg2D s{a.x, a.y, b.x, b.y};
    kontAppendSeg(k, &s);
  }
  k->closed = 1;
  return k;
}

// The square [lo, hi]^2 counter-clockwise, with an optional clockwise square island.
KontPtr squareRegion(double lo, double hi, double islandLo = 0, double islandHi = 0) {
  Kont2D* outer = polygon({{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}});
  if (islandHi > islandLo) {
    Kont2D* island = polygon(
        {{islandLo, islandLo}, {islandLo, islandHi}, {islandHi, islandHi}, {islandHi, islandLo}});
    island->depth = 1;
    island->prev = outer;
    outer->child = island;
  }
  return KontPtr(outer);
}

KontPtr wallList(const std::vector<Seg2D>& segs) {
  Kont2D* k = kontNew(nullptr, static_cast<int>(segs.size()));
  for (const Seg2D& s : segs) kontAppendSeg(k, &s);
  return KontPtr(k);
}

WalkTool toolOf(std::int32_t type, double r, double c) { return WalkTool{r, c, type}; }

CollCtx ctxOf(Tri3List* triangles, Kont2D* walls = nullptr, Kont2D* region = nullptr) {
  CollCtx ctx{};
  ctx.triangles = triangles;
  ctx.walls = walls;
  ctx.region = region;
  return ctx;
}

class WcollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wcollResetState();
    geoErrReset();
  }
  void TearDown() override { wcollResetState(); }
};

// A random triangle near the band the moves cross: large or small, inclined, nearly or exactly
// level, nearly vertical, or a steep face across the moves.
Tri3D randomTriangle(std::mt19937_64& rng, int variant) {
  std::uniform_real_distribution<double> cx(-15, 35), cy(-18, 18), cz(-14, 14), u(-1, 1);
  const double sizes[] = {40.0, 12.0, 4.0};
  const double size = sizes[variant % 3];
  const Point3D a{cx(rng), cy(rng), cz(rng)};
  Point3D b{a.x + size * u(rng), a.y + size * u(rng), a.z + size * u(rng)};
  Point3D c{a.x + size * u(rng), a.y + size * u(rng), a.z + size * u(rng)};
  switch (variant % 6) {
    case 2: {  // nearly level; every edge rises at least 1e-4 per unit, above the 1e-5 under
               // which the torus edge test takes an edge as level
      const double rise = 0.01 * (0.75 + 0.25 * u(rng));
      b.z = a.z + rise;
      c.z = a.z - rise;
      break;
    }
    case 3: {  // nearly vertical: the third corner's plan position close to the first edge
      const double s = 0.5 + 0.4 * u(rng);
      c.x = a.x + s * (b.x - a.x) + 1e-3 * u(rng);
      c.y = a.y + s * (b.y - a.y) + 1e-3 * u(rng);
      break;
    }
    case 4:  // exactly level
      b.z = a.z;
      c.z = a.z;
      break;
    case 5:  // a steep face across the moves
      b = Point3D{a.x + 6 * u(rng), a.y + 25, a.z + 25 * u(rng)};
      c = Point3D{a.x + 6 * u(rng), a.y - 25, a.z + 25 * u(rng)};
      break;
    default: break;
  }
  return Tri3D{{a, b, c}};
}

struct Scene {
  std::vector<Tri3D> tris;
  Seg2D move;
};

// Scenes whose move starts with the tool's footprint (radius reach) clear of every triangle.
std::vector<Scene> randomScenes(std::uint64_t seed, int count, int trisPerScene, double reach) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> y(-8, 8);
  std::vector<Scene> scenes;
  int variant = 0;
  while (static_cast<int>(scenes.size()) < count) {
    Scene s;
    s.move = Seg2D{-40, y(rng), 40, y(rng)};
    bool clear = true;
    for (int i = 0; i < trisPerScene; ++i) {
      s.tris.push_back(randomTriangle(rng, variant++));
      if (planDistToTriangle(s.move.x1, s.move.y1, s.tris.back()) <= reach + 0.1) clear = false;
    }
    if (clear) scenes.push_back(s);
  }
  return scenes;
}

// Accepts a kind that differs from the oracle's only where the closest point lies on the border
// of two regions (a contact exactly at a corner or on an edge).
bool kindsAgree(int mine, const Closest& oracle, const Tri3D& t) {
  if (mine == oracle.kind) return true;
  double nearCorner = 1e300, nearEdge = 1e300;
  for (int k = 0; k < 3; ++k) {
    nearCorner = std::min(nearCorner, norm(sub(oracle.point, t.v[k])));
    const Point3D &a = t.v[k], &b = t.v[(k + 1) % 3];
    const Point3D ab = sub(b, a);
    const double s = std::clamp(dot(sub(oracle.point, a), ab) / dot(ab, ab), 0.0, 1.0);
    nearEdge = std::min(nearEdge, norm(sub(oracle.point, add(a, mul(ab, s)))));
  }
  const int lo = std::min(mine, oracle.kind), hi = std::max(mine, oracle.kind);
  if (lo == 2 && hi == 3) return nearCorner < 1e-6;
  if (lo == 1 && hi == 2) return nearEdge < 1e-6;
  return false;
}

// ---- brute-force oracles ----------------------------------------------------------------------

// The tool centre at parameter t of the move, at height z.
Point3D centreAt(const Seg2D& move, double t, double z) {
  return Point3D{move.x1 + t * (move.x2 - move.x1), move.y1 + t * (move.y2 - move.y1), z};
}

// Runs the search over the scene's triangles; *tHit becomes the move parameter of the contact,
// 1 without one.
int contactOf(const Scene& sc, const WalkTool& tool, double z, WcollContact* out, double* tHit) {
  TriListPtr list = triList(sc.tris);
  CollCtx ctx{};
  ctx.triangles = list.get();
  const int r = wcollToolContact(&ctx, &tool, z, sc.move, out);
  const double len = std::hypot(sc.move.x2 - sc.move.x1, sc.move.y2 - sc.move.y1);
  const Point3D& p = out->segment.end;
  *tHit = r == 1 ? std::hypot(p.x - sc.move.x1, p.y - sc.move.y1) / len : 1.0;
  return r;
}

// Ball of radius 10 at z = 0: the contact lies at distance R from its triangle with the oracle's
// kind and touching point, and no step of the move before it comes closer than R to any triangle
// (stepped at 1/4000 of the move). Without a contact, no step before the end comes closer.
TEST_F(WcollTest, BallFirstContactMatchesBruteForce) {
  const double R = 10, z = 0;
  const WalkTool tool = toolOf(kCutterBall, R, R);
  int kinds[4] = {};
  for (int trisPerScene : {1, 6}) {
    const std::vector<Scene> scenes = randomScenes(trisPerScene * 101, 150, trisPerScene, R);
    for (std::size_t n = 0; n < scenes.size(); ++n) {
      const Scene& sc = scenes[n];
      WcollContact out{};
      double tHit = 1.0;
      const int r = contactOf(sc, tool, z, &out, &tHit);
      ASSERT_TRUE(r == 0 || r == 1) << n;
      if (r == 1) {
        const Point3D p = out.segment.end;
        const Tri3D& t = sc.tris[out.element];
        const Closest cl = closestOnTriangle(p, t);
        EXPECT_NEAR(norm(sub(p, cl.point)), R, 1e-5) << n;
        EXPECT_TRUE(kindsAgree(out.kind, cl, t)) << n << ": " << out.kind << " for " << cl.kind;
        EXPECT_NEAR(norm(sub(out.touch, cl.point)), 0.0, 1e-4) << n;
        EXPECT_EQ(p.z, z);
        ++kinds[out.kind];
      }
      constexpr int kSteps = 4000;
      for (int k = 0; k <= kSteps && k < tHit * kSteps; ++k) {
        const Point3D c = centreAt(sc.move, static_cast<double>(k) / kSteps, z);
        for (const Tri3D& tri : sc.tris) {
          ASSERT_GT(distToTriangle(c, tri), R - 1e-7)
              << "scene " << n << " step " << k << " hit " << tHit << " result " << r;
        }
      }
    }
  }
  EXPECT_GT(kinds[1], 10);
  EXPECT_GT(kinds[2], 10);
  EXPECT_GT(kinds[3], 10);
}

// Torus R = 10, c = 3 (tube centres at z = 0): the contact lies at distance c from the
// tube-centre circle with the oracle's kind and touching point; no earlier step (1/200 of the
// move, and 1/4000 over the last two coarse steps before the contact) brings the sampled circle
// closer than c.
TEST_F(WcollTest, TorusFirstContactMatchesBruteForce) {
  const double R = 10, c = 3, rc = R - c, z = 0;
  const WalkTool tool = toolOf(kCutterTorus, R, c);
  int kinds[4] = {};
  for (int trisPerScene : {1, 4}) {
    const std::vector<Scene> scenes = randomScenes(trisPerScene * 977, 90, trisPerScene, R);
    for (std::size_t n = 0; n < scenes.size(); ++n) {
      const Scene& sc = scenes[n];
      WcollContact out{};
      double tHit = 1.0;
      const int r = contactOf(sc, tool, z, &out, &tHit);
      ASSERT_TRUE(r == 0 || r == 1) << n;
      if (r == 1) {
        const Point3D p = out.segment.end;
        const Tri3D& t = sc.tris[out.element];
        double th = 0;
        EXPECT_NEAR(circleDistToTriangle(p, rc, t, true, &th), c, 1e-5) << n;
        const Point3D q{p.x + rc * std::cos(th), p.y + rc * std::sin(th), z};
        const Closest cl = closestOnTriangle(q, t);
        EXPECT_TRUE(kindsAgree(out.kind, cl, t)) << n << ": " << out.kind << " for " << cl.kind;
        EXPECT_NEAR(norm(sub(out.touch, cl.point)), 0.0, 1e-3) << n;
        ++kinds[out.kind];
      }
      auto clearAt = [&](double t) {
        const Point3D ctr = centreAt(sc.move, t, z);
        for (const Tri3D& tri : sc.tris) {
          // Every circle point lies within rc of the centre: far triangles need no sampling.
          if (distToTriangle(ctr, tri) - rc > c + 1e-3) continue;
          if (circleDistToTriangle(ctr, rc, tri, false) <= c - 1e-7) return false;
        }
        return true;
      };
      for (int k = 0; k <= 200 && k < tHit * 200; ++k) {
        ASSERT_TRUE(clearAt(k / 200.0)) << "scene " << n << " coarse step " << k << " hit " << tHit;
      }
      for (int k = 0; k < 40; ++k) {
        const double t = tHit - 2.0 / 200 + k / 4000.0;
        if (t >= 0 && t < tHit) {
          ASSERT_TRUE(clearAt(t)) << "scene " << n << " fine " << t;
        }
      }
    }
  }
  EXPECT_GT(kinds[1], 5);
  EXPECT_GT(kinds[2], 5);
  EXPECT_GT(kinds[3], 5);
}

// Flat end mill R = 10 against random wall segments: the contact lies at plan distance R from
// its wall (kind 1 at an end point, 2 on the side), and no step before it comes closer.
TEST_F(WcollTest, FlatEndMillFirstContactMatchesBruteForce) {
  const double R = 10, z = 4;
  const WalkTool tool = toolOf(kCutterFlat, R, 0);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> px(-15, 35), py(-20, 20), off(-12, 12), y(-8, 8);
  int kinds[3] = {};
  int scenes = 0;
  while (scenes < 300) {
    const Seg2D move{-40, y(rng), 40, y(rng)};
    std::vector<Seg2D> segs;
    bool clear = true;
    for (int i = 0; i < 1 + scenes % 5; ++i) {
      const double x = px(rng), yy = py(rng);
      segs.push_back(Seg2D{x, yy, x + off(rng), yy + off(rng)});
      if (planDistToSegment(move.x1, move.y1, x, yy, segs.back().x2, segs.back().y2) <= R + 0.1) {
        clear = false;
      }
    }
    if (!clear) continue;
    ++scenes;
    KontPtr walls = wallList(segs);
    CollCtx ctx{};
    ctx.walls = walls.get();
    WcollContact out{};
    const int r = wcollToolContact(&ctx, &tool, z, move, &out);
    ASSERT_TRUE(r == 0 || r == 1) << scenes;
    const double len = std::hypot(move.x2 - move.x1, move.y2 - move.y1);
    double tHit = 1.0;
    if (r == 1) {
      const Point3D p = out.segment.end;
      EXPECT_EQ(p.z, z);
      tHit = std::hypot(p.x - move.x1, p.y - move.y1) / len;
      const Seg2D& w = segs[out.element];
      int kind = 0;
      EXPECT_NEAR(planDistToSegment(p.x, p.y, w.x1, w.y1, w.x2, w.y2, &kind), R, 1e-6) << scenes;
      // A side contact may touch the wall's line up to 0.001 beyond an end (the on-segment
      // tolerance); it then counts as that end's contact.
      const double toEnd = std::min(std::hypot(out.touch.x - w.x1, out.touch.y - w.y1),
                                    std::hypot(out.touch.x - w.x2, out.touch.y - w.y2));
      EXPECT_TRUE(out.kind == kind || toEnd < 1e-3) << scenes;
      EXPECT_NEAR(planDistToSegment(out.touch.x, out.touch.y, w.x1, w.y1, w.x2, w.y2), 0, 1e-3);
      ++kinds[out.kind];
    }
    constexpr int kSteps = 4000;
    for (int k = 0; k <= kSteps && k < tHit * kSteps; ++k) {
      const double t = static_cast<double>(k) / kSteps;
      const double cx = move.x1 + t * (move.x2 - move.x1), cy = move.y1 + t * (move.y2 - move.y1);
      for (const Seg2D& w : segs) {
        ASSERT_GT(planDistToSegment(cx, cy, w.x1, w.y1, w.x2, w.y2), R - 1e-7)
            << "scene " << scenes << " step " << k << " hit " << tHit;
      }
    }
  }
  EXPECT_GT(kinds[1], 10);
  EXPECT_GT(kinds[2], 10);
}

// ---- closed cases -----------------------------------------------------------------------------

TEST_F(WcollTest, ClosedCases) {
  const Tri3D vertexAhead{{{20, 0, 5}, {30, 5, 5}, {30, -5, 5}}};
  const Tri3D wallFace{{{20, -50, -50}, {20, 50, -50}, {20, 0, 50}}};
  TriListPtr ahead = triList({vertexAhead});
  TriListPtr face = triList({wallFace});
  TriListPtr none = triList({});
  KontPtr square = squareRegion(0, 100);
  KontPtr farSquare = squareRegion(50, 150);
  KontPtr withIsland = squareRegion(0, 100, 40, 60);
  KontPtr parallelWall = wallList({{20, 9.99, 40, 9.99}});
  struct Case {
    const char* name;
    CollCtx ctx;
    WalkTool tool;
    double z;
    Seg2D move;
    int result, kind, element;
    double x, y;  // centre position at the contact
  };
  const double sideReach = 20 - std::sqrt(100 - 9.99 * 9.99);
  const Case cases[] = {
      {"vertex ahead at centre height",
       ctxOf(ahead.get()),
       toolOf(kCutterBall, 10, 10),
       5,
       {0, 0, 40, 0},
       1,
       kWcollKindVertex,
       0,
       10,
       0},
      {"move ends short of a face",
       ctxOf(face.get()),
       toolOf(kCutterBall, 10, 10),
       0,
       {0, 0, 10 - 1e-3, 0},
       0,
       -1,
       -1,
       10 - 1e-3,
       0},
      {"move reaches the face",
       ctxOf(face.get()),
       toolOf(kCutterBall, 10, 10),
       0,
       {0, 0, 10 + 1e-3, 0},
       1,
       kWcollKindFace,
       0,
       10,
       0},
      {"start on the region contour",
       ctxOf(none.get(), nullptr, square.get()),
       toolOf(kCutterBall, 10, 10),
       0,
       {0, 50, 150, 50},
       2,
       kWcollKindCrossing,
       1,
       100,
       50},
      {"island contour ahead",
       ctxOf(none.get(), nullptr, withIsland.get()),
       toolOf(kCutterTorus, 10, 2),
       0,
       {20, 50, 80, 50},
       2,
       kWcollKindCrossing,
       0,
       40,
       50},
      {"flat end mill parallel to a wall",
       ctxOf(nullptr, parallelWall.get()),
       toolOf(kCutterFlat, 10, 0),
       3,
       {0, 0, 50, 0},
       1,
       kWcollKindFace,
       0,
       sideReach,
       0},
      {"ball meets a wall",
       ctxOf(none.get(), parallelWall.get()),
       toolOf(kCutterBall, 10, 10),
       0,
       {30, -30, 30, 30},
       1,
       kWcollKindWall,
       0,
       30,
       9.99 - 10},
      {"torus reaches the face",
       ctxOf(face.get()),
       toolOf(kCutterTorus, 10, 2),
       0,
       {0, 0, 15, 0},
       1,
       kWcollKindFace,
       0,
       10,
       0},
      {"contact outside the region",
       ctxOf(face.get(), nullptr, farSquare.get()),
       toolOf(kCutterBall, 10, 10),
       0,
       {-30, 0, 15, 0},
       2,
       kWcollKindFace,
       0,
       10,
       0},
      {"tool kind 0", ctxOf(face.get()), toolOf(0, 10, 10), 0, {0, 0, 40, 0}, -20, -1, -1, 0, 0},
  };
  for (const Case& c : cases) {
    WcollContact out{};
    out.kind = -1;
    out.element = -1;
    const int r = wcollToolContact(&c.ctx, &c.tool, c.z, c.move, &out);
    EXPECT_EQ(r, c.result) << c.name;
    if (r < 0) continue;
    EXPECT_EQ(out.kind, c.kind) << c.name;
    EXPECT_EQ(out.element, c.element) << c.name;
    EXPECT_EQ(out.segment.start.x, c.move.x1) << c.name;
    EXPECT_EQ(out.segment.start.z, c.z) << c.name;
    if (r == 0) {
      EXPECT_EQ(out.segment.end.x, c.move.x2) << c.name;
      continue;
    }
    EXPECT_NEAR(out.segment.end.x, c.x, 1e-5) << c.name;
    EXPECT_NEAR(out.segment.end.y, c.y, 1e-5) << c.name;
    EXPECT_EQ(out.segment.end.z, c.z) << c.name;
  }
  EXPECT_EQ(wcollToolContact(nullptr, &cases[0].tool, 0, cases[0].move, nullptr), -20);
}

// The ball rests on a vertex exactly r below its centre: the contact is the vertex's plan
// position, found by the element test and by the search.
TEST_F(WcollTest, VertexExactlyRadiusBelow) {
  const Tri3D t{{{20, 0, -5}, {30, 5, -20}, {30, -5, -20}}};
  const Seg2D move{0, 0, 40, 0};
  Point2D p{};
  ASSERT_EQ(wcollBallVertex(t.v[0], 10, move, 5, &p), 1);
  EXPECT_EQ(p.x, 20);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(wcollBallVertex(t.v[0], 10, Seg2D{0, 3, 40, 3}, 5, &p), 1);  // off the move: the
  EXPECT_EQ(p.y, 0);                                                     // search rejects it
  TriListPtr list = triList({t});
  Seg3D seg{};
  Point3D touch{};
  int element = -1, kind = -1;
  ASSERT_EQ(
      wcollContactBall(list.get(), nullptr, nullptr, 10, move, 5, &seg, &touch, &element, &kind),
      1);
  EXPECT_EQ(kind, kWcollKindVertex);
  EXPECT_EQ(seg.end.x, 20);
  EXPECT_EQ(touch.z, -5);
  EXPECT_EQ(wcollBallVertex(t.v[0], 9.9, move, 5, &p), 0);  // out of reach in height
}

TEST_F(WcollTest, ElementTestsRefuseDegenerateInput) {
  const Seg2D move{0, 0, 40, 0};
  Point2D p{};
  const Point3D a{20, 0, 0};
  EXPECT_EQ(wcollBallEdge(a, Point3D{20, 0, 0.0005}, 10, move, 0, &p), -1);
  EXPECT_EQ(wcollTorusEdge(a, a, 7, 3, move, 0, &p), -10);
  EXPECT_EQ(wcollBallFace(Tri3D{{a, a, a}}, 10, move, 0, &p), 0);
  // A horizontal edge parallel to the move: no root.
  EXPECT_EQ(wcollBallEdge(Point3D{0, 5, 0}, Point3D{40, 5, 0}, 10, move, 0, &p), 0);
  // Torus face along the plane's level lines (the plane contains the y direction): none; across
  // them: the tube circle reaches the moved trace.
  const Tri3D slope{{{0, -50, 0}, {0, 50, 0}, {10, 0, 10}}};
  EXPECT_EQ(wcollTorusFace(slope, 7, 3, Seg2D{-20, -30, -20, 30}, 0, &p), 0);
  ASSERT_EQ(wcollTorusFace(slope, 7, 3, Seg2D{-20, 0, 20, 0}, 0, &p), 1);
  // The plane z = x moved by 3 toward the start (x - z = -3 sqrt 2 at the start side); its trace
  // at z = 0 is x = -3 sqrt 2, moved by 7 toward the start.
  EXPECT_NEAR(p.x, -3 * std::sqrt(2.0) - 7, 1e-12);
}

// A null triangle list skipped the region and the walls as well, so a centre could leave the
// region unseen.
TEST_F(WcollTest, WithoutTrianglesTheRegionIsStillSeen) {
  KontPtr square = squareRegion(0, 100);
  CollCtx ctx{};
  ctx.region = square.get();
  WcollContact out{};
  const Seg2D move{50, 50, 150, 50};
  const WalkTool ball = toolOf(kCutterBall, 10, 10);
  EXPECT_EQ(wcollToolContact(&ctx, &ball, 0, move, &out), 2);
  EXPECT_NEAR(out.segment.end.x, 100, 1e-12);
  EXPECT_EQ(out.kind, kWcollKindCrossing);
  const WalkTool torus = toolOf(kCutterTorus, 10, 2);
  EXPECT_EQ(wcollToolContact(&ctx, &torus, 0, move, &out), 2);
  // The flat end mill without walls likewise.
  const WalkTool flat = toolOf(kCutterFlat, 10, 0);
  EXPECT_EQ(wcollToolContact(&ctx, &flat, 0, move, &out), 2);
  EXPECT_NEAR(out.segment.end.x, 100, 1e-12);
  // And the walls of a ball search without triangles.
  KontPtr wall = wallList({{80, 0, 80, 100}});
  ctx.walls = wall.get();
  EXPECT_EQ(wcollToolContact(&ctx, &ball, 0, move, &out), 1);
  EXPECT_EQ(out.kind, kWcollKindWall);
  EXPECT_NEAR(out.segment.end.x, 70, 1e-5);
}

// An allowance of +0.5 on one triangle moves its head-on face contact exactly 0.5 earlier; the
// other triangles and the walls keep the base radius, and a table shorter than the list gives
// the triangles beyond it none.
TEST_F(WcollTest, AllowancesGrowTheRadiusPerElement) {
  const Tri3D far{{{200, -50, -50}, {200, 50, -50}, {200, 0, 50}}};
  const Tri3D nearFace{{{20, -50, -50}, {20, 50, -50}, {20, 0, 50}}};
  TriListPtr list = triList({far, nearFace});
  CollCtx ctx{};
  ctx.triangles = list.get();
  const WalkTool ball = toolOf(kCutterBall, 10, 10);
  const WalkTool torus = toolOf(kCutterTorus, 10, 3);
  const Seg2D move{0, 0, 40, 0};
  for (const WalkTool* tool : {&ball, &torus}) {
    WcollContact base{}, grown{};
    ASSERT_EQ(wcollToolContact(&ctx, tool, 0, move, &base), 1);
    RecPtr table(lstPairNew(2));
    lstPairAppend(table.get(), PtrValPair{&list->items[0], 0.0f});
    lstPairAppend(table.get(), PtrValPair{&list->items[1], 0.5f});
    EXPECT_EQ(wcollSetTriAllowances(table.get()), 1);
    EXPECT_EQ(wcollGetTriAllowances(), table.get());
    ASSERT_EQ(wcollToolContact(&ctx, tool, 0, move, &grown), 1);
    EXPECT_EQ(grown.kind, kWcollKindFace);
    EXPECT_EQ(grown.element, 1);
    EXPECT_NEAR(base.segment.end.x - grown.segment.end.x, 0.5, 1e-12);
    table->count = 1;  // the face lies beyond the table
    ASSERT_EQ(wcollToolContact(&ctx, tool, 0, move, &grown), 1);
    EXPECT_EQ(grown.segment.end.x, base.segment.end.x);
    wcollSetTriAllowances(nullptr);
  }
  // Walls: the same for the wall table, with the flat end mill.
  KontPtr walls = wallList({{20, -50, 20, 50}, {25, -50, 25, 50}});
  ctx = CollCtx{};
  ctx.walls = walls.get();
  const WalkTool flat = toolOf(kCutterFlat, 10, 0);
  RecPtr table(lstPairNew(2));
  lstPairAppend(table.get(), PtrValPair{nullptr, 0.5f});
  lstPairAppend(table.get(), PtrValPair{nullptr, 0.0f});
  EXPECT_EQ(wcollSetSegAllowances(table.get()), 1);
  EXPECT_EQ(wcollGetSegAllowances(), table.get());
  WcollContact out{};
  ASSERT_EQ(wcollToolContact(&ctx, &flat, 0, move, &out), 1);
  EXPECT_NEAR(out.segment.end.x, 9.5, 1e-12);
  EXPECT_EQ(out.kind, kWcollKindEdge);
  wcollResetState();  // the start of the next run
  EXPECT_EQ(wcollGetSegAllowances(), nullptr);
  ASSERT_EQ(wcollToolContact(&ctx, &flat, 0, move, &out), 1);
  EXPECT_NEAR(out.segment.end.x, 10, 1e-12);
}

}  // namespace
