// Tests of the region operations: copies and conversions, placement, area against the shoelace
// formula, projections and distances, boundary lookup and the crossing tests.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/boundary.h"
#include "geometry/geo_error.h"
#include "geometry/kont_nest.h"
#include "geometry/kont_region.h"
#include "kont_shapes.h"
#include "zlevel/zpath.h"

namespace {

using qdtest::kontFromPoints;
using qdtest::square;

// A square region of half side 10 at the origin with a clockwise island of half side 2 at (4, 4).
Kont2D* squareWithIsland() {
  Kont2D* region = kontFromPoints(square(0, 0, 10), 1.0);
  qdtest::kontHangIslands(region, {kontFromPoints(square(4, 4, 2, true), 1.0)});
  return region;
}

double shoelace(const std::vector<Point2D>& p) {
  double s = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    s += a.x * b.y - b.x * a.y;
  }
  return 0.5 * s;
}

TEST(KontCopy, DeepCopyLinkedLikeTheSource) {
  Kont2D* region = squareWithIsland();
  qdtest::kontHangIslands(region, {region->child, kontFromPoints(square(-4, -4, 1, true), 1.0)});
  region->next = kontFromPoints(square(50, 0, 1));
  region->child->extra = lstIntNew(3);
  region->child->flags = kKontOwnsExtra;
  Kont2D* copy = kontCopy(region);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->next, nullptr);
  EXPECT_EQ(copy->prev, nullptr);
  ASSERT_NE(copy->child, nullptr);
  ASSERT_NE(copy->child->next, nullptr);
  EXPECT_EQ(copy->child->prev, copy);
  EXPECT_EQ(copy->child->next->prev, copy->child);
  EXPECT_EQ(copy->child->extra, nullptr);  // the caller's list stays with the source
  for (const Kont2D *a = region, *b = copy; a != nullptr;
       a = kontWalkNext(region, a), b = kontWalkNext(copy, b)) {
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->segments, b->segments);
    EXPECT_EQ(b->ownsSegments, 1);
    EXPECT_EQ(b->count, a->count);
    EXPECT_EQ(b->capacity, a->count);
    EXPECT_EQ(b->z, a->z);
    for (int i = 0; i < a->count; ++i) EXPECT_EQ(b->segments[i].x2, a->segments[i].x2);
  }
  kontFree(copy);
  kontFree(region);
  EXPECT_EQ(kontCopy(nullptr), nullptr);
}

TEST(KontCopy, AllocationFailureAtEveryStep) {
  Kont2D* region = squareWithIsland();
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    Kont2D* copy = kontCopy(region);
    memTestFailAt(0);
    if (copy != nullptr) {
      EXPECT_EQ(n, 5);  // record and array for each of the two contours
      kontFree(copy);
      break;
    }
  }
  kontFree(region);
}

TEST(KontNewRect, CornersInAnyOrder) {
  Kont2D* k = kontNewRect({3, 5}, {1, 2});
  ASSERT_NE(k, nullptr);
  ASSERT_EQ(k->count, 4);
  const Seg2D expected[4] = {{1, 2, 3, 2}, {3, 2, 3, 5}, {3, 5, 1, 5}, {1, 5, 1, 2}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(k->segments[i].x1, expected[i].x1);
    EXPECT_EQ(k->segments[i].y1, expected[i].y1);
    EXPECT_EQ(k->segments[i].x2, expected[i].x2);
    EXPECT_EQ(k->segments[i].y2, expected[i].y2);
  }
  EXPECT_EQ(k->closed, 0);
  EXPECT_EQ(k->z, DBL_MAX);
  EXPECT_EQ(kontOrientation(k), 1);
  EXPECT_DOUBLE_EQ(kontArea(k), 6.0);
  kontFree(k);
}

TEST(KontFromZPath, RoundTripThroughAZPath) {
  Kont2D* region = squareWithIsland();
  ZPathList* list = zpathListNew(2);
  ASSERT_EQ(zpathListFromContours(list, region), 1);
  for (int p = 0; p < 2; ++p) {
    const Kont2D* src = p == 0 ? region : region->child;
    Kont2D* k = kontFromZPath(&list->items[p]);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->closed, 1);
    EXPECT_EQ(k->z, 1.0);
    ASSERT_EQ(k->count, src->count);
    // Segment 0 runs from the last point to the first: the source's last segment.
    for (int i = 0; i < k->count; ++i) {
      const Seg2D& s = src->segments[(i + src->count - 1) % src->count];
      EXPECT_EQ(k->segments[i].x1, s.x1);
      EXPECT_EQ(k->segments[i].y2, s.y2);
    }
    EXPECT_DOUBLE_EQ(kontArea(k), list->items[p].area);
    kontFree(k);
  }
  list->items[0].count = 2;
  EXPECT_EQ(kontFromZPath(&list->items[0]), nullptr);
  EXPECT_EQ(kontFromZPath(nullptr), nullptr);
  zpathListFree(list);
  kontFree(region);
}

// Four nested rectangles: outer, island, outer inside the island, island inside that.
Boundary* fourNestedRings() {
  Boundary* b0 = bndNewRect(-40, 40, -40, 40);
  Boundary* b1 = bndNewRect(-10, 10, -10, 10);
  Boundary* b2 = bndNewRect(-30, 30, -30, 30);
  Boundary* b3 = bndNewRect(-2, 2, -2, 2);
  b1->next = b3;  // list order differs from nesting order
  b3->next = b0;
  b0->next = b2;
  for (Boundary* b = b1; b != nullptr; b = b->next) b->zLow = 2.5;
  return b1;
}

TEST(KontFromRingList, NestsAndOrientsByDepth) {
  Boundary* rings = fourNestedRings();
  for (int orientation : {1, -1}) {
    Kont2D* list = kontFromRingList(rings, orientation, 1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->xmax, 40.0);
    EXPECT_EQ(list->z, 2.5);
    EXPECT_EQ(list->closed, 1);
    EXPECT_EQ(list->depth, 0);
    ASSERT_NE(list->child, nullptr);
    EXPECT_EQ(list->child->xmax, 30.0);
    EXPECT_EQ(list->child->depth, 1);
    ASSERT_NE(list->next, nullptr);
    const Kont2D* inner = list->next;
    EXPECT_EQ(inner->xmax, 10.0);
    EXPECT_EQ(inner->depth, 2);
    ASSERT_NE(inner->child, nullptr);
    EXPECT_EQ(inner->child->depth, 3);
    EXPECT_EQ(kontOrientation(list), orientation);
    EXPECT_EQ(kontOrientation(list->child), -orientation);
    EXPECT_EQ(kontOrientation(inner), orientation);
    EXPECT_EQ(kontOrientation(inner->child), -orientation);
    EXPECT_EQ(kontValidate(list, 3), 1);
    EXPECT_EQ(kontValidate(list->next, 3), 1);
    kontFree(list);
  }
  Kont2D* flat = kontFromRingList(rings, 1, 0);
  EXPECT_EQ(flat->z, 0.0);
  kontFree(flat);
  EXPECT_EQ(kontFromRingList(rings, 0, 0), nullptr);
  EXPECT_EQ(geoErrCode(), -20);
  EXPECT_EQ(kontFromRingList(nullptr, 1, 0), nullptr);
  bndFree(rings);
}

TEST(KontFromRingList, AllocationFailureAtEveryStep) {
  Boundary* rings = fourNestedRings();
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    Kont2D* list = kontFromRingList(rings, 1, 0);
    memTestFailAt(0);
    if (list != nullptr) {
      kontFree(list);
      break;
    }
    EXPECT_EQ(geoErrCode(), -1) << n;
  }
  bndFree(rings);
}

TEST(KontArea, MatchesShoelaceWithIslandsSubtracted) {
  std::mt19937 rng(99);
  for (int round = 0; round < 30; ++round) {
    const auto outer = qdtest::star(rng, {5, -3}, 6 + round, 50.0, 90.0, false);
    const auto isl1 = qdtest::star(rng, {-15, 0}, 5 + round % 7, 3.0, 10.0, true);
    const auto isl2 = qdtest::star(rng, {20, 0}, 4 + round % 5, 3.0, 10.0, true);
    Kont2D* region = kontFromPoints(outer);
    qdtest::kontHangIslands(region, {kontFromPoints(isl1), kontFromPoints(isl2)});
    const double expected =
        std::fabs(shoelace(outer)) - std::fabs(shoelace(isl1)) - std::fabs(shoelace(isl2));
    EXPECT_NEAR(kontArea(region), expected, 1e-9 * std::fabs(expected));
    EXPECT_EQ(kontOrientation(region), 1);
    EXPECT_EQ(kontOrientation(region->child), -1);
    kontFree(region);
  }
  EXPECT_EQ(kontArea(nullptr), 0.0);
}

TEST(KontPlacement, SetZScaleTranslateReverse) {
  Kont2D* region = squareWithIsland();
  EXPECT_EQ(kontSetZ(region, 7.0), 1);
  EXPECT_EQ(region->child->z, 7.0);
  EXPECT_EQ(kontScale(region, 2.0), 1);
  EXPECT_EQ(region->xmax, 20.0);
  EXPECT_EQ(region->child->segments[0].x1, 4.0);
  EXPECT_EQ(region->z, 14.0);
  EXPECT_DOUBLE_EQ(kontArea(region), 4 * (400.0 - 16.0));
  kontTranslate(region, 1, -1, 0.5);
  EXPECT_EQ(region->xmin, -19.0);
  EXPECT_EQ(region->ymax, 19.0);
  EXPECT_EQ(region->child->segments[0].y1, 3.0);
  EXPECT_EQ(region->child->z, 14.5);
  EXPECT_EQ(kontReverse(region), 1);
  EXPECT_EQ(kontOrientation(region), -1);
  EXPECT_EQ(kontOrientation(region->child), 1);
  EXPECT_EQ(region->segments[0].x2, region->segments[1].x1);  // still a chain
  EXPECT_EQ(kontScale(region, -1.0), 1);
  EXPECT_LT(region->xmin, region->xmax);
  EXPECT_EQ(kontSetZ(nullptr, 1), 1);
  EXPECT_EQ(kontScale(nullptr, 2), 1);
  EXPECT_EQ(kontReverse(nullptr), 1);
  kontTranslate(nullptr, 1, 1, 1);
  kontFree(region);
}

TEST(KontMergeCollinear, EightHalfEdgesBecomeFour) {
  // Starts in the middle of the bottom side, so the last and the first segment are collinear.
  Kont2D* k = kontFromPoints({{1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}, {0, 0}});
  EXPECT_EQ(kontMergeCollinear(k), 1);
  ASSERT_EQ(k->count, 5);  // the closing pair is never merged
  EXPECT_EQ(k->segments[0].x1, 1.0);
  EXPECT_EQ(k->segments[0].x2, 2.0);
  EXPECT_EQ(k->segments[4].x1, 0.0);
  EXPECT_EQ(k->segments[4].x2, 1.0);
  kontFree(k);
  Kont2D* sq = kontFromPoints({{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}});
  kontMergeCollinear(sq);
  EXPECT_EQ(sq->count, 4);
  EXPECT_EQ(sq->segments[0].x1, 0.0);
  EXPECT_EQ(sq->xmax, 2.0);
  kontFree(sq);
  EXPECT_EQ(kontMergeCollinear(nullptr), 1);
}

TEST(KontProjectPoint, OnSegmentsVerticesAndBeyond) {
  Kont2D* k = kontFromPoints(square(0, 0, 1));  // (-1,-1) (1,-1) (1,1) (-1,1)
  struct Case {
    Point2D p;
    double param;
    Point2D projected;
  } cases[] = {
      {{0, -1.5}, 0.5, {0, -1}},  // below the first segment
      {{1, -1}, 1.0, {1, -1}},    // on the vertex where segment 1 starts: fraction 0
      {{1.2, 0.5}, 1.75, {1, 0.5}},
      {{3, 3}, 2.0, {1, 1}},  // no segment takes it: nearest start point
  };
  for (const Case& c : cases) {
    Point2D p = c.p;
    EXPECT_DOUBLE_EQ(kontProjectPoint(k, &p), c.param) << c.p.x << " " << c.p.y;
    EXPECT_DOUBLE_EQ(p.x, c.projected.x);
    EXPECT_DOUBLE_EQ(p.y, c.projected.y);
  }
  Point2D p{0, 0};
  EXPECT_EQ(kontProjectPoint(nullptr, &p), -1.0);
  kontFree(k);
}

TEST(KontQueries, NearestSignedDistanceAndNearContour) {
  Kont2D* region = squareWithIsland();
  Point2D out{};
  ASSERT_EQ(kontNearestPoint({4, 4.5}, region, &out), 1);  // inside the island
  EXPECT_DOUBLE_EQ(out.x, 4.0);
  EXPECT_DOUBLE_EQ(out.y, 6.0);
  ASSERT_EQ(kontNearestPoint({14, 13}, region, &out), 1);  // beyond a corner
  EXPECT_DOUBLE_EQ(out.x, 10.0);
  EXPECT_DOUBLE_EQ(out.y, 10.0);
  EXPECT_EQ(kontNearestPoint({0, 0}, nullptr, &out), 0);
  EXPECT_DOUBLE_EQ(kontSignedDistance({-7, 0}, region), 3.0);
  EXPECT_DOUBLE_EQ(kontSignedDistance({13, 0}, region), -3.0);
  EXPECT_DOUBLE_EQ(kontSignedDistance({4, 5}, region), -1.0);  // inside the island: outside
  EXPECT_EQ(kontSignedDistance({10 + 5e-7, 10}, region), 0.0);
  EXPECT_EQ(kontPointNearContour({10.5, 0}, region, 0.6), 1);
  EXPECT_EQ(kontPointNearContour({10.5, 0}, region, 0.4), 0);
  kontFree(region);
}

TEST(KontBoundaryLookup, OuterIslandOrNone) {
  Kont2D* region = squareWithIsland();
  qdtest::kontHangIslands(region, {region->child, kontFromPoints(square(-5, -5, 1, true), 1.0)});
  struct Case {
    Point2D p;
    int expected;
  } cases[] = {{{10, 3}, -1},
               {{6, 5}, 0},
               {{-4, -5}, 1},
               {{-4.0005, -5}, 1},
               {{0, 0}, kKontNoBoundary},
               {{30, 30}, kKontNoBoundary}};
  for (const Case& c : cases) {
    EXPECT_EQ(kontBoundaryThrough(region, c.p), c.expected) << c.p.x << " " << c.p.y;
    EXPECT_EQ(kontBoundaryAt(region, c.p), c.expected) << c.p.x << " " << c.p.y;
  }
  EXPECT_EQ(kontBoundaryAt(nullptr, {0, 0}), kKontNoBoundary);
  kontFree(region);
}

// With a mesh, a point on no contour came back as some contour of the region.
TEST(KontBoundaryLookup, MeshRegionGivesNoBoundaryOffTheContours) {
  Kont2D* region = squareWithIsland();
  alignas(8) unsigned char placeholder[64] = {};
  region->mesh = reinterpret_cast<TriMesh*>(placeholder);  // only its presence matters here
  geoErrReset();
  EXPECT_EQ(kontBoundaryAt(region, {0, 0}), kKontNoBoundary);
  EXPECT_EQ(geoErrCode(), kKontNoBoundary);
  EXPECT_EQ(kontBoundaryAt(region, {2, 4}), 0);
  region->mesh = nullptr;
  kontFree(region);
}

TEST(KontSelfIntersects, AcrossContoursOfTheRegion) {
  Kont2D* region = squareWithIsland();
  EXPECT_EQ(kontSelfIntersects(region, nullptr, 0, 1e-5), 0);
  // Move the island across the outer contour: two crossings with the right side.
  kontTranslate(region->child, 5, 0, 0);
  Pt2List* points = lstPt2New(4);
  EXPECT_EQ(kontSelfIntersects(region, points, 1, 1e-5), 1);
  EXPECT_GE(points->count, 2);
  for (int i = 0; i < points->count; ++i) EXPECT_DOUBLE_EQ(points->items[i].x, 10.0);
  lstBox2Free(points);
  memTestFailAt(1);
  EXPECT_EQ(kontSelfIntersects(region, nullptr, 0, 1e-5), -1);
  memTestFailAt(0);
  Kont2D* two = kontFromPoints({{0, 0}, {1, 0}});
  EXPECT_EQ(kontSelfIntersects(two, nullptr, 0, 1e-5), 0);
  kontFree(two);
  kontFree(region);
}

TEST(GeoSegCutsKont, FirstCrossedSegmentInWalkOrder) {
  Kont2D* region = squareWithIsland();
  Point2D out{};
  // The segment crosses the island's top and the outer top: the outer contour comes first.
  ASSERT_EQ(geoSegCutsKont({4, 4, 4, 20}, region, &out), 1);
  EXPECT_DOUBLE_EQ(out.x, 4.0);
  EXPECT_DOUBLE_EQ(out.y, 10.0);
  ASSERT_EQ(geoSegCutsKont({4, 4, 4, 8}, region, &out), 1);
  EXPECT_DOUBLE_EQ(out.y, 6.0);
  EXPECT_EQ(geoSegCutsKont({-1, -1, 1, 1}, region, &out), 0);
  kontFree(region);
}

}  // namespace
