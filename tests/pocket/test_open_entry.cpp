// Open-side entry on small trees: where a ring is entered from an open node (the longest open
// element within reach, -2 elements only as a fallback), the refusal of an entry line that
// crosses a closed wall, the rotation of a ring to its entry point and the trimming of a run that
// turns back.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/open_entry.h"

namespace {
using pocktest::polygon;

class OpenEntryTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    ctreeResetState();
    layerResetState();
    pockRunReset();
    pockOpenEntryResetState();
  }
};

std::vector<ContourElement> rect(double x0, double y0, double x1, double y1, int tag = 0) {
  return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, tag);
}

int addNode(const std::vector<ContourElement>& e) {
  ContourHeader h{};
  h.ccw = 1;
  h.leftSide = 1;
  h.count = static_cast<int>(e.size());
  return ctreeAdd(e.data(), &h, 0, 0);
}

void addInput(const std::vector<ContourElement>& e) {
  ContourHeader h{};
  h.count = static_cast<int>(e.size());
  ASSERT_EQ(layerInsertContour("INPUT", e.data(), &h, -1), 1);
}
}  // namespace

// The open node v (0..10 square, its top open) and rings above it and beyond a wall: the entry is
// the middle of the open element and the nearest point of the ring; a line through the wall is
// refused with the crossing test and accepted without; a ring beyond the reach is not entered.
TEST_F(OpenEntryTest, EntryFromTheLongestOpenElementAndTheWallTest) {
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(layerCreate("INPUT"), 1);
  addInput(rect(20, -20, 21, 40));  // a closed wall at x = 20
  auto v = rect(0, 0, 10, 10);
  v[2].tag = kContTagOpen;  // the top, from (10, 10) to (0, 10)
  const int nv = addNode(v);
  const int above = addNode(rect(0, 14, 10, 24));
  const int beyond = addNode(rect(30, 5, 40, 15));
  Point2D q{};
  Point2D p{};
  EXPECT_EQ(pockFindEntry(&q, &p, 5, 1, above, nv), 0);  // p on the bottom element
  EXPECT_NEAR(q.x, 5, 1e-9);
  EXPECT_NEAR(q.y, 10, 1e-9);
  EXPECT_NEAR(p.x, 5, 1e-9);
  EXPECT_NEAR(p.y, 14, 1e-9);
  EXPECT_EQ(pockFindEntry(&q, &p, 3, 1, above, nv), -1);  // beyond the reach
  EXPECT_EQ(pockFindEntry(&q, &p, 40, 1, beyond, nv), -1);
  EXPECT_GE(pockFindEntry(&q, &p, 40, 0, beyond, nv), 0);
  EXPECT_EQ(pockEntryLineFree(p, q), 0);
  EXPECT_EQ(pockEntryLineFree({5, 14}, {5, 10}), 1);
  // Touching the wall at p itself is no crossing.
  EXPECT_EQ(pockEntryLineFree({20, 5}, {5, 5}), 1);
}

// Elements tagged -2 are entry candidates only when no -1 element qualifies, even when longer.
TEST_F(OpenEntryTest, UsedOpenElementsAreTheFallback) {
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(layerCreate("INPUT"), 1);
  auto v = polygon({{0, 0}, {10, 0}, {10, 10}, {4, 10}, {0, 10}});
  v[2].tag = kContTagOpenBnd;  // (10,10)-(4,10), the longer
  v[3].tag = kContTagOpen;     // (4,10)-(0,10)
  const int nv = addNode(v);
  const int ring = addNode(rect(0, 13, 10, 23));
  Point2D q{};
  Point2D p{};
  ASSERT_GE(pockFindEntry(&q, &p, 5, 1, ring, nv), 0);
  EXPECT_NEAR(q.x, 2, 1e-9);
  v[3].tag = 0;  // no -1 element left: the -2 one is used
  ctreeSetElems(v.data(), 5, ctreeNodeAt(nv)->block);
  ASSERT_GE(pockFindEntry(&q, &p, 5, 1, ring, nv), 0);
  EXPECT_NEAR(q.x, 7, 1e-9);
}

// The ring rotated to start at p on element k: one element more, the same length, starting and
// ending at p; the shift moves q away from p along the line.
TEST_F(OpenEntryTest, RotateAtEntryAndShiftAway) {
  ASSERT_EQ(ctreeInit(1), 1);
  const int b = addNode(rect(0, 0, 20, 10));
  ASSERT_EQ(pockRotateNodeAt(b, 2, {5, 10}), 1);
  const ContourTreeNode* nd = ctreeNodeAt(b);
  ASSERT_EQ(nd->count, 5);
  std::vector<ContourElement> e(5);
  ASSERT_EQ(ctreeGetElems(e.data(), 5, nd->block), 1);
  EXPECT_NEAR(contLength(e.data(), 5), 60, 1e-9);
  EXPECT_EQ(contIsClosed(e.data(), 5), 1);
  EXPECT_NEAR(contElemStart(e[0]).x, 5, 1e-12);
  EXPECT_NEAR(contElemStart(e[0]).y, 10, 1e-12);
  Point2D q{3, 4};
  EXPECT_EQ(pockShiftAway(5, &q, {0, 0}), 1);
  EXPECT_NEAR(q.x, 6, 1e-12);
  EXPECT_NEAR(q.y, 8, 1e-12);
  Point2D same{0, 0};
  EXPECT_EQ(pockShiftAway(5, &same, {0, 0}), 0);
}

// A run whose last element turns back against the one before loses it (tagged -1); a straight or
// single-element run stays.
TEST_F(OpenEntryTest, TrimReversal) {
  auto ring = polygon({{0, 0}, {10, 0}, {10, 5}, {10, 0.5}, {0, 0.5}});
  int last = 2;
  EXPECT_EQ(pockTrimReversal(0, &last, ring.data(), 5), 1);  // (10,5)->(10,0.5) turns back
  EXPECT_EQ(last, 1);
  EXPECT_EQ(ring[2].tag, kContTagOpen);
  last = 1;
  EXPECT_EQ(pockTrimReversal(0, &last, ring.data(), 5), 0);
  last = 0;
  EXPECT_EQ(pockTrimReversal(0, &last, ring.data(), 5), 0);
  EXPECT_EQ(contAllMarked(ring.data(), 0), 1);
  EXPECT_EQ(contAllMarked(ring.data(), 5), 0);
}
