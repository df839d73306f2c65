// Tests of the rest-stock pockets: pairing of stock outlines with the paths in them, merging per
// outline, the orders with and without grouping, the overlap groups and the overlap cache.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_region.h"
#include "zlevel/stock_rest.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_grouping.h"
#include "zpath_fixture.h"

namespace {

using qdtest::zpathOf;

struct Box {
  double x0, y0, x1, y1;
};

// Counter-clockwise square path; material inside when island (clockwise otherwise, a pocket).
ZPath* boxPath(const Box& b, double z, bool island) {
  std::vector<qdtest::ZPoint> pts{{b.x0, b.y0}, {b.x1, b.y0}, {b.x1, b.y1}, {b.x0, b.y1}};
  if (!island) std::reverse(pts.begin(), pts.end());
  ZPath* p = zpathOf(pts, z);
  p->materialInside = island ? 1 : 0;
  return p;
}

// The test owns the outline chain, the path list and the result.
struct Fixture {
  std::vector<Kont2D*> outlines;
  ZPathList* list = zpathListNew(8);
  StockRestPocket* pockets = nullptr;
  int n = 0;

  ~Fixture() {
    stockRestFree(pockets, n);
    zpathListFree(list);
    for (Kont2D* k : outlines) {
      k->next = nullptr;
      kontFree(k);
    }
  }
  void outline(const Box& b, double z) {
    Kont2D* k = kontNewRect({b.x0, b.y0}, {b.x1, b.y1});
    kontSetZ(k, z);
    if (!outlines.empty()) outlines.back()->next = k;
    outlines.push_back(k);
  }
  void path(const Box& b, double z, bool island) {
    ZPath* p = boxPath(b, z, island);
    zpathListAdd(list, p);
    zpathFree(p);
  }
  void run(int grouping) {
    pockets = stockRestPockets(outlines.empty() ? nullptr : outlines[0], list, grouping, &n);
    ASSERT_NE(pockets, nullptr);
  }
  int pathCount(int i) const {
    int c = 0;
    for (auto* node = pockets[i].paths; node != nullptr; node = node->next) ++c;
    return c;
  }
};

TEST(StockRestPockets, PairingAndMergingTable) {
  // a bare outline keeps its own box
  {
    Fixture f;
    f.outline({0, 0, 10, 10}, 5);
    f.path({1, 1, 2, 2}, 7, false);  // at another level: not in the outline
    f.run(0);
    ASSERT_EQ(f.n, 1);
    EXPECT_EQ(f.pockets[0].paths, nullptr);
    EXPECT_EQ(f.pockets[0].xmax, 10.0);
    EXPECT_EQ(f.pockets[0].centreX, 5.0);
    EXPECT_EQ(f.pockets[0].z, 5.0);
    EXPECT_EQ(f.pockets[0].stockContour.next, nullptr);
  }
  // two island paths at depth 0 make one pocket with the outline's box
  {
    Fixture f;
    f.outline({0, 0, 20, 10}, 5);
    f.path({2, 2, 4, 4}, 5, true);
    f.path({12, 2, 14, 4}, 5, true);
    f.run(0);
    ASSERT_EQ(f.n, 1);
    EXPECT_EQ(f.pathCount(0), 2);
    EXPECT_EQ(f.pockets[0].xmax, 20.0);
  }
  // a pocket path and its island make one pocket, the pocket path first, with its box
  {
    Fixture f;
    f.outline({0, 0, 40, 40}, 5);
    f.path({3, 3, 4, 4}, 5, true);  // island listed first in the input
    f.path({1, 1, 10, 10}, 5, false);
    f.run(0);
    ASSERT_EQ(f.n, 1);
    ASSERT_EQ(f.pathCount(0), 2);
    EXPECT_EQ(f.pockets[0].paths->path->materialInside, 0);
    EXPECT_EQ(f.pockets[0].paths->next->path->materialInside, 1);
    EXPECT_EQ(f.pockets[0].xmax, 10.0);
  }
}

TEST(StockRestPockets, WithoutGroupingFallingZThenFallingCentreX) {
  Fixture f;
  f.outline({0, 0, 100, 100}, 10);
  f.outline({0, 0, 100, 100}, 8);
  f.path({10, 10, 20, 20}, 10, false);
  f.path({50, 10, 60, 20}, 10, false);
  f.path({30, 10, 40, 20}, 8, false);
  f.path({70, 10, 80, 20}, 8, false);
  f.run(0);
  ASSERT_EQ(f.n, 4);
  const double want[4][2] = {{10, 55}, {10, 15}, {8, 75}, {8, 35}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.pockets[i].z, want[i][0]) << i;
    EXPECT_EQ(f.pockets[i].centreX, want[i][1]) << i;
    EXPECT_EQ(f.pockets[i].groupId, 0);
  }
}

// Pockets A (z 10, right) and A2 (z 10, left) overlap in their boxes; C lies under A only. The
// outline steps are 2, so G = 3: C at z 8 follows A at once, C at z 6 (4 > 3) waits.
TEST(StockRestPockets, GroupingTakesLowerPocketsWithinTheStepLimit) {
  for (double cz : {8.0, 6.0}) {
    SCOPED_TRACE(cz);
    Fixture f;
    const Box big{-5, -5, 25, 15}, far{500, 500, 510, 510};
    f.outline(big, 10);
    f.outline(cz == 8.0 ? big : far, 8);
    f.outline(cz == 6.0 ? big : far, 6);
    f.path({10, 1, 20, 11}, 10, false);  // A
    f.path({0, 0, 11, 10}, 10, false);   // A2
    f.path({12, 2, 20, 8}, cz, false);   // C
    f.run(1);
    ASSERT_EQ(f.n, 4);
    std::vector<double> cx;
    for (int i = 0; i < f.n; ++i) {
      cx.push_back(f.pockets[i].centreX);
      EXPECT_EQ(f.pockets[i].pocketContour, nullptr);
    }
    if (cz == 8.0)
      EXPECT_EQ(cx, (std::vector<double>{15, 16, 5.5, 505}));
    else
      EXPECT_EQ(cx, (std::vector<double>{15, 5.5, 16, 505}));
  }
}

StockRestPocket boxPocket(const Box& b, double z) {
  StockRestPocket p{};
  p.xmin = b.x0;
  p.ymin = b.y0;
  p.xmax = b.x1;
  p.ymax = b.y1;
  p.z = z;
  return p;
}

TEST(StockRestPockets, OverlapGroupsJoinThroughChains) {
  // A overlaps C and D, B only C: one group, whatever the order of meeting
  std::vector<StockRestPocket> p{boxPocket({0, 0, 10, 10}, 10), boxPocket({30, 0, 40, 10}, 10),
                                 boxPocket({9, 0, 31, 10}, 8), boxPocket({5, 5, 6, 6}, 6),
                                 boxPocket({100, 100, 101, 101}, 9)};
  stockRestGroupOverlaps(p.data(), static_cast<int>(p.size()));
  std::vector<int> groups;
  std::vector<double> zs;
  for (const auto& q : p) {
    groups.push_back(q.groupId);
    zs.push_back(q.z);
  }
  EXPECT_EQ(groups, (std::vector<int>{1, 1, 1, 1, 2}));
  EXPECT_EQ(zs, (std::vector<double>{10, 10, 8, 6, 9}));  // a lower pocket never precedes an upper
}

TEST(StockRestPockets, OverlapCacheIsSymmetricAndMatchesIntersection) {
  Fixture f;
  f.outline({-50, -50, 150, 50}, 5);
  const Box boxes[] = {{0, 0, 10, 10}, {5, 5, 15, 15}, {10.5, 0, 20, 4}, {40, 0, 50, 10}};
  for (const Box& b : boxes) f.path(b, 5, false);
  f.run(0);
  ASSERT_EQ(f.n, 4);
  for (int i = 0; i < f.n; ++i) ASSERT_EQ(stockRestPocketContour(f.pockets, i), 1);
  std::vector<std::uint8_t> m(static_cast<std::size_t>(f.n * f.n), 127);
  for (int i = 0; i < f.n; ++i)
    for (int j = 0; j < f.n; ++j) {
      if (i == j) continue;
      Kont2D* cut = nullptr;
      const int direct = kontBooleanSafe(f.pockets[i].pocketContour, f.pockets[j].pocketContour,
                                         kKontIntersection, &cut);
      kontFree(cut);
      const int apart = stockRestContoursApart(f.pockets[i].pocketContour,
                                               f.pockets[j].pocketContour, m.data(), f.n);
      EXPECT_EQ(apart, direct > 0 ? 0 : 1) << i << " " << j;
      EXPECT_EQ(m[static_cast<std::size_t>(i * f.n + j)], m[static_cast<std::size_t>(j * f.n + i)]);
    }
}

TEST(StockRestPockets, FindInContourAndErrors) {
  Fixture f;
  f.outline({0, 0, 10, 10}, 5);
  f.path({20, 20, 30, 30}, 5, false);    // same level, outside
  f.path({9.9995, 2, 15, 4}, 5, false);  // a point within 0.001 of the outline
  f.path({1, 1, 2, 2}, 4, false);        // lower level: ends the scan
  zpathListOrder(f.list, 1);
  int k = 0;
  EXPECT_EQ(zpathListFindInContour(f.list, f.outlines[0], &k), 1);
  EXPECT_EQ(f.list->items[k].xmax, 15.0f);
  ++k;
  EXPECT_EQ(zpathListFindInContour(f.list, f.outlines[0], &k), 0);
  k = 3;
  EXPECT_EQ(zpathListFindInContour(nullptr, f.outlines[0], &k), 0);
  EXPECT_EQ(k, -1);
  int n = 7;
  geoErrReset();
  EXPECT_EQ(stockRestPockets(nullptr, f.list, 0, &n), nullptr);
  EXPECT_EQ(geoErrCode(), -20);
  EXPECT_EQ(n, 0);
}

}  // namespace
