// Points against elements and contours, corner classes and whole-contour operations, checked on
// random line-and-arc contours against their dense samples (nearest point, length, box), the
// crossing parity of the sampled polygon (winding) and the sign of the exact area (orientation).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "contour_fixtures.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"

namespace {
constexpr double kPi = std::numbers::pi;

class ContourGeomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    pockEngine().pockToolRadius = 5;
  }
  void TearDown() override { pockRunReset(); }
};

double segDistance(const Point2D& p, const Point2D& a, const Point2D& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

double polylineDistance(const Point2D& p, const std::vector<Point2D>& s) {
  double d = 1e300;
  for (size_t i = 1; i < s.size(); ++i) d = std::min(d, segDistance(p, s[i - 1], s[i]));
  return d;
}

// Crossing parity of the closed polygon through all samples.
bool insideByParity(const Point2D& p, const pocktest::SampledContour& c) {
  bool inside = false;
  for (const auto& s : c.samples) {
    for (size_t i = 1; i < s.size(); ++i) {
      const Point2D& a = s[i - 1];
      const Point2D& b = s[i];
      if ((a.y > p.y) != (b.y > p.y)) {
        const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (x > p.x) inside = !inside;
      }
    }
  }
  return inside;
}

// Nearest point, box and length of every element of random contours against the samples.
TEST_F(ContourGeomTest, ElementMeasuresMatchDenseSamples) {
  std::mt19937 rng(11);
  for (int k = 0; k < 40; ++k) {
    const pocktest::SampledContour c = pocktest::randomContour(rng, k % 2 == 0);
    double sampledLength = 0;
    Point2D lo{1e300, 1e300}, hi{-1e300, -1e300};
    for (size_t i = 0; i < c.elements.size(); ++i) {
      const ContourElement& e = c.elements[i];
      const std::vector<Point2D>& s = c.samples[i];
      Point2D bmin{}, bmax{};
      ASSERT_EQ(contElemBox(e, &bmin, &bmax), 1);
      Point2D smin{1e300, 1e300}, smax{-1e300, -1e300};
      double len = 0;
      for (size_t j = 0; j < s.size(); ++j) {
        contBoxAddPoint(s[j], &smin, &smax);
        contBoxAddPoint(s[j], &lo, &hi);
        if (j > 0) len += std::hypot(s[j].x - s[j - 1].x, s[j].y - s[j - 1].y);
      }
      sampledLength += len;
      EXPECT_NEAR(contElemLength(e), len, 1e-4 * len);
      EXPECT_NEAR(contArcSweep(e), c.sweeps[i], 1e-9);
      EXPECT_NEAR(bmin.x, smin.x, 0.002);
      EXPECT_NEAR(bmin.y, smin.y, 0.002);
      EXPECT_NEAR(bmax.x, smax.x, 0.002);
      EXPECT_NEAR(bmax.y, smax.y, 0.002);
      EXPECT_LE(bmin.x, smin.x + 1e-9);
      EXPECT_GE(bmax.y, smax.y - 1e-9);

      std::uniform_real_distribution<double> px(smin.x - 30, smax.x + 30),
          py(smin.y - 30, smax.y + 30);
      for (int t = 0; t < 30; ++t) {
        const Point2D p{px(rng), py(rng)};
        Point2D foot{};
        const double d = contNearestOnElem(p, e, &foot);
        const double oracle = polylineDistance(p, s);
        EXPECT_NEAR(d, oracle, 0.005) << "element " << i << " type " << e.type;
        EXPECT_NEAR(std::hypot(foot.x - p.x, foot.y - p.y), d, 1e-9);
        EXPECT_LT(polylineDistance(foot, s), 0.005);
      }
    }
    EXPECT_NEAR(contLength(c.elements.data(), static_cast<int>(c.elements.size())), sampledLength,
                1e-4 * sampledLength);
    Point2D cmin{}, cmax{};
    ASSERT_EQ(contBox(c.elements.data(), static_cast<int>(c.elements.size()), &cmin, &cmax), 1);
    EXPECT_NEAR(cmin.x, lo.x, 0.002);
    EXPECT_NEAR(cmax.x, hi.x, 0.002);
    EXPECT_NEAR(cmin.y, lo.y, 0.002);
    EXPECT_NEAR(cmax.y, hi.y, 0.002);
  }
}

// The contour-wide nearest element is the first element reaching the minimum of the per-element
// answers.
TEST_F(ContourGeomTest, NearestElementOfAContour) {
  std::mt19937 rng(5);
  const pocktest::SampledContour c = pocktest::randomContour(rng, true);
  const int n = static_cast<int>(c.elements.size());
  std::uniform_real_distribution<double> u(-200, 200);
  for (int t = 0; t < 200; ++t) {
    const Point2D p{u(rng), u(rng)};
    double best = 1e300;
    int bestIndex = -1;
    for (int i = 0; i < n; ++i) {
      Point2D f{};
      const double d = contNearestOnElem(p, c.elements[i], &f);
      if (d < best) {
        best = d;
        bestIndex = i;
      }
    }
    Point2D foot{};
    int index = -1;
    EXPECT_EQ(contNearestElem(p, c.elements.data(), n, &foot, &index), best);
    EXPECT_EQ(index, bestIndex);
    EXPECT_EQ(contMinDistance(p, c.elements.data(), n), best);
  }
  Point2D foot{7, 7};
  int index = 9;
  EXPECT_EQ(contNearestElem(Point2D{0, 0}, c.elements.data(), 0, &foot, &index), 0);
  EXPECT_EQ(index, 9);
  EXPECT_EQ(foot.x, 7);
  EXPECT_EQ(contMinDistance(Point2D{0, 0}, c.elements.data(), -1), 0);
}

TEST_F(ContourGeomTest, NearestPointSpecialCases) {
  Point2D foot{};
  // At an arc's centre: the distance to its start.
  EXPECT_DOUBLE_EQ(
      contNearestOnElem(Point2D{0, 0}, contMakeArc(0, 0, 10, 0, 0, 10, 10, 1, 0), &foot), 10);
  EXPECT_EQ(foot.x, 10);
  // A point whose circle points lie outside the window: the nearer end.
  EXPECT_DOUBLE_EQ(
      contNearestOnElem(Point2D{0, -20}, contMakeArc(0, 0, 10, 0, 0, 10, 10, 1, 0), &foot),
      std::hypot(10, 20));
  EXPECT_EQ(foot.y, 0);
  // Beyond a line's end: the end; a null line: its start.
  EXPECT_DOUBLE_EQ(contNearestOnElem(Point2D{13, 4}, contMakeLine(0, 0, 10, 0, 0), &foot), 5);
  EXPECT_EQ(foot.x, 10);
  EXPECT_DOUBLE_EQ(contNearestOnElem(Point2D{3, 4}, contMakeLine(0, 0, 0.00005, 0, 0), &foot), 5);
  EXPECT_EQ(foot.x, 0);
  // A line shorter than 0.01 answers from its start when the segment test accepts it there.
  EXPECT_DOUBLE_EQ(contNearestOnElem(Point2D{0.002, 3}, contMakeLine(0, 0, 0.005, 0, 0), &foot),
                   std::hypot(0.002, 3.0));
  EXPECT_EQ(foot.x, 0);
  ContourElement bad = contMakeLine(0, 0, 1, 0, 0);
  bad.type = 0;
  foot = Point2D{-1, -1};
  EXPECT_EQ(contNearestOnElem(Point2D{5, 5}, bad, &foot), 0);
  EXPECT_EQ(foot.x, -1);
}

// The winding test against the crossing parity of the sampled polygon, for points farther than
// 0.02 from it.
TEST_F(ContourGeomTest, WindingMatchesCrossingParity) {
  std::mt19937 rng(3);
  int inside = 0, outside = 0;
  for (int k = 0; k < 40; ++k) {
    const bool ccw = k % 2 == 0;
    const pocktest::SampledContour c = pocktest::randomContour(rng, ccw);
    const int n = static_cast<int>(c.elements.size());
    Point2D lo{}, hi{};
    contBox(c.elements.data(), n, &lo, &hi);
    std::uniform_real_distribution<double> px(lo.x - 5, hi.x + 5), py(lo.y - 5, hi.y + 5);
    for (int t = 0; t < 150; ++t) {
      const Point2D p{px(rng), py(rng)};
      double d = 1e300;
      for (const auto& s : c.samples) d = std::min(d, polylineDistance(p, s));
      if (d <= 0.02) continue;
      const bool in = insideByParity(p, c);
      (in ? inside : outside)++;
      ASSERT_EQ(contWinding(c.elements.data(), n, p), in ? (ccw ? 1 : -1) : 0)
          << "contour " << k << " point " << p.x << "," << p.y;
    }
    // Points near the contour, on the arcs' circles inside and outside.
    for (size_t i = 0; i < c.elements.size(); ++i) {
      const ContourElement& e = c.elements[i];
      if (e.type != kContArc) continue;
      for (double f : {0.9, 1.1}) {
        const Point2D mid = c.samples[i][c.samples[i].size() / 2];
        const Point2D p{e.p0 + f * (mid.x - e.p0), e.p1 + f * (mid.y - e.p1)};
        double d = 1e300;
        for (const auto& s : c.samples) d = std::min(d, polylineDistance(p, s));
        if (d <= 0.02) continue;
        ASSERT_EQ(contWinding(c.elements.data(), n, p), insideByParity(p, c) ? (ccw ? 1 : -1) : 0);
      }
    }
  }
  EXPECT_GT(inside, 100);
  EXPECT_GT(outside, 100);
}

TEST_F(ContourGeomTest, WindingEdgeCases) {
  const ContourElement square[4] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 10, 10, 0),
                                    contMakeLine(10, 10, 0, 10, 0), contMakeLine(0, 10, 0, 0, 0)};
  EXPECT_EQ(contWinding(square, 4, Point2D{5, 5}), 1);
  EXPECT_EQ(contWinding(square, 4, Point2D{15, 5}), 0);
  EXPECT_EQ(contWinding(square, 4, Point2D{5, 5}), 1);
  // A point on an edge: that edge adds 0, the other three subtend half a turn, which counts.
  EXPECT_EQ(contWinding(square, 4, Point2D{5, 0}), 1);
  // A point on the far side of an edge's extension: that edge adds 0.
  EXPECT_EQ(contWinding(square, 4, Point2D{-5, 0}), 0);
  EXPECT_EQ(contWinding(square, 1, Point2D{5, 5}), 0);
  // A circle of two half arcs about a point inside it, in both directions.
  const ContourElement circle[2] = {contMakeArc(0, 0, 5, 0, -5, 0, 5, 1, 0),
                                    contMakeArc(0, 0, -5, 0, 5, 0, 5, 1, 0)};
  EXPECT_EQ(contWinding(circle, 2, Point2D{0, 0}), 1);
  EXPECT_EQ(contWinding(circle, 2, Point2D{4, 1}), 1);
  EXPECT_EQ(contWinding(circle, 2, Point2D{6, 0}), 0);
  const ContourElement circleCw[2] = {contMakeArc(0, 0, 5, 0, -5, 0, 5, -1, 0),
                                      contMakeArc(0, 0, -5, 0, 5, 0, 5, -1, 0)};
  EXPECT_EQ(contWinding(circleCw, 2, Point2D{0, 0}), -1);
  EXPECT_EQ(contWinding(circleCw, 2, Point2D{-1, -4}), -1);
}

// Orientation against the sign of the exact area; reversal flips it and twice restores the
// contour bit for bit.
TEST_F(ContourGeomTest, OrientationMatchesTheExactAreaAndReversal) {
  std::mt19937 rng(21);
  for (int k = 0; k < 200; ++k) {
    pocktest::SampledContour c = pocktest::randomContour(rng, k % 3 != 0);
    const int n = static_cast<int>(c.elements.size());
    const int sign = c.area > 0 ? 1 : -1;
    ASSERT_EQ(contOrientation(c.elements.data(), n), sign) << "contour " << k;
    std::vector<ContourElement> copy = c.elements;
    contReverse(copy.data(), n);
    ASSERT_EQ(contOrientation(copy.data(), n), -sign);
    // The reversed contour is the same path backwards.
    for (int i = 0; i < n; ++i) {
      Point2D s{}, e{};
      contElemPoint(copy[i], &s, 1);
      contElemPoint(c.elements[n - 1 - i], &e, 2);
      ASSERT_EQ(s.x, e.x);
      ASSERT_EQ(s.y, e.y);
      ASSERT_NEAR(contElemLength(copy[i]), contElemLength(c.elements[n - 1 - i]), 1e-9);
    }
    contReverse(copy.data(), n);
    ASSERT_EQ(std::memcmp(copy.data(), c.elements.data(), n * sizeof(ContourElement)), 0);
    // Rotating the start does not change the orientation.
    contRotateFirstToEnd(n, copy.data());
    ASSERT_EQ(std::memcmp(&copy[n - 1], &c.elements[0], sizeof(ContourElement)), 0);
    ASSERT_EQ(contOrientation(copy.data(), n), sign);
    EXPECT_EQ(contShoelaceSign(c.elements.data(), n) * sign >= 0, true);
  }
}

TEST_F(ContourGeomTest, OrientationEdgeCases) {
  const ContourElement line = contMakeLine(0, 0, 1, 0, 0);
  EXPECT_EQ(contOrientation(&line, 1), 0);
  const ContourElement ccwCircle = contMakeArc(0, 0, 5, 0, 5, 0, 5, 1, 0);
  EXPECT_EQ(contOrientation(&ccwCircle, 1), 1);
  const ContourElement cwCircle = contMakeArc(0, 0, 5, 0, 5, 0, 5, -1, 0);
  EXPECT_EQ(contOrientation(&cwCircle, 1), -1);
  const ContourElement square[4] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 10, 10, 0),
                                    contMakeLine(10, 10, 0, 10, 0), contMakeLine(0, 10, 0, 0, 0)};
  EXPECT_EQ(contOrientation(square, 4), 1);
  EXPECT_EQ(contOrientation(square, 0), 0);
  // Two half circles; two elements whose middles are closer than 0.02 x R (a line there and back).
  const ContourElement halves[2] = {contMakeArc(0, 0, 5, 0, -5, 0, 5, -1, 0),
                                    contMakeArc(0, 0, -5, 0, 5, 0, 5, -1, 0)};
  EXPECT_EQ(contOrientation(halves, 2), -1);
  const ContourElement thereAndBack[2] = {contMakeLine(0, 0, 0.09, 0, 0),
                                          contMakeLine(0.09, 0, 0, 0, 0)};
  EXPECT_EQ(contOrientation(thereAndBack, 2), 0);
  // A thin triangle is undecided; a fat one is not.
  const ContourElement thin[3] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 5, 0.00005, 0),
                                  contMakeLine(5, 0.00005, 0, 0, 0)};
  EXPECT_EQ(contTriangleThin(3, thin), 1);
  EXPECT_EQ(contOrientation(thin, 3), 0);
  const ContourElement fat[3] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 5, 5, 0),
                                 contMakeLine(5, 5, 0, 0, 0)};
  EXPECT_EQ(contTriangleThin(3, fat), 0);
  EXPECT_EQ(contOrientation(fat, 3), 1);
  EXPECT_EQ(contTriangleThin(4, square), 0);
  // A degenerate tangent leaves the orientation undecided.
  const ContourElement withNull[4] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 10, 0, 0),
                                      contMakeLine(10, 0, 0, 10, 0), contMakeLine(0, 10, 0, 0, 0)};
  EXPECT_EQ(contOrientation(withNull, 4), 0);
}

TEST_F(ContourGeomTest, ReverseOfAnOddCountFlipsTheMiddleArcOnce) {
  ContourElement c[3] = {contMakeLine(10, 0, 5, 0, 1), contMakeArc(0, 0, 5, 0, -5, 0, 5, 1, 2),
                         contMakeLine(-5, 0, -10, 0, 3)};
  contReverse(c, 3);
  EXPECT_EQ(c[0].tag, 3);
  EXPECT_EQ(c[0].p0, -10);
  EXPECT_EQ(c[1].dir, -1);
  EXPECT_EQ(c[1].p2, -5);
  EXPECT_EQ(c[1].p4, 5);
  EXPECT_EQ(c[2].p2, 10);
  contSetTags(c, 3, 8);
  EXPECT_EQ(c[0].tag, 8);
  c[1].tag = -1;
  c[2].tag = -2;
  contSetTags(c, 3, 4);
  EXPECT_EQ(c[0].tag, 4);
  EXPECT_EQ(c[1].tag, -1);
  EXPECT_EQ(c[2].tag, -2);
}

// Corner classes with the tolerances of each case.
TEST_F(ContourGeomTest, CornerClassTable) {
  const ContourElement east = contMakeLine(0, 0, 10, 0, 0);
  // An arc ending at (0, 0) heading east: centre (0, 5), from (-5, 5), counter-clockwise.
  const ContourElement arcEast = contMakeArc(0, 5, -5, 5, 0, 0, 5, 1, 0);
  // Lines leaving (0, 0) with a slope of 0.01 (cross product about 0.01).
  const ContourElement slope50 = contMakeLine(0, 0, 50, 0.5, 0);
  const ContourElement slope150 = contMakeLine(0, 0, 150, 1.5, 0);
  // Reversals into arcs: from (10, 0) heading west, bending right (north) or left (south).
  const ContourElement backRight = contMakeArc(10, 5, 10, 0, 5, 5, 5, -1, 0);
  const ContourElement backLeft = contMakeArc(10, -5, 10, 0, 5, -5, 5, 1, 0);
  // agrees: the answer of contCornerAgrees with the right class (1 only where the chords point
  // against each other).
  struct Case {
    const char* name;
    ContourElement prev, next;
    int result, cls;
    double cornerFactor;
    int offsetStrict, openPocket, agrees;
  };
  const ContourElement lineIn = contMakeLine(-10, -0.1, 0, 0, 0);
  const ContourElement arcNorth = contMakeArc(0, 5, 0, 0, 5, 5, 5, 1, 0);
  const Case cases[] = {
      {"Straight", east, contMakeLine(10, 0, 20, 0, 0), 1, 0, 1, 1, 0, 0},
      {"Left", east, contMakeLine(10, 0, 10, 5, 0), 1, 1, 1, 1, 0, 0},
      {"Right", east, contMakeLine(10, 0, 10, -5, 0), 1, -1, 1, 1, 0, 0},
      {"SlightLeft", east, contMakeLine(10, 0, 20, 0.1, 0), 1, 1, 1, 1, 0, 0},
      {"WithinTolerance", east, contMakeLine(10, 0, 20, 0.04, 0), 1, 0, 1, 1, 0, 0},
      {"Reversal", east, contMakeLine(10, 0, 0, 0, 0), 1, -2, 1, 1, 0, 1},
      {"ReversalIntoArcBendingRight", east, backRight, 1, 1, 1, 1, 0, 1},
      {"ReversalIntoArcBendingLeft", east, backLeft, 1, -1, 1, 1, 0, 1},
      {"OpenPocketKeepsTheReversal", east, backRight, 1, -2, 1, 1, 1, 1},
      {"ArcIntoShortLine", arcEast, slope50, 1, 1, 1, 1, 0, 0},
      {"ArcIntoLongLine", arcEast, slope150, 1, 0, 1, 1, 0, 0},
      {"CornerFactorTen", east, contMakeLine(10, 0, 60, 0.5, 0), 1, 0, 10, 1, 0, 0},
      {"LineIntoArcLenient", lineIn, arcNorth, 1, 0, 1, 0, 0, 0},
      {"LineIntoArcStrict", lineIn, arcNorth, 1, -1, 1, 1, 0, 0},
      {"NullNext", east, contMakeLine(10, 0, 10, 0, 0), 0, 77, 1, 1, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pockEngine().contCornerFactor = c.cornerFactor;
    pockEngine().offsetStrict = c.offsetStrict;
    pockEngine().pockStrategyOpenPocket = c.openPocket;
    int cls = 77;
    EXPECT_EQ(contCornerType(c.prev, c.next, &cls), c.result);
    EXPECT_EQ(cls, c.cls);
    EXPECT_EQ(contCornerAgrees(c.prev, c.next, c.cls), c.agrees);
    EXPECT_EQ(contCornerAgrees(c.prev, c.next, c.cls == 1 ? -1 : 1), 1);
  }
}

TEST_F(ContourGeomTest, HalfTurnTable) {
  const ContourElement line = contMakeLine(0, 0, 1, 0, 0);
  const ContourElement ccw5 = contMakeArc(0, 0, 5, 0, 0, 5, 5, 1, 0);
  const ContourElement ccw3 = contMakeArc(0, 0, 3, 0, 0, 3, 3, 1, 0);
  const ContourElement cw5 = contMakeArc(0, 0, 0, 5, 5, 0, 5, -1, 0);
  const ContourElement cw3 = contMakeArc(0, 0, 0, 3, 3, 0, 3, -1, 0);
  ContourElement other = line;
  other.type = 9;
  EXPECT_EQ(contHalfTurn(line, line), kPi);
  EXPECT_EQ(contHalfTurn(line, ccw5), -kPi);
  EXPECT_EQ(contHalfTurn(cw5, line), kPi);
  EXPECT_EQ(contHalfTurn(ccw5, ccw3), -kPi);
  EXPECT_EQ(contHalfTurn(cw5, cw3), kPi);
  EXPECT_EQ(contHalfTurn(ccw5, cw3), kPi);   // ccw radius not smaller
  EXPECT_EQ(contHalfTurn(cw5, ccw3), -kPi);  // ccw radius smaller by more than 0.0001
  const ContourElement ccwAlmost = contMakeArc(0, 0, 4.99995, 0, 0, 4.99995, 4.99995, 1, 0);
  EXPECT_EQ(contHalfTurn(ccwAlmost, cw5), kPi);
  EXPECT_EQ(contHalfTurn(other, line), kPi);
}

TEST_F(ContourGeomTest, ShoelaceSign) {
  const ContourElement square[4] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 10, 10, 0),
                                    contMakeLine(10, 10, 0, 10, 0), contMakeLine(0, 10, 0, 0, 0)};
  EXPECT_EQ(contShoelaceSign(square, 4), 1);
  ContourElement rev[4];
  std::memcpy(rev, square, sizeof rev);
  contReverse(rev, 4);
  EXPECT_EQ(contShoelaceSign(rev, 4), -1);
  EXPECT_EQ(contShoelaceSign(square, 1), 0);
  const ContourElement flat[2] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 0, 0, 0)};
  EXPECT_EQ(contShoelaceSign(flat, 2), 0);
}

TEST_F(ContourGeomTest, PointOnElementDispatch) {
  EXPECT_EQ(contPointOnElem(Point2D{5, 3}, contMakeLine(0, 0, 10, 0, 0)), 1);  // distance untested
  EXPECT_EQ(contPointOnElem(Point2D{11, 0}, contMakeLine(0, 0, 10, 0, 0)), 0);
  EXPECT_EQ(contPointOnElem(Point2D{3, 3}, contMakeArc(0, 0, 10, 0, 0, 10, 10, 1, 0)), 1);
  EXPECT_EQ(contPointOnElem(Point2D{3, -3}, contMakeArc(0, 0, 10, 0, 0, 10, 10, 1, 0)), 0);
  ContourElement bad = contMakeLine(0, 0, 10, 0, 0);
  bad.type = 5;
  EXPECT_EQ(contPointOnElem(Point2D{5, 0}, bad), 0);
}
}  // namespace
