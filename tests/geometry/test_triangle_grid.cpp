// Tests of the plan-position bucket grid: creation, fill ranges with margins and clamping,
// lookups at and beyond the rectangle, degenerate rectangles, non-finite input, growth.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "framework/memory.h"
#include "geometry/triangle_grid.h"

namespace {

struct GridDeleter {
  void operator()(TriangleGrid* g) const { triGridFree(g); }
};
using GridPtr = std::unique_ptr<TriangleGrid, GridDeleter>;

int rowOf(const TriangleGrid* g, const TriangleGridCell* c) {
  return static_cast<int>(c - g->cells) / g->columns;
}
int colOf(const TriangleGrid* g, const TriangleGridCell* c) {
  return static_cast<int>(c - g->cells) % g->columns;
}
std::vector<int> indicesOf(const TriangleGridCell* c) {
  return std::vector<int>(c->indices, c->indices + c->count);
}

TEST(TriGrid, NewRejectsNonPositiveSizes) {
  EXPECT_EQ(triGridNew(0, 5, 100), nullptr);
  EXPECT_EQ(triGridNew(5, -1, 100), nullptr);
  GridPtr g(triGridNew(2, 3, 100));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->rows, 2);
  EXPECT_EQ(g->columns, 3);
  EXPECT_EQ(g->cells[5].capacity, 100);
  EXPECT_EQ(triGridFree(nullptr), 0);
}

TEST(TriGrid, LookupClampsAtAndBeyondTheRectangle) {
  GridPtr g(triGridNew(1, 4, 1));
  ASSERT_EQ(triGridFill(g.get(), 0, Point3D{0, 0, 0}, Point3D{10, 2, 0}, nullptr, nullptr, 0), 1);
  const struct {
    double x;
    int column;
  } cases[] = {{10.0, 3}, {-3.0, 0}, {0.0, 0}, {2.5, 1}, {7.4, 2}, {1e300, 3}, {-1e300, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(colOf(g.get(), triGridCell(g.get(), c.x, 1.0)), c.column) << c.x;
  }
  EXPECT_EQ(triGridCell(nullptr, 0, 0), nullptr);
}

TEST(TriGrid, FillEntersGrownBoxesInAscendingOrder) {
  GridPtr g(triGridNew(4, 4, 1));
  const Point3D lo[] = {{1, 1, 0}, {0, 0, 0}, {50, 50, 0}, {-30, 2, 0}};
  const Point3D hi[] = {{1.5, 1.5, 0}, {10, 10, 0}, {60, 60, 0}, {-20, 3, 0}};
  ASSERT_EQ(triGridFill(g.get(), 4, Point3D{0, 0, 0}, Point3D{8, 8, 0}, lo, hi, 1.0), 1);
  // Item 0 grown by the margin covers x, y in 0 .. 2.5: cells 0 and 1 of rows 0 and 1.
  // Item 1 covers every cell; item 2 lies beyond the rectangle and goes into the far corner;
  // item 3 lies left of it and goes into column 0 of rows 0 to 2 (y 1 .. 4).
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 0.5, 0.5)), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 3.0, 3.0)), (std::vector<int>{0, 1}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 5.0, 5.0)), (std::vector<int>{1}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 7.9, 7.9)), (std::vector<int>{1, 2}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 0.5, 3.0)), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 0.5, 5.0)), (std::vector<int>{1, 3}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 0.5, 7.0)), (std::vector<int>{1}));
}

TEST(TriGrid, CellGrowsByDoubling) {
  GridPtr g(triGridNew(1, 1, 1));
  ASSERT_EQ(triGridAdd(g.get(), 0, 0, 7), 1);
  ASSERT_EQ(triGridAdd(g.get(), 0, 0, 9), 1);
  EXPECT_EQ(g->cells[0].capacity, 2);
  EXPECT_EQ(indicesOf(&g->cells[0]), (std::vector<int>{7, 9}));
  ASSERT_EQ(triGridAdd(g.get(), 0, 0, 11), 1);
  EXPECT_EQ(g->cells[0].capacity, 4);
  EXPECT_EQ(triGridAdd(g.get(), 1, 0, 1), -20);
  EXPECT_EQ(triGridAdd(g.get(), 0, -1, 1), -20);
  // A grid created without initial room still grows.
  GridPtr empty(triGridNew(1, 1, 0));
  ASSERT_EQ(triGridAdd(empty.get(), 0, 0, 3), 1);
  EXPECT_EQ(empty->cells[0].capacity, 1);
}

// A rectangle without extent in y (all facets at one y) gave a division by zero and an undefined
// float-to-int conversion; now every item and every lookup lands in row 0.
TEST(TriGrid, ZeroExtentPutsEverythingIntoRowZero) {
  GridPtr g(triGridNew(3, 3, 2));
  const Point3D lo[] = {{0, 5, 0}, {6, 5, 0}};
  const Point3D hi[] = {{1, 5, 0}, {9, 5, 0}};
  ASSERT_EQ(triGridFill(g.get(), 2, Point3D{0, 5, 0}, Point3D{9, 5, 0}, lo, hi, 0.5), 1);
  for (int r = 1; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(g->cells[r * 3 + c].count, 0);
  }
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 0.5, 1e6)), (std::vector<int>{0}));
  EXPECT_EQ(rowOf(g.get(), triGridCell(g.get(), 8.0, -7.0)), 0);
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 8.0, 5.0)), (std::vector<int>{1}));
}

// Non-finite coordinates must never reach a float-to-int conversion: a NaN item bound makes the
// item unbounded on that side, a NaN lookup takes the first cell.
TEST(TriGrid, NonFiniteCoordinatesStayInsideTheGrid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  GridPtr g(triGridNew(2, 2, 1));
  const Point3D lo[] = {{1, 1, 0}, {1, -inf, 0}};
  const Point3D hi[] = {{nan, 1, 0}, {1, inf, 0}};
  ASSERT_EQ(triGridFill(g.get(), 2, Point3D{0, 0, 0}, Point3D{4, 4, 0}, lo, hi, 0.0), 1);
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 0.5, 0.5)), (std::vector<int>{0, 1}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 3.5, 0.5)), (std::vector<int>{0}));
  EXPECT_EQ(indicesOf(triGridCell(g.get(), 0.5, 3.5)), (std::vector<int>{1}));
  const TriangleGridCell* c = triGridCell(g.get(), nan, inf);
  EXPECT_EQ(rowOf(g.get(), c), 1);
  EXPECT_EQ(colOf(g.get(), c), 0);
  // A rectangle that is not finite makes every cell size unusable: one cell per direction.
  GridPtr h(triGridNew(2, 2, 1));
  ASSERT_EQ(triGridFill(h.get(), 1, Point3D{nan, 0, 0}, Point3D{4, inf, 0}, lo, hi, 0.0), 1);
  EXPECT_EQ(indicesOf(triGridCell(h.get(), 3.0, 3.0)), (std::vector<int>{0}));
}

TEST(TriGrid, FillRejectsMissingArrays) {
  GridPtr g(triGridNew(2, 2, 1));
  EXPECT_EQ(triGridFill(g.get(), 1, Point3D{0, 0, 0}, Point3D{1, 1, 0}, nullptr, nullptr, 0), -20);
  EXPECT_EQ(triGridFill(g.get(), -1, Point3D{0, 0, 0}, Point3D{1, 1, 0}, nullptr, nullptr, 0), -20);
  EXPECT_EQ(triGridFill(nullptr, 0, Point3D{0, 0, 0}, Point3D{1, 1, 0}, nullptr, nullptr, 0), -20);
}

// Every allocation of creation and fill may fail: the call reports it and leaks nothing.
TEST(TriGrid, AllocationFailuresAreReportedWithoutLeaks) {
  const Point3D lo[] = {{0, 0, 0}, {2, 2, 0}};
  const Point3D hi[] = {{4, 4, 0}, {3, 3, 0}};
  // Creation allocates the grid, the cells and four index arrays; the fill grows one cell.
  int failures = 0;
  for (long n = 1; n <= 12; ++n) {
    memTestFailAt(n);
    TriangleGrid* g = triGridNew(2, 2, 1);
    int r = -1;
    if (g != nullptr) r = triGridFill(g, 2, Point3D{0, 0, 0}, Point3D{4, 4, 0}, lo, hi, 0.0);
    memTestFailAt(0);
    EXPECT_TRUE(r == 1 || r == -1);
    if (r != 1) ++failures;
    triGridFree(g);
  }
  EXPECT_EQ(failures, 7);
}

}  // namespace
