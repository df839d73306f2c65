// Tests of the segment-contour offset, judged by geometry: areas against closed forms, distance
// of every output vertex from the input by brute force, closed and simple results.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
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
// A closed contour whose attempts fail is offset through the winding numbers of its raw offset.
TEST_F(SegOffsetTest, FailedLastRetryIsNoResult) {
  // A spike far thinner than the distance: the raw offset cannot keep away from it.
  const std::vector<Point2D> points{{0, 0},  {10, 0},     {10, 10}, {5.001, 10},
                                    {5, 30}, {4.999, 10}, {0, 10}};
  const std::vector<Seg2D> in = polygon(points);
  // The last retry still yields segments, but they come too close to the input.
  std::vector<Seg2D> last;
  segOffsetSetRetryFlag(0);
  EXPECT_GT(segOffsetOnce(in.data(), static_cast<int>(in.size()), 3 + 20 * 0.0006, &last, 1), 0);
  EXPECT_EQ(segOffsetRetryFlag(), 1);
  EXPECT_LT(minDistance(last, in), 0.9 * 3);
  // As an open chain: no result.
  const std::vector<Seg2D> open(in.begin(), in.end() - 1);
  int r = -5;
  offset(open, 3, 1, &r);
  EXPECT_EQ(r, 0);
  // Closed: the square shrunk by 3, which no disk of radius 3 in the spike changes.
  const std::vector<Seg2D> shrunk = offset(in, 3, 1, &r);
  ASSERT_GE(r, 4);
  EXPECT_TRUE(closedChain(shrunk));
  EXPECT_NEAR(area(shrunk), 16.0, 1e-9);
  EXPECT_GE(minDistance(shrunk, in), 3.0 - 1e-9);
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

// ---- faults of the retries, closure, crossing table and coordinates ----------------------------

namespace {
// The spiky star r(t) = R (1 + 0.25 sin 7t + 0.08 sin 53t) of n points about (cx, cy), with R =
// big; clockwise when cw.
std::vector<Seg2D> spikyStar(int n, double cx, double cy, double big, bool cw) {
  std::vector<Point2D> p;
  for (int i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n * (cw ? -1.0 : 1.0);
    const double r = big * (1 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t));
    p.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
  }
  return polygon(p);
}

// The box of the contour's points.
struct Box {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
};
Box boxOf(const std::vector<Seg2D>& c) {
  Box b;
  for (const Seg2D& s : c) {
    b.x0 = std::fmin(b.x0, s.x1);
    b.x1 = std::fmax(b.x1, s.x1);
    b.y0 = std::fmin(b.y0, s.y1);
    b.y1 = std::fmax(b.y1, s.y1);
  }
  return b;
}

// Whether q lies inside the closed contour (crossing parity), with its distance from the contour.
std::pair<bool, double> sample(const std::vector<Seg2D>& c, const Point2D& q) {
  bool inside = false;
  double near = 1e300;
  for (const Seg2D& s : c) {
    if ((s.y1 > q.y) != (s.y2 > q.y) && q.x < (s.x2 - s.x1) * (q.y - s.y1) / (s.y2 - s.y1) + s.x1)
      inside = !inside;
    near = std::fmin(near, g2dPointSegDist(q, s));
  }
  return {inside, near};
}

// Area of the points inside the closed contour or within d of it, counted on a raster of step h:
// the contour grown by a disk of radius d.
double rasterGrownArea(const std::vector<Seg2D>& c, double d, double h) {
  const Box b = boxOf(c);
  long cells = 0;
  for (double y = b.y0 - d + h / 2; y < b.y1 + d; y += h) {
    for (double x = b.x0 - d + h / 2; x < b.x1 + d; x += h) {
      const auto [inside, near] = sample(c, {x, y});
      cells += (inside || near <= d) ? 1 : 0;
    }
  }
  return cells * h * h;
}
}  // namespace

// The islands of a spiky region offset into the region: the retries thinned a copy of the island
// and checked the distance against the copy, so islands came back far too big or too small with
// points almost on the island, reported as success. Now the area is that of the island grown by
// the distance (the joins follow the circle within 2 percent of the distance) and every point
// keeps 0.9 d from the island. The outer contour, whose first attempt came within 0.04 d of it,
// keeps its distance too.
TEST_F(SegOffsetTest, SpikyRegionIslandsGrowByTheDistance) {
  const double c = 4.5 / std::sqrt(2.0);  // the first island of the star region
  const std::vector<Seg2D> island = spikyStar(125, c, c, 1, true);
  for (const double d : {0.5, 1.0}) {
    int r = 0;
    const std::vector<Seg2D> grown = offset(island, d, 1, &r);
    ASSERT_GT(r, 0) << d;
    EXPECT_TRUE(closedChain(grown)) << d;
    EXPECT_GE(minDistance(grown, island), 0.9 * d) << d;
    const double want = rasterGrownArea(island, d, 0.03);
    EXPECT_NEAR(-area(grown), want, 0.01 * want) << d;
  }
  const std::vector<Seg2D> outer = spikyStar(1000, 0, 0, 10, false);
  int r = 0;
  const std::vector<Seg2D> shrunk = offset(outer, 0.1, 1, &r);
  ASSERT_GT(r, 0);
  EXPECT_TRUE(closedChain(shrunk));
  EXPECT_GE(minDistance(shrunk, outer), 0.9 * 0.1);
  EXPECT_LT(area(shrunk), area(outer));
}

// Random polygons with vertices on an integer grid (collinear and repeated points, spikes), offset
// inward: a result is a closed contour of at least three segments (an open segment was returned as
// success) keeping 0.9 d from the polygon, and no result comes only where the polygon holds no
// disk of radius d (its largest inside distance, sampled, stays near d).
TEST_F(SegOffsetTest, GridPolygonsInwardAreClosedOrNothing) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> count(3, 24);
  std::uniform_real_distribution<double> radius(2, 20), dist(0.2, 4), wobble(-0.3, 0.3);
  int offsets = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const int n = count(rng);
    std::vector<Point2D> p;
    for (int i = 0; i < n; ++i) {
      const double a = 2 * kPi * (i + wobble(rng)) / n, r = radius(rng);
      const Point2D q{std::round(r * std::cos(a)), std::round(r * std::sin(a))};
      if (p.empty() || q.x != p.back().x || q.y != p.back().y) p.push_back(q);
    }
    while (p.size() > 1 && p.front().x == p.back().x && p.front().y == p.back().y) p.pop_back();
    const double d = dist(rng);
    if (p.size() < 3) continue;
    const std::vector<Seg2D> in = polygon(p);
    const double a = area(in);
    if (std::fabs(a) < 1) continue;
    int r = 0;
    const std::vector<Seg2D> out = offset(in, d, a > 0 ? 1 : -1, &r);
    ASSERT_GE(r, 0) << trial;
    if (r > 0) {
      ++offsets;
      ASSERT_GE(r, 3) << trial;
      EXPECT_TRUE(closedChain(out)) << trial;
      EXPECT_GE(minDistance(out, in), 0.9 * d) << trial;
      continue;
    }
    double widest = 0;  // the largest distance from the boundary of a sampled inside point
    const Box b = boxOf(in);
    for (double y = b.y0; y <= b.y1; y += 0.5) {
      for (double x = b.x0; x <= b.x1; x += 0.5) {
        const auto [inside, near] = sample(in, {x, y});
        if (inside) widest = std::fmax(widest, near);
      }
    }
    EXPECT_LT(widest, d + 0.36) << trial;  // the raster misses the widest point by at most 0.36
  }
  EXPECT_GT(offsets, 2000);
}

// A comb of 2100 teeth offset outward: its raw offset crosses itself more than 4000 times, which
// overflowed the crossing table (-1). The table grows now; the teeth merge into one contour.
TEST_F(SegOffsetTest, MoreThan4000SelfCrossings) {
  const int teeth = 2100;
  std::vector<Point2D> p{{0, -1}, {0.2 * teeth, -1}};
  for (int i = teeth - 1; i >= 0; --i) {
    const double x = 0.2 * i;
    for (const Point2D& q : {Point2D{x + 0.2, 0}, {x + 0.2, 1}, {x + 0.1, 1}, {x + 0.1, 0}})
      p.push_back(q);
  }
  p.push_back({0, 0});
  const std::vector<Seg2D> comb = polygon(p);
  std::vector<Seg2D> raw;
  const int code = segOffsetRaw(0.3, comb.data(), static_cast<int>(comb.size()), &raw, -1);
  std::vector<SegCrossing> table;
  const int crossings =
      segSelfCrossingsGrow(raw.data(), static_cast<int>(raw.size()), &table, code);
  EXPECT_GT(crossings, kSegCrossMax);
  int r = 0;
  const std::vector<Seg2D> out = offset(comb, 0.3, -1, &r);
  ASSERT_GT(r, 0);
  EXPECT_TRUE(closedChain(out));
  // The box grown by 0.3 less its four rounded corners and the step at the first gap.
  const double w = 0.2 * teeth + 0.6, h = 2.6;
  EXPECT_NEAR(area(out), w * h - 0.1 * 1.0, 0.2);
}

// A coordinate that is not finite gave a count with coordinates that are not numbers, or (an
// infinite one) an exception out of the module: now -20 with the error record set, and the output
// untouched.
TEST_F(SegOffsetTest, CoordinatesThatAreNotFiniteAreRefused) {
  for (const double bad : {NAN, INFINITY, -INFINITY}) {
    for (int field = 0; field < 4; ++field) {
      std::vector<Seg2D> sq = square(10);
      double* v[4] = {&sq[2].x1, &sq[2].y1, &sq[2].x2, &sq[2].y2};
      *v[field] = bad;
      const Seg2D guard{7, 7, 7, 7};
      std::vector<Seg2D> out(12, guard);
      geoResetState();
      EXPECT_EQ(segOffsetContour(sq.data(), 4, 1, out.data(), 12, -1), -20) << bad << " " << field;
      EXPECT_EQ(geoErrCode(), -20);
      EXPECT_EQ(out[0].x1, 7.0);
    }
  }
}
