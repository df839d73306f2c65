// Tests of the cell outline tracer: loop counts against connected components, orientation and
// areas after the first midpoint cut against corner counts, the indexed chaining against the plain
// scan, snapping onto a region, collinear merging and the bounds of the loop search.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/raster.h"
#include "zlevel/grid_bnd_trace.h"

namespace {

struct MatrixDel {
  void operator()(IntMatrix* m) const { gridIntFree(m); }
};
struct SegDel {
  void operator()(Seg2List* l) const { lstBox2Free(l); }
};
using MatrixPtr = std::unique_ptr<IntMatrix, MatrixDel>;
using SegPtr = std::unique_ptr<Seg2List, SegDel>;

MatrixPtr randomMatrix(int rows, int cols, double p, unsigned seed) {
  MatrixPtr m(gridIntNew(rows, cols));
  std::mt19937 rng(seed);
  std::bernoulli_distribution on(p);
  for (int k = 0; k < rows * cols; ++k) m->cells[k] = on(rng) ? 1 : 0;
  return m;
}

// Components by flood fill over a grid padded with one unmarked ring: marked cells 4-connected,
// unmarked cells (outside included) 8-connected.
int components(const IntMatrix* m, bool markedSide) {
  const int R = m->rows + 2;
  const int C = m->cols + 2;
  auto at = [&](int i, int j) {
    if (i == 0 || j == 0 || i == R - 1 || j == C - 1) return false;
    return m->cells[(i - 1) * m->cols + (j - 1)] != 0;
  };
  std::vector<char> seen(static_cast<std::size_t>(R * C), 0);
  int count = 0;
  for (int i = 0; i < R; ++i) {
    for (int j = 0; j < C; ++j) {
      if (seen[i * C + j] != 0 || at(i, j) != markedSide) continue;
      ++count;
      std::vector<std::pair<int, int>> stack{{i, j}};
      seen[i * C + j] = 1;
      while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        for (int di = -1; di <= 1; ++di) {
          for (int dj = -1; dj <= 1; ++dj) {
            if (di == 0 && dj == 0) continue;
            if (markedSide && di != 0 && dj != 0) continue;
            const int x = a + di;
            const int y = b + dj;
            if (x < 0 || y < 0 || x >= R || y >= C || seen[x * C + y] != 0) continue;
            if (at(x, y) != markedSide) continue;
            seen[x * C + y] = 1;
            stack.emplace_back(x, y);
          }
        }
      }
    }
  }
  return count;
}

// Splits a list into its loops (first, last) with the tracer's own loop search.
std::vector<std::pair<int, int>> loopsOf(const Seg2List* l) {
  std::vector<std::pair<int, int>> loops;
  int first = 0;
  while (first < l->count) {
    const int last = gridBndLoopEnd(l, first);
    if (last < 0) {
      ADD_FAILURE() << "loop from segment " << first << " does not close";
      break;
    }
    loops.emplace_back(first, last);
    first = last + 1;
  }
  return loops;
}

TEST(GridBndTrace, RandomPatternsLoopsOrientationAndAreas) {
  const Point2D origin{1.5, -2.0};
  const Point2D steps{0.7, 0.4};
  for (unsigned seed = 1; seed <= 60; ++seed) {
    SCOPED_TRACE(seed);
    const int rows = 3 + static_cast<int>(seed % 9);
    const int cols = 2 + static_cast<int>(seed % 7);
    MatrixPtr m = randomMatrix(rows, cols, 0.3 + 0.01 * (seed % 40), seed);
    int marked = 0;
    for (int k = 0; k < rows * cols; ++k) marked += m->cells[k] != 0 ? 1 : 0;

    // Raw loops (unit cell sides) from the chaining, in model coordinates.
    std::vector<GridEdgePoint> pts;
    std::vector<std::int32_t> order;
    std::vector<std::int32_t> plain;
    ASSERT_EQ(gridBndEdges(m.get(), 0, rows, 0, cols, &pts), 1);
    ASSERT_EQ(gridBndChain(pts, &order), 1);
    ASSERT_EQ(gridBndChainPlain(pts, &plain), 1);
    EXPECT_EQ(order, plain);

    SegPtr cut(lstSeg2New(16));
    ASSERT_EQ(gridTraceCells(m.get(), 0, rows, 0, cols, origin, steps, cut.get()), 1);
    const auto loops = loopsOf(cut.get());
    const int outer = components(m.get(), true);
    const int holes = components(m.get(), false) - 1;
    ASSERT_EQ(static_cast<int>(loops.size()), outer + holes);

    // Each cut loop's segments correspond one-to-one to the raw edges in chain order, so the
    // raw loop of a cut loop is the same index range of the raw edges.
    ASSERT_EQ(cut->count, static_cast<int>(order.size()));
    int ccw = 0;
    int cw = 0;
    double rawTotal = 0.0;
    const double cell = steps.x * steps.y;
    for (auto [first, last] : loops) {
      double raw = 0.0;
      int left = 0;
      int right = 0;
      for (int k = first; k <= last; ++k) {
        const GridEdgePoint a = pts[2 * order[k]];
        const GridEdgePoint b = pts[2 * order[k] + 1];
        const double ax = origin.x + a.c * steps.x / 2;
        const double ay = origin.y + a.r * steps.y / 2;
        const double bx = origin.x + b.c * steps.x / 2;
        const double by = origin.y + b.r * steps.y / 2;
        raw += 0.5 * (ax * by - bx * ay);
        const int nk = k < last ? k + 1 : first;
        const GridEdgePoint c = pts[2 * order[nk] + 1];
        ASSERT_EQ(pts[2 * order[nk]].r, b.r);
        ASSERT_EQ(pts[2 * order[nk]].c, b.c);
        const long turn =
            static_cast<long>(b.c - a.c) * (c.r - b.r) - static_cast<long>(b.r - a.r) * (c.c - b.c);
        if (turn > 0) ++left;
        if (turn < 0) ++right;
      }
      rawTotal += raw;
      (raw > 0 ? ccw : cw) += 1;
      const double area = lstSeg2Area(cut.get(), first, last + 1);
      EXPECT_NEAR(area, raw - (left - right) * cell / 8.0, 1e-9);
    }
    EXPECT_EQ(ccw, outer);
    EXPECT_EQ(cw, holes);
    EXPECT_NEAR(rawTotal, marked * cell, 1e-9);
  }
}

TEST(GridBndTrace, IndexedChainingEqualsPlainScanOnLargePatterns) {
  for (unsigned seed = 100; seed < 104; ++seed) {
    MatrixPtr m = randomMatrix(60, 45, 0.5, seed);
    std::vector<GridEdgePoint> pts;
    std::vector<std::int32_t> a;
    std::vector<std::int32_t> b;
    ASSERT_EQ(gridBndEdges(m.get(), 0, 60, 0, 45, &pts), 1);
    ASSERT_EQ(gridBndChain(pts, &a), 1);
    ASSERT_EQ(gridBndChainPlain(pts, &b), 1);
    EXPECT_EQ(a, b);
  }
}

TEST(GridBndTrace, SingleCellIsDiamondOfHalfItsArea) {
  gridBndResetState();
  MatrixPtr m(gridIntNew(3, 3));
  m->cells[4] = 1;
  SegPtr l(lstSeg2New(8));
  ASSERT_EQ(gridBndTrace(m.get(), Point2D{0, 0}, Point2D{2.0, 1.0}, l.get()), 1);
  ASSERT_EQ(l->count, 4);
  EXPECT_NEAR(lstSeg2Area(l.get(), 0, 4), 1.0, 1e-12);
  for (int k = 0; k < 4; ++k) {
    const Seg2D& s = l->items[k];
    // every vertex is the midpoint of a side of the cell centred at (2, 1)
    EXPECT_NEAR(std::fabs(s.x1 - 2.0) / 1.0 + std::fabs(s.y1 - 1.0) / 0.5, 1.0, 1e-12);
  }
}

TEST(GridBndTrace, DiagonalCellsGiveTwoLoopsAndEdgeRowsClose) {
  MatrixPtr m(gridIntNew(2, 2));
  m->cells[0] = 1;
  m->cells[3] = 1;
  SegPtr l(lstSeg2New(8));
  ASSERT_EQ(gridTraceCells(m.get(), 0, 2, 0, 2, Point2D{0, 0}, Point2D{1, 1}, l.get()), 1);
  const auto loops = loopsOf(l.get());
  ASSERT_EQ(loops.size(), 2U);
  for (auto [f, e] : loops) EXPECT_NEAR(lstSeg2Area(l.get(), f, e + 1), 0.5, 1e-12);
}

TEST(GridBndTrace, SnapsCutCornersOntoRegion) {
  gridBndResetState();
  MatrixPtr m(gridIntNew(6, 6));
  for (int i = 1; i < 5; ++i) {
    for (int j = 1; j < 5; ++j) m->cells[i * 6 + j] = 1;
  }
  Kont2D* region = kontNewRect(Point2D{0.8, 0.8}, Point2D{4.2, 4.2});
  ASSERT_NE(region, nullptr);
  SegPtr free(lstSeg2New(8));
  ASSERT_EQ(gridBndTrace(m.get(), Point2D{0, 0}, Point2D{1, 1}, free.get()), 1);
  bool outside = false;
  for (int k = 0; k < free->count; ++k) {
    outside |= kontClassifyPoint(region, Point2D{free->items[k].x2, free->items[k].y2}) == 1;
  }
  ASSERT_TRUE(outside) << "the fixture must reach beyond the region";

  gridBndSetRegion(region);
  SegPtr l(lstSeg2New(8));
  ASSERT_EQ(gridBndTrace(m.get(), Point2D{0, 0}, Point2D{1, 1}, l.get()), 1);
  gridBndSetRegion(nullptr);
  for (int k = 0; k < l->count; ++k) {
    const Point2D p{l->items[k].x2, l->items[k].y2};
    const double inX = std::min(p.x - 0.8, 4.2 - p.x);
    const double inY = std::min(p.y - 0.8, 4.2 - p.y);
    EXPECT_GE(std::min(inX, inY), -1e-9) << k;
    const int next = k + 1 < l->count ? k + 1 : 0;
    EXPECT_NEAR(l->items[next].x1, p.x, 1e-9);
    EXPECT_NEAR(l->items[next].y1, p.y, 1e-9);
  }
  kontFree(region);
}

TEST(GridBndTrace, MergeCollinearKeepsLastAndShortLists) {
  SegPtr l(lstSeg2New(8));
  // A triangle whose first side is cut into three pieces and whose last side is split as well.
  const Seg2D segs[] = {{0, 0, 1, 0}, {1, 0, 2, 0}, {2, 0, 3, 0},
                        {3, 0, 0, 3}, {0, 3, 0, 1}, {0, 1, 0, 0}};
  for (const Seg2D& s : segs) lstSeg2Append(l.get(), s);
  ASSERT_EQ(gridBndMergeCollinear(l.get()), 1);
  ASSERT_EQ(l->count, 4);
  EXPECT_DOUBLE_EQ(l->items[0].x2, 3.0);
  EXPECT_DOUBLE_EQ(l->items[2].y2, 1.0);  // the list's last segment stays by itself
  EXPECT_DOUBLE_EQ(l->items[3].y1, 1.0);

  SegPtr s(lstSeg2New(4));
  for (int k = 0; k < 3; ++k) lstSeg2Append(s.get(), segs[k]);
  EXPECT_EQ(gridBndMergeCollinear(s.get()), 0);
  EXPECT_EQ(s->count, 3);
}

// A loop that never returns to its first point made the loop search run past the list.
TEST(GridBndTrace, OpenLoopStopsTheSearchAtTheListEnd) {
  SegPtr l(lstSeg2New(8));
  for (int k = 0; k < 6; ++k) lstSeg2Append(l.get(), Seg2D{double(k), 0, double(k + 1), 0.5});
  EXPECT_EQ(gridBndLoopEnd(l.get(), 0), -1);
  const Seg2D before = l->items[2];
  gridBndSmooth(l.get());
  Kont2D* region = kontNewRect(Point2D{0, 0}, Point2D{1, 1});
  gridBndSnapToRegion(l.get(), region);
  kontFree(region);
  EXPECT_EQ(l->count, 6);
  EXPECT_DOUBLE_EQ(l->items[2].x1, before.x1);
}

TEST(GridBndTrace, InputErrors) {
  MatrixPtr m(gridIntNew(2, 2));
  m->cells[0] = 1;
  SegPtr l(lstSeg2New(4));
  EXPECT_EQ(gridBndTrace(m.get(), Point2D{0, 0}, Point2D{1, 1}, nullptr), -1);
  EXPECT_EQ(gridBndTrace(nullptr, Point2D{0, 0}, Point2D{1, 1}, l.get()), 1);
  EXPECT_EQ(l->count, 0);
  EXPECT_EQ(gridTraceCells(m.get(), 0, 3, 0, 2, Point2D{0, 0}, Point2D{1, 1}, l.get()), -1);
  EXPECT_EQ(gridTraceCells(m.get(), -1, 2, 0, 2, Point2D{0, 0}, Point2D{1, 1}, l.get()), -1);
}

}  // namespace
