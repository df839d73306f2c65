// Tests of the start candidates: storage and growth, the shuffle, the comparators, the raster
// builders on a table of rows, the covering tests, and the windowed removal against a scan of
// every candidate on random rasters and traced loops.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/lst_sort.h"
#include "geometry/raster.h"
#include "geometry/stel_list.h"
#include "geometry/zlevel_records.h"
#include "support/temp_dir.h"

namespace {

struct RasterDeleter {
  void operator()(Raster* r) const { gridRasterFree(r); }
};
using RasterPtr = std::unique_ptr<Raster, RasterDeleter>;
struct StelDeleter {
  void operator()(StelList* l) const { stelListFree(l); }
};
using StelPtr = std::unique_ptr<StelList, StelDeleter>;

// A raster of the given cells (row 0 first) at origin (x0, y0) with the given steps.
RasterPtr rasterOf(const std::vector<std::vector<int>>& cells, double x0 = 10, double y0 = 20,
                   double colStep = 1, double rowStep = 2) {
  FloatDropNet net{};
  net.x0 = x0;
  net.y0 = y0;
  const int rows = static_cast<int>(cells.size()), cols = static_cast<int>(cells[0].size());
  RasterPtr r(gridRasterNew(&net, rows, cols, rowStep, colStep));
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) r->cells[i][j] = static_cast<std::int16_t>(cells[i][j]);
  return r;
}

std::vector<Seg2D> segsOf(const StelList* l) { return {l->segments, l->segments + l->count}; }

bool sameSegs(const std::vector<Seg2D>& a, const std::vector<Seg2D>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].x1 != b[i].x1 || a[i].y1 != b[i].y1 || a[i].x2 != b[i].x2 || a[i].y2 != b[i].y2)
      return false;
  }
  return true;
}

class StelListTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    stelListResetState();
    geoResetState();
  }
  void TearDown() override { memTestFailAt(0); }
};

TEST_F(StelListTest, AppendGrowsByHalf) {
  StelPtr list(stelListNew(0));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->capacity, 3);
  EXPECT_EQ(list->sortState, kStelUnsorted);
  EXPECT_EQ(list->mode, kStelModeEdges);
  std::vector<int> capacities;
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(stelListAppend(list.get(), Seg2D{1.0 * i, 0, 0, 1}), 1);
    capacities.push_back(list->capacity);
  }
  EXPECT_EQ(capacities, (std::vector<int>{3, 3, 3, 4, 6, 6, 9}));
  EXPECT_EQ(list->segments[6].x1, 6.0);
  EXPECT_EQ(stelListAppend(nullptr, Seg2D{}), -1);
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    const int r = stelListAppend(list.get(), Seg2D{7, 0, 0, 1});
    if (r == 1) break;
    const int again = stelListAppend(list.get(), Seg2D{});  // fine once the failure has passed
    memTestFailAt(0);
    EXPECT_EQ(again, 1);
    break;
  }
  EXPECT_EQ(stelListFree(nullptr), 0);
}

TEST_F(StelListTest, FailedGrowthLeavesTheList) {
  StelPtr list(stelListNew(3));
  for (int i = 0; i < 3; ++i) stelListAppend(list.get(), Seg2D{1.0 * i, 0, 0, 1});
  memTestFailAt(1);
  EXPECT_EQ(stelListAppend(list.get(), Seg2D{9, 9, 9, 9}), -1);
  memTestFailAt(0);
  EXPECT_EQ(list->count, 3);
  EXPECT_EQ(list->capacity, 3);
  EXPECT_EQ(list->segments[2].x1, 2.0);
}

TEST_F(StelListTest, ShuffleFirst) {
  StelPtr one(stelListNew(3));
  stelListAppend(one.get(), Seg2D{1, 1, 1, 1});
  one->sortState = kStelSortedAxis;
  stelListShuffleFirst(one.get(), 5);
  EXPECT_EQ(one->sortState, kStelSortedAxis);  // nothing done
  stelListShuffleFirst(nullptr, 5);
  for (int seed = 1; seed < 30; ++seed) {
    StelPtr two(stelListNew(3));
    stelListAppend(two.get(), Seg2D{1, 0, 0, 0});
    stelListAppend(two.get(), Seg2D{2, 0, 0, 0});
    two->sortState = kStelSortedAxis;
    stelListShuffleFirst(two.get(), seed);
    EXPECT_EQ(two->segments[0].x1, 2.0) << seed;
    EXPECT_EQ(two->segments[1].x1, 1.0) << seed;
    EXPECT_EQ(two->sortState, kStelUnsorted);
  }
  StelPtr many(stelListNew(3));
  for (int i = 0; i < 10; ++i) stelListAppend(many.get(), Seg2D{1.0 * i, 0, 0, 0});
  stelListShuffleFirst(many.get(), 7);
  const int k = static_cast<int>(many->segments[0].x1);
  EXPECT_NE(k, 0);
  EXPECT_EQ(many->segments[k].x1, 0.0);  // exchanged with segment 0
}

TEST_F(StelListTest, Comparators) {
  const Seg2D v1{1, 5, 1, 6}, v2{2, 0, 2, 1}, h1{0, 3, 1, 3}, h2{5, 4, 6, 4};
  EXPECT_LT(stelCompareAxis(&v1, &h1), 0);  // vertical ones first
  EXPECT_GT(stelCompareAxis(&h1, &v2), 0);
  EXPECT_LT(stelCompareAxis(&v1, &v2), 0);  // by x1
  EXPECT_LT(stelCompareAxis(&h1, &h2), 0);  // by y1
  const Seg2D v1b{1, 9, 1, 8};
  EXPECT_EQ(stelCompareAxis(&v1, &v1b), 0);
  const Seg2D a{0, 0, 2, 2}, b{0, 0, 2, 1}, c{1, 0, 2, 2}, d{0, 0, 3, 2};
  EXPECT_LT(stelCompareByBox(&a, &b), 0);  // larger max y first
  EXPECT_LT(stelCompareByBox(&a, &c), 0);  // smaller min x first
  EXPECT_LT(stelCompareByBox(&d, &a), 0);  // larger max x first
  const Seg2D e{0, -1, 9, 9};
  EXPECT_LT(stelCompareByBox(&e, &a), 0);  // smaller min y first
  const Seg2D a2{2, 2, 0, 0};
  EXPECT_EQ(stelCompareByBox(&a, &a2), 0);
}

struct RowCase {
  const char* name;
  std::vector<int> row;
  std::vector<Seg2D> runs;  // in node indices along the row (y not used)
  std::vector<Seg2D> edges;
};
// Test names and failure lines show the case by its name.
void PrintTo(const RowCase& c, std::ostream* os) { *os << c.name; }

class StelRasterRow : public StelListTest, public ::testing::WithParamInterface<RowCase> {};

// The row lies at y = 20 (origin 10, 20; column step 1); a one-row raster has columns of one
// node, which give no candidates.
TEST_P(StelRasterRow, CandidatesOfOneRow) {
  const RowCase& c = GetParam();
  RasterPtr raster = rasterOf({c.row});
  const auto nodes = [](const std::vector<Seg2D>& in) {
    std::vector<Seg2D> out;
    for (const Seg2D& s : in) out.push_back({10 + s.x1, 20, 10 + s.x2, 20});
    return out;
  };
  StelPtr runs(stelFromRasterRuns(raster.get(), nullptr));
  ASSERT_NE(runs, nullptr);
  EXPECT_EQ(runs->mode, kStelModeRuns);
  EXPECT_TRUE(sameSegs(segsOf(runs.get()), nodes(c.runs))) << runs->count;
  StelPtr edges(stelFromRasterEdges(raster.get(), nullptr));
  ASSERT_NE(edges, nullptr);
  EXPECT_EQ(edges->mode, kStelModeEdges);
  EXPECT_TRUE(sameSegs(segsOf(edges.get()), nodes(c.edges))) << edges->count;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StelRasterRow,
    ::testing::Values(RowCase{"FreeBlockedBlockedFree",
                              {0, -1, -1, 0},
                              {{0, 0, 3, 0}, {3, 0, 0, 0}},
                              {{0, 0, 1, 0}, {3, 0, 2, 0}}},
                      RowCase{"StartsBlocked", {-1, -1, 0, 0}, {{2, 0, 0, 0}}, {{2, 0, 1, 0}}},
                      RowCase{"OutsideInsideARun",
                              {0, -1, -2, -1, 0},
                              {{0, 0, 4, 0}, {4, 0, 0, 0}},
                              {{0, 0, 1, 0}, {4, 0, 3, 0}}},
                      RowCase{"OpenAtTheEnd", {0, 0, -1, -1}, {{1, 0, 3, 0}}, {{1, 0, 2, 0}}},
                      RowCase{"AllBlocked", {-1, -1, -1}, {}, {}},
                      RowCase{"OpenFromTheFirstNode", {-1, -2, -1}, {{-1, 0, 2, 0}}, {}},
                      RowCase{"SeedNumbersAreFree",
                              {3, -1, 3},
                              {{0, 0, 2, 0}, {2, 0, 0, 0}},
                              {{0, 0, 1, 0}, {2, 0, 1, 0}}},
                      RowCase{"AllFree", {0, 0, 0}, {}, {}}),
    [](const ::testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

TEST_F(StelListTest, ColumnsAndTheRegionFilter) {
  // One column: nodes along y (origin 10, 20; row step 2).
  RasterPtr column = rasterOf({{0}, {-1}, {0}});
  StelPtr runs(stelFromRasterRuns(column.get(), nullptr));
  ASSERT_EQ(runs->count, 2);
  EXPECT_TRUE(sameSegs(segsOf(runs.get()), {{10, 20, 10, 24}, {10, 24, 10, 20}}));
  // A region that holds only node 2 of the row keeps only the candidates starting there.
  RasterPtr row = rasterOf({{0, -1, 0}});
  Kont2D* region = kontNewRect({11.5, 19}, {13, 21});
  StelPtr kept(stelFromRasterRuns(row.get(), region));
  EXPECT_TRUE(sameSegs(segsOf(kept.get()), {{12, 20, 10, 20}}));
  StelPtr keptEdges(stelFromRasterEdges(row.get(), region));
  EXPECT_TRUE(sameSegs(segsOf(keptEdges.get()), {{12, 20, 11, 20}}));
  kontFree(region);
  EXPECT_EQ(stelFromRasterRuns(nullptr, nullptr), nullptr);
  // Memory running out at any step gives null and leaks nothing.
  RasterPtr big =
      rasterOf(std::vector<std::vector<int>>(12, {0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0}));
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    StelList* l = stelFromRasterEdges(big.get(), nullptr);
    memTestFailAt(0);
    if (l != nullptr) {
      EXPECT_EQ(l->count, 120);
      stelListFree(l);
      break;
    }
  }
}

TEST_F(StelListTest, CoveringTests) {
  // Traced towards -x: a start at y > 0 gives S > 0, the walking side of side +1.
  const Seg2D t{10, 0, 0, 0};
  // Run mode: a candidate crossing t from the walking side.
  EXPECT_EQ(stelRunCovered(t, Seg2D{5, 1, 5, -1}, 1), 1);
  // A horizontal candidate 0.15 above t moves down onto it; one 0.3 above moves only 0.2.
  EXPECT_EQ(stelRunCovered(t, Seg2D{3, 0.15, 5, 0.15}, 1), 1);
  EXPECT_EQ(stelRunCovered(t, Seg2D{3, 0.3, 5, 0.3}, 1), 0);
  // A vertical candidate moves sideways towards the middle of t, at most 0.2.
  EXPECT_EQ(stelRunCovered(Seg2D{4, -1, 4, 1}, Seg2D{4.15, 0.5, 4.15, 3}, 1), 1);
  EXPECT_EQ(stelRunCovered(Seg2D{4, -1, 4, 1}, Seg2D{4.3, 0.5, 4.3, 3}, 1), 0);
  EXPECT_EQ(stelRunCovered(t, Seg2D{5, 1, 5, 0.15}, 1), 0);
  // Starting behind t: covered when the start lies near it.
  EXPECT_EQ(stelRunCovered(t, Seg2D{5, -0.4, 5, -3}, 1), 1);
  EXPECT_EQ(stelRunCovered(t, Seg2D{5, -0.5, 5, -3}, 1), 0);
  EXPECT_EQ(stelRunCovered(t, Seg2D{10.2, -0.2, 12, -3}, 1), 1);  // near an end
  // Edge mode: crossing from the walking side, or t passing within 0.2 of an end.
  EXPECT_EQ(stelEdgeCovered(t, Seg2D{5, 1, 5, -1}, 1), 1);
  EXPECT_EQ(stelEdgeCovered(t, Seg2D{5, -1, 5, 1}, 1), 0);
  EXPECT_EQ(stelEdgeCovered(t, Seg2D{5, -1, 5, 1}, 0), 1);  // side 0 accepts either
  EXPECT_EQ(stelEdgeCovered(t, Seg2D{5, 2, 5, 0.15}, 1), 1);
  EXPECT_EQ(stelEdgeCovered(t, Seg2D{5, 2, 5, 0.25}, 1), 0);
  EXPECT_EQ(stelEdgeCovered(t, Seg2D{10.1, 0.1, 11, 1}, 1), 1);
}

// The removal by scanning every candidate for every traced segment, on a list sorted as the
// removal sorts it.
std::vector<Seg2D> removeByScan(std::vector<Seg2D> cands, int mode, const PkoList* traced, int from,
                                int to) {
  lstSort(cands.data(), static_cast<int>(cands.size()), sizeof(Seg2D), stelCompareAxis);
  int side = 0;
  for (int i = from; i < to && side == 0; ++i)
    side = traced->kinds[i] > 0 ? 1 : (traced->kinds[i] < 0 ? -1 : 0);
  std::vector<char> dead(cands.size(), 0);
  for (int i = from; i < to; ++i) {
    const Seg3D& s = traced->segments[i];
    const Seg2D t{s.start.x, s.start.y, s.end.x, s.end.y};
    const double bx0 = std::fmin(t.x1, t.x2), bx1 = std::fmax(t.x1, t.x2);
    const double by0 = std::fmin(t.y1, t.y2), by1 = std::fmax(t.y1, t.y2);
    for (std::size_t k = 0; k < cands.size(); ++k) {
      const Seg2D& c = cands[k];
      const bool near = bx0 <= std::fmax(c.x1, c.x2) + 0.5 && std::fmin(c.x1, c.x2) <= bx1 + 0.5 &&
                        by0 <= std::fmax(c.y1, c.y2) + 0.5 && std::fmin(c.y1, c.y2) <= by1 + 0.5;
      if (!near) continue;
      const int hit =
          mode == kStelModeRuns ? stelRunCovered(t, c, side) : stelEdgeCovered(t, c, side);
      if (hit == 1) dead[k] = 1;
    }
  }
  std::vector<Seg2D> out;
  for (std::size_t k = 0; k < cands.size(); ++k)
    if (dead[k] == 0) out.push_back(cands[k]);
  return out;
}

// A traced loop: a circle of n segments (or a random walk), each with kind sign.
PkoList* tracedLoop(std::mt19937& rng, double cx, double cy, double r, int n, int sign, bool walk) {
  PkoList* list = pkoListNew(n);
  std::uniform_real_distribution<double> step(-1.5, 1.5);
  Point3D p{cx + r, cy, 0};
  for (int i = 1; i <= n; ++i) {
    Point3D q{};
    if (walk) {
      q = Point3D{p.x + step(rng), p.y + step(rng), 0};
    } else {
      const double a = 2 * std::numbers::pi * i / n * sign;
      q = Point3D{cx + r * std::cos(a), cy + r * std::sin(a), 0};
    }
    pkoListAppend(list, Seg3D{p, q}, {}, i, sign * (1 + i % 3));
    p = q;
  }
  return list;
}

TEST_F(StelListTest, WindowedRemovalEqualsTheScanOfEveryCandidate) {
  std::mt19937 rng(23);
  std::uniform_int_distribution<int> size(1, 24);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int removedSomewhere = 0;
  for (int t = 0; t < 80; ++t) {
    const int rows = size(rng), cols = t % 10 == 0 ? 1 : size(rng);  // single columns too
    const double colStep = 0.6 + 1.4 * unit(rng), rowStep = 0.6 + 1.4 * unit(rng);
    std::vector<std::vector<int>> cells(static_cast<std::size_t>(rows),
                                        std::vector<int>(static_cast<std::size_t>(cols)));
    const double bx = cols * unit(rng), by = rows * unit(rng), br = 1 + 4 * unit(rng);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) {
        const double d = std::hypot(c - bx, r - by);
        cells[r][c] = d < br ? -1 : (unit(rng) < 0.05 ? -2 : (unit(rng) < 0.08 ? -1 : 0));
      }
    RasterPtr raster = rasterOf(cells, -3, 4, colStep, rowStep);
    const double cx = -3 + bx * colStep, cy = 4 + by * rowStep;
    PkoList* traced = tracedLoop(rng, cx, cy, br * std::fmax(colStep, rowStep) * (0.6 + unit(rng)),
                                 8 + t % 40, t % 3 == 0 ? -1 : 1, t % 4 == 3);
    if (t % 5 == 0) traced->kinds[0] = 0;  // the side comes from the first non-zero kind
    for (int mode : {kStelModeRuns, kStelModeEdges}) {
      StelPtr list(mode == kStelModeRuns ? stelFromRasterRuns(raster.get(), nullptr)
                                         : stelFromRasterEdges(raster.get(), nullptr));
      ASSERT_NE(list, nullptr);
      const int from = t % 6 == 0 ? 2 : 0, to = t % 6 == 0 ? traced->count - 1 : traced->count + 5;
      const auto expected =
          removeByScan(segsOf(list.get()), mode, traced, from, std::min(to, traced->count));
      ASSERT_EQ(stelListRemoveCovered(list.get(), traced, from, to), 1);
      if (list->count > 0) {
        EXPECT_EQ(list->sortState, kStelSortedAxis);
      }
      EXPECT_TRUE(sameSegs(segsOf(list.get()), expected))
          << t << " mode " << mode << ": " << list->count << " " << expected.size();
      removedSomewhere += list->capacity > list->count ? 1 : 0;
      // A second pass over the thinned, sorted list agrees as well.
      const auto again = removeByScan(segsOf(list.get()), mode, traced, 0, traced->count);
      ASSERT_EQ(stelListRemoveCovered(list.get(), traced, 0, traced->count), 1);
      EXPECT_TRUE(sameSegs(segsOf(list.get()), again)) << t;
    }
    pkoListFree(traced);
  }
  EXPECT_GT(removedSomewhere, 0);
}

// Only vertical candidates, the list full: the window must not read the empty group of the
// others past the end of the list.
TEST_F(StelListTest, WindowWithoutOneGroup) {
  for (bool vertical : {true, false}) {
    StelPtr list(stelListNew(3));
    list->mode = kStelModeEdges;
    for (int i = 0; i < 6; ++i) {
      const Seg2D s = vertical ? Seg2D{1.0 * i, 0, 1.0 * i, 1} : Seg2D{0, 1.0 * i, 1, 1.0 * i};
      stelListAppend(list.get(), s);
    }
    ASSERT_EQ(list->count, list->capacity);
    std::mt19937 rng(1);
    PkoList* traced = tracedLoop(rng, 2.5, 2.5, 2.5, 12, 1, false);
    const auto expected =
        removeByScan(segsOf(list.get()), kStelModeEdges, traced, 0, traced->count);
    ASSERT_EQ(stelListRemoveCovered(list.get(), traced, 0, traced->count), 1);
    EXPECT_TRUE(sameSegs(segsOf(list.get()), expected));
    pkoListFree(traced);
  }
}

TEST_F(StelListTest, RemovalEdgeCases) {
  std::mt19937 rng(2);
  PkoList* traced = tracedLoop(rng, 0, 0, 1, 8, 1, false);
  StelPtr list(stelListNew(3));
  stelListAppend(list.get(), Seg2D{0, 0.9, 0, 1.5});
  stelListAppend(list.get(), Seg2D{-5, 0, -4, 0});
  EXPECT_EQ(stelListRemoveCovered(nullptr, traced, 0, 8), 1);
  EXPECT_EQ(stelListRemoveCovered(list.get(), nullptr, 0, 8), 1);
  list->mode = 7;
  EXPECT_EQ(stelListRemoveCovered(list.get(), traced, 0, 8), 0);
  list->mode = kStelModeEdges;
  // Memory for the marks runs out: -1, the list as it was, unsorted too.
  memTestFailAt(1);
  EXPECT_EQ(stelListRemoveCovered(list.get(), traced, 0, 8), -1);
  memTestFailAt(0);
  EXPECT_EQ(geoErrCode(), -1);
  EXPECT_EQ(list->count, 2);
  EXPECT_EQ(list->sortState, kStelUnsorted);
  EXPECT_EQ(list->segments[0].y1, 0.9);
  ASSERT_EQ(stelListRemoveCovered(list.get(), traced, 0, 8), 1);
  ASSERT_EQ(list->count, 1);
  EXPECT_EQ(list->segments[0].x1, -5.0);
  pkoListFree(traced);
}

TEST_F(StelListTest, WriteAndDumpBehindTheDebugSwitch) {
  StelPtr list(stelListNew(3));
  stelListAppend(list.get(), Seg2D{1, -2.5, 3.25, 0});
  ASSERT_EQ(stelListWrite(list.get(), "s.txt"), 1);
  EXPECT_EQ(qdtest::readFile("s.txt"), "1.000000 -2.500000 3.250000 0.000000\n");
  EXPECT_EQ(stelListWrite(nullptr, "s.txt"), -1);
  EXPECT_EQ(stelListDump(list.get()), 1);
  EXPECT_FALSE(qdtest::fileExists("00000000.sel"));
  qdtest::writeFile("wogdebug.info", "DEBUG 1\n");
  geoResetState();
  EXPECT_EQ(stelListDump(list.get()), 1);
  EXPECT_EQ(stelListDump(list.get()), 1);
  EXPECT_EQ(qdtest::readFile("00000001.sel"), qdtest::readFile("s.txt"));
}

}  // namespace
