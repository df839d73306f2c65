// Tests of the machining order of Z paths: the nearest-corner chain against a brute-force greedy
// chain, the level runs and the z sort, pocket groups through stacked levels with and without
// plane levels (every group start in the free area of its group's paths), island sub-groups,
// start points, failures that leave the list sorted by z, and the region order.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_grouping.h"
#include "zpath_fixture.h"

namespace {

using qdtest::zpathOf;
using qdtest::ZPoint;

struct Sq {
  double x0, y0, x1, y1, z;
  int material = 0;  // 1: an island (material inside)
  std::uint32_t flags = 0;
  int id = 5;  // element id of every point (-2: boundary points)
};

ZPath* squarePath(const Sq& s) {
  ZPath* p = zpathOf(
      {{s.x0, s.y0, s.id}, {s.x1, s.y0, s.id}, {s.x1, s.y1, s.id}, {s.x0, s.y1, s.id}}, s.z);
  p->materialInside = s.material;
  p->nestingDepth = -1;
  zpathSetFlags(p, s.flags);
  return p;
}

struct List {
  ZPathList* l = zpathListNew(4);
  List() = default;
  explicit List(const std::vector<Sq>& squares) {
    for (const Sq& s : squares) add(squarePath(s));
  }
  ~List() { zpathListFree(l); }
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  // Every point is kept: the merge rule is off while the path is copied in.
  void add(ZPath* p) {
    const double saved = zpathGetMergeLength();
    zpathSetMergeLength(0.0);
    zpathListAdd(l, p);
    zpathSetMergeLength(saved);
    zpathFree(p);
  }
  const ZPath& operator[](int i) const { return l->items[i]; }
};

class Grouping : public ::testing::Test {
 protected:
  void SetUp() override {
    zpathResetState();
    geoErrReset();
  }
};

// The greedy chain of one run: repeatedly the remaining corner nearest to the reference.
std::vector<Point2D> greedy(std::vector<Point2D> corners, Point2D ref) {
  std::vector<Point2D> out;
  while (!corners.empty()) {
    std::size_t best = 0;
    for (std::size_t k = 1; k < corners.size(); ++k) {
      const double dk = std::hypot(corners[k].x - ref.x, corners[k].y - ref.y);
      const double db = std::hypot(corners[best].x - ref.x, corners[best].y - ref.y);
      if (dk < db) best = k;
    }
    ref = corners[best];
    out.push_back(ref);
    corners.erase(corners.begin() + static_cast<std::ptrdiff_t>(best));
  }
  return out;
}

}  // namespace

// Random squares on levels given in rising order (one level split 0.0004 below another, which
// joins its run): levels come out from the top down, each run chained greedily from (0, 0), the
// next from the last corner of the run above.
TEST_F(Grouping, NearestChainEqualsBruteForceGreedy) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> u(0, 100);
  const double levels[] = {4.0, 7.0, 9.9996, 10.0};
  std::vector<std::vector<Point2D>> runs(3);
  List list;
  for (int k = 0; k < 60; ++k) {
    const double z = levels[k % 4];
    const double x = u(rng), y = u(rng);
    list.add(squarePath({x, y, x + 1 + u(rng) / 20, y + 1 + u(rng) / 20, z}));
    const int run = z > 9 ? 0 : z > 5 ? 1 : 2;
    runs[static_cast<std::size_t>(run)].push_back(
        {static_cast<double>(static_cast<float>(x)), static_cast<double>(static_cast<float>(y))});
  }
  ASSERT_EQ(zpathListOrder(list.l, kZpathOrderLevels | kZpathOrderChain), 1);
  std::vector<Point2D> want;
  Point2D ref{0, 0};
  for (const auto& run : runs) {
    const std::vector<Point2D> chain = greedy(run, ref);
    want.insert(want.end(), chain.begin(), chain.end());
    ref = chain.back();
  }
  ASSERT_EQ(list.l->count, static_cast<int>(want.size()));
  for (int i = 0; i < list.l->count; ++i) {
    EXPECT_EQ(list[i].xmin, want[i].x) << i;
    EXPECT_EQ(list[i].ymin, want[i].y) << i;
    if (i > 0) {
      EXPECT_GE(list[i - 1].z, list[i].z - 0.001) << i;
    }
  }
}

TEST_F(Grouping, ChainCasesAndTheZSort) {
  {  // (1, 1) before (5, 5); the next level starts from (5, 5), where (2, 2) lies nearer
    List list({{5, 5, 6, 6, 10}, {1, 1, 2, 2, 10}, {0.5, 3.5, 1, 4, 9}, {2, 2, 3, 3, 9}});
    ASSERT_EQ(zpathListOrder(list.l, 0x11), 1);
    const double want[4][2] = {{1, 1}, {5, 5}, {2, 2}, {0.5, 3.5}};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(list[i].xmin, want[i][0]) << i;
      EXPECT_EQ(list[i].ymin, want[i][1]) << i;
    }
  }
  {  // equal distances keep their order
    List list({{3, 4, 5, 5, 1}, {4, 3, 5, 5, 1}});
    ASSERT_EQ(zpathListOrder(list.l, 0x11), 1);
    EXPECT_EQ(list[0].xmin, 3);
    List swapped({{4, 3, 5, 5, 1}, {3, 4, 5, 5, 1}});
    ASSERT_EQ(zpathListOrder(swapped.l, 0x11), 1);
    EXPECT_EQ(swapped[0].xmin, 4);
  }
  {  // rising z comes out falling under every flag; flag 0 returns 0 with depths set
    for (int flags : {0, 1, 0x11, 2, 6}) {
      List list({{0, 0, 1, 1, 1}, {0, 0, 10, 10, 2}, {2, 2, 3, 3, 2}, {0, 0, 1, 1, 3}});
      const int r = zpathListOrder(list.l, flags);
      EXPECT_EQ(r, flags == 0 ? 0 : 1) << flags;
      for (int i = 1; i < 4; ++i) EXPECT_GE(list[i - 1].z, list[i].z) << flags;
    }
    List list({{0, 0, 10, 10, 2}, {2, 2, 3, 3, 2}});
    ASSERT_EQ(zpathListOrder(list.l, 0), 0);
    EXPECT_EQ(list[0].nestingDepth, 0);
    EXPECT_EQ(list[1].nestingDepth, 1);
  }
  List one({{0, 0, 1, 1, 1}});
  EXPECT_EQ(zpathListOrder(one.l, 2), 1);
  EXPECT_EQ(one[0].nestingDepth, -1) << "a single path is left alone";
  EXPECT_EQ(zpathListOrder(nullptr, 2), 0);
  List empty;
  EXPECT_EQ(zpathListOrder(empty.l, 2), 0);
  EXPECT_EQ(zpathOrderNearest(nullptr, 3, {0, 0}), 0);
}

// Start points beside the leftmost point: one unit along the bisector of a square's corner, 0.1
// right of a vertical leftmost edge, 0.1 left for an island; too few points and collapses.
TEST_F(Grouping, StartPoints) {
  Point2D p{};
  ZPath* sq = squarePath({0, 0, 20, 20, 0});
  ASSERT_EQ(zpathFindInsidePoint(sq, &p), 1);
  EXPECT_NEAR(p.x, std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(p.y, std::sqrt(0.5), 1e-6);
  ASSERT_EQ(zpathFindIslandPoint(sq, &p), 1);
  EXPECT_NEAR(p.x, std::sqrt(0.5), 1e-6);
  sq->materialInside = 1;
  ASSERT_EQ(zpathFindInsidePoint(sq, &p), 1);
  EXPECT_EQ(p.x, -0.1);
  EXPECT_EQ(p.y, 0.0);
  ZPath* wall = zpathOf({{0, 5}, {0, 0}, {5, 0}, {5, 10}, {0, 10}});
  wall->materialInside = 0;
  ASSERT_EQ(zpathFindInsidePoint(wall, &p), 1);
  EXPECT_NEAR(p.x, 0.1, 1e-12);
  EXPECT_EQ(p.y, 5.0);
  ZPath* flat = zpathOf({{0, 0}, {1, 0}, {2, 0}});
  flat->materialInside = 0;
  EXPECT_EQ(zpathFindInsidePoint(flat, &p), kZpathNoInsidePoint);
  EXPECT_EQ(zpathFindIslandPoint(flat, &p), kZpathNoIslandPoint);
  ZPath* two = zpathOf({{0, 0}, {1, 0}});
  p = Point2D{7, 7};
  EXPECT_EQ(zpathFindInsidePoint(two, &p), 0);
  EXPECT_EQ(p.x, 7.0);
  EXPECT_EQ(zpathFindInsidePoint(sq, nullptr), -1);
  for (ZPath* z : {sq, wall, flat, two}) zpathFree(z);
}

// Two pockets stacked at z 10 and 5 (the lower one's start point inside the upper): one group;
// with either level a plane level: two groups.
TEST_F(Grouping, StackedPocketsAndPlaneLevels) {
  for (int plane = 0; plane < 3; ++plane) {
    List list({{0, 0, 20, 20, 10, 0, plane == 1 ? ZP_PLANE_LEVEL : 0u},
               {2, 2, 18, 18, 5, 0, plane == 2 ? ZP_PLANE_LEVEL : 0u}});
    ASSERT_EQ(zpathListOrder(list.l, 2), 1);
    EXPECT_EQ(list[0].z, 10);
    EXPECT_EQ(list[0].groupId == list[1].groupId, plane == 0) << plane;
    EXPECT_NEAR(list[1].groupStartX, 2 + std::sqrt(0.5), 1e-6);
    if (plane == 0) {
      EXPECT_EQ(list[0].groupStartX, list[1].groupStartX);
    } else {
      EXPECT_NEAR(list[0].groupStartX, std::sqrt(0.5), 1e-6);
    }
  }
}

// Pocket A with island I at z 10 over pocket B at z 5, beside pocket D at z 10 over C at z 5:
// groups {A, I, B} (the bottom-up pass meets B first) and {D, C}, equal in top and bottom and
// chained from (0, 0) by their start points; with bit 4 the island's sub-group comes first.
TEST_F(Grouping, GroupsOfAStackedPartAndSubGroups) {
  const std::vector<Sq> part = {{40, 2, 50, 12, 5},
                                {0, 0, 20, 20, 10},
                                {8, 8, 12, 12, 10, 1},
                                {38, 0, 52, 14, 10},
                                {2, 2, 18, 18, 5}};
  for (int flags : {2, 6}) {
    List list(part);
    ASSERT_EQ(zpathListOrder(list.l, flags), 1);
    std::vector<double> xs;
    for (int i = 0; i < 5; ++i) xs.push_back(list[i].xmin);
    const std::vector<double> want =
        flags == 2 ? std::vector<double>{0, 8, 2, 38, 40} : std::vector<double>{8, 0, 2, 38, 40};
    EXPECT_EQ(xs, want) << flags;
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(list[i].groupId, list[i].xmin < 30 ? 0 : 1) << i;
      const bool island = list[i].materialInside == 1;
      EXPECT_EQ(list[i].subGroupId, island ? 0 : INT_MAX) << i;
      if (island) {
        EXPECT_NEAR(list[i].subGroupStartX, 8 + std::sqrt(0.5), 1e-6);
        EXPECT_EQ(list[i].nestingDepth, 1);
      }
    }
  }
}

// Random stacks of pockets with islands and plane levels: every path's group start lies in the
// free area of every path of its group, groups follow each other by falling top, and inside a
// group z falls.
TEST_F(Grouping, GroupStartsLieInTheFreeAreaOfTheirGroup) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 40; ++trial) {
    List list;
    const int stacks = 1 + trial % 4;
    for (int s = 0; s < stacks; ++s) {
      const double x = 100.0 * s, levels = 2 + static_cast<int>(u(rng) * 4);
      for (int k = 0; k < levels; ++k) {
        const double z = 20.0 - 3 * k - s * 0.5 * (u(rng) < 0.5);
        const double shrink = 1.5 * k;
        const std::uint32_t flags = u(rng) < 0.2 ? ZP_PLANE_LEVEL : 0u;
        list.add(squarePath({x + shrink, shrink, x + 60 - shrink, 60 - shrink, z, 0, flags}));
        if (u(rng) < 0.5) list.add(squarePath({x + 30, 30, x + 35, 35, z, 1, flags}));
      }
    }
    ASSERT_GE(zpathListOrder(list.l, 2), 0) << trial;
    for (int i = 0; i < list.l->count; ++i) {
      const Point2D start{list[i].groupStartX, list[i].groupStartY};
      for (int j = 0; j < list.l->count; ++j) {
        if (list[j].groupId != list[i].groupId) continue;
        const bool inside = zpathContainsPoint(start, &list.l->items[j]) == 1;
        EXPECT_EQ(inside, list[j].materialInside == 0) << trial << ": " << i << " in " << j;
      }
      if (i > 0 && list[i].groupId == list[i - 1].groupId) {
        EXPECT_LE(list[i].z, list[i - 1].z) << trial;
      }
    }
  }
}

// An island inside a pocket takes the pocket's level group; two islands at depth 0 without an
// enclosing pocket form one level group.
TEST_F(Grouping, LevelGroupsOfIslands) {
  List depths({{0, 0, 20, 20, 10}, {5, 5, 8, 8, 10, 1}, {30, 0, 40, 10, 10}});
  ASSERT_EQ(zpathListOrder(depths.l, 2), 1);
  int pocket = -1, island = -1, other = -1;
  for (int i = 0; i < 3; ++i) {
    if (depths[i].xmin == 0) pocket = depths[i].groupId;
    if (depths[i].xmin == 5) island = depths[i].groupId;
    if (depths[i].xmin == 30) other = depths[i].groupId;
  }
  EXPECT_EQ(pocket, island);
  EXPECT_NE(pocket, other);
  List islands({{0, 0, 5, 5, 10, 1}, {10, 0, 15, 5, 10, 1}});
  ASSERT_EQ(zpathListOrder(islands.l, 2), 1);
  EXPECT_EQ(islands[0].groupId, islands[1].groupId);
  EXPECT_NEAR(islands[0].groupStartX, -0.1, 1e-12) << "left of the first island";
}

// A pocket whose start point collapses: the grouping fails with -70, the list is left sorted by
// falling z and the code is recorded.
TEST_F(Grouping, CollapsedStartPointLeavesTheListSortedByZ) {
  List list({{0, 0, 10, 10, 1}, {0, 0, 10, 10, 3}});
  ZPath* flat = zpathOf({{0, 0}, {1, 0}, {2, 0}}, 2.0);
  flat->materialInside = 0;
  list.add(flat);
  EXPECT_EQ(zpathListOrder(list.l, 2), kZpathNoInsidePoint);
  EXPECT_EQ(list[0].z, 3);
  EXPECT_EQ(list[1].z, 2);
  EXPECT_EQ(list[2].z, 1);
  EXPECT_EQ(geoErrRecord()->code, kZpathNoInsidePoint);
  EXPECT_STREQ(geoErrRecord()->file, "Zpath");
}

// No memory for the start-point lists: -1 with the list sorted by falling z and the code recorded.
TEST_F(Grouping, NoMemoryLeavesTheListSortedByZ) {
  for (int n = 1; n <= 3; ++n) {
    List list({{0, 0, 10, 10, 1}, {0, 0, 10, 10, 3}, {2, 2, 8, 8, 2}});
    geoErrReset();
    memTestFailAt(n);
    const int r = zpathListOrder(list.l, 2);
    memTestFailAt(0);
    EXPECT_EQ(r, -1) << n;
    EXPECT_EQ(geoErrRecord()->code, -1) << n;
    EXPECT_EQ(list[0].z, 3);
    EXPECT_EQ(list[2].z, 1);
  }
}

// A level group whose first path has fewer than 3 points starts at its box's lower-left corner,
// and the order's result is 0.
TEST_F(Grouping, ShortPathStartsAtItsCorner) {
  List list({{0, 0, 10, 10, 3}});
  ZPath* two = zpathOf({{4, 5}, {6, 7}}, 1.0);
  two->materialInside = 0;
  list.add(two);
  EXPECT_EQ(zpathListOrder(list.l, 2), 0);
  ASSERT_EQ(list[1].z, 1.0);
  EXPECT_EQ(list[1].groupStartX, 4.0);
  EXPECT_EQ(list[1].groupStartY, 5.0);
}

// ---- region order -------------------------------------------------------------------------------

TEST_F(Grouping, RegionOrder) {
  // z 10: pocket P1 with island I, pocket P2; z 5: Q1 under P1, Q2 under P2.
  List list({{20, 0, 30, 10, 10},
             {1, 1, 9, 9, 5},
             {0, 0, 10, 10, 10},
             {4, 4, 6, 6, 10, 1},
             {21, 1, 29, 9, 5}});
  ASSERT_EQ(zpathListOrder(list.l, kZpathOrderRegions), 1);
  const double wantX[5] = {0, 4, 1, 20, 21};
  const int wantGroup[5] = {0, 0, 0, 1, 1};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list[i].xmin, wantX[i]) << i;
    EXPECT_EQ(list[i].groupId, wantGroup[i]) << i;
  }
  // An outer island heads a frame region; the frame is not written and leaves the list.
  List outer({{0, 0, 5, 5, 10, 1}, {10, 0, 15, 5, 10, 1}, {1, 1, 4, 4, 5}});
  ASSERT_EQ(zpathListOrder(outer.l, kZpathOrderRegions), 1);
  ASSERT_EQ(outer.l->count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(zpathHasFlag(&outer.l->items[i], ZP_ORDER_FRAME));
  EXPECT_EQ(outer[0].groupId, outer[1].groupId);
  // A path made only of boundary points ends the order.
  List boundary({{0, 0, 5, 5, 10}, {10, 0, 15, 5, 10, 0, 0, -2}});
  EXPECT_EQ(zpathListOrder(boundary.l, kZpathOrderRegions), kGeoNoBoundary);
  EXPECT_EQ(geoErrRecord()->code, kGeoNoBoundary);
}
