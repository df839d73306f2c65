// Vectors and 2D segment maths: tolerance rules, intersections against a parametric solve,
// winding and orientation against crossing parity and the shoelace sign, torus contact by
// substitution, and the two text helpers of the file readers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/vec.h"
#include "support/temp_dir.h"

namespace {
// A simple polygon: corners at increasing angles around the origin with random radii.
std::vector<Seg2D> randomStarPolygon(std::mt19937& rng, int n, bool ccw) {
  std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI), radius(1.0, 10.0);
  std::vector<double> angles(n);
  for (double& a : angles) a = angle(rng);
  std::sort(angles.begin(), angles.end());
  if (!ccw) std::reverse(angles.begin(), angles.end());
  std::vector<Point2D> pts;
  for (double a : angles) {
    const double r = radius(rng);
    pts.push_back({r * std::cos(a), r * std::sin(a)});
  }
  std::vector<Seg2D> segs;
  for (int i = 0; i < n; ++i) {
    const Point2D& p = pts[i];
    const Point2D& q = pts[(i + 1) % n];
    segs.push_back({p.x, p.y, q.x, q.y});
  }
  return segs;
}

// Crossing parity of a ray towards +x: true inside.
bool insideByParity(const std::vector<Seg2D>& segs, const Point2D& p) {
  bool inside = false;
  for (const Seg2D& s : segs) {
    if ((s.y1 > p.y) != (s.y2 > p.y)) {
      const double x = s.x1 + (p.y - s.y1) * (s.x2 - s.x1) / (s.y2 - s.y1);
      if (x > p.x) inside = !inside;
    }
  }
  return inside;
}

double shoelace(const std::vector<Seg2D>& segs) {
  double sum = 0.0;
  for (const Seg2D& s : segs) sum += s.x1 * s.y2 - s.x2 * s.y1;
  return sum / 2.0;
}
}  // namespace

TEST(Vec3, MeasuresAndClamps) {
  EXPECT_DOUBLE_EQ(vecLength({3, 4, 12}), 13.0);
  EXPECT_DOUBLE_EQ(vecDistance({1, 1, 1}, {4, 5, 1}), 5.0);
  EXPECT_DOUBLE_EQ(vecCrossLength({2, 0, 0}, {0, 3, 0}), 6.0);
  Point3D u{};
  EXPECT_EQ(vecCrossUnit({2, 0, 0}, {0, 3, 0}, &u), 0);
  EXPECT_DOUBLE_EQ(u.z, 1.0);
  EXPECT_EQ(vecCrossUnit({1, 0, 0}, {2, 1e-6, 0}, &u), -1);
  EXPECT_DOUBLE_EQ(u.z, 1e-6) << "the unnormalised product stays in out";
  EXPECT_DOUBLE_EQ(vecAcosClamped(1.5), 0.0);
  EXPECT_DOUBLE_EQ(vecAcosClamped(-2.0), M_PI);
  EXPECT_EQ(vecSqrtClamped(-4.0), 0.0);
}

TEST(G2dBasics, AnglesAndTurns) {
  EXPECT_DOUBLE_EQ(g2dAngle(0, -1), M_PI);
  EXPECT_DOUBLE_EQ(g2dAngle(-1, 0), 3 * M_PI / 2);
  EXPECT_EQ(g2dAngle(0, 0), 0.0);
  EXPECT_DOUBLE_EQ(g2dAngle(-1, 1), 7 * M_PI / 4);
  EXPECT_DOUBLE_EQ(g2dTurnAngle(0, 0, 1, 0, 1, 1), M_PI / 2);
  EXPECT_DOUBLE_EQ(g2dTurnAngle(0, 0, 1, 0, 1, -1), -M_PI / 2);
  EXPECT_EQ(g2dTurnAngle(0, 0, 1, 0, 2, 0), 0.0);
  // Across the +x axis: from 350 degrees to 10 degrees is a left turn of 20 degrees.
  const double a = 350 * M_PI / 180, b = 10 * M_PI / 180;
  EXPECT_NEAR(g2dTurnAngle(-std::cos(a), -std::sin(a), 0, 0, std::cos(b), std::sin(b)),
              20 * M_PI / 180, 1e-12);
}

TEST(G2dBasics, SegmentHelpers) {
  Point2D p{9, 9};
  EXPECT_EQ(g2dAddVector({1, 2}, {3, 4}, &p, -1), 1);
  EXPECT_DOUBLE_EQ(p.x, -2);
  EXPECT_EQ(g2dAddVector({1, 2}, {3, 4}, &p, 2), 0);
  EXPECT_DOUBLE_EQ(p.x, -2) << "other signs leave out unchanged";
  g2dScaleVector(-1.5, {2, -4}, &p);
  EXPECT_DOUBLE_EQ(p.x, -3);
  EXPECT_DOUBLE_EQ(p.y, 6);
  EXPECT_EQ(g2dNearlyEqual(1.0, 1.00009), 1);
  EXPECT_EQ(g2dNearlyEqual(1.0, 1.0001001), 0);
  EXPECT_EQ(g2dSegDirection({0, 0, 5e-8, 0}, &p), 0);
  EXPECT_EQ(g2dSegNormal({0, 0, 2, 0}, &p, 1), 1);
  EXPECT_DOUBLE_EQ(p.y, 1.0);
  EXPECT_EQ(g2dSegNormal({0, 0, 2, 0}, &p, 0), 1);
  EXPECT_DOUBLE_EQ(p.y, -1.0);
  EXPECT_EQ(g2dSegPoint({0, 0, 2, 4}, &p, 3), 1);
  EXPECT_DOUBLE_EQ(p.y, 2.0);
  EXPECT_EQ(g2dSegPoint({0, 0, 2, 4}, &p, 4), 0);
  Seg2D s{0, 0, 1, 1};
  g2dSetSegEnd(&s, {5, 6}, 2);
  EXPECT_DOUBLE_EQ(s.x2, 5);
  EXPECT_DOUBLE_EQ(s.x1, 0);
}

TEST(G2dPointSeg, ToleranceRules) {
  double fx = 0, fy = 0;
  // Length 0.003: squared length 9e-6 is below 1e-5, so the foot fails.
  const Seg2D tiny{0, 0, 0.003, 0};
  EXPECT_EQ(g2dSegFoot(tiny, 0.0015, 1, &fx, &fy), 0);
  Point2D q{};
  // The failed foot falls back to the start, which lies in the box.
  EXPECT_NEAR(g2dPointSegNearest({0.002, 1}, tiny, &q), std::hypot(0.002, 1), 1e-12);
  EXPECT_EQ(q.x, 0.0);
  EXPECT_NEAR(g2dPointSegNearest({5, 0}, {0, 0, 1, 0}, &q), 4.0, 1e-12);
  EXPECT_EQ(q.x, 1.0) << "outside the box: the nearer end";
  // The box test bounds the products: 0.001 outside in x with a short other factor passes.
  EXPECT_EQ(g2dPointInSegBox({-0.001, 0.5}, {0, 0, 0.005, 1}), 1);  // 0.001 * 0.006 < 1e-5
  EXPECT_EQ(g2dPointInSegBox({-0.001, 0.5}, {0, 0, 1, 1}), 0);      // 0.001 * 1.001 >= 1e-5
  EXPECT_EQ(g2dPointInSegBox({1.000001, 1.000002}, {0, 0, 1, 1}), 1);
  EXPECT_NEAR(g2dPointSegDist({0.5, 2}, {0, 0, 1, 0}), 2.0, 1e-12);
  EXPECT_NEAR(g2dPointSegDist({3, 4}, {0, 0, 0, 0}), 5.0, 1e-12);
  EXPECT_NEAR(g2dPointLineDist(5, 3, {0, 0, 1, 0}), 3.0, 1e-12);
  const Seg2D segs[3] = {{0, 5, 1, 5}, {0, 1, 1, 1}, {0, -1, 1, -1}};
  int index = -1;
  EXPECT_NEAR(g2dNearestSegPoint({0.5, 0}, segs, 3, &index, &q), 1.0, 1e-12);
  EXPECT_EQ(index, 1) << "first of equal distances";
  EXPECT_EQ(g2dNearestSeg({0, 0}, segs, 0, &index), 1e10);
  EXPECT_EQ(index, 0);
}

TEST(G2dIsect, CollinearCases) {
  Point2D p{};
  struct Case {
    Seg2D a, b;
    int result;
    double x;
  } cases[] = {
      {{0, 0, 1, 0}, {1, 0, 2, 0}, 1, 1.0},   // end to start
      {{0, 0, 1, 0}, {2, 0, 1, 0}, 1, 1.0},   // end to end
      {{0, 0, 2, 0}, {1, 0, 3, 0}, -1, 0.0},  // overlap
      {{0, 0, 1, 0}, {2, 0, 3, 0}, 0, 0.0},   // disjoint
      {{0, 0, 0, 1}, {0, 1.00005, 0, 2}, 1, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(g2dSegIsect(c.a, c.b, &p), c.result);
    EXPECT_DOUBLE_EQ(p.x, c.x);
  }
  EXPECT_EQ(g2dLineIsect({0, 0, 1, 0}, {0, 1, 1, 1}, &p), 0);
  EXPECT_EQ(g2dLineIsect({0, 0, 1, 0}, {5, 0, 7, 0}, &p), -1);
  EXPECT_EQ(g2dSegIsect({0.5, 0, 0.5, 0}, {0, 0, 1, 0}, &p), 1) << "a point on the other";
  EXPECT_DOUBLE_EQ(p.x, 0.5);
  EXPECT_EQ(g2dSegIsectDegenerate({0.5, 0.1, 0.5, 0.1}, {0, 0, 1, 0}, &p), 0);
}

TEST(G2dIsect, AgreesWithAParametricSolve) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-10, 10);
  int crossings = 0;
  for (int k = 0; k < 5000; ++k) {
    const Seg2D a{u(rng), u(rng), u(rng), u(rng)}, b{u(rng), u(rng), u(rng), u(rng)};
    const long double dax = a.x2 - a.x1, day = a.y2 - a.y1, dbx = b.x2 - b.x1, dby = b.y2 - b.y1;
    const long double det = dax * (-dby) - day * (-dbx);
    if (std::fabs(static_cast<double>(det)) < 1e-2) continue;
    const long double rx = b.x1 - a.x1, ry = b.y1 - a.y1;
    const double t = static_cast<double>((rx * (-dby) - ry * (-dbx)) / det);
    const double s = static_cast<double>((dax * ry - day * rx) / det);
    const double margin = 1e-3;
    const bool inside = t > margin && t < 1 - margin && s > margin && s < 1 - margin;
    const bool outside = t < -margin || t > 1 + margin || s < -margin || s > 1 + margin;
    if (!inside && !outside) continue;
    Point2D p{};
    const int r = g2dSegIsect(a, b, &p);
    ASSERT_EQ(r, inside ? 1 : 0) << k;
    if (inside) {
      ++crossings;
      EXPECT_NEAR(p.x, a.x1 + t * (a.x2 - a.x1), 1e-8);
      EXPECT_NEAR(p.y, a.y1 + t * (a.y2 - a.y1), 1e-8);
    }
  }
  EXPECT_GT(crossings, 500);
}

TEST(G2dCircle, CutsLieOnTheLineAndTheCircle) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-5, 5), rr(0.5, 4);
  int twos = 0;
  for (int k = 0; k < 2000; ++k) {
    const Seg2D s{u(rng), u(rng), u(rng), u(rng)};
    const Circle2D c{{u(rng), u(rng)}, rr(rng)};
    if (std::hypot(s.x2 - s.x1, s.y2 - s.y1) < 0.1) continue;
    Point2D p1{}, p2{};
    const int n = g2dLineCircleIsect(s, c, &p1, &p2);
    const double dist = g2dPointLineDist(c.centre.x, c.centre.y, s);
    if (dist > c.radius + 1e-3) {
      EXPECT_EQ(n, 0);
    }
    if (dist < c.radius - 1e-3) {
      ASSERT_EQ(n, 2);
      ++twos;
      for (const Point2D& p : {p1, p2}) {
        EXPECT_NEAR(g2dPointLineDist(p.x, p.y, s), 0.0, 1e-7);
        EXPECT_NEAR(g2dDistance(p, c.centre), c.radius, 1e-7);
      }
      EXPECT_LE(p1.x, p2.x) << "p1 is the point of smaller x";
    }
  }
  EXPECT_GT(twos, 200);
}

TEST(G2dCircle, SegmentCircleCasesAndVerticalLine) {
  const Circle2D c{{0, 0}, 1};
  Point2D out[2]{};
  EXPECT_EQ(g2dSegCircleIsect({-2, 0, 2, 0}, c, out), 2);
  EXPECT_DOUBLE_EQ(out[0].x, -1);
  EXPECT_DOUBLE_EQ(out[1].x, 1);
  EXPECT_EQ(g2dSegCircleIsect({0, 0, 2, 0}, c, out), 1);
  EXPECT_DOUBLE_EQ(out[0].x, 1) << "only the second point lies on the segment";
  EXPECT_EQ(g2dSegCircleIsect({-0.5, 0, 0.5, 0}, c, out), 0);
  EXPECT_EQ(g2dSegCircleIsect({-2, 1, 2, 1}, c, out), -1) << "tangent within the segment";
  EXPECT_EQ(g2dSegCircleIsect({2, 1, 3, 1}, c, out), 0);
  Point2D p1{}, p2{};
  EXPECT_EQ(g2dLineCircleIsect({0.6, -3, 0.6, 3}, c, &p1, &p2), 2);
  EXPECT_NEAR(p1.y, -0.8, 1e-12);
  EXPECT_NEAR(p2.y, 0.8, 1e-12);
}

TEST(G2dChains, WindingAndOrientationAgainstParityAndShoelace) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-11, 11);
  for (int poly = 0; poly < 60; ++poly) {
    const bool ccw = poly % 2 == 0;
    const std::vector<Seg2D> segs = randomStarPolygon(rng, 5 + poly % 20, ccw);
    const int n = static_cast<int>(segs.size());
    const double area = shoelace(segs);
    EXPECT_EQ(g2dSegChainOrientation(segs.data(), n), area > 0 ? 1 : -1);
    EXPECT_EQ(g2dChainClosed(segs.data(), n), 1);
    for (int k = 0; k < 100; ++k) {
      const Point2D p{u(rng), u(rng)};
      int ignore = 0;
      if (g2dNearestSeg(p, segs.data(), n, &ignore) < 1e-3) continue;
      const int expected = insideByParity(segs, p) ? (area > 0 ? 1 : -1) : 0;
      ASSERT_EQ(g2dWinding(segs.data(), n, p), expected) << poly << " " << k;
    }
  }
  const Seg2D square[4] = {{0, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 0, 0}};
  EXPECT_EQ(g2dWinding(square, 4, {0.5, 0.5}), 1);
  EXPECT_EQ(g2dWinding(square, 4, {2, 0.5}), 0);
  EXPECT_EQ(g2dWinding(square, 0, {0.5, 0.5}), 0);
  EXPECT_EQ(g2dSegChainOrientation(square, 1), 0);
  EXPECT_EQ(g2dChainClosed(square, 3), 0);
}

TEST(G2dChains, TurnDirection) {
  struct Case {
    Seg2D b;
    int turn;
  } cases[] = {{{1, 0, 1, 1}, 1}, {{1, 0, 1, -1}, -1}, {{1, 0, 2, 0.004}, 0}, {{1, 0, 0, 0}, -2}};
  const Seg2D a{0, 0, 1, 0};
  for (const Case& c : cases) {
    int turn = 9;
    EXPECT_EQ(g2dTurnDirection(a, c.b, &turn), 1);
    EXPECT_EQ(turn, c.turn);
  }
  int turn = 9;
  EXPECT_EQ(g2dTurnDirection(a, {1, 0, 1, 0}, &turn), 0);
}

TEST(Torus, HeightAndContactBySubstitution) {
  EXPECT_DOUBLE_EQ(vecTorusHeight(5, 2, 5, 0), -2.0);
  EXPECT_EQ(vecTorusHeight(9, 2, 5, 0), 0.0);
  const double r = 2, R = 5;
  int solved = 0;
  for (double h : {0.0, 1.0, 3.0, 6.0}) {
    for (double s : {-3.0, -0.5, 0.5, 2.0}) {
      double x = 0;
      if (vecTorusContact(&x, r, R, h, s) != 0) continue;
      // The slope of the surface height along the line, by a central difference: it equals s at
      // x, or passes s within the final bisection interval of 0.001.
      auto height = [&](double t) { return vecTorusHeight(t, r, R, h); };
      auto slopeMinusS = [&](double t) {
        const double e = 1e-7;
        return (height(t + e) - height(t - e)) / (2 * e) - s;
      };
      const bool hit = std::fabs(slopeMinusS(x)) < 0.01 ||
                       slopeMinusS(x - 0.0011) * slopeMinusS(x + 0.0011) <= 0;
      EXPECT_TRUE(hit) << h << " " << s << " x=" << x;
      ++solved;
    }
  }
  EXPECT_GT(solved, 4);
}

// A line that misses the tube gave NaN brackets and a bisection that never ended.
TEST(Torus, ContactOfALineMissingTheTubeFails) {
  double x = 42;
  EXPECT_EQ(vecTorusContact(&x, 2, 5, 7.5, 0.3), -1);
  EXPECT_EQ(vecTorusContact(&x, 0, 5, 1, 0.3), -1);
  EXPECT_EQ(x, 42);
}

class G2dText : public qdtest::TempDirTest {};

TEST_F(G2dText, LineCountCountsPiecesOf128) {
  qdtest::writeFile("a.txt", "one\ntwo\n" + std::string(200, 'x') + "\nlast");
  EXPECT_EQ(g2dFileLineCount("a.txt"), 5);
  qdtest::writeFile("empty.txt", "");
  EXPECT_EQ(g2dFileLineCount("empty.txt"), 0);
  EXPECT_EQ(g2dFileLineCount(" a.txt"), -1);
  EXPECT_EQ(g2dFileLineCount(""), -1);
  EXPECT_EQ(g2dFileLineCount(nullptr), -1);
  EXPECT_EQ(g2dFileLineCount("missing.txt"), -1);
}

TEST(G2dTextValue, LetterValues) {
  struct Case {
    const char* line;
    int result;
    double value;
  } cases[] = {
      {"X+5", 0, -1}, {"X 5", 1, 5},   {"G1 X-2.5 Y3", 1, -2.5}, {"Y3", 0, -1},  {"AX12e1", 1, 120},
      {"X.5", 0, -1}, {"Xabc", 0, -1}, {"X  -0.25mm", 1, -0.25}, {"X --3", 1, 0}};
  for (const Case& c : cases) {
    double v = -1;
    EXPECT_EQ(g2dReadLetterValue('X', c.line, &v), c.result) << c.line;
    EXPECT_DOUBLE_EQ(v, c.value) << c.line;
  }
}
