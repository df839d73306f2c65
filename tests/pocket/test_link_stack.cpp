// Contour stack of the ring linkers: order, growth past 400 entries without refusal, the empty
// stack, a failed growth, and the resolution of the symbolic ring ends.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/memory.h"
#include "pocket/contour_tree.h"
#include "pocket/layer_store.h"
#include "pocket/link_stack.h"

namespace {
class LinkStackTest : public ::testing::Test {
 protected:
  void SetUp() override { pockStackResetState(); }
  void TearDown() override {
    memTestFailAt(0);
    pockStackResetState();
  }
};

LinkStackEntry entry(int node) {
  LinkStackEntry e;
  std::memset(&e, 0, sizeof e);
  e.node = node;
  e.from = LinkRef{node % 7, {node * 0.5, -node * 0.25}};
  e.to = LinkRef{-1, {1, 2}};
  return e;
}

// A push beyond 400 entries was refused and left part of a ring uncut: the stack grows.
TEST_F(LinkStackTest, GrowsPastItsFirstBlockAndKeepsOrder) {
  for (int k = 0; k < 1000; ++k) {
    const LinkStackEntry e = entry(k);
    ASSERT_EQ(pockStackPush(&e), 1) << k;
  }
  EXPECT_EQ(pockStackTop(), 999);
  LinkStackEntry out{};
  for (int k = 999; k >= 0; --k) {
    ASSERT_EQ(pockStackPeek(&out), 1);
    EXPECT_EQ(out.node, k);
    ASSERT_EQ(pockStackPop(&out), 1);
    const LinkStackEntry e = entry(k);
    ASSERT_EQ(out.from.element, e.from.element);
    ASSERT_EQ(out.from.point.x, e.from.point.x);
    ASSERT_EQ(out.from.point.y, e.from.point.y);
    ASSERT_EQ(out.to.element, e.to.element);
    ASSERT_EQ(out.to.point.y, e.to.point.y);
  }
  EXPECT_EQ(pockStackTop(), -1);
  out.node = 55;
  EXPECT_EQ(pockStackPop(&out), 0);
  EXPECT_EQ(pockStackPeek(&out), 0);
  EXPECT_EQ(out.node, 55);
}

TEST_F(LinkStackTest, ClearEmptiesAndFailedGrowthRefuses) {
  for (int k = 0; k < kLinkStackInitial; ++k) {
    const LinkStackEntry e = entry(k);
    ASSERT_EQ(pockStackPush(&e), 1);
  }
  const LinkStackEntry e = entry(9999);
  memTestFailAt(1);
  EXPECT_EQ(pockStackPush(&e), -1);
  EXPECT_EQ(pockStackTop(), kLinkStackInitial - 1);
  LinkStackEntry out{};
  ASSERT_EQ(pockStackPeek(&out), 1);
  EXPECT_EQ(out.node, kLinkStackInitial - 1);
  EXPECT_EQ(pockStackPush(&e), 1);
  EXPECT_EQ(pockStackPush(nullptr), -1);
  pockStackClear();
  EXPECT_EQ(pockStackTop(), -1);
  EXPECT_EQ(pockStackPop(&out), 0);
}

TEST_F(LinkStackTest, ResolvesTheSymbolicEnds) {
  const ContourElement ring[3] = {contMakeLine(0, 0, 10, 0, 0),
                                  contMakeArc(10, 5, 10, 0, 10, 10, 5, 1, 0),
                                  contMakeLine(10, 10, 0, 0, 0)};
  LinkRef out{};
  EXPECT_EQ(linkResolveEndpoint(LinkRef{0, {7, 7}}, ring, 3, &out), 1);
  EXPECT_EQ(out.element, 1);
  EXPECT_EQ(out.point.x, 0);
  EXPECT_EQ(out.point.y, 0);
  EXPECT_EQ(linkResolveEndpoint(LinkRef{-1, {7, 7}}, ring, 3, &out), 1);
  EXPECT_EQ(out.element, 3);
  EXPECT_EQ(out.point.x, 0);
  EXPECT_EQ(linkResolveEndpoint(LinkRef{2, {7, 8}}, ring, 3, &out), 0);
  EXPECT_EQ(out.element, 2);
  EXPECT_EQ(out.point.y, 8);
  // An empty ring has no ends to resolve (its last element would be read before the array).
  EXPECT_EQ(linkResolveEndpoint(LinkRef{-1, {7, 7}}, ring, 0, &out), 0);
  EXPECT_EQ(out.element, -1);
  EXPECT_EQ(linkResolveEndpoint(LinkRef{0, {7, 7}}, nullptr, 3, &out), 0);
  EXPECT_EQ(out.element, 0);
}
// A pushed ring is marked visited in the nesting tree; a ring in state 3 or done keeps its state.
TEST_F(LinkStackTest, PushMarksTheTreeNode) {
  ASSERT_EQ(ctreeInit(1), 1);
  const ContourElement ring[3] = {contMakeLine(0, 0, 1, 0, 0), contMakeLine(1, 0, 0, 1, 0),
                                  contMakeLine(0, 1, 0, 0, 0)};
  ContourHeader h{};
  h.count = 3;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(ctreeAdd(ring, &h, 0, 0), i);
  ctreeSetState(1, 3);
  ctreeSetState(2, 1);
  for (int i = 0; i < 4; ++i) {
    const LinkStackEntry e = entry(i);  // node 3 does not exist: nothing to mark
    ASSERT_EQ(pockStackPush(&e), 1);
  }
  EXPECT_EQ(ctreeState(0), 2);
  EXPECT_EQ(ctreeState(1), 3);
  EXPECT_EQ(ctreeState(2), 1);
  ctreeFree();
}
}  // namespace
