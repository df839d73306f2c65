// Tests of the stock grid's cell queries: ranges under boxes (clamping, boxes beside the grid,
// truncation toward zero), cell points, and the mapping through the NC frame unless the
// no-transform flag is set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/csys.h"
#include "geometry/stock_grid.h"

namespace {

class StockGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    csysResetState();
    hgridResetState();
    for (int r = 0; r < 4; ++r) rowPtrs[r] = cells + 6 * r;
    for (int i = 0; i < 24; ++i) cells[i] = static_cast<std::uint16_t>(i * 3);
  }
  void TearDown() override {
    csysResetState();
    hgridResetState();
  }
  std::uint16_t cells[24];
  std::uint16_t* rowPtrs[4];
  // 6 columns, 4 rows of cell 0.5 from (1, 2), z0 -1, z step 0.25.
  StockGrid grid{1.0, 2.0, -1.0, 0.5, 0.25, 6, 4, rowPtrs};
};

}  // namespace

TEST_F(StockGridTest, CellRanges) {
  struct Case {
    Point2D lo, hi;
    int result;
    HeightGridRange want;
  };
  const Case cases[] = {
      {{1.0, 2.0}, {1.0, 2.0}, 1, {0, 0, 1, 1}},  // one past the cell of the upper corner
      {{1.3, 2.6}, {2.2, 2.9}, 1, {0, 1, 3, 2}},
      {{-5, -5}, {50, 50}, 1, {0, 0, 5, 3}},          // clamped
      {{0.8, 1.8}, {1.2, 2.1}, 1, {0, 0, 1, 1}},      // -0.4 truncates to 0
      {{-3.0, 2.0}, {0.2, 3.0}, 1, {0, 0, 0, 3}},     // left, but the extra column reaches 0
      {{-3.0, 2.0}, {-0.5, 3.0}, 0, {0, 0, -1, -1}},  // wholly left of the grid
      {{1.0, 9.0}, {2.0, 9.5}, 0, {0, 0, -1, -1}},    // wholly above
      {{1.0, 2.0}, {std::nan(""), 3.0}, 0, {0, 0, -1, -1}},
  };
  for (const Case& c : cases) {
    HeightGridRange r{7, 7, 7, 7};
    EXPECT_EQ(hgridCellRange(&grid, c.lo, c.hi, &r), c.result) << c.lo.x << " " << c.lo.y;
    EXPECT_EQ(r.col0, c.want.col0);
    EXPECT_EQ(r.row0, c.want.row0);
    EXPECT_EQ(r.col1, c.want.col1);
    EXPECT_EQ(r.row1, c.want.row1);
  }
  HeightGridRange r{};
  EXPECT_EQ(hgridCellRange(nullptr, {0, 0}, {1, 1}, &r), 0);
  EXPECT_EQ(hgridCellRange(&grid, {0, 0}, {1, 1}, nullptr), 0);
}

TEST_F(StockGridTest, CellPoints) {
  Point3D p{};
  ASSERT_EQ(hgridCellPoint(&grid, 5, 3, &p), 1);
  EXPECT_DOUBLE_EQ(p.x, 3.5);
  EXPECT_DOUBLE_EQ(p.y, 3.5);
  EXPECT_DOUBLE_EQ(p.z, -1.0 + 23 * 3 * 0.25);
  EXPECT_EQ(hgridCellPoint(&grid, 6, 0, &p), -1);
  EXPECT_EQ(hgridCellPoint(&grid, 0, -1, &p), -1);
  EXPECT_EQ(hgridCellPoint(&grid, 0, 0, nullptr), -1);
  StockGrid none = grid;
  none.heights = nullptr;
  EXPECT_EQ(hgridCellPoint(&none, 0, 0, &p), -1);
}

// With a tool system shifted against the frame, boxes and points pass through the mapping; with
// the no-transform flag they do not.
TEST_F(StockGridTest, FrameMappingAndNoTransform) {
  const Point3D origin{10, 20, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  csysSetTool(origin, x, y, z);
  ASSERT_EQ(csysPrepare(), 1);
  Point3D probe{1.0, 2.0, 0.0};
  csysToolToFrame(&probe);
  const double dx = probe.x - 1.0, dy = probe.y - 2.0;
  ASSERT_GT(std::hypot(dx, dy), 1.0) << "the fixture must shift the systems";
  HeightGridRange r{};
  EXPECT_EQ(hgridCellRange(&grid, {1.0 - dx, 2.0 - dy}, {1.0 - dx, 2.0 - dy}, &r), 1);
  EXPECT_EQ(r.col0, 0);
  EXPECT_EQ(r.row0, 0);
  Point3D p{};
  ASSERT_EQ(hgridCellPoint(&grid, 0, 0, &p), 1);
  EXPECT_NEAR(p.x, 1.0 - dx, 1e-9);
  EXPECT_NEAR(p.y, 2.0 - dy, 1e-9);
  hgridSetNoTransform(1);
  EXPECT_EQ(hgridNoTransform(), 1);
  ASSERT_EQ(hgridCellPoint(&grid, 0, 0, &p), 1);
  EXPECT_EQ(p.x, 1.0);
  EXPECT_EQ(hgridCellRange(&grid, {1.0 - dx, 2.0 - dy}, {1.0 - dx, 2.0 - dy}, &r), 0);
  EXPECT_EQ(hgridCellRange(&grid, {1.0, 2.0}, {1.0, 2.0}, &r), 1);
  EXPECT_EQ(r.col0, 0);
}
