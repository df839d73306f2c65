// Intersections: random line-circle and circle-circle pairs away from the tolerance bands against
// the discriminant in long double; segment pairs on integer coordinates against exact orientation
// predicates; the same-circle arc codes; the slack of the point-in-segment and point-on-arc tests;
// and the intersection record sorted by the crossing order.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/lst_sort.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"

namespace {
constexpr double kPi = std::numbers::pi;

class IsectTest : public ::testing::Test {
 protected:
  void SetUp() override { pockRunReset(); }
  void TearDown() override { pockRunReset(); }
};

ContourElement circle(double cx, double cy, double r) {
  return contMakeArc(cx, cy, cx + r, cy, cx + r, cy, r, 1, 0);
}
ContourElement arcDeg(double r, double fromDeg, double toDeg, int dir) {
  const double a = fromDeg * kPi / 180, b = toDeg * kPi / 180;
  return contMakeArc(0, 0, r * std::cos(a), r * std::sin(a), r * std::cos(b), r * std::sin(b), r,
                     dir, 0);
}

long double lineDistance(const Seg2D& s, long double px, long double py) {
  const long double dx = static_cast<long double>(s.x2) - s.x1,
                    dy = static_cast<long double>(s.y2) - s.y1;
  return std::fabs((px - s.x1) * dy - (py - s.y1) * dx) / std::sqrt(dx * dx + dy * dy);
}

TEST_F(IsectTest, LineCircleMatchesTheDiscriminant) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-100, 100), ur(1, 50);
  int counts[3] = {0, 0, 0};
  for (int k = 0; k < 4000; ++k) {
    const ContourElement c = circle(u(rng), u(rng), ur(rng));
    Seg2D s{u(rng), u(rng), u(rng), u(rng)};
    if (k % 10 == 0) s.x2 = s.x1;  // exactly vertical lines too
    if (s.x1 != s.x2 && std::fabs(s.x2 - s.x1) < 0.01) continue;
    const long double d = lineDistance(s, c.p0, c.p1);
    const long double gap = static_cast<long double>(c.radius) - d;
    if (std::fabs(gap) < 1e-3L) continue;  // the tangent band
    const int expected = gap > 0 ? 2 : 0;
    Point2D p[2] = {{7, 7}, {7, 7}};
    const int n = isectLineCircle(s, c, p);
    ASSERT_EQ(n, expected) << k;
    ++counts[n];
    const double scale = 1e-9 * (std::fabs(c.p0) + std::fabs(c.p1) + c.radius + 100);
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(std::hypot(p[i].x - c.p0, p[i].y - c.p1), c.radius, scale) << k;
      EXPECT_NEAR(static_cast<double>(lineDistance(s, p[i].x, p[i].y)), 0.0, scale) << k;
    }
    if (n == 2) {
      if (s.x1 == s.x2) {
        EXPECT_LT(p[0].y, p[1].y);
      } else {
        EXPECT_LT(p[0].x, p[1].x);
      }
    }
  }
  EXPECT_GT(counts[0], 500);
  EXPECT_GT(counts[2], 500);
}

TEST_F(IsectTest, LineCircleSpecialCases) {
  Point2D p[2] = {};
  // A line at distance r from the centre: 1 and the foot.
  EXPECT_EQ(isectLineCircle(Seg2D{-10, 5, 10, 5}, circle(0, 0, 5), p), 1);
  EXPECT_NEAR(p[0].x, 0, 1e-12);
  EXPECT_NEAR(p[0].y, 5, 1e-12);
  EXPECT_EQ(isectLineCircle(Seg2D{3, -10, 7, 10}, circle(5, 0, 5), p), 2);
  // Nearly horizontal: y interpolated along the segment.
  EXPECT_EQ(isectLineCircle(Seg2D{-10, 0, 10, 0.0001}, circle(0, 0, 5), p), 2);
  EXPECT_NEAR(p[0].x, -5, 1e-6);
  EXPECT_NEAR(p[0].y, 0.0001 * 5 / 20, 1e-9);
  EXPECT_NEAR(p[1].x, 5, 1e-6);
  // Falling line: the smaller x goes with the larger y.
  EXPECT_EQ(isectLineCircle(Seg2D{-10, 10, 10, -10}, circle(0, 0, 5), p), 2);
  EXPECT_LT(p[0].x, 0);
  EXPECT_GT(p[0].y, 0);
  EXPECT_EQ(isectLineCircle(Seg2D{-10, 6, 10, 6}, circle(0, 0, 5), p), 0);
}

TEST_F(IsectTest, CircleCircleMatchesTheDiscriminant) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> u(-60, 60), ur(1, 60);
  int counts[3] = {0, 0, 0};
  for (int k = 0; k < 4000; ++k) {
    ContourElement a = circle(u(rng), u(rng), ur(rng));
    ContourElement b = circle(u(rng), u(rng), ur(rng));
    if (k % 10 == 0) b.p1 = a.p1;  // a vertical radical line
    const long double dx = static_cast<long double>(b.p0) - a.p0,
                      dy = static_cast<long double>(b.p1) - a.p1;
    const long double d = std::sqrt(dx * dx + dy * dy);
    const long double sum = static_cast<long double>(a.radius) + b.radius;
    const long double diff = std::fabs(static_cast<long double>(a.radius) - b.radius);
    if (std::fabs(d - sum) < 1e-3L || std::fabs(d - diff) < 1e-3L) continue;
    const int expected = (d < sum && d > diff) ? 2 : 0;
    Point2D p[2] = {};
    const int n = isectCircleCircle(a, b, p);
    ASSERT_EQ(n, expected) << k;
    ++counts[n];
    const double scale = 1e-9 * (std::fabs(a.p0) + std::fabs(a.p1) + a.radius + b.radius + 100);
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(std::hypot(p[i].x - a.p0, p[i].y - a.p1), a.radius, scale) << k;
      EXPECT_NEAR(std::hypot(p[i].x - b.p0, p[i].y - b.p1), b.radius, scale) << k;
    }
    if (n == 2) {
      if (b.p1 == a.p1) {
        EXPECT_LT(p[0].y, p[1].y);
      } else {
        EXPECT_LE(p[0].x, p[1].x);
      }
    }
  }
  EXPECT_GT(counts[0], 500);
  EXPECT_GT(counts[2], 500);
}

TEST_F(IsectTest, CircleCircleSpecialCases) {
  Point2D p[2] = {};
  // Equal circles with different start and end points on them; concentric circles.
  EXPECT_EQ(isectCircleCircle(arcDeg(5, 0, 90, 1), arcDeg(5, 200, 300, -1), p), -1);
  EXPECT_EQ(isectCircleCircle(circle(0, 0, 5), circle(0, 0, 3), p), 0);
  // Touching from outside and from inside, either circle the larger.
  EXPECT_EQ(isectCircleCircle(circle(0, 0, 5), circle(8, 0, 3), p), 1);
  EXPECT_NEAR(p[0].x, 5, 1e-12);
  EXPECT_EQ(isectCircleCircle(circle(0, 0, 5), circle(2, 0, 3), p), 1);
  EXPECT_NEAR(p[0].x, 5, 1e-12);
  EXPECT_EQ(isectCircleCircle(circle(2, 0, 3), circle(0, 0, 5), p), 1);
  EXPECT_NEAR(p[0].x, 5, 1e-12);
  EXPECT_EQ(isectCircleCircle(circle(0, 0, 5), circle(20, 0, 3), p), 0);
  EXPECT_EQ(isectCircleCircle(circle(0, 0, 5), circle(1, 0, 3), p), 0);
}

// Integer segments against exact orientation predicates: crossings, T, end to end, collinear
// touching (1), overlapping (-1, output untouched) and apart (0).
TEST_F(IsectTest, SegmentsMatchExactPredicates) {
  std::mt19937 rng(29);
  std::uniform_int_distribution<int> u(0, 6);
  auto orient = [](long ax, long ay, long bx, long by, long cx, long cy) {
    const long v = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
    return (v > 0) - (v < 0);
  };
  int seen[4] = {0, 0, 0, 0};  // -1, 0, 1 crossing, 1 collinear touch
  for (int k = 0; k < 40000; ++k) {
    const long ax = u(rng), ay = u(rng), bx = u(rng), by = u(rng);
    const long cx = u(rng), cy = u(rng), dx = u(rng), dy = u(rng);
    if ((ax == bx && ay == by) || (cx == dx && cy == dy)) continue;
    const Seg2D a{double(ax), double(ay), double(bx), double(by)};
    const Seg2D b{double(cx), double(cy), double(dx), double(dy)};
    const int o1 = orient(ax, ay, bx, by, cx, cy), o2 = orient(ax, ay, bx, by, dx, dy);
    const int o3 = orient(cx, cy, dx, dy, ax, ay), o4 = orient(cx, cy, dx, dy, bx, by);
    int expected = 0;
    double ex = 0, ey = 0;
    if (o1 == 0 && o2 == 0) {
      const bool alongY = std::labs(ay - by) > std::labs(ax - bx);
      auto t = [alongY](long x, long y) { return alongY ? y : x; };
      const long aLo = std::min(t(ax, ay), t(bx, by)), aHi = std::max(t(ax, ay), t(bx, by));
      const long bLo = std::min(t(cx, cy), t(dx, dy)), bHi = std::max(t(cx, cy), t(dx, dy));
      const long overlap = std::min(aHi, bHi) - std::max(aLo, bLo);
      expected = overlap > 0 ? -1 : (overlap == 0 ? 1 : 0);
      if (overlap == 0) {  // the shared end
        const long at = std::max(aLo, bLo);
        if (t(ax, ay) == at) {
          ex = ax;
          ey = ay;
        } else if (t(bx, by) == at) {
          ex = bx;
          ey = by;
        }
      }
      seen[expected == 1 ? 3 : expected + 1]++;
    } else if (o1 * o2 <= 0 && o3 * o4 <= 0) {
      expected = 1;
      const double den = double((bx - ax) * (dy - cy) - (by - ay) * (dx - cx));
      const double tt = double((cx - ax) * (dy - cy) - (cy - ay) * (dx - cx)) / den;
      ex = ax + tt * (bx - ax);
      ey = ay + tt * (by - ay);
      seen[2]++;
    } else {
      seen[1]++;
    }
    Point2D p{-99, -99};
    ASSERT_EQ(isectSegments(a, b, &p), expected)
        << ax << " " << ay << " " << bx << " " << by << " / " << cx << " " << cy << " " << dx << " "
        << dy;
    if (expected == 1) {
      EXPECT_NEAR(p.x, ex, 1e-9);
      EXPECT_NEAR(p.y, ey, 1e-9);
    } else {
      EXPECT_EQ(p.x, -99);
      EXPECT_EQ(p.y, -99);
    }
  }
  for (int s : seen) EXPECT_GT(s, 20);
}

TEST_F(IsectTest, LinesAndFeet) {
  Point2D p{};
  EXPECT_EQ(isectLineLine(Seg2D{0, 0, 1, 0}, Seg2D{5, -1, 5, 1}, &p), 1);
  EXPECT_NEAR(p.x, 5, 1e-12);
  EXPECT_EQ(isectLineLine(Seg2D{0, 0, 1, 0}, Seg2D{0, 1, 1, 1}, &p), 0);
  EXPECT_EQ(isectLineLine(Seg2D{0, 0, 1, 0}, Seg2D{5, 0, 3, 0}, &p), -1);
  // A segment of length 0 has no line: its normal divided by 0 and gave a point of NaNs.
  p = Point2D{4, 4};
  EXPECT_EQ(isectLineLine(Seg2D{1, 1, 1, 1}, Seg2D{0, 0, 2, 2}, &p), 0);
  EXPECT_EQ(isectSegments(Seg2D{0, 0, 2, 2}, Seg2D{1, 1, 1, 1}, &p), 0);
  EXPECT_EQ(p.x, 4);
  double fx = 0, fy = 0;
  EXPECT_EQ(isectFootOnLine(Seg2D{0, 0, 10, 0}, 3, 4, &fx, &fy), 1);
  EXPECT_EQ(fx, 3);
  EXPECT_EQ(fy, 0);
  EXPECT_EQ(isectFootOnLine(Seg2D{0, 0, 0.005, 0.005}, 3, 4, &fx, &fy), 0);
  EXPECT_EQ(fx, 0.005);
  EXPECT_DOUBLE_EQ(isectPointSegDistance(3, 4, Seg2D{0, 0, 0.005, 0}), 5);
  EXPECT_DOUBLE_EQ(isectPointSegDistance(3, 4, Seg2D{-10, 0, -5, 0}), 4);
}

TEST_F(IsectTest, NumberComparisons) {
  EXPECT_EQ(isectNear(1, 1.0049), 1);
  EXPECT_EQ(isectNear(1, 1.0051), 0);
  EXPECT_EQ(isectGreater(1, 1.00011), 1);
  EXPECT_EQ(isectGreater(1, 1.00009), 0);
  EXPECT_EQ(isectGreaterCoarse(1, 1.0011), 1);
  EXPECT_EQ(isectGreaterCoarse(1, 1.0009), 0);
  EXPECT_EQ(isectNotLess(1, 0.99991), 1);
  EXPECT_EQ(isectNotLess(1, 0.99989), 0);
}

// The slack of isectPointOnSegment: 0.0002 in the fraction times L = 1 + int(0.1 length), halved
// once the scale factor is 5 or more; horizontal segments also bound x.
TEST_F(IsectTest, PointOnSegmentSlackTable) {
  struct Case {
    const char* name;
    Seg2D seg;
    Point2D p;
    double scale;
    int result;
  };
  const Case cases[] = {
      {"Len5Inside", {0, 0, 5, 0.001}, {5.0009, 0}, 1, 1},
      {"Len5Outside", {0, 0, 5, 0.001}, {5.0011, 0}, 1, 0},
      {"Len5BeforeStart", {0, 0, 5, 0.001}, {-0.0009, 0}, 1, 1},
      {"Len5WellBeforeStart", {0, 0, 5, 0.001}, {-0.0011, 0}, 1, 0},
      {"Len25Inside", {0, 0, 25, 0.001}, {25.0016, 0}, 1, 1},
      {"Len25Outside", {0, 0, 25, 0.001}, {25.0017, 0}, 1, 0},
      {"Reversed", {25, 0.001, 0, 0}, {-0.0016, 0}, 1, 1},
      {"HorizontalBoundsX", {0, 0, 5, 0}, {5.0009, 0}, 1, 0},
      {"HorizontalWithinB", {0, 0, 5, 0}, {5.00019, 0}, 1, 1},
      {"ScaledLen5Inside", {0, 0, 5, 0.001}, {5.0004, 0}, 25, 1},
      {"ScaledLen5Outside", {0, 0, 5, 0.001}, {5.0006, 0}, 25, 0},
      {"AlongY", {0, 0, 0.001, 5}, {0, 5.0009}, 1, 1},
      {"AlongYOutside", {0, 0, 0.001, 5}, {0, 5.0011}, 1, 0},
      {"FarFromTheLine", {0, 0, 5, 0.001}, {2.5, 100}, 1, 1},
      {"NullSegmentNear", {1, 1, 1, 1}, {1.0001, 0.9999}, 1, 1},
      {"NullSegmentFar", {1, 1, 1, 1}, {1.001, 1}, 1, 0},
  };
  for (const Case& c : cases) {
    pockEngine().scaleFactor = c.scale;
    EXPECT_EQ(isectPointOnSegment(c.p, c.seg), c.result) << c.name;
  }
}

TEST_F(IsectTest, PointOnArcWindow) {
  const ContourElement quarter = arcDeg(10, 0, 90, 1);
  auto at = [](double r, double deg) {
    return Point2D{r * std::cos(deg * kPi / 180), r * std::sin(deg * kPi / 180)};
  };
  const double slackDeg = 0.0001 / 10 * 180 / kPi;  // radius x angle slack 0.0001
  EXPECT_EQ(isectPointOnArc(at(10, 45), quarter), 1);
  EXPECT_EQ(isectPointOnArc(at(3, 45), quarter), 1);  // the radius is not tested
  EXPECT_EQ(isectPointOnArc(at(10, 90 + 0.5 * slackDeg), quarter), 1);
  EXPECT_EQ(isectPointOnArc(at(10, 90 + 2 * slackDeg), quarter), 0);
  EXPECT_EQ(isectPointOnArc(at(10, -0.5 * slackDeg), quarter), 1);
  EXPECT_EQ(isectPointOnArc(at(10, -2 * slackDeg), quarter), 0);
  EXPECT_EQ(isectPointOnArc(at(10, 180), quarter), 0);
  // The same window clockwise, the complement window, and a window across 0 degrees.
  EXPECT_EQ(isectPointOnArc(at(10, 45), arcDeg(10, 90, 0, -1)), 1);
  EXPECT_EQ(isectPointOnArc(at(10, 45), arcDeg(10, 0, 90, -1)), 0);
  EXPECT_EQ(isectPointOnArc(at(10, 200), arcDeg(10, 0, 90, -1)), 1);
  EXPECT_EQ(isectPointOnArc(at(10, 350), arcDeg(10, 300, 30, 1)), 1);
  EXPECT_EQ(isectPointOnArc(at(10, 10), arcDeg(10, 300, 30, 1)), 1);
  EXPECT_EQ(isectPointOnArc(at(10, 100), arcDeg(10, 300, 30, 1)), 0);
  // An arc of radius 0.0005 contains no point.
  EXPECT_EQ(isectPointOnArc(at(0.0005, 45), arcDeg(0.0005, 0, 90, 1)), 0);
  // The window test of an angle range.
  EXPECT_EQ(isectAngleInWindow(at(10, 45), quarter, 0, kPi / 2), 1);
  EXPECT_EQ(isectAngleInWindow(at(10, 350), quarter, 5.5, 2 * kPi + 0.3), 1);
  EXPECT_EQ(isectAngleInWindow(at(10, 100), quarter, 0, kPi / 2), 0);
}

TEST_F(IsectTest, SegmentAndLineWithArcs) {
  Point2D p[2] = {};
  const ContourElement quarter = arcDeg(10, 0, 90, 1);
  // A line through the whole circle cuts the quarter once: the point moves into the first place.
  EXPECT_EQ(isectLineArc(Seg2D{-20, 5, 20, 5}, quarter, p), 1);
  EXPECT_NEAR(p[0].x, std::sqrt(75.0), 1e-9);
  EXPECT_EQ(isectSegmentCircle(Seg2D{-20, 5, 20, 5}, quarter, p), 2);
  EXPECT_EQ(isectSegmentCircle(Seg2D{0, 5, 20, 5}, quarter, p), 1);
  EXPECT_GT(p[0].x, 0);
  // Tangent on the segment (-1) and off it (0).
  EXPECT_EQ(isectSegmentCircle(Seg2D{-5, 10, 5, 10}, quarter, p), -1);
  EXPECT_EQ(isectSegmentCircle(Seg2D{1, 10, 5, 10}, quarter, p), 0);
  EXPECT_EQ(isectLineArc(Seg2D{-5, 10, 5, 10}, quarter, p), -1);
  EXPECT_EQ(isectLineArc(Seg2D{-5, -10, 5, -10}, quarter, p), 0);
  // Dispatch by type, both orders.
  const ContourElement line = contMakeLine(-20, 5, 20, 5, 0);
  EXPECT_EQ(isectElements(line, quarter, p), 1);
  EXPECT_EQ(isectElements(quarter, line, p), 1);
  EXPECT_EQ(isectElements(line, contMakeLine(0, -10, 0, 10, 0), p), 1);
  EXPECT_EQ(isectElements(quarter, arcDeg(10, 90, 180, 1), p), 1);
  ContourElement other = line;
  other.type = 4;
  EXPECT_EQ(isectElements(other, quarter, p), 0);
}

// Arcs of one circle: A runs counter-clockwise from 0 to 90 degrees.
TEST_F(IsectTest, SameCircleArcTable) {
  struct Case {
    const char* name;
    ContourElement b;
    int result;
    std::vector<Point2D> points;
  };
  const ContourElement a = arcDeg(10, 0, 90, 1);
  const Case cases[] = {
      {"MeetAtOneEnd", arcDeg(10, 90, 180, 1), 1, {{0, 10}}},
      {"MeetAtOneEndClockwise", arcDeg(10, 180, 90, -1), 1, {{0, 10}}},
      {"MeetBeforeTheStart", arcDeg(10, 270, 360, 1), 1, {{10, 0}}},
      {"CloseTheCircle", arcDeg(10, 90, 360, 1), 2, {{0, 10}, {10, 0}}},
      {"CloseTheCircleClockwise", arcDeg(10, 0, 90, -1), 2, {{0, 10}, {10, 0}}},
      {"Apart", arcDeg(10, 180, 270, 1), 0, {}},
      {"OneOverlap", arcDeg(10, 45, 135, 1), -2, {}},
      {"Inside", arcDeg(10, 30, 60, 1), -2, {}},
      {"MeetAndOverlap", arcDeg(10, 90, 390, 1), -3, {{0, 10}}},
      {"CoverBothEnds", arcDeg(10, 45, 380, 1), -4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Point2D p[2] = {{-7, -7}, {-7, -7}};
    EXPECT_EQ(isectArcArc(a, c.b, p), c.result);
    for (size_t i = 0; i < c.points.size(); ++i) {
      EXPECT_NEAR(p[i].x, c.points[i].x, 1e-9);
      EXPECT_NEAR(p[i].y, c.points[i].y, 1e-9);
    }
  }
  // Different circles: both points on both arcs, one, the tangent, none.
  Point2D p[2] = {};
  const ContourElement big =
      contMakeArc(10, 0, 0, 0, 20, 0, 10, -1, 0);  // upper half about (10, 0)
  EXPECT_EQ(isectArcArc(arcDeg(10, 0, 180, 1), big, p), 1);
  EXPECT_EQ(
      isectArcArc(arcDeg(10, 0, 360 - 1e-3, 1), contMakeArc(10, 0, 10, 10, 10, -10, 10, 1, 0), p),
      2);
  EXPECT_EQ(isectArcArc(arcDeg(10, 0, 90, 1), contMakeArc(15, 0, 5, 0, 25, 0, 10, 1, 0), p), 0);
  EXPECT_EQ(isectArcArc(arcDeg(10, -90, 90, 1), contMakeArc(15, 0, 10, 0, 15, 5, 5, -1, 0), p), -1);
}

TEST_F(IsectTest, ArcArcPointsTestsOnlyTheFirstWindow) {
  Point2D p[2] = {};
  const ContourElement a = arcDeg(10, 0, 90, 1);
  // Both crossings of the circle about (10, 10) lie in a's window, whatever b's window.
  const ContourElement b = contMakeArc(10, 10, 20, 10, 10, 20, 10, 1, 0);
  EXPECT_EQ(isectArcArcPoints(a, b, p), 2);
  EXPECT_EQ(isectArcArc(a, b, p), 0);
  EXPECT_EQ(isectArcArcPoints(a, arcDeg(10, 200, 300, 1), p), -2);
  // A tangent point outside a's window but within 0.05 of its end counts.
  const double e = 0.03;
  const ContourElement touching =
      circle(std::cos(kPi / 2 + e / 10) * 15, std::sin(kPi / 2 + e / 10) * 15, 5);
  EXPECT_EQ(isectArcArcPoints(a, touching, p), -1);
  const ContourElement touchingFar = circle(-15, 0, 5);
  EXPECT_EQ(isectArcArcPoints(a, touchingFar, p), 0);
  // Only the second point in the window: moved into the first place.
  EXPECT_EQ(isectArcArcPoints(arcDeg(10, 0, 30, 1), circle(10, 0, 3.5), p), 1);
  EXPECT_GT(p[0].y, 0);
  // Two points of circles whose centres lie rA + rB apart within 0.0001 give their middle; reached
  // when the intersection tolerance is finer than that.
  pockEngine().isectTol = 1e-7;
  EXPECT_EQ(isectArcArcPoints(arcDeg(10, -45, 45, 1), circle(14.99995, 0, 5), p), -1);
  EXPECT_NEAR(p[0].x, 10, 1e-4);
  EXPECT_NEAR(p[0].y, 0, 1e-12);
}

// The record sorts with the crossing order of the segment contours: by element, then position.
TEST_F(IsectTest, RecordsSortByElementAndParameter) {
  std::vector<IntersectionRecord> r = {{1, 1, 0.5, 2, 1, 0, 0},
                                       {2, 2, 0.25, 2, 3, 0, 0},
                                       {3, 3, 0.9, 1, 2, 2, 0},
                                       {4, 4, 0.1, 3, 1, 0, 0}};
  ASSERT_EQ(lstSort(r.data(), static_cast<int>(r.size()), sizeof(IntersectionRecord),
                    [](const void* a, const void* b) {
                      return segCmpCrossing(
                          isectAsCrossing(*static_cast<const IntersectionRecord*>(a)),
                          isectAsCrossing(*static_cast<const IntersectionRecord*>(b)));
                    }),
            1);
  EXPECT_EQ(r[0].x, 3);
  EXPECT_EQ(r[1].x, 2);
  EXPECT_EQ(r[2].x, 1);
  EXPECT_EQ(r[3].x, 4);
  IntersectionRecord* table = isectRecords();
  table[kIsectRecordMax - 1].state = 2;
  EXPECT_EQ(isectRecords()[kIsectRecordMax - 1].state, 2);
}
}  // namespace
