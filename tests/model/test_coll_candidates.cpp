// Tests of the collision candidate lists: filling in both modes with and without sub-models,
// the radius differences and the largest cutter, highest-corner-first rotation, the height
// order, the sub-model questions, the candidate set view and allocation failures.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "model/coll_candidates.h"
#include "model_fixture.h"

namespace {

using qdtest::makeCutter;
using qdtest::TriModel;

Tri3D tri(double x, double z0, double z1, double z2) {
  return Tri3D{{{x, 0, z0}, {x + 1, 0, z1}, {x, 1, z2}}};
}

// Plan normal direction (sign of the z component of the cross product) of a triangle.
double normalZ(const Tri3D& t) {
  const double ax = t.v[1].x - t.v[0].x, ay = t.v[1].y - t.v[0].y;
  const double bx = t.v[2].x - t.v[0].x, by = t.v[2].y - t.v[0].y;
  return ax * by - ay * bx;
}

// Appends a triangle sub-model whose cutter radius differs from the model's by delta.
SubModel* addSubModel(SurfaceModel* m, double delta, int additional,
                      const std::vector<Tri3D>& tris) {
  SubModel* sub = modelNewSubModel(m, 0.0, 0, 3, additional, static_cast<int>(tris.size()));
  EXPECT_NE(sub, nullptr);
  sub->cutter.radius += delta;
  for (const Tri3D& t : tris) lstTri3Append(sub->triangles, t);
  SubModel** tail = &m->subModels;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = sub;
  return sub;
}

const PtrValPair* pairsOf(const CollCtx& ctx) {
  return static_cast<const PtrValPair*>(ctx.pairs->items);
}

class CollCtxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collCtxResetState();
    geoErrReset();
  }
  void TearDown() override {
    collCtxFree(&ctx);
    memTestFailAt(0);
  }
  WalkParams listMode(SurfaceModel* m) {
    WalkParams p{};
    p.model = m;
    p.mode = 1;
    return p;
  }
  CollCtx ctx{};
};

TEST_F(CollCtxTest, ListModeWithoutSubModelsCarriesZeroAndTheModelCutter) {
  TriModel tm({tri(0, 1, 2, 3), tri(2, 5, 4, 4), tri(4, 0, 0, 0)}, makeCutter(kCutterBall, 5, 5));
  WalkParams p = listMode(&tm.m);
  ASSERT_EQ(collCtxAlloc(&ctx, &p), 1);
  ASSERT_NE(ctx.wallAllowances, nullptr);
  ASSERT_NE(ctx.triAllowances, nullptr);
  CutterShape out = makeCutter(kCutterFlat, 0, 0);
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  EXPECT_EQ(out.type, kCutterBall);
  EXPECT_EQ(out.radius, 5.0);
  ASSERT_EQ(ctx.pairs->count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pairsOf(ctx)[i].value, 0.0f);
  EXPECT_EQ(collCtxFlagged(), 0);
}

// A sub-model whose cutter is 0.5 larger: its triangles carry 0, the model's -0.5, and the
// output cutter is the sub-model's. The pairs come highest first, every triangle's first corner
// is its highest, and the rotation keeps the orientation.
TEST_F(CollCtxTest, LargerSubModelCutterShiftsTheModelTriangles) {
  TriModel tm({tri(0, 1, 3, 3), tri(2, 7, 2, 9), tri(4, -1, -2, -3)},
              makeCutter(kCutterBall, 5, 5));
  std::vector<double> signs;
  for (int i = 0; i < 3; ++i) signs.push_back(normalZ(tm.m.triangles->items[i]));
  SubModel* sub = addSubModel(&tm.m, 0.5, 1, {tri(6, 4, 4, 8), tri(8, 0, 6, 1)});
  WalkParams p = listMode(&tm.m);
  ASSERT_EQ(collCtxAlloc(&ctx, &p), 1);
  CutterShape out = *tm.m.cutter;
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  EXPECT_EQ(out.radius, 5.5);
  EXPECT_EQ(collCtxFlagged(), 1);
  ASSERT_EQ(ctx.pairs->count, 5);
  const Tri3D* modelTris = tm.m.triangles->items;
  const Tri3D* subTris = sub->triangles->items;
  double previous = 1e300;
  for (int i = 0; i < 5; ++i) {
    const PtrValPair& pair = pairsOf(ctx)[i];
    const auto* t = static_cast<const Tri3D*>(pair.ptr);
    const bool ofModel = t >= modelTris && t < modelTris + 3;
    EXPECT_TRUE(ofModel || (t >= subTris && t < subTris + 2));
    EXPECT_EQ(pair.value, ofModel ? -0.5f : 0.0f);
    EXPECT_GE(t->v[0].z, t->v[1].z);
    EXPECT_GE(t->v[0].z, t->v[2].z);
    EXPECT_LE(t->v[0].z, previous);
    previous = t->v[0].z;
  }
  for (int i = 0; i < 3; ++i) EXPECT_GT(normalZ(modelTris[i]) * signs[i], 0.0);
  // Heights (1, 3, 3): V1 is not lower than V0 or V2, so (V1, V2, V0), not (V2, V0, V1).
  const Tri3D* found = nullptr;
  for (int i = 0; i < 3; ++i) {
    if (modelTris[i].v[0].z == 3.0 && std::fmax(modelTris[i].v[0].x, modelTris[i].v[1].x) <= 1.0) {
      found = &modelTris[i];
    }
  }
  ASSERT_NE(found, nullptr);
  const Tri3D& first = *found;
  EXPECT_EQ(first.v[0].x, 1.0);
  EXPECT_EQ(first.v[0].y, 0.0);
  EXPECT_EQ(first.v[1].x, 0.0);
  EXPECT_EQ(first.v[1].y, 1.0);
  EXPECT_EQ(first.v[2].x, 0.0);
  EXPECT_EQ(first.v[2].y, 0.0);
}

TEST_F(CollCtxTest, HighestFirstRotationTable) {
  struct Case {
    double z0, z1, z2;
    int firstCorner;  // index of the corner that comes first
  } cases[] = {{1, 3, 3, 1}, {3, 3, 1, 1}, {2, 2, 2, 1}, {1, 2, 3, 2},
               {3, 1, 3, 2}, {3, 1, 2, 0}, {1, 3, 2, 1}};
  for (const Case& c : cases) {
    Tri3D t = tri(0, c.z0, c.z1, c.z2);
    const Tri3D before = t;
    CollCtx one{};
    one.pairs = lstPairNew(1);
    lstPairAppend(one.pairs, PtrValPair{&t, 0.0f});
    collCtxTriHighestFirst(&one);
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(t.v[k].x, before.v[(c.firstCorner + k) % 3].x) << c.z0 << c.z1 << c.z2;
      EXPECT_EQ(t.v[k].z, before.v[(c.firstCorner + k) % 3].z);
    }
    collCtxFree(&one);
  }
}

TEST_F(CollCtxTest, IndexModeListsEveryTriangleAndCopiesTheCutter) {
  TriModel tm({tri(0, 1, 2, 3), tri(2, 5, 4, 4)}, makeCutter(kCutterTorus, 6, 2));
  WalkParams p{};
  p.model = &tm.m;
  ASSERT_EQ(collCtxAlloc(&ctx, &p), 1);
  EXPECT_EQ(ctx.pairs, nullptr);
  CutterShape out = makeCutter(kCutterBall, 1, 1);
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  EXPECT_EQ(out.type, kCutterTorus);
  ASSERT_EQ(ctx.candidates->count, 2);
  EXPECT_EQ(ctx.candidates->items[0], 0);
  EXPECT_EQ(ctx.candidates->items[1], 1);
  // A second fill starts over.
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  EXPECT_EQ(ctx.candidates->count, 2);
}

// The additional flag was cleared only by list-mode fills, so one run's extra sub-models were
// still reported after an index-mode fill.
TEST_F(CollCtxTest, EveryFillClearsTheAdditionalFlag) {
  TriModel tm({tri(0, 1, 2, 3)}, makeCutter(kCutterBall, 5, 5));
  addSubModel(&tm.m, 0.0, 1, {tri(3, 1, 1, 1)});
  WalkParams p = listMode(&tm.m);
  ASSERT_EQ(collCtxAlloc(&ctx, &p), 1);
  CutterShape out = *tm.m.cutter;
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  ASSERT_EQ(collCtxFlagged(), 1);
  WalkParams indexMode{};
  indexMode.model = &tm.m;
  ASSERT_EQ(collCtxAlloc(&ctx, &indexMode), 1);
  ASSERT_EQ(collCtxFill(&ctx, &indexMode, &out), 1);
  EXPECT_EQ(collCtxFlagged(), 0);
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  ASSERT_EQ(collCtxFlagged(), 1);
  collCtxResetState();  // the start of the next run
  EXPECT_EQ(collCtxFlagged(), 0);
}

TEST_F(CollCtxTest, SubModelQuestions) {
  TriModel tm({tri(0, 1, 2, 3), tri(1, 1, 2, 3), tri(2, 1, 2, 3)}, makeCutter(kCutterBall, 5, 5));
  addSubModel(&tm.m, 0.0, 0, {tri(3, 1, 1, 1), tri(4, 1, 1, 1)});
  addSubModel(&tm.m, 0.0, 1, {tri(5, 1, 1, 1)});
  WalkParams p = listMode(&tm.m);
  const struct { int n, flag; } flags[] = {{0, 0}, {-1, 0}, {1, 0}, {2, 1}, {3, 0}, {50, 0}};
  for (const auto& c : flags) EXPECT_EQ(collLevelFlagAt(&p, c.n), c.flag) << c.n;
  EXPECT_EQ(collLevelFlagAt(nullptr, 1), 0);
  const struct {
    int index, part;
  } parts[] = {{-7, -7}, {-1, -1}, {0, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 2}, {6, -1}, {99, -1}};
  for (const auto& c : parts) EXPECT_EQ(collSubModelOfTriangle(&tm.m, c.index), c.part) << c.index;
  EXPECT_EQ(collSubModelOfTriangle(nullptr, 0), -1);
}

TEST_F(CollCtxTest, NullInputsAreRefused) {
  WalkParams p{};
  CutterShape out{};
  EXPECT_EQ(collCtxAlloc(nullptr, &p), -20);
  EXPECT_EQ(collCtxAlloc(&ctx, nullptr), -20);
  EXPECT_EQ(collCtxFill(&ctx, &p, &out), -20);  // no model
  TriModel tm({tri(0, 1, 2, 3)}, makeCutter(kCutterBall, 5, 5));
  memFree(tm.m.cutter);
  tm.m.cutter = nullptr;
  p = listMode(&tm.m);
  ASSERT_EQ(collCtxAlloc(&ctx, &p), 1);
  EXPECT_EQ(collCtxFill(&ctx, &p, &out), -20);  // list mode needs the model's cutter
  collCtxFree(nullptr);
}

// Every allocation of the list-mode set-up and of a fill that outgrows the pair list fails in
// turn: -1, and collCtxFree leaves nothing behind.
TEST_F(CollCtxTest, AllocationFailureWalk) {
  std::vector<Tri3D> tris;
  for (int i = 0; i < 700; ++i) tris.push_back(tri(i, i % 7, 1, 2));
  TriModel tm(tris, makeCutter(kCutterBall, 5, 5));
  std::vector<Tri3D> subTris(tris.begin(), tris.begin() + 400);
  addSubModel(&tm.m, 1.0, 0, subTris);
  WalkParams p = listMode(&tm.m);
  int failures = 0;
  for (long n = 1;; ++n) {
    CollCtx c{};
    CutterShape out = *tm.m.cutter;
    memTestFailAt(n);
    int r = collCtxAlloc(&c, &p);
    if (r == 1) r = collCtxFill(&c, &p, &out);
    memTestFailAt(0);
    collCtxFree(&c);
    EXPECT_EQ(c.pairs, nullptr);
    if (r == 1) break;
    EXPECT_EQ(r, -1) << n;
    EXPECT_EQ(geoErrCode(), -1);
    ++failures;
  }
  EXPECT_GE(failures, 4);  // three lists and one growth of the pair list
}

// ---- candidate set ----------------------------------------------------------------------------

TEST_F(CollCtxTest, CandidateSetInIndexMode) {
  TriModel tm({tri(0, 9, 1, 2), tri(3, 8, 1, 2), tri(6, 7, 1, 2), tri(9, 6, 1, 2), tri(12, 5, 1, 2),
               tri(15, 4, 1, 2), tri(18, 3, 1, 2)},
              makeCutter(kCutterBall, 5, 5));
  WalkParams p{};
  p.model = &tm.m;
  ctx.triangles = tm.m.triangles;
  ctx.boxMin = tm.m.facetMin;
  ctx.boxMax = tm.m.facetMax;
  ASSERT_EQ(collCtxAlloc(&ctx, &p), 1);
  CutterShape out{};
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  ASSERT_EQ(collSetCount(&ctx), 7);
  EXPECT_EQ(collSetItem(&ctx, 3), &tm.m.triangles->items[3]);
  Point3D lo{}, hi{};
  ASSERT_EQ(collSetItemBox(&ctx, 3, &lo, &hi), 1);
  EXPECT_EQ(lo.x, tm.m.facetMin[3].x);
  EXPECT_EQ(hi.z, tm.m.facetMax[3].z);
  ASSERT_EQ(collSetBox(&ctx, &lo, &hi), 1);
  EXPECT_EQ(lo.x, 0.0);
  EXPECT_EQ(hi.x, 19.0);
  EXPECT_EQ(hi.z, 9.0);
  ASSERT_EQ(collSetRemove(&ctx, 2), 1);
  ASSERT_EQ(collSetRemove(&ctx, 5), 1);
  EXPECT_EQ(collSetRemove(&ctx, 7), 0);
  EXPECT_EQ(collSetItem(&ctx, 2), nullptr);
  EXPECT_EQ(collSetItemBox(&ctx, 5, &lo, &hi), 0);
  auto* list = static_cast<IntList*>(collSetCompact(&ctx));
  ASSERT_EQ(list, ctx.candidates);
  ASSERT_EQ(list->count, 5);
  const int expected[] = {0, 1, 3, 4, 6};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list->items[i], expected[i]);
  EXPECT_EQ(list->max, 6);
}

TEST_F(CollCtxTest, CandidateSetInAddressMode) {
  TriModel tm({tri(0, 9, 1, 2), tri(3, 8, 1, 2), tri(6, 7, 1, 2), tri(9, 6, 1, 2), tri(12, 5, 1, 2),
               tri(15, 4, 1, 2), tri(18, 3, 1, 2)},
              makeCutter(kCutterBall, 5, 5));
  WalkParams p = listMode(&tm.m);
  ASSERT_EQ(collCtxAlloc(&ctx, &p), 1);
  CutterShape out = *tm.m.cutter;
  ASSERT_EQ(collCtxFill(&ctx, &p, &out), 1);
  ASSERT_EQ(collSetCount(&ctx), 7);
  std::vector<const Tri3D*> order;
  for (int i = 0; i < 7; ++i) order.push_back(collSetItem(&ctx, i));
  Point3D lo{}, hi{};
  ASSERT_EQ(collSetItemBox(&ctx, 0, &lo, &hi), 1);
  EXPECT_EQ(lo.z, 1.0);
  EXPECT_EQ(hi.z, 9.0);
  EXPECT_EQ(hi.x, 1.0);
  ASSERT_EQ(collSetRemove(&ctx, 0), 1);
  ASSERT_EQ(collSetRemove(&ctx, 6), 1);
  ASSERT_EQ(collSetBox(&ctx, &lo, &hi), 1);  // the union of the candidates still present
  EXPECT_EQ(lo.x, 3.0);
  EXPECT_EQ(hi.x, 16.0);
  EXPECT_EQ(hi.z, 8.0);
  ASSERT_EQ(collSetRemove(&ctx, 2), 1);
  ASSERT_EQ(collSetRemove(&ctx, 5), 1);
  auto* list = static_cast<RecList*>(collSetCompact(&ctx));
  ASSERT_EQ(list, ctx.pairs);
  ASSERT_EQ(list->count, 3);
  EXPECT_EQ(collSetItem(&ctx, 0), order[1]);
  EXPECT_EQ(collSetItem(&ctx, 1), order[3]);
  EXPECT_EQ(collSetItem(&ctx, 2), order[4]);
}

TEST_F(CollCtxTest, EmptyCandidateSet) {
  Point3D lo{}, hi{};
  EXPECT_EQ(collSetCount(&ctx), 0);
  EXPECT_EQ(collSetCount(nullptr), 0);
  EXPECT_EQ(collSetItem(&ctx, 0), nullptr);
  EXPECT_EQ(collSetItemBox(&ctx, 0, &lo, &hi), 0);
  EXPECT_EQ(collSetBox(&ctx, &lo, &hi), 0);
  EXPECT_EQ(collSetRemove(&ctx, 0), 0);
  EXPECT_EQ(collSetCompact(&ctx), nullptr);
}

}  // namespace
