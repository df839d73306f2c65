// Tests of the conversion between traced segment pieces and Z paths: the seam and merging of
// closed pieces, open pieces, the material side, the edges left out along the boundary, the
// rotation of a broken run, and round trips.
#include <gtest/gtest.h>

#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/pko_list.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_pko.h"
#include "zpath_fixture.h"

namespace {

using qdtest::zpathOf;
using qdtest::ZPoint;

class ZPathPko : public ::testing::Test {
 protected:
  void SetUp() override {
    zpathResetState();
    geoErrReset();
    list = pkoListNew(4);
    path = zpathNew(4);
  }
  void TearDown() override {
    memTestFailAt(0);
    pkoListFree(list);
    zpathFree(path);
  }
  // Appends the closed polygon through the corners, each side cut into per pieces; every segment
  // carries the contact (cx, cy), id 7 and kind 1.
  void tracePolygon(const std::vector<Point2D>& corners, int per, Point2D contact = {0, 0},
                    double lastGap = 0.0) {
    const std::size_t n = corners.size();
    for (std::size_t k = 0; k < n; ++k) {
      const Point2D a = corners[k], b = corners[(k + 1) % n];
      for (int i = 0; i < per; ++i) {
        const double t0 = static_cast<double>(i) / per, t1 = static_cast<double>(i + 1) / per;
        Point3D s{a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0, 2};
        Point3D e{a.x + (b.x - a.x) * t1, a.y + (b.y - a.y) * t1, 2};
        if (k + 1 == n && i + 1 == per) e.x += lastGap;
        pkoListAppend(list, Seg3D{s, e}, {contact.x, contact.y, 1}, 7, 1);
      }
    }
  }
  std::vector<Point2D> pointsOf(const ZPath* p) {
    std::vector<Point2D> out;
    for (int i = 0; i < p->count; ++i) out.push_back({p->points[2 * i], p->points[2 * i + 1]});
    return out;
  }
  PkoList* list = nullptr;
  ZPath* path = nullptr;
};

bool samePoints(const std::vector<Point2D>& a, const std::vector<Point2D>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  return true;
}

TEST_F(ZPathPko, TwelveSegmentSquareKeepsItsSeam) {
  tracePolygon({{0, 0}, {3, 0}, {3, 3}, {0, 3}}, 3);
  ASSERT_EQ(zpathFromPko(path, list, 0, list->count), 1);
  EXPECT_TRUE(samePoints(pointsOf(path), {{0, 0}, {1, 0}, {3, 0}, {3, 3}, {0, 3}}));
  EXPECT_EQ(path->closed, 1);
  EXPECT_EQ(path->orientation, 1);
  EXPECT_EQ(path->area, 9.0);
  EXPECT_EQ(path->elementIds[0], 7);
  EXPECT_EQ(zpathGetMergeLength(), kZpathMergeLengthDefault);
}

TEST_F(ZPathPko, EightSegmentsKeepEveryPoint) {
  zpathSetMergeLength(123.0);
  tracePolygon({{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 2);
  ASSERT_EQ(zpathFromPko(path, list, 0, list->count), 1);
  EXPECT_EQ(path->count, 8);
  EXPECT_TRUE(
      samePoints(pointsOf(path), {{0, 0}, {2, 0}, {4, 0}, {4, 2}, {4, 4}, {2, 4}, {0, 4}, {0, 2}}));
  EXPECT_EQ(zpathGetMergeLength(), 123.0);  // restored
}

TEST_F(ZPathPko, ClosedWithinATenthOpenBeyond) {
  for (double gap : {0.05, 0.2}) {
    pkoListReset(list);
    zpathReset(path);
    tracePolygon({{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 1, {0, 0}, gap);
    ASSERT_EQ(zpathFromPko(path, list, 0, list->count), 1);
    if (gap < 0.1) {
      EXPECT_EQ(path->closed, 1);
      EXPECT_EQ(path->count, 4);
      EXPECT_EQ(path->points[0], static_cast<float>(gap));
      EXPECT_NEAR(path->area, 16.0 - 2.0 * gap, 1e-6);
    } else {
      EXPECT_EQ(path->closed, 0);
      EXPECT_EQ(path->count, 5);
      EXPECT_EQ(path->orientation, 0);
      EXPECT_EQ(path->area, 0.0);
      EXPECT_EQ(path->points[0], 0.0f);  // the first start comes first
      EXPECT_EQ(path->elementIds[0], -1);
      EXPECT_EQ(path->contactKinds[0], 0);
      EXPECT_EQ(path->materialInside, INT_MAX);  // left at its reset value
    }
  }
}

TEST_F(ZPathPko, MaterialInsideFromTheContacts) {
  tracePolygon({{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 3, {2, 2});
  ASSERT_EQ(zpathFromPko(path, list, 0, list->count), 1);
  EXPECT_EQ(path->materialInside, 1);
  pkoListReset(list);
  zpathReset(path);
  tracePolygon({{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 3, {9, 2});
  ASSERT_EQ(zpathFromPko(path, list, 0, list->count), 1);
  EXPECT_EQ(path->materialInside, 0);
}

TEST_F(ZPathPko, FromPkoArguments) {
  EXPECT_EQ(zpathFromPko(path, nullptr, 0, 1), 0);
  EXPECT_EQ(zpathFromPko(path, list, 0, 1), 0);  // empty
  tracePolygon({{0, 0}, {4, 0}, {4, 4}}, 1);
  EXPECT_EQ(zpathFromPko(nullptr, list, 0, 3), -1);
  EXPECT_EQ(zpathFromPko(path, list, 2, 2), -20);
  EXPECT_EQ(zpathFromPko(path, list, 0, 4), -20);
  pkoListReset(list);
  tracePolygon({{0, 0}, {4, 0}, {5, 3}, {2, 5}, {-1, 3}}, 1);
  zpathSetMergeLength(5.0);
  memTestFailAt(1);
  EXPECT_EQ(zpathFromPko(path, list, 0, 5), -1);  // the path cannot grow past 4 points
  memTestFailAt(0);
  EXPECT_EQ(zpathGetMergeLength(), 5.0);
}

TEST_F(ZPathPko, RoundTripKeepsThePoints) {
  tracePolygon({{0, 0}, {5, 1}, {6, 5}, {1, 4}}, 4, {3, 3});
  ASSERT_EQ(zpathFromPko(path, list, 0, list->count), 1);
  path->z = 2;
  PkoList* back = pkoListNew(2);
  ASSERT_EQ(zpathToPko(back, path, 0), 1);
  EXPECT_EQ(back->count, path->count);
  ZPath* again = zpathNew(3);
  ASSERT_EQ(zpathFromPko(again, back, 0, back->count), 1);
  EXPECT_TRUE(samePoints(pointsOf(again), pointsOf(path)));
  EXPECT_EQ(again->area, path->area);
  EXPECT_EQ(again->materialInside, 1);
  zpathFree(again);
  pkoListFree(back);
}

TEST_F(ZPathPko, ToPkoWithoutBoundaryPoints) {
  ZPath* p = zpathOf({{0, 0, 1, 1}, {2, 0, 2, 1, 0.5}, {2, 2, 3, 2}, {0, 2, 4, 1}}, 3.0);
  ASSERT_EQ(zpathToPko(list, p, 0), 1);
  ASSERT_EQ(list->count, 4);
  EXPECT_EQ(list->segments[0].start.x, 0.0);
  EXPECT_EQ(list->segments[0].end.x, 2.0);  // the first ends at point 1
  EXPECT_EQ(list->segments[0].end.z, 3.0);
  EXPECT_EQ(list->vectors[0].x, 0.5);  // point 1's contact
  EXPECT_EQ(list->ids[0], 2);
  EXPECT_EQ(list->segments[3].end.x, 0.0);  // the last closes back to point 0
  zpathFree(p);
  EXPECT_EQ(zpathToPko(nullptr, path, 0), 0);  // an empty path
  ZPath* two = zpathOf({{0, 0}, {1, 1}});
  EXPECT_EQ(zpathToPko(list, two, 0), 0);
  EXPECT_EQ(zpathToPko(nullptr, two, 0), 0);
  ZPath* three = zpathOf({{0, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(zpathToPko(nullptr, three, 0), -1);
  zpathFree(two);
  zpathFree(three);
}

TEST_F(ZPathPko, ToPkoLeavesOutTheOuterBoundary) {
  // Points 2 and 3 lie on the outer boundary.
  ZPath* p = zpathOf({{0, 0, 1}, {2, 0, 2}, {4, 0, -2, -1}, {4, 2, -2, -1}, {2, 2, 3}, {0, 2, 4}});
  ASSERT_EQ(zpathToPko(list, p, 0), 1);
  ASSERT_EQ(list->count, 4);
  const double startsX[] = {4, 2, 0, 0}, startsY[] = {2, 2, 2, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(list->segments[i].start.x, startsX[i]) << i;
    EXPECT_EQ(list->segments[i].start.y, startsY[i]) << i;
  }
  zpathFree(p);
}

TEST_F(ZPathPko, IslandBoundaryEdgesOnlyWithTheModeBit) {
  ZPath* p = zpathOf({{0, 0, 1}, {2, 0, -2, 0}, {2, 2, -2, 0}, {0, 2, 4}});
  ASSERT_EQ(zpathToPko(list, p, 0), 1);
  EXPECT_EQ(list->count, 2);
  pkoListReset(list);
  ASSERT_EQ(zpathToPko(list, p, 1), 1);
  EXPECT_EQ(list->count, 4);
  zpathFree(p);
}

// Two boundary stretches break the run in two; it is rotated to start after the break, and a
// second path leaves the first one's segments alone.
TEST_F(ZPathPko, BrokenRunIsRotatedAfterEarlierSegments) {
  ZPath* first = zpathOf({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 5.0);
  ASSERT_EQ(zpathToPko(list, first, 0), 1);
  ASSERT_EQ(list->count, 4);
  const Seg3D kept = list->segments[2];
  ZPath* p = zpathOf(
      {{0, 0, 1}, {2, 0, -2, -1}, {4, 0, 2}, {6, 0, 3}, {6, 2, -2, -1}, {4, 2, 5}, {2, 2, 6}}, 5.0);
  ASSERT_EQ(zpathToPko(list, p, 0), 1);
  ASSERT_EQ(list->count, 4 + 5);
  EXPECT_EQ(list->segments[2].start.x, kept.start.x);
  EXPECT_EQ(list->segments[2].end.y, kept.end.y);
  // Run: 1-2, 2-3, then (break at the boundary point 4) 4-5, 5-6, 6-0; rotated to 4-5 first.
  const double startsX[] = {6, 4, 2, 2, 4};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list->segments[4 + i].start.x, startsX[i]) << i;
  EXPECT_EQ(list->ids[4], 5);
  EXPECT_EQ(list->boxes[4].min.x, 4.0);  // the boxes moved along
  zpathFree(first);
  zpathFree(p);
}

TEST_F(ZPathPko, FailedAppendLeavesTheList) {
  ZPath* first = zpathOf({{0, 0}, {1, 0}, {1, 1}}, 0.0);
  zpathToPko(list, first, 0);
  const double xmax = list->xmax;
  ZPath* big = zpathOf({{0, 0}, {9, 0}, {9, 9}, {0, 9}, {-3, 4}}, 7.0);
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    const int r = zpathToPko(list, big, 0);
    memTestFailAt(0);
    if (r == 1) break;
    EXPECT_EQ(r, -1);
    EXPECT_EQ(list->count, 3);
    EXPECT_EQ(list->xmax, xmax);
    EXPECT_EQ(list->zmax, 0.0);
  }
  EXPECT_EQ(list->count, 8);
  zpathFree(first);
  zpathFree(big);
}

}  // namespace
