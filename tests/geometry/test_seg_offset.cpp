// Tests of the segment-contour offset, judged by geometry: areas against closed forms, distance
// of every output vertex from the input by brute force, closed and simple results.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/seg_cross.h"
#include "geometry/seg_offset.h"
#include "seg_shapes.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

using qdtest::polygon;
std::vector<Seg2D> square(double side) {
  return polygon({{0, 0}, {side, 0}, {side, side}, {0, side}});
}
std::vector<Seg2D> ngon(int n, double r) {
  std::vector<Point2D> p;
  for (int i = 0; i < n; ++i)
    p.push_back({r * std::cos(2 * kPi * i / n), r * std::sin(2 * kPi * i / n)});
  return polygon(p);
}
double area(const std::vector<Seg2D>& s) {
  double a = 0;
  for (const Seg2D& g : s) a += g.x1 * g.y2 - g.x2 * g.y1;
  return a / 2;
}
bool closedChain(const std::vector<Seg2D>& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const Seg2D& a = s[i];
    const Seg2D& b = s[(i + 1) % s.size()];
    if (std::fabs(a.x2 - b.x1) > 1e-5 || std::fabs(a.y2 - b.y1) > 1e-5) return false;
  }
  return true;
}
// Brute force: no two non-adjacent segments meet.
bool simpleChain(const std::vector<Seg2D>& s) {
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 2; j < n; ++j) {
      if (i == 0 && j == n - 1) continue;
      Point2D p;
      if (g2dSegIsect(s[i], s[j], &p) != 0) return false;
    }
  }
  return true;
}
double minDistance(const std::vector<Seg2D>& out, const std::vector<Seg2D>& in) {
  double best = 1e300;
  for (const Seg2D& o : out) {
    for (const Point2D& p : {g2dSegStart(o), g2dSegEnd(o)}) {
      for (const Seg2D& s : in) best = std::fmin(best, g2dPointSegDist(p, s));
    }
  }
  return best;
}

std::vector<Seg2D> offset(const std::vector<Seg2D>& in, double d, int side, int* result = nullptr) {
  std::vector<Seg2D> out(2 * in.size() + 16);
  const int r = segOffsetContour(in.data(), static_cast<int>(in.size()), d, out.data(),
                                 static_cast<int>(out.size()), side);
  if (result != nullptr) *result = r;
  out.resize(r > 0 ? r : 0);
  return out;
}

class SegOffsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    segOffsetResetState();
    geoResetState();
  }
  void TearDown() override { segOffsetResetState(); }
};
}  // namespace

TEST_F(SegOffsetTest, SquareAreasByCornerJoin) {
  const double s = 10, d = 1;
  const std::vector<Seg2D> sq = square(s);
  const std::vector<Seg2D> chamfered = offset(sq, d, -1);
  EXPECT_EQ(chamfered.size(), 8u);
  EXPECT_NEAR(area(chamfered),
              (s + 2 * d) * (s + 2 * d) - 4 * d * d * std::pow(std::sqrt(2.0) - 1, 2), 1e-9);
  EXPECT_TRUE(closedChain(chamfered));
  pathSetParallelTol(1);
  const std::vector<Seg2D> mitered = offset(sq, d, -1);
  pathSetParallelTol(0);
  EXPECT_EQ(mitered.size(), 4u);
  EXPECT_NEAR(area(mitered), (s + 2 * d) * (s + 2 * d), 1e-9);
  const std::vector<Seg2D> inward = offset(sq, d, 1);
  EXPECT_EQ(inward.size(), 4u);
  EXPECT_NEAR(area(inward), (s - 2 * d) * (s - 2 * d), 1e-9);
  EXPECT_TRUE(closedChain(inward));
}

TEST_F(SegOffsetTest, ZeroDistanceCopiesAndInputStaysUnchanged) {
  const std::vector<Seg2D> sq = square(10);
  const std::vector<Seg2D> same = offset(sq, 0, -1);
  ASSERT_EQ(same.size(), 4u);
  EXPECT_EQ(same[2].x1, 10.0);
  // A contour with tiny segments needs the retries; its input is left as it was.
  std::vector<Seg2D> in = ngon(300, 20);
  const std::vector<Seg2D> before = in;
  int r = 0;
  offset(in, 3.0, 1, &r);
  EXPECT_GT(r, 0);
  for (std::size_t i = 0; i < in.size(); ++i)
    EXPECT_EQ(std::memcmp(&in[i], &before[i], sizeof(Seg2D)), 0);
}

// A regular 200-gon of circumradius R offset by d outward and inward: the area of a circle of
// radius R +- d within the chord error, every output vertex at least 0.9 d from the input.
TEST_F(SegOffsetTest, RegularPolygonByAreaAndDistance) {
  const int n = 200;
  const double r = 50, d = 2;
  const std::vector<Seg2D> in = ngon(n, r);
  const double sagitta = r * (1 - std::cos(kPi / n));
  for (int side : {-1, 1}) {
    const double rr = side == -1 ? r + d : r - d;
    const std::vector<Seg2D> out = offset(in, d, side);
    ASSERT_FALSE(out.empty()) << side;
    EXPECT_TRUE(closedChain(out));
    EXPECT_NEAR(area(out), kPi * rr * rr, 2 * kPi * rr * 2 * sagitta) << side;
    EXPECT_GE(minDistance(out, in), 0.9 * d);
  }
}

// A dumbbell whose neck is narrower than twice the distance: the inward offset splits and the
// result is one closed simple contour, the loops cut out.
TEST_F(SegOffsetTest, NarrowNeckGivesOneClosedSimpleContour) {
  // Two 20 x 8 and 20 x 10 lobes joined by a neck 2 wide: an inward offset of 1.5 pinches it.
  const std::vector<Seg2D> in = polygon({{0, 0},
                                         {20, 0},
                                         {20, 8},
                                         {11, 8},
                                         {11, 10},
                                         {20, 10},
                                         {20, 20},
                                         {0, 20},
                                         {0, 10},
                                         {9, 10},
                                         {9, 8},
                                         {0, 8}});
  const double d = 1.5;
  const std::vector<Seg2D> out = offset(in, d, 1);
  ASSERT_GE(out.size(), 3u);
  EXPECT_TRUE(closedChain(out));
  EXPECT_TRUE(simpleChain(out));
  EXPECT_GE(minDistance(out, in), 0.9 * d);
  // One lobe: the first, 17 x 5 with a small peak where the neck was.
  EXPECT_NEAR(area(out), 17.0 * 5.0, 0.5);
}

// An outward offset of a contour with a narrow notch: the raw offset forms a loop at the notch.
TEST_F(SegOffsetTest, NarrowNotchLoopIsRemoved) {
  const std::vector<Seg2D> in =
      polygon({{0, 0}, {20, 0}, {20, 20}, {11, 20}, {11, 5}, {9, 5}, {9, 20}, {0, 20}});
  const double d = 2;
  const std::vector<Seg2D> out = offset(in, d, -1);
  ASSERT_GE(out.size(), 3u);
  EXPECT_TRUE(closedChain(out));
  EXPECT_TRUE(simpleChain(out));
  EXPECT_GE(minDistance(out, in), 0.9 * d);
}

TEST_F(SegOffsetTest, BadArgumentsAndTooLittleRoom) {
  const std::vector<Seg2D> sq = square(10);
  std::vector<Seg2D> out(3);
  EXPECT_EQ(segOffsetContour(nullptr, 4, 1, out.data(), 3, -1), -20);
  EXPECT_EQ(segOffsetContour(sq.data(), 4, -1, out.data(), 3, -1), -20);
  EXPECT_EQ(segOffsetContour(sq.data(), 4, NAN, out.data(), 3, -1), -20);
  EXPECT_EQ(segOffsetContour(sq.data(), 4, 1, out.data(), 3, 0), -20);
  EXPECT_EQ(segOffsetContour(sq.data(), -1, 1, out.data(), 3, -1), -20);
  // Eight segments do not fit in room for three: a failure, nothing written past the room.
  const Seg2D guard{7, 7, 7, 7};
  std::vector<Seg2D> room(4, guard);
  EXPECT_EQ(segOffsetContour(sq.data(), 4, 1, room.data(), 3, -1), -1);
  EXPECT_EQ(room[3].x1, 7.0);
}

// An offset that no retry can make keep its distance is reported as no result, never as a count.
TEST_F(SegOffsetTest, FailedLastRetryIsNoResult) {
  // A spike far thinner than the distance: the raw offset cannot keep away from it.
  const std::vector<Seg2D> in =
      polygon({{0, 0}, {10, 0}, {10, 10}, {5.001, 10}, {5, 30}, {4.999, 10}, {0, 10}});
  // The last retry still yields segments, but they come too close to the input.
  std::vector<Seg2D> last;
  segOffsetSetRetryFlag(0);
  EXPECT_GT(segOffsetOnce(in.data(), static_cast<int>(in.size()), 3 + 20 * 0.0006, &last, 1), 0);
  EXPECT_EQ(segOffsetRetryFlag(), 1);
  EXPECT_LT(minDistance(last, in), 0.9 * 3);
  int r = -5;
  offset(in, 3, 1, &r);
  EXPECT_EQ(r, 0);
}

TEST_F(SegOffsetTest, CleanUpSteps) {
  // Null segments and short segments.
  std::vector<Seg2D> s = {{0, 0, 1, 0}, {1, 0, 1.00005, 0}, {1, 0, 1, 0.005}, {1, 0.005, 1, 5}};
  EXPECT_EQ(segDropNullSegments(s.data(), 4), 3);
  EXPECT_EQ(segDropShort(s.data(), 3, 0.01), 2);
  // Tail test: 3 after, 10 before.
  const std::vector<Seg2D> t = {{0, 0, 10, 0}, {10, 0, 10, 1}, {10, 1, 10, 4}};
  EXPECT_EQ(segOffsetTailDominates(t.data(), 3, 1), 0);
  EXPECT_EQ(segOffsetTailDominates(t.data(), 3, 0), 1);
  // Corner check: a left turn expected left passes.
  EXPECT_EQ(segOffsetCornerCheck({0, 0, 1, 0}, {1, 0, 1, 1}, 1), 0);
  EXPECT_EQ(segOffsetCornerCheck({0, 0, 1, 0}, {1, 0, 1, 1}, -1), 1);
  // Thinning collapses a short zig between opposite turns to its midpoint, keeping the chain.
  std::vector<Seg2D> z = {{0, 0, 5, 0}, {5, 0, 5, 0.5}, {5, 0.5, 10, 0.5}, {10, 0.5, 10, 10}};
  const int c = segThinContour(z.data(), 4, 1.0);
  ASSERT_EQ(c, 3);
  EXPECT_EQ(z[0].x2, 5.0);
  EXPECT_EQ(z[0].y2, 0.25);
  EXPECT_EQ(z[1].y1, 0.25);
  // Distance check by brute force.
  const std::vector<Seg2D> sq = square(10);
  const std::vector<Seg2D> near = {{5, 1, 6, 1}};
  EXPECT_EQ(segOffsetKeepsDistance(sq.data(), 4, 2, near.data(), 1), 0);
  EXPECT_EQ(segOffsetKeepsDistance(sq.data(), 4, 1, near.data(), 1), 1);
  EXPECT_EQ(segOffsetKeepsDistance(sq.data(), 4, 1, nullptr, 0), 1);
}

TEST_F(SegOffsetTest, CornerFilletChamferAndMiter) {
  Seg2D a{0, 0, 10, 0}, b{10, 0, 10, 10}, join;
  EXPECT_EQ(pathCornerFillet(&a, &b, 1, &join, -1), 1);
  // The chamfer is tangent to the circle of radius 1 about the corner.
  const Point2D k{10, 0};
  EXPECT_NEAR(
      std::fabs((join.x2 - join.x1) * (k.y - join.y1) - (join.y2 - join.y1) * (k.x - join.x1)) /
          std::hypot(join.x2 - join.x1, join.y2 - join.y1),
      1.0, 1e-12);
  EXPECT_EQ(a.x2, join.x1);
  EXPECT_EQ(b.y1, join.y2);
  pathSetParallelTol(1);
  Seg2D c{0, 0, 10, 0}, e{10, 0, 10, 10};
  EXPECT_EQ(pathCornerFillet(&c, &e, 1, &join, -1), 2);
  EXPECT_NEAR(c.x2, 11, 1e-12);
  EXPECT_NEAR(c.y2, -1, 1e-12);
  EXPECT_NEAR(e.x1, 11, 1e-12);
  Seg2D f{0, 0, 10, 0}, g{10, 0, 0, 0};
  EXPECT_EQ(pathCornerFillet(&f, &g, 1, &join, -1), -1);  // a reversal has no bisector
}
