// Tests of the 2D box trees and their overlap walk against the all-pairs answer, the wall
// segment grid against a brute-force cell assignment, allocation failures and the double-key
// comparator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/lst_sort.h"
#include "geometry/plane_geo.h"
#include "model/wcoll_boxtree.h"

namespace {

struct TreeDeleter {
  void operator()(BoxTree2D* t) const { wcoll2dTreeFree(t); }
};
using TreePtr = std::unique_ptr<BoxTree2D, TreeDeleter>;
struct RecDeleter {
  void operator()(RecList* l) const { lstRecFree(l); }
};
using RecPtr = std::unique_ptr<RecList, RecDeleter>;
struct GridDeleter {
  void operator()(TriangleGrid* g) const { triGridFree(g); }
};
using GridPtr = std::unique_ptr<TriangleGrid, GridDeleter>;

std::vector<Seg2D> randomSegments(std::mt19937_64& rng, int n, double size, double maxLen) {
  std::uniform_real_distribution<double> pos(0, size), off(-maxLen, maxLen);
  std::vector<Seg2D> segs;
  for (int i = 0; i < n; ++i) {
    const double x = pos(rng), y = pos(rng);
    segs.push_back(Seg2D{x, y, x + off(rng), y + off(rng)});
  }
  return segs;
}

Seg2D place(const Seg2D& s, double angle, double dx, double dy, bool identity) {
  const double c = identity ? 1.0 : std::cos(angle), si = identity ? 0.0 : std::sin(angle);
  return Seg2D{c * s.x1 - si * s.y1 + dx, si * s.x1 + c * s.y1 + dy, c * s.x2 - si * s.y2 + dx,
               si * s.x2 + c * s.y2 + dy};
}

void setPlacement(BoxTree2D* t, double angle, double dx, double dy, bool identity) {
  if (!identity) {
    t->rotation[0][0] = std::cos(angle);
    t->rotation[0][1] = -std::sin(angle);
    t->rotation[1][0] = std::sin(angle);
    t->rotation[1][1] = std::cos(angle);
  }
  t->dx = dx;
  t->dy = dy;
}

std::set<std::pair<int, int>> pairsOf(const RecList* list) {
  std::set<std::pair<int, int>> out;
  const auto* recs = static_cast<const Rec8*>(list->items);
  for (int i = 0; i < list->count; ++i) out.insert({recs[i].w[0], recs[i].w[1]});
  return out;
}

TEST(BoxTree, NodeCountsAndShape) {
  const struct { int n, nodes; } cases[] = {{1, 1}, {2, 3}, {3, 6}, {5, 11}, {8, 15}, {9, 20}};
  std::vector<Seg2D> segs(9, Seg2D{0, 0, 1, 1});
  for (int i = 0; i < 9; ++i) segs[i] = Seg2D{i * 2.0, 0, i * 2.0 + 1, 1};
  for (const auto& c : cases) {
    TreePtr t(wcoll2dTreeNew(segs.data(), c.n, 0.5, nullptr));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->nodeCount, c.nodes) << c.n;
    EXPECT_EQ(t->root, &t->nodes[c.nodes - 1]);
    for (int i = 0; i < c.n; ++i) {
      EXPECT_EQ(t->nodes[i].element, i);
      EXPECT_EQ(t->nodes[i].first, nullptr);
      EXPECT_EQ(t->nodes[i].xmin, i * 2.0 - 0.5);
      EXPECT_EQ(t->nodes[i].ymax, 1.5);
    }
    EXPECT_EQ(t->root->xmin, -0.5);
    EXPECT_EQ(t->root->xmax, (c.n - 1) * 2.0 + 1.5);
  }
  // n = 5: leaves 0..4, parents 5 (0, 1), 6 (2, 3), 7 (4 alone), 8 (5, 6), 9 (7 alone), root 10.
  TreePtr t(wcoll2dTreeNew(segs.data(), 5, 0.0, nullptr));
  EXPECT_EQ(t->nodes[5].first, &t->nodes[0]);
  EXPECT_EQ(t->nodes[5].second, &t->nodes[1]);
  EXPECT_EQ(t->nodes[7].first, &t->nodes[4]);
  EXPECT_EQ(t->nodes[7].second, nullptr);
  EXPECT_EQ(t->nodes[9].first, &t->nodes[7]);
  EXPECT_EQ(t->nodes[10].first, &t->nodes[8]);
  EXPECT_EQ(t->nodes[10].second, &t->nodes[9]);
  EXPECT_EQ(wcoll2dTreeNew(nullptr, 3, 0, nullptr), nullptr);
  EXPECT_EQ(wcoll2dTreeNew(segs.data(), 0, 0, nullptr), nullptr);
}

// Mode 1 collects exactly the crossing pairs of the all-pairs test, and mode 0 answers whether
// there is one, for random segment sets under random placements (identity rotation or not).
TEST(BoxTree, OverlapWalkEqualsAllPairs) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> angle(-3.2, 3.2), shift(-20, 20);
  std::uniform_int_distribution<int> count(1, 60);
  int withPairs = 0, withoutPairs = 0;
  for (int round = 0; round < 120; ++round) {
    const double len = round % 3 == 0 ? 2.0 : 15.0;
    const std::vector<Seg2D> a = randomSegments(rng, count(rng), 100, len);
    const std::vector<Seg2D> b = randomSegments(rng, count(rng), 100, len);
    const bool identityA = round % 4 == 0, identityB = round % 5 == 0;
    const double angA = angle(rng), dxA = shift(rng), dyA = shift(rng);
    const double angB = angle(rng), dxB = shift(rng), dyB = shift(rng);
    TreePtr ta(wcoll2dTreeNew(a.data(), static_cast<int>(a.size()), 0.0, nullptr));
    TreePtr tb(wcoll2dTreeNew(b.data(), static_cast<int>(b.size()), 0.25, nullptr));
    setPlacement(ta.get(), angA, dxA, dyA, identityA);
    setPlacement(tb.get(), angB, dxB, dyB, identityB);
    std::set<std::pair<int, int>> expected;
    for (std::size_t i = 0; i < a.size(); ++i) {
      for (std::size_t j = 0; j < b.size(); ++j) {
        if (geoSegsCross(place(a[i], angA, dxA, dyA, identityA),
                         place(b[j], angB, dxB, dyB, identityB))) {
          expected.insert({static_cast<int>(i), static_cast<int>(j)});
        }
      }
    }
    RecPtr list(lstRec8New(4));
    const int r1 = wcoll2dTreesOverlap(ta.get(), tb.get(), 1, nullptr, list.get());
    EXPECT_EQ(r1, expected.empty() ? 0 : 1) << round;
    EXPECT_EQ(pairsOf(list.get()), expected) << round;
    EXPECT_EQ(list->count, static_cast<int>(expected.size())) << "no pair twice";
    EXPECT_EQ(wcoll2dTreesOverlap(ta.get(), tb.get(), 0, nullptr, nullptr),
              expected.empty() ? 0 : 1)
        << round;
    (expected.empty() ? withoutPairs : withPairs)++;
  }
  EXPECT_GT(withPairs, 20);
  EXPECT_GT(withoutPairs, 5);
}

TEST(BoxTree, SmallCases) {
  const Seg2D one[] = {{0, 0, 10, 3}};
  TreePtr a(wcoll2dTreeNew(one, 1, 0.0, nullptr));
  TreePtr b(wcoll2dTreeNew(one, 1, 0.0, nullptr));
  EXPECT_EQ(wcoll2dTreesOverlap(a.get(), b.get(), 0, nullptr, nullptr), 1);  // crosses itself
  // Parallel segments 1e-3 apart with margin 0.01: the boxes overlap, the segments do not cross.
  const Seg2D lower[] = {{0, 0, 10, 0}};
  const Seg2D upper[] = {{0, 0.001, 10, 0.001}};
  TreePtr l(wcoll2dTreeNew(lower, 1, 0.01, nullptr));
  TreePtr u(wcoll2dTreeNew(upper, 1, 0.01, nullptr));
  RecPtr list(lstRec8New(4));
  EXPECT_EQ(wcoll2dTreesOverlap(l.get(), u.get(), 1, nullptr, list.get()), 0);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(wcoll2dTreesOverlap(l.get(), u.get(), 0, nullptr, nullptr), 0);
  // Touching boxes are not apart: a handler that says "meet" sees the pair.
  const Seg2D right[] = {{10, 8, 20, 3}};  // its box touches the first one's at (10, 3)
  TreePtr r(wcoll2dTreeNew(right, 1, 0.0, nullptr));
  auto always = [](const BoxTree2D*, int, const BoxTree2D*, int, void*) { return 1; };
  EXPECT_EQ(wcoll2dTreesOverlap(a.get(), r.get(), 0, always, nullptr), 1);
  EXPECT_EQ(wcoll2dTreesOverlap(a.get(), r.get(), 0, nullptr, nullptr), 0);
  EXPECT_EQ(wcoll2dTreesOverlap(a.get(), nullptr, 0, always, nullptr), 0);
  EXPECT_EQ(wcoll2dTreesOverlap(a.get(), b.get(), 1, always, nullptr), 0);  // no list
  EXPECT_EQ(wcoll2dTreesOverlap(a.get(), b.get(), 2, always, list.get()), 0);
}

// Each allocation of the tree and each growth of the pair list fails in turn: a null tree or -1
// with the list as it came, error record -1 of the walk's source, nothing leaked.
TEST(BoxTree, AllocationFailures) {
  std::mt19937_64 rng(3);
  const std::vector<Seg2D> a = randomSegments(rng, 40, 30, 15);
  const std::vector<Seg2D> b = randomSegments(rng, 40, 30, 15);
  for (long n = 1; n <= 2; ++n) {
    memTestFailAt(n);
    BoxTree2D* t = wcoll2dTreeNew(a.data(), 40, 0, nullptr);
    memTestFailAt(0);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(geoErrCode(), -1);
    EXPECT_STREQ(geoErrRecord()->file, "wcoll2ddetect");
  }
  TreePtr ta(wcoll2dTreeNew(a.data(), 40, 0, nullptr));
  TreePtr tb(wcoll2dTreeNew(b.data(), 40, 0, nullptr));
  RecPtr full(lstRec8New(1));
  ASSERT_EQ(wcoll2dTreesOverlap(ta.get(), tb.get(), 1, nullptr, full.get()), 1);
  const int total = full->count;
  ASSERT_GT(total, 10);
  int failures = 0;
  for (long n = 1;; ++n) {
    RecPtr list(lstRec8New(1));
    ASSERT_EQ(lstRec8Append(list.get(), Rec8{{-5, -5}}), 0);
    geoErrReset();
    memTestFailAt(n);
    const int r = wcoll2dTreesOverlap(ta.get(), tb.get(), 1, nullptr, list.get());
    memTestFailAt(0);
    if (r == 1) {
      EXPECT_EQ(list->count, total + 1);
      break;
    }
    EXPECT_EQ(r, -1) << n;
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(geoErrCode(), -1);
    EXPECT_STREQ(geoErrRecord()->file, "wcoll2ddetect");
    ++failures;
  }
  EXPECT_GE(failures, 3);
}

// Every segment lies in exactly the cells that its grown box reaches (clamped to the grid), in
// ascending order, and every non-empty cell has been shrunk to its count.
TEST(WallGrid, CellsHoldTheSegmentsWhoseGrownBoxesReachThem) {
  std::mt19937_64 rng(11);
  const std::vector<Seg2D> segs = randomSegments(rng, 80, 50, 6);
  Kont2D* walls = kontNew(nullptr, 80);
  for (const Seg2D& s : segs) kontAppendSeg(walls, &s);
  std::vector<WallBox> boxes;
  for (const Seg2D& s : segs) {
    boxes.push_back(WallBox{std::min(s.x1, s.x2), std::min(s.y1, s.y2), std::max(s.x1, s.x2),
                            std::max(s.y1, s.y2)});
  }
  const double m = 1.5;
  GridPtr g(triGridNew(6, 7, 2));
  ASSERT_EQ(wcoll2dGridSegments(g.get(), walls, boxes.data(), m), 1);
  EXPECT_EQ(g->x0, walls->xmin);
  EXPECT_EQ(g->y1, walls->ymax);
  const double ch = (walls->ymax - walls->ymin) / 6, cw = (walls->xmax - walls->xmin) / 7;
  auto clampCell = [](double q, int n) {
    return q < 0 ? 0 : (q >= n ? n - 1 : static_cast<int>(q));
  };
  for (int row = 0; row < 6; ++row) {
    for (int col = 0; col < 7; ++col) {
      std::vector<int> expected;
      for (int i = 0; i < 80; ++i) {
        const WallBox& b = boxes[i];
        const int r0 = clampCell(std::trunc((b.ymin - m - g->y0) / ch), 6);
        const int r1 = clampCell(std::trunc((b.ymax + m - g->y0) / ch), 6);
        const int c0 = clampCell(std::trunc((b.xmin - m - g->x0) / cw), 7);
        const int c1 = clampCell(std::trunc((b.xmax + m - g->x0) / cw), 7);
        if (row >= r0 && row <= r1 && col >= c0 && col <= c1) expected.push_back(i);
      }
      const TriangleGridCell& cell = g->cells[row * 7 + col];
      EXPECT_EQ(std::vector<int>(cell.indices, cell.indices + cell.count), expected);
      if (cell.count > 0) {
        EXPECT_EQ(cell.capacity, cell.count);
      }
    }
  }
  GridPtr g2(triGridNew(2, 2, 1));
  EXPECT_EQ(wcoll2dGridSegments(g2.get(), walls, nullptr, m), -1);
  EXPECT_EQ(wcoll2dGridSegments(nullptr, walls, boxes.data(), m), -20);
  // A cell that cannot grow: -1.
  memTestFailAt(1);
  EXPECT_EQ(wcoll2dGridSegments(g2.get(), walls, boxes.data(), m), -1);
  memTestFailAt(0);
  kontFree(walls);
}

// A single point of walls: the box has no extent, so the cell size is 1e-6 over the counts and
// every segment lands in the first cell.
TEST(WallGrid, DegenerateBoxUsesTheSmallestCell) {
  Kont2D* walls = kontNew(nullptr, 3);
  const Seg2D s{5, 5, 5, 5};
  kontAppendSeg(walls, &s);
  const WallBox box{5, 5, 5, 5};
  GridPtr g(triGridNew(3, 3, 1));
  ASSERT_EQ(wcoll2dGridSegments(g.get(), walls, &box, 0.0), 1);
  EXPECT_DOUBLE_EQ(g->cellHeight, 1e-6 / 3);
  EXPECT_EQ(g->cells[0].count, 1);
  kontFree(walls);
}

TEST(WcollCompareDouble, SortsRecordsByTheirFirstDouble) {
  struct Rec {
    double key;
    int tag;
  };
  std::vector<Rec> recs = {{3.5, 0}, {-1, 1}, {2, 2}, {3.5, 3}, {0, 4}};
  ASSERT_EQ(lstSort(recs.data(), 5, sizeof(Rec), wcollCompareDouble), 1);
  const double keys[] = {-1, 0, 2, 3.5, 3.5};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(recs[i].key, keys[i]);
  const double a = 1, b = 2;
  EXPECT_EQ(wcollCompareDouble(&a, &b), -1);
  EXPECT_EQ(wcollCompareDouble(&b, &a), 1);
  EXPECT_EQ(wcollCompareDouble(&a, &a), 0);
}

}  // namespace
