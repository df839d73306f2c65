// Tests of the surface model: cutter allowances, cutter changes on a model and its sub-models,
// copies that share facets, release of contents, grid dimensions, holder grid, sorting and
// corner order of facets.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/memory.h"
#include "model/drop_cutter.h"
#include "model/surface_model.h"
#include "model_fixture.h"

namespace {

using qdtest::makeCutter;
using qdtest::TriModel;

std::vector<int> messages;
void recordMessage(int number, int level, double value) {
  messages.push_back(number * 100 + level);
  EXPECT_EQ(value, 0.0);
}

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messages.clear();
    modelResetState();
    dropResetState();
    modelSetMessageFn(recordMessage);
  }
  void TearDown() override { modelResetState(); }
};

TEST_F(ModelTest, AllowanceTable) {
  struct Case {
    std::int16_t type;
    double radius, corner, allowance;
    int mode;
    std::int16_t typeAfter;
    double radiusAfter, cornerAfter, zOffsetAfter;
    bool warned;
  };
  const Case cases[] = {
      {1, 5, 5, 0.5, 1, 1, 5.5, 5.5, 5, false},   // ball, mode 1: zOffset R on entry
      {1, 5, 5, -0.5, 0, 1, 4.5, 4.5, 0, false},  // ball, other mode
      {1, 5, 5, -6, 0, 1, 0, -1, 0, true},        // radius -1: message 330, clamped to 0
      {2, 5, 0, 0.5, 1, 3, 5.5, 0.5, 0, false},   // flat becomes a torus
      {2, 5, 0, -0.2, 1, 2, 4.8, 0, 0.2, false},  // flat stays flat, zOffset -a
      {2, 5, 0, 0.00001, 0, 2, 5.00001, 0, -0.00001, false},
      {3, 5, 1, 0.5, 1, 3, 5.5, 1.5, 1, false},  // torus, mode 1: zOffset c on entry
      {3, 5, 1, 0.5, 0, 3, 5.5, 1.5, 0, false},
      {3, 5, 1, -1, 0, 2, 4, 0, 0, false},  // c + a = 0: flat, zOffset -(c + a)
      {3, 5, 1, -1.5, 0, 2, 3.5, 0, 0.5, false},
      {3, 1, 3, 0.5, 0, 3, 3.5, 3.5, 0, false},  // radius below corner radius: raised
      {10, 5, 0, 1, 1, 10, 5, 0, 7, false},      // other types keep their shape
  };
  for (const Case& c : cases) {
    messages.clear();
    CutterShape cut = makeCutter(c.type, c.radius, c.corner);
    cut.zOffset = 7;
    cut.shankDiameter = 12;
    cut.taperLength = -3;
    cutterApplyAllowance(&cut, c.allowance, c.mode);
    SCOPED_TRACE(testing::Message() << "type " << c.type << " a " << c.allowance);
    EXPECT_EQ(cut.type, c.typeAfter);
    EXPECT_NEAR(cut.radius, c.radiusAfter, 1e-12);
    EXPECT_NEAR(cut.cornerRadius, c.cornerAfter, 1e-12);
    EXPECT_NEAR(cut.zOffset, c.zOffsetAfter, 1e-12);
    EXPECT_NEAR(cut.shankDiameter, 12 + 2 * c.allowance, 1e-12);
    EXPECT_EQ(cut.taperLength, 0.0);
    EXPECT_EQ(messages, c.warned ? std::vector<int>{33009} : std::vector<int>{});
  }
}

TEST_F(ModelTest, CutterChangesReachEverySubModel) {
  TriModel tm({}, makeCutter(kCutterBall, 5, 5));
  SurfaceModel& m = tm.m;
  m.cutter->shankDiameter = 20;
  SubModel* sub = modelNewSubModel(&m, 1.0, 0, 3, 1, 4);
  ASSERT_NE(sub, nullptr);
  m.subModels = sub;
  EXPECT_EQ(sub->cutter.radius, 6);
  EXPECT_EQ(sub->additional, 1);
  EXPECT_EQ(sub->triangles->count, 0);

  // Shrinking by the full radius would leave no cutter: the radius stays, the shank shrinks.
  modelAddAllowance(&m, -5);
  EXPECT_EQ(m.cutter->radius, 5);
  EXPECT_EQ(m.cutter->shankDiameter, 10);
  EXPECT_EQ(sub->cutter.radius, 1);
  EXPECT_EQ(sub->cutter.shankDiameter, 12);

  modelAddCornerRadius(&m, -5);  // ball 5/5 -> corner 0: flat end mill
  EXPECT_EQ(m.cutter->type, kCutterFlat);
  EXPECT_EQ(sub->cutter.type, kCutterBall);  // radius 1, corner 6 - 5 = 1
  modelAddCornerRadius(&m, 0.5);
  EXPECT_EQ(m.cutter->type, kCutterTorus);
  EXPECT_EQ(sub->cutter.type, kCutterTorus);
  modelAddCornerRadius(&m, 4.5);
  EXPECT_EQ(m.cutter->type, kCutterBall);

  m.cutter->tapered = 1;
  m.cutter->taperAngle = 3;
  modelSetToolZOffset(&m, 2.5);
  modelClearTaper(&m);
  EXPECT_EQ(m.cutter->zOffset, 2.5);
  EXPECT_EQ(sub->cutter.zOffset, 2.5);
  EXPECT_EQ(m.cutter->tapered, 0);
  EXPECT_EQ(m.cutter->taperAngle, 0);
  EXPECT_EQ(sub->cutter.shankDiameter, 0);
}

// A copy shares facets and grids but owns its cutter and sub-model records: changing and freeing
// it leaves the original intact (AddressSanitizer reports any use after free).
TEST_F(ModelTest, CopyAndFreeLeaveTheOriginalIntact) {
  TriModel tm(qdtest::terrainMesh(4, 40), makeCutter(kCutterBall, 5, 5));
  SurfaceModel& m = tm.m;
  for (int i = 0; i < 2; ++i) {
    SubModel* sub = modelNewSubModel(&m, 0.0, 0, 3, i, 8);
    ASSERT_NE(sub, nullptr);
    lstTri3Append(sub->triangles, m.triangles->items[i]);
    sub->facetMin[0] = m.facetMin[i];
    sub->facetMax[0] = m.facetMax[i];
    sub->boxMin = m.facetMin[i];
    sub->boxMax = m.facetMax[i];
    sub->next = m.subModels;
    m.subModels = sub;
  }
  ASSERT_EQ(modelBuildIndex(&m), 1);
  SurfaceModel* copy = modelCopy(&m);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->cutter, m.cutter);
  EXPECT_EQ(copy->triangles, m.triangles);
  EXPECT_EQ(copy->grid, m.grid);
  ASSERT_NE(copy->subModels, nullptr);
  EXPECT_NE(copy->subModels, m.subModels);
  EXPECT_EQ(copy->subModels->triangles, m.subModels->triangles);
  EXPECT_EQ(copy->subModels->next->additional, m.subModels->next->additional);
  modelAddAllowance(copy, 1.0);
  EXPECT_EQ(copy->cutter->radius, 6);
  EXPECT_EQ(m.cutter->radius, 5);
  EXPECT_EQ(m.subModels->cutter.radius, 5);
  modelFree(copy);
  EXPECT_EQ(m.triangles->count, 32);
  EXPECT_EQ(m.subModels->triangles->count, 1);
  EXPECT_GT(m.grid->cells[0].count, 0);
  EXPECT_EQ(modelIsEmpty(&m), 0);
}

// Emptying the sub-model chain without freeing its records lost them; freeing the contents now
// releases the records too (LeakSanitizer reports a leak otherwise).
TEST_F(ModelTest, FreeContentsReleasesSubModelsWithoutLeaks) {
  TriModel tm(qdtest::terrainMesh(2, 10), makeCutter(kCutterFlat, 5, 0));
  SurfaceModel& m = tm.m;
  m.subModels = modelNewSubModel(&m, 0.0, 0, 4, 0, 3);
  ASSERT_NE(m.subModels, nullptr);
  m.subModels->quadCount = 1;
  EXPECT_EQ(modelIsEmpty(&m), 0);
  modelFreeContents(&m);
  EXPECT_EQ(m.triangles, nullptr);
  EXPECT_EQ(m.facetMin, nullptr);
  EXPECT_EQ(m.subModels, nullptr);
  EXPECT_EQ(modelIsEmpty(&m), 1);
  EXPECT_NE(m.cutter, nullptr);
}

TEST_F(ModelTest, CopyAndSubModelReportMemoryFailureWithoutLeaks) {
  TriModel tm(qdtest::terrainMesh(2, 10), makeCutter(kCutterBall, 5, 5));
  SurfaceModel& m = tm.m;
  for (int i = 0; i < 3; ++i)
    m.subModels = [&] {
      SubModel* s = modelNewSubModel(&m, 0.0, 0, 3, 0, 1);
      s->next = m.subModels;
      return s;
    }();
  int copyFailures = 0, subFailures = 0;
  for (long n = 1; n <= 8; ++n) {
    memTestFailAt(n);
    SurfaceModel* copy = modelCopy(&m);
    memTestFailAt(0);
    if (copy == nullptr) ++copyFailures;
    modelFree(copy);
    memTestFailAt(n);
    SubModel* sub = modelNewSubModel(&m, 0.0, 0, 4, 0, 5);
    memTestFailAt(0);
    if (sub == nullptr) {
      ++subFailures;
    } else {
      memFree(sub->quads);
      memFree(sub->facetMin);
      memFree(sub->facetMax);
      memFree(sub);
    }
  }
  EXPECT_EQ(copyFailures, 5);  // record, cutter, three sub-model records
  EXPECT_EQ(subFailures, 4);   // record, facets, two box arrays
  EXPECT_EQ(modelNewSubModel(&m, 0.0, 0, 5, 0, 5), nullptr);
  EXPECT_EQ(modelCopy(nullptr), nullptr);
}

TEST_F(ModelTest, GridDimensionsFollowTheBoxAspect) {
  // A box 100 long in x and 25 in y: q = 101 / 26, rows 11, columns 43.
  std::vector<Tri3D> tris = {Tri3D{{{0, 0, 0}, {100, 0, 1}, {100, 25, 2}}}};
  TriModel tm(tris, makeCutter(kCutterBall, 5, 5));
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  ASSERT_NE(tm.m.grid, nullptr);
  EXPECT_EQ(tm.m.grid->rows, 11);
  EXPECT_EQ(tm.m.grid->columns, 43);
  EXPECT_EQ(tm.m.grid->x1, 100);
  // Rebuilding replaces the grid (LeakSanitizer checks the old one is released).
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  EXPECT_EQ(tm.m.grid->rows, 11);
}

TEST_F(ModelTest, GridMarginCoversTheTaperRingAndShank) {
  // A narrow model: facet 0 at x 0..1, facet 1 at x 99..100; a query at x = 50 sees a facet
  // only when the margin reaches 49.
  std::vector<Tri3D> tris = {Tri3D{{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}},
                             Tri3D{{{99, 0, 0}, {100, 0, 0}, {100, 1, 0}}}};
  const struct {
    double shank;
    std::int16_t tapered;
    double taperAngle, taperLength;
    int expected;
  } cases[] = {{0, 0, 0, 0, 0}, {100, 0, 0, 0, 2}, {0, 1, 45, 50, 2}, {0, 1, 1, 50, 0}};
  for (const auto& c : cases) {
    CutterShape cut = makeCutter(kCutterFlat, 5, 0);
    cut.shankDiameter = c.shank;
    cut.tapered = c.tapered;
    cut.taperAngle = c.taperAngle;
    cut.taperLength = c.taperLength;
    TriModel tm(tris, cut);
    ASSERT_EQ(modelBuildIndex(&tm.m), 1);
    EXPECT_EQ(triGridCell(tm.m.grid, 50, 0.5)->count, c.expected) << c.shank << " " << c.taperAngle;
  }
}

TEST_F(ModelTest, IndexOfEmptyAndBrokenModels) {
  TriModel empty({}, makeCutter(kCutterBall, 5, 5));
  EXPECT_EQ(modelBuildIndex(&empty.m), 1);
  EXPECT_EQ(empty.m.grid, nullptr);
  EXPECT_EQ(modelBuildHolderGrid(&empty.m, 50, 0), nullptr);
  EXPECT_EQ(modelBuildIndex(nullptr), -1);

  std::vector<Tri3D> tris = {Tri3D{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}};
  TriModel bad(tris, makeCutter(kCutterBall, 5, 5));
  bad.m.boxMax.x = std::nan("");
  EXPECT_EQ(modelBuildIndex(&bad.m), -1);
  EXPECT_EQ(bad.m.grid, nullptr);
  bad.m.boxMax.x = 1e300;  // too elongated for any grid
  EXPECT_EQ(modelBuildIndex(&bad.m), -1);
}

TEST_F(ModelTest, HolderGridCellsAreTwiceTheReach) {
  std::vector<Tri3D> tris = {Tri3D{{{0, 0, 0}, {100, 0, 0}, {100, 1000, 0}}}};
  TriModel tm(tris, makeCutter(kCutterBall, 5, 5));
  // d = 5 + 50 sin(pi/6) = 30: columns trunc(100 / 60) + 1 = 2, rows min(30, 16 + 1) = 17.
  TriangleGrid* g = modelBuildHolderGrid(&tm.m, 50, std::numbers::pi / 6);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->columns, 2);
  EXPECT_EQ(g->rows, 17);
  triGridFree(g);
  // A tilt of zero counts as 0.001; a cutter without radius and no length gives the largest grid.
  tm.m.cutter->radius = 0;
  g = modelBuildHolderGrid(&tm.m, 0, 0);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->columns, 30);
  EXPECT_EQ(g->rows, 30);
  triGridFree(g);
}

TEST_F(ModelTest, SortingAndCornerOrder) {
  std::vector<Tri3D> tris = qdtest::randomSoup(300, 50, 7);
  Tri3List* list = lstTri3New(300);
  for (const Tri3D& t : tris) lstTri3Append(list, t);
  ASSERT_EQ(modelSortTris(list), 1);
  auto top = [](const Tri3D& t) { return std::max({t.v[0].z, t.v[1].z, t.v[2].z}); };
  for (int i = 1; i < list->count; ++i) EXPECT_GE(top(list->items[i - 1]), top(list->items[i]));
  lstBox3Free(list);

  const struct {
    double z0, z1, z2;
    int first;
  } rot[] = {{3, 2, 1, 0}, {1, 3, 2, 1}, {1, 2, 2, 1}, {1, 2, 3, 2}, {2, 2, 1, 0}, {2, 1, 2, 0}};
  for (const auto& c : rot) {
    Tri3D t{{{0, 0, c.z0}, {1, 0, c.z1}, {0, 1, c.z2}}};
    const Tri3D before = t;
    modelTriHighestFirst(&t);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(t.v[k].x, before.v[(c.first + k) % 3].x);
  }

  QuadFacet cw = qdtest::quadOf({0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0});
  modelOrientQuadUp(&cw);
  EXPECT_EQ(modelQuadCorner(cw, 1).x, 1);  // corners 1 and 3 swapped: now counter-clockwise
  EXPECT_EQ(modelQuadCorner(cw, 3).x, 0);
  QuadFacet ccw = cw;
  modelOrientQuadUp(&ccw);
  EXPECT_EQ(modelQuadCorner(ccw, 1).x, 1);  // already counter-clockwise: unchanged
  QuadFacet q[3] = {qdtest::quadOf({0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}),
                    qdtest::quadOf({0, 0, 5}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}),
                    qdtest::quadOf({0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 3})};
  ASSERT_EQ(modelSortQuads(3, q), 1);
  EXPECT_EQ(modelQuadCorner(q[0], 0).z, 5);
  EXPECT_EQ(modelQuadCorner(q[1], 3).z, 3);
}

TEST_F(ModelTest, BoxGrowsBySubModelsThatHoldFacets) {
  TriModel tm(qdtest::terrainMesh(2, 10), makeCutter(kCutterBall, 5, 5));
  SubModel* empty = modelNewSubModel(&tm.m, 0, 0, 3, 0, 1);
  SubModel* far = modelNewSubModel(&tm.m, 0, 0, 3, 0, 1);
  lstTri3Append(far->triangles, Tri3D{{{50, 60, 70}, {51, 60, 70}, {50, 61, 70}}});
  far->boxMin = Point3D{50, 60, 70};
  far->boxMax = Point3D{51, 61, 70};
  empty->next = far;
  tm.m.subModels = empty;
  modelGrowBoxBySubModels(&tm.m);
  EXPECT_EQ(tm.m.boxMax.y, 61);
  EXPECT_EQ(tm.m.boxMax.z, 70);
  EXPECT_EQ(tm.m.boxMin.x, 0);
}

}  // namespace
