// Tests of Z paths and their list: creation values, the merge rule and growth, measures against
// independent formulas (shoelace, winding number, all pairs), constructors, list copies,
// conversion of region contours, removal, allocation failure, and the walker entry points that
// report failure until the walker exists.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "../model/model_fixture.h"
#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "model/coll_candidates.h"
#include "zlevel/walker.h"
#include "zlevel/zpath.h"
#include "zpath_fixture.h"

namespace {

using qdtest::zpathOf;
using qdtest::ZPoint;

Kont2D* polygon(std::initializer_list<Point2D> pts, double z) {
  Kont2D* k = kontNew(nullptr, static_cast<int>(pts.size()));
  const Point2D* p = pts.begin();
  const int n = static_cast<int>(pts.size());
  for (int i = 0; i < n; ++i) {
    const Seg2D s{p[i].x, p[i].y, p[(i + 1) % n].x, p[(i + 1) % n].y};
    kontAppendSeg(k, &s);
  }
  k->closed = 1;
  k->z = z;
  return k;
}

// An 8 x 4 rectangle with two clockwise unit-square islands at height 3.
Kont2D* regionWithTwoIslands() {
  Kont2D* outer = polygon({{0, 0}, {8, 0}, {8, 4}, {0, 4}}, 3.0);
  Kont2D* i1 = polygon({{1, 1}, {1, 2}, {2, 2}, {2, 1}}, 3.0);
  Kont2D* i2 = polygon({{5, 1}, {5, 2}, {6, 2}, {6, 1}}, 3.0);
  outer->child = i1;
  i1->prev = outer;
  i1->next = i2;
  i2->prev = i1;
  return outer;
}

TEST(ZPathList, NewHasRoomForThree) {
  ZPathList* list = zpathListNew(0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->capacity, 3);
  EXPECT_EQ(zpathListFree(list), 1);
  EXPECT_EQ(zpathListFree(nullptr), 1);
}

TEST(ZPathList, FromContoursMakesClosedBoundaryPaths) {
  Kont2D* region = regionWithTwoIslands();
  ZPathList* list = zpathListNew(1);  // grows on the way
  ASSERT_EQ(zpathListFromContours(list, region), 1);
  ASSERT_EQ(list->count, 3);
  const ZPath& outer = list->items[0];
  EXPECT_EQ(outer.count, 4);
  EXPECT_EQ(outer.points[2], 8.0f);
  EXPECT_EQ(outer.z, 3.0);
  EXPECT_EQ(outer.closed, 1);
  EXPECT_EQ(outer.area, 32.0);
  EXPECT_EQ(outer.orientation, 1);
  EXPECT_EQ(outer.materialInside, 1);
  EXPECT_EQ(outer.nestingDepth, 0);
  EXPECT_EQ(outer.flags, ZP_FROM_CONTOUR);
  EXPECT_EQ(outer.xmax, 8.0);
  EXPECT_EQ(outer.ymax, 4.0);
  EXPECT_EQ(outer.groupId, INT_MAX);
  EXPECT_EQ(outer.groupStartX, DBL_MAX);
  for (int i = 0; i < outer.count; ++i) {
    EXPECT_EQ(outer.elementIds[i], -2);
    EXPECT_EQ(outer.contactKinds[i], -1);
  }
  for (int p = 1; p < 3; ++p) {
    const ZPath& isl = list->items[p];
    EXPECT_EQ(isl.area, -1.0);
    EXPECT_EQ(isl.orientation, -1);
    EXPECT_EQ(isl.materialInside, 0);
    EXPECT_EQ(isl.nestingDepth, 1);
    EXPECT_EQ(isl.contactKinds[0], 0);
  }
  EXPECT_EQ(list->items[2].xmin, 5.0);
  // Appending again adds to what is there.
  ASSERT_EQ(zpathListFromContours(list, region), 1);
  EXPECT_EQ(list->count, 6);
  EXPECT_EQ(zpathListFromContours(list, nullptr), 0);
  Kont2D* empty = kontNew(nullptr, 3);
  EXPECT_EQ(zpathListFromContours(list, empty), 0);
  EXPECT_EQ(zpathListFromContours(nullptr, region), 0);
  kontFree(empty);
  zpathListFree(list);
  kontFree(region);
}

TEST(ZPathList, RemoveMovesTheLaterPathsDown) {
  Kont2D* region = regionWithTwoIslands();
  ZPathList* list = zpathListNew(3);
  zpathListFromContours(list, region);
  EXPECT_EQ(zpathListRemove(list, 3), 0);
  EXPECT_EQ(zpathListRemove(list, -1), 0);
  EXPECT_EQ(zpathListRemove(nullptr, 0), 0);
  EXPECT_EQ(zpathListRemove(list, 1), 1);
  ASSERT_EQ(list->count, 2);
  EXPECT_EQ(list->items[1].xmin, 5.0);
  EXPECT_EQ(zpathListRemove(list, 0), 1);
  EXPECT_EQ(zpathListRemove(list, 0), 1);
  EXPECT_EQ(zpathListRemove(list, 0), 0);  // empty
  zpathListFree(list);
  kontFree(region);
}

// Every allocation fails in turn: -1, the list as it was, nothing leaked.
TEST(ZPathList, AllocationFailureRemovesWhatWasAdded) {
  Kont2D* region = regionWithTwoIslands();
  ZPathList* list = zpathListNew(1);
  ASSERT_EQ(zpathListFromContours(list, region), 1);
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    const int r = zpathListFromContours(list, region);
    memTestFailAt(0);
    if (r == 1) break;
    EXPECT_EQ(r, -1);
    EXPECT_EQ(list->count, 3) << n;
    EXPECT_EQ(geoErrCode(), -1);
  }
  EXPECT_EQ(list->count, 6);
  zpathListFree(list);
  kontFree(region);
}

// ---- creation and the append rule ---------------------------------------------------------------

class ZPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zpathResetState();
    collCtxResetState();
    geoErrReset();
  }
  void TearDown() override { memTestFailAt(0); }
};

// Appends (x, y) with no contact.
int append(ZPath* path, double x, double y, int id = 5, int kind = 1) {
  const float pt[2] = {static_cast<float>(x), static_cast<float>(y)};
  return zpathAppendPoint(path, pt, nullptr, id, kind);
}

std::vector<Point2D> pointsOf(const ZPath* path) {
  std::vector<Point2D> out;
  for (int i = 0; i < path->count; ++i)
    out.push_back({path->points[2 * i], path->points[2 * i + 1]});
  return out;
}

TEST_F(ZPathTest, NewPathHasTheCreationValues) {
  ZPath* path = zpathNew(0);
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->capacity, 3);
  EXPECT_EQ(path->count, 0);
  EXPECT_EQ(path->xmin, DBL_MAX);
  EXPECT_EQ(path->ymax, -DBL_MAX);
  EXPECT_EQ(path->subGroupStartY, DBL_MAX);
  EXPECT_EQ(path->z, DBL_MAX);
  EXPECT_EQ(path->area, 0.0);
  for (int v : {path->closed, path->orientation, path->materialInside, path->nestingDepth,
                path->groupId, path->subGroupId}) {
    EXPECT_EQ(v, INT_MAX);
  }
  EXPECT_EQ(path->reserved, 0);
  EXPECT_EQ(path->flags, 0u);
  // A reset keeps capacity, arrays and reserved.
  append(path, 1, 2);
  path->reserved = 7;
  path->flags = 0x10;
  path->closed = 1;
  float* points = path->points;
  EXPECT_EQ(zpathReset(path), 1);
  EXPECT_EQ(path->count, 0);
  EXPECT_EQ(path->points, points);
  EXPECT_EQ(path->reserved, 7);
  EXPECT_EQ(path->flags, 0u);
  EXPECT_EQ(path->closed, INT_MAX);
  EXPECT_EQ(path->xmin, DBL_MAX);
  EXPECT_EQ(zpathReset(nullptr), 1);
  EXPECT_EQ(zpathFree(path), 1);
  EXPECT_EQ(zpathFree(nullptr), 1);
}

struct MergeCase {
  const char* name;
  double mergeLength;
  double middleY;  // y of the middle point between (0, 0) and (2, 0)
  int ids[3];
  int kinds[3];
  bool marked;  // the level's candidate fill met an additional sub-model
  int expected;
};
// Test names and failure lines show the case by its name.
void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

class ZPathMergeRule : public ZPathTest, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(ZPathMergeRule, KeepsOrDropsTheMiddlePoint) {
  const MergeCase& c = GetParam();
  qdtest::TriModel model({Tri3D{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}}, qdtest::makeCutter(1, 1, 1));
  CollCtx ctx{};
  if (c.marked) {
    SubModel* sub = modelNewSubModel(&model.m, 0.0, 0, 3, 1, 1);
    model.m.subModels = sub;
    WalkParams params{};
    params.model = &model.m;
    params.mode = 1;
    CutterShape cutter{};
    ASSERT_EQ(collCtxAlloc(&ctx, &params), 1);
    ASSERT_EQ(collCtxFill(&ctx, &params, &cutter), 1);
    ASSERT_EQ(collCtxFlagged(), 1);
  }
  zpathSetMergeLength(c.mergeLength);
  ZPath* path = zpathNew(3);
  const double xs[3] = {0, 1, 2}, ys[3] = {0, c.middleY, 0};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(append(path, xs[i], ys[i], c.ids[i], c.kinds[i]), 1);
  EXPECT_EQ(path->count, c.expected);
  EXPECT_EQ(path->points[2 * (path->count - 1)], 2.0f);  // the new point is always stored
  EXPECT_EQ(path->ymax, static_cast<float>(c.middleY));  // a dropped point stays in the box
  zpathFree(path);
  collCtxFree(&ctx);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZPathMergeRule,
    ::testing::Values(
        MergeCase{"CollinearSameContact", 1e10, 0, {5, 5, 5}, {1, 1, 1}, false, 2},
        MergeCase{"MergeLengthZero", 0, 0, {5, 5, 5}, {1, 1, 1}, false, 3},
        MergeCase{"SpanLongerThanMergeLength", 1.9, 0, {5, 5, 5}, {1, 1, 1}, false, 3},
        MergeCase{"SpanShorterThanMergeLength", 2.1, 0, {5, 5, 5}, {1, 1, 1}, false, 2},
        MergeCase{"KindsOfOppositeSign", 1e10, 0, {5, 5, 5}, {1, 1, -1}, false, 3},
        MergeCase{"KindZero", 1e10, 0, {-1, -1, -1}, {0, 0, 0}, false, 3},
        MergeCase{"IdsOfOppositeSign", 1e10, 0, {5, 5, -3}, {1, 1, 1}, false, 3},
        MergeCase{"BoundaryPoints", 1e10, 0, {-2, -2, -2}, {-1, -1, -1}, false, 2},
        MergeCase{"CrossJustBelow", 1e10, 0.99e-4 / 2, {5, 5, 5}, {1, 1, 1}, false, 2},
        MergeCase{"CrossJustAbove", 1e10, 1.01e-4 / 2, {5, 5, 5}, {1, 1, 1}, false, 3},
        MergeCase{"OtherIdUnmarked", 1e10, 0, {5, 5, 6}, {1, 1, 1}, false, 2},
        MergeCase{"OtherIdOnMarkedLevel", 1e10, 0, {5, 5, 6}, {1, 1, 1}, true, 3},
        MergeCase{"SameIdOnMarkedLevel", 1e10, 0, {5, 5, 5}, {1, 1, 1}, true, 2}),
    [](const ::testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.name); });

// Capacity after each growth: floor(1.5 c), but at least c + 1 and 3.
TEST_F(ZPathTest, GrowthFromThreeFourOneAndZero) {
  ZPath* path = zpathNew(3);
  std::vector<int> capacities;
  for (int i = 0; i < 7; ++i) {
    append(path, i, i * i);  // never collinear
    capacities.push_back(path->capacity);
  }
  EXPECT_EQ(capacities, (std::vector<int>{3, 3, 3, 4, 6, 6, 9}));
  zpathFree(path);
  for (int start : {1, 0}) {
    ZPath small{};
    zpathReset(&small);
    if (start == 1) {
      small.points = static_cast<float*>(memAllocZero(2 * sizeof(float)));
      small.contacts = static_cast<float*>(memAllocZero(3 * sizeof(float)));
      small.elementIds = static_cast<std::int32_t*>(memAllocZero(sizeof(std::int32_t)));
      small.contactKinds = static_cast<std::int32_t*>(memAllocZero(sizeof(std::int32_t)));
      small.capacity = 1;
      ASSERT_EQ(append(&small, 0, 0), 1);
    }
    for (int i = 0; i < 5; ++i) ASSERT_EQ(append(&small, i + 1, (i + 1) * (i + 1)), 1) << start;
    EXPECT_EQ(small.count, 5 + start);
    EXPECT_GE(small.capacity, small.count);
    EXPECT_EQ(small.points[2 * (small.count - 1)], 5.0f);
    zpathFreeArrays(&small);
    EXPECT_EQ(small.capacity, 0);
  }
}

// A growth that fails leaves the path as it was; the walk fails each of the four reallocations.
TEST_F(ZPathTest, FailedGrowthLeavesThePath) {
  ZPath* path = zpathNew(3);
  for (int i = 0; i < 3; ++i) append(path, i, i * i);
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    const int r = append(path, 10, -3);
    memTestFailAt(0);
    if (r == 1) break;
    EXPECT_EQ(r, -1);
    EXPECT_EQ(path->count, 3);
    EXPECT_EQ(path->capacity, 3);
    EXPECT_EQ(path->xmax, 2.0);
    EXPECT_EQ(path->points[4], 2.0f);
  }
  EXPECT_EQ(path->count, 4);
  zpathFree(path);
}

TEST_F(ZPathTest, InsertPoint) {
  ZPath* path = zpathNew(3);
  for (int i = 0; i < 3; ++i) append(path, i, 0);  // merges to two points
  ASSERT_EQ(path->count, 2);
  const float pt[2] = {1, 0}, c[3] = {4, 5, 6};
  EXPECT_EQ(zpathInsertPoint(path, -1, pt, c, 5, 1), kZpathBadIndex);
  EXPECT_EQ(zpathInsertPoint(path, 3, pt, c, 5, 1), kZpathBadIndex);
  EXPECT_EQ(zpathInsertPoint(nullptr, 0, pt, c, 5, 1), kZpathBadIndex);
  EXPECT_EQ(zpathInsertPoint(path, 0, nullptr, c, 5, 1), kZpathBadIndex);
  // At count it appends without merging, though the point continues the line.
  const float end[2] = {3, 0};
  ASSERT_EQ(zpathInsertPoint(path, 2, end, c, 5, 1), 1);
  ASSERT_EQ(zpathInsertPoint(path, 1, pt, c, 7, 2), 1);
  ASSERT_EQ(path->count, 4);
  EXPECT_EQ(pointsOf(path)[1].x, 1.0);
  EXPECT_EQ(path->elementIds[1], 7);
  EXPECT_EQ(path->contacts[3 * 1 + 2], 6.0f);
  EXPECT_EQ(path->points[2 * 2], 2.0f);
  EXPECT_EQ(path->capacity, 4);
  const float far[2] = {-5, 9};
  ASSERT_EQ(zpathInsertPoint(path, 0, far, nullptr, -1, 0), 1);
  EXPECT_EQ(path->capacity, 6);
  EXPECT_EQ(path->xmin, -5.0);
  EXPECT_EQ(path->ymax, 9.0);
  EXPECT_EQ(path->contacts[0], 0.0f);
  zpathFree(path);
}

TEST_F(ZPathTest, NullPathsGiveNeutralAnswers) {
  EXPECT_EQ(zpathSetFlags(nullptr, 0x10), nullptr);
  EXPECT_EQ(zpathHasFlag(nullptr, 0x10), 0);
  EXPECT_EQ(append(nullptr, 0, 0), -1);
  EXPECT_EQ(zpathRemoveDuplicatePoints(nullptr, 1), 0);
  EXPECT_EQ(zpathArea(nullptr), 0.0);
  EXPECT_EQ(zpathOrientation(nullptr), 0);
  EXPECT_EQ(zpathContainsPoint({0, 0}, nullptr), 0);
  EXPECT_EQ(zpathContactInside(nullptr), 0);
  EXPECT_EQ(zpathExceedsSize(nullptr, 1.0), 0);
  EXPECT_EQ(zpathPointDistance({0, 0}, nullptr), DBL_MAX);
  EXPECT_EQ(zpathScale(nullptr, 2.0), 0);
  ZPath* path = zpathNew(3);
  EXPECT_EQ(zpathSetFlags(path, 0x10), path);
  zpathSetFlags(path, 0x200);
  EXPECT_EQ(path->flags, 0x210u);
  EXPECT_EQ(zpathHasFlag(path, 0x20 | 0x200), 1);
  EXPECT_EQ(zpathHasFlag(path, 0x20), 0);
  EXPECT_EQ(zpathExceedsSize(path, -1.0), 0);  // empty
  zpathFree(path);
}

TEST_F(ZPathTest, RemoveDuplicatePoints) {
  for (int mode : {1, 0, 3}) {
    ZPath* path = zpathOf({{0, 0, 1}, {0, 5e-7, 2}, {1, 0, 3}, {1, 0, 4}, {0, 0, 6}});
    const int r = zpathRemoveDuplicatePoints(path, mode);
    if ((mode & 1) != 0) {
      EXPECT_EQ(r, 5);
      ASSERT_EQ(path->count, 3);  // the last point is not compared with the first
      EXPECT_EQ(path->elementIds[1], 3);
      EXPECT_EQ(path->elementIds[2], 6);
    } else {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(path->count, 5);
    }
    zpathFree(path);
  }
  ZPath* empty = zpathNew(3);
  EXPECT_EQ(zpathRemoveDuplicatePoints(empty, 1), 0);
  EXPECT_EQ(empty->count, 0);
  zpathFree(empty);
}

// ---- measures against independent formulas ----------------------------------------------------

double shoelace(const std::vector<ZPoint>& p) {
  double sum = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const ZPoint& a = p[i];
    const ZPoint& b = p[(i + 1) % p.size()];
    sum += static_cast<double>(static_cast<float>(a.x)) * static_cast<float>(b.y) -
           static_cast<double>(static_cast<float>(b.x)) * static_cast<float>(a.y);
  }
  return sum / 2.0;
}

TEST_F(ZPathTest, AreaAndOrientationMatchTheShoelace) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> count(3, 40);
  for (int t = 0; t < 300; ++t) {
    const bool cw = t % 2 == 1;
    const double cx = 3.0 * t, cy = -2.0, r = 1.0 + t % 7;
    auto pts = qdtest::randomStar(rng, count(rng), cx, cy, r, cw);
    if (t % 3 == 0) {
      // Flat bottoms, so that the lowest points tie in y: the points below a line move along
      // their rays from the centre onto it, which keeps the polygon star-shaped and simple.
      const double h = 0.6 * r;
      for (ZPoint& p : pts) {
        if (p.y >= cy - h) continue;
        p.x = cx + (p.x - cx) * h / (cy - p.y);
        p.y = cy - h;
      }
    }
    ZPath* path = zpathOf(pts);
    const double area = shoelace(pts);
    EXPECT_NEAR(zpathArea(path), area, 1e-9 * (1.0 + std::fabs(area))) << t;
    if (std::fabs(area) > 1e-6) {
      EXPECT_EQ(zpathOrientation(path), area > 0 ? 1 : -1) << t;
    }
    zpathFree(path);
  }
  // The unit square and its reverse; area 0 for an open path.
  ZPath* square = zpathOf({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(zpathArea(square), 1.0);
  EXPECT_EQ(zpathOrientation(square), 1);
  square->closed = 0;
  EXPECT_EQ(zpathArea(square), 0.0);
  zpathFree(square);
  ZPath* reversed = zpathOf({{0, 1}, {1, 1}, {1, 0}, {0, 0}});
  EXPECT_EQ(zpathArea(reversed), -1.0);
  EXPECT_EQ(zpathOrientation(reversed), -1);
  zpathFree(reversed);
}

// A clockwise path whose lowest point repeats across the seam: the turn at the pivot with its
// repeated neighbour was read as counter-clockwise.
TEST_F(ZPathTest, OrientationWithARepeatedOrDoubledBackPivot) {
  ZPath* repeated = zpathOf({{1, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 0}});
  EXPECT_EQ(zpathOrientation(repeated), -1);
  zpathFree(repeated);
  // A spike down to the lowest point and straight back up: the area decides.
  ZPath* spike = zpathOf({{0, 2}, {3, 2}, {3, 4}, {0, 4}, {2, 3}, {2, 0}, {2, 3}});
  EXPECT_EQ(zpathOrientation(spike),
            shoelace({{0, 2}, {3, 2}, {3, 4}, {0, 4}, {2, 3}, {2, 0}, {2, 3}}) > 0 ? 1 : -1);
  zpathFree(spike);
  ZPath* line = zpathOf({{0, 0}, {1, 0}, {2, 0}});
  EXPECT_EQ(zpathOrientation(line), 0);
  zpathFree(line);
}

// Winding number of the closed polygon about p (non-zero inside).
int winding(const std::vector<ZPoint>& pts, const Point2D& p) {
  int w = 0;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const double ax = static_cast<float>(pts[i].x), ay = static_cast<float>(pts[i].y);
    const ZPoint& nb = pts[(i + 1) % pts.size()];
    const double bx = static_cast<float>(nb.x), by = static_cast<float>(nb.y);
    const double side = (bx - ax) * (p.y - ay) - (p.x - ax) * (by - ay);
    if (ay <= p.y) {
      if (by > p.y && side > 0) ++w;
    } else if (by <= p.y && side < 0) {
      --w;
    }
  }
  return w;
}

TEST_F(ZPathTest, ContainsPointMatchesTheWindingNumber) {
  std::mt19937 rng(5);
  for (int t = 0; t < 60; ++t) {
    const auto pts = qdtest::randomStar(rng, 5 + t, 1.0, 2.0, 4.0, t % 2 == 0);
    ZPath* path = zpathOf(pts);
    std::uniform_real_distribution<double> u(-4.0, 6.0), v(-3.0, 7.0);
    for (int k = 0; k < 200; ++k) {
      const Point2D p{u(rng), v(rng)};
      EXPECT_EQ(zpathContainsPoint(p, path), winding(pts, p) != 0 ? 1 : 0) << t << " " << k;
    }
    zpathFree(path);
  }
  ZPath* square = zpathOf({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(zpathContainsPoint({0.5, 0.5}, square), 1);
  EXPECT_EQ(zpathContainsPoint({1.5, 0.5}, square), 0);
  zpathFree(square);
  ZPath* two = zpathOf({{0, 0}, {1, 1}});
  EXPECT_EQ(zpathContainsPoint({0.5, 0.5}, two), 0);
  zpathFree(two);
}

TEST_F(ZPathTest, ContactInsideNeedsAModelContactInsideAClosedPath) {
  // An island of material: the tool runs around it, its contacts inside.
  ZPath* island = zpathOf({{0, 0, -1, 0}, {4, 0, 5, 1, 3, 1}, {4, 4, 5, -2, 3, 3}, {0, 4}});
  EXPECT_EQ(zpathContactInside(island), 1);
  island->closed = 0;
  EXPECT_EQ(zpathContactInside(island), 0);
  zpathFree(island);
  // Contacts outside, or only boundary points and points without contact inside.
  ZPath* pocket =
      zpathOf({{0, 0, 5, 1, -1, 2}, {4, 0, -2, -1, 2, 2}, {4, 4, -1, 0, 2, 2}, {0, 4, 5, 5, 2, 2}});
  EXPECT_EQ(zpathContactInside(pocket), 0);
  zpathFree(pocket);
}

// Largest squared distance of the float points, the oracle of the size test.
double diameterSq(const std::vector<ZPoint>& pts) {
  double best = 0;
  for (const ZPoint& a : pts)
    for (const ZPoint& b : pts) {
      const double dx = static_cast<double>(static_cast<float>(a.x)) - static_cast<float>(b.x);
      const double dy = static_cast<double>(static_cast<float>(a.y)) - static_cast<float>(b.y);
      best = std::max(best, dx * dx + dy * dy);
    }
  return best;
}

TEST_F(ZPathTest, ExceedsSizeMatchesAllPairs) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-5.0, 5.0);
  std::vector<std::vector<ZPoint>> sets;
  for (int n : {1, 2, 3, 31, 32, 50, 200, 600}) {
    std::vector<ZPoint> random, collinear, repeated, circle;
    for (int i = 0; i < n; ++i) {
      random.push_back({u(rng), u(rng)});
      const double t = u(rng);
      collinear.push_back({0.3 * t + 1, -0.7 * t});
      repeated.push_back({static_cast<double>(i % 3), static_cast<double>(i % 2)});
      const double a = 2 * std::numbers::pi * i / n;
      circle.push_back({4 * std::cos(a) + 100, 4 * std::sin(a) - 50});
    }
    for (auto* s : {&random, &collinear, &repeated, &circle}) sets.push_back(*s);
  }
  for (std::size_t k = 0; k < sets.size(); ++k) {
    ZPath* path = zpathOf(sets[k]);
    const double d = std::sqrt(diameterSq(sets[k]));
    const double w = path->xmax - path->xmin, h = path->ymax - path->ymin;
    for (double f : {0.5, 0.999, 1.0 - 1e-13, 1.0, 1.0 + 1e-13, 1.001, 2.0}) {
      const double s = d * f;
      const int expected = w > s || h > s || diameterSq(sets[k]) > s * s ? 1 : 0;
      EXPECT_EQ(zpathExceedsSizePlain(path, s), expected) << k << " " << f;
      EXPECT_EQ(zpathExceedsSize(path, s), expected) << k << " " << f;
    }
    zpathFree(path);
  }
  ZPath* square = zpathOf({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(zpathExceedsSize(square, 1.2), 1);
  EXPECT_EQ(zpathExceedsSize(square, 1.5), 0);
  EXPECT_EQ(zpathExceedsSize(square, 0.9), 1);  // the box alone
  zpathFree(square);
}

TEST_F(ZPathTest, PointDistance) {
  ZPath* square = zpathOf({{0, 0}, {2, 0}, {2, 2}, {0, 2}});
  EXPECT_DOUBLE_EQ(zpathPointDistance({1, -1}, square), 1.0);
  EXPECT_DOUBLE_EQ(zpathPointDistance({-0.5, 1}, square), 0.5);  // the closing edge
  EXPECT_DOUBLE_EQ(zpathPointDistance({3, 3}, square), std::sqrt(2.0));
  EXPECT_EQ(zpathPointDistance({2, 2 + 1e-7}, square), 0.0);
  square->closed = 0;
  EXPECT_DOUBLE_EQ(zpathPointDistance({-0.5, 1}, square), std::sqrt(0.25 + 1.0));
  zpathFree(square);
}

TEST_F(ZPathTest, ScaleAboutTheOrigin) {
  ZPath* path = zpathOf({{1, 1, 5, 1, 2, 3, 4}, {3, 1}, {3, 2}}, 2.0);
  EXPECT_EQ(zpathScale(path, 1.000001), 0);
  ASSERT_EQ(zpathScale(path, 2.0), 1);
  EXPECT_EQ(path->points[2], 6.0f);
  EXPECT_EQ(path->contacts[2], 8.0f);
  EXPECT_EQ(path->z, 4.0);
  EXPECT_EQ(path->xmax, 6.0);
  EXPECT_EQ(path->area, 4.0);
  EXPECT_EQ(path->groupStartX, DBL_MAX);  // unset fields stay unset
  ASSERT_EQ(zpathScale(path, -1.0), 1);
  EXPECT_LE(path->xmin, path->xmax);
  EXPECT_EQ(path->xmin, -6.0);
  zpathFree(path);
}

TEST_F(ZPathTest, ContourConstructors) {
  Kont2D* k = polygon({{0, 0}, {1, 0}, {2, 0}, {2, 3}, {0, 3}}, 4.0);
  ZPath* path = zpathFromContour(k);
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->count, 4);  // the collinear boundary point merged
  EXPECT_EQ(path->z, 4.0);
  EXPECT_EQ(path->closed, 1);
  EXPECT_EQ(path->materialInside, 0);
  EXPECT_EQ(path->nestingDepth, -1);
  EXPECT_EQ(path->flags, ZP_FROM_CONTOUR);
  EXPECT_EQ(path->area, 6.0);
  EXPECT_EQ(path->orientation, 1);
  EXPECT_EQ(path->elementIds[0], -2);
  EXPECT_EQ(path->contactKinds[0], -1);
  zpathFree(path);
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    ZPath* p = zpathFromContour(k);
    memTestFailAt(0);
    if (p != nullptr) {
      zpathFree(p);
      break;
    }
    EXPECT_EQ(geoErrCode(), -1);
  }
  Kont2D* two = polygon({{0, 0}, {1, 0}}, 0.0);
  EXPECT_EQ(zpathFromContour(two), nullptr);
  EXPECT_EQ(zpathFromContour(nullptr), nullptr);
  kontFree(two);
  kontFree(k);

  const Point2D a{3, 1}, b{1, 2};
  ZPath* box = zpathFromBox(&a, &b);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(pointsOf(box)[1].x, 1.0);
  EXPECT_EQ(pointsOf(box)[1].y, 1.0);
  EXPECT_EQ(box->z, -DBL_MAX);
  EXPECT_EQ(box->flags, ZP_FRAME_BOX);
  EXPECT_EQ(box->area, -2.0);
  EXPECT_EQ(box->orientation, -1);
  EXPECT_EQ(box->nestingDepth, -1);
  zpathFree(box);
  EXPECT_EQ(zpathFromBox(&a, nullptr), nullptr);
}

TEST_F(ZPathTest, ListAddCopiesUnderTheMergeRule) {
  ZPath* path = zpathOf({{0, 0, -2, -1}, {1, 0, -2, -1}, {2, 0, -2, -1}}, 3.0);
  path->reserved = 9;
  path->groupId = 4;
  path->flags = 0x840;
  ZPathList* list = zpathListNew(0);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(zpathListAdd(list, path), 1);
  EXPECT_EQ(list->capacity, 6);
  const ZPath& copy = list->items[4];
  EXPECT_EQ(copy.count, 2);  // the collinear boundary points merged in the copy
  EXPECT_EQ(copy.capacity, 3);
  EXPECT_EQ(copy.reserved, 0);
  EXPECT_EQ(copy.groupId, 4);
  EXPECT_EQ(copy.flags, 0x840u);
  EXPECT_EQ(copy.z, 3.0);
  EXPECT_NE(copy.points, path->points);
  EXPECT_EQ(zpathListAdd(list, nullptr), 0);
  EXPECT_EQ(zpathListAdd(nullptr, path), -1);
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    const int r = zpathListAdd(list, path);
    memTestFailAt(0);
    if (r == 1) break;
    EXPECT_EQ(r, -1);
    EXPECT_EQ(list->count, 5);
  }
  EXPECT_EQ(list->count, 6);
  EXPECT_EQ(zpathListClear(list), 1);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(zpathListClear(nullptr), 0);
  zpathListFree(list);
  zpathFree(path);
}

}  // namespace
