// Element operations: points, tangents and normals of lines and arcs, the angle and turn rules,
// sweep and length against the arcs' known sweeps and dense samples, point order along an element
// and the point and closure tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

#include "contour_fixtures.h"
#include "pocket/contour_element.h"
#include "pocket/engine_state.h"

namespace {
constexpr double kPi = std::numbers::pi;

class ContourElementTest : public ::testing::Test {
 protected:
  void SetUp() override { pockRunReset(); }
  void TearDown() override { pockRunReset(); }
};

// Quarter circle about the origin, radius 10, from (10, 0) to (0, 10), counter-clockwise.
ContourElement quarterCcw() { return contMakeArc(0, 0, 10, 0, 0, 10, 10, 1, 0); }

TEST_F(ContourElementTest, MadeElementsAreZeroFilled) {
  ContourElement a = contMakeLine(1, 2, 3, 4, 5);
  ContourElement b;
  std::memset(&b, 0xff, sizeof b);
  b = contMakeLine(1, 2, 3, 4, 5);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  EXPECT_EQ(a.p4, 0.0);
  EXPECT_EQ(a.radius, 0.0);
  EXPECT_EQ(a.dir, 0);
  ContourElement c;
  std::memset(&c, 0xff, sizeof c);
  c = contMakeArc(1, 2, 3, 4, 5, 6, 7, -1, -2);
  ContourElement d = contMakeArc(1, 2, 3, 4, 5, 6, 7, -1, -2);
  EXPECT_EQ(std::memcmp(&c, &d, sizeof c), 0);
}

TEST_F(ContourElementTest, PointsOfLinesAndArcs) {
  const ContourElement line = contMakeLine(1, 2, 5, 8, 0);
  Point2D p{};
  ASSERT_EQ(contElemPoint(line, &p, 1), 1);
  EXPECT_EQ(p.x, 1);
  ASSERT_EQ(contElemPoint(line, &p, 2), 1);
  EXPECT_EQ(p.y, 8);
  ASSERT_EQ(contElemPoint(line, &p, 3), 1);
  EXPECT_EQ(p.x, 3);
  EXPECT_EQ(p.y, 5);
  EXPECT_EQ(contElemPoint(line, &p, 4), 0);
  const ContourElement arc = quarterCcw();
  ASSERT_EQ(contElemPoint(arc, &p, 3), 1);
  EXPECT_NEAR(p.x, 10 * std::cos(kPi / 4), 1e-12);
  EXPECT_NEAR(p.y, 10 * std::sin(kPi / 4), 1e-12);
  // A clockwise arc from (0, 10) to (10, 0) and one crossing the +x axis share the window rule.
  ASSERT_EQ(contElemPoint(contMakeArc(0, 0, 0, 10, 10, 0, 10, -1, 0), &p, 3), 1);
  EXPECT_NEAR(p.x, 10 * std::cos(kPi / 4), 1e-12);
  ASSERT_EQ(contElemPoint(contMakeArc(0, 0, 0, -10, 0, 10, 10, 1, 0), &p, 3), 1);
  EXPECT_NEAR(p.x, 10, 1e-12);
  EXPECT_NEAR(p.y, 0, 1e-12);
  ContourElement other = line;
  other.type = 3;
  p = Point2D{-7, -7};
  EXPECT_EQ(contElemPoint(other, &p, 1), 0);
  EXPECT_EQ(p.x, -7);
}

TEST_F(ContourElementTest, SetEndpointMovesTheArcRadius) {
  ContourElement arc = quarterCcw();
  ASSERT_EQ(contElemSetEndpoint(&arc, Point2D{0, 12}, 2), 1);
  EXPECT_EQ(arc.p4, 0);
  EXPECT_EQ(arc.p5, 12);
  EXPECT_EQ(arc.radius, 12);
  ContourElement line = contMakeLine(0, 0, 1, 1, 0);
  ASSERT_EQ(contElemSetEndpoint(&line, Point2D{-3, -4}, 1), 1);
  EXPECT_EQ(line.p0, -3);
  EXPECT_EQ(line.p1, -4);
  ContourElement bad = line;
  bad.type = 0;
  EXPECT_EQ(contElemSetEndpoint(&bad, Point2D{9, 9}, 1), 0);
}

TEST_F(ContourElementTest, TangentsAndNormals) {
  Point2D t{};
  ASSERT_EQ(contElemDirection(contMakeLine(0, 0, 3, 4, 0), &t, 2), 1);
  EXPECT_DOUBLE_EQ(t.x, 0.6);
  EXPECT_DOUBLE_EQ(t.y, 0.8);
  ASSERT_EQ(contElemDirection(quarterCcw(), &t, 1), 1);  // at (10, 0) going up
  EXPECT_NEAR(t.x, 0, 1e-15);
  EXPECT_NEAR(t.y, 1, 1e-15);
  ASSERT_EQ(contElemDirection(quarterCcw(), &t, 2), 1);  // at (0, 10) going left
  EXPECT_NEAR(t.x, -1, 1e-15);
  const ContourElement cw = contMakeArc(0, 0, 0, 10, 10, 0, 10, -1, 0);
  ASSERT_EQ(contElemDirection(cw, &t, 1), 1);  // at (0, 10) going right
  EXPECT_NEAR(t.x, 1, 1e-15);
  // Degenerate tangents fail and leave the output.
  t = Point2D{5, 5};
  EXPECT_EQ(contElemDirection(contMakeLine(1, 1, 1 + 5e-8, 1, 0), &t, 1), 0);
  EXPECT_EQ(contElemDirection(contMakeArc(0, 0, 0, 0, 1, 0, 1, 1, 0), &t, 1), 0);
  EXPECT_EQ(t.x, 5);

  Point2D n{};
  ASSERT_EQ(contElemNormal(contMakeLine(0, 0, 2, 0, 0), &n, 1, 1), 1);
  EXPECT_EQ(n.y, 1);  // left
  ASSERT_EQ(contElemNormal(contMakeLine(0, 0, 2, 0, 0), &n, 1, -1), 1);
  EXPECT_EQ(n.y, -1);
  ASSERT_EQ(contElemNormal(quarterCcw(), &n, 1, 1), 1);  // ccw, left: toward the centre
  EXPECT_NEAR(n.x, -1, 1e-15);
  ASSERT_EQ(contElemNormal(quarterCcw(), &n, 1, -1), 1);
  EXPECT_NEAR(n.x, 1, 1e-15);
  ASSERT_EQ(contElemNormal(cw, &n, 2, 1), 1);  // cw, left: away from the centre, at (10, 0)
  EXPECT_NEAR(n.x, 1, 1e-15);
}

TEST_F(ContourElementTest, VectorAngleAndTurnRules) {
  EXPECT_EQ(contVectorAngle(0, 0), 0);
  EXPECT_EQ(contVectorAngle(1, 0), kPi / 2);
  EXPECT_EQ(contVectorAngle(-1, 1e-15), 3 * kPi / 2);
  EXPECT_DOUBLE_EQ(contVectorAngle(-1, -1), 5 * kPi / 4);
  EXPECT_DOUBLE_EQ(contVectorAngle(-1, 1), 7 * kPi / 4);
  EXPECT_DOUBLE_EQ(contVectorAngle(1, -1), 3 * kPi / 4);
  // A larger guard (the cycle's epsilon x 1e-8) widens the axis band.
  pockEngine().contAngleGuard = 1e-3;
  EXPECT_EQ(contVectorAngle(2, 5e-4), kPi / 2);
  pockResetSettings();
  // Turns: left positive, right negative, within (-pi, pi).
  EXPECT_DOUBLE_EQ(contTurnAngle(0, 0, 1, 0, 1, 1), kPi / 2);
  EXPECT_DOUBLE_EQ(contTurnAngle(0, 0, 1, 0, 1, -1), -kPi / 2);
  EXPECT_DOUBLE_EQ(contTurnAngle(0, 0, 1, -1, 2, 1), atan2(1.0, 0.5) + kPi / 4);
  EXPECT_DOUBLE_EQ(contTurnAngle(0, 1, 1, 0, 0, -1), -kPi / 2);  // across the 0 angle
  // Long vectors of slightly different direction whose cross product is below 0.0001 give 0.
  EXPECT_EQ(contTurnAngle(0, 0, 1000, 0, 2000, 9e-8), 0.0);
  EXPECT_NE(contTurnAngle(0, 0, 1000, 0, 2000, 1e-6), 0.0);
  // A reversal gives 0 as well: the cross product vanishes.
  EXPECT_EQ(contTurnAngle(0, 0, 1, 0, 0, 0), 0.0);
}

// Sweep and length of random arcs against their construction and their dense samples; lines by
// their chord.
TEST_F(ContourElementTest, SweepAndLengthOfRandomArcs) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-50, 50);
  std::uniform_real_distribution<double> sw(0.05, 3.1);
  for (int k = 0; k < 300; ++k) {
    const Point2D a{u(rng), u(rng)}, b{u(rng), u(rng)};
    const double theta = (k % 2 == 0 ? 1 : -1) * sw(rng);
    const ContourElement arc = pocktest::arcBySweep(a, b, theta);
    EXPECT_NEAR(contArcSweep(arc), theta, 1e-9);
    // The polygon of 4000 samples is shorter than the arc by about len x (sweep / 4000)^2 / 24.
    double len = 0;
    const double a0 = std::atan2(a.y - arc.p1, a.x - arc.p0);
    Point2D prev = a;
    for (int j = 1; j <= 4000; ++j) {
      const double ang = a0 + theta * j / 4000;
      const Point2D q{arc.p0 + arc.radius * std::cos(ang), arc.p1 + arc.radius * std::sin(ang)};
      len += std::hypot(q.x - prev.x, q.y - prev.y);
      prev = q;
    }
    EXPECT_NEAR(contElemLength(arc), len, 1e-6 * len);
    EXPECT_NEAR(contElemLength(arc), std::fabs(theta) * arc.radius, 1e-9 * arc.radius);
    // The length to a point on the arc and the rest add up.
    Point2D mid{};
    ASSERT_EQ(contArcPointAt(arc, 0.25, &mid), 1);
    double rest = 0;
    const double to = contElemLengthTo(arc, mid, &rest);
    EXPECT_NEAR(to, 0.25 * std::fabs(theta) * arc.radius, 1e-7 * arc.radius);
    EXPECT_NEAR(to + rest, contElemLength(arc), 1e-9 * arc.radius);
  }
  EXPECT_DOUBLE_EQ(contElemLength(contMakeLine(0, 0, 3, 4, 0)), 5);
  double rest = 0;
  EXPECT_DOUBLE_EQ(contElemLengthTo(contMakeLine(0, 0, 3, 4, 0), Point2D{0.6, 0.8}, &rest), 1);
  EXPECT_DOUBLE_EQ(rest, 4);
}

TEST_F(ContourElementTest, SweepAndLengthEdgeCases) {
  // A full circle (start equal to end) has length 0 and sweep 0.
  const ContourElement full = contMakeArc(0, 0, 5, 0, 5, 0, 5, 1, 0);
  EXPECT_EQ(contElemLength(full), 0);
  EXPECT_EQ(contArcSweep(full), 0);
  // A half circle sweeps dir x pi.
  EXPECT_DOUBLE_EQ(contArcSweep(contMakeArc(0, 0, 5, 0, -5, 0, 5, 1, 0)), kPi);
  EXPECT_DOUBLE_EQ(contArcSweep(contMakeArc(0, 0, 5, 0, -5, 0, 5, -1, 0)), -kPi);
  // Three quarters counter-clockwise and the short way back clockwise.
  EXPECT_NEAR(contArcSweep(contMakeArc(0, 0, 5, 0, 0, -5, 5, 1, 0)), 1.5 * kPi, 1e-12);
  EXPECT_NEAR(contArcSweep(contMakeArc(0, 0, 5, 0, 0, -5, 5, -1, 0)), -0.5 * kPi, 1e-12);
  EXPECT_EQ(contArcSweep(contMakeLine(0, 0, 1, 0, 0)), 0);
  // An element shorter than 0.01 reports its chord, an arc too (the long way round included).
  EXPECT_DOUBLE_EQ(contElemLength(contMakeArc(0, 0, 5, 0, 5, 0.005, 5, -1, 0)),
                   std::hypot(0.0, 0.005));
  EXPECT_EQ(contElemLength(contMakeLine(0, 0, 0.00005, 0.00009, 0)), 0);
  ContourElement bad = contMakeLine(0, 0, 3, 4, 0);
  bad.type = 7;
  EXPECT_EQ(contElemLength(bad), 0);
  // The arc's length uses its radius field.
  EXPECT_NEAR(contElemLength(quarterCcw()), 5 * kPi, 1e-12);
}

TEST_F(ContourElementTest, ArcPointsAndInnerPoint) {
  const ContourElement arc = quarterCcw();
  Point2D p{};
  ASSERT_EQ(contArcPointAt(arc, 0.5, &p), 1);
  EXPECT_NEAR(p.x, p.y, 1e-12);
  ASSERT_EQ(contArcPointAt(arc, 1.0, &p), 1);
  EXPECT_NEAR(p.x, 0, 1e-12);
  // One tenth from (10, 0) toward (0, 10); for a clockwise arc from (10, 0) to (0, 10) the window
  // runs the long way.
  ASSERT_EQ(contArcInnerPoint(arc, Point2D{10, 0}, Point2D{0, 10}, &p), 1);
  EXPECT_NEAR(std::atan2(p.y, p.x), 0.1 * kPi / 2, 1e-12);
  const ContourElement cw = contMakeArc(0, 0, 10, 0, 0, 10, 10, -1, 0);
  ASSERT_EQ(contArcInnerPoint(cw, Point2D{10, 0}, Point2D{0, 10}, &p), 1);
  EXPECT_NEAR(std::atan2(p.y, p.x), -0.1 * 1.5 * kPi, 1e-12);
  EXPECT_EQ(contArcPointAt(contMakeLine(0, 0, 1, 1, 0), 0.5, &p), 0);
}

TEST_F(ContourElementTest, PointOrderAlongElements) {
  struct Case {
    ContourElement e;
    Point2D p, q;
    int order;
  };
  const Case cases[] = {
      {contMakeLine(0, 0, 10, 0, 0), {6, 0}, {4, 0}, 1},
      {contMakeLine(0, 0, 10, 0, 0), {4, 0}, {6, 0}, 2},
      {contMakeLine(0, 0, 10, 0, 0), {4, 0}, {4, 0}, 2},
      {contMakeLine(10, 0, 0, 0, 0), {4, 0}, {6, 0}, 1},
      {contMakeLine(0, 10, 0.00005, 0, 0), {0, 2}, {0, 3}, 1},  // along y, downward
      {contMakeLine(0, 0, 0, 10, 0), {0, 2}, {0, 3}, 2},
      {quarterCcw(), {0, 10}, {10, 0}, 1},
      {quarterCcw(), {10, 0}, {0, 10}, 2},
      {contMakeArc(0, 0, 0, 10, 10, 0, 10, -1, 0), {10, 0}, {0, 10}, 1},
      // A counter-clockwise arc across the +x axis: from 315 to 45 degrees.
      {contMakeArc(0, 0, 7.071067811865476, -7.071067811865476, 7.071067811865476,
                   7.071067811865476, 10, 1, 0),
       {10, 0},
       {7.0710678, -7.0710678},
       1},
      {contMakeArc(0, 0, 7.071067811865476, -7.071067811865476, 7.071067811865476,
                   7.071067811865476, 10, 1, 0),
       {10, 0},
       {7.0710678, 7.0710678},
       2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(contElemPointOrder(c.e, c.p, c.q), c.order) << c.p.x << "," << c.p.y;
  }
}

TEST_F(ContourElementTest, PointAndClosureTests) {
  EXPECT_EQ(contSamePoint(Point2D{1, 1}, Point2D{1.00009, 0.99991}), 1);
  EXPECT_EQ(contSamePoint(Point2D{1, 1}, Point2D{1.00011, 1}), 0);
  EXPECT_EQ(&contSamePoint, &contPointsEqual);
  EXPECT_EQ(contPointsClose(Point2D{1, 1}, Point2D{1.00019, 0.99981}), 1);
  EXPECT_EQ(contPointsClose(Point2D{1, 1}, Point2D{1, 1.00021}), 0);
  EXPECT_EQ(contElemClosed(contMakeArc(0, 0, 5, 0, 5, 0.00009, 5, 1, 0)), 1);
  EXPECT_EQ(contElemClosed(contMakeLine(0, 0, 0.0002, 0, 0)), 0);
  const ContourElement open[2] = {contMakeLine(0, 0, 5, 0, 0), contMakeLine(5, 0, 0.009, 0.009, 0)};
  EXPECT_EQ(contIsClosed(open, 2), 1);
  const ContourElement gap[2] = {contMakeLine(0, 0, 5, 0, 0), contMakeLine(5, 0, 0.011, 0, 0)};
  EXPECT_EQ(contIsClosed(gap, 2), 0);
  EXPECT_EQ(contIsClosed(open, 0), 0);
  const ContourElement chain[3] = {contMakeLine(0, 0, 1, 0, 0), contMakeLine(1.00009, 0, 1, 1, 0),
                                   contMakeLine(1, 1, 0, 0, 0)};
  EXPECT_EQ(contElemsChained(chain[0], chain[1], chain[2]), 1);
  EXPECT_EQ(contElemsChained(chain[1], chain[2], chain[0]), 1);
  EXPECT_EQ(contElemsChained(chain[0], chain[2], chain[1]), 0);
}
}  // namespace
