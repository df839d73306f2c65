// Tests of the crossings of segment contours: contour-contour and self-crossings against the
// brute-force set of segment crossings, touching joints, circles, and the table limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/seg_cross.h"
#include "geometry/seg_offset.h"
#include "seg_shapes.h"

namespace {
using qdtest::polygon;
std::vector<Seg2D> randomPolygon(std::mt19937& rng, int n, double cx) {
  std::uniform_real_distribution<double> u(-10, 10);
  std::vector<Point2D> p;
  for (int i = 0; i < n; ++i) p.push_back({cx + u(rng), u(rng)});
  return polygon(p);
}
struct Hit {
  int a, b;
  double x, y;
};
// Every pair of segments that meet, in order along a.
std::vector<Hit> bruteForce(const std::vector<Seg2D>& a, const std::vector<Seg2D>& b) {
  std::vector<Hit> hits;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::vector<Hit> row;
    for (std::size_t j = 0; j < b.size(); ++j) {
      Point2D p;
      if (g2dSegIsect(a[i], b[j], &p) == 1) row.push_back({int(i) + 1, int(j) + 1, p.x, p.y});
    }
    const Seg2D& s = a[i];
    std::sort(row.begin(), row.end(), [&s](const Hit& h, const Hit& k) {
      return std::hypot(h.x - s.x1, h.y - s.y1) < std::hypot(k.x - s.x1, k.y - s.y1);
    });
    hits.insert(hits.end(), row.begin(), row.end());
  }
  return hits;
}
}  // namespace

TEST(SegCross, ContoursIntersectMatchesBruteForce) {
  std::mt19937 rng(21);
  std::vector<SegCrossing> table(kSegCrossMax);
  for (int round = 0; round < 200; ++round) {
    const std::vector<Seg2D> a = randomPolygon(rng, 3 + round % 30, 0.0);
    const std::vector<Seg2D> b = randomPolygon(rng, 3 + (round * 7) % 40, (round % 5) * 4.0);
    const int n = segContoursIntersect(a.data(), int(a.size()), b.data(), int(b.size()),
                                       table.data(), kSegCrossMax);
    const std::vector<Hit> expected = bruteForce(a, b);
    ASSERT_EQ(n, int(expected.size())) << "round " << round;
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(table[i].segA, expected[i].a);
      EXPECT_EQ(table[i].segB, expected[i].b);
      EXPECT_NEAR(table[i].x, expected[i].x, 1e-9);
      EXPECT_NEAR(table[i].y, expected[i].y, 1e-9);
      EXPECT_EQ(table[i].state, 1);
      if (i > 0) {
        EXPECT_EQ(segCmpCrossing(table[i - 1], table[i]), -1);
      }
    }
  }
}

// Self-crossings of random closed polygons: every crossing of two segments that do not share a
// joint, once.
TEST(SegCross, SelfCrossingsMatchBruteForce) {
  std::mt19937 rng(5);
  std::vector<SegCrossing> table(kSegCrossMax);
  for (int round = 0; round < 200; ++round) {
    const std::vector<Seg2D> c = randomPolygon(rng, 4 + round % 40, 0.0);
    const int n = int(c.size());
    std::vector<Hit> expected;
    const std::vector<Hit> all = bruteForce(c, c);
    for (const Hit& h : all) {
      const int gap = std::abs(h.a - h.b);
      if (!(h.a < h.b && gap >= 2 && !(h.a == 1 && h.b == n))) continue;
      // A crossing at a joint of b (within 0.0001) is one crossing, kept with the segment before.
      const Seg2D& sb = c[h.b - 1];
      const bool atJoint = std::fabs(h.x - sb.x1) < 1e-4 && std::fabs(h.y - sb.y1) < 1e-4;
      const bool seenBefore = std::any_of(all.begin(), all.end(), [&h](const Hit& k) {
        return k.a == h.a && k.b == h.b - 1 && std::fabs(k.x - h.x) < 1e-4 &&
               std::fabs(k.y - h.y) < 1e-4;
      });
      if (atJoint && seenBefore) continue;
      expected.push_back(h);
    }
    const int got = segSelfCrossings(c.data(), n, table.data(), kSegCrossMax, 1);
    ASSERT_EQ(got, int(expected.size())) << "round " << round;
    for (int i = 0; i < got; ++i) {
      EXPECT_EQ(table[i].segA, expected[i].a);
      EXPECT_EQ(table[i].segB, expected[i].b);
      EXPECT_NEAR(table[i].x, expected[i].x, 1e-9);
    }
  }
}

TEST(SegCross, FigureEightTouchingVertexAndIdenticalContours) {
  std::vector<SegCrossing> table(16);
  // A figure eight drawn as one closed contour crosses itself once.
  const std::vector<Seg2D> eight = polygon({{0, 0}, {10, 10}, {10, 0}, {0, 10}});
  ASSERT_EQ(segSelfCrossings(eight.data(), 4, table.data(), 16, 1), 1);
  EXPECT_NEAR(table[0].x, 5, 1e-12);
  EXPECT_NEAR(table[0].y, 5, 1e-12);
  // Two squares that touch at one vertex of the contour, drawn as one contour: no crossing.
  const std::vector<Seg2D> bow =
      polygon({{0, 0}, {5, 0}, {5, 5}, {10, 5}, {10, 10}, {5, 10}, {5, 5}, {0, 5}});
  EXPECT_EQ(segSelfCrossings(bow.data(), 8, table.data(), 16, 1), 0);
  // The same vertex passed through (two lobes crossing at it) is one crossing.
  const std::vector<Seg2D> cross =
      polygon({{0, 0}, {5, 0}, {5, 5}, {5, 10}, {10, 10}, {10, 5}, {5, 5}, {0, 5}});
  EXPECT_EQ(segSelfCrossings(cross.data(), 8, table.data(), 16, 1), 1);
  EXPECT_EQ(segContoursIntersect(eight.data(), 4, eight.data(), 4, table.data(), 16), 0);
  // Two squares overlapping at a corner region: two crossings in order along the first.
  const std::vector<Seg2D> a = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const std::vector<Seg2D> b = polygon({{5, 5}, {15, 5}, {15, 15}, {5, 15}});
  ASSERT_EQ(segContoursIntersect(a.data(), 4, b.data(), 4, table.data(), 16), 2);
  EXPECT_EQ(table[0].segA, 2);
  EXPECT_NEAR(table[0].y, 5, 1e-12);
  EXPECT_EQ(table[1].segA, 3);
  EXPECT_NEAR(table[1].x, 5, 1e-12);
}

TEST(SegCross, TableRoomIsChecked) {
  // A comb: 50 teeth crossed by one long segment.
  std::vector<Seg2D> comb;
  for (int i = 0; i < 50; ++i) comb.push_back({double(i), -1, double(i) + 0.5, 1});
  const std::vector<Seg2D> line = {{-1, 0, 60, 0}};
  std::vector<SegCrossing> table(10);
  EXPECT_EQ(segContoursIntersect(line.data(), 1, comb.data(), 50, table.data(), 10), -1);
  EXPECT_LT(geoErrCode(), 0);
  std::vector<SegCrossing> big(50);
  EXPECT_EQ(segContoursIntersect(line.data(), 1, comb.data(), 50, big.data(), 50), 50);
  EXPECT_EQ(segContoursIntersect(nullptr, 1, comb.data(), 50, big.data(), 50), -20);
}

TEST(SegCross, CirclesAndOrder) {
  const std::vector<Seg2D> s = {{-10, 1, 10, 1}, {10, 1, 10, 3}};
  EXPECT_EQ(segCircleHits({{0, 0}, 1.0}, s.data(), 2), 0);  // tangent
  EXPECT_EQ(segCircleHits({{0, 0}, 2.0}, s.data(), 2), 1);
  EXPECT_EQ(segCircleHits({{0, 0}, 0.5}, s.data(), 2), 0);
  std::vector<SegCrossing> out(8);
  ASSERT_EQ(segCircleCrossings(2, s.data(), {{0, 0}, 2.0}, out.data(), 8), 2);
  EXPECT_EQ(out[0].segA, 1);
  EXPECT_NEAR(out[0].x * out[0].x + out[0].y * out[0].y, 4.0, 1e-12);
  const SegCrossing r{0, 0, 0.5, 2, 3, 1};
  EXPECT_EQ(segCmpCrossing(r, r), -1);
  SegCrossing later = r;
  later.t = 0.6;
  EXPECT_EQ(segCmpCrossing(later, r), 1);
  EXPECT_EQ(segCrossingOrder({0, 0, -10, 0}, {-5, 0}, {-2, 0}), 1);
  EXPECT_EQ(segCrossingOrder({0, 0, 0, 10}, {0, 2}, {0, 5}), 2);
}

TEST(SegCross, IndexYieldsEveryOverlappingSegmentInOrder) {
  std::mt19937 rng(2);
  const std::vector<Seg2D> c = randomPolygon(rng, 300, 0.0);
  ChainIndex* idx = chainIndexNew(c.data(), 300, 1, 0);
  ASSERT_NE(idx, nullptr);
  for (int q = 0; q < 300; q += 7) {
    std::vector<int> expected;
    const double lo = std::fmin(c[q].x1, c[q].x2) - 1e-5, hi = std::fmax(c[q].x1, c[q].x2) + 1e-5;
    for (int i = 10; i < 300; ++i) {
      if (std::fmin(c[i].x1, c[i].x2) <= hi && std::fmax(c[i].x1, c[i].x2) >= lo)
        expected.push_back(i);
    }
    std::vector<int> got;
    for (int i = chainIndexFirst(idx, c[q], 10); i >= 0; i = chainIndexNext(c[q], idx, i + 1))
      got.push_back(i);
    EXPECT_EQ(got, expected);
  }
  chainIndexFree(idx);
  EXPECT_EQ(chainIndexNew(c.data(), 300, 3, 0), nullptr);
}

// A query far outside the index, or with a coordinate that is not finite, overflowed the bucket
// number's conversion to an integer.
TEST(SegCross, IndexQueriesFarOutsideOrNotFiniteFindNothing) {
  std::mt19937 rng(3);
  const std::vector<Seg2D> c = randomPolygon(rng, 50, 0.0);
  ChainIndex* idx = chainIndexNew(c.data(), 50, 1, 0);
  ASSERT_NE(idx, nullptr);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(chainIndexFirst(idx, Seg2D{1e300, 0, 2e300, 0}, 0), -1);
  EXPECT_EQ(chainIndexFirst(idx, Seg2D{-1e300, 0, -2e300, 0}, 0), -1);
  EXPECT_EQ(chainIndexFirst(idx, Seg2D{nan, 0, nan, 0}, 0), -1);
  // A query spanning everything still finds every segment.
  EXPECT_EQ(chainIndexFirst(idx, Seg2D{-inf, 0, inf, 0}, 0), 0);
  chainIndexFree(idx);
}

// The whole-table classification is the per-record one applied in order, and a crossing of the
// raw offset that lies within the offset distance of the input contour has no place to turn.
TEST(SegCross, ClassifyingTheTableClassifiesEachRecord) {
  // A notch narrower than twice the offset: the inward offset of its sides crosses itself.
  const std::vector<Seg2D> in =
      polygon({{0, 0}, {20, 0}, {20, 20}, {11, 20}, {11, 5}, {9, 5}, {9, 20}, {0, 20}});
  const double d = 2.0;
  std::vector<Seg2D> raw;
  std::vector<SegCrossing> table(kSegCrossMax);
  int n = 0, side = 0;
  for (const int s : {1, -1}) {  // the side into the notch crosses itself
    raw.clear();
    if (segOffsetRaw(d, in.data(), int(in.size()), &raw, s) == 0) continue;
    n = segSelfCrossings(raw.data(), int(raw.size()), table.data(), kSegCrossMax, 1);
    side = s;
    if (n > 0) break;
  }
  ASSERT_GT(n, 0);
  std::vector<SegCrossing> one = table;
  for (int i = 0; i < n; ++i) {
    segClassifyCrossing(one.data(), n, i, raw.data(), int(raw.size()), in.data(), int(in.size()), d,
                        side);
  }
  segClassifyCrossings(table.data(), n, raw.data(), int(raw.size()), in.data(), int(in.size()), d,
                       side);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(table[i].state, one[i].state) << i;
    const double r = d - std::fmin(0.01 * d, 0.001);
    if (segCircleHits(Circle2D{{table[i].x, table[i].y}, r}, in.data(), int(in.size())) == 1) {
      EXPECT_EQ(table[i].state, 0) << i;
    }
  }
}

// Every offset and every fit step allocated and cleared a table of 4001 crossings: the kept table
// is lent out instead, once at a time; a nested borrower gets a table of its own.
TEST(SegCrossTable, LentOnceAtATimeAndKept) {
  SegCrossing* first = nullptr;
  {
    SegCrossTable a;
    first = a.data();
    SegCrossTable nested;
    EXPECT_NE(nested.data(), a.data());
    nested[kSegCrossMax] = SegCrossing{1, 2, 0.5, 3, 4, 1};  // the last record is there
    EXPECT_EQ(nested[kSegCrossMax].segB, 4);
  }
  SegCrossTable again;
  EXPECT_EQ(again.data(), first) << "the kept table is lent again, not made anew";
}
