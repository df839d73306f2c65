// Tests of the contact ids of traced segments mapped to running triangle indices of the model
// and its sub-models, and of the sub-model change of the walker's next contact.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/pko_list.h"
#include "model/coll_candidates.h"
#include "model/pko_map.h"
#include "model_fixture.h"

namespace {

using qdtest::makeCutter;
using qdtest::TriModel;

Tri3D tri(double x) { return Tri3D{{{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}}}; }

SubModel* addSubModel(SurfaceModel* m, int additional, int count, double x0) {
  SubModel* sub = modelNewSubModel(m, 0.0, 0, 3, additional, count);
  for (int i = 0; i < count; ++i) lstTri3Append(sub->triangles, tri(x0 + i));
  SubModel** tail = &m->subModels;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = sub;
  return sub;
}

// A model of 3 triangles with sub-models of 2 (plain) and 1 (additional) triangles; the
// allowance lists name the triangles in another order than the running index.
class PkoMapTest : public ::testing::Test {
 protected:
  PkoMapTest() : model({tri(0), tri(1), tri(2)}, makeCutter(1, 1, 1)) {}
  void SetUp() override {
    collCtxResetState();
    a = addSubModel(&model.m, 0, 2, 10);
    b = addSubModel(&model.m, 1, 1, 20);
    walk.model = &model.m;
    walk.mode = 1;
    ctx.triAllowances = lstPairNew(8);
    ctx.wallAllowances = lstPairNew(8);
    // Running indices by hand: model 0 .. 2, sub-model a 3 .. 4, sub-model b 5.
    const std::vector<std::pair<Tri3D*, int>> order = {
        {&b->triangles->items[0], 5}, {&model.m.triangles->items[1], 1},
        {&a->triangles->items[1], 4}, {&model.m.triangles->items[0], 0},
        {&a->triangles->items[0], 3}, {&model.m.triangles->items[2], 2}};
    for (const auto& [t, running] : order) {
      lstPairAppend(ctx.triAllowances, PtrValPair{t, 0.0f});
      expected.push_back(running);
    }
    // The wall list names other triangles: entry i is the (5 - i)-th running index.
    const auto* pairs = static_cast<const PtrValPair*>(ctx.triAllowances->items);
    for (int i = 0; i < 6; ++i) lstPairAppend(ctx.wallAllowances, pairs[5 - i]);
    traced = pkoListNew(4);
    slice.traced = traced;
  }
  void TearDown() override {
    lstRecFree(ctx.triAllowances);
    lstRecFree(ctx.wallAllowances);
    pkoListFree(traced);
  }
  // Makes the candidate fill see the additional sub-model (the marked level).
  void markLevel() {
    CollCtx fill{};
    CutterShape cutter{};
    ASSERT_EQ(collCtxAlloc(&fill, &walk), 1);
    ASSERT_EQ(collCtxFill(&fill, &walk, &cutter), 1);
    collCtxFree(&fill);
    ASSERT_EQ(collCtxFlagged(), 1);
  }
  TriModel model;
  SubModel* a = nullptr;
  SubModel* b = nullptr;
  CollCtx ctx{};
  WalkTool ball{10, 10, 1};
  WalkParams walk{};
  SliceContext slice{};
  PkoList* traced = nullptr;
  std::vector<int> expected;
};

TEST_F(PkoMapTest, IdsBecomeRunningIndices) {
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, i, 1), expected[i]) << i;
    EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, i, -3), expected[i]) << i;
    // Wall contacts, and every contact of a flat end mill, go through the wall list.
    EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, i, -4), expected[5 - i]) << i;
    const WalkTool flat{10, 0, 2};
    EXPECT_EQ(pkoMapTriangleIndex(&ctx, &flat, &walk, &slice, i, 1), expected[5 - i]) << i;
  }
  EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, -1, 1), -1);
  EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, 6, 1), -1);  // beyond the list
  // An address in none of the triangle lists.
  Tri3D stray = tri(50);
  lstPairAppend(ctx.triAllowances, PtrValPair{&stray, 0.0f});
  EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, 6, 1), -1);
  lstPairAppend(ctx.triAllowances,
                PtrValPair{reinterpret_cast<char*>(model.m.triangles->items) + 8, 0.0f});
  EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, 7, 1), -1);  // inside, misaligned
  // Other modes leave ids alone.
  walk.mode = 2;
  EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, 0, 1), 0);
  walk.mode = 0;
  EXPECT_EQ(pkoMapTriangleIndex(&ctx, &ball, &walk, &slice, 0, 1), 0);
}

TEST_F(PkoMapTest, IndicesOfTheTracedSegmentsFromAnIndexOn) {
  const int ids[] = {0, 1, -2, 2, 3};
  for (int id : ids) pkoListAppend(traced, Seg3D{}, {}, id, id == -2 ? -1 : 1);
  EXPECT_EQ(pkoMapTriangleIndices(&ctx, &ball, &walk, &slice, 1), 3);
  EXPECT_EQ(traced->ids[0], 0);  // before from
  EXPECT_EQ(traced->ids[1], expected[1]);
  EXPECT_EQ(traced->ids[2], -2);  // boundary pieces keep their id
  EXPECT_EQ(traced->ids[3], expected[2]);
  EXPECT_EQ(traced->ids[4], expected[3]);
  walk.mode = 2;
  EXPECT_EQ(pkoMapTriangleIndices(&ctx, &ball, &walk, &slice, 0), 0);
  EXPECT_EQ(pkoMapTriangleIndices(&ctx, &ball, &walk, nullptr, 0), 0);
}

// 1 only for a step onto another part of the model while an additional sub-model is in play.
TEST_F(PkoMapTest, ContactChangesSubModel) {
  pkoListAppend(traced, Seg3D{}, {}, 1, 1);  // last contact: model triangle 1
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 0, 1), 0);  // not marked
  markLevel();
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 3, 1), 0);  // model again
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 4, 1), 1);  // sub-model a
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 0, 2), 1);  // sub-model b
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, -1, 0), 0);
  walk.mode = 0;
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 4, 1), 0);
  walk.mode = 1;
  traced->ids[0] = -2;  // the last segment is a boundary piece: no last contact
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 4, 1), 0);
  pkoListReset(traced);
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 4, 1), 0);
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, nullptr, 4, 1), 0);
  // Between the two sub-models.
  pkoListAppend(traced, Seg3D{}, {}, 2, 1);  // sub-model a
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 0, 1), 1);
  EXPECT_EQ(collContactChangesSubModel(&ctx, &ball, &walk, &slice, 4, 1), 0);
}

}  // namespace
