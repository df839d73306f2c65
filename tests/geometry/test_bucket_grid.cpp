// Tests of the segment bucket grid and the crossing search, the search against all pairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "framework/memory.h"
#include "geometry/bucket_grid.h"
#include "geometry/geo_error.h"
#include "geometry/plane_geo.h"

namespace {

Seg2List* segList(const std::vector<Seg2D>& segs) {
  Seg2List* list = lstSeg2New(static_cast<int>(segs.size()));
  for (const Seg2D& s : segs) lstSeg2Append(list, s);
  return list;
}

// The rules of a counted crossing, applied to every pair: an independent all-pairs search.
std::set<std::pair<double, double>> bruteCrossings(const std::vector<Seg2D>& segs, double tol) {
  std::set<std::pair<double, double>> out;
  for (std::size_t i = 0; i < segs.size(); ++i) {
    for (std::size_t j = i + 1; j < segs.size(); ++j) {
      const Seg2D& s = segs[i];
      const Seg2D& r = segs[j];
      const Point2D se[2] = {g2dSegStart(s), g2dSegEnd(s)};
      const Point2D re[2] = {g2dSegStart(r), g2dSegEnd(r)};
      bool shared = false;
      for (const Point2D& a : se)
        for (const Point2D& b : re)
          shared = shared || (std::fabs(a.x - b.x) <= 1e-6 && std::fabs(a.y - b.y) <= 1e-6);
      if (shared) continue;
      Point2D p{};
      if (geoSegsCross(r, s) != 1 || geoLineLineCutTol(s, r, 1e-12, &p) != 1) continue;
      auto off = [&](const Point2D& e) {
        return std::fabs(p.x - e.x) > tol || std::fabs(p.y - e.y) > tol;
      };
      if ((off(se[0]) && off(se[1])) || (off(re[0]) && off(re[1]))) out.insert({p.x, p.y});
    }
  }
  return out;
}

TEST(BucketGrid, SideFollowsItemCount) {
  struct Case {
    int count;
    int side;
  } cases[] = {{0, 1}, {1, 2}, {15, 2}, {16, 3}, {80, 3}, {81, 4}, {255, 4}, {256, 5}};
  for (const Case& c : cases) {
    std::vector<Seg2D> segs;
    for (int i = 0; i < c.count; ++i) segs.push_back({1.0 * i, 0.0, i + 0.5, 1.0 * i});
    BucketGrid* g = gridBucketBuild(segs.data(), sizeof(Seg2D), c.count, 0.0, lstSegBoxCb);
    ASSERT_NE(g, nullptr) << c.count;
    EXPECT_EQ(g->rows, c.side) << c.count;
    EXPECT_EQ(g->cols, c.side) << c.count;
    gridBucketFree(g);
  }
}

TEST(BucketGrid, ManyItemsCapTheSideAtThirty) {
  std::vector<Seg2D> segs;  // short segments on a 900 x 900 lattice, each in one or two cells
  for (int i = 0; i < 810000; ++i) {
    const double x = i % 900, y = i / 900;
    segs.push_back({x, y, x + 0.5, y});
  }
  BucketGrid* g = gridBucketBuild(segs.data(), sizeof(Seg2D), 810000, 0.0, lstSegBoxCb);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->rows, 30);
  gridBucketFree(g);
}

TEST(BucketGrid, CellsHoldTheItemsTheirBoxesTouch) {
  // Four segments in the four quadrants of [0, 10]^2 and one across the whole box.
  const std::vector<Seg2D> segs = {
      {0, 0, 4, 4}, {6, 0, 10, 4}, {0, 6, 4, 10}, {6, 6, 10, 10}, {0, 5, 10, 5}};
  BucketGrid* g = gridBucketBuild(segs.data(), sizeof(Seg2D), 5, 0.0, lstSegBoxCb);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->rows, 2);
  EXPECT_DOUBLE_EQ(g->rowHeight, 5.0);
  const IntList* lowLeft = gridBucketCell(g, 1, 1);
  ASSERT_EQ(lowLeft->count, 1);  // the horizontal segment lies on the row border: upper row only
  EXPECT_EQ(lowLeft->items[0], 0);
  const IntList* upRight = gridBucketCell(g, 9, 9);
  ASSERT_EQ(upRight->count, 2);
  EXPECT_EQ(upRight->items[0], 3);
  EXPECT_EQ(upRight->items[1], 4);
  // A lookup far outside the box gets the nearest corner or edge cell.
  EXPECT_EQ(gridBucketCell(g, -1e9, -1e9), lowLeft);
  EXPECT_EQ(gridBucketCell(g, 1e9, 1e9), upRight);
  EXPECT_EQ(gridBucketCell(g, 1e9, -1e9), gridBucketCell(g, 9, 1));
  EXPECT_EQ(gridBucketCell(nullptr, 0, 0), nullptr);
  gridBucketFree(g);
}

TEST(BucketGrid, FlatSetFallsIntoRowZero) {
  std::vector<Seg2D> segs;
  for (int i = 0; i < 20; ++i) segs.push_back({1.0 * i, 3.0, i + 1.0, 3.0});
  BucketGrid* g = gridBucketBuild(segs.data(), sizeof(Seg2D), 20, 0.5, lstSegBoxCb);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->rows, 3);
  int inRowZero = 0;
  for (int r = 1; r < g->rows; ++r)
    for (int c = 0; c < g->cols; ++c) EXPECT_EQ(g->cells[r][c]->count, 0);
  for (int c = 0; c < g->cols; ++c) inRowZero += g->cells[0][c]->count;
  EXPECT_GE(inRowZero, 20);
  EXPECT_EQ(gridBucketCell(g, 5, 100), gridBucketCell(g, 5, -100));
  gridBucketFree(g);
}

TEST(BucketGrid, BadArgumentsGiveNull) {
  Seg2D s{0, 0, 1, 1};
  EXPECT_EQ(gridBucketBuild(&s, sizeof s, 1, 0.0, nullptr), nullptr);
  EXPECT_EQ(gridBucketBuild(nullptr, sizeof s, 1, 0.0, lstSegBoxCb), nullptr);
  EXPECT_EQ(gridBucketBuild(&s, sizeof s, -1, 0.0, lstSegBoxCb), nullptr);
  gridBucketFree(nullptr);
}

// Every allocation of the build fails in turn: null each time, and nothing leaks.
TEST(BucketGrid, AllocationFailureAtEveryStep) {
  std::vector<Seg2D> segs;
  for (int i = 0; i < 40; ++i) segs.push_back({1.0 * i, 0.0, 40.0 - i, 40.0});
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    BucketGrid* g = gridBucketBuild(segs.data(), sizeof(Seg2D), 40, 0.0, lstSegBoxCb);
    memTestFailAt(0);
    if (g != nullptr) {
      gridBucketFree(g);
      EXPECT_GT(n, 10);
      break;
    }
    EXPECT_EQ(geoErrCode(), -1);
  }
}

TEST(SegSelfCross, SmallFigures) {
  struct Case {
    const char* name;
    std::vector<Seg2D> segs;
    double tol;
    int expected;
  } cases[] = {
      {"square", {{0, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 0, 0}}, 1e-5, 0},
      {"figure eight", {{0, 0, 2, 2}, {2, 2, 2, 0}, {2, 0, 0, 2}, {0, 2, 0, 0}}, 1e-5, 1},
      {"shared end only", {{0, 0, 1, 1}, {1, 1, 2, 0}, {5, 5, 6, 6}}, 1e-5, 0},
      {"T-junction", {{0, 0, 2, 0}, {1, 0, 1, 1}, {5, 5, 6, 6}}, 1e-5, 1},
      // The touch point lies within tol of the touching segment's end, but far from the ends of
      // the touched segment: still a crossing.
      {"T-junction, large tol", {{0, 0, 2, 0}, {1, 0, 1, 1}, {5, 5, 6, 6}}, 0.5, 1},
      // Both segments end near the crossing: no crossing.
      {"near ends of both", {{0, 0, 1, 0}, {0.9, -0.1, 0.9, 3}, {5, 5, 6, 6}}, 0.2, 0},
      {"parallel overlap", {{0, 0, 2, 0}, {1, 0, 3, 0}, {5, 5, 6, 6}}, 1e-5, 0},
  };
  for (const Case& c : cases) {
    Seg2List* list = segList(c.segs);
    Pt2List* points = lstPt2New(4);
    geoErrReset();
    EXPECT_EQ(lstSegSelfCross(list, points, 0, c.tol), c.expected) << c.name;
    EXPECT_EQ(points->count, c.expected) << c.name;
    EXPECT_EQ(geoErrCode(), c.expected) << c.name;  // the first crossing sets code 1
    lstBox2Free(points);
    lstBox2Free(list);
  }
  EXPECT_EQ(lstSegSelfCross(nullptr, nullptr, 1, 0.0), 0);
}

TEST(SegSelfCross, MatchesAllPairsOnRandomSets) {
  std::mt19937 rng(20240613);
  std::uniform_real_distribution<double> coord(0.0, 100.0);
  for (int round = 0; round < 40; ++round) {
    std::vector<Seg2D> segs;
    const int n = 5 + round * 4;
    for (int i = 0; i < n; ++i) {
      if (i > 0 && i % 3 != 0) {  // chains of joined segments, so shared ends occur
        const Seg2D& prev = segs.back();
        segs.push_back({prev.x2, prev.y2, coord(rng), coord(rng)});
      } else {
        segs.push_back({coord(rng), coord(rng), coord(rng), coord(rng)});
      }
    }
    if (round % 4 == 3) segs.push_back({segs[0].x1, 50.0, segs[0].x1 + 30.0, 50.0});  // T-ish
    const double tol = round % 2 == 0 ? 1e-5 : 2.0;
    const auto expected = bruteCrossings(segs, tol);
    Seg2List* list = segList(segs);
    Pt2List* points = lstPt2New(16);
    EXPECT_EQ(lstSegSelfCross(list, points, 1, tol), expected.empty() ? 0 : 1) << round;
    std::set<std::pair<double, double>> got;
    for (int i = 0; i < points->count; ++i) got.insert({points->items[i].x, points->items[i].y});
    EXPECT_EQ(got, expected) << round;
    EXPECT_EQ(lstSegSelfCross(list, nullptr, 0, tol), expected.empty() ? 0 : 1) << round;
    lstBox2Free(points);
    lstBox2Free(list);
  }
}

// When the grid cannot be built the search still finds the crossing, over all pairs.
TEST(SegSelfCross, FallsBackToAllPairsWithoutGrid) {
  Seg2List* eight = segList({{0, 0, 2, 2}, {2, 2, 2, 0}, {2, 0, 0, 2}, {0, 2, 0, 0}});
  Seg2List* square = segList({{0, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 0, 0}});
  memTestFailAt(1);
  EXPECT_EQ(lstSegSelfCross(eight, nullptr, 0, 1e-5), 1);
  EXPECT_EQ(geoErrCode(), 1);
  memTestFailAt(1);
  EXPECT_EQ(lstSegSelfCross(square, nullptr, 0, 1e-5), 0);
  memTestFailAt(0);
  lstBox2Free(eight);
  lstBox2Free(square);
}

}  // namespace
