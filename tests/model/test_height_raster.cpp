// Tests of the height raster: a tessellated smooth terrain against its analytic heights with no
// holes, the four-corner twin against the triangle raster, empty ground, gaps, an untouched grid
// of cell size 0, and memory failures at every step.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "framework/memory.h"
#include "geometry/height_grid.h"
#include "model/height_raster.h"
#include "model/model_fixture.h"
#include "model/profile_drop.h"
#include "model/profile_sample.h"

namespace {

double terrain(double x, double y) {
  return 3.0 * std::sin(x / 7.0) * std::cos(y / 9.0) + 0.05 * x;
}

// The terrain over [0, 40]^2 as cells x cells squares of two triangles each.
std::vector<Tri3D> terrainTris(int cells) { return qdtest::heightFieldMesh(cells, 40.0, terrain); }

void prepare(SurfaceModel* m) {
  m->floorZ = -100.0;
  m->ceilingZ = 100.0;
  m->step = 1.0;
  m->tolerance = 0.05;
  ASSERT_EQ(modelBuildIndex(m), 1);
}

// Owns a grid for one test.
struct GridPtr {
  std::unique_ptr<HeightGrid, decltype(&heightGridFree)> owner;
  HeightGrid* g;
  explicit GridPtr(HeightGrid* grid) : owner(grid, heightGridFree), g(grid) {}
};

}  // namespace

// Every cell holds the analytic height at its grid point within the tessellation error (second
// derivatives below 0.07, squares of side 0.5), and no cell is left empty.
TEST(HeightRaster, AnalyticTerrainWithoutHoles) {
  qdtest::TriModel tm(terrainTris(80), qdtest::makeCutter(kCutterBall, 10, 10));
  prepare(&tm.m);
  GridPtr p(heightGridNew(1.3, {2.2, 3.1, 0}, {37.5, 36.0, 0}));
  ASSERT_NE(p.g, nullptr);
  ASSERT_EQ(modelFillHeightGrid(p.g, &tm.m), 1);
  EXPECT_EQ(p.g->floor, -100.0);
  double worst = 0.0;
  for (int i = 0; i < p.g->rows; ++i) {
    for (int j = 0; j < p.g->cols; ++j) {
      const double x = p.g->x0 + j * p.g->cell, y = p.g->y0 + i * p.g->cell;
      const double got = p.g->heights[i][j];
      ASSERT_GT(got, -50.0) << "hole at row " << i << " column " << j;
      worst = std::fmax(worst, std::fabs(got - terrain(x, y)));
    }
  }
  EXPECT_LT(worst, 0.01);
  EXPECT_EQ(dropGetToolOverride(nullptr), 0) << "the probe is switched off afterwards";
  // The model's own drop settings are untouched: the fill works on a copy.
  EXPECT_EQ(tm.m.step, 1.0);
  EXPECT_EQ(tm.m.tolerance, 0.05);
}

TEST(HeightRaster, FourCornerTwinGivesTheSameHeights) {
  const std::vector<Tri3D> tris = terrainTris(40);
  std::vector<QuadFacet> quads;
  for (const Tri3D& t : tris) quads.push_back(qdtest::quadOf(t.v[0], t.v[1], t.v[2], t.v[2]));
  qdtest::TriModel tm(tris, qdtest::makeCutter(kCutterBall, 10, 10));
  qdtest::QuadModel qm(quads, qdtest::makeCutter(kCutterBall, 10, 10));
  prepare(&tm.m);
  prepare(&qm.m);
  GridPtr a(heightGridNew(2.0, {1, 1, 0}, {39, 39, 0}));
  GridPtr b(heightGridNew(2.0, {1, 1, 0}, {39, 39, 0}));
  ASSERT_EQ(modelFillHeightGrid(a.g, &tm.m), 1);
  ASSERT_EQ(modelFillHeightGrid(b.g, &qm.m), 1);
  for (int i = 0; i < a.g->rows; ++i) {
    for (int j = 0; j < a.g->cols; ++j) EXPECT_NEAR(a.g->heights[i][j], b.g->heights[i][j], 1e-9);
  }
  EXPECT_EQ(dropGetQuadToolOverride(nullptr), 0);
  EXPECT_EQ(qm.m.step, 1.0) << "the four-corner drop rewrote a copy's step, not the model's";
}

// Over empty ground every cell gets the smaller of floorZ and the model's lowest z; samples above
// the ceiling are gaps and their cells get that value less 1.
TEST(HeightRaster, EmptyGroundAndGaps) {
  struct Case {
    double floorZ;
    double want;
  };
  for (const Case c : {Case{-5.0, -5.0}, Case{10.0, 3.0}}) {
    qdtest::TriModel tm({Tri3D{{{100, 100, 3}, {110, 100, 3}, {100, 110, 4}}}},
                        qdtest::makeCutter(kCutterBall, 10, 10));
    prepare(&tm.m);
    tm.m.floorZ = c.floorZ;
    GridPtr p(heightGridNew(1.0, {0, 0, 0}, {5, 4, 0}));
    ASSERT_EQ(modelFillHeightGrid(p.g, &tm.m), 1);
    EXPECT_EQ(p.g->floor, c.want);
    for (int i = 0; i < p.g->rows; ++i) {
      for (int j = 0; j < p.g->cols; ++j) EXPECT_EQ(p.g->heights[i][j], c.want);
    }
  }
  qdtest::TriModel tm(terrainTris(40), qdtest::makeCutter(kCutterBall, 10, 10));
  prepare(&tm.m);
  tm.m.ceilingZ = 1.0;
  GridPtr p(heightGridNew(1.5, {1, 1, 0}, {39, 39, 0}));
  ASSERT_EQ(modelFillHeightGrid(p.g, &tm.m), 1);
  int gaps = 0, kept = 0;
  for (int i = 0; i < p.g->rows; ++i) {
    for (int j = 0; j < p.g->cols; ++j) {
      const double t = terrain(p.g->x0 + j * p.g->cell, p.g->y0 + i * p.g->cell);
      if (std::fabs(t - 1.0) < 0.02) continue;
      if (t > 1.0) {
        EXPECT_EQ(p.g->heights[i][j], -101.0);
        ++gaps;
      } else {
        EXPECT_NEAR(p.g->heights[i][j], t, 0.02);
        ++kept;
      }
    }
  }
  EXPECT_GT(gaps, 50);
  EXPECT_GT(kept, 50);
}

TEST(HeightRaster, CellSizeZeroLeavesTheGridUntouched) {
  qdtest::TriModel tm(terrainTris(10), qdtest::makeCutter(kCutterBall, 10, 10));
  prepare(&tm.m);
  GridPtr p(heightGridNew(1.0, {0, 0, 0}, {4, 4, 0}));
  p.g->cell = 0.0;
  EXPECT_EQ(modelFillHeightGrid(p.g, &tm.m), 1);
  EXPECT_EQ(p.g->floor, -10000.0);
  EXPECT_EQ(p.g->heights[2][2], -10000.0);
  GridPtr none(heightGridNew(0.0, {0, 0, 0}, {4, 4, 0}));
  EXPECT_EQ(modelFillHeightGrid(none.g, &tm.m), 1);
  EXPECT_EQ(modelFillHeightGrid(nullptr, &tm.m), -20);
  EXPECT_EQ(modelFillHeightGrid(p.g, nullptr), -20);
}

// Every allocation of the fill fails once in turn: each run returns -1 with the probe switched
// off, or (where the failing allocation has a fallback) fills everything; LeakSanitizer finds
// nothing left behind.
TEST(HeightRaster, MemoryFailureAtEveryStep) {
  qdtest::TriModel tm(terrainTris(16), qdtest::makeCutter(kCutterBall, 10, 10));
  prepare(&tm.m);
  int failures = 0;
  for (long n = 1; n < 150; ++n) {
    GridPtr p(heightGridNew(5.0, {1, 1, 0}, {21, 16, 0}));
    ASSERT_NE(p.g, nullptr);
    memTestFailAt(n);
    const int r = modelFillHeightGrid(p.g, &tm.m);
    memTestFailAt(0);
    EXPECT_EQ(dropGetToolOverride(nullptr), 0);
    if (r == 1) {
      for (int i = 0; i < p.g->rows; ++i) {
        for (int j = 0; j < p.g->cols; ++j) EXPECT_GT(p.g->heights[i][j], -50.0);
      }
      continue;
    }
    ASSERT_EQ(r, -1) << n;
    ++failures;
  }
  EXPECT_GT(failures, 10);  // the copy, the list, and curves and samples of every column
}
