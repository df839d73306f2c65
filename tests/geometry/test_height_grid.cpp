// Tests of the height grid: its size and initial heights, the cells under a box against the cells
// that the box really touches, grids without cells, memory failures at every step, and the 2x2
// solver against substitution.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "framework/memory.h"
#include "geometry/height_grid.h"

namespace {
// Owns a grid for one test.
struct GridPtr {
  std::unique_ptr<HeightGrid, decltype(&heightGridFree)> owner;
  HeightGrid* g;
  explicit GridPtr(HeightGrid* grid) : owner(grid, heightGridFree), g(grid) {}
};
}  // namespace

TEST(HeightGrid, SizeOriginAndHeightsStartAtTheFloor) {
  GridPtr p(heightGridNew(1.0, {0, 0, 3}, {10, 5, 7}));
  ASSERT_NE(p.g, nullptr);
  EXPECT_EQ(p.g->rows, 6);
  EXPECT_EQ(p.g->cols, 11);
  EXPECT_EQ(p.g->x0, 0.0);
  EXPECT_EQ(p.g->y0, 0.0);
  EXPECT_EQ(p.g->cell, 1.0);
  EXPECT_EQ(p.g->floor, -10000.0);
  EXPECT_EQ(p.g->triGrid, nullptr);
  for (int r = 0; r < p.g->rows; ++r) {
    for (int c = 0; c < p.g->cols; ++c) EXPECT_EQ(p.g->heights[r][c], -10000.0);
  }
  // An upper corner below the lower one still gives one row and one column.
  GridPtr q(heightGridNew(0.5, {4, 4, 0}, {1, 1, 0}));
  ASSERT_NE(q.g, nullptr);
  EXPECT_EQ(q.g->rows, 1);
  EXPECT_EQ(q.g->cols, 1);
  EXPECT_EQ(q.g->x0, 4.0);
}

TEST(HeightGrid, CellRangeCases) {
  GridPtr p(heightGridNew(1.0, {0, 0, 0}, {10, 5, 0}));
  ASSERT_NE(p.g, nullptr);
  struct Case {
    Point2D lo, hi;
    int result;
    HeightGridRange want;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {{2.5, 1.5}, {4.2, 3.0}, 1, {2, 1, 5, 4}},
      {{-5, -5}, {20, 20}, 1, {0, 0, 10, 5}},                // the whole grid
      {{-8, 1}, {-3, 2}, 1, {0, 1, 0, 3}},                   // left of the grid: column 0 only
      {{-1e300, -1e300}, {-1e299, 1e300}, 1, {0, 0, 0, 5}},  // far off: clamped, no overflow
      {{14, 1}, {16, 2}, 1, {10, 1, 10, 3}},                 // right of the grid: the last column
      {{0, 0}, {3, 3}, 1, {0, 0, 4, 4}},                     // upper point on a cell line
      {{6, 1}, {2, 3}, -1, {0, 0, -1, -1}},                  // upper left of lower: empty
      {{nan, 1}, {2, 3}, -1, {0, 0, -1, -1}},
      {{1, 1}, {2, nan}, -1, {0, 0, -1, -1}},
  };
  for (const Case& c : cases) {
    HeightGridRange r{7, 7, 7, 7};
    EXPECT_EQ(heightGridCellRange(p.g, c.lo, c.hi, &r), c.result) << c.lo.x << " " << c.hi.x;
    EXPECT_EQ(r.col0, c.want.col0);
    EXPECT_EQ(r.row0, c.want.row0);
    EXPECT_EQ(r.col1, c.want.col1);
    EXPECT_EQ(r.row1, c.want.row1);
  }
  HeightGridRange r{};
  EXPECT_EQ(heightGridCellRange(nullptr, {0, 0}, {1, 1}, &r), -1);
  EXPECT_EQ(heightGridCellRange(p.g, {0, 0}, {1, 1}, nullptr), -1);
}

// Every cell whose square meets the box lies in the range; inside the grid the range starts at
// the cell holding the lower point and ends one cell past the cell holding the upper point.
TEST(HeightGrid, CellRangeCoversEveryCellTheBoxTouches) {
  GridPtr p(heightGridNew(0.7, {-3, 2, 0}, {9, 8, 0}));
  ASSERT_NE(p.g, nullptr);
  const HeightGrid& g = *p.g;
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> ux(-6, 12), uy(-1, 11), ul(0, 5);
  for (int k = 0; k < 2000; ++k) {
    const Point2D lo{ux(rng), uy(rng)};
    const Point2D hi{lo.x + ul(rng), lo.y + ul(rng)};
    HeightGridRange r{};
    ASSERT_EQ(heightGridCellRange(&g, lo, hi, &r), 1);
    ASSERT_GE(r.col0, 0);
    ASSERT_LE(r.col1, g.cols - 1);
    ASSERT_GE(r.row0, 0);
    ASSERT_LE(r.row1, g.rows - 1);
    for (int c = 0; c < g.cols; ++c) {
      const double a = g.x0 + c * g.cell, b = a + g.cell;
      if (a <= hi.x && b > lo.x) {
        EXPECT_TRUE(c >= r.col0 && c <= r.col1) << "column " << c;
      }
      const bool loInside = lo.x >= g.x0 && lo.x < g.x0 + g.cols * g.cell;
      const bool hiInside = hi.x >= g.x0 && hi.x < g.x0 + (g.cols - 1) * g.cell;
      if (c == r.col0 && loInside) {
        EXPECT_GT(b, lo.x);
      }
      if (c == r.col1 && hiInside) {
        EXPECT_LE(a - g.cell, hi.x);
      }
    }
    for (int row = 0; row < g.rows; ++row) {
      const double a = g.y0 + row * g.cell, b = a + g.cell;
      if (a <= hi.y && b > lo.y) {
        EXPECT_TRUE(row >= r.row0 && row <= r.row1) << "row " << row;
      }
    }
  }
}

// A cell size below the limit gave a grid without cells whose cell range clamped indices into
// 0 .. -1: the range is now an error result and nothing is read.
TEST(HeightGrid, GridWithoutCells) {
  const double cells[] = {0.0, 9e-6, -1.0, std::numeric_limits<double>::quiet_NaN()};
  for (double cell : cells) {
    GridPtr p(heightGridNew(cell, {0, 0, 0}, {10, 10, 0}));
    ASSERT_NE(p.g, nullptr) << cell;
    EXPECT_EQ(p.g->rows, 0);
    EXPECT_EQ(p.g->cols, 0);
    EXPECT_EQ(p.g->heights, nullptr);
    EXPECT_EQ(p.g->floor, -10000.0);
    HeightGridRange r{3, 3, 3, 3};
    EXPECT_EQ(heightGridCellRange(p.g, {1, 1}, {2, 2}, &r), -1);
    EXPECT_EQ(r.col1, -1);
    EXPECT_EQ(r.row1, -1);
  }
  GridPtr q(heightGridNew(1e-5, {0, 0, 0}, {1e-5, 0, 0}));  // exactly the limit has cells
  ASSERT_NE(q.g, nullptr);
  EXPECT_EQ(q.g->rows, 1);
  EXPECT_EQ(q.g->cols, 2);
}

TEST(HeightGrid, UnusableCornersOrCountGiveNull) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(heightGridNew(1.0, {0, 0, 0}, {inf, 1, 0}), nullptr);
  EXPECT_EQ(heightGridNew(1.0, {nan, 0, 0}, {1, 1, 0}), nullptr);
  EXPECT_EQ(heightGridNew(1.0, {0, -inf, 0}, {1, 1, 0}), nullptr);
  EXPECT_EQ(heightGridNew(1e-5, {0, 0, 0}, {1e6, 1e6, 0}), nullptr);  // 1e22 cells
}

TEST(HeightGrid, MemoryFailureAtEveryStep) {
  int failures = 0;
  for (long n = 1; n < 20; ++n) {
    memTestFailAt(n);
    HeightGrid* g = heightGridNew(1.0, {0, 0, 0}, {4, 3, 0});
    memTestFailAt(0);
    if (g != nullptr) {
      EXPECT_EQ(g->rows, 4);
      EXPECT_EQ(g->cols, 5);
      heightGridFree(g);
      break;
    }
    ++failures;
  }
  EXPECT_EQ(failures, 6);  // record, row table, four rows
}

TEST(HeightGrid, FreeReleasesTheOwnedTriangleGrid) {
  HeightGrid* g = heightGridNew(2.0, {0, 0, 0}, {10, 10, 0});
  ASSERT_NE(g, nullptr);
  g->triGrid = triGridNew(3, 3, 4);
  ASSERT_NE(g->triGrid, nullptr);
  ASSERT_EQ(triGridAdd(g->triGrid, 1, 1, 7), 1);
  heightGridFree(g);  // LeakSanitizer reports anything left behind
  heightGridFree(nullptr);
}

TEST(GeoSolve2x2, KnownAndRandomSystems) {
  double x = 9, y = 9;
  EXPECT_EQ(geoSolve2x2(1, 1, 1, -1, 3, 1, &x, &y), 1);
  EXPECT_DOUBLE_EQ(x, 2.0);
  EXPECT_DOUBLE_EQ(y, 1.0);
  x = y = 9;
  EXPECT_EQ(geoSolve2x2(1, 2, 2, 4, 3, 6, &x, &y), 0);  // singular: outputs untouched
  EXPECT_EQ(x, 9.0);
  EXPECT_EQ(y, 9.0);
  EXPECT_EQ(geoSolve2x2(1, 0, 0, 1, 3, 6, nullptr, &y), -20);
  // Substituting the solution gives the right-hand side back.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-10, 10);
  for (int k = 0; k < 500; ++k) {
    const double a = u(rng), b = u(rng), c = u(rng), d = u(rng), e = u(rng), f = u(rng);
    if (std::fabs(a * d - b * c) < 1e-2) continue;
    ASSERT_EQ(geoSolve2x2(a, b, c, d, e, f, &x, &y), 1);
    EXPECT_NEAR(a * x + b * y, e, 1e-9 * (1 + std::fabs(x) + std::fabs(y)));
    EXPECT_NEAR(c * x + d * y, f, 1e-9 * (1 + std::fabs(x) + std::fabs(y)));
  }
}
