// Tests of level rasters, seed cells and cell matrices: classification at the level tolerance,
// seed fills against a breadth-first search, the 8-neighbour fills, region copy and growth with
// labels that look like the fills' old marker, and allocation failures.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/raster.h"
#include "zlevel/walker.h"

namespace {

// A height grid held in vectors, with the row tables the net points into.
struct TestNet {
  std::vector<std::vector<float>> h;
  std::vector<std::vector<std::uint8_t>> v;
  std::vector<float*> hRows;
  std::vector<std::uint8_t*> vRows;
  FloatDropNet net{};

  TestNet(int rows, int cols, float height)
      : h(rows, std::vector<float>(cols, height)), v(rows, std::vector<std::uint8_t>(cols, 1)) {
    for (int r = 0; r < rows; ++r) {
      hRows.push_back(h[r].data());
      vRows.push_back(v[r].data());
    }
    net = {10.0, 20.0, rows, cols, 0.5, 0.25, hRows.data(), vRows.data(), nullptr};
  }
};

struct RasterDeleter {
  void operator()(Raster* r) const { gridRasterFree(r); }
};
using RasterPtr = std::unique_ptr<Raster, RasterDeleter>;

RasterPtr newRaster(const TestNet& t) {
  return RasterPtr(gridRasterNew(&t.net, t.net.rows, t.net.cols, t.net.rowStep, t.net.colStep));
}

struct IntDeleter {
  void operator()(IntMatrix* m) const { gridIntFree(m); }
};
using IntPtr = std::unique_ptr<IntMatrix, IntDeleter>;

IntPtr intFrom(const std::vector<std::vector<int>>& rows) {
  IntPtr m(gridIntNew(static_cast<int>(rows.size()), static_cast<int>(rows[0].size())));
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c) m->cells[r * m->cols + c] = rows[r][c];
  return m;
}

int at(const IntMatrix* m, int r, int c) { return m->cells[r * m->cols + c]; }

// Breadth-first 8-neighbour area of cells equal to the seed's value.
std::vector<std::uint8_t> bfsArea(const std::vector<int>& cells, int rows, int cols, int r0,
                                  int c0) {
  std::vector<std::uint8_t> in(cells.size(), 0);
  const int v = cells[r0 * cols + c0];
  std::deque<std::pair<int, int>> q{{r0, c0}};
  in[r0 * cols + c0] = 1;
  while (!q.empty()) {
    auto [r, c] = q.front();
    q.pop_front();
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc) {
        const int nr = r + dr, nc = c + dc;
        if (nr < 0 || nr >= rows || nc < 0 || nc >= cols) continue;
        if (in[nr * cols + nc] || cells[nr * cols + nc] != v) continue;
        in[nr * cols + nc] = 1;
        q.push_back({nr, nc});
      }
  }
  return in;
}

TEST(GridRaster, NewCopiesHeaderAndBlocksEveryCell) {
  TestNet t(3, 4, 0.0f);
  RasterPtr r = newRaster(t);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->x0, 10.0);
  EXPECT_EQ(r->y0, 20.0);
  EXPECT_EQ(r->freeCount, 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(r->cells[i][j], kRasterBlocked);
  gridRasterClear(r.get());
  EXPECT_EQ(r->freeCount, 12);
  EXPECT_EQ(r->cells[2][3], kRasterFree);
  EXPECT_EQ(gridRasterNew(nullptr, 3, 4, 1, 1), nullptr);
  EXPECT_EQ(gridRasterNew(&t.net, -1, 4, 1, 1), nullptr);
}

TEST(GridRaster, ClassifyAtTheLevelTolerance) {
  TestNet t(1, 4, 2.0f);
  t.v[0][3] = 0;
  t.h[0][0] = 0.5f;
  // z chosen so that z + 0.00001 is exactly the height 2.0: that node is still free.
  double z = 2.0 - 0.00001;
  while (z + 0.00001 < 2.0) z = std::nextafter(z, 3.0);
  while (z + 0.00001 > 2.0) z = std::nextafter(z, 0.0);
  ASSERT_EQ(z + 0.00001, 2.0);
  RasterPtr r = newRaster(t);
  EXPECT_EQ(gridRasterClassify(&t.net, nullptr, z, r.get()), 0);
  EXPECT_EQ(r->cells[0][0], kRasterFree);
  EXPECT_EQ(r->cells[0][1], kRasterFree);
  EXPECT_EQ(r->cells[0][3], kRasterOutside);
  EXPECT_EQ(r->freeCount, 3);
  // The smallest step down blocks the nodes of height 2.
  EXPECT_EQ(gridRasterClassify(&t.net, nullptr, std::nextafter(z, 0.0), r.get()), 0);
  EXPECT_EQ(r->cells[0][1], kRasterBlocked);
  EXPECT_EQ(r->freeCount, 1);
  // No free node at all.
  EXPECT_EQ(gridRasterClassify(&t.net, nullptr, 0.0, r.get()), -1);
  EXPECT_EQ(r->freeCount, 0);
}

TEST(GridRaster, ClassifyKeepsOnlySeededAreas) {
  // Two free areas separated by a blocked column; one seed in the left area.
  TestNet t(4, 7, 0.0f);
  for (int i = 0; i < 4; ++i) t.h[i][3] = 5.0f;
  RasterPtr r = newRaster(t);
  CellList* seeds = gridCellListNew(0);
  ASSERT_EQ(gridCellListAdd(seeds, r.get(), 1, 1, 0.0), 0);
  EXPECT_EQ(seeds->items[0].x, 10.0 + 1 * 0.25);
  EXPECT_EQ(seeds->items[0].y, 20.0 + 1 * 0.5);
  EXPECT_EQ(seeds->items[0].flag, 1);
  EXPECT_EQ(gridRasterClassify(&t.net, seeds, 1.0, r.get()), 0);
  EXPECT_EQ(r->freeCount, 12);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 7; ++j) EXPECT_EQ(r->cells[i][j], j < 3 ? 0 : -1) << i << "," << j;
  // A seed on a wall only: nothing stays free.
  seeds->count = 0;
  ASSERT_EQ(gridCellListAdd(seeds, r.get(), 0, 3, 0.0), 0);
  EXPECT_EQ(gridRasterClassify(&t.net, seeds, 1.0, r.get()), -1);
  // Seeds outside the raster are refused; sizes that differ are refused.
  EXPECT_EQ(gridCellListAdd(seeds, r.get(), 4, 0, 0.0), -20);
  EXPECT_EQ(gridCellListAdd(seeds, r.get(), 0, -1, 0.0), -20);
  TestNet other(4, 6, 0.0f);
  EXPECT_EQ(gridRasterClassify(&other.net, seeds, 1.0, r.get()), -20);
  gridCellListFree(seeds);
}

TEST(GridRaster, SeedFillMatchesBreadthFirstSearch) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 40; ++trial) {
    const int rows = 5 + static_cast<int>(rng() % 20), cols = 5 + static_cast<int>(rng() % 20);
    TestNet t(rows, cols, 0.0f);
    RasterPtr r = newRaster(t);
    std::vector<int> base(rows * cols);
    for (int i = 0; i < rows; ++i)
      for (int j = 0; j < cols; ++j) {
        const unsigned u = rng() % 10;
        base[i * cols + j] = u < 1 ? -2 : (u < 5 ? -1 : 0);
        r->cells[i][j] = static_cast<std::int16_t>(base[i * cols + j]);
      }
    CellList* seeds = gridCellListNew(2);
    const int n = 1 + static_cast<int>(rng() % 8);
    for (int s = 0; s < n; ++s)
      ASSERT_EQ(gridCellListAdd(seeds, r.get(), rng() % rows, rng() % cols, 0.0), 0);
    // Oracle: each seed in order numbers the free area it lies in unless already numbered.
    std::vector<int> expect = base;
    for (int s = 0; s < n; ++s) {
      const RasterCell& c = seeds->items[s];
      if (expect[c.row * cols + c.col] != 0) continue;
      const auto area = bfsArea(expect, rows, cols, c.row, c.col);
      for (std::size_t k = 0; k < area.size(); ++k)
        if (area[k]) expect[k] = s + 1;
    }
    ASSERT_EQ(gridRasterSeedFill(seeds, r.get()), 0);
    for (int i = 0; i < rows; ++i)
      for (int j = 0; j < cols; ++j)
        ASSERT_EQ(r->cells[i][j], expect[i * cols + j]) << trial << ": " << i << "," << j;
    gridCellListFree(seeds);
  }
}

TEST(GridRaster, TwoSeedsInOneAreaKeepTheFirstNumber) {
  TestNet t(3, 3, 0.0f);
  RasterPtr r = newRaster(t);
  gridRasterClear(r.get());
  CellList* seeds = gridCellListNew(3);
  gridCellListAdd(seeds, r.get(), 0, 0, 0.0);
  gridCellListAdd(seeds, r.get(), 2, 2, 0.0);
  ASSERT_EQ(gridRasterSeedFill(seeds, r.get()), 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(r->cells[i][j], 1);
  gridCellListFree(seeds);
}

TEST(GridRaster, AllocationFailuresReportAndLeakNothing) {
  TestNet t(6, 6, 0.0f);
  for (int i = 0; i < 6; ++i) t.h[i][2] = 9.0f;
  for (long n = 1; n < 40; ++n) {
    memTestFailAt(n);
    Raster* r = gridRasterNew(&t.net, 6, 6, 1.0, 1.0);
    CellList* seeds = gridCellListNew(1);
    int result = 99;
    if (r != nullptr && seeds != nullptr) {
      for (int k = 0; k < 5 && result == 99; ++k)
        if (gridCellListAdd(seeds, r, k, 0, 0.0) != 0) result = -1;
      if (result == 99) result = gridRasterClassify(&t.net, seeds, 1.0, r);
    }
    memTestFailAt(0);
    if (r != nullptr && seeds != nullptr && result == 0) {
      EXPECT_EQ(r->freeCount, 12);
    } else if (r != nullptr && seeds != nullptr) {
      EXPECT_EQ(result, -1) << n;
    }
    gridCellListFree(seeds);
    gridRasterFree(r);
  }
}

TEST(GridFloodFill, ConnectsCornersAndStopsAtWalls) {
  IntPtr m = intFrom({{0, 5, 0, 0}, {5, 0, 5, 5}, {0, 5, 0, 5}, {5, 5, 5, 0}});
  ASSERT_EQ(gridFloodFill(m.get(), 0, 0, 7), 1);
  // (0,0) touches (1,1) at a corner, which touches (0,2), (2,0), (2,2); (2,2) reaches (3,3).
  const std::vector<std::vector<int>> want = {
      {7, 5, 7, 7}, {5, 7, 5, 5}, {7, 5, 7, 5}, {5, 5, 5, 7}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(at(m.get(), r, c), want[r][c]);
  // A non-zero seed changes nothing; a fill with 0 ends at once.
  EXPECT_EQ(gridFloodFill(m.get(), 0, 1, 9), 1);
  EXPECT_EQ(at(m.get(), 0, 1), 5);
  IntPtr z = intFrom({{0, 0}, {0, 0}});
  EXPECT_EQ(gridFloodFill(z.get(), 0, 0, 0), 1);
}

TEST(GridFloodFill, CoordinatesOutsideTheMatrixAreRefused) {
  IntPtr m = intFrom({{0, 0}, {0, 0}});
  IntPtr t = intFrom({{0, 0}, {0, 0}});
  IntPtr small = intFrom({{0}});
  EXPECT_EQ(gridFloodFill(m.get(), 2, 0, 1), -20);
  EXPECT_EQ(gridFloodFill(m.get(), 0, -1, 1), -20);
  EXPECT_EQ(gridRelabel(m.get(), -1, 0, 0, 1), -20);
  EXPECT_EQ(gridCopyRegion(m.get(), 0, 2, t.get()), -20);
  EXPECT_EQ(gridCopyRegion(m.get(), 0, 0, small.get()), -20);
  EXPECT_EQ(gridFloodFill(nullptr, 0, 0, 1), -20);
  for (int v : {m->cells[0], m->cells[1], m->cells[2], m->cells[3]}) EXPECT_EQ(v, 0);
}

TEST(GridFloodFill, RelabelMatchesBreadthFirstSearch) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 30; ++trial) {
    const int rows = 3 + static_cast<int>(rng() % 15), cols = 3 + static_cast<int>(rng() % 15);
    std::vector<int> cells(rows * cols);
    for (int& v : cells) v = static_cast<int>(rng() % 3);
    IntPtr m(gridIntNew(rows, cols));
    std::copy(cells.begin(), cells.end(), m->cells);
    const int r0 = static_cast<int>(rng() % rows), c0 = static_cast<int>(rng() % cols);
    const int from = cells[r0 * cols + c0];
    const auto area = bfsArea(cells, rows, cols, r0, c0);
    ASSERT_EQ(gridRelabel(m.get(), r0, c0, from, 9), 1);
    for (int k = 0; k < rows * cols; ++k) ASSERT_EQ(m->cells[k], area[k] ? 9 : cells[k]);
  }
}

// The region copy marked the area with 111 in the matrix: an area already labelled 111
// elsewhere (more than 110 areas) was copied along with it.
TEST(GridCopyRegion, LabelOneHundredElevenElsewhereIsNotCopied) {
  IntPtr m = intFrom({{4, 4, 0, 111}, {0, 4, 0, 111}, {0, 0, 0, 0}, {111, 0, 4, 4}});
  IntPtr target(gridIntNew(4, 4));
  ASSERT_EQ(gridCopyRegion(m.get(), 0, 0, target.get()), 1);
  const std::vector<std::vector<int>> want = {
      {4, 4, 0, 0}, {0, 4, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(at(target.get(), r, c), want[r][c]) << r << "," << c;
  EXPECT_EQ(at(m.get(), 0, 0), 4);
  EXPECT_EQ(at(m.get(), 0, 3), 111);
  // Copying the area labelled 111 itself copies that area only.
  IntPtr t2(gridIntNew(4, 4));
  ASSERT_EQ(gridCopyRegion(m.get(), 0, 3, t2.get()), 1);
  EXPECT_EQ(at(t2.get(), 1, 3), 111);
  EXPECT_EQ(at(t2.get(), 3, 0), 0);
}

TEST(GridDilate, SingleCellGrowsToThreeByThreeOnce) {
  IntPtr m(gridIntNew(5, 5));
  m->cells[2 * 5 + 2] = 1;
  ASSERT_EQ(gridDilate(m.get()), 1);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c)
      EXPECT_EQ(at(m.get(), r, c), (r >= 1 && r <= 3 && c >= 1 && c <= 3) ? 1 : 0);
}

// The growth marked new cells with 111 and then turned every 111 into 1: a cell labelled 111
// by its owner became 1.
TEST(GridDilate, KeepsOtherLabelsIncludingOneHundredEleven) {
  IntPtr m = intFrom({{1, 0, 0, 111}, {0, 0, 2, 0}});
  ASSERT_EQ(gridDilate(m.get()), 1);
  const std::vector<std::vector<int>> want = {{1, 1, 0, 111}, {1, 1, 2, 0}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(at(m.get(), r, c), want[r][c]) << r << "," << c;
}

TEST(GridFindNonZero, SeedCellOrFirstInRowMajorOrder) {
  IntPtr m = intFrom({{0, 0, 0}, {0, 0, 3}, {2, 0, 0}});
  int r = -1, c = -1;
  EXPECT_EQ(gridFindNonZero(m.get(), 2, 0, &r, &c), 1);
  EXPECT_EQ(r * 10 + c, 20);
  EXPECT_EQ(gridFindNonZero(m.get(), 0, 0, &r, &c), 1);
  EXPECT_EQ(r * 10 + c, 12);
  EXPECT_EQ(gridFindNonZero(m.get(), -4, 99, &r, &c), 1);
  EXPECT_EQ(r * 10 + c, 12);
  IntPtr zero(gridIntNew(2, 2));
  EXPECT_EQ(gridFindNonZero(zero.get(), 0, 0, &r, &c), 0);
}

TEST(GridHasNeighbour, CellItselfDoesNotCount) {
  IntPtr m = intFrom({{5, 0, 0}, {0, 0, 0}, {0, 0, 5}});
  EXPECT_EQ(gridHasNeighbour(m.get(), 0, 5, 0), 0);
  EXPECT_EQ(gridHasNeighbour(m.get(), 1, 5, 1), 1);
  EXPECT_EQ(gridHasNeighbour(m.get(), 0, 5, 2), 0);
  EXPECT_EQ(gridHasNeighbour(m.get(), 2, 5, 1), 1);
}

// The answer is 1 or 0 only: a bad argument answered -20 before, which a caller testing for
// non-zero took for "found".
TEST(GridHasNeighbour, OutsideCellsAndNoMatrixAnswerOneOrZero) {
  IntPtr m = intFrom({{5, 0}, {0, 0}});
  EXPECT_EQ(gridHasNeighbour(m.get(), -1, 5, -1), 1);  // (0, 0) is its neighbour
  EXPECT_EQ(gridHasNeighbour(m.get(), 5, 5, 5), 0);
  EXPECT_EQ(gridHasNeighbour(nullptr, 0, 5, 0), 0);
}

TEST(GridStack, GrowsAndPopsInReverse) {
  RecList* s = gridStackNew(0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->capacity, 2);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(gridStackPush(s, i), 1);
  int v = -1;
  for (int i = 99; i >= 0; --i) {
    ASSERT_EQ(gridStackPop(s, &v), 1);
    EXPECT_EQ(v, i);
  }
  EXPECT_EQ(gridStackPop(s, &v), 0);
  EXPECT_EQ(gridStackPush(nullptr, 1), 0);
  lstRecFree(s);
}

TEST(GridByteMatrix, FilledWithOneHundredTwentySeven) {
  ByteMatrix* b = gridByteNew(4);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->fill, 127);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(b->cells[i], 127);
  gridByteFree(b);
  EXPECT_EQ(gridByteNew(0), nullptr);
  EXPECT_EQ(gridByteNew(-3), nullptr);
}

// A byte matrix whose cell block could not be allocated came back as a matrix without cells.
TEST(GridByteMatrix, FailedCellBlockFailsTheCreation) {
  memTestFailAt(2);
  ByteMatrix* b = gridByteNew(8);
  memTestFailAt(0);
  EXPECT_EQ(b, nullptr);
}

TEST(GridFloodFill, LargeAreaNeedsNoRecursion) {
  IntPtr m(gridIntNew(600, 600));
  ASSERT_EQ(gridFloodFill(m.get(), 300, 300, 3), 1);
  EXPECT_EQ(at(m.get(), 0, 0), 3);
  EXPECT_EQ(at(m.get(), 599, 599), 3);
}

TEST(GridFloodFill, StackFailureReportsMinusOne) {
  IntPtr m(gridIntNew(40, 40));
  int failures = 0;
  for (long n = 1; n < 10; ++n) {
    std::fill(m->cells, m->cells + 1600, 0);
    memTestFailAt(n);
    const int r = gridFloodFill(m.get(), 0, 0, 2);
    memTestFailAt(0);
    ASSERT_TRUE(r == 1 || r == -1);
    failures += r == -1;
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
