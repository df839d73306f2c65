// Tests of the flat-face support: the flat-face table, the three raster markings against a
// brute-force disk-triangle distance on random triangle sets and on windows of the wheel in a
// box, a sliver that still blocks the cells its edges cross, and the writing of a level's
// outlines read back from the plane-boundary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/raster.h"
#include "level_fixture.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "support/temp_dir.h"
#include "zlevel/step_opt_mark.h"
#include "zlevel/zpath.h"

namespace {

// Plan distance from p to a triangle: 0 inside, else to the nearest edge.
double planDistance(const Tri3D& t, Point2D p) {
  auto side = [&](int a, int b) {
    return (t.v[b].x - t.v[a].x) * (p.y - t.v[a].y) - (t.v[b].y - t.v[a].y) * (p.x - t.v[a].x);
  };
  const double s0 = side(0, 1);
  const double s1 = side(1, 2);
  const double s2 = side(2, 0);
  if ((s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0)) return 0.0;
  double best = 1e300;
  for (int k = 0; k < 3; ++k) {
    const Point3D& A = t.v[k];
    const Point3D& B = t.v[(k + 1) % 3];
    const double dx = B.x - A.x;
    const double dy = B.y - A.y;
    const double len2 = dx * dx + dy * dy;
    double u = len2 > 0 ? ((p.x - A.x) * dx + (p.y - A.y) * dy) / len2 : 0.0;
    u = std::clamp(u, 0.0, 1.0);
    best = std::min(best, std::hypot(A.x + u * dx - p.x, A.y + u * dy - p.y));
  }
  return best;
}

// An index-mode candidate set over its own triangles and a level raster.
struct MarkScene {
  Tri3List* tris = lstTri3New(8);
  IntList* idx = lstIntNew(8);
  CollCtx ctx{};
  WalkTool tool{};
  WalkParams walk{};
  FloatDropNet header{};
  Raster* raster = nullptr;
  SliceContext slice{};

  MarkScene(const std::vector<Tri3D>& t, double radius, double x0, double y0, int rows, int cols,
            double step) {
    for (const Tri3D& q : t) lstTri3Append(tris, q);
    for (int i = 0; i < tris->count; ++i) lstIntAppend(idx, i);
    ctx.triangles = tris;
    ctx.candidates = idx;
    tool = WalkTool{radius, 0.0, 2};
    header.x0 = x0;
    header.y0 = y0;
    raster = gridRasterNew(&header, rows, cols, step, step);
    slice.raster = raster;
  }
  ~MarkScene() {
    gridRasterFree(raster);
    lstIntFree(idx);
    lstBox3Free(tris);
  }
  std::vector<int> cells() const {
    std::vector<int> out;
    for (int i = 0; i < raster->rows; ++i) {
      for (int j = 0; j < raster->cols; ++j) out.push_back(raster->cells[i][j]);
    }
    return out;
  }
  int freeCells() const {
    int n = 0;
    for (int v : cells()) n += v == 0 ? 1 : 0;
    return n;
  }
  // Expected marks: blocked where some triangle lies closer than the radius (cells at a distance
  // within 1e-9 of the radius are not judged).
  void expectAgainstDistance() const {
    int judged = 0;
    for (int i = 0; i < raster->rows; ++i) {
      for (int j = 0; j < raster->cols; ++j) {
        const Point2D p{raster->x0 + j * raster->colStep, raster->y0 + i * raster->rowStep};
        double d = 1e300;
        for (int k = 0; k < tris->count; ++k) d = std::min(d, planDistance(tris->items[k], p));
        if (std::fabs(d - tool.radius) < 1e-9) continue;
        ++judged;
        EXPECT_EQ(raster->cells[i][j], d < tool.radius ? -1 : 0) << i << " " << j << " d " << d;
      }
    }
    EXPECT_GT(judged, 0);
  }
};

std::vector<int> markWith(MarkScene& s, int strategy) {
  gridRasterClear(s.raster);
  if (strategy == 0) {
    EXPECT_GE(stepOptMarkByGrid(&s.ctx, &s.tool, &s.walk, &s.slice), 0);
  }
  if (strategy == 1) {
    EXPECT_GE(stepOptMarkByTrees(&s.ctx, &s.tool, &s.walk, &s.slice), 0);
  }
  if (strategy == 2) stepOptMarkBrute(&s.ctx, &s.tool, &s.walk, &s.slice);
  EXPECT_EQ(s.raster->freeCount, s.freeCells());
  EXPECT_EQ(s.walk.triGrid, nullptr);  // the bucket grid never outlives the marking
  return s.cells();
}

Tri3D flatTri(double x0, double y0, double x1, double y1, double x2, double y2, double z) {
  return Tri3D{{Point3D{x0, y0, z}, Point3D{x1, y1, z}, Point3D{x2, y2, z}}};
}

TEST(StepOptMark, FlatFaceTable) {
  const double tilt = 0.3 * std::numbers::pi / 180.0;
  const double rise = 10.0 * std::tan(tilt);  // over a leg of 10
  struct Case {
    const char* name;
    Tri3D tri;
    int flat;
  } cases[] = {
      {"level", flatTri(0, 0, 10, 0, 0, 10, 5), 1},
      {"upside down", flatTri(0, 0, 0, 10, 10, 0, 5), 1},
      {"tilted 0.3 degrees", Tri3D{{{0, 0, 0}, {10, 0, rise}, {0, 10, 0}}}, 0},
      {"spread 0.0011", Tri3D{{{0, 0, 0}, {1000, 0, 0.0011}, {0, 1000, 0}}}, 0},
      {"spread 0.0009", Tri3D{{{0, 0, 0}, {1000, 0, 0.0009}, {0, 1000, 0}}}, 1},
      {"degenerate", flatTri(0, 0, 1, 1, 2, 2, 0), 0},
      {"vertical", Tri3D{{{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stepOptIsPlaneTriangle(c.tri, kStepOptFlatNz), c.flat) << c.name;
  }
}

TEST(StepOptMark, StrategiesAgreeWithDistanceOnRandomTriangles) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(0.0, 40.0);
  std::uniform_real_distribution<double> off(-6.0, 6.0);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::vector<Tri3D> tris;
    const int n = 1 + round % 6;
    for (int k = 0; k < n; ++k) {
      const double x = pos(rng);
      const double y = pos(rng);
      tris.push_back(flatTri(x, y, x + off(rng), y + off(rng), x + off(rng), y + off(rng), 3));
    }
    MarkScene s(tris, 1.5 + 0.5 * (round % 3), -2.0, -3.0, 45, 47, 0.97);
    const std::vector<int> grid = markWith(s, 0);
    s.expectAgainstDistance();
    EXPECT_EQ(markWith(s, 1), grid);
    EXPECT_EQ(markWith(s, 2), grid);
  }
}

// A cell under the middle of a face, farther than the radius from every edge, is blocked by the
// inside test; a sliver blocks the cells its edges pass near.
TEST(StepOptMark, InsideCellAndSliver) {
  {
    MarkScene s({flatTri(0, 0, 30, 0, 0, 30, 0)}, 1.0, 8.0, 8.0, 1, 1, 1.0);
    for (int strategy = 0; strategy < 3; ++strategy) {
      EXPECT_EQ(markWith(s, strategy), std::vector<int>{-1}) << strategy;
    }
  }
  {
    // Collinear corners: the inside test is skipped, the edges still cross the cell circles.
    MarkScene s({flatTri(0, 0, 20, 0.00001, 10, 0.000005, 0)}, 1.0, -3.0, -2.0, 5, 27, 1.0);
    const std::vector<int> grid = markWith(s, 0);
    s.expectAgainstDistance();
    EXPECT_EQ(markWith(s, 1), grid);
    EXPECT_EQ(markWith(s, 2), grid);
    EXPECT_LT(s.freeCells(), 5 * 27);
  }
}

TEST(StepOptMark, NoCandidatesLeaveRasterUnchanged) {
  MarkScene s({}, 1.0, 0, 0, 3, 3, 1.0);
  gridRasterClear(s.raster);
  EXPECT_EQ(stepOptMarkByGrid(&s.ctx, &s.tool, &s.walk, &s.slice), 0);
  EXPECT_EQ(stepOptMarkByTrees(&s.ctx, &s.tool, &s.walk, &s.slice), 0);
  EXPECT_EQ(s.raster->freeCount, 9);
}

std::vector<Tri3D> wheelTriangles() {
  std::vector<Tri3D> out;
  if (qdtest::realMeshFolderPresent()) {
    out = qdtest::readTriangles(qdtest::dataPath("wheel_in_box.stl"));
  }
  if (out.empty()) {
    for (const auto& t : qdtest::gen::wheelInBox().tris) {
      Tri3D q;
      for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
      out.push_back(q);
    }
  }
  return out;
}

TEST(StepOptMark, StrategiesAgreeOnWheelWindows) {
  std::vector<Tri3D> flats;
  for (const Tri3D& t : wheelTriangles()) {
    if (stepOptIsPlaneTriangle(t, kStepOptFlatNz) == 1) flats.push_back(t);
  }
  ASSERT_FALSE(flats.empty());
  struct Window {
    double x0, y0;
  } windows[] = {{-20, -20}, {50, -10}, {-95, -95}, {10, 55}};
  for (const Window& w : windows) {
    SCOPED_TRACE(w.x0);
    MarkScene s(flats, 2.7, w.x0, w.y0, 30, 30, 1.3);
    const std::vector<int> grid = markWith(s, 0);
    s.expectAgainstDistance();
    EXPECT_EQ(markWith(s, 1), grid);
    EXPECT_EQ(markWith(s, 2), grid);
  }
}

// ---- outline writing ----------------------------------------------------------------------------

class StepOptWrite : public qdtest::TempDirTest {
 protected:
  void SetUp() override { geoErrReset(); }
};

// Appends a closed square as one traced piece.
void addSquare(PkoList* l, IntList* starts, double x0, double y0, double x1, double y1, bool ccw) {
  lstIntAppend(starts, l->count);
  Point3D p[4] = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
  if (!ccw) std::swap(p[1], p[3]);
  for (int k = 0; k < 4; ++k) {
    pkoListAdd(l, Seg3D{p[k], p[(k + 1) % 4]}, Point3D{0, 0, 0}, 1, 1);
  }
}

struct WriteScene {
  PkoList* traced = pkoListNew(32);
  IntList* starts = lstIntNew(8);
  SliceContext slice{nullptr, nullptr, traced, nullptr, starts};
  ZPathList* list = zpathListNew(10);
  ZPath* work = zpathNew(100);
  ~WriteScene() {
    pkoListFree(traced);
    lstIntFree(starts);
    zpathListFree(list);
    zpathFree(work);
  }
};

struct Read {
  Kont2D* list;
  ~Read() { kontFree(list); }
};

int regionCount(const Kont2D* l) {
  int n = 0;
  for (; l != nullptr; l = l->next) ++n;
  return n;
}
int islandCount(const Kont2D* r) {
  int n = 0;
  for (const Kont2D* k = r->child; k != nullptr; k = k->next) ++n;
  return n;
}

// Two outer paths of the same depth each with a hole: grouped by the smallest depth alone, the
// first face's hole travelled with the second face and became a flat area of its own.
TEST_F(StepOptWrite, TwoFacesKeepTheirOwnHoles) {
  WriteScene w;
  addSquare(w.traced, w.starts, 0, 0, 10, 10, true);
  addSquare(w.traced, w.starts, 20, 0, 30, 10, true);
  addSquare(w.traced, w.starts, 3, 3, 6, 6, false);
  addSquare(w.traced, w.starts, 23, 3, 26, 6, false);
  Kont2D* region = kontNewRect(Point2D{-5, -5}, Point2D{40, 20});
  ASSERT_EQ(stepOptWriteLevelBounds(&w.slice, region, 7.5, "plane.bnd", w.list, w.work), 1);
  kontFree(region);
  EXPECT_EQ(w.list->count, 0);
  Read r{kontReadBnd("plane.bnd", 1, 1)};
  ASSERT_NE(r.list, nullptr) << geoErrCode();
  ASSERT_EQ(regionCount(r.list), 2);
  for (const Kont2D* k = r.list; k != nullptr; k = k->next) {
    EXPECT_EQ(islandCount(k), 1);
    EXPECT_NEAR(kontArea(k), 100.0 - 9.0, 1e-6);
    EXPECT_NEAR(k->z, 7.5, 1e-9);
  }
}

TEST_F(StepOptWrite, ClipsToRegionAndSkipsOutlinesOutside) {
  WriteScene w;
  addSquare(w.traced, w.starts, 0, 0, 10, 10, true);
  addSquare(w.traced, w.starts, 100, 100, 110, 110, true);  // wholly outside
  Kont2D* region = kontNewRect(Point2D{5, -5}, Point2D{40, 20});
  ASSERT_EQ(stepOptWriteLevelBounds(&w.slice, region, 2.0, "plane.bnd", w.list, w.work), 1);
  kontFree(region);
  Read r{kontReadBnd("plane.bnd", 1, 1)};
  ASSERT_NE(r.list, nullptr);
  ASSERT_EQ(regionCount(r.list), 1);
  EXPECT_NEAR(kontArea(r.list), 50.0, 1e-6);
}

TEST_F(StepOptWrite, MissingInputs) {
  WriteScene w;
  Kont2D* region = kontNewRect(Point2D{0, 0}, Point2D{1, 1});
  EXPECT_EQ(stepOptWriteLevelBounds(nullptr, region, 0, "p.bnd", w.list, w.work), 0);
  EXPECT_EQ(stepOptWriteLevelBounds(&w.slice, region, 0, "p.bnd", w.list, w.work), 0);
  addSquare(w.traced, w.starts, 0, 0, 1, 1, true);
  EXPECT_EQ(stepOptWriteLevelBounds(&w.slice, region, 0, nullptr, w.list, w.work), 0);
  EXPECT_EQ(stepOptClipToRegion(nullptr, region, "p.bnd"), 0);
  kontFree(region);
  EXPECT_FALSE(qdtest::fileExists("p.bnd"));
}

}  // namespace

#include "geometry/lst_sort.h"
#include "zlevel/step_opt_zstoc.h"

namespace {

// The comparators never answer "equal"; the common sort still orders equal keys stably for short
// lists and puts every larger key first.
TEST(StepOptCompare, DescendingSortsAndBoxes) {
  std::vector<double> v = {3, 7, 7, -1, 12, 0, 7, 3.5};
  ASSERT_EQ(lstSort(v.data(), static_cast<int>(v.size()), sizeof(double), stepOptCompareDesc), 1);
  EXPECT_TRUE(std::is_sorted(v.begin(), v.end(), std::greater<>()));
  std::vector<Tri3D> t = {flatTri(0, 0, 1, 0, 0, 1, 2), flatTri(5, 5, 6, 5, 5, 7, 9),
                          Tri3D{{{1, 1, 4}, {-2, 3, 8}, {0, 6, -1}}}};
  ASSERT_EQ(lstSort(t.data(), 3, sizeof(Tri3D), stepOptCompareTriZ), 1);
  EXPECT_DOUBLE_EQ(t[0].v[0].z, 9);
  EXPECT_DOUBLE_EQ(t[2].v[0].z, 2);

  Tri3List* list = lstTri3New(4);
  for (const Tri3D& q : t) lstTri3Append(list, q);
  CollCtx ctx{};
  ctx.triangles = list;
  ASSERT_EQ(stepOptTriBoxes(&ctx), 1);
  EXPECT_DOUBLE_EQ(ctx.boxMin[1].x, -2);
  EXPECT_DOUBLE_EQ(ctx.boxMin[1].z, -1);
  EXPECT_DOUBLE_EQ(ctx.boxMax[1].y, 6);
  EXPECT_DOUBLE_EQ(ctx.boxMax[1].z, 8);
  stepOptTriBoxesFree(&ctx);
  EXPECT_EQ(ctx.boxMin, nullptr);
  lstBox3Free(list);
}

}  // namespace
