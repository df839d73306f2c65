// The stock model's depth query on a stock the test builds: a block of two heights with a notch,
// over a grid with an origin off zero. The depth at a lattice of points is checked against the
// block's known heights; the walk's clamp above the top, the status words, the release and free
// states, the model owning its grid, allocation failures, and the approach check on that stock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "cycles/machining_params.h"
#include "cycles/run_reset.h"
#include "cycles/stock_model.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"

namespace {

// The block: cells of 2 from (10, 20), 8 columns and 6 rows, quantum 0.5, grid origin z -5. The
// stock stands from the floor z -4 up to z 1 over columns 0-3 and to z 5 over columns 4-7, except
// the notch of row 5, columns 4-7, where there is none. Column 7 is a partial column: its cells
// tell the walk a kind of 2, which counts only with a resolution set.
constexpr double kX0 = 10, kY0 = 20, kZ0 = -5, kCell = 2, kQuantum = 0.5;
constexpr int kColumns = 8, kRows = 6;
constexpr double kFloor = -4;
double blockTop(int col) { return col < 4 ? 1.0 : 5.0; }
bool inNotch(int col, int row) { return row == 5 && col >= 4; }

// The callbacks read the query's arrays: record 0 the top counts, record 1 the floor counts, and
// the first and last column with stock per row.
int blockLocate(double x, double y, double z, int words[3]) {
  const StockQueryArray* top = stockQueryArrays(0);
  const StockQueryArray* floor = stockQueryArrays(1);
  const int col = static_cast<int>(std::floor(x / kCell));
  const int row = static_cast<int>(std::floor(y / kCell));
  if (row < 0 || row >= top->rows || col < top->rowFirst[row] || col > top->rowLast[row]) return 1;
  words[0] = col;
  words[1] = row;
  words[2] = z < floor->row[row][col] * kQuantum ? 0 : (col == 7 ? 2 : 4);
  return 0;
}
int blockEvaluate(const int words[3], int preset) {
  return preset - stockQueryArrays(0)->row[words[1]][words[0]];
}

// Builds the block's grid and query; the grid is the caller's.
StockGrid* buildBlock(double lift = 0) {
  StockGrid* g = stockNewRecord(kX0, kY0, kZ0, kCell, kQuantum, kColumns, kRows);
  if (g == nullptr) return nullptr;
  const StockQuerySetup setup{kRows, kColumns, kQuantum, 10.0, lift, blockLocate, blockEvaluate};
  if (stockQueryBuild(&setup) != 0) {
    stockFreeRecord(g);
    return nullptr;
  }
  StockQueryArray* top = stockQueryArrays(0);
  StockQueryArray* floor = stockQueryArrays(1);
  for (int r = 0; r < kRows; ++r) {
    top->rowFirst[r] = 0;
    top->rowLast[r] = r == 5 ? 3 : kColumns - 1;
    for (int c = 0; c < kColumns; ++c) {
      g->heights[r][c] = static_cast<std::uint16_t>((blockTop(c) - kZ0) / kQuantum);
      top->row[r][c] = g->heights[r][c];
      floor->row[r][c] = static_cast<std::int32_t>((kFloor - kZ0) / kQuantum);
    }
  }
  return g;
}

class StockQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cyc3dResetRunState(nullptr);
    csysResetState();
    memResetState();
  }
  void TearDown() override {
    memResetState();
    cyc3dResetRunState(nullptr);
    csysResetState();
  }
};

}  // namespace

// Over a lattice of points in and around the block (cell middles and cell quarters, heights on
// the quanta from below the floor to above the top), the depth is the block's known top less the
// point's height, wherever the point lies in the stock, and nothing elsewhere. The point is first
// lowered by the registered corner radius (1) and raised by two quanta: they cancel here. The
// partial column counts only with a resolution.
TEST_F(StockQueryTest, DepthOverALatticeAgainstTheBlock) {
  StockGrid* g = buildBlock();
  ASSERT_NE(g, nullptr);
  stockRegisterQuery(g, 1.0, 1);
  ASSERT_EQ(stockAvailable(), 1);
  for (double resolution : {0.0, 0.5}) {
    parGlobalBlock()->resolution = resolution;
    int inside = 0;
    for (double x = kX0 - 3.5; x < kX0 + kColumns * kCell + 3; x += 0.5) {
      for (double y = kY0 - 2.5; y < kY0 + kRows * kCell + 2; y += 1.5) {
        for (double z = -6; z <= 8; z += kQuantum) {
          const int col = static_cast<int>(std::floor((x - kX0) / kCell));
          const int row = static_cast<int>(std::floor((y - kY0) / kCell));
          const bool over = col >= 0 && col < kColumns && row >= 0 && row < kRows &&
                            !inNotch(col, row) && (col != 7 || resolution > 0);
          const bool expect = over && z >= kFloor && z <= blockTop(col);
          double d = -1;
          const int got = stockPlungeDepth({x, y, z}, &d);
          ASSERT_EQ(got, expect ? 1 : 0) << x << " " << y << " " << z << " res " << resolution;
          EXPECT_EQ(d, expect ? blockTop(col) - z : 0.0) << x << " " << y << " " << z;
          inside += got;
        }
      }
    }
    EXPECT_GT(inside, 100);
  }
  stockRegisterQuery(nullptr, 0, 0);
  EXPECT_EQ(stockAvailable(), 0);
  stockReleaseQuery();
  stockFreeRecord(g);
}

// The walk relative to the grid: below the top the value is the height over the stock surface
// (negative in material); above the query's top the callbacks see the top and the value keeps
// the rest of the height. The status words are the last query's, and a point that is not found
// leaves none of the last point's words behind (an outside point read as inside otherwise). The
// query's lift raises every point.
TEST_F(StockQueryTest, WalkClampStatusAndLift) {
  StockGrid* g = buildBlock();
  ASSERT_NE(g, nullptr);
  // Column 1 (stock top 6 above the origin), row 2.
  EXPECT_DOUBLE_EQ(stockQueryWalk(3, 5, 4), -2.0);
  int w[3] = {-1, -1, -1};
  stockQueryStatus(&w[0], &w[1], &w[2]);
  EXPECT_EQ(w[0], 1);
  EXPECT_EQ(w[1], 2);
  EXPECT_EQ(w[2], 4);
  EXPECT_DOUBLE_EQ(stockQueryWalk(3, 5, 14), 8.0);  // above the top 10: 4 at the top, then 4 more
  EXPECT_DOUBLE_EQ(stockQueryWalk(-3, 5, 4), 4.0);  // beside the grid: z unchanged
  stockQueryStatus(&w[0], &w[1], &w[2]);
  EXPECT_EQ(w[0], 0);
  EXPECT_EQ(w[1], 0);
  EXPECT_EQ(w[2], 0);
  stockQueryStatus(nullptr, nullptr, nullptr);

  StockQueryResult r{};
  EXPECT_EQ(stockQueryDepth(g, &r, kX0 + 3, kY0 + 5, kZ0 + 4), 0);
  EXPECT_DOUBLE_EQ(r.value, -2.0);
  EXPECT_EQ(r.status[2], 4);
  EXPECT_EQ(stockQueryDepth(nullptr, &r, 0, 0, 0), -1);
  EXPECT_EQ(stockQueryDepth(g, nullptr, 0, 0, 0), -1);
  stockReleaseQuery();
  stockFreeRecord(g);

  g = buildBlock(kQuantum);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(stockQueryDepth(g, &r, kX0 + 3, kY0 + 5, kZ0 + 4), 0);
  EXPECT_DOUBLE_EQ(r.value, -1.5);
  stockReleaseQuery();
  stockFreeRecord(g);
}

// The query's states: release and free in every order, each with its result; a grid with heights
// frees a released query with itself, an unreleased one stays; a registered grid is let go when
// it is freed. Without a query every point is outside.
TEST_F(StockQueryTest, ReleaseAndFreeStates) {
  EXPECT_EQ(stockQueryState(), 0);
  EXPECT_EQ(stockReleaseQuery(), -1);
  EXPECT_EQ(stockFreeQuery(), -1);
  EXPECT_EQ(stockFreeRecord(nullptr), 0);
  EXPECT_DOUBLE_EQ(stockQueryWalk(3, 5, 4), 4.0);  // the do-nothing handler: outside

  StockGrid* g = buildBlock();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(stockQueryState(), 1);
  EXPECT_EQ(stockFreeQuery(), -1);  // not released: kept
  EXPECT_NE(stockQueryArrays(0), nullptr);
  EXPECT_EQ(stockReleaseQuery(), 0);
  EXPECT_EQ(stockQueryState(), 2);
  EXPECT_EQ(stockReleaseQuery(), 0);
  EXPECT_EQ(stockFreeQuery(), 0);
  EXPECT_EQ(stockQueryState(), 0);
  EXPECT_EQ(stockQueryArrays(0), nullptr);
  EXPECT_EQ(stockQueryArrays(1), nullptr);
  EXPECT_EQ(stockQueryArrays(2), nullptr);
  EXPECT_EQ(stockFreeQuery(), -1);
  EXPECT_EQ(stockReleaseQuery(), -1);
  EXPECT_EQ(stockFreeRecord(g), 0);

  // Freeing the grid frees a released query with it, not a built one.
  g = buildBlock();
  ASSERT_NE(g, nullptr);
  stockRegisterQuery(g, 0, 1);
  EXPECT_EQ(stockFreeRecord(g), 0);
  EXPECT_EQ(stockAvailable(), 0) << "a freed grid must not stay registered";
  EXPECT_EQ(stockQueryState(), 1);
  g = buildBlock();  // builds over the earlier query's arrays
  ASSERT_NE(g, nullptr);
  stockReleaseQuery();
  EXPECT_EQ(stockFreeRecord(g), 0);
  EXPECT_EQ(stockQueryState(), 0);

  // A bad set-up changes nothing.
  const StockQuerySetup bad[] = {{0, 4, 0.5, 1, 0, nullptr, nullptr},
                                 {4, 0, 0.5, 1, 0, nullptr, nullptr},
                                 {1 << 14, 1 << 14, 0.5, 1, 0, nullptr, nullptr},
                                 {4, 4, 0, 1, 0, nullptr, nullptr},
                                 {4, 4, 0.5, NAN, 0, nullptr, nullptr}};
  for (const StockQuerySetup& s : bad) EXPECT_EQ(stockQueryBuild(&s), -1);
  EXPECT_EQ(stockQueryBuild(nullptr), -1);
  EXPECT_EQ(stockQueryState(), 0);
  EXPECT_EQ(stockNewRecord(0, 0, 0, 0, 0.5, 4, 4), nullptr);
  EXPECT_EQ(stockNewRecord(0, 0, 0, 1, -1, 4, 4), nullptr);
  EXPECT_EQ(stockNewRecord(0, 0, 0, 1, 0.5, 0, 4), nullptr);
  EXPECT_EQ(stockNewRecord(0, 0, 0, 1, 0.5, 1 << 14, 1 << 14), nullptr);
}

// The model owns the grid it is handed: the grid is registered under the model's corner radius,
// and freeing the model releases the query, frees grid and arrays and leaves no stock. A model
// that is not active takes no grid.
TEST_F(StockQueryTest, ModelOwnsItsGrid) {
  StockGrid* g = buildBlock();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(stockModelSetGrid(g), 0);
  stockModelInit(1, 3, 10, 1.0, "", ".", 0, 0, 0);  // torus of corner radius 1, no boundary
  ASSERT_EQ(stockModelView().active, 1);
  ASSERT_EQ(stockModelSetGrid(g), 1);
  EXPECT_EQ(stockModelView().grid, g);
  EXPECT_EQ(stockAvailable(), 1);
  parGlobalBlock()->resolution = 0.5;
  double d = 0;
  // Under the frame of the set-up (the identity), lowered by the corner radius 1.
  EXPECT_EQ(stockPlungeDepth({kX0 + 1, kY0 + 1, 0}, &d), 1);
  EXPECT_DOUBLE_EQ(d, 1.0);
  EXPECT_EQ(stockModelFree(), 1);
  EXPECT_EQ(stockAvailable(), 0);
  EXPECT_EQ(stockModelView().grid, nullptr);
  EXPECT_EQ(stockQueryState(), 0);
  EXPECT_EQ(stockQueryArrays(0), nullptr);
  // A second grid replaces the first; the run-start reset frees what is left.
  stockModelInit(1, 2, 10, 0, "", ".", 0, 0, 0);
  ASSERT_EQ(stockModelSetGrid(buildBlock()), 1);
  ASSERT_EQ(stockModelSetGrid(buildBlock()), 1);
  cyc3dResetRunState(nullptr);
  EXPECT_EQ(stockAvailable(), 0);
  EXPECT_EQ(stockQueryArrays(0), nullptr);
}

// Every allocation of a grid and of a query failing in turn: null or -1, no query left behind,
// and nothing leaked (the sanitizer build's leak check).
TEST_F(StockQueryTest, AllocationFailures) {
  for (long n = 1; n <= 16; ++n) {
    memTestFailAt(n);
    StockGrid* g = stockNewRecord(0, 0, 0, 1, 0.5, 4, 3);
    memTestFailAt(0);
    if (g != nullptr) stockFreeRecord(g);
    EXPECT_EQ(g == nullptr, n <= 3) << n;
    const StockQuerySetup s{3, 4, 0.5, 1, 0, nullptr, nullptr};
    memTestFailAt(n);
    const int built = stockQueryBuild(&s);
    memTestFailAt(0);
    EXPECT_EQ(built, n <= 14 ? -1 : 0) << n;  // two records of 4 blocks and 3 rows
    EXPECT_EQ(stockQueryState(), built == 0 ? 1 : 0) << n;
    stockReleaseQuery();
    stockFreeQuery();
  }
}

// No grid: no stock, the approach check returns 0 and leaves the approach as it was. On the block
// an approach whose point is in material becomes a plunge of the material's depth; a plunge
// that "*NO_PLUNGE" forbids gives -2.
TEST_F(StockQueryTest, ApproachCheckOnTheBlock) {
  ApproachParams a;
  a.approachKind = 7;
  const ApproachParams before = a;
  const Point3D s{kX0 + 3, kY0 + 3, -1}, n{kX0 + 5, kY0 + 3, -1};
  EXPECT_EQ(stockAvailable(), 0);
  EXPECT_EQ(stockPlungeMacroHook(&s, &n, nullptr, nullptr, &a), 0);
  EXPECT_EQ(std::memcmp(&a, &before, sizeof a), 0);

  unitFactor = 1.0;
  StockGrid* g = buildBlock();
  ASSERT_NE(g, nullptr);
  stockRegisterQuery(g, 0.0, 1);
  // Lowered by no corner radius and raised by two quanta, the start lies 1 below the top 1.
  GlobalParams& gp = *parGlobalBlock();
  std::snprintf(gp.stock3df, sizeof gp.stock3df, "%s", "stock.stl");
  a = before;
  a.approachKind = 8;
  a.plungeMode = 3;
  EXPECT_EQ(stockPlungeMacroHook(&s, &n, nullptr, nullptr, &a), 1);
  EXPECT_EQ(a.approachKind, 8);
  EXPECT_DOUBLE_EQ(a.plungeHeight, 1.0);
  a = before;
  a.approachKind = 13;
  a.plungeMode = 2;
  gp.noPlunge = 1;
  EXPECT_EQ(stockPlungeMacroHook(&s, &n, nullptr, nullptr, &a), -2);
  EXPECT_EQ(a.approachKind, 6);
  gp.noPlunge = 0;
  stockRegisterQuery(nullptr, 0, 0);
  stockReleaseQuery();
  stockFreeRecord(g);
}
