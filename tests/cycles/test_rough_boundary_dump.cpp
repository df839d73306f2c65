// The controller's boundary dump: regions written and read back through the boundary file reader
// (geometry, orientation, islands, no successors, world coordinates in the file), appending, the
// name before a run and an unwritable dump (the switch through a whole run is tested with the
// controller's runs); and the free-cell tests of a level raster against a table of busy cells.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cycles/rough_control.h"
#include "cycles/run_reset.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/raster.h"
#include "support/temp_dir.h"

namespace {

// Start points of a contour in order.
std::vector<Point2D> startPoints(const Kont2D* k) {
  std::vector<Point2D> pts;
  for (int i = 0; i < k->count; ++i) pts.push_back({k->segments[i].x1, k->segments[i].y1});
  return pts;
}

void expectSamePoints(const Kont2D* read, const Kont2D* written, const char* what) {
  const std::vector<Point2D> a = startPoints(read);
  const std::vector<Point2D> b = startPoints(written);
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_DOUBLE_EQ(a[i].x, b[i].x) << what << " point " << i;
    EXPECT_DOUBLE_EQ(a[i].y, b[i].y) << what << " point " << i;
  }
}

// A region (x0, y0) - (x1, y1) at height z with an island (ix0, iy0) - (ix1, iy1), the outer
// contour turned to orientation and the island the other way.
Kont2D* regionWithIsland(double x0, double y0, double x1, double y1, double ix0, double iy0,
                         double ix1, double iy1, double z, int orientation) {
  Kont2D* outer = kontNewRect(Point2D{x0, y0}, Point2D{x1, y1});
  Kont2D* island = kontNewRect(Point2D{ix0, iy0}, Point2D{ix1, iy1});
  kontReverse(island);
  outer->child = island;
  island->prev = outer;
  if (orientation < 0) kontReverse(outer);
  kontSetZ(outer, z);
  outer->closed = island->closed = 1;
  return outer;
}

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

class RoughBoundaryDump : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    cyc3dResetRunState(nullptr);
    csysResetState();
  }
  void TearDown() override {
    csysResetState();
    cyc3dResetRunState(nullptr);
  }
};

// A region with an island, followed by a second region, written under a shifted tool system in
// both orientations: the file holds the first region's two blocks alone, in world coordinates, and
// the reader gives back the same contours point for point, at the same height and orientation.
TEST_F(RoughBoundaryDump, RoundTripThroughTheReader) {
  csysSetTool({100, -20, 3}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  for (const int orientation : {+1, -1}) {
    std::remove(roughBoundaryDumpFile());
    Kont2D* region = regionWithIsland(0, 0, 40, 30, 10, 10, 20, 20, 5, orientation);
    Kont2D* successor = kontNewRect(Point2D{60, 0}, Point2D{70, 10});
    kontSetZ(successor, 5);
    region->next = successor;
    successor->prev = region;

    ASSERT_EQ(roughWriteBoundary(region), 1);
    const std::string text = qdtest::readFile(roughBoundaryDumpFile());
    EXPECT_EQ(countOf(text, "**BND"), 2) << text;
    EXPECT_EQ(countOf(text, "**END"), 2) << text;
    // Tool (0, 0, 5) is world (100, -20, 8); nothing of the successor (x 60 and up) is written.
    EXPECT_NE(text.find("X100.000000 Y-20.000000 Z8.000000"), std::string::npos) << text;
    EXPECT_EQ(text.find("X160"), std::string::npos) << text;

    geoErrReset();
    Kont2D* read = kontReadBnd(roughBoundaryDumpFile(), orientation, 1);
    ASSERT_NE(read, nullptr) << geoErrCode();
    EXPECT_EQ(read->next, nullptr);
    EXPECT_DOUBLE_EQ(read->z, 5);
    EXPECT_EQ(kontOrientation(read), orientation);
    expectSamePoints(read, region, "outer");
    ASSERT_NE(read->child, nullptr);
    EXPECT_EQ(read->child->next, nullptr);
    EXPECT_EQ(kontOrientation(read->child), -orientation);
    expectSamePoints(read->child, region->child, "island");
    kontFree(read);
    kontFree(region);
  }
}

// Two calls append two regions; the reader finds both in the order written. A region without
// segments or none at all writes nothing.
TEST_F(RoughBoundaryDump, CallsAppend) {
  Kont2D* a = kontNewRect(Point2D{0, 0}, Point2D{10, 10});
  Kont2D* b = kontNewRect(Point2D{20, 0}, Point2D{35, 10});
  kontSetZ(a, 0);
  kontSetZ(b, 0);
  ASSERT_EQ(roughWriteBoundary(a), 1);
  ASSERT_EQ(roughWriteBoundary(b), 1);
  EXPECT_EQ(roughWriteBoundary(nullptr), 0);
  Kont2D* empty = kontNew(nullptr, 3);
  EXPECT_EQ(roughWriteBoundary(empty), 0);
  kontFree(empty);
  EXPECT_EQ(countOf(qdtest::readFile(roughBoundaryDumpFile()), "**BND"), 2);

  Kont2D* read = kontReadBnd(roughBoundaryDumpFile(), 1, 0);
  ASSERT_NE(read, nullptr);
  ASSERT_NE(read->next, nullptr);
  EXPECT_EQ(read->next->next, nullptr);
  expectSamePoints(read, a, "first");
  expectSamePoints(read->next, b, "second");
  kontFree(read);
  kontFree(a);
  kontFree(b);
}

// Before a run has built the controller's names the dump is ".bnd" in the current folder; a dump
// that cannot be opened (here a folder of that name) is reported with -1, not written elsewhere.
TEST_F(RoughBoundaryDump, DefaultNameAndUnwritableDump) {
  EXPECT_STREQ(roughBoundaryDumpFile(), ".bnd");
  ASSERT_EQ(mkdir(".bnd", 0755), 0);
  Kont2D* a = kontNewRect(Point2D{0, 0}, Point2D{10, 10});
  kontSetZ(a, 0);
  geoErrReset();
  EXPECT_EQ(roughWriteBoundary(a), -1);
  EXPECT_EQ(geoErrCode(), -1);
  kontFree(a);
}

// ---- free cells of a level --------------------------------------------------------------------

struct CellCase {
  const char* name;
  bool raster;                            // false: no raster at all
  bool island;                            // the region has the island (4, 4) - (7, 7)
  std::vector<std::pair<int, int>> busy;  // (row, column) of cells that are not free
  int allFree;                            // roughLevelAllCellsFree
  int noneFree;                           // roughLevelNoFreeCell
};

// A 6 x 6 raster with nodes at -3.5 + 3k (k = 0..5) over the region (0, 0) - (10, 10): the nodes
// of rows and columns 2 to 4 lie inside, the others outside; node (3, 3) at (5.5, 5.5).
TEST(RoughLevelCells, FreeCellTable) {
  std::vector<std::pair<int, int>> inside;
  for (int r = 2; r <= 4; ++r) {
    for (int c = 2; c <= 4; ++c) inside.emplace_back(r, c);
  }
  std::vector<std::pair<int, int>> outside;
  for (int k = 0; k < 6; ++k) {
    outside.emplace_back(0, k);
    outside.emplace_back(k, 5);
    outside.emplace_back(1, k);
  }
  const CellCase cases[] = {
      {"all free", true, false, {}, 1, 0},
      {"one busy inside", true, false, {{3, 3}}, 0, 0},
      {"busy only outside", true, false, outside, 1, 0},
      {"every inside cell busy", true, false, inside, 0, 1},
      {"busy only inside the island", true, true, {{3, 3}}, 1, 0},
      {"missing raster", false, false, {}, 0, 1},
  };
  for (const CellCase& c : cases) {
    Kont2D* region = c.island ? regionWithIsland(0, 0, 10, 10, 4, 4, 7, 7, 0, 1)
                              : kontNewRect(Point2D{0, 0}, Point2D{10, 10});
    region->closed = 1;
    Raster* raster = nullptr;
    if (c.raster) {
      FloatDropNet header{};
      header.x0 = -3.5;
      header.y0 = -3.5;
      raster = gridRasterNew(&header, 6, 6, 3.0, 3.0);
      ASSERT_NE(raster, nullptr);
      gridRasterClear(raster);
      for (const auto& [r, col] : c.busy) raster->cells[r][col] = kRasterBlocked;
    }
    EXPECT_EQ(roughLevelAllCellsFree(raster, region), c.allFree) << c.name;
    EXPECT_EQ(roughLevelNoFreeCell(raster, region), c.noneFree) << c.name;
    gridRasterFree(raster);
    kontFree(region);
  }
}

}  // namespace
