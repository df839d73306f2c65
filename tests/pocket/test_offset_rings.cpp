// Rings of a pocket level: the closed-form chain of a rectangle, the distance of every ring from
// the walls on pockets with islands, the merges with island rings and their tree relations.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_tree.h"
#include "pocket/corner_rounding.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/offset_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/ring_loops.h"

namespace {
using pocktest::contourArea;
using pocktest::contourDist;
using pocktest::contourSamples;
using pocktest::polygon;

class OffsetRingsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    ctreeResetState();
    ringLoopsResetState();
    ringSettingsResetState();
    ringCornerResetState();
    ringCutResetState();
    layerResetState();
    pockRunReset();
    pockGeometryResetState();
  }
};

std::vector<ContourElement> rect(double x0, double y0, double x1, double y1, bool ccw,
                                 int tag = 0) {
  if (ccw) return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, tag);
  return polygon({{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}, tag);
}

// A pocket in MAIN: the outer contour counter-clockwise, islands clockwise, the tool inside.
void setPocket(const std::vector<ContourElement>& outer,
               const std::vector<std::vector<ContourElement>>& islands) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  ContourHeader h{};
  h.ccw = 1;
  h.leftSide = 1;
  h.count = static_cast<int>(outer.size());
  ASSERT_EQ(layerInsertContour("MAIN", outer.data(), &h, -1), 1);
  for (const auto& island : islands) {
    ContourHeader hi{};
    hi.ccw = 0;
    hi.leftSide = 1;
    hi.count = static_cast<int>(island.size());
    ASSERT_EQ(layerInsertContour("MAIN", island.data(), &hi, -1), 1);
  }
  pockAllowancesFromLayer("MAIN");
}

// The rings of the pocket in MAIN with tool radius r and stepover factor zm.
int buildRings(double r, double zm) {
  pockEngine().pockToolRadius = r;
  EXPECT_EQ(ctreeInit(1), 1);
  const std::vector<double> none(layerCount("MAIN"), 0.0);
  if (ringOffsetIslands(r, none.data(), 1) != 1) return -10;
  const int spans = ringBuildSpans(r, 0.0, zm, 1);
  if (spans != 1) return spans;
  return ringBuildSuccessive(2.0 * r * zm, 1, 0);
}

std::vector<ContourElement> nodeRing(int node) {
  const ContourTreeNode* nd = ctreeNodeAt(node);
  std::vector<ContourElement> e(static_cast<std::size_t>(nd->count));
  ctreeGetElems(e.data(), nd->count, nd->block);
  return e;
}

// A W x H rectangle without islands: ring k is the rectangle inset by R + k step, depth k, related
// to ring k - 1; the chain ends when the next inset vanishes.
TEST_F(OffsetRingsTest, RectangleGivesTheClosedFormChain) {
  struct Case {
    double w, h, r, zm;
  };
  for (const Case c : {Case{100, 60, 10, 0.4}, Case{80, 80, 5, 0.45}, Case{50, 25, 2, 0.3}}) {
    reset();
    setPocket(rect(0, 0, c.w, c.h, true), {});
    ASSERT_EQ(buildRings(c.r, c.zm), 1);
    const double step = 2.0 * c.r * c.zm;
    int expected = 0;
    while (std::min(c.w, c.h) - 2.0 * (c.r + expected * step) > 1e-6) ++expected;
    ASSERT_EQ(ctreeNodeCount(), expected) << c.w << " x " << c.h;
    for (int k = 0; k < expected; ++k) {
      const double d = c.r + k * step;
      const auto ring = nodeRing(k);
      EXPECT_NEAR(contourArea(ring.data(), static_cast<int>(ring.size())),
                  (c.w - 2 * d) * (c.h - 2 * d), 1e-6)
          << k;
      EXPECT_EQ(ctreeNodeAt(k)->depth, k);
      EXPECT_EQ(ctreeNodeAt(k)->childCount, k == 0 ? 0 : 1);
      if (k > 0) {
        EXPECT_EQ(ctreeChildAt(k, 1), k - 1);
      }
    }
    EXPECT_EQ(layerCount("SPAN"), 0);
  }
}

// When the next inset only just vanishes, the offset's retry at a slightly smaller distance gives
// one more thin ring: it lies inside the last ring of the chain and is related to it.
TEST_F(OffsetRingsTest, NearlyVanishingInsetGivesOneThinRing) {
  setPocket(rect(0, 0, 50, 23, true), {});
  ASSERT_EQ(buildRings(2, 0.3), 1);
  ASSERT_EQ(ctreeNodeCount(), 9);
  const auto ring = nodeRing(8);
  const auto walls = rect(0, 0, 50, 23, true);
  for (const Point2D& p : contourSamples(ring.data(), static_cast<int>(ring.size()))) {
    const double d = contourDist(p, walls.data(), 4);
    EXPECT_GT(d, 2.0 + 7 * 1.2);
    EXPECT_LT(d, 2.0 + 8 * 1.2);
  }
  EXPECT_EQ(ctreeNodeAt(8)->depth, 8);
  EXPECT_EQ(ctreeChildAt(8, 1), 7);
}
// The walls of the pocket in MAIN.
std::vector<std::vector<ContourElement>> walls() {
  std::vector<std::vector<ContourElement>> out;
  for (int i = 0; i < layerCount("MAIN"); ++i) {
    ContourHeader h{};
    layerGetHeader("MAIN", &h, i);
    std::vector<ContourElement> e(static_cast<std::size_t>(h.count));
    layerGetContour("MAIN", e.data(), h.count, &h, i);
    out.push_back(e);
  }
  return out;
}

// On pockets with islands every ring point lies on an offset of a wall: at R + m step from some
// wall for a whole m, and never closer than R to any wall (no gouge).
TEST_F(OffsetRingsTest, RingsOfPocketsWithIslandsLieOnWallOffsets) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> pos(15.0, 85.0), posY(15.0, 45.0), size(4.0, 12.0);
  int merged = 0;  // rings built from an outer ring and an island ring
  for (int round = 0; round < 6; ++round) {
    reset();
    std::vector<std::vector<ContourElement>> islands;
    for (int i = 0; i < 1 + round % 3; ++i) {
      const double x = pos(rng), y = posY(rng), s = size(rng);
      islands.push_back(rect(x, y, x + s, y + s * 0.7, false));
    }
    setPocket(rect(0, 0, 100, 60, true), islands);
    const double r = 5.0, zm = 0.4, step = 4.0;
    pockEngine().paramSuppressReduction = 1;
    const auto w = walls();
    ASSERT_EQ(buildRings(r, zm), 1) << round;
    ASSERT_GT(ctreeNodeCount(), 3);
    for (int k = 0; k < ctreeNodeCount(); ++k) {
      if (ctreeNodeAt(k)->childCount >= 2) ++merged;
      const auto ring = nodeRing(k);
      for (const Point2D& p : contourSamples(ring.data(), static_cast<int>(ring.size()), 1.0)) {
        bool onOffset = false;
        for (const auto& wall : w) {
          const double d = contourDist(p, wall.data(), static_cast<int>(wall.size()));
          ASSERT_GT(d, r - 1e-4) << round << " ring " << k;
          const double m = std::round((d - r) / step);
          if (std::fabs(d - r - m * step) < 1e-4) onOffset = true;
        }
        ASSERT_TRUE(onOffset) << round << " ring " << k << " at " << p.x << ", " << p.y;
      }
    }
  }
  EXPECT_GT(merged, 3);
}

// Allowances come from the pocket's table, filled from MAIN's headers by position: the outer
// contour's rings lie at R + a0 + m step from the wall, the island's at R + a1 + m step from the
// island, and no ring comes closer to a contour than R + its allowance.
TEST_F(OffsetRingsTest, RingsKeepEachContoursAllowanceFromTheTable) {
  const double r = 5.0, zm = 0.4, step = 4.0;
  const double a[2] = {0.7, 1.3};
  setPocket(rect(0, 0, 100, 60, true), {rect(40, 22, 52, 34, false)});
  for (int i = 0; i < 2; ++i) {
    ContourHeader h{};
    layerGetHeader("MAIN", &h, i);
    h.allowance = a[i];
    layerSetHeader("MAIN", &h, i);
  }
  ASSERT_EQ(pockAllowancesFromLayer("MAIN"), 2);
  const auto w = walls();  // MAIN is freed once the rings are built
  pockEngine().pockToolRadius = r;
  pockEngine().paramSuppressReduction = 1;
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(ringOffsetIslands(r, pockAllowances(), 1), 1);
  ASSERT_EQ(ringBuildSpans(r, pockAllowances()[0], zm, 1), 1);
  ASSERT_EQ(ringBuildSuccessive(step, 1, 0), 1);
  ASSERT_GT(ctreeNodeCount(), 4);
  bool nearIsland = false;
  for (int k = 0; k < ctreeNodeCount(); ++k) {
    const auto ring = nodeRing(k);
    for (const Point2D& p : contourSamples(ring.data(), static_cast<int>(ring.size()), 1.0)) {
      bool onOffset = false;
      for (std::size_t i = 0; i < w.size(); ++i) {
        const double d = contourDist(p, w[i].data(), static_cast<int>(w[i].size()));
        ASSERT_GT(d, r + a[i] - 1e-4) << "ring " << k << " contour " << i;
        const double m = std::round((d - r - a[i]) / step);
        if (std::fabs(d - r - a[i] - m * step) < 1e-4) onOffset = true;
        if (i == 1 && std::fabs(d - r - a[i]) < 1e-4) nearIsland = true;
      }
      ASSERT_TRUE(onOffset) << "ring " << k << " at " << p.x << ", " << p.y;
    }
  }
  EXPECT_TRUE(nearIsland);  // the island's first ring is among them
}

// An island whose tool-centre contour crosses the first ring is merged into it: the island leaves
// the island side, and the merged ring's list names it. The area is the inset rectangle less the
// island's rounded offset inside it.
TEST_F(OffsetRingsTest, IslandCrossingTheFirstRingIsMerged) {
  setPocket(rect(0, 0, 100, 60, true), {rect(3, 20, 13, 30, false)});
  pockEngine().pockToolRadius = 5.0;
  ASSERT_EQ(ctreeInit(1), 1);
  const double none[2] = {0.0, 0.0};
  ASSERT_EQ(ringOffsetIslands(5.0, none, 1), 1);
  ASSERT_EQ(layerCount("GKT"), 1);
  ASSERT_EQ(ringBuildSpans(5.0, 0.0, 0.4, 1), 1);
  EXPECT_EQ(layerCount("INSEL"), 0);
  EXPECT_EQ(layerCount("GKT"), 0);
  ASSERT_EQ(layerCount("SPAN"), 1);
  ASSERT_EQ(ctreeNodeCount(), 1);
  const auto ring = nodeRing(0);
  const double pi = std::acos(-1.0);
  EXPECT_NEAR(contourArea(ring.data(), static_cast<int>(ring.size())),
              90.0 * 50.0 - (13.0 * 20.0 - 2.0 * (25.0 - 25.0 * pi / 4.0)), 1e-6);
  ContourHeader h{};
  layerGetHeader("SPAN", &h, 0);
  EXPECT_EQ(ringRelationHas(h.index, 1), 1);  // MAIN position of the island
  EXPECT_EQ(h.group, 0);                      // the ring's node
}

// A ring with 5000 crossings of an island contour: one more record than the table holds would be
// needed for the start point, so the merge stops with 3030 before anything moves.
TEST_F(OffsetRingsTest, FiveThousandCrossingsStopTheMerge) {
  std::vector<Point2D> comb = {{-1, -10}, {2501, -10}, {2501, -5}};
  for (int i = 1249; i >= 0; --i) {
    comb.push_back({2.0 * i + 1.5, -5});
    comb.push_back({2.0 * i + 1.5, 5});
    comb.push_back({2.0 * i + 0.5, 5});
    comb.push_back({2.0 * i + 0.5, -5});
  }
  comb.push_back({-1, -5});
  const auto a = polygon(comb);
  const auto b = rect(0, -1, 2500, 1, false);
  ASSERT_EQ(isectContours(a.data(), static_cast<int>(a.size()), b.data(), 4, isectRecords(),
                          kIsectRecordMax),
            kIsectRecordMax);
  ASSERT_EQ(layerCreate("SPAN"), 1);
  ASSERT_EQ(layerCreate("GKT"), 1);
  ContourHeader ha{};
  ha.ccw = 1;
  ha.leftSide = 1;
  ha.count = static_cast<int>(a.size());
  ASSERT_EQ(layerInsertContour("SPAN", a.data(), &ha, -1), 1);
  ContourHeader hb{};
  hb.leftSide = 1;
  hb.group = 3;
  hb.count = 4;
  ASSERT_EQ(layerInsertContour("GKT", b.data(), &hb, -1), 1);
  EXPECT_EQ(ringMergeIslandContours("SPAN", 1.0, 1, -1, 1), -1);
  EXPECT_EQ(pockLastCode(), kPockCodeTooManyIsects);
  EXPECT_EQ(layerCount("SPAN"), 1);
  EXPECT_EQ(layerCount("GKT"), 1);
}

// With cut mode off every cut-region operation answers 0 and no cut layer is created.
TEST_F(OffsetRingsTest, CutModeOffTouchesNothing) {
  const std::vector<ContourElement> sq = rect(0, 0, 10, 10, true);
  ContourHeader h{};
  h.ccw = 1;
  h.leftSide = 1;
  h.count = 4;
  EXPECT_EQ(ringCutMode(), 0);
  EXPECT_EQ(ringCutBand(sq.data(), 4, h, "CUT_SPAN", 1.0, 1), 0);
  EXPECT_EQ(ringCutIslands("INSEL", "CUT_GKT", 1.0), 0);
  EXPECT_EQ(ringCutCombine("CUT_SPAN", "CUT_BACK", 1.0, 1), 0);
  EXPECT_EQ(ringCutRegions(), 0);
  EXPECT_EQ(ringCutLayerClear("CUT_SPAN"), 0);
  EXPECT_EQ(ringCutLayersEnable(0), 0);
  for (const char* name : {"CUT_GKT", "CUT_SPAN", "CUT_BACK"}) {
    EXPECT_EQ(layerInsertContour(name, sq.data(), &h, -1), 0) << name;  // no table
  }
  EXPECT_EQ(pockLastCode(), 0);
  ASSERT_EQ(ringCutLayersEnable(1), 0);
  EXPECT_EQ(ringCutMode(), 1);
  ringCutLayersFree();
  EXPECT_EQ(ringCutMode(), 0);
}
// A new ring lying wholly inside an island's next ring is dropped: the island ring, now consumed,
// leaves the island side and its node gets the ring's parent as a child.
TEST_F(OffsetRingsTest, RingInsideTheNextIslandRingIsDropped) {
  ASSERT_EQ(ctreeInit(1), 1);
  const auto any = rect(0, 0, 1, 1, true);
  ContourHeader hn{};
  hn.count = 4;
  for (int i = 0; i < 8; ++i) ASSERT_EQ(ctreeAdd(any.data(), &hn, 0, 0), i);
  ASSERT_EQ(layerCreate("SPAN"), 1);
  ASSERT_EQ(layerCreate("GKT"), 1);
  const auto inner = rect(10, 10, 20, 20, true);
  const auto island = rect(0, 0, 30, 30, false);
  const auto apart = rect(50, 0, 60, 10, false);
  ContourHeader ha{};
  ha.ccw = 1;
  ha.leftSide = 1;
  ha.count = 4;
  ASSERT_EQ(layerInsertContour("SPAN", inner.data(), &ha, -1), 1);
  ContourHeader hb{};
  hb.leftSide = 1;
  hb.count = 4;
  hb.group = 7;
  ASSERT_EQ(layerInsertContour("GKT", island.data(), &hb, -1), 1);
  hb.group = 6;
  ASSERT_EQ(layerInsertContour("GKT", apart.data(), &hb, -1), 1);
  EXPECT_EQ(ringMergeIslandContours("SPAN", 4.0, 1, 2, 1), 0);
  EXPECT_EQ(layerCount("SPAN"), 0);
  ASSERT_EQ(layerCount("GKT"), 1);
  ContourHeader left{};
  layerGetHeader("GKT", &left, 0);
  EXPECT_EQ(left.group, 6);
  EXPECT_EQ(ctreeHasChild(7, 2), 1);
  EXPECT_EQ(ctreeHasChild(6, 2), 0);
}

// ---- the island side: retry, seeding, regrouping, stock-mode merges ----------------------------

// Stores a contour with its kind and group in a layer (already created).
void put(const char* layer, const std::vector<ContourElement>& e, int leftSide, int group,
         int stockMark = 0) {
  ContourHeader h{};
  h.count = static_cast<int>(e.size());
  h.ccw = contOrientation(e.data(), h.count) == 1 ? 1 : 0;
  h.leftSide = static_cast<std::uint8_t>(leftSide);
  h.group = static_cast<std::int16_t>(group);
  h.stockMark = static_cast<std::int16_t>(stockMark);
  ASSERT_EQ(layerInsertContour(layer, e.data(), &h, -1), 1);
}

std::vector<ContourElement> layerRing(const char* layer, int i, ContourHeader* h) {
  layerGetHeader(layer, h, i);
  std::vector<ContourElement> e(static_cast<std::size_t>(h->count));
  layerGetContour(layer, e.data(), h->count, h, i);
  return e;
}

// Nodes 0..n-1 of a fresh tree, each a unit square of depth 0, standing in for island rings.
void islandNodes(int n) {
  ASSERT_EQ(ctreeInit(1), 1);
  const auto any = rect(0, 0, 1, 1, true);
  ContourHeader h{};
  h.count = 4;
  for (int i = 0; i < n; ++i) ASSERT_EQ(ctreeAdd(any.data(), &h, 0, 0), i);
}

// The retry re-offsets an island contour 0.0006 outward (to the side away from its leftSide) and
// replaces it when one loop results: the area grows by perimeter x 0.0006 plus the rounded
// corners, the kind stays and the group becomes -1. Without the follow-failed flag nothing
// happens.
TEST_F(OffsetRingsTest, RetryReoffsetsTheIslandContour) {
  ASSERT_EQ(layerCreate("GKT"), 1);
  put("GKT", rect(10, 10, 20, 20, false), 1, 4);  // an island ring: clockwise, tool outside
  pockEngine().offsetFollowFailed = 0;
  EXPECT_EQ(ringRetryGkt(0), 0);
  ContourHeader h{};
  EXPECT_EQ(layerRing("GKT", 0, &h).size(), 4u);
  EXPECT_EQ(h.group, 4);

  pockEngine().offsetFollowFailed = 1;
  EXPECT_EQ(ringRetryGkt(0), 1);
  const auto grown = layerRing("GKT", 0, &h);
  const double d = 0.0006, pi = std::acos(-1.0);
  EXPECT_NEAR(std::fabs(contourArea(grown.data(), h.count)), 100.0 + 40.0 * d + pi * d * d, 1e-6);
  EXPECT_EQ(h.group, -1);
  EXPECT_EQ(h.leftSide, 1);
  EXPECT_EQ(h.ccw, 0);

  EXPECT_EQ(ringRetryGkt(7), -1);  // no such contour
}

// Seeding the outer side from the island side: consumed contours (negative group) are dropped,
// a contour whose orientation disagrees with its leftSide is passed over, the first that agrees
// moves to SPAN and becomes a node of depth 1 below its island ring, related to the rings its
// element tags name. An empty island side is a failure; one without a usable contour gives 0 and
// moves nothing.
TEST_F(OffsetRingsTest, SeedFromIslandMovesTheFirstAgreeingContour) {
  EXPECT_EQ(ringSeedFromIsland(4.0), -1);
  islandNodes(3);
  ASSERT_EQ(layerCreate("SPAN"), 1);
  ASSERT_EQ(layerCreate("GKT"), 1);
  put("GKT", rect(0, 0, 10, 10, true, 2), 1, -1);   // consumed
  put("GKT", rect(20, 0, 30, 10, false, 2), 1, 1);  // clockwise with leftSide set
  put("GKT", rect(40, 0, 60, 10, true, 2), 1, 2);   // agrees: moves
  put("GKT", rect(70, 0, 80, 10, true, 1), 1, 1);   // agrees too, but later
  EXPECT_EQ(ringSeedFromIsland(4.0), 0);
  ASSERT_EQ(layerCount("SPAN"), 1);
  ContourHeader h{};
  const auto moved = layerRing("SPAN", 0, &h);
  EXPECT_NEAR(contourArea(moved.data(), h.count), 200.0, 1e-9);
  ASSERT_EQ(ctreeNodeCount(), 4);
  EXPECT_EQ(h.group, 3);
  EXPECT_EQ(ctreeNodeAt(3)->depth, 1);
  EXPECT_EQ(ctreeNodeAt(3)->childHead, 2);
  EXPECT_EQ(ctreeHasChild(3, 2), 1);
  EXPECT_EQ(ctreeNodeAt(3)->childCount, 1);
  ASSERT_EQ(layerCount("GKT"), 2);  // the passed-over one and the later one stay
  layerRing("GKT", 0, &h);
  EXPECT_EQ(h.group, 1);
  EXPECT_EQ(h.ccw, 0);

  // Nothing left that agrees: 0, nothing moves.
  layerClear("SPAN");
  layerDeleteContour("GKT", 1);
  EXPECT_EQ(ringSeedFromIsland(4.0), 0);
  EXPECT_EQ(layerCount("SPAN"), 0);
  EXPECT_EQ(layerCount("GKT"), 1);
}

// Regrouping the island side: two crossing island rings become one (their union), a third stays
// alone; each becomes a node one deeper than its group's node, related to every ring its tags
// name, with all its tags set to the new node; GKT then holds their next rings, each the step
// outward from its TEMP contour and grouped by that TEMP position.
TEST_F(OffsetRingsTest, RegroupMergesTheIslandSideAndOffsetsIt) {
  islandNodes(3);
  ASSERT_EQ(layerCreate("GKT"), 1);
  put("GKT", rect(0, 0, 10, 10, false, 0), 1, 0);
  put("GKT", rect(5, 5, 15, 15, false, 1), 1, 1);
  put("GKT", rect(40, 0, 50, 10, false, 2), 1, 2);
  const double step = 4.0;
  ASSERT_EQ(ringRegroupGkt(step, 1), 1);
  ASSERT_EQ(layerCount("TEMP"), 2);
  ASSERT_EQ(ctreeNodeCount(), 5);
  double areas[2];
  for (int i = 0; i < 2; ++i) {
    ContourHeader h{};
    const auto t = layerRing("TEMP", i, &h);
    areas[i] = std::fabs(contourArea(t.data(), h.count));
    const int node = h.group;
    ASSERT_GE(node, 3);
    EXPECT_EQ(ctreeNodeAt(node)->depth, 1);
    for (const auto& e : t) EXPECT_EQ(e.tag, node);
  }
  // The union (175) is one TEMP contour, related to both rings it came from.
  const int u = areas[0] > areas[1] ? 0 : 1;
  EXPECT_NEAR(areas[u], 175.0, 1e-9);
  EXPECT_NEAR(areas[1 - u], 100.0, 1e-9);
  ContourHeader hu{};
  layerRing("TEMP", u, &hu);
  EXPECT_EQ(ctreeHasChild(hu.group, 0), 1);
  EXPECT_EQ(ctreeHasChild(hu.group, 1), 1);
  EXPECT_EQ(ctreeNodeAt(hu.group)->childCount, 2);
  // The next rings: each sample at the step from its TEMP contour (outward, so outside it).
  ASSERT_EQ(layerCount("GKT"), 2);
  for (int i = 0; i < 2; ++i) {
    ContourHeader h{};
    const auto g = layerRing("GKT", i, &h);
    ASSERT_GE(h.group, 0);
    ASSERT_LT(h.group, 2);
    ContourHeader th{};
    const auto t = layerRing("TEMP", h.group, &th);
    for (const Point2D& p : contourSamples(g.data(), h.count, 0.5)) {
      EXPECT_NEAR(contourDist(p, t.data(), th.count), step, 1e-4);
      EXPECT_EQ(contWinding(t.data(), th.count, p), 0);
    }
  }
}

// Mode 0 merges in stock mode (0 or 1 crossings), unit level: an INSEL contour A against the GKT
// contours B. A inside B of another kind and within dist: both go; B inside A: B goes when it lies
// in a marked MAIN contour, or when A is an island, B an outer boundary and they lie within dist;
// the first B inside A ends A's turn either way. Without stock mode nothing is deleted.
TEST_F(OffsetRingsTest, StockModeMergeBranches) {
  struct Case {
    const char* name;
    int stockMode;
    std::vector<ContourElement> a;
    int leftA;
    std::vector<std::vector<ContourElement>> b;  // each with leftSide 1
    int markedMain;                              // MAIN holds a marked island around (0..100)
    double dist;
    int result;   // contours of INSEL taking part after the merge
    int gktLeft;  // GKT contours left
  };
  const auto big = rect(0, 0, 100, 100, true);         // outer kind with leftSide 1
  const auto bigIsland = rect(0, 0, 100, 100, false);  // island kind with leftSide 1
  const auto small = rect(1, 1, 99, 99, true);
  const auto smallIsland = rect(1, 1, 99, 99, false);
  const auto inner = rect(40, 40, 60, 60, true);
  const std::vector<Case> cases = {
      {"A inside B, other kind, near", 1, smallIsland, 1, {big}, 0, 2.0, 0, 0},
      {"A inside B, other kind, far", 1, smallIsland, 1, {big}, 0, 0.5, 1, 1},
      {"A inside B, same kind", 1, small, 1, {big}, 0, 2.0, 1, 1},
      {"B inside A, in a marked MAIN contour", 1, bigIsland, 1, {inner}, 1, 0.5, 1, 0},
      {"B inside A, island around outer, near", 1, bigIsland, 1, {small}, 0, 2.0, 1, 0},
      {"B inside A, island around outer, far", 1, bigIsland, 1, {small}, 0, 0.5, 1, 1},
      {"B inside A ends the turn", 1, bigIsland, 1, {inner, small}, 0, 2.0, 1, 2},
      {"no stock mode", 0, smallIsland, 1, {big}, 0, 2.0, 1, 1},
  };
  for (const Case& c : cases) {
    reset();
    pockEngine().pockStockMode = c.stockMode;
    ASSERT_EQ(layerCreate("MAIN"), 1);
    ASSERT_EQ(layerCreate("INSEL"), 1);
    if (c.markedMain != 0) {
      put("MAIN", rect(-10, -10, 110, 110, true), 1, 0);
      put("MAIN", rect(30, 30, 70, 70, false), 1, 0, 1);  // marked, ccw differs from leftSide
    }
    put("INSEL", c.a, c.leftA, 5);
    ASSERT_EQ(layerCreate("GKT"), 1);
    for (std::size_t j = 0; j < c.b.size(); ++j) put("GKT", c.b[j], 1, static_cast<int>(6 + j));
    EXPECT_EQ(ringMergeIslandContours("INSEL", c.dist, 1, 5, 0), c.result) << c.name;
    EXPECT_EQ(layerCount("INSEL"), c.result) << c.name;
    EXPECT_EQ(layerCount("GKT"), c.gktLeft) << c.name;
  }
}
}  // namespace
