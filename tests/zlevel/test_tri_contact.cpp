// Tests of the ball and torus contact solvers of the walker's step circle: every position lies on
// the step circle at the contact distance computed here independently (closed forms for planes,
// points and lines, fine sampling for the torus against an edge); sampling the contact function
// densely finds no crossing that a solver missed; and the table of tangent, gouge and root cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/plane_geo.h"
#include "zlevel/tri_contact.h"

namespace {

constexpr double kPi = std::numbers::pi;

// ---- independent geometry ---------------------------------------------------------------------

struct V3 {
  double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(double f, V3 a) { return {f * a.x, f * a.y, f * a.z}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(V3 a) { return std::sqrt(dot(a, a)); }
V3 unit(V3 a) { return (1.0 / norm(a)) * a; }
V3 v3(const Point3D& p) { return {p.x, p.y, p.z}; }
Point3D p3(V3 a) { return {a.x, a.y, a.z}; }

// Any unit vector perpendicular to n.
V3 perpendicular(V3 n) {
  const V3 helper = std::fabs(n.x) < 0.6 ? V3{1, 0, 0} : V3{0, 1, 0};
  return unit(cross(n, helper));
}

double distToLine(V3 p, V3 a, V3 dir) { return norm(cross(p - a, unit(dir))); }

// Distance from the line (a, dir) to the horizontal circle of radius rho about c: coarse samples,
// then a golden-section search about the best one.
double lineToCircle(V3 a, V3 dir, V3 c, double rho) {
  const V3 e = unit(dir);
  auto d = [&](double phi) {
    return norm(cross(V3{c.x + rho * std::cos(phi), c.y + rho * std::sin(phi), c.z} - a, e));
  };
  constexpr int kCoarse = 64;
  int best = 0;
  double bestD = d(0);
  for (int i = 1; i < kCoarse; ++i) {
    const double v = d(2 * kPi * i / kCoarse);
    if (v < bestD) bestD = v, best = i;
  }
  double lo = 2 * kPi * (best - 1) / kCoarse, hi = 2 * kPi * (best + 1) / kCoarse;
  const double g = (std::sqrt(5.0) - 1) / 2;
  for (int it = 0; it < 80; ++it) {
    const double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
    if (d(m1) < d(m2)) {
      hi = m2;
    } else {
      lo = m1;
    }
  }
  return std::min(bestD, d(0.5 * (lo + hi)));
}

// Distance from the line (a, dir) to the filled horizontal disc of radius rho about c (the flat
// bottom and tube centres of a torus cutter): 0 where the line pierces the disc, the height
// difference where a horizontal line passes over it, else the distance to its rim.
double lineToDisc(V3 a, V3 dir, V3 c, double rho) {
  const V3 e = unit(dir);
  if (e.z != 0.0) {
    const double t = (c.z - a.z) / e.z;
    if (std::hypot(a.x + t * e.x - c.x, a.y + t * e.y - c.y) <= rho) return 0.0;
  } else if (distToLine(V3{c.x, c.y, a.z}, a, e) <= rho) {
    return std::fabs(a.z - c.z);
  }
  return lineToCircle(a, dir, c, rho);
}

Arc2D stepCircle(double cx, double cy, double r) {
  Arc2D c{};
  c.cx = cx;
  c.cy = cy;
  c.radius = r;
  return c;
}

// A large triangle of the plane through q with normal n, corners in either turning sense.
Tri3D bigTriangle(V3 q, V3 n, double size, bool flip) {
  const V3 t1 = perpendicular(n), t2 = cross(n, t1);
  V3 a = q + size * t1, b = q + size * (-0.5 * t1 + 0.866 * t2),
     c = q + size * (-0.5 * t1 - 0.866 * t2);
  if (flip) std::swap(b, c);
  return Tri3D{{p3(a), p3(b), p3(c)}};
}

// ---- one random case of each solver ----------------------------------------------------------
// Each case knows its step circle, how to call the solver, and the contact function: a smooth
// function of the position whose zero is the contact (distance - contact distance).

struct Case {
  Arc2D circle{};
  double z = 0;
  std::function<int(Point3D out[4])> solve;
  std::function<double(V3 pos)> contact;
  double tol = 1e-7;  // bound on |contact| at a returned position
};

struct Rng {
  std::mt19937_64 gen;
  explicit Rng(unsigned seed) : gen(seed) {}
  double u(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(gen); }
  V3 dir() {
    for (;;) {
      const V3 v{u(-1, 1), u(-1, 1), u(-1, 1)};
      const double n = norm(v);
      if (n > 0.1 && n <= 1) return (1.0 / n) * v;
    }
  }
  // The draws in a fixed order (radius, then y, then x), whatever order a compiler evaluates the
  // arguments of one call in.
  void circle(Case& c, double rmax) {
    const double r = u(0.01, rmax);
    const double y = u(-20, 20);
    const double x = u(-20, 20);
    c.circle = stepCircle(x, y, r);
    c.z = u(-20, 20);
  }
};

V3 centreOf(const Case& c) { return {c.circle.cx, c.circle.cy, c.z}; }

Case ballFace(Rng& g) {
  Case c;
  const double R = g.u(1, 10);
  g.circle(c, std::min(2.0, R));
  const V3 n = g.dir();
  const double D = g.u(R - c.circle.radius, R + c.circle.radius);
  const V3 q = centreOf(c) - D * n;  // the plane lies D below the centre along n
  const Tri3D tri = bigTriangle(q, n, 60, g.u(0, 1) < 0.5);
  c.solve = [tri, R, c](Point3D out[4]) {
    return triconBallFace(tri, R, c.circle, c.z, &out[0], &out[1]);
  };
  c.contact = [n, q, R](V3 p) { return std::fabs(dot(p - q, n)) - R; };
  return c;
}

Case ballVertex(Rng& g) {
  Case c;
  const double R = g.u(1, 10);
  g.circle(c, std::min(2.0, R));
  const V3 v = centreOf(c) + g.u(R - c.circle.radius, R + c.circle.radius) * g.dir();
  c.solve = [v, R, c](Point3D out[4]) {
    return triconBallVertex(p3(v), R, c.circle, c.z, &out[0], &out[1]);
  };
  c.contact = [v, R](V3 p) { return norm(p - v) - R; };
  return c;
}

Case ballEdge(Rng& g) {
  Case c;
  const double R = g.u(1, 10);
  g.circle(c, std::min(2.0, R));
  V3 e = g.dir();
  const bool horizontal = g.u(0, 1) < 0.1;
  if (horizontal) e = unit(V3{e.x, e.y, 0});
  const V3 across = perpendicular(e);
  const V3 foot = centreOf(c) + g.u(R - 1.2 * c.circle.radius, R + c.circle.radius) * across;
  const Seg3D edge{p3(foot - g.u(5, 40) * e), p3(foot + g.u(5, 40) * e)};
  c.solve = [edge, R, c](Point3D out[4]) {
    return triconBallEdge(edge, R, c.circle, c.z, &out[0], &out[1], &out[2], &out[3]);
  };
  c.contact = [foot, e, R](V3 p) { return distToLine(p, foot, e) - R; };
  // The sampled solver's bound for an inclined edge (its Taylor step), a closed form otherwise.
  c.tol = horizontal ? 1e-7 : kTriconEdgeErrorPerRadius * c.circle.radius * 1.001 + 1e-9;
  return c;
}

Case torusFace(Rng& g) {
  Case c;
  const double rc = g.u(0.5, 8), cr = g.u(0.5, 5);
  g.circle(c, 2.0);
  V3 n = g.dir();
  if (std::fabs(n.z) > 0.99) n = unit(V3{n.x + 0.2, n.y, n.z});
  const double h = std::hypot(n.x, n.y);
  const double D = cr + rc * h + g.u(-1, 1) * c.circle.radius * h;
  const V3 q = centreOf(c) - D * n;
  const Tri3D tri = bigTriangle(q, n, 60, g.u(0, 1) < 0.5);
  c.solve = [tri, rc, cr, c](Point3D out[4]) {
    return triconTorusFace(tri, rc, cr, c.circle, c.z, &out[0], &out[1]);
  };
  // Distance from the plane to the filled disc of the tube centres (0 when the disc crosses it).
  c.contact = [n, q, rc, h, cr](V3 p) {
    const double s = dot(p - q, n);
    return (std::fabs(s) > rc * h ? std::fabs(s) - rc * h : 0.0) - cr;
  };
  return c;
}

Case torusVertex(Rng& g) {
  Case c;
  const double rc = g.u(0.5, 8), cr = g.u(0.5, 5);
  g.circle(c, 2.0);
  const double dz = g.u(-cr, cr), a = g.u(0, 2 * kPi);
  const double rho = rc + std::sqrt(cr * cr - dz * dz) + g.u(-1, 1) * c.circle.radius;
  const V3 v{c.circle.cx + rho * std::cos(a), c.circle.cy + rho * std::sin(a), c.z + dz};
  c.solve = [v, rc, cr, c](Point3D out[4]) {
    return triconTorusVertex(p3(v), rc, cr, c.circle, c.z, &out[0], &out[1]);
  };
  // Distance from the vertex to the filled disc of the tube centres.
  c.contact = [v, rc, cr](V3 p) {
    return std::hypot(std::max(0.0, std::hypot(v.x - p.x, v.y - p.y) - rc), v.z - p.z) - cr;
  };
  return c;
}

// A line tangent to the torus at a random point of its outer half, about a position P0 on the
// step circle, so that the circle crosses the contact curve near P0.
Case torusEdge(Rng& g, double rmax) {
  Case c;
  const double rc = g.u(1, 8), cr = g.u(0.5, 5);
  g.circle(c, rmax);
  const double gamma = g.u(0, 2 * kPi);
  const V3 p0{c.circle.cx + c.circle.radius * std::cos(gamma),
              c.circle.cy + c.circle.radius * std::sin(gamma), c.z};
  const double phi = g.u(0, 2 * kPi), alpha = g.u(-1.2, 1.2);
  const V3 radial{std::cos(phi), std::sin(phi), 0};
  const V3 nu = std::cos(alpha) * radial + V3{0, 0, std::sin(alpha)};
  const V3 x = p0 + rc * radial;
  const V3 k = x + cr * nu;
  const V3 t{-std::sin(phi), std::cos(phi), 0};
  const double beta = g.u(0, 1) < 0.1 ? 0.0 : g.u(-1.4, 1.4);
  const V3 e = std::cos(beta) * t + std::sin(beta) * cross(nu, t);
  const Seg3D edge{p3(k - g.u(10, 40) * e), p3(k + g.u(10, 40) * e)};
  c.solve = [edge, rc, cr, c](Point3D out[4]) {
    return triconTorusEdge(edge, rc, cr, c.circle, c.z, &out[0], &out[1]);
  };
  c.contact = [k, e, rc, cr](V3 p) { return lineToDisc(k, e, p, rc) - cr; };
  // The osculating circle of the cut ellipse stands in for the offset curve near the point nearest
  // the centre: a third-order error in the distance from that point. Over these random edges it
  // stays below 0.05 r^3.
  c.tol = 0.1 * c.circle.radius * c.circle.radius * c.circle.radius + 1e-9;
  return c;
}

struct SolverKind {
  const char* name;
  std::function<Case(Rng&)> make;
  int cases;
};

const std::vector<SolverKind>& solverKinds() {
  static const std::vector<SolverKind> kinds = {
      {"BallFace", ballFace, 10000},
      {"BallVertex", ballVertex, 10000},
      {"BallEdge", ballEdge, 10000},
      {"TorusFace", torusFace, 10000},
      {"TorusVertex", torusVertex, 10000},
      {"TorusEdge", [](Rng& g) { return torusEdge(g, 0.5); }, 10000},
  };
  return kinds;
}

class SolverProperty : public ::testing::TestWithParam<int> {};

// Every returned position lies on the step circle, at z, and at the contact distance.
TEST_P(SolverProperty, PositionsLieOnTheCircleAtTheContactDistance) {
  const SolverKind& kind = solverKinds()[GetParam()];
  Rng rng(1234 + GetParam());
  int withPositions = 0;
  double worst = 0;
  for (int i = 0; i < kind.cases; ++i) {
    const Case c = kind.make(rng);
    Point3D out[4] = {};
    const int n = c.solve(out);
    if (n < 0) {
      // Only a true gouge: the whole step circle lies within the contact distance.
      ASSERT_EQ(n, kTriconGouge) << kind.name << " case " << i;
      for (int k = 0; k < 64; ++k) {
        const double t = k * kPi / 32;
        ASSERT_LT(c.contact(V3{c.circle.cx + c.circle.radius * std::cos(t),
                               c.circle.cy + c.circle.radius * std::sin(t), c.z}),
                  c.tol)
            << kind.name << " case " << i;
      }
      continue;
    }
    if (n < 2) continue;
    ++withPositions;
    for (int k = 0; k < n; ++k) {
      const V3 p = v3(out[k]);
      ASSERT_NEAR(std::hypot(p.x - c.circle.cx, p.y - c.circle.cy), c.circle.radius, 1e-9)
          << kind.name << " case " << i;
      ASSERT_EQ(p.z, c.z);
      const double miss = std::fabs(c.contact(p));
      worst = std::max(worst, miss / c.tol);
      ASSERT_LE(miss, c.tol) << kind.name << " case " << i << " position " << k;
    }
  }
  EXPECT_GT(withPositions, kind.cases / 3) << kind.name << ": too few cases reach the contact";
  RecordProperty("worst_share_of_bound", std::to_string(worst));
}

// Sampling the contact function at 4096 angles finds no crossing that the solver missed: every
// sign change lies next to a returned position (within the angle that the solver's own distance
// bound allows at the crossing's slope). Crossings closer together than the solver's sampling
// (the ball edge's 32 directions, else 8 samples) are tangent cases and skipped.
TEST_P(SolverProperty, DenseSamplingFindsNoMissedCrossing) {
  const SolverKind& kind = solverKinds()[GetParam()];
  const bool sampled = std::string(kind.name) == "BallEdge";
  const bool costly = std::string(kind.name) == "TorusEdge";
  Rng rng(777 + GetParam());
  constexpr int kAngles = 4096;
  const double step = 2 * kPi / kAngles;
  const double minGap = sampled ? kPi / 16 + 2 * step : 8 * step;
  const int cases = costly ? 60 : 1500;
  int checked = 0;
  for (int i = 0; i < cases; ++i) {
    const Case c = kind.make(rng);
    Point3D out[4] = {};
    const int n = c.solve(out);
    if (n < 0 || n == 1) continue;  // a gouge or a tangent answer
    std::vector<double> g(kAngles);
    for (int k = 0; k < kAngles; ++k) {
      const double t = k * step;
      g[k] = c.contact(V3{c.circle.cx + c.circle.radius * std::cos(t),
                          c.circle.cy + c.circle.radius * std::sin(t), c.z});
    }
    std::vector<double> crossings;  // angle of the interval's start
    std::vector<double> slopes;     // |d contact / d angle| there
    for (int k = 0; k < kAngles; ++k) {
      const double next = g[(k + 1) % kAngles];
      if ((g[k] < 0) != (next < 0)) {
        crossings.push_back(k * step);
        slopes.push_back(std::fabs(next - g[k]) / step);
      }
    }
    bool tangent = false;
    for (std::size_t j = 0; j < crossings.size(); ++j) {
      const double next = j + 1 < crossings.size() ? crossings[j + 1] : crossings[0] + 2 * kPi;
      if (crossings.size() > 1 && next - crossings[j] < minGap) tangent = true;
    }
    if (tangent || crossings.empty()) continue;
    ++checked;
    for (std::size_t j = 0; j < crossings.size(); ++j) {
      const double a = crossings[j];
      const double slack = 0.5 * step + 2.0 * c.tol / slopes[j] + 1e-9;
      bool found = false;
      for (int k = 0; k < std::min(n, 4); ++k) {
        double t = std::atan2(out[k].y - c.circle.cy, out[k].x - c.circle.cx);
        if (t < 0) t += 2 * kPi;
        double d = t - (a + 0.5 * step);
        d = std::remainder(d, 2 * kPi);
        if (std::fabs(d) <= slack) found = true;
      }
      ASSERT_TRUE(found) << kind.name << " case " << i << ": crossing at " << a << " missed, " << n
                         << " positions";
    }
  }
  EXPECT_GT(checked, cases / 4) << kind.name;
}

INSTANTIATE_TEST_SUITE_P(Tricon, SolverProperty, ::testing::Range(0, 6),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(solverKinds()[info.param].name);
                         });

// ---- table of tangent, gouge and equal-circle cases ---------------------------------------

struct TableRow {
  const char* name;
  std::function<int()> call;
  int expected;
};

TEST(TriconTable, TangentGougeAndEqualCircleCases) {
  const Arc2D circle = stepCircle(0, 0, 1);
  Point3D a{}, b{}, c{}, d{};
  // A horizontal triangle about the origin at height h, large enough to hold every foot.
  auto flat = [](double h) { return Tri3D{{{-50, -50, h}, {50, -50, h}, {0, 60, h}}}; };
  const std::vector<TableRow> rows = {
      {"ball centre exactly R above a horizontal face",
       [&] { return triconBallFace(flat(-5), 5, circle, 0, &a, &b); }, 1},
      {"ball face nearer than R - r with the foot inside",
       [&] { return triconBallFace(flat(-3), 5, circle, 0, &a, &b); }, kTriconGouge},
      {"ball face nearer than R - r with the foot outside",
       [&] {
         const Tri3D far{{{20, 20, -3}, {30, 20, -3}, {20, 30, -3}}};
         return triconBallFace(far, 5, circle, 0, &a, &b);
       },
       0},
      {"ball vertex exactly R below",
       [&] {
         return triconBallVertex({0.5, 0, -5}, 5, circle, 0, &a, &b);
       },
       1},
      {"ball vertex exactly R above",
       [&] {
         return triconBallVertex({0.5, 0, 5}, 5, circle, 0, &a, &b);
       },
       1},
      {"ball vertex circle equal to the step circle",
       [&] {
         return triconBallVertex({0, 0, -4}, std::sqrt(17.0), circle, 0, &a, &b);
       },
       0},
      {"ball vertex within R - r",
       [&] {
         return triconBallVertex({1, 1, 1}, 5, circle, 0, &a, &b);
       },
       kTriconGouge},
      {"torus vertex exactly c below",
       [&] {
         return triconTorusVertex({3, 0, -2}, 4, 2, circle, 0, &a, &b);
       },
       1},
      // A flat face a hair inside the tube: its vertices and edges touch tangentially, as the
      // face does; they made rings of radius rc about every vertex of the face.
      {"torus vertex 1e-6 less than c below",
       [&] {
         return triconTorusVertex({4.5, 0, -2 + 1e-6}, 4, 2, circle, 0, &a, &b);
       },
       1},
      {"torus vertex 2e-5 less than c below",
       [&] {
         return triconTorusVertex({4.5, 0, -2 + 2e-5}, 4, 2, circle, 0, &a, &b);
       },
       2},
      {"torus horizontal edge 1e-6 less than c below",
       [&] {
         return triconTorusEdge({{-20, 4.5, -2 + 1e-6}, {20, 4.5, -2 + 1e-6}}, 4, 2, circle, 0, &a,
                                &b);
       },
       1},
      {"torus vertex circle equal to the step circle",
       [&] {
         return triconTorusVertex({0, 0, 0}, 0.25, 0.75, circle, 0, &a, &b);
       },
       0},
      {"torus face horizontal at c",
       [&] { return triconTorusFace(flat(-2), 4, 2, circle, 0, &a, &b); }, 1},
      {"torus face of a triangle without a plane",
       [&] {
         const Tri3D line{{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}};
         return triconTorusFace(line, 4, 2, circle, 0, &a, &b);
       },
       kTriconNoPlane},
      {"ball edge cylinder holds the circle, nearest sample inside the edge",
       [&] {
         return triconBallEdge({{3, 0, -10}, {3, 0, 10}}, 5, circle, 0, &a, &b, &c, &d);
       },
       kTriconGouge},
      {"ball edge cylinder holds the circle, nearest sample beyond the edge",
       [&] {
         return triconBallEdge({{3, 0, 2}, {3, 0.1, 10}}, 5, circle, 0, &a, &b, &c, &d);
       },
       0},
      {"ball edge wholly more than R below",
       [&] {
         return triconBallEdge({{0, 0, -9}, {1, 0, -8}}, 5, circle, 0, &a, &b, &c, &d);
       },
       0},
      {"ball horizontal edge exactly R below",
       [&] {
         return triconBallEdge({{-5, 0.5, -5}, {5, 0.5, -5}}, 5, circle, 0, &a, &b, &c, &d);
       },
       0},
      {"ball horizontal edge crossing the circle on both sides",
       [&] {
         return triconBallEdge({{-5, 0, -3}, {5, 0, -3}}, 3.1, circle, 0, &a, &b, &c, &d);
       },
       4},
  };
  for (const TableRow& row : rows) {
    geoErrReset();
    EXPECT_EQ(row.call(), row.expected) << row.name;
    if (row.expected == kTriconGouge) {
      EXPECT_EQ(geoErrCode(), kTriconGouge) << row.name;
      EXPECT_STREQ(geoErrRecord()->file, "Tricont") << row.name;
    }
  }
}

// A sample of exactly 0 where the contact function changes sign is a root: both neighbouring
// brackets have a zero end and used to drop it, so the walker saw one position and stepped past.
TEST(TriconBallEdge, ZeroSampleIsARoot) {
  // The vertical line through (1, 3) lies exactly 3 from the sample point (1, 0) of direction 0.
  const Seg3D edge{{1, 3, -5}, {1, 3, 5}};
  Point3D out[4] = {};
  ASSERT_EQ(triconBallEdge(edge, 3, stepCircle(0, 0, 1), 0, &out[0], &out[1], &out[2], &out[3]), 2);
  EXPECT_EQ(out[0].x, 1.0);
  EXPECT_EQ(out[0].y, 0.0);
  // The other crossing of the unit circle with the circle of radius 3 about (1, 3), within the
  // bound of the Taylor step.
  EXPECT_NEAR(std::hypot(out[1].x - 1, out[1].y - 3), 3.0, kTriconEdgeErrorPerRadius);
  EXPECT_NEAR(std::hypot(out[1].x, out[1].y), 1.0, 1e-12);
  EXPECT_GT(std::fabs(out[1].y), 0.1);
}

// The false-position search ends: at an estimate where the function is exactly 0 (no end would
// move, and the search used to loop for ever), on a bracket narrower than its floor, and it
// refuses ends without a sign change.
TEST(TriconRegulaFalsi, EndsOnExactRootsNarrowBracketsAndNoSignChange) {
  const Arc2D circle = stepCircle(0, 0, 1);
  // At angle 0 the circle point (1, 0) lies exactly 3 from the vertical line through (4, 0); with
  // end values -1 and 1 the first estimate is the bracket's middle, 0.
  const Seg3D edge{{4, 0, -5}, {4, 0, 5}};
  double t = 99;
  ASSERT_EQ(triconRegulaFalsi(edge, {-kPi / 32, kPi / 32, -1, 1}, 3, circle, 0, &t), 1);
  EXPECT_EQ(t, 0.0);
  t = 99;
  ASSERT_EQ(triconRegulaFalsi(edge, {1.0, 1.0 + 4e-16, -1, 1}, 3, circle, 0, &t), 1);
  EXPECT_GE(t, 1.0);
  EXPECT_LE(t, 1.0 + 4e-16);
  EXPECT_EQ(triconRegulaFalsi(edge, {0.1, 0.2, 0.0, 1.0}, 3, circle, 0, &t), 0);
  EXPECT_EQ(triconRegulaFalsi(edge, {0.1, 0.2, 2.0, 1.0}, 3, circle, 0, &t), 0);
}

// A plane that only grazes the cylinder about a horizontal edge gives one line; the tube centres
// touch it rc away in plan, never on the line itself (which put the tool rc deep into the edge).
TEST(TriconTorusEdge, GrazingCutKeepsTheTubeCircleOutside) {
  const double rc = 4, cr = 2;
  const double below = cr - 0.0005;  // within the 0.001 band of a grazing cut
  const Seg3D edge{{-20, 5, -below}, {20, 5, -below}};
  Point3D out[2] = {};
  ASSERT_EQ(triconTorusEdge(edge, rc, cr, stepCircle(0, 0.5, 1), 0, &out[0], &out[1]), 2);
  for (const Point3D& p : out) {
    EXPECT_NEAR(5.0 - p.y, rc, 1e-9);
    EXPECT_NEAR(lineToCircle({0, 5, -below}, {1, 0, 0}, v3(p), rc), cr, 0.001);
  }
}

// Two lines of a horizontal edge: the nearer one moved by rc; the tube circle touches the edge.
TEST(TriconTorusEdge, HorizontalEdgeUsesTheNearerLine) {
  const double rc = 4, cr = 2;
  const Seg3D edge{{-20, 6, -1}, {20, 6, -1}};
  Point3D out[2] = {};
  ASSERT_EQ(triconTorusEdge(edge, rc, cr, stepCircle(0, 0.8, 1), 0, &out[0], &out[1]), 2);
  const double side = std::sqrt(cr * cr - 1.0);
  for (const Point3D& p : out) {
    EXPECT_NEAR(p.y, 6 - side - rc, 1e-9);
    EXPECT_NEAR(lineToCircle({0, 6, -1}, {1, 0, 0}, v3(p), rc), cr, 1e-7);
  }
}

TEST(TriconSets, SlotsFollowTheCutterType) {
  EXPECT_NE(triconSetFor(1), nullptr);
  EXPECT_NE(triconSetFor(3), nullptr);
  EXPECT_NE(triconSetFor(1), triconSetFor(3));
  EXPECT_EQ(triconSetFor(2), nullptr) << "a flat end mill meets only walls";
  EXPECT_EQ(triconSetFor(0), nullptr);
  // The directions close the circle and are unit vectors k x 11.25 degrees.
  EXPECT_EQ(TriconDirections[32].x, TriconDirections[0].x);
  EXPECT_EQ(TriconDirections[32].y, TriconDirections[0].y);
  for (int k = 0; k < 33; ++k) {
    EXPECT_NEAR(std::atan2(TriconDirections[k].y, TriconDirections[k].x),
                std::remainder(k * kPi / 16, 2 * kPi), 1e-15);
  }
  const double lo = 1.0, hi = 2.0;
  EXPECT_LT(triconCompareDouble(&lo, &hi), 0);
  EXPECT_GT(triconCompareDouble(&hi, &lo), 0);
  EXPECT_EQ(triconCompareDouble(&lo, &lo), 0);
}

}  // namespace
