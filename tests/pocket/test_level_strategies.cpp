// The contour-parallel level strategies run directly on a MAIN layer: every ring of the level cut,
// the direct strategy's stepover fitted per level only, the tree freed on every exit (each
// allocation failing in turn), the gap rule of the direct strategy, and the rotation of a ring to
// the middle of its longest line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "framework/memory.h"
#include "pocket/contour_element.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"
#include "pocket/link_stack.h"
#include "pocket/offset_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "pocket/pock_output.h"
#include "pocket/ring_linker.h"
#include "pocket/ring_loops.h"
#include "pocket/tangent_link.h"

namespace {

class LevelStrategyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memResetState();
    pockRunReset();
    layerResetState();
    pockGeometryResetState();
    ctreeResetState();
    pockStackResetState();
    linkSearchResetState();
    ringLoopsResetState();
    ringSettingsResetState();
    ringLinkerResetState();
    tangentLinkResetState();
    pockOutputRunReset();
    pockLevelResetState();
    PockEngine& e = pockEngine();
    e.pockToolRadius = 5;
    e.pockStepFactor = 0.5 * 0.99;
    e.ccpOuterOrientation = 1;
  }
  void TearDown() override {
    memResetState();
    pockOutputRunReset();
    ctreeResetState();
    pockStackResetState();
    linkSearchResetState();
    layerResetState();
  }
};

std::vector<ContourElement> rect(double x0, double y0, double x1, double y1, bool ccw) {
  std::vector<ContourElement> e = {contMakeLine(x0, y0, x1, y0, 0), contMakeLine(x1, y0, x1, y1, 0),
                                   contMakeLine(x1, y1, x0, y1, 0),
                                   contMakeLine(x0, y1, x0, y0, 0)};
  if (!ccw) {
    std::vector<ContourElement> r;
    for (auto it = e.rbegin(); it != e.rend(); ++it) {
      r.push_back(contMakeLine(it->p2, it->p3, it->p0, it->p1, 0));
    }
    return r;
  }
  return e;
}

// MAIN and INPUT: an outer rectangle (counter-clockwise, outer) and a clockwise island.
void pocketWithIsland() {
  for (const char* layer : {"MAIN", "INPUT"}) {
    layerCreate(layer);
    const std::vector<ContourElement> outer = rect(0, 0, 80, 60, true);
    const std::vector<ContourElement> island = rect(30, 20, 50, 40, false);
    ContourHeader h{};
    h.count = 4;
    h.leftSide = 1;
    h.ccw = 1;
    h.zBottom = -5;
    layerInsertContour(layer, outer.data(), &h, -1);
    h.ccw = 0;
    layerInsertContour(layer, island.data(), &h, -1);
  }
  pockAllowancesFromLayer("MAIN");
}

// The collected path's length and new starts.
struct Collected {
  double length = 0;
  int starts = 0;
  int elements = 0;
};
Collected collected() {
  Collected c;
  const PockElemList* list = pockOutput().pockCollected;
  for (const PockElemNode* n = list != nullptr ? list->first : nullptr; n != nullptr; n = n->next) {
    for (int i = 0; i < n->count; ++i) {
      c.length += contElemLength(n->elements[i]);
      c.starts += n->elements[i].tag != 0 ? 1 : 0;
      ++c.elements;
    }
  }
  return c;
}

}  // namespace

// Both linkings cut the level: the path is at least as long as the pocket's area over the step.
TEST_F(LevelStrategyTest, FullLevelCutsTheRings) {
  for (int direct : {0, 1}) {
    SetUp();
    pockEngine().pockDirectLinking = direct;
    pocketWithIsland();
    pockCollectStart();
    EXPECT_GE(pockLevelFull(), 0) << direct;
    const Collected c = collected();
    const double step = 2 * pockEngine().pockStepFactor * 5;
    // The tool-centre region (70 x 50 less the island grown by R) over the step, roughly.
    EXPECT_GT(c.length, (70 * 50 - 30 * 30) / step * 0.8) << direct;
    EXPECT_GE(c.starts, 1);
    EXPECT_EQ(ctreeNodeCount(), 0);  // the tree is freed
    TearDown();
  }
}

// A level begun with a start ring matched (as a level that linked one tree leaves it) links only
// the start ring's tree when it retracts at each plane, without direct linking or stock mode; a
// rest pass links every tree. A wall across the pocket, leaving gaps narrower than the tool, cuts
// the rings into a left and a right tree; the start point lies on the left.
TEST_F(LevelStrategyTest, KeepFirstTreeOnly) {
  struct Case {
    const char* name;
    int found, direct, retract, restPass;
    bool rightCut;
  };
  const Case cases[] = {
      {"start ring matched", 1, 0, 1, 0, false}, {"rest pass", 1, 0, 1, 1, true},
      {"no match yet", 0, 0, 1, 0, true},        {"retractEachPlane off", 1, 0, 0, 0, true},
      {"direct linking", 1, 1, 1, 0, true},
  };
  for (const Case& c : cases) {
    SetUp();
    PockEngine& e = pockEngine();
    e.pockDirectLinking = c.direct;
    e.pockRetractEachPlane = c.retract;
    e.pockRestPass = c.restPass;
    e.pockStartSet = 1;
    e.pockStartPoint = {20, 20};
    e.ctreeStartMatch.found = c.found;
    layerCreate("MAIN");
    ContourHeader h{};
    h.count = 4;
    h.leftSide = 1;
    h.ccw = 1;
    h.zBottom = -5;
    layerInsertContour("MAIN", rect(0, 0, 100, 40, true).data(), &h, -1);
    h.ccw = 0;
    layerInsertContour("MAIN", rect(45, 4, 55, 36, false).data(), &h, -1);
    pockAllowancesFromLayer("MAIN");
    EXPECT_EQ(pockKeepFirstTreeOnly(), c.found && !c.direct && c.retract ? 1 : 0) << c.name;
    pockCollectStart();
    EXPECT_GE(pockLevelFull(), 0) << c.name;
    double left = 1e9, right = -1e9;
    const PockElemList* list = pockOutput().pockCollected;
    for (const PockElemNode* n = list != nullptr ? list->first : nullptr; n; n = n->next) {
      for (int i = 0; i < n->count; ++i) {
        left = std::min({left, n->elements[i].p0, n->elements[i].p2});
        right = std::max({right, n->elements[i].p0, n->elements[i].p2});
      }
    }
    EXPECT_LT(left, 45) << c.name;
    EXPECT_EQ(right > 55, c.rightCut) << c.name << " right " << right;
    TearDown();
  }
}

// The direct strategy fits its stepover to the level's narrowest gap for that level only: the
// run's factor is in force again for the next level.
TEST_F(LevelStrategyTest, DirectStepoverFittedPerLevel) {
  pockEngine().pockDirectLinking = 1;
  pockEngine().pockStepFactor = 0.45;
  pocketWithIsland();
  pockCollectStart();
  EXPECT_GE(pockLevelFull(), 0);
  EXPECT_EQ(pockEngine().pockStepFactor, 0.45);
}

// The gap rule: n equal steps fill the gap; a gap of 10 + 0.05 (10 after the margin) with a step
// of 4 gives 3 steps of 10 / 3.
TEST_F(LevelStrategyTest, DirectGapRule) {
  EXPECT_EQ(pockDirectStepCount(10, 4), 3);
  const double g = 10.05 - 0.05;
  const int n = pockDirectStepCount(g, 4);
  const double r = 2;
  const double factor = g / (r * n * 2);
  EXPECT_NEAR(2 * factor * r, 10.0 / 3, 1e-12);
  EXPECT_EQ(pockDirectStepCount(3.9, 4), 1);
  EXPECT_EQ(pockDirectStepCount(8, 4), 3);
  EXPECT_EQ(pockDirectStepCount(-1, 4), 1);
  EXPECT_EQ(pockDirectStepCount(10, 0), 1);
}

// Every allocation failing in turn: the level fails or completes, and the tree is freed on every
// exit (the sanitizer's leak check sees the rest).
TEST_F(LevelStrategyTest, TreeFreedOnEveryExit) {
  for (long n : {1L, 2L, 3L, 4L, 5L, 6L, 7L, 8L, 10L, 14L, 20L, 40L, 80L, 160L}) {
    SetUp();
    pocketWithIsland();
    memTestFailAt(n);
    const int result = pockLevelFull();
    memTestFailAt(0);
    EXPECT_GE(result, -1) << n;
    EXPECT_EQ(ctreeNodeCount(), 0) << n;
    TearDown();
  }
}

// A ring is rotated to start in the middle of its longest line; without a line, or with a
// longest line shorter than R, it stays.
TEST_F(LevelStrategyTest, RotateToLongestLine) {
  ASSERT_EQ(ctreeInit(1), 1);
  const std::vector<ContourElement> r = rect(0, 0, 30, 10, true);
  ContourHeader h{};
  h.count = 4;
  h.leftSide = 1;
  ASSERT_EQ(ctreeAdd(r.data(), &h, 0, 0), 0);
  EXPECT_EQ(pockRotateToLongestLine(0), 1);
  const ContourTreeNode* node = ctreeNodeAt(0);
  ASSERT_EQ(node->count, 5);
  std::vector<ContourElement> e(5);
  ctreeGetElems(e.data(), 5, node->block);
  EXPECT_TRUE(contSamePoint(contElemStart(e[0]), {15, 0}));
  EXPECT_TRUE(contSamePoint(contElemEnd(e[4]), {15, 0}));
  double len = 0;
  for (const ContourElement& x : e) len += contElemLength(x);
  EXPECT_NEAR(len, 80, 1e-9);
  for (int i = 0; i + 1 < 5; ++i) {
    EXPECT_TRUE(contSamePoint(contElemEnd(e[i]), contElemStart(e[i + 1])));
  }
  // A small square: its lines are shorter than R.
  const std::vector<ContourElement> s = rect(0, 0, 4, 4, true);
  ASSERT_EQ(ctreeAdd(s.data(), &h, 0, 0), 1);
  EXPECT_EQ(pockRotateToLongestLine(1), 0);
  // A circle of arcs has no line.
  const std::vector<ContourElement> c = {contMakeArc(0, 0, 10, 0, -10, 0, 10, 1, 0),
                                         contMakeArc(0, 0, -10, 0, 10, 0, 10, 1, 0)};
  h.count = 2;
  ASSERT_EQ(ctreeAdd(c.data(), &h, 0, 0), 2);
  EXPECT_EQ(pockRotateToLongestLine(2), 0);
  EXPECT_EQ(pockRotateToLongestLine(9), -1);
}

// The plain level (no stepover): the first rings only, each linked.
TEST_F(LevelStrategyTest, PlainLevel) {
  pocketWithIsland();
  pockCollectStart();
  EXPECT_GE(pockLevelSimple(), 0);
  const Collected c = collected();
  // The outer ring (70 x 50) and the island's ring (30 x 30 with round corners) at least.
  EXPECT_GT(c.length, 240 + 80);
  EXPECT_EQ(ctreeNodeCount(), 0);
}

// The narrowest gap between the boundary rings and the island rings.
TEST_F(LevelStrategyTest, SpanIslandGap) {
  EXPECT_EQ(pockSpanIslandGap(), 0.0);
  layerCreate("SPAN");
  layerCreate("GKT");
  const std::vector<ContourElement> a = rect(0, 0, 100, 100, true);
  const std::vector<ContourElement> b = rect(20, 30, 40, 50, false);
  ContourHeader h{};
  h.count = 4;
  layerInsertContour("SPAN", a.data(), &h, -1);
  EXPECT_EQ(pockSpanIslandGap(), 0.0);
  layerInsertContour("GKT", b.data(), &h, -1);
  EXPECT_NEAR(pockSpanIslandGap(), 20, 1e-9);
}
