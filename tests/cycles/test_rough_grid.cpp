// The drop grid of a roughing region: its geometry for a table of regions and cell sizes, plane
// levels from grid heights (merging, slope nodes, nodes near the contour), the plunge point and
// the plunge cell order against brute-force choices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "cycles/rough_grid.h"
#include "cycles/run_reset.h"
#include "framework/global_params.h"
#include "geometry/kont_region.h"
#include "zlevel/drop_net.h"

namespace {

class RoughGrid : public ::testing::Test {
 protected:
  void SetUp() override { cyc3dResetRunState(nullptr); }
  void TearDown() override { cyc3dResetRunState(nullptr); }
  GlobalParams& g() { return *parGlobalBlock(); }
};

Kont2D* rect(double x0, double y0, double x1, double y1) {
  Kont2D* k = kontNewRect(Point2D{x0, y0}, Point2D{x1, y1});
  k->closed = 1;
  return k;
}

struct NetCase {
  const char* name;
  double width, height, radius, allowance, factor;
  double colStep, rowStep;
  int cols, rows;
};

// Expected values worked out by hand from the region's box: w = width - 0.05, steps w / ceil(w/d).
const NetCase kNetCases[] = {
    {"100 wide, d 10", 100, 100, 10, 0, 0, 9.995, 9.995, 13, 13},
    {"factor halves d", 100, 50, 10, 0, 0.5, 99.95 / 20, 49.95 / 10, 23, 13},
    {"allowance shrinks d", 40, 40, 10, 2, 0, 39.95 / 5, 39.95 / 5, 8, 8},
    // Narrower than the 0.05 margin: no cell inside, the step is d and the grid three nodes wide.
    {"narrower than the margin", 0.03, 100, 10, 0, 0, 10, 9.995, 3, 13},
};

TEST_F(RoughGrid, GeometryTable) {
  for (const NetCase& c : kNetCases) {
    g().frradius = c.radius;
    g().aufmassHori = c.allowance;
    g().gridFactor = c.factor;
    g().zustellOk = 0;
    Kont2D* k = rect(-7, 3, -7 + c.width, 3 + c.height);
    double x0 = 0, y0 = 0, cs = 0, rs = 0;
    int rows = 0, cols = 0;
    ASSERT_EQ(roughNetParams(g(), k, &x0, &y0, &rows, &cols, &cs, &rs), 1) << c.name;
    EXPECT_NEAR(cs, c.colStep, 1e-12) << c.name;
    EXPECT_NEAR(rs, c.rowStep, 1e-12) << c.name;
    EXPECT_EQ(cols, c.cols) << c.name;
    EXPECT_EQ(rows, c.rows) << c.name;
    EXPECT_NEAR(x0, -7 + 0.025 - cs, 1e-12) << c.name;
    EXPECT_NEAR(y0, 3 + 0.025 - rs, 1e-12) << c.name;
    // The last node lies one step beyond the box, the node before it 0.025 inside the far edge
    // (for a side wider than the margin).
    if (c.width > 0.05) {
      EXPECT_NEAR(x0 + (cols - 2) * cs, -7 + c.width - 0.025, 1e-9) << c.name;
    }
    kontFree(k);
  }
}

// A cell size of about zero gave a division by zero (NaN steps); it is refused.
TEST_F(RoughGrid, CellSizeOfZeroIsRefused) {
  g().frradius = 3;
  g().aufmassHori = 3 - 1e-7;
  g().gridFactor = 0;
  Kont2D* k = rect(0, 0, 10, 10);
  double x0 = 1, y0 = 1, cs = 1, rs = 1;
  int rows = 1, cols = 1;
  EXPECT_EQ(roughNetParams(g(), k, &x0, &y0, &rows, &cols, &cs, &rs), kRoughStopGrid);
  EXPECT_EQ(cs, 1);
  EXPECT_EQ(cols, 1);
  kontFree(k);
}

// A region billions of cells wide (a model of scattered facets) made a column count beyond the
// range of an int; the grid is refused, with the outputs untouched, in both grid modes.
TEST_F(RoughGrid, RegionTooLargeForItsCellsIsRefused) {
  g().frradius = 3;
  g().gridFactor = 0;
  for (const int adjust : {0, 1}) {
    g().adjustGrid = adjust;
    g().zustellOk = adjust;
    for (const double far : {8e9, 1e300}) {
      Kont2D* k = rect(0, 0, far, 10);
      double x0 = 1, y0 = 1, cs = 1, rs = 1;
      int rows = 1, cols = 1;
      EXPECT_EQ(roughNetParams(g(), k, &x0, &y0, &rows, &cols, &cs, &rs), kRoughStopGrid) << far;
      EXPECT_EQ(cols, 1);
      EXPECT_EQ(cs, 1);
      kontFree(k);
    }
  }
}

TEST_F(RoughGrid, AlignedToTheStartPoint) {
  g().frradius = 10;
  g().gridFactor = 0;
  g().adjustGrid = 1;
  g().zustellOk = 1;
  g().zustellPtTcs[0] = 33.3;
  g().zustellPtTcs[1] = 12.0;
  Kont2D* k = rect(0, 0, 100, 50);
  double x0 = 0, y0 = 0, cs = 0, rs = 0;
  int rows = 0, cols = 0;
  ASSERT_EQ(roughNetParams(g(), k, &x0, &y0, &rows, &cols, &cs, &rs), 1);
  EXPECT_EQ(cs, 10);
  EXPECT_EQ(rs, 10);
  EXPECT_EQ(cols, 13);
  EXPECT_EQ(rows, 8);
  // Some node column lies 0.025 from the start point's x: the grid is aligned to it.
  const double k0 = (33.3 + 0.025 - x0) / cs;
  EXPECT_NEAR(k0, std::round(k0), 1e-9);
  EXPECT_LT(x0, 0.0);
  EXPECT_GT(x0, -10.0);
  EXPECT_NEAR(y0, 12.0 - 10.0 + 0.025 - 10.0, 1e-9);
  kontFree(k);
}

FloatDropNet* flatNet(int rows, int cols, float h) {
  FloatDropNet* n = fDropNetNew(0, 0, rows, cols, 1, 1);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      n->height[r][c] = h;
      n->valid[r][c] = 1;
    }
  return n;
}

TEST_F(RoughGrid, LevelsFromGridHeights) {
  g().minStepdown = 0.01;
  g().precision = 0.01;
  // Two floors 0.005 apart make one level; a third 1 lower another.
  FloatDropNet* n = flatNet(4, 4, 5.0f);
  n->height[2][2] = 5.005f;
  n->height[3][3] = 4.0f;
  ZLevelList* list = zlevNew(10, 100, -100);
  ASSERT_EQ(roughLevelsFromNet2(list, n, 2.0), 1);
  ASSERT_EQ(list->count, 2);
  EXPECT_NEAR(list->z[0], 7.005, 0.002);
  EXPECT_NEAR(list->z[1], 6.0, 0.002);
  EXPECT_EQ(list->flag[0], kZlevPlane);
  zlevFree(list);

  // Slope nodes only: no level. Invalid nodes count for nothing either.
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) n->slope[r][c] = 1;
  n->valid[0][0] = 0;
  n->slope[0][0] = 0;
  list = zlevNew(10, 100, -100);
  ASSERT_EQ(roughLevelsFromNet2(list, n, 2.0), 1);
  EXPECT_EQ(list->count, 0);
  zlevFree(list);
  EXPECT_EQ(roughLevelsFromNet2(nullptr, n, 0), -1);
  fDropNetFree(n);
}

// Only nodes strictly inside the region and at least the distance from its contours count.
TEST_F(RoughGrid, LevelsFromNodesInsideOnly) {
  g().minStepdown = 0.01;
  FloatDropNet* n = flatNet(11, 11, 0.0f);  // nodes 0..10 in x and y
  for (int r = 0; r < 11; ++r)
    for (int c = 0; c < 11; ++c) n->height[r][c] = static_cast<float>(r * 11 + c);
  Kont2D* k = rect(0, 0, 10, 10);
  k->mesh = nullptr;
  ZLevelList* list = zlevNew(200, 1000, -1000);
  ASSERT_EQ(roughLevelsFromNetInside(list, n, k, 3.0, 0.0), 1);
  // Brute force: nodes whose distance to the square's sides is at least 3 + 1e-5: x, y in 4..6
  // (a node exactly 3 away does not count).
  std::vector<double> expected;
  for (int r = 0; r <= 10; ++r)
    for (int c = 0; c <= 10; ++c) {
      const double d = std::min({double(r), double(c), 10.0 - r, 10.0 - c});
      if (d >= 3 + 1e-5) expected.push_back(r * 11 + c);
    }
  ASSERT_EQ(list->count, static_cast<int>(expected.size()));
  std::sort(expected.rbegin(), expected.rend());
  for (int i = 0; i < list->count; ++i) EXPECT_NEAR(list->z[i], expected[i], 0.002) << i;
  zlevFree(list);
  kontFree(k);
  fDropNetFree(n);
}

// The plunge point of a start point outside the region: the nearest of the lowest nodes inside
// (within 0.1 of the lowest), by brute force over random grids.
TEST_F(RoughGrid, PlungePointEqualsBruteForce) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> height(0.0, 0.3);
  for (int trial = 0; trial < 40; ++trial) {
    FloatDropNet* n = fDropNetNew(-2.5, -2.5, 12, 14, 1.0, 1.0);
    for (int r = 0; r < 12; ++r)
      for (int c = 0; c < 14; ++c) {
        n->height[r][c] = static_cast<float>(height(rng));
        n->valid[r][c] = (rng() % 7) != 0;
      }
    Kont2D* k = rect(0, 0, 8.3, 6.7);
    const Point3D start{20.0 + trial % 5, -3.0 + trial % 9, 0};
    // Brute force: valid nodes inside, lowest height, candidates within 0.1, nearest first.
    double lowest = 1e9;
    for (int r = 0; r < 12; ++r)
      for (int c = 0; c < 14; ++c) {
        const double x = -2.5 + c, y = -2.5 + r;
        if (n->valid[r][c] && x > 0 && x < 8.3 && y > 0 && y < 6.7) {
          lowest = std::min(lowest, static_cast<double>(n->height[r][c]));
        }
      }
    double best = 1e9, bestH = 1e9;
    Point2D expected{};
    for (int r = 0; r < 12; ++r)
      for (int c = 0; c < 14; ++c) {
        const double x = -2.5 + c, y = -2.5 + r;
        if (!(n->valid[r][c] && x > 0 && x < 8.3 && y > 0 && y < 6.7)) continue;
        if (n->height[r][c] > lowest + 0.1) continue;
        // Equal distances: the lower node (the search runs through the nodes by height).
        const double d = std::hypot(x - start.x, y - start.y);
        const double h = n->height[r][c];
        if (d < best - 1e-12 || (std::fabs(d - best) <= 1e-12 && h < bestH)) {
          best = d;
          bestH = h;
          expected = Point2D{x, y};
        }
      }
    RasterCell cell{};
    Point2D p{};
    ASSERT_EQ(roughPlungePoints(n, &cell, &p, start, k), 0) << trial;
    EXPECT_NEAR(p.x, expected.x, 1e-12) << trial;
    EXPECT_NEAR(p.y, expected.y, 1e-12) << trial;
    // The point sits on a node inside, so the plunge cell is that node.
    EXPECT_NEAR(cell.x, expected.x, 1e-9) << trial;
    EXPECT_NEAR(cell.y, expected.y, 1e-9) << trial;
    EXPECT_EQ(cell.flag, 1);
    EXPECT_EQ(roughPlungeState().inside, 0);
    kontFree(k);
    fDropNetFree(n);
  }
}

TEST_F(RoughGrid, PlungePointInsideKeepsItAndTakesTheNearestNodeAround) {
  FloatDropNet* n = flatNet(10, 10, 1.0f);
  Kont2D* k = rect(0.5, 0.5, 8.5, 8.5);
  RasterCell cell{};
  Point2D p{};
  ASSERT_EQ(roughPlungePoints(n, &cell, &p, Point3D{3.8, 4.3, 0}, k), 1);
  EXPECT_EQ(p.x, 3.8);
  EXPECT_EQ(p.y, 4.3);
  EXPECT_EQ(cell.col, 4);
  EXPECT_EQ(cell.row, 4);
  // No valid node inside: -28.
  for (int r = 0; r < 10; ++r)
    for (int c = 0; c < 10; ++c) n->valid[r][c] = 0;
  EXPECT_EQ(roughPlungePoints(n, &cell, &p, Point3D{30, 30, 0}, k), kRoughNoNodeInside);
  kontFree(k);
  fDropNetFree(n);
}

// The cell order: nearest to the origin first, then a greedy nearest-neighbour chain, against
// a brute-force chain on random cells.
TEST_F(RoughGrid, CellOrderEqualsGreedyChain) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-50, 50);
  for (int trial = 0; trial < 20; ++trial) {
    const int n = 1 + trial % 13;
    CellList* list = gridCellListNew(16);
    ASSERT_GE(list->capacity, n);
    std::vector<RasterCell> cells;
    for (int i = 0; i < n; ++i) {
      RasterCell c{u(rng), u(rng), 0, i, 0, 1};
      cells.push_back(c);
      list->items[list->count++] = c;
    }
    std::vector<RasterCell> chain;
    std::vector<bool> used(cells.size(), false);
    for (int k = 0; k < n; ++k) {
      int best = -1;
      double bd = 1e300;
      for (int j = 0; j < n; ++j) {
        if (used[j]) continue;
        const double d = k == 0 ? cells[j].x * cells[j].x + cells[j].y * cells[j].y
                                : std::pow(cells[j].x - chain.back().x, 2) +
                                      std::pow(cells[j].y - chain.back().y, 2);
        if (d < bd) {
          bd = d;
          best = j;
        }
      }
      used[best] = true;
      chain.push_back(cells[best]);
    }
    EXPECT_EQ(roughSortCellsByDistance(list), 0);
    for (int k = 0; k < n; ++k) EXPECT_EQ(list->items[k].row, chain[k].row) << trial << " " << k;
    gridCellListFree(list);
  }
}

}  // namespace
