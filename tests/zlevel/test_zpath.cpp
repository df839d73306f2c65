// Tests of the Z-path list: creation, conversion of region contours, removal, allocation failure,
// and the walker entry points that report failure until the walker exists.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "zlevel/walker.h"
#include "zlevel/zpath.h"

namespace {

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

TEST(Walker, EntryPointsReportFailureUntilTheWalkerExists) {
  WalkModel model{};
  WalkTool tool{};
  WalkParams params{};
  SliceContext context{};
  geoErrReset();
  EXPECT_EQ(offs3dPrepare(&model, &tool, &params), -1);
  EXPECT_EQ(geoErrCode(), -1);
  EXPECT_EQ(offs3dTrace(&model, &tool, &params, &context), -1);
  EXPECT_EQ(offs3dRelease(&model, &tool, &params), 1);
  ZPathList* list = zpathListNew(3);
  EXPECT_EQ(zpathListFillet(list, nullptr, 2.0), 0);  // empty list
  Kont2D* region = regionWithTwoIslands();
  zpathListFromContours(list, region);
  EXPECT_EQ(zpathListFillet(list, nullptr, 0.0), 0);
  kontSetSkipCheck(1);
  geoErrReset();
  EXPECT_EQ(zpathListFillet(list, region, 2.0), -1);
  EXPECT_EQ(geoErrCode(), -1);
  EXPECT_EQ(kontGetSkipCheck(), 0);
  EXPECT_EQ(list->count, 3);
  zpathListFree(list);
  kontFree(region);
}

}  // namespace
